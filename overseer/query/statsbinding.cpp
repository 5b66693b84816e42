#include "overseer/query/statsbinding.h"

#include "common/widgets/messages.h"
#include "overseer/core/dbworker.h"
#include "overseer/core/dialogms.h"
#include "overseer/core/formmain.h"
#include "overseer/query/dialoglx.h"
#include "overseer/query/dialogpt.h"
#include "overseer/query/logviews.h"
#include "overseer/query/printpreview.h"
#include "overseer/query/statsview.h"

#include <QDir>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPrinter>

namespace lt::overseer
{

namespace
{

const QString kViewsName = QStringLiteral("StatisticsViews");

class StatisticsViews : public QObject
{
public:
    StatisticsViews(FormMain& form, LogQueryState& conditions)
        : QObject(&form), stats(form.context(), conditions, this),
          preview(form.context(), conditions, this)
    {
        setObjectName(kViewsName);
    }
    StatisticsView stats;
    PrintPreviewView preview;
};

StatisticsViews* viewsOf(FormMain& form)
{
    return form.findChild<StatisticsViews*>(kViewsName, Qt::FindDirectChildrenOnly);
}

// The records of a list, then `then` with their number: at once when the view knows it,
// otherwise once counted beside the window (a count of a large log takes a while, and the window
// keeps answering meanwhile). A count that fails counts as no records, as an empty list does.
void withRecordCount(FormMain& form, qint64 known, const QString& table, const QString& condition,
                     std::function<void(qint64)> then)
{
    if (known >= 0)
        return then(known);
    if (!form.context().MySql)
        return;
    QString sql = QStringLiteral("SELECT count(*) FROM ") + table;
    if (!condition.isEmpty())
        sql += QStringLiteral(" WHERE ") + condition;
    readBeside(
        form.context().logReads(), &form, {sql},
        [then](const QList<Rows>& parts) { then(parts.value(0).value(0).value(0).toLongLong()); },
        [](const DbFailure&) {});
}

// The condition of a list statement "SELECT * FROM t WHERE condition".
QString conditionOf(const QString& listSql)
{
    const QString where = QStringLiteral(" WHERE ");
    const qsizetype at = listSql.indexOf(where, 0, Qt::CaseInsensitive);
    return at < 0 ? QString() : listSql.mid(at + where.size());
}

void printUploadRecord(DialogMS& dialog)
{
    const QList<PrintLine> lines =
        singleUploadLines(dialog.Label_IP->text(), dialog.Label_ZD->text(), dialog.Label_RQ->text(),
                          dialog.LabelURL->text(), dialog.Text_Up->toPlainText());
    const QStringList printers = installedPrinters();
    PrintTarget target{printers.isEmpty() ? kPrintToPdf : printers.first(), {}};
    if (target.toPdf()) {
        target.pdfPath =
            choosePdfFile(&dialog, QDir::home().filePath(QStringLiteral("上传数据.pdf")));
        if (target.pdfPath.isEmpty())
            return;
    }
    const auto printer = makePrinter(target);
    const PrintOutcome outcome = printLines(lines, printer.get());
    if (!outcome.ok)
        ui::message(&dialog, printFailedText(outcome), ui::Icon::Exclamation);
}

} // namespace

void bindStatistics(FormMain& form, LogQueryState& conditions)
{
    auto* views = new StatisticsViews(form, conditions);
    form.addView(&views->stats);
    form.addView(&views->preview);

    Dispatch& d = form.dispatch();
    d.onKey(key::访问统计, [views] { views->stats.访问统计函数(); });
    // "流量统计" only shows the monitor.
    d.onKey(key::流量统计, [&form] { form.context().dialog<DialogLX>().run(); });
    d.onKey(key::日志打印, [&form] { 日志打印函数(form); });
    d.onMenuItem(menu::查看, item::查看_打印预览.caption, [views] { views->preview.m打印预览(); });
    d.onMenuItem(menu::上传, item::上传_打印.caption, [&form] { m显示内容(form); });
    DialogMS::setPrinter(printUploadRecord);
}

StatisticsView* statisticsView(FormMain& form)
{
    StatisticsViews* views = viewsOf(form);
    return views ? &views->stats : nullptr;
}

PrintPreviewView* printPreviewView(FormMain& form)
{
    StatisticsViews* views = viewsOf(form);
    return views ? &views->preview : nullptr;
}

void 日志打印函数(FormMain& form)
{
    PrintPreviewView* preview = printPreviewView(form);
    if (!preview || !preview->store())
        return;
    const QString condition = preview->condition();
    const QString connection = preview->connectionString();
    withRecordCount(form, preview->total(), QStringLiteral("logtable"), condition,
                    [&form, condition, connection](qint64 records) {
                        if (records <= 0)
                            return;
                        PrintSource source;
                        source.kind = LogPrintout::Kind::Browse;
                        source.table = QStringLiteral("logtable");
                        source.condition = condition;
                        DialogPt& dialog = form.context().dialog<DialogPt>();
                        dialog.setSource(source, records, connection);
                        dialog.run();
                    });
}

void m显示内容(FormMain& form)
{
    auto* upload = qobject_cast<UploadLogView*>(form.view(QStringLiteral("显示上传统计")));
    PrintPreviewView* preview = printPreviewView(form);
    if (!upload || !upload->store() || !preview)
        return;
    PrintSource source;
    source.kind = LogPrintout::Kind::Upload;
    source.table = QStringLiteral("upsendtable");
    source.condition = conditionOf(upload->store()->LogQuerySql());
    const QString connection = preview->connectionString();
    withRecordCount(form, upload->store()->total(), source.table, source.condition,
                    [&form, source, connection](qint64 records) {
                        if (records <= 0)
                            return;
                        DialogPS& dialog = form.context().dialog<DialogPS>();
                        dialog.setSource(source, records, connection);
                        dialog.run();
                    });
}

} // namespace lt::overseer
