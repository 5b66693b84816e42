#pragma once
// The log query builder: the query conditions that the condition dialogs fill, and the statement
// texts the log views, the statistics and the printouts build from them.
//
// A five-character condition code selects one fixed statement shape; there is no parser. Positions
// left to right: terminal, group, title (keyword for the upload log), class, result; terminal and
// group are never both chosen, nor are title and class, which leaves 18 browse-log codes and 4
// upload-log codes. Every value is quoted with lt::db::sqlEscape, so a quote, a backslash or any
// other character reaches the server as typed (the title and keyword searches use Instr, so '%'
// and '_' are plain characters too).
//
// The builders are plain functions without a server; 查询日志记录总数 is the one that runs a
// statement, on the connection it is given.

#include "common/odbc.h"

#include <QDate>
#include <QString>
#include <optional>

namespace lt::overseer
{

// Today 00:00:00 and tomorrow 00:00:00 by lt::Clock, as 17-character time stamps.
QString todayStart();
QString tomorrowStart();

// The console's query conditions. Kept for the whole run and never cleared: a confirmed dialog
// rewrites the range and the code, and each value only when its criterion is chosen, so values
// the code does not select are stale and ignored.
struct LogQueryState {
    QString CondCode = QStringLiteral("00000");
    QString CondStart = todayStart();  // "YY-MM-DD HH:MM:SS", inclusive
    QString CondEnd = tomorrowStart(); // inclusive
    QString CondTermName;
    QString CondTermIP;
    QString CondTeam;
    QString CondTitle; // page title text (browse log) or uploaded content text (upload log)
    QString CondClass;
    QString CondResult; // "放行", "阻断", "积累"; in the statistics dialog the statistics mode
    QString TodayLog;   // "True" or "False", set by the viewing-mode dialog
    QString LogQuerySql; // the last list statement built, without ordering or paging
};

// The text after "WHERE " for the state's code: 18 browse-log shapes, 4 upload-log shapes.
// Empty (nullopt) for a code outside the tables.
std::optional<QString> logCondition(const LogQueryState& state);
std::optional<QString> uploadCondition(const LogQueryState& state);

// The today-only range of the log views: AcTime from d 00:00:00 to d 23:59:59 for day d.
QString todayCondition(const QDate& day);

// "SELECT count(*) FROM logtable WHERE " + condition.
std::optional<QString> logCountSql(const LogQueryState& state);
// "SELECT * FROM logtable WHERE " + condition (the access log's list statement).
std::optional<QString> logListSql(const LogQueryState& state);
// "SELECT * FROM upsendtable WHERE " + condition (the upload log's list statement).
std::optional<QString> uploadListSql(const LogQueryState& state);

// The list builders: set LogQuerySql to the list statement; for a code outside the tables they
// leave it unchanged and return false.
bool 显示_终端日志条件(LogQueryState& state);
bool 显示_上传日志条件(LogQueryState& state);

// The print query: every matching browse-log row, newest first
// ("SELECT * FROM logtable WHERE " + condition + " ORDER BY AcTime DESC"). It is meant to be read
// as a row stream; nothing should hold its whole result.
std::optional<QString> 终端日志条件(const LogQueryState& state);

// The outcome of a count: the number of rows, or the database's error (a code outside the tables
// counts as an error without a statement sent).
struct LogCount {
    bool ok = false;
    qint64 rows = 0;
    db::Error error;
};
// Sends the count statement on the given connection (the caller's own, e.g. a worker's).
LogCount 查询日志记录总数(db::Connection& connection, const LogQueryState& state);

} // namespace lt::overseer
