#pragma once
// The statistics' database work beside the window: a worker on a thread of its own with a
// connection to each database. A visit statistics page streams the grouped result and keeps
// only the rows of the page asked for (and the number of groups); the traffic reads the
// terminal register and one grouped sum of the log. Both read the day sums of the whole days
// of their range and the log rows of the rest (common/logsummary.h). Requests are numbered; answers
// carry the number, so a late answer is told from the one waited for.

#include "common/beside.h"
#include "overseer/query/logquery.h"
#include "overseer/query/statistics.h"

#include <QObject>
#include <memory>

namespace lt::db
{
class Connection;
}

namespace lt::overseer
{

class StatsWorker : public QObject
{
    Q_OBJECT
public:
    StatsWorker(QString logConnection, QString configConnection);
    ~StatsWorker() override;

    void visitPage(quint64 request, const lt::overseer::LogQueryState& state, StatsMode mode,
                   qint64 pageNo, int pageSize);
    void traffic(quint64 request, const lt::overseer::LogQueryState& state);
    void execute(quint64 request, const QStringList& statements);

signals:
    // The page's rows as listed and the number of rows of the whole result.
    void pageReady(quint64 request, const QList<QStringList>& rows, qint64 total);
    void trafficReady(quint64 request, const QList<QStringList>& rows);
    // The indexes of the statements that succeeded.
    void executed(quint64 request, const QList<int>& succeeded);
    void failed(quint64 request, const QString& message);

private:
    bool ensureOpen(db::Connection& connection, const QString& connectionString, quint64 request);
    void fail(db::Connection& connection, quint64 request);
    // The days of the range that the day sums answer, folded first; the log connection is
    // then in a transaction (one moment for the sums and the rows beside them), which
    // endReading() ends. Empty: the statement reads the log alone.
    QList<summary::DayCover> beginReading(const LogQueryState& state);
    void endReading();
    void failReading(quint64 request); // reports the log connection's failure, reading ended
    QString logString_;
    QString configString_;
    std::unique_ptr<db::Connection> log_;
    std::unique_ptr<db::Connection> config_;
};

class StatsChannel : public QObject
{
    Q_OBJECT
public:
    StatsChannel(const QString& logConnection, const QString& configConnection,
                 QObject* parent = nullptr);
    ~StatsChannel() override;
    StatsWorker* worker() const { return worker_; }

    quint64 visitPage(const LogQueryState& state, StatsMode mode, qint64 pageNo, int pageSize);
    quint64 traffic(const LogQueryState& state);
    quint64 execute(const QStringList& statements);

private:
    WorkThread thread_;
    StatsWorker* worker_;
    quint64 last_ = 0;
};

} // namespace lt::overseer
