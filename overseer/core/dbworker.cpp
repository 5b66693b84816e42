#include "overseer/core/dbworker.h"

#include "common/odbc.h"

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

Rows readRows(db::Recordset& rs)
{
    Rows rows;
    const int fields = rs.fieldCount();
    for (rs.moveFirst(); !rs.eof(); rs.moveNext()) {
        QStringList row;
        row.reserve(fields);
        for (int i = 0; i < fields; ++i)
            row << rs.field(i).toString().trimmed();
        rows << row;
    }
    return rows;
}

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
        db::Recordset rs = connection_->query(sql);
        if (connection_->failed()) {
            fail(request);
            return;
        }
        parts << readRows(rs);
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

DbChannel::DbChannel(const QString& connectionString, QObject* parent)
    : QObject(parent), worker_(new DbWorker(connectionString))
{
    thread_.setObjectName(QStringLiteral("DbChannel"));
    worker_->moveToThread(&thread_);
    connect(&thread_, &QThread::finished, worker_, &QObject::deleteLater);
    thread_.start();
}

DbChannel::~DbChannel()
{
    thread_.quit();
    thread_.wait();
}

quint64 DbChannel::fetch(const QStringList& statements)
{
    const quint64 id = next();
    QMetaObject::invokeMethod(worker_, [w = worker_, id, statements] { w->fetch(id, statements); });
    return id;
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

} // namespace lt::overseer
