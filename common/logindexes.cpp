#include "common/logindexes.h"

#include "common/logsummary.h"
#include "common/odbc.h"
#include "common/schema.h"

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

namespace
{

QString inLogDatabase(QString sql)
{
    const QString db = kLogDatabase + u'.';
    sql.replace(QStringLiteral("CREATE TABLE "), QStringLiteral("CREATE TABLE ") + db);
    sql.replace(QStringLiteral("CREATE TRIGGER "), QStringLiteral("CREATE TRIGGER ") + db);
    sql.replace(QStringLiteral(" ON logtable "),
                QStringLiteral(" ON ") + db + QStringLiteral("logtable "));
    return sql;
}

// The day summaries and their triggers; then the log is summarised as far as it goes, so that
// the first statistic after the upgrade need not do it (days summarised already are skipped).
void addSummaries(db::Connection& connection, UpgradeOutcome& outcome,
                  const std::function<void(const QString&)>& progress)
{
    QString error;
    const QList<SummaryPiece> missing = missingSummaryPieces(connection, &error);
    if (!error.isEmpty()) {
        outcome.failures << QStringLiteral("information_schema.TABLES: ") + error;
        return;
    }
    for (const SummaryPiece& piece : missing) {
        if (progress)
            progress(piece.name);
        const QString sql = inLogDatabase(piece.sql);
        if (connection.execute(sql))
            outcome.added << piece.name;
        else
            outcome.failures << sql + QStringLiteral(": ") + connection.lastError().message;
    }
    // Also when every piece was there: an earlier upgrade may have ended before its fold did.
    if (!outcome.ok())
        return;
    if (progress)
        progress(QStringLiteral("daypages"));
    if (!connection.selectDatabase(kLogDatabase)) {
        outcome.failures << QStringLiteral("USE ") + kLogDatabase + QStringLiteral(": ") +
                                connection.lastError().message;
        return;
    }
    if (const std::optional<QString> failure = summary::foldAll(connection))
        outcome.failures << QStringLiteral("summary: ") + *failure;
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
        const QString sql = addIndexSql(index).replace(
            QStringLiteral("ALTER TABLE "), QStringLiteral("ALTER TABLE ") + kLogDatabase + u'.');
        if (connection.execute(sql))
            outcome.added << index.name;
        else
            outcome.failures << sql + QStringLiteral(": ") + connection.lastError().message;
    }
    addSummaries(connection, outcome, progress);
    return outcome;
}

} // namespace lt::schema
