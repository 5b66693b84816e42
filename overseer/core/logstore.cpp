#include "overseer/core/logstore.h"

#include "common/dbmessages.h"
#include "common/logindexes.h"
#include "common/odbc.h"
#include "overseer/core/pagestatus.h"

namespace lt::overseer
{

namespace
{

// The driver's words in their "[SQLSTATE] message" form, which a message box keeps to its
// detail area.
QString failureText(const QString& what, const DbFailure& failure)
{
    if (failure.message.isEmpty())
        return what;
    db::Error error;
    error.set = true;
    error.sqlState = failure.sqlState;
    error.native = failure.native;
    error.message = failure.message;
    return what + QLatin1Char('\n') + db::failureDetail(error);
}

const QString kPageFailed = QStringLiteral("读取日志记录失败，请检查与安全控制中心数据库的连接。");
const QString kCountFailed =
    QStringLiteral("统计日志记录数失败，请检查与安全控制中心数据库的连接。");
const QString kDeleteFailed =
    QStringLiteral("删除日志记录失败，请检查与安全控制中心数据库的连接。");

} // namespace

LogStore::LogStore(LogTable table, QString connectionString, QObject* parent)
    : QObject(parent), table_(std::move(table)), paging_(table_),
      pages_(std::make_unique<DbChannel>(connectionString)),
      counts_(std::make_unique<DbChannel>(connectionString))
{
    for (DbChannel* channel : {pages_.get(), counts_.get()}) {
        connect(channel->worker(), &DbWorker::pageReady, this, &LogStore::onPage);
        connect(channel->worker(), &DbWorker::countReady, this, &LogStore::onCount);
        connect(channel->worker(), &DbWorker::failed, this, &LogStore::onFailed);
        connect(channel->worker(), &DbWorker::executed, this, [this](quint64 id, int) {
            if (id != deleteRequest_)
                return;
            deleteRequest_ = 0;
            const QList<int> rows = std::exchange(pendingDelete_, {});
            for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
                if (*it >= 0 && *it < page_.size())
                    page_.removeAt(*it);
            }
            emit rowsDeleted(rows);
            emit statusChanged();
        });
    }
}

LogStore::~LogStore()
{
    // A count in flight would hold the count worker's thread up.
    stopCount();
}

QString LogStore::countSqlOf(const QString& listSql)
{
    QString sql = listSql;
    const QString select = QStringLiteral("SELECT * FROM");
    if (sql.startsWith(select, Qt::CaseInsensitive))
        sql.replace(0, select.size(), QStringLiteral("SELECT count(*) FROM"));
    return sql;
}

void LogStore::start(const QString& listSql, const QString& countSql, const QString& index,
                     bool sparse)
{
    stopCount();
    paging_ = table_;
    if (!index.isEmpty())
        paging_.index = index;
    listSql_ = listSql;
    sparse_ = sparse;
    heldCountFailure_.reset();
    page_.clear();
    marks_ = {};
    pageNo_ = 0;
    shownRows_ = 0;
    total_ = -1;
    figures_ = {};
    deleteRequest_ = 0;
    pendingDelete_.clear();
    request(firstPagePlan(), 1);
    countSql_ = countSql.isEmpty() ? countSqlOf(listSql_) : countSql;
    // A sparse list's page and count both read most of the table: side by side they halve each
    // other's share of the server, so the count follows the page.
    countWaits_ = sparse;
    if (!countWaits_)
        countRequest_ = counts_->count(countSql_);
    emit statusChanged();
}

PagePlan LogStore::firstPagePlan() const
{
    // A walk of 40 pages' rows finds a page of any condition that matches one row in 40.
    return sparse_ ? planSparseFirstPage(listSql_, paging_, PageSize, 40 * PageSize)
                   : planFirstPage(listSql_, paging_, PageSize);
}

void LogStore::日志_显示首页数据()
{
    request(firstPagePlan(), 1);
}

void LogStore::日志_显示上页数据()
{
    if (pageNo_ <= 1)
        return 日志_显示首页数据();
    request(planPreviousPage(listSql_, paging_, marks_, PageSize), pageNo_ - 1);
}

void LogStore::日志_显示下页数据()
{
    request(planNextPage(listSql_, paging_, marks_, PageSize), pageNo_ + 1);
}

void LogStore::日志_显示尾页数据()
{
    if (total_ < 0)
        return;
    request(planLastPage(listSql_, paging_, figures_.LogLastPageRows), figures_.LogPageCount);
}

void LogStore::request(const PagePlan& plan, qint64 pageNo)
{
    QStringList statements;
    for (const PagePart& part : plan.parts)
        statements << part.sql;
    pendingPlan_ = plan;
    pendingPageNo_ = pageNo;
    failureReported_ = false;
    pageRequest_ = pages_->fetch(statements);
    emit statusChanged();
}

void LogStore::cancelCount()
{
    if (stopCount())
        emit statusChanged();
}

bool LogStore::stopCount()
{
    if (std::exchange(countWaits_, false))
        return true;
    if (!countRequest_)
        return false;
    countRequest_ = 0;
    const qint64 id = counts_->worker()->serverConnectionId();
    if (id > 0)
        pages_->kill(id);
    return true;
}

void LogStore::deleteRows(const QList<int>& rows, const QStringList& statements)
{
    if (statements.isEmpty())
        return;
    pendingDelete_ = rows;
    std::sort(pendingDelete_.begin(), pendingDelete_.end());
    // The rows of the boundary stamps that go no longer count for the next move.
    for (int row : std::as_const(pendingDelete_)) {
        const QString stamp = page_.value(row).value(table_.stampField);
        if (marks_.bottom.fromNewest && stamp == marks_.bottom.stamp && marks_.bottom.count > 0)
            --marks_.bottom.count;
        if (!marks_.top.fromNewest && stamp == marks_.top.stamp && marks_.top.count > 0)
            --marks_.top.count;
    }
    failureReported_ = false;
    deleteRequest_ = pages_->execute(statements);
    emit statusChanged();
}

void LogStore::onPage(quint64 request, const QList<Rows>& parts)
{
    if (request != pageRequest_)
        return;
    pageRequest_ = 0;
    Rows page = assemblePage(pendingPlan_, parts);
    if (!pendingPlan_.fallback.isEmpty() && page.size() < PageSize) {
        PagePlan fallback = pendingPlan_;
        fallback.parts = std::exchange(fallback.fallback, {});
        return this->request(fallback, pendingPageNo_);
    }
    if (std::exchange(countWaits_, false))
        countRequest_ = counts_->count(countSql_);
    // A move that finds nothing (the rows went meanwhile) keeps the page shown.
    if (!page.isEmpty() || pendingPlan_.kind == PagePlan::Case::First) {
        page_ = std::move(page);
        marks_ = marksAfter(pendingPlan_, parts, table_, marks_);
        pageNo_ = pendingPageNo_;
        shownRows_ = int(page_.size());
        emit pageChanged();
    }
    emit statusChanged();
    if (heldCountFailure_)
        reportFailure(kCountFailed, *std::exchange(heldCountFailure_, std::nullopt));
}

void LogStore::onCount(quint64 request, qint64 rows)
{
    if (request != countRequest_)
        return;
    countRequest_ = 0;
    total_ = rows;
    figures_ = logPageFigures(rows, PageSize);
    emit statusChanged();
}

void LogStore::reportFailure(const QString& what, const DbFailure& failure)
{
    // A server that is down fails the page and the count of one click alike: one message.
    if (std::exchange(failureReported_, true))
        return;
    emit failed(failureText(what, failure));
}

void LogStore::onFailed(quint64 request, const DbFailure& failure)
{
    if (request == pageRequest_) {
        pageRequest_ = 0;
        if (failure.native == kNoSuchIndex && paging_.index != table_.index) {
            // A log database not upgraded yet: the list is read by its time stamp alone.
            paging_ = table_;
            this->request(firstPagePlan(), 1);
            return;
        }
        emit statusChanged();
        heldCountFailure_.reset(); // one message for the click: the page's
        countWaits_ = false;
        reportFailure(kPageFailed, failure);
    } else if (request == countRequest_) {
        countRequest_ = 0;
        if (failure.native == kNoSuchIndex && countSql_.contains(schema::kCountIndexHint)) {
            // A log database not upgraded yet: the count as the optimizer chooses.
            countSql_.remove(schema::kCountIndexHint);
            countRequest_ = counts_->count(countSql_);
            return;
        }
        emit statusChanged();
        if (failure.interrupted())
            return;
        if (pageRequest_) // told after the page, which may fail for the same reason
            heldCountFailure_ = failure;
        else
            reportFailure(kCountFailed, failure);
    } else if (request == deleteRequest_) {
        deleteRequest_ = 0;
        pendingDelete_.clear();
        emit statusChanged();
        reportFailure(kDeleteFailed, failure);
    }
}

ViewStatus LogStore::status() const
{
    ViewStatus s;
    s.busy = pageRequest_ != 0 || deleteRequest_ != 0;
    s.counting = countRequest_ != 0;
    if (pageNo_ <= 0 || shownRows_ == 0)
        return s;
    if (total_ >= 0) {
        s.panels[0] = recordsText(total_);
        s.panels[1] = pagesText(figures_.LogPageCount);
    }
    s.panels[2] = pageNoText(pageNo_);
    s.panels[3] = pageRowsText(shownRows_);
    if (!s.busy)
        s.buttons = logPagingButtons(pageNo_, total_ >= 0 ? figures_.LogPageCount : 0,
                                     shownRows_ >= PageSize);
    return s;
}

} // namespace lt::overseer
