#pragma once
// What keeps the day sums of the access log true, and how a log database gets it.
//
// The sums (`summarydays`, `daypages`, `dayterminals`, `hourpages`, `hourterminals`,
// `daytitles`; common/logsummary.h) are only as good as the three triggers on `logtable` that
// forget a day when its rows change after it was summed: a row inserted late into a summed
// stretch of its day, a row deleted, a row changed in a column the sums or the title searches
// see (compared byte for byte, so a rename that only changes letter case or an accent counts). The
// statistics use the sums only when all of it is in place exactly as written here, every table in a
// transactional engine; anything else (an initialisation or upgrade that stopped half-way, a
// trigger the server refused, an older version's triggers, a log table of MyISAM) leaves them
// reading the log alone. The upgrade rebuilds sums it cannot vouch for.
//
// The late-row trigger costs an insert no table access: only a row stamped more than five
// minutes before the server's clock is looked up in summarydays, and days are summed only up
// to ten minutes before that clock, so a row that may lie in a summed stretch is always looked
// at (unless its insert ran for five minutes before the sums were made, which our writers never
// do).

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

struct SummaryPiece {
    QString name; // table or trigger name
    bool trigger = false;
    QString sql;  // creates it in the log database
    QString body; // a trigger's statement, as the server reports it back
};

// The summary tables and the log table's triggers that keep them true.
const QList<SummaryPiece>& summaryPieces();

// What the log database holds of the pieces, as the server reports it.
struct SummaryState {
    bool answered = false; // false: the server could not be asked (error says why)
    QString error;
    QString logEngine;           // engine of logtable; empty when there is no logtable
    QStringList missing;         // pieces that are not there
    QStringList differing;       // tables of another engine, triggers of another text
    bool usable() const;         // the statistics may read the sums
    QString whyUnusable() const; // for the log, in words; empty when usable
};
SummaryState readSummaryState(db::Connection& connection);

// The pieces the log database lacks (missing or differing); `error` set when the server did
// not answer.
QList<SummaryPiece> missingSummaryPieces(db::Connection& connection, QString* error = nullptr);

struct SummaryUpgrade {
    QStringList added;    // pieces created or replaced
    QStringList failures; // "statement: message"
    QStringList notices;  // in Chinese: why the statistics go on reading the log alone
    bool rebuilt = false; // the sums were dropped and made anew
};
// Brings the sums to a state that can be vouched for: when any piece is missing or differs,
// every sum is forgotten first, then the pieces are made, then the log is summed whole. A log
// table of another engine than InnoDB is left alone (a notice says what to do); a trigger the
// server refuses (binary logging without the right to create triggers) leaves a notice naming
// the setting that allows it.
SummaryUpgrade upgradeSummaries(db::Connection& connection,
                                const std::function<void(const QString& piece)>& progress = {});

// The Chinese notice for a trigger the server refused under binary logging (error 1419).
QString triggerRefusedNotice();

} // namespace lt::schema
