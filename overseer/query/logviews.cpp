#include "overseer/query/logviews.h"

#include "common/clock.h"
#include "common/logindexes.h"
#include "common/widgets/messages.h"
#include "overseer/core/consolecontext.h"
#include "overseer/core/dialogms.h"
#include "overseer/query/conditiondialogs.h"
#include "overseer/query/titlesearch.h"

namespace lt::overseer
{

namespace
{

const QString kTrue = QStringLiteral("True");

int col(LogColumn c)
{
    return int(c);
}

int col(UploadColumn c)
{
    return int(c);
}

} // namespace

QString accessLogDeleteSql(const QString& ip, const QString& acTime)
{
    return QStringLiteral("DELETE FROM logtable WHERE IP='%1' AND AcTime='%2'")
        .arg(db::sqlEscape(ip), db::sqlEscape(acTime));
}

QString uploadLogDeleteSql(const QString& ip, const QString& acTime)
{
    return QStringLiteral("DELETE FROM upsendtable WHERE Rtrim(IP)='%1' AND Rtrim(AcTime)='%2'")
        .arg(db::sqlEscape(ip), db::sqlEscape(acTime));
}

QString todayLogCountSql(const QDate& day)
{
    return QStringLiteral("SELECT count(*) FROM logtable WHERE ") + todayCondition(day) +
           QStringLiteral(" ORDER BY AcTime DESC ");
}

// ---- LogView ------------------------------------------------------------------------------

LogView::LogView(ConsoleContext& context, LogQueryState& conditions, LogTable table,
                 QObject* parent)
    : PagedLogView(context, std::move(table), parent), conditions_(conditions)
{
}

void LogView::startList(const ColumnLayout& layout, const QString& listSql, const QString& countSql,
                        const QString& index, bool sparse)
{
    LogStore& store = ensureStore();
    store.PageSize = 500;
    model_.setLayout(layout);
    emit keyEnabledChanged(key::日志打印, false);
    store.start(listSql, countSql, index, sparse);
}

QString LogView::currentText(int column) const
{
    return model_.text(currentRow(), column);
}

void LogView::deleteSelected()
{
    if (!store())
        return;
    const QList<int> rows = selectedRows();
    if (rows.isEmpty())
        return;
    if (!confirm(QStringLiteral("确定删除所选记录吗？")))
        return;
    QStringList statements;
    for (int row : rows)
        statements << deleteStatement(model_.rowTexts(row));
    store()->deleteRows(rows, statements);
}

// ---- AccessLogView ------------------------------------------------------------------------

AccessLogView::AccessLogView(ConsoleContext& context, LogQueryState& conditions, QObject* parent)
    : LogView(context, conditions, browseLogTable(), parent)
{
}

void AccessLogView::显示访问日志()
{
    if (!context_.dialog<DialogFS>().run(conditions_))
        return;
    emit showRequested();
    QString listSql;
    QString countSql;
    QString index;
    if (conditions_.TodayLog != kTrue) {
        // Cancelled: the title names the access log, the list keeps its rows.
        if (!context_.dialog<DialogTJ>().run(conditions_))
            return;
        const auto count = logCountSql(conditions_);
        if (!count || !显示_终端日志条件(conditions_))
            return;
        countSql = schema::countSqlFor(*count, QStringLiteral("logtable"), conditions_.CondCode);
        listSql = conditions_.LogQuerySql;
        index = schema::readingIndexFor(QStringLiteral("logtable"), conditions_.CondCode);
        if (isTitleSearch(conditions_) && context_.logReads()) {
            startTitleSearch(listSql, countSql, index);
            return;
        }
    } else {
        const QDate today = Clock::now().date();
        listSql = QStringLiteral("SELECT * FROM logtable WHERE ") + todayCondition(today);
        countSql = todayLogCountSql(today);
        conditions_.LogQuerySql = listSql;
    }
    startList(ListviewHeadShow_日志(), listSql, countSql, index);
}

// A title search reads only the days whose titles can match: the title dictionary is asked
// beside the window first (a few small statements), and the narrowed statements start the list.
// Where the dictionary cannot serve, the plain statements do.
void AccessLogView::startTitleSearch(const QString& listSql, const QString& countSql,
                                     const QString& index)
{
    const LogQueryState state = conditions_;
    const auto ask = [state](db::Connection* log) -> QVariant {
        const auto narrowed = log ? titleSearchStatements(*log, state) : std::nullopt;
        return narrowed ? QStringList{narrowed->list, narrowed->count} : QStringList();
    };
    context_.logReads()->run(ask, this, [this, listSql, countSql, index](const QVariant& answer) {
        const QStringList narrowed = answer.toStringList();
        if (narrowed.size() == 2)
            startList(ListviewHeadShow_日志(), narrowed[0], narrowed[1], index);
        else
            startList(ListviewHeadShow_日志(), listSql, countSql, index);
    });
}

void AccessLogView::查看网页()
{
    if (currentRow() < 0)
        return;
    context_.openWebPage(currentText(col(LogColumn::URL)));
}

QHash<QString, ConsoleView::Handler> AccessLogView::menuHandlers()
{
    return {
        {item::查看_查看日志.caption, [this] { 显示访问日志(); }},
        {item::查看_刷新日志.caption, [this] { 显示访问日志(); }},
        {item::查看_查看网页.caption, [this] { 查看网页(); }},
        {item::查看_删除日志.caption, [this] { deleteSelected(); }},
    };
}

ListEvents AccessLogView::listEvents()
{
    ListEvents events;
    events.doubleClick = [this] { 查看网页(); };
    return events;
}

QStringList AccessLogView::rowTexts(const QStringList& fields) const
{
    // The table order: Name, IP, AcTime, Team, Title, URL, Class, Result (then nLength, F).
    return fields.mid(0, int(LogColumn::Count));
}

QString AccessLogView::deleteStatement(const QStringList& texts) const
{
    return accessLogDeleteSql(texts.value(col(LogColumn::IP)), texts.value(col(LogColumn::AcTime)));
}

// ---- UploadLogView ------------------------------------------------------------------------

UploadLogView::UploadLogView(ConsoleContext& context, LogQueryState& conditions, QObject* parent)
    : LogView(context, conditions, uploadLogTable(), parent)
{
}

void UploadLogView::显示上传数据()
{
    if (!context_.dialog<DialogFS>().run(conditions_))
        return;
    emit showRequested();
    QString listSql;
    QString index;
    bool sparse = false;
    if (conditions_.TodayLog != kTrue) {
        if (!context_.dialog<DialogSH>().run(conditions_) || !显示_上传日志条件(conditions_))
            return;
        listSql = conditions_.LogQuerySql;
        index = schema::readingIndexFor(QStringLiteral("upsendtable"), conditions_.CondCode);
        sparse = schema::sparseCondition(QStringLiteral("upsendtable"), conditions_.CondCode);
    } else {
        listSql = QStringLiteral("SELECT * FROM upsendtable WHERE ") +
                  todayCondition(Clock::now().date());
        conditions_.LogQuerySql = listSql;
    }
    startList(ListviewHeadShow_上传(), listSql, LogStore::countSqlOf(listSql), index, sparse);
}

void UploadLogView::showRecord()
{
    const int row = currentRow();
    if (row < 0)
        return;
    const QStringList texts = pageModel().rowTexts(row);
    DialogMS& dialog = context_.dialog<DialogMS>();
    dialog.setRecord(texts.value(col(UploadColumn::Name)), texts.value(col(UploadColumn::IP)),
                     texts.value(col(UploadColumn::AcTime)), texts.value(col(UploadColumn::URL)),
                     texts.value(col(UploadColumn::UpSendTxt)));
    dialog.run();
}

QHash<QString, ConsoleView::Handler> UploadLogView::menuHandlers()
{
    return {{item::上传_删除.caption, [this] { deleteSelected(); }}};
}

ListEvents UploadLogView::listEvents()
{
    ListEvents events;
    events.doubleClick = [this] { showRecord(); };
    return events;
}

QStringList UploadLogView::rowTexts(const QStringList& fields) const
{
    // The table order is Name, IP, URL, AcTime, UpSendTxt.
    return {fields.value(0), fields.value(1), fields.value(4), fields.value(3), fields.value(2)};
}

QString UploadLogView::deleteStatement(const QStringList& texts) const
{
    return uploadLogDeleteSql(texts.value(col(UploadColumn::IP)),
                              texts.value(col(UploadColumn::AcTime)));
}

} // namespace lt::overseer
