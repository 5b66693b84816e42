#pragma once
// Day summaries of the access log, which answer the visit and traffic statistics of whole days
// without grouping millions of rows again.
//
// `daypages` holds, per day and page (URL), a title and the day's sum of F; `dayterminals`
// per day and address a name, the sum of F and the sum of nLength; `daytitles` per day the
// distinct titles with their group and result and the number of rows of each (the title
// searches, overseer/query/titlesearch.h). `summarydays` says how far
// each day is summarised: the rows of day D with time stamps from "D 00:00:00" up to and with
// Upto are in the sums; a day without a row there is not summarised at all (its sums, if any
// are left, are stale and are rebuilt before use).
//
// The console summarises (folds) what a statistic needs just before it runs it, in one
// transaction per day that holds rows (empty days cost one index look-up each, not a fold);
// the newest ten minutes are never folded, so that rows the capture modules are still
// inserting are read from the log itself. The log table's triggers (common/summaryschema.h)
// forget a day whenever a row arrives late into its summed stretch, or one of its rows is
// deleted or changed in a way the sums see, so late capture hosts, pruning, deleting,
// renaming and restoring by any program leave no stale sum behind. The sums are read only
// while all of that is in place; otherwise the statistics read the log alone. The sums of
// forgotten days are removed before the next fold and after pruning (`purgeForgotten`).
//
// A statistic then reads the sums of the days it wholly covers and the log rows of the rest
// (the partial days at its edges and what is not yet folded), and groups both together: the
// same groups and sums as the statement over the log alone.

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace lt::db
{
class Connection;
}

namespace lt::summary
{

// A day's time stamps begin with its 8 characters: "26-11-01".
struct DayCover {
    QString day;
    QString upto; // the last time stamp summarised, within the day
    // Empty: the day from its start up to and with `upto`, from the day sums. Otherwise the
    // whole hours of a day the range starts or ends inside ("00" to "23", ascending), from the
    // hour sums.
    QStringList hours = {};
};

// The days of the log that lie wholly within [start, end] (time stamps, both inclusive):
// "D 00:00:00" >= start and "D 23:59:59" <= end. Empty when either stamp is not a time stamp.
QStringList wholeDays(const QString& start, const QString& end);

// The days [start, end] touches, whole or in part; empty as wholeDays.
QStringList touchedDays(const QString& start, const QString& end);

// The whole hours of `day` within [start, end] that are summarised up to `upto`.
QStringList wholeHours(const QString& day, const QString& start, const QString& end,
                       const QString& upto);

// The condition on AcTime that selects the rows of [start, end] that `covered` (sorted by day,
// days and hours within the range) does not hold: the rows the statistic reads from the log
// itself.
QString uncoveredCondition(const QString& start, const QString& end,
                           const QList<DayCover>& covered);

// How far a day is to be summarised, given the newest stamp that may be folded (`horizon`):
// "D 23:59:59" for a day before the horizon's, the horizon itself on its day; nullopt for a
// day after it.
std::optional<QString> foldTarget(const QString& day, const QString& horizon);

// The newest stamp that may be folded: ten minutes before the older of the server's clock and
// the newest row's stamp (`newest`, "" for an empty log). nullopt when nothing may be folded.
std::optional<QString> foldHorizon(const QString& serverNow, const QString& newest);

// The statements that fold the rows of `day` after `from` (exclusive; nullopt: from the day's
// start, the day's old sums removed first) up to `upto` (inclusive) into the sums.
QStringList foldStatements(const QString& day, const std::optional<QString>& from,
                           const QString& upto);

// Folds what the days of [start, end] lack (also the days it starts or ends inside, for their
// hour sums), day by day (only days that hold rows), and
// returns nullopt on success or the failure's message. Sums that cannot be vouched for (a log
// not yet upgraded, a trigger missing or of an older version, a log table of MyISAM) count as
// success with nothing folded. `usable` (when given) tells whether the statistic may read the
// sums: true once they are known to be sound, even when folding failed later (what is summed
// stays true); false also when the range is no range of time stamps.
std::optional<QString> foldRange(db::Connection& connection, const QString& start,
                                 const QString& end, bool* usable = nullptr);

// Folds the whole log, from its oldest day to its newest (after an upgrade); stamps that are
// no time stamps are passed over.
std::optional<QString> foldAll(db::Connection& connection);

// Removes the sums of every day that is no longer summarised (forgotten by a trigger, by a
// restore or by pruning), under the same lock as the folds. Nothing to do counts as success.
std::optional<QString> purgeForgotten(db::Connection& connection);

// The whole days of [start, end] that are summarised, with how far: read in the caller's
// transaction, so that the sums and the rows read beside them are of one moment.
// With `hours`, also the whole summarised hours of the days the range starts or ends inside.
std::optional<QList<DayCover>> coverage(db::Connection& connection, const QString& start,
                                        const QString& end, QString* error = nullptr,
                                        bool hours = false);

// Forgets the summaries of the days whose rows a restore added to ("26-11-01", ...); all days
// when `days` is empty.
bool forgetDays(db::Connection& connection, const QStringList& days = {});

} // namespace lt::summary
