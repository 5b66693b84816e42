#include "common/logindexes.h"

#include "common/clusterlock.h"
#include "common/odbc.h"
#include "common/schema.h"
#include "common/summaryschema.h"

#include <optional>

namespace lt::schema
{

const QList<ReadingIndex>& readingIndexes()
{
    static const QList<ReadingIndex> indexes = {
        {QStringLiteral("logtable"), QStringLiteral("IpTime"),
         QStringLiteral("IP,AcTime,Class,Result")},
        {QStringLiteral("logtable"), QStringLiteral("TeamTime"),
         QStringLiteral("Team,AcTime,Class,Result")},
        {QStringLiteral("logtable"), QStringLiteral("ClassTime"),
         QStringLiteral("Class,AcTime,Result")},
        {QStringLiteral("logtable"), QStringLiteral("ResultTime"), QStringLiteral("Result,AcTime")},
        {QStringLiteral("upsendtable"), QStringLiteral("IpSendTime"), QStringLiteral("IP,AcTime")},
    };
    return indexes;
}

QString readingIndexFor(const QString& table, const QString& condCode)
{
    if (condCode.size() != 5)
        return {};
    const auto on = [&](int i) { return condCode[i] == u'1'; };
    if (table.compare(QStringLiteral("upsendtable"), Qt::CaseInsensitive) == 0)
        return on(0) ? QStringLiteral("IpSendTime") : QString();
    if (table.compare(QStringLiteral("logtable"), Qt::CaseInsensitive) != 0)
        return {};
    if (on(0))
        return QStringLiteral("IpTime");
    if (on(1))
        return QStringLiteral("TeamTime");
    if (on(2))
        return {};
    if (on(3))
        return QStringLiteral("ClassTime");
    if (on(4))
        return QStringLiteral("ResultTime");
    return {};
}

bool sparseCondition(const QString& table, const QString& condCode)
{
    return table.compare(QStringLiteral("upsendtable"), Qt::CaseInsensitive) == 0 &&
           condCode.size() == 5 && condCode[2] == u'1' &&
           readingIndexFor(table, condCode).isEmpty();
}

QString countSqlFor(const QString& countSql, const QString& table, const QString& condCode)
{
    const bool titleWithoutTerminal =
        condCode.size() == 5 && condCode[2] == u'1' && condCode[0] != u'1';
    if (!titleWithoutTerminal || table.compare(QStringLiteral("logtable"), Qt::CaseInsensitive))
        return countSql;
    const QString from = QStringLiteral(" FROM ") + table;
    const qsizetype at = countSql.indexOf(from + QStringLiteral(" WHERE "), 0, Qt::CaseInsensitive);
    if (at < 0)
        return countSql;
    return QString(countSql).insert(at + from.size(), kCountIndexHint);
}

QString addIndexSql(const ReadingIndex& index)
{
    return QStringLiteral("ALTER TABLE ") + index.table + QStringLiteral(" ADD INDEX ") +
           index.name + QStringLiteral(" (") + index.columns +
           QStringLiteral("), ALGORITHM=INPLACE, LOCK=NONE");
}

QList<ReadingIndex> missingReadingIndexes(db::Connection& connection, QString* error)
{
    connection.clearError();
    db::Recordset rs = connection.query(
        QStringLiteral("SELECT DISTINCT TABLE_NAME, INDEX_NAME FROM information_schema.STATISTICS "
                       "WHERE TABLE_SCHEMA='") +
        kLogDatabase + QStringLiteral("'"));
    if (connection.failed()) {
        if (error)
            *error = connection.lastError().message;
        return {};
    }
    QStringList present;
    for (; !rs.eof(); rs.moveNext())
        present << rs.field(0).toString().toLower() + u'.' + rs.field(1).toString().toLower();
    QList<ReadingIndex> missing;
    for (const ReadingIndex& index : readingIndexes()) {
        if (!present.contains(index.table.toLower() + u'.' + index.name.toLower()))
            missing << index;
    }
    return missing;
}

const QStringList& keyedLogTables()
{
    static const QStringList tables = {QStringLiteral("logtable"), QStringLiteral("upsendtable")};
    return tables;
}

QString addRowKeySql(const QString& table)
{
    return QStringLiteral("ALTER TABLE ") + kLogDatabase + u'.' + table +
           QStringLiteral(" ADD COLUMN RowId BIGINT UNSIGNED NOT NULL AUTO_INCREMENT INVISIBLE, "
                          "ADD PRIMARY KEY (RowId)");
}

namespace
{

// The tables of the log database that have a primary key; nullopt when the server did not say.
std::optional<QStringList> keyedTables(db::Connection& connection, QString* error)
{
    connection.clearError();
    const db::Recordset rs = connection.query(
        QStringLiteral("SELECT LOWER(TABLE_NAME) FROM information_schema.TABLE_CONSTRAINTS WHERE "
                       "TABLE_SCHEMA='") +
        kLogDatabase + QStringLiteral("' AND CONSTRAINT_TYPE='PRIMARY KEY'"));
    if (connection.failed()) {
        if (error)
            *error = connection.lastError().message;
        return std::nullopt;
    }
    QStringList keyed;
    for (db::Recordset r = rs; !r.eof(); r.moveNext())
        keyed << r.field(0).toString();
    return keyed;
}

QStringList withoutKey(const QStringList& keyed)
{
    QStringList lacking;
    for (const QString& table : keyedLogTables()) {
        if (!keyed.contains(table))
            lacking << table;
    }
    return lacking;
}

} // namespace

QStringList tablesWithoutRowKey(db::Connection& connection, QString* error)
{
    const std::optional<QStringList> keyed = keyedTables(connection, error);
    return keyed ? withoutKey(*keyed) : QStringList();
}

namespace
{

constexpr int kDuplicateKeyName = 1061;
// The engine cannot build the index beside the table (MyISAM, for one): it is built the plain
// way, which holds the table's writers back while it runs.
constexpr int kAlterNotSupported = 1845;
constexpr int kAlterNotSupportedReason = 1846;

} // namespace

// An earlier upgrade stopped while the server went on building the index finds it there now
// ("Duplicate key name").
bool addReadingIndex(db::Connection& connection, const ReadingIndex& index, UpgradeOutcome& outcome)
{
    QString sql = addIndexSql(index).replace(QStringLiteral("ALTER TABLE "),
                                             QStringLiteral("ALTER TABLE ") + kLogDatabase + u'.');
    if (connection.execute(sql)) {
        outcome.added << index.name;
        return true;
    }
    int native = connection.lastError().native;
    if (native == kAlterNotSupported || native == kAlterNotSupportedReason) {
        connection.clearError();
        sql.chop(QStringLiteral(", ALGORITHM=INPLACE, LOCK=NONE").size());
        if (connection.execute(sql)) {
            outcome.added << index.name;
            return true;
        }
        native = connection.lastError().native;
    }
    if (native == kDuplicateKeyName) {
        connection.clearError();
        return true;
    }
    outcome.failures << sql + QStringLiteral(": ") + connection.lastError().message;
    connection.clearError();
    return false;
}

namespace
{

// The row keys, and the table of the locks that every node of a cluster sees (made here so that
// the first lock need not make it).
void addRowKeys(db::Connection& connection, UpgradeOutcome& outcome,
                const std::function<void(const QString&)>& progress)
{
    QString error;
    const std::optional<QStringList> keyed = keyedTables(connection, &error);
    if (!keyed) {
        outcome.failures << QStringLiteral("information_schema.TABLE_CONSTRAINTS: ") + error;
        return;
    }
    if (!keyed->contains(db::kLockTable)) {
        if (progress)
            progress(db::kLockTable);
        if (connection.execute(db::lockTableSql()))
            outcome.added << db::kLockTable;
        else
            outcome.failures << db::lockTableSql() + QStringLiteral(": ") +
                                    connection.lastError().message;
        connection.clearError();
    }
    for (const QString& table : withoutKey(*keyed)) {
        const QString name = table + QStringLiteral(".RowId");
        if (progress)
            progress(name);
        if (connection.execute(addRowKeySql(table)))
            outcome.added << name;
        else
            outcome.failures << addRowKeySql(table) + QStringLiteral(": ") +
                                    connection.lastError().message;
        connection.clearError();
    }
}

} // namespace

UpgradeOutcome upgradeLogDatabase(db::Connection& connection,
                                  const std::function<void(const QString&)>& progress)
{
    UpgradeOutcome outcome;
    QString error;
    const QList<ReadingIndex> missing = missingReadingIndexes(connection, &error);
    if (!error.isEmpty()) {
        outcome.failures << QStringLiteral("information_schema.STATISTICS: ") + error;
        return outcome;
    }
    for (const ReadingIndex& index : missing) {
        if (progress)
            progress(index.name);
        addReadingIndex(connection, index, outcome);
    }
    addRowKeys(connection, outcome, progress);
    const SummaryUpgrade sums = upgradeSummaries(connection, progress);
    outcome.added << sums.added;
    outcome.failures << sums.failures;
    outcome.notices << sums.notices;
    return outcome;
}

} // namespace lt::schema
