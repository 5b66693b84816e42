#include "overseer/query/statsworker.h"

#include "common/dbmessages.h"
#include "common/odbc.h"

#include <QMetaObject>

namespace lt::overseer
{

namespace
{

void registerTypes()
{
    static const bool done = [] {
        qRegisterMetaType<QList<QStringList>>();
        qRegisterMetaType<QList<int>>();
        return true;
    }();
    Q_UNUSED(done);
}

} // namespace

StatsWorker::StatsWorker(QString logConnection, QString configConnection)
    : logString_(std::move(logConnection)), configString_(std::move(configConnection)),
      log_(std::make_unique<db::Connection>()), config_(std::make_unique<db::Connection>())
{
    registerTypes();
}

StatsWorker::~StatsWorker() = default;

bool StatsWorker::ensureOpen(db::Connection& connection, const QString& connectionString,
                             quint64 request)
{
    if (connection.isOpen())
        return true;
    if (connection.open(connectionString))
        return true;
    fail(connection, request);
    return false;
}

void StatsWorker::fail(db::Connection& connection, quint64 request)
{
    const QString message = db::failureDetail(connection.lastError());
    connection.clearError();
    emit failed(request, message);
}

QList<summary::DayCover> StatsWorker::beginReading(const LogQueryState& state)
{
    bool usable = false;
    if (const auto failure = summary::foldRange(*log_, state.CondStart, state.CondEnd, &usable))
        qWarning("day sums not brought up to date: %s", qPrintable(*failure));
    log_->clearError();
    if (!usable || !log_->beginTransaction())
        return {};
    QString why;
    const auto covered = summary::coverage(*log_, state.CondStart, state.CondEnd, &why, true);
    if (!covered) {
        qWarning("day sums not read, the log alone is read: %s", qPrintable(why));
        log_->clearError();
    }
    return covered.value_or(QList<summary::DayCover>{});
}

void StatsWorker::failReading(quint64 request)
{
    const QString message = db::failureDetail(log_->lastError());
    log_->clearError();
    endReading();
    log_->clearError();
    emit failed(request, message);
}

void StatsWorker::endReading()
{
    if (log_->inTransaction())
        log_->rollback();
}

void StatsWorker::visitPage(quint64 request, const LogQueryState& state, StatsMode mode,
                            qint64 pageNo, int pageSize)
{
    if (!ensureOpen(*log_, logString_, request))
        return;
    const QList<summary::DayCover> covered =
        mode == StatsMode::Terminal ? QList<summary::DayCover>{} : beginReading(state);
    const QString sql = visitStatsSql(mode, state, covered);
    const qint64 first = (std::max<qint64>(pageNo, 1) - 1) * pageSize;
    QList<QStringList> rows;
    qint64 at = 0;
    const bool ok = log_->stream(sql, [&](const db::Row& row) {
        if (at >= first && at < first + pageSize) {
            QStringList fields;
            for (int i = 0; i < row.fieldCount(); ++i)
                fields << row.field(i).toString();
            rows << visitStatsRow(mode, fields);
        }
        ++at;
        return true;
    });
    if (!ok) {
        failReading(request);
        return;
    }
    endReading();
    emit pageReady(request, rows, at);
}

void StatsWorker::traffic(quint64 request, const LogQueryState& state)
{
    if (!ensureOpen(*config_, configString_, request) || !ensureOpen(*log_, logString_, request))
        return;
    QList<TerminalRow> terminals;
    const bool listed = config_->stream(trafficTerminalsSql(), [&](const db::Row& row) {
        terminals << TerminalRow{row.field(QStringLiteral("Name")).toString(),
                                 row.field(QStringLiteral("IP")).toString()};
        return true;
    });
    if (!listed) {
        fail(*config_, request);
        return;
    }
    QHash<QString, QString> sums;
    const QString sql = trafficSumsSql(state, beginReading(state));
    const bool summed = log_->stream(sql, [&](const db::Row& row) {
        sums.insert(row.field(0).toString().trimmed(), row.field(1).toString());
        return true;
    });
    if (!summed) {
        failReading(request);
        return;
    }
    endReading();
    emit trafficReady(request, trafficRows(terminals, sums));
}

void StatsWorker::execute(quint64 request, const QStringList& statements)
{
    if (!ensureOpen(*log_, logString_, request))
        return;
    QList<int> succeeded;
    QString firstError;
    for (int i = 0; i < statements.size(); ++i) {
        if (log_->execute(statements[i]))
            succeeded << i;
        else if (firstError.isEmpty())
            firstError = db::failureDetail(log_->lastError());
        log_->clearError();
    }
    emit executed(request, succeeded);
    if (succeeded.size() < statements.size())
        emit failed(request, firstError);
}

StatsChannel::StatsChannel(const QString& logConnection, const QString& configConnection,
                           QObject* parent)
    : QObject(parent), thread_(QStringLiteral("StatsChannel")),
      worker_(thread_.adopt(new StatsWorker(logConnection, configConnection)))
{
}

StatsChannel::~StatsChannel() = default;

quint64 StatsChannel::visitPage(const LogQueryState& state, StatsMode mode, qint64 pageNo,
                                int pageSize)
{
    const quint64 id = ++last_;
    QMetaObject::invokeMethod(worker_, [w = worker_, id, state, mode, pageNo, pageSize] {
        w->visitPage(id, state, mode, pageNo, pageSize);
    });
    return id;
}

quint64 StatsChannel::traffic(const LogQueryState& state)
{
    const quint64 id = ++last_;
    QMetaObject::invokeMethod(worker_, [w = worker_, id, state] { w->traffic(id, state); });
    return id;
}

quint64 StatsChannel::execute(const QStringList& statements)
{
    const quint64 id = ++last_;
    QMetaObject::invokeMethod(worker_,
                              [w = worker_, id, statements] { w->execute(id, statements); });
    return id;
}

} // namespace lt::overseer
