#include "overseer/query/printpreview.h"

#include "common/clock.h"
#include "common/datasources.h"
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
    : context_(context), conditions_(conditions)
{
    setParent(parent);
}

PrintPreviewView::~PrintPreviewView() = default;

QString PrintPreviewView::connectionString() const
{
    if (!connection_.isEmpty())
        return connection_;
    if (context_.MySql && !context_.MySql->Cnn0.connectionString().isEmpty())
        return context_.MySql->Cnn0.connectionString();
    return dsn::chosenConnectionStrings().log;
}

LogStore& PrintPreviewView::ensureStore()
{
    const QString connection = connectionString();
    if (store_ && store_->property("connection").toString() == connection)
        return *store_;
    store_ = std::make_unique<LogStore>(browseLogTable(), connection);
    store_->setProperty("connection", connection);
    store_->PageSize = kRecordsPerPage;
    connect(store_.get(), &LogStore::pageChanged, this, [this] {
        QList<QStringList> rows;
        for (const QStringList& fields : store_->page())
            rows << fields.mid(0, int(LogColumn::Count));
        model_.setRows(std::move(rows));
        // Records to print: the print key goes on.
        if (!store_->page().isEmpty())
            emit keyEnabledChanged(key::日志打印, true);
    });
    connect(store_.get(), &LogStore::statusChanged, this, [this] { setStatus(store_->status()); });
    connect(store_.get(), &LogStore::failed, this, [this](const QString& message) {
        ui::message(window(), message, ui::Icon::Exclamation);
    });
    return *store_;
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
    ensureStore().start(listSql, LogStore::countSqlOf(listSql));
}

void PrintPreviewView::firstPage()
{
    if (store_)
        store_->日志_显示首页数据();
}

void PrintPreviewView::previousPage()
{
    if (store_)
        store_->日志_显示上页数据();
}

void PrintPreviewView::nextPage()
{
    if (store_)
        store_->日志_显示下页数据();
}

void PrintPreviewView::lastPage()
{
    if (store_)
        store_->日志_显示尾页数据();
}

} // namespace lt::overseer
