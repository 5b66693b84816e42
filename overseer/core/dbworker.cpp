#include "overseer/core/dbworker.h"

#include "common/dbmessages.h"
#include "common/odbc.h"

#include <atomic>
#include <optional>

#include <QComboBox>
#include <QMetaObject>

namespace lt::overseer
{

namespace
{

// Errors after which the connection is of no more use: gone away, lost, cannot reach.
bool connectionLost(const db::Error& e)
{
    return e.sqlState.startsWith(QLatin1String("08")) || e.native == 2002 || e.native == 2003 ||
           e.native == 2006 || e.native == 2013 || e.native == 2055;
}

} // namespace

std::optional<Rows> readTexts(db::Connection& connection, const QString& sql)
{
    Rows rows;
    const bool ok = connection.stream(sql, [&rows](const db::Row& row) {
        QStringList texts;
        texts.reserve(row.fieldCount());
        for (const db::Value& value : row.values())
            texts << value.toString().trimmed();
        rows << std::move(texts);
        return true;
    });
    if (!ok)
        return std::nullopt;
    return rows;
}

db::Error DbFailure::error() const
{
    db::Error e;
    e.set = true;
    e.sqlState = sqlState;
    e.native = native;
    e.message = message;
    return e;
}

QString describeFailure(const DbFailure& failure)
{
    return db::describeFailure(failure.error());
}

void readBeside(DbChannel* channel, QObject* receiver, const QStringList& statements,
                DbChannel::FetchDone done, DbChannel::FetchFailed failed)
{
    if (!channel) {
        // 2003: the code of a server that cannot be reached, which the messages name so.
        failed(DbFailure{{}, 2003, {}});
        return;
    }
    channel->fetch(statements, receiver, std::move(done), std::move(failed));
}

void fillBeside(DbChannel* channel, QComboBox* combo, const QString& statement,
                DbChannel::FetchFailed failed, std::function<bool(const QString&)> keep)
{
    combo->clear();
    combo->setEnabled(false);
    const auto done = [combo, keep](const QList<Rows>& parts) {
        for (const QStringList& row : parts.value(0)) {
            if (!keep || keep(row.value(0)))
                combo->addItem(row.value(0));
        }
        combo->setCurrentIndex(-1);
        combo->setEnabled(true);
    };
    readBeside(channel, combo, {statement}, done, std::move(failed));
}

namespace
{

void registerTypes()
{
    static const bool done = [] {
        qRegisterMetaType<lt::overseer::DbFailure>();
        qRegisterMetaType<QList<lt::overseer::Rows>>();
        return true;
    }();
    Q_UNUSED(done);
}

} // namespace

DbWorker::DbWorker(QString connectionString)
    : connectionString_(std::move(connectionString)),
      connection_(std::make_unique<db::Connection>())
{
    registerTypes();
}

DbWorker::~DbWorker() = default;

bool DbWorker::ensureOpen(quint64 request)
{
    if (connection_->isOpen())
        return true;
    connectionId_ = 0;
    if (!connection_->open(connectionString_)) {
        fail(request);
        return false;
    }
    db::Recordset id = connection_->query(QStringLiteral("SELECT CONNECTION_ID()"));
    connectionId_ = id.field(0).toLongLong();
    reopenings_ = connection_->reopenings();
    connection_->clearError();
    return true;
}

// The database layer opened the connection again by itself: the server's number changed.
void DbWorker::noteReopening()
{
    if (connection_->reopenings() == reopenings_)
        return;
    reopenings_ = connection_->reopenings();
    connectionId_ =
        connection_->query(QStringLiteral("SELECT CONNECTION_ID()")).field(0).toLongLong();
    connection_->clearError();
}

void DbWorker::fail(quint64 request)
{
    const db::Error e = connection_->lastError();
    // The driver does not always say that the connection went (a broken pipe comes back as a
    // general error): a connection that cannot run a trivial statement is given up.
    bool lost = connectionLost(e);
    if (!lost && e.native != 1317) {
        connection_->clearError();
        lost = !connection_->execute(QStringLiteral("SELECT 1"));
    }
    if (lost) {
        connection_->close();
        connectionId_ = 0;
    } else {
        // The database layer may have opened the connection again meanwhile.
        reopenings_ = connection_->reopenings();
        connectionId_ =
            connection_->query(QStringLiteral("SELECT CONNECTION_ID()")).field(0).toLongLong();
    }
    emit failed(request, DbFailure{e.sqlState, e.native, e.message});
}

void DbWorker::fetch(quint64 request, const QStringList& statements)
{
    if (!ensureOpen(request))
        return;
    QList<Rows> parts;
    for (const QString& sql : statements) {
        connection_->clearError();
        std::optional<Rows> rows = readTexts(*connection_, sql);
        if (!rows) {
            fail(request);
            return;
        }
        parts << std::move(*rows);
    }
    noteReopening();
    emit pageReady(request, parts);
}

void DbWorker::count(quint64 request, const QString& sql)
{
    if (!ensureOpen(request))
        return;
    connection_->clearError();
    db::Recordset rs = connection_->query(sql);
    if (connection_->failed()) {
        fail(request);
        return;
    }
    const qint64 rows = rs.field(0).toLongLong();
    noteReopening();
    emit countReady(request, rows);
}

void DbWorker::execute(quint64 request, const QStringList& statements)
{
    if (!ensureOpen(request))
        return;
    int succeeded = 0;
    for (const QString& sql : statements) {
        connection_->clearError();
        if (connection_->execute(sql)) {
            ++succeeded;
        } else if (connectionLost(connection_->lastError())) {
            fail(request);
            return;
        }
    }
    if (succeeded < statements.size()) {
        fail(request);
        return;
    }
    noteReopening();
    emit executed(request, succeeded);
}

void DbWorker::kill(quint64 request, qint64 connectionId)
{
    if (connectionId <= 0 || !ensureOpen(request))
        return;
    connection_->clearError();
    connection_->execute(QStringLiteral("KILL QUERY %1").arg(connectionId));
    connection_->clearError();
}

void DbWorker::run(quint64 request, const Job& job)
{
    const QVariant result = job(ensureOpen(request) ? connection_.get() : nullptr);
    if (connection_->failed())
        fail(request); // a connection lost on the way is closed, so the next request opens it
    else
        noteReopening();
    emit ran(request, result);
}

DbChannel::DbChannel(const QString& connectionString, QObject* parent)
    : QObject(parent), thread_(QStringLiteral("DbChannel")),
      worker_(thread_.adopt(new DbWorker(connectionString)))
{
}

DbChannel::~DbChannel() = default;

quint64 DbChannel::fetch(const QStringList& statements)
{
    return sendFetch(next(), statements);
}

quint64 DbChannel::sendFetch(quint64 id, const QStringList& statements)
{
    QMetaObject::invokeMethod(worker_, [w = worker_, id, statements] { w->fetch(id, statements); });
    return id;
}

quint64 DbChannel::next()
{
    // One count for every channel of the process: a receiver that hears two channels (a
    // list's page and count) never takes one's answer for the other's.
    static std::atomic<quint64> last = 0;
    return ++last;
}

quint64 DbChannel::fetch(const QStringList& statements, QObject* receiver, FetchDone done,
                         FetchFailed failed)
{
    // Both connections go with the first answer to this request.
    struct Answer {
        QMetaObject::Connection ready, failed;
        void end() const
        {
            QObject::disconnect(ready);
            QObject::disconnect(failed);
        }
    };
    auto answer = std::make_shared<Answer>();
    const quint64 id = next();
    answer->ready =
        connect(worker_, &DbWorker::pageReady, receiver,
                [answer, id, done = std::move(done)](quint64 request, const QList<Rows>& parts) {
                    if (request != id)
                        return;
                    answer->end();
                    if (done)
                        done(parts);
                });
    answer->failed = connect(
        worker_, &DbWorker::failed, receiver,
        [answer, id, failed = std::move(failed)](quint64 request, const DbFailure& failure) {
            if (request != id)
                return;
            answer->end();
            if (failed)
                failed(failure);
        });
    return sendFetch(id, statements);
}

quint64 DbChannel::count(const QString& sql)
{
    const quint64 id = next();
    QMetaObject::invokeMethod(worker_, [w = worker_, id, sql] { w->count(id, sql); });
    return id;
}

quint64 DbChannel::execute(const QStringList& statements)
{
    const quint64 id = next();
    QMetaObject::invokeMethod(worker_,
                              [w = worker_, id, statements] { w->execute(id, statements); });
    return id;
}

quint64 DbChannel::kill(qint64 connectionId)
{
    const quint64 id = next();
    QMetaObject::invokeMethod(worker_,
                              [w = worker_, id, connectionId] { w->kill(id, connectionId); });
    return id;
}

quint64 DbChannel::run(DbWorker::Job job, QObject* receiver, JobDone done)
{
    const quint64 id = next();
    auto answer = std::make_shared<QMetaObject::Connection>();
    *answer =
        connect(worker_, &DbWorker::ran, receiver,
                [answer, id, done = std::move(done)](quint64 request, const QVariant& result) {
                    if (request != id)
                        return;
                    QObject::disconnect(*answer);
                    done(result);
                });
    QMetaObject::invokeMethod(worker_,
                              [w = worker_, id, job = std::move(job)] { w->run(id, job); });
    return id;
}

} // namespace lt::overseer
