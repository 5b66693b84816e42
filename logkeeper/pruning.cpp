#include "logkeeper/pruning.h"

#include "common/clock.h"
#include "common/clusterlock.h"
#include "common/dbmessages.h"
#include "common/logsummary.h"
#include "common/odbc.h"

#include <optional>

namespace lt::keeper
{

namespace
{

// Chinese first, the driver's words as the detail.
QString errorOf(const db::Connection& connection)
{
    return db::describeFailure(connection.lastError());
}

// Longer than any pass takes (a pass deletes a day's growth of each table); a keeper that died
// holding the lock keeps the others from pruning for no longer than this.
constexpr int kPassLeaseSeconds = 3600;

} // namespace

Stage logStage(qint32 logLimit)
{
    return {QStringLiteral("LogTable"), qint64(logLimit) + kLogMargin, logLimit, {}};
}

Stage uploadStage(qint32 uploadLimit)
{
    return {QStringLiteral("UpSendTable"), qint64(uploadLimit) + kUploadMargin, uploadLimit, {}};
}

Stage webUnclassifiedStage(qint32 webLimit)
{
    return {QStringLiteral("WebTable"), qint64(webLimit) + kWebUnclassifiedMargin, webLimit,
            QStringLiteral("Class=''")};
}

Stage webAllStage(qint32 webLimit)
{
    return {QStringLiteral("WebTable"),
            qint64(webLimit) + kWebAllMargin,
            qint64(webLimit) + kWebAllMargin,
            {}};
}

QString countStatement(const QString& table)
{
    return QStringLiteral("SELECT COUNT(AcTime) FROM ") + table;
}

QString cutStatement(const QString& table, qint64 skip)
{
    return QStringLiteral("SELECT AcTime FROM %1 ORDER BY AcTime LIMIT %2,1").arg(table).arg(skip);
}

QString deleteStatement(const Stage& stage, const QString& cut)
{
    QString sql = QStringLiteral("DELETE FROM ") + stage.table +
                  QStringLiteral(" WHERE AcTime<='") + db::sqlEscape(cut) + QLatin1Char('\'');
    if (!stage.condition.isEmpty())
        sql += QStringLiteral(" AND ") + stage.condition;
    return sql;
}

StageResult runStage(db::Connection& connection, const Stage& stage)
{
    StageResult result;
    result.table = stage.table;
    result.start = stage.start;
    if (!connection.isOpen()) { // the error state still holds why it did not open
        const db::Error& e = connection.lastError();
        result.error = db::serverUnreachable(e)
                           ? errorOf(connection)
                           : QStringLiteral("打开数据库连接失败：") + errorOf(connection);
        return result;
    }
    const db::Recordset count = connection.query(countStatement(stage.table));
    if (connection.failed()) {
        result.error = errorOf(connection);
        return result;
    }
    result.rows = count.field(0).toLongLong();
    if (result.rows < stage.start || stage.kept < 0)
        return result;

    const db::Recordset cutRow =
        connection.query(cutStatement(stage.table, result.rows - stage.kept));
    if (connection.failed()) {
        result.error = errorOf(connection);
        return result;
    }
    // No row at that position (the table shrank meanwhile) or a row without a stamp: nothing
    // can be cut safely.
    if (cutRow.eof() || cutRow.field(0).isNull())
        return result;
    result.cut = cutRow.field(0).toString();

    qint64 affected = 0;
    if (!connection.execute(deleteStatement(stage, result.cut), &affected)) {
        result.error = errorOf(connection);
        return result;
    }
    result.pruned = true;
    result.deleted = affected;
    return result;
}

qint64 PassReport::durationMs() const
{
    return elapsedMs >= 0 ? elapsedMs : started.msecsTo(finished);
}

bool PassReport::failed() const
{
    return log.failed() || webUnclassified.failed() || webAll.failed() || upload.failed();
}

StageResult Pruner::DelLogTable(qint32 logLimit)
{
    return runStage(log_, logStage(logLimit));
}

std::pair<StageResult, StageResult> Pruner::DelWebTable(qint32 webLimit)
{
    StageResult unclassified = runStage(config_, webUnclassifiedStage(webLimit));
    StageResult all = runStage(config_, webAllStage(webLimit));
    return {unclassified, all};
}

StageResult Pruner::Del_UpTable(qint32 uploadLimit)
{
    return runStage(log_, uploadStage(uploadLimit));
}

db::Connection* Pruner::lockConnection() const
{
    // Both data sources name the same server; a named lock is the server's.
    if (log_.isOpen())
        return &log_;
    return config_.isOpen() ? &config_ : nullptr;
}

PassReport Pruner::runPass(const Limits& limits)
{
    PassReport report;
    report.started = Clock::now();
    db::Connection* guard = lockConnection();
    std::optional<db::ClusterLock> lock;
    if (guard)
        lock.emplace(*guard, kPassLock, kPassLeaseSeconds);
    // A lock that cannot be asked for (the server refused the statement) leaves the pass
    // unguarded, as on a server without locks.
    if (lock && lock->tryTake() == db::ClusterLock::State::Held) {
        report.skipped = true;
        report.note =
            QStringLiteral("另一个数据库维护程序正在清理同一数据库服务器上的日志，本次不清理");
        report.finished = Clock::now();
        return report;
    }
    if (guard)
        guard->clearError();
    report.log = DelLogTable(limits.log);
    std::tie(report.webUnclassified, report.webAll) = DelWebTable(limits.web);
    report.upload = Del_UpTable(limits.upload);
    // The day sums of the days the pass emptied would stay behind for good (the day it cut
    // into is forgotten by the log's trigger and summed anew by the next statistic).
    if (report.log.pruned && report.log.deleted > 0) {
        if (const std::optional<QString> failure = summary::purgeForgotten(log_))
            qWarning("day sums of pruned days not removed: %s", qPrintable(*failure));
        log_.clearError();
    }
    if (lock)
        lock->release();
    report.finished = Clock::now();
    return report;
}

} // namespace lt::keeper
