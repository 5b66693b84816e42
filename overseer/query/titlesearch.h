#pragma once
// Title searches of the access log read only the days that can hold a match.
//
// A title search (condition codes with the title position chosen) tests every row of its range
// with Instr: a word that few titles hold makes it read the whole range for a handful of rows.
// The day sums keep, for each summed day, the distinct titles with their group and result and
// the number of rows of each (`daytitles`, common/logsummary.h), true whenever the day is
// summed. From them a search learns, in one small statement, which whole days of its range
// hold a matching row and how many such rows they hold. The list then reads the days with a
// match and every stretch the sums do not cover (partial days at the edges, a day not summed
// whole yet), and the count adds the rows of the summed days to the count of the uncovered
// stretches. Both give exactly the rows and the number of the plain statement.
//
// The list is of the moment it starts: a row arriving late into a day that held no match then
// shows after the next refresh (the day is summed anew meanwhile).

#include "common/logsummary.h"
#include "overseer/query/logquery.h"

#include <QString>
#include <QStringList>
#include <optional>

namespace lt::db
{
class Connection;
}

namespace lt::overseer
{

// What the title dictionary says of the whole days of a search's range that are summed: each
// from its start up to its Upto (a day summed only in part has the rest read from the log).
struct TitleDays {
    QList<summary::DayCover> covered; // sorted by day
    QStringList matching;             // the covered days holding a matching row
    qint64 matches = 0;               // the matching rows of the covered stretches
};

struct TitleStatements {
    QString list;  // as logListSql, narrowed to the stretches that can hold a match
    QString count; // the count as sent (with countSqlFor's hint)
};

// True for a browse-log code with the title chosen.
bool isTitleSearch(const LogQueryState& state);

// The statement that reads TitleDays: per summed whole day of the range, how far it is summed and
// its matching rows ("Day", "Upto", number), all of one moment. Nullopt when the state is no title
// search or its range has no whole day.
std::optional<QString> titleDaysSql(const LogQueryState& state);

// The list and count statements given what the dictionary said; nullopt for no title search.
std::optional<TitleStatements> titleStatements(const LogQueryState& state, const TitleDays& days);

// Reads the dictionary and builds the statements; nullopt when the state is no title search,
// the sums cannot be vouched for, or the server did not answer: the plain statements serve then.
std::optional<TitleStatements> titleSearchStatements(db::Connection& connection,
                                                     const LogQueryState& state);

} // namespace lt::overseer
