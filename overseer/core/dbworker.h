#pragma once
// Long database work beside the window: a worker on a thread of its own with its own
// connection, opened on the connection string it is given (a log view's is the log data
// source's). Requests are queued to it and answered with signals carrying the request's
// number, so a caller tells a late answer from the one it waits for. A connection that is lost
// is closed and opened again with the next request, so the request after the server's return
// works.
//
// DbChannel is the caller's side: it puts the worker on a thread of its own (common/beside.h)
// and ends both.

#include "common/beside.h"

#include <QList>
#include <QObject>
#include <QStringList>
#include <QVariant>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>

class QComboBox;

namespace lt::db
{
class Connection;
struct Error;
} // namespace lt::db

namespace lt::overseer
{

using Rows = QList<QStringList>;

// Why a request failed: the database's words, or the worker's when there was no answer.
struct DbFailure {
    QString sqlState;
    int native = 0;
    QString message;
    // The statement was stopped on purpose (KILL QUERY).
    bool interrupted() const { return native == 1317; }
    // As the database layer reports it (for common/dbmessages.h).
    db::Error error() const;
};
// The rows of a statement as trimmed texts, streamed: a whole table (webtable, up to 500,000
// rows) is held once, as texts, not a second time in the driver's result. Nothing when the
// statement failed (the connection's lastError says why).
std::optional<Rows> readTexts(db::Connection& connection, const QString& sql);
// The failure as the administrator reads it (common/dbmessages.h): the Chinese reason, then
// the database's words.
QString describeFailure(const DbFailure& failure);

class DbWorker : public QObject
{
    Q_OBJECT
public:
    explicit DbWorker(QString connectionString);
    ~DbWorker() override;
    // The server's number of the worker's connection, 0 while none is open. Read from any
    // thread: a long statement is stopped with "KILL QUERY" + this number from another one.
    qint64 serverConnectionId() const { return connectionId_.load(); }

    // Requests, run on the worker's thread in the order they were queued.
    void fetch(quint64 request, const QStringList& statements);
    void count(quint64 request, const QString& sql);
    void execute(quint64 request, const QStringList& statements);
    void kill(quint64 request, qint64 connectionId);
    // A read that is more than a list of statements (what one answer says decides the next):
    // job runs with the worker's connection, or with none when it cannot be opened.
    using Job = std::function<QVariant(db::Connection* connection)>;
    void run(quint64 request, const Job& job);

signals:
    // One list of rows per statement of the fetch, the fields trimmed, in the order sent.
    void pageReady(quint64 request, const QList<lt::overseer::Rows>& parts);
    void countReady(quint64 request, qint64 rows);
    // The statements of an execute request that succeeded (all of them when none failed).
    void executed(quint64 request, int succeeded);
    void failed(quint64 request, const lt::overseer::DbFailure& failure);
    void ran(quint64 request, const QVariant& result);

private:
    bool ensureOpen(quint64 request);
    void fail(quint64 request);
    void noteReopening();
    QString connectionString_;
    std::unique_ptr<db::Connection> connection_;
    std::atomic<qint64> connectionId_{0};
    int reopenings_ = 0; // of connection_, when connectionId_ was read
};

class DbChannel : public QObject
{
    Q_OBJECT
public:
    explicit DbChannel(const QString& connectionString, QObject* parent = nullptr);
    // Waits for the request in progress, then ends the thread.
    ~DbChannel() override;

    DbWorker* worker() const { return worker_; }
    quint64 fetch(const QStringList& statements);
    // A fetch whose answer goes to receiver's functions on receiver's thread, once: done with
    // one list of rows per statement, or failed. Neither is called when receiver is gone.
    using FetchDone = std::function<void(const QList<Rows>& parts)>;
    using FetchFailed = std::function<void(const DbFailure& failure)>;
    quint64 fetch(const QStringList& statements, QObject* receiver, FetchDone done,
                  FetchFailed failed);
    quint64 count(const QString& sql);
    quint64 execute(const QStringList& statements);
    quint64 kill(qint64 connectionId);
    // job on the worker's connection, after the requests queued before it; its result goes to
    // done on receiver's thread, once, and not when receiver is gone.
    using JobDone = std::function<void(const QVariant& result)>;
    quint64 run(DbWorker::Job job, QObject* receiver, JobDone done);

private:
    static quint64 next();
    quint64 sendFetch(quint64 id, const QStringList& statements);
    WorkThread thread_;
    DbWorker* worker_;
};

// A read for a dialog or a command on channel, beside the window: done with one list of rows per
// statement, or failed. Without a channel (no login, no data source) failed is told at once,
// with the driver's words empty. Neither is called when receiver is gone.
void readBeside(DbChannel* channel, QObject* receiver, const QStringList& statements,
                DbChannel::FetchDone done, DbChannel::FetchFailed failed);
// The first field of each row of statement into a combo box, read beside the window: the box
// is emptied and disabled until the rows come, then holds those keep() takes (all without
// keep), none chosen.
void fillBeside(DbChannel* channel, QComboBox* combo, const QString& statement,
                DbChannel::FetchFailed failed, std::function<bool(const QString&)> keep = {});

} // namespace lt::overseer

Q_DECLARE_METATYPE(lt::overseer::DbFailure)
