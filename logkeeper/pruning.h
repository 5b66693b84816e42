#pragma once
// Pruning of the three fast-growing log tables. A table is pruned once its row count reaches
// its limit plus a margin; then the row at 0-based position skip = rows - kept, in ascending
// time order, gives the cut-off time stamp, and every row stamped at or before it goes. So at
// most kept - 1 rows remain (fewer when several rows share the cut-off stamp).
//
// The cut-off row is found on the server with one bounded statement (ORDER BY ... LIMIT skip,1)
// rather than by reading the whole time column to the client: the driver would hold all of it
// in memory. Ties and NULL stamps order exactly as in a full ordered read, so the same rows go.

#include "logkeeper/limits.h"

#include <QDateTime>
#include <QString>

namespace lt::db
{
class Connection;
}

namespace lt::keeper
{

// One pruning step: prune `table` when it holds at least `start` rows, down to `kept` rows.
// `condition` narrows the deletion ("Class=''" for unclassified recent visits).
struct Stage {
    QString table; // as the statements name it: LogTable, UpSendTable, WebTable
    qint64 start = 0;
    qint64 kept = 0;
    QString condition;
};

// Margins of the pruning rules.
constexpr qint64 kLogMargin = 50000;
constexpr qint64 kUploadMargin = 2000;
constexpr qint64 kWebUnclassifiedMargin = 100000;
constexpr qint64 kWebAllMargin = 50000;

Stage logStage(qint32 logLimit);
Stage uploadStage(qint32 uploadLimit);
Stage webUnclassifiedStage(qint32 webLimit);
Stage webAllStage(qint32 webLimit);

QString countStatement(const QString& table);
QString cutStatement(const QString& table, qint64 skip);
QString deleteStatement(const Stage& stage, const QString& cut);

struct StageResult {
    QString table;
    qint64 rows = -1;    // rows counted before the step; -1 when the count failed
    qint64 start = 0;    // rows at which the step prunes
    bool pruned = false; // a deletion was sent and succeeded
    qint64 deleted = 0;
    QString cut;   // the cut-off time stamp, when one was found
    QString error; // the server's message when a statement failed
    bool failed() const { return !error.isEmpty(); }
};

// Runs one step on the connection: count, find the cut-off row, delete.
StageResult runStage(db::Connection& connection, const Stage& stage);

// The lock of a pruning pass, seen by every node of a cluster (common/clusterlock.h).
inline const QString kPassLock = QStringLiteral("lantrove_prune");

struct PassReport {
    QDateTime started;
    QDateTime finished;
    // How long the pass took, connecting included, by a monotonic clock; -1 when not measured
    // (then finished - started).
    qint64 elapsedMs = -1;
    qint64 durationMs() const;
    // Another pass held the lock: this one did nothing (note says so).
    bool skipped = false;
    QString note;
    StageResult log;
    StageResult webUnclassified;
    StageResult webAll;
    StageResult upload;
    qint64 webDeleted() const { return webUnclassified.deleted + webAll.deleted; }
    bool failed() const;
};

// The daily pass on the keeper's two connections (log database, configuration database).
class Pruner
{
public:
    Pruner(db::Connection& log, db::Connection& config) : log_(log), config_(config) {}

    StageResult DelLogTable(qint32 logLimit);
    // Unclassified rows first, then rows of every class.
    std::pair<StageResult, StageResult> DelWebTable(qint32 webLimit);
    StageResult Del_UpTable(qint32 uploadLimit);

    // DelLogTable, DelWebTable, Del_UpTable in this order, under kPassLock; a failing table
    // does not stop the others. When another keeper holds the lock (on any node of a cluster),
    // nothing is pruned.
    // After log rows went, the day sums of the days left without rows go too.
    PassReport runPass(const Limits& limits);

private:
    db::Connection* lockConnection() const;
    db::Connection& log_;
    db::Connection& config_;
};

} // namespace lt::keeper
