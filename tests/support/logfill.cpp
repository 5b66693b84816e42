#include "tests/support/logfill.h"

#include "common/clock.h"
#include "common/odbc.h"
#include "tests/support/testsupport.h"

#include <QStringList>

namespace lt::test
{

namespace
{

// Far below the server's packet limit, and few round trips.
constexpr qsizetype kRowsPerStatement = 1000;

template <typename Row> QStringList statements(const QList<Row>& rows)
{
    QStringList out;
    for (qsizetype from = 0; from < rows.size(); from += kRowsPerStatement) {
        const Row* begin = rows.constData() + from;
        out << logrows::insertStatement(begin,
                                        begin + std::min(kRowsPerStatement, rows.size() - from));
    }
    return out;
}

template <typename Row> QString joined(const QList<Row>& rows)
{
    QString sql;
    for (const QString& statement : statements(rows))
        sql += statement + QLatin1Char(';');
    return sql;
}

template <typename Row>
void fill(logrows::Table table, const QString& database, const QList<Row>& rows, Existing existing)
{
    QString sql;
    if (existing == Existing::Delete)
        sql = QStringLiteral("DELETE FROM ") + logrows::tableName(table) + QLatin1Char(';');
    sql += joined(rows);
    if (!sql.isEmpty())
        test::sql(sql, database);
}

template <typename Row> bool add(db::Connection& c, const QList<Row>& rows)
{
    for (const QString& statement : statements(rows)) {
        if (!c.execute(statement))
            return false;
    }
    return true;
}

} // namespace

QString insertSql(const QList<logrows::LogRow>& rows)
{
    return joined(rows);
}

QString insertSql(const QList<logrows::UploadRow>& rows)
{
    return joined(rows);
}

QString insertSql(const QList<logrows::VisitRow>& rows)
{
    return joined(rows);
}

void fillRows(const QList<logrows::LogRow>& rows, Existing existing)
{
    fill(logrows::Table::Log, QStringLiteral("dovrik"), rows, existing);
}

void fillRows(const QList<logrows::UploadRow>& rows, Existing existing)
{
    fill(logrows::Table::Upload, QStringLiteral("dovrik"), rows, existing);
}

void fillRows(const QList<logrows::VisitRow>& rows, Existing existing)
{
    fill(logrows::Table::Visit, QStringLiteral("ipdata"), rows, existing);
}

bool addRows(db::Connection& c, const QList<logrows::LogRow>& rows)
{
    return add(c, rows);
}

bool addRows(db::Connection& c, const QList<logrows::UploadRow>& rows)
{
    return add(c, rows);
}

QString rawLogSql(int rows, const std::function<QString(int i)>& valuesOf)
{
    QString sql;
    for (int from = 0; from < rows; from += kRowsPerStatement) {
        QStringList values;
        for (int i = from; i < std::min<int>(rows, from + kRowsPerStatement); ++i)
            values << valuesOf(i);
        sql += QStringLiteral("INSERT INTO logtable(") + logrows::kLogColumns +
               QStringLiteral(") VALUES") + values.join(QLatin1Char(',')) + QLatin1Char(';');
    }
    return sql;
}

QString spreadStamp(QDate first, int days, int i, int n)
{
    return acTime(QDateTime(first, QTime(0, 0)).addSecs(qint64(i) * days * 86400 / n));
}

} // namespace lt::test
