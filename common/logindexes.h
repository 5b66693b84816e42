#pragma once
// The indexes that serve the log views beyond the time stamp indexes the log tables are created
// with. A page or a count of one terminal, one group, one class or one result reads the rows of
// that value only, newest first, instead of walking the whole time range; the columns that the
// conditions test come after the time stamp, so a count is answered from the index alone.
//
// The log tables themselves stay exactly as the capture modules know them (they insert whole
// rows by position): an index adds no column. A new log database gets the indexes when it is
// initialised; an existing one when it is upgraded, which adds only what is missing, keeps
// every row and lets the capture modules go on inserting meanwhile.

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

namespace lt::db
{
class Connection;
}

namespace lt::schema
{

struct ReadingIndex {
    QString table;
    QString name;
    QString columns; // as in the statement: "IP,AcTime,Class,Result"
};

// Every reading index, table by table.
const QList<ReadingIndex>& readingIndexes();

// The index that serves the pages of a list of `table` ("logtable" or "upsendtable") under the
// condition code of the query dialogs (terminal, group, title, class, result): the terminal's,
// else the group's, else, without a title, the class's or the result's; empty where the time
// stamp index serves best (no condition, or a title without a terminal or a group).
QString readingIndexFor(const QString& table, const QString& condCode);
// Whether a list of `table` under the condition code looks for a substring of upload contents
// along the time stamp index alone: contents are nearly all distinct, so the word may be found in
// few rows and the first page is read as LogStore's sparse lists are.
bool sparseCondition(const QString& table, const QString& condCode);
// The count statement of a condition code as sent. A title substring without a terminal makes
// the count read most rows: the group, class and result indexes would fetch them one by one in
// their own order, several times slower than reading the table through, so the count is told
// not to take them. Any other count is left to the optimizer.
QString countSqlFor(const QString& countSql, const QString& table, const QString& condCode);
inline const QString kCountIndexHint =
    QStringLiteral(" IGNORE INDEX (TeamTime,ClassTime,ResultTime)");

// "ALTER TABLE t ADD INDEX name (columns), ALGORITHM=INPLACE, LOCK=NONE": built beside the
// table while rows go on being inserted.
QString addIndexSql(const ReadingIndex& index);

// The reading indexes that the log database (dovrik) lacks; nullopt-like failure is reported
// through `error` (empty when the server answered).
QList<ReadingIndex> missingReadingIndexes(db::Connection& connection, QString* error = nullptr);

// The log tables that get a row key: an invisible column RowId (an AUTO_INCREMENT primary key)
// that `SELECT *` and an INSERT without a column list do not see, so the capture modules, the
// views and the backups find the columns they know. A cluster (Galera) certifies and applies the
// rows of a table by its primary key: without one it hashes whole rows and finds each deleted
// row through a secondary index, several times slower for the pruning's large deletes.
const QStringList& keyedLogTables();
// "ALTER TABLE dovrik.t ADD COLUMN RowId ... INVISIBLE, ADD PRIMARY KEY (RowId)"
QString addRowKeySql(const QString& table);
// The keyed log tables that have no primary key yet.
QStringList tablesWithoutRowKey(db::Connection& connection, QString* error = nullptr);

struct UpgradeOutcome {
    QStringList added;    // index and summary piece names added
    QStringList failures; // "statement: message"
    QStringList notices;  // in Chinese: what the upgrade left as it was, and why
    bool ok() const { return failures.isEmpty(); }
};

// Adds one reading index beside the table; a log table whose engine cannot do that (MyISAM) gets
// it the plain way. True when the index is there afterwards, also when it already was.
bool addReadingIndex(db::Connection& connection, const ReadingIndex& index,
                     UpgradeOutcome& outcome);

// Adds the reading indexes, the row keys and the table of the cluster's locks
// (common/clusterlock.h) the log database lacks, then brings the day sums to
// a state that can be vouched for (common/summaryschema.h). A row key rebuilds its table, and
// the capture modules' inserts wait meanwhile (their writer keeps the rows). On a large log each
// index takes a while (about half a minute per 5,000,000 rows here); progress names the index or
// piece being made. Run again after any interruption, it finishes what is left.
UpgradeOutcome upgradeLogDatabase(db::Connection& connection,
                                  const std::function<void(const QString& index)>& progress = {});

} // namespace lt::schema
