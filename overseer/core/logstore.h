#pragma once
// The paging of one log table for a log view, without widgets: it sends the page statements
// and the count to two workers of its own (so that a long count never holds a page back),
// keeps the page shown and the paging figures, and says what the status bar and the paging
// buttons show. The page comes first; the record and page totals follow when the count is in.
// A new list, or cancelCount(), stops a count in flight on the server (KILL QUERY).
//
// A failed statement leaves the page and the figures as they were and reports one message per
// click (a page and its count failing alike give one); the next click tries again.

#include "overseer/core/consoleview.h"
#include "overseer/core/dbworker.h"
#include "overseer/core/logpaging.h"
#include "overseer/core/pagestatus.h"

#include <QObject>
#include <memory>
#include <optional>

namespace lt::overseer
{

class LogStore : public QObject
{
    Q_OBJECT
public:
    LogStore(LogTable table, QString connectionString, QObject* parent = nullptr);
    ~LogStore() override;

    int PageSize = 500;

    // The count statement of a list statement: "SELECT * FROM" becomes "SELECT count(*) FROM".
    static QString countSqlOf(const QString& listSql);

    // A new list: its first page, then its count (countSql empty: countSqlOf(listSql)). The
    // pages are read along `index` (empty: the table's time stamp index), an index whose
    // columns end in the time stamp or have it second; where the database lacks it, along the
    // time stamp index. sparse: the condition may match few rows (a substring of the texts),
    // the first page is read as planSparseFirstPage says and the count is sent after it.
    void start(const QString& listSql, const QString& countSql = {}, const QString& index = {},
               bool sparse = false);
    void 日志_显示首页数据();
    void 日志_显示上页数据();
    void 日志_显示下页数据();
    void 日志_显示尾页数据();
    void cancelCount();
    // Sends the statements; on success the rows go from the page (rows: indexes in page()).
    void deleteRows(const QList<int>& rows, const QStringList& statements);

    const LogTable& table() const { return table_; }
    const LogTable& pagingTable() const { return paging_; }
    const QString& LogQuerySql() const { return listSql_; }
    const Rows& page() const { return page_; }
    qint64 LogPageNo() const { return pageNo_; }
    qint64 LogPageCount() const { return figures_.LogPageCount; }
    int LogLastPageRows() const { return figures_.LogLastPageRows; }
    qint64 total() const { return total_; } // -1 until the count is in
    const PageMarks& marks() const { return marks_; }
    bool pageRequestOut() const { return pageRequest_ != 0; }
    bool counting() const { return countRequest_ != 0; }
    ViewStatus status() const;

    // The workers' channels (tests look at the count's connection).
    DbChannel& pageChannel() { return *pages_; }
    DbChannel& countChannel() { return *counts_; }

signals:
    void pageChanged(); // page() holds the new page
    void rowsDeleted(const QList<int>& rows);
    void statusChanged();
    void failed(const QString& message); // one message, in Chinese, the driver's words after it

private:
    bool stopCount(); // false when no count was out
    void request(const PagePlan& plan, qint64 pageNo);
    PagePlan firstPagePlan() const;
    void onPage(quint64 request, const QList<Rows>& parts);
    void onCount(quint64 request, qint64 rows);
    void onFailed(quint64 request, const DbFailure& failure);
    void reportFailure(const QString& what, const DbFailure& failure);

    static constexpr int kNoSuchIndex = 1176; // "Key ... doesn't exist in table"
    LogTable table_;
    LogTable paging_; // table_ with the index of the list shown
    std::unique_ptr<DbChannel> pages_;
    std::unique_ptr<DbChannel> counts_;
    QString listSql_;
    QString countSql_;
    bool sparse_ = false;
    bool countWaits_ = false; // sent once the first page is in
    Rows page_;
    PageMarks marks_;
    qint64 pageNo_ = 0;
    qint64 total_ = -1;
    LogPageFigures figures_;
    PagePlan pendingPlan_;
    qint64 pendingPageNo_ = 0;
    int shownRows_ = 0; // rows on the page when it came (deleting does not change the figure)
    quint64 pageRequest_ = 0;
    quint64 countRequest_ = 0;
    quint64 deleteRequest_ = 0;
    QList<int> pendingDelete_;
    bool failureReported_ = false; // for the click in hand
    std::optional<DbFailure> heldCountFailure_;
};

} // namespace lt::overseer
