#pragma once
// The work of the export window, the restore dialog and the deletion dialog, without widgets,
// so that the window, the command line and the tests run the same code. Each job takes the
// connection it works on (its own, when it runs beside the window) and reports its outcome
// with the reason of a failure in Chinese, the driver's words after it.
//
// What makes them safe:
// - exports read in bounded chunks inside one read-only transaction, so the count written at
//   the head of a backup and the records that follow come from the same snapshot; the file is
//   written beside its target and takes the target's place only when it is complete, so a stop
//   or a failure leaves the old file (or none) as it was;
// - the clearing after a report deletes exactly the rows exported, never the rows the capture
//   module wrote meanwhile;
// - a restore reads and checks the whole file before it changes a table, and changes the tables
//   in one transaction: on any failure the database is as it was before, and where the
//   connection broke while the commit was on its way the outcome says that nobody can know;
// - the date-range deletion deletes from both logs in one transaction;
// - every file written is its owner's alone (0600): a backup is the site's browsing history.

#include "overseer/archive/archiveformats.h"

#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>

namespace lt::db
{
class Connection;
}

namespace lt::overseer::archive
{

// Called on the thread that runs the job after each record (done of total).
using Progress = std::function<void(qint64 done, qint64 total)>;

// Long statements: a job's connection waits as long as a large table needs.
bool openJobConnection(db::Connection& connection, const QString& connectionString);

// Texts of the export window for a log export.
QString logTable(ExportKind kind); // "logtable" or "upsendtable"
QString noRowsMessage(ExportKind kind);
QString doneMessage(ExportKind kind);
QString clearQuestion(ExportKind kind);
QString clearedMessage(ExportKind kind);

// One row as read: its values, and which of them were null.
struct ExportedRow {
    QStringList values;
    QList<bool> isNull;
};

// What an export handed over, so that a clearing deletes exactly that.
struct ExportedRows {
    qint64 rows = 0;
    QString newestKey;         // the AcTime of the newest rows exported
    QList<ExportedRow> newest; // the rows of that AcTime
    qint64 nullKeys = 0;       // rows exported without an AcTime
    qint64 older() const { return rows - newest.size() - nullKeys; }
};

struct ExportOutcome {
    enum Status { Done, NoRows, Stopped, Failed };
    Status status = Failed;
    qint64 rows = 0;
    QString message; // why it failed; empty otherwise
    ExportedRows exported;
};
// A log export (browse report, upload report, backup) of the whole table, newest first.
ExportOutcome exportLog(db::Connection& log, ExportKind kind, const QString& path,
                        const Progress& progress = {}, const std::atomic<bool>* stop = nullptr);
// A value of the configuration tables that the file holds otherwise than the table does (see
// configValueReadBack), or a null value, which the file holds as an empty one.
struct ConfigChange {
    QString table;  // "usertable" or "grouptable"
    qint64 row = 0; // 1-based, in the order the file holds the rows
    QString column;
    QString stored; // as read from the table
    bool storedNull = false;
    QString written; // as the restore will read it
};
// The configuration file.
struct ConfigExportOutcome {
    bool ok = false;
    qint64 users = 0;
    qint64 groups = 0;
    QList<ConfigChange> changes;
    QString message;
};
ConfigExportOutcome exportConfig(db::Connection& config, const QString& path);
// "配置数据导出完毕", followed by the list of the values the file changed when there are any.
QString configExportedMessage(const ConfigExportOutcome& outcome);
// The list alone (one line for each value); empty when nothing changed.
QString configChangesText(const QList<ConfigChange>& changes);

struct ClearOutcome {
    bool ok = false;
    qint64 deleted = 0;
    QString message;
};
// Deletes the rows of an export from its table in one transaction; when the table no longer
// holds exactly those rows (some were deleted or changed meanwhile) nothing is deleted.
ClearOutcome clearExported(db::Connection& log, ExportKind kind, const ExportedRows& exported);

struct RestoreOutcome {
    // Unknown: the connection broke while the commit was on its way; the message says what to
    // look at to find out.
    enum Status { Done, Refused, Failed, Unknown };
    Status status = Failed;
    qint64 restored = 0;
    qint64 failed = 0; // records that could not go in as they are (log restore)
    QString message;   // why it was refused or failed
};
// The log backup's records added to logtable.
RestoreOutcome restoreLog(db::Connection& log, const QString& path, const Progress& progress = {});
// Every terminal and group replaced by those of the configuration file.
RestoreOutcome restoreConfig(db::Connection& config, const QString& path);
// The closing message of a successful log restore.
QString logRestoredMessage(const RestoreOutcome& outcome);

struct DeletionOutcome {
    bool ok = false;
    bool unknown = false; // the connection broke while the commit was on its way
    qint64 deleted = 0;
    QList<qint64> deletedBy; // the rows each statement deleted
    QString message;
};
// The statements (deletionStatements) in one transaction: all of them take effect or none.
DeletionOutcome deleteLogs(db::Connection& log, const QStringList& statements);

} // namespace lt::overseer::archive
