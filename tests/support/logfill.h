#pragma once
// Log rows for the tests, written the one way every writer of the system writes them: the row
// types and named-column statements of common/logrows.h. A test states its rows as LogRow,
// UploadRow or VisitRow values and puts them in through the shared test server's client, a
// connection of its own, or (as statement text) a server of its own.

#include "common/logrows.h"

#include <QDate>
#include <QList>
#include <QString>
#include <functional>

namespace lt::db
{
class Connection;
}

namespace lt::test
{

// The statements that add the rows, at most 1,000 rows each, each ended by ";" (for the
// mariadb client); empty for no rows.
QString insertSql(const QList<logrows::LogRow>& rows);
QString insertSql(const QList<logrows::UploadRow>& rows);
QString insertSql(const QList<logrows::VisitRow>& rows);

enum class Existing { Delete, Keep };

// Puts the rows into their table on the shared test server (logtable and upsendtable of the
// log database, webtable of the configuration database), in one client run; by default the
// table's rows are deleted first (DELETE, so that the log's triggers see it).
void fillRows(const QList<logrows::LogRow>& rows, Existing existing = Existing::Delete);
void fillRows(const QList<logrows::UploadRow>& rows, Existing existing = Existing::Delete);
void fillRows(const QList<logrows::VisitRow>& rows, Existing existing = Existing::Delete);

// Adds the rows on the connection; false at the first statement that fails (its error stays
// on the connection).
bool addRows(db::Connection& c, const QList<logrows::LogRow>& rows);
bool addRows(db::Connection& c, const QList<logrows::UploadRow>& rows);

// For rows the row types cannot state (a NULL where no writer puts one): the statements that add
// `rows` rows to logtable, row i's parenthesised values given by valuesOf(i), each ended by ";".
QString rawLogSql(int rows, const std::function<QString(int i)>& valuesOf);
// Stamp i of n, spread evenly over `days` days from first's midnight, as the log writes stamps.
QString spreadStamp(QDate first, int days, int i, int n);

} // namespace lt::test
