#include "overseer/query/printpreview.h"

#include "common/clock.h"
#include "common/widgets/messages.h"
#include "overseer/core/columnlayouts.h"
#include "overseer/core/consolecontext.h"
#include "overseer/query/conditiondialogs.h"
#include "overseer/query/printing.h"

#include <QGroupBox>

namespace lt::overseer
{

namespace
{
const QString kPrintConditions = QStringLiteral("日志打印条件");
} // namespace

PrintPreviewView::PrintPreviewView(ConsoleContext& context, LogQueryState& conditions,
                                   QObject* parent)
    : PagedLogView(context, browseLogTable(), parent), conditions_(conditions)
{
}

QStringList PrintPreviewView::rowTexts(const QStringList& fields) const
{
    return fields.mid(0, int(LogColumn::Count));
}

void PrintPreviewView::pageShown()
{
    if (store() && !store()->page().isEmpty())
        emit keyEnabledChanged(key::日志打印, true);
}

void PrintPreviewView::m打印预览()
{
    DialogFS& mode = context_.dialog<DialogFS>();
    mode.setWindowTitle(kPrintConditions);
    mode.Frame1->setTitle(QStringLiteral("打印条件"));
    if (!mode.run(conditions_))
        return;
    emit keyEnabledChanged(key::日志打印, false);
    setStatus(ViewStatus{});
    context_.PageSize = kRecordsPerPage;
    emit showRequested();
    QString condition;
    if (conditions_.TodayLog == QLatin1String("True")) {
        condition = todayCondition(Clock::now().date());
    } else {
        DialogTJ& criteria = context_.dialog<DialogTJ>();
        criteria.setWindowTitle(kPrintConditions);
        if (!criteria.run(conditions_))
            return;
        const auto chosen = logCondition(conditions_);
        if (!chosen)
            return;
        condition = *chosen;
    }
    condition_ = condition;
    model_.setLayout(ListviewHeadShow_日志());
    const QString listSql = QStringLiteral("SELECT * FROM logtable WHERE ") + condition;
    LogStore& store = ensureStore();
    store.PageSize = kRecordsPerPage;
    store.start(listSql, LogStore::countSqlOf(listSql));
}

} // namespace lt::overseer
