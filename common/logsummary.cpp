#include "common/logsummary.h"

#include "common/clusterlock.h"
#include "common/dbconnect.h"
#include "common/odbc.h"
#include "common/schema.h"
#include "common/summaryschema.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QThread>

#include <algorithm>

namespace lt::summary
{

namespace
{

// The newest ten minutes are left to the log itself.
constexpr int kFoldMarginSecs = 600;

const char* const kSumTables[] = {"daypages", "dayterminals", "daytitles", "hourpages",
                                  "hourterminals"};

QString quoted(const QString& value)
{
    return u'\'' + db::sqlEscape(value) + u'\'';
}

// "YY-MM-DD HH:MM:SS" as a moment of this century; invalid for any other text.
QDateTime stampTime(const QString& stamp)
{
    static const QRegularExpression shape(
        QStringLiteral("^(\\d\\d)-(\\d\\d)-(\\d\\d) (\\d\\d):(\\d\\d):(\\d\\d)$"));
    const QRegularExpressionMatch m = shape.match(stamp);
    if (!m.hasMatch())
        return {};
    const QDate date(2000 + m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    const QTime time(m.captured(4).toInt(), m.captured(5).toInt(), m.captured(6).toInt());
    return date.isValid() && time.isValid() ? QDateTime(date, time) : QDateTime();
}

QString stampOf(const QDateTime& when)
{
    return when.toString(QStringLiteral("yy-MM-dd HH:mm:ss"));
}

QString dayStart(const QString& day)
{
    return day + QStringLiteral(" 00:00:00");
}

QString dayEnd(const QString& day)
{
    return day + QStringLiteral(" 23:59:59");
}

} // namespace

QStringList wholeDays(const QString& start, const QString& end)
{
    const QDateTime from = stampTime(start);
    const QDateTime to = stampTime(end);
    QStringList days;
    if (!from.isValid() || !to.isValid())
        return days;
    QDate day = from.date();
    if (from.time() != QTime(0, 0))
        day = day.addDays(1);
    const QDate last = to.time() == QTime(23, 59, 59) ? to.date() : to.date().addDays(-1);
    for (; day <= last; day = day.addDays(1))
        days << day.toString(QStringLiteral("yy-MM-dd"));
    return days;
}

QStringList touchedDays(const QString& start, const QString& end)
{
    const QDateTime from = stampTime(start);
    const QDateTime to = stampTime(end);
    QStringList days;
    if (!from.isValid() || !to.isValid())
        return days;
    for (QDate day = from.date(); day <= to.date(); day = day.addDays(1))
        days << day.toString(QStringLiteral("yy-MM-dd"));
    return days;
}

QStringList wholeHours(const QString& day, const QString& start, const QString& end,
                       const QString& upto)
{
    QStringList hours;
    for (int h = 0; h < 24; ++h) {
        const QString hour = QStringLiteral("%1").arg(h, 2, 10, QLatin1Char('0'));
        const QString first = day + u' ' + hour + QStringLiteral(":00:00");
        const QString last = day + u' ' + hour + QStringLiteral(":59:59");
        if (first >= start && last <= end && last <= upto)
            hours << hour;
    }
    return hours;
}

namespace
{

// The stretches [first, last] the sums hold: a day from its start, or each run of whole hours.
QList<QPair<QString, QString>> coveredStretches(const QList<DayCover>& covered)
{
    QList<QPair<QString, QString>> stretches;
    for (const DayCover& cover : covered) {
        if (cover.hours.isEmpty()) {
            stretches << qMakePair(dayStart(cover.day), cover.upto);
            continue;
        }
        for (qsizetype i = 0; i < cover.hours.size();) {
            qsizetype j = i;
            while (j + 1 < cover.hours.size() &&
                   cover.hours[j + 1].toInt() == cover.hours[j].toInt() + 1)
                ++j;
            stretches << qMakePair(cover.day + u' ' + cover.hours[i] + QStringLiteral(":00:00"),
                                   cover.day + u' ' + cover.hours[j] + QStringLiteral(":59:59"));
            i = j + 1;
        }
    }
    return stretches;
}

} // namespace

QString uncoveredCondition(const QString& start, const QString& end, const QList<DayCover>& covered)
{
    // The range less the covered stretches, which lie in it in order.
    QStringList parts;
    QString lowerOp = QStringLiteral(">=");
    QString lowerStamp = start;
    for (const auto& [from, upto] : coveredStretches(covered)) {
        if (lowerOp == QLatin1String(">") || lowerStamp != from)
            parts << QStringLiteral("(AcTime") + lowerOp + quoted(lowerStamp) +
                         QStringLiteral(" AND AcTime<") + quoted(from) + u')';
        lowerOp = QStringLiteral(">");
        lowerStamp = upto;
    }
    parts << QStringLiteral("(AcTime") + lowerOp + quoted(lowerStamp) +
                 QStringLiteral(" AND AcTime<=") + quoted(end) + u')';
    return parts.join(QStringLiteral(" OR "));
}

std::optional<QString> foldTarget(const QString& day, const QString& horizon)
{
    if (dayEnd(day) <= horizon)
        return dayEnd(day);
    if (dayStart(day) <= horizon)
        return horizon;
    return std::nullopt;
}

std::optional<QString> foldHorizon(const QString& serverNow, const QString& newest)
{
    const QDateTime now = stampTime(serverNow);
    if (!now.isValid() || newest.isEmpty())
        return std::nullopt;
    // A newest stamp that is no time stamp, or lies ahead of the server's clock, leaves the
    // server's clock to decide.
    const QDateTime rows = stampTime(newest);
    const QDateTime older = rows.isValid() && rows < now ? rows : now;
    return stampOf(older.addSecs(-kFoldMarginSecs));
}

namespace
{

// The stretch (from, upto] of a day (from its start when there is no from) cut at each full
// hour, as "AcTime>... AND AcTime<..." conditions that together hold every stamp of it, stamps
// that are no time stamps included. Each hour is grouped on its own: a day's pages and hours at
// once make more groups than the server keeps in memory, and it would group them on disk.
QStringList hourPieces(const QString& day, const std::optional<QString>& from, const QString& upto)
{
    QString lower = from ? QStringLiteral("AcTime>") + quoted(*from)
                         : QStringLiteral("AcTime>=") + quoted(dayStart(day));
    const QString first = from ? *from : dayStart(day);
    QStringList pieces;
    for (int h = 1; h < 24; ++h) {
        const QString bound = day + QStringLiteral(" %1:00:00").arg(h, 2, 10, QLatin1Char('0'));
        if (bound <= first || bound > upto)
            continue;
        pieces << lower + QStringLiteral(" AND AcTime<") + quoted(bound);
        lower = QStringLiteral("AcTime>=") + quoted(bound);
    }
    pieces << lower + QStringLiteral(" AND AcTime<=") + quoted(upto);
    return pieces;
}

} // namespace

QStringList foldStatements(const QString& day, const std::optional<QString>& from,
                           const QString& upto)
{
    const QString d = quoted(day);
    // Read along the time stamp index: the feeder writes in time order, so a day's rows lie
    // together. Left to itself the optimizer walks the whole address index for GROUP BY IP and
    // fetches the rows in address order, minutes for one day of a large log.
    const QString table = QStringLiteral(" FROM logtable FORCE INDEX (AcTimeIndex) WHERE ");
    const QString rows = table +
                         (from ? QStringLiteral("AcTime>") + quoted(*from)
                               : QStringLiteral("AcTime>=") + quoted(dayStart(day))) +
                         QStringLiteral(" AND AcTime<=") + quoted(upto);
    // Sums of text columns convert as the statistics convert them; no strictness may turn the
    // conversion's warnings into failures here.
    const QString lenient = QStringLiteral("SET STATEMENT sql_mode='' FOR ");
    const QString hour = QStringLiteral("SUBSTRING(AcTime,10,2)");
    QStringList statements;
    if (!from) {
        for (const char* sums : {"hourpages", "hourterminals", "daytitles"})
            statements << QStringLiteral("DELETE FROM %1 WHERE Day=").arg(QLatin1String(sums)) + d;
    }
    for (const QString& piece : hourPieces(day, from, upto)) {
        statements
            << lenient +
                   QStringLiteral("INSERT INTO hourpages(Day,Hour,URL,NoUrl,Title,F) SELECT ") + d +
                   u',' + hour + QStringLiteral(",IFNULL(URL,''),URL IS NULL,MAX(Title),SUM(F)") +
                   table + piece + QStringLiteral(" GROUP BY ") + hour +
                   QStringLiteral(
                       ",URL ON DUPLICATE KEY UPDATE "
                       "hourpages.Title=IFNULL(hourpages.Title,VALUES(Title)),"
                       "hourpages.F=COALESCE(hourpages.F+VALUES(F),hourpages.F,VALUES(F))")
            << lenient +
                   QStringLiteral(
                       "INSERT INTO hourterminals(Day,Hour,IP,NoIp,Name,F,Bytes) SELECT ") +
                   d + u',' + hour +
                   QStringLiteral(",IFNULL(IP,''),IP IS NULL,MAX(Name),SUM(F),SUM(nLength)") +
                   table + piece + QStringLiteral(" GROUP BY ") + hour +
                   QStringLiteral(",IP ON DUPLICATE KEY UPDATE "
                                  "hourterminals.Name=IFNULL(hourterminals.Name,VALUES(Name)),"
                                  "hourterminals.F=COALESCE(hourterminals.F+VALUES(F),"
                                  "hourterminals.F,VALUES(F)),"
                                  "hourterminals.Bytes=COALESCE(hourterminals.Bytes+VALUES(Bytes),"
                                  "hourterminals.Bytes,VALUES(Bytes))");
    }
    statements
        // A row without a title never meets a title search: it is left out. Titles are told
        // apart byte for byte, groups and results as the log's comparisons tell them apart.
        << QStringLiteral("INSERT INTO daytitles(Day,TitleBin,Team,NoTeam,Result,NoResult,Title,N) "
                          "SELECT ") +
               d +
               QStringLiteral(",BINARY Title,IFNULL(Team,''),Team IS NULL,IFNULL(Result,''),"
                              "Result IS NULL,MAX(Title),COUNT(*)") +
               rows +
               QStringLiteral(" AND Title IS NOT NULL GROUP BY BINARY Title,Team,Result ON "
                              "DUPLICATE KEY UPDATE daytitles.N=daytitles.N+VALUES(N)")
        // The day sums from the day's hour sums: the log's rows are read once per fold.
        << QStringLiteral("DELETE FROM daypages WHERE Day=") + d
        << QStringLiteral("INSERT INTO daypages(Day,URL,NoUrl,Title,F) SELECT Day,URL,NoUrl,"
                          "MAX(Title),SUM(F) FROM hourpages WHERE Day=") +
               d + QStringLiteral(" GROUP BY URL,NoUrl")
        << QStringLiteral("DELETE FROM dayterminals WHERE Day=") + d
        << QStringLiteral("INSERT INTO dayterminals(Day,IP,NoIp,Name,F,Bytes) SELECT Day,IP,NoIp,"
                          "MAX(Name),SUM(F),SUM(Bytes) FROM hourterminals WHERE Day=") +
               d + QStringLiteral(" GROUP BY IP,NoIp")
        << QStringLiteral("UPDATE summarydays SET Upto=") + quoted(upto) +
               QStringLiteral(" WHERE Day=") + d;
    return statements;
}

namespace
{

// Folds one day in a transaction of its own; nullopt on success, else the failure. Its
// summarydays row is locked first (inserted when the day is new), so that a delete of one of
// its rows meanwhile waits and then forgets the day: the day's sums never go on counting a row
// that is gone. On a cluster a delete on another node does not wait: one of the two is aborted
// when it commits, and a fold aborted so is run again from its first read.
std::optional<QString> foldDay(db::Connection& c, const QString& day, const QString& target)
{
    const auto fold = [&] {
        const db::Recordset held =
            c.query(QStringLiteral("SELECT Upto FROM summarydays WHERE Day=") + quoted(day) +
                    QStringLiteral(" FOR UPDATE"));
        std::optional<QString> from;
        bool ok = !c.failed();
        if (ok && !held.eof())
            from = held.field(0).toString().trimmed();
        else if (ok)
            ok = c.execute(QStringLiteral("INSERT INTO summarydays(Day,Upto) VALUES(") +
                           quoted(day) + u',' + quoted(dayStart(day)) + u')');
        if (ok && !(from && *from >= target)) {
            for (const QString& sql : foldStatements(day, from, target)) {
                if (!(ok = c.execute(sql)))
                    break;
            }
        }
        return ok;
    };
    // The isolation level holds for the next transaction only: it is set before each attempt.
    for (int failures = 0;; ++failures) {
        if (c.execute(QStringLiteral("SET TRANSACTION ISOLATION LEVEL READ COMMITTED")) &&
            c.beginTransaction() && fold() && c.commit())
            return std::nullopt;
        const db::Error error = c.lastError();
        c.rollback();
        c.clearError();
        if (!db::retryable(error) || failures + 1 >= db::kRetryAttempts)
            return error.message;
        QThread::msleep(db::retryDelayMs(failures + 1));
    }
}

} // namespace

std::optional<QList<DayCover>> coverage(db::Connection& connection, const QString& start,
                                        const QString& end, QString* error, bool hours)
{
    const QStringList whole = wholeDays(start, end);
    const QStringList days = hours ? touchedDays(start, end) : whole;
    QList<DayCover> covered;
    if (days.isEmpty())
        return covered;
    connection.clearError();
    db::Recordset rs = connection.query(
        QStringLiteral("SELECT Day,Upto FROM summarydays WHERE Day>=") + quoted(days.first()) +
        QStringLiteral(" AND Day<=") + quoted(days.last()) + QStringLiteral(" ORDER BY Day"));
    if (connection.failed()) {
        if (error)
            *error = connection.lastError().message;
        return std::nullopt;
    }
    for (; !rs.eof(); rs.moveNext()) {
        const QString day = rs.field(0).toString().trimmed();
        const QString upto = rs.field(1).toString().trimmed();
        // Only days of the range count, and only as far as their own stamps.
        if (!upto.startsWith(day))
            continue;
        if (whole.contains(day)) {
            covered << DayCover{day, upto};
        } else if (days.contains(day)) {
            const QStringList part = wholeHours(day, start, end, upto);
            if (!part.isEmpty())
                covered << DayCover{day, upto, part};
        }
    }
    return covered;
}

namespace
{

const QString kFoldLock = QStringLiteral("dovrik.summary");
// A fold of a long stretch of a large log takes minutes: the lease is renewed after each day.
constexpr int kFoldLeaseSeconds = 600;
constexpr int kFoldWaitSeconds = 120;

// One console folds at a time, on any node of a cluster; the others wait and then find the
// work done.
std::optional<QString> takeFoldLock(db::ClusterLock& lock, db::Connection& connection)
{
    switch (lock.take(kFoldWaitSeconds)) {
    case db::ClusterLock::State::Taken:
        return std::nullopt;
    case db::ClusterLock::State::Held:
        return QStringLiteral("the lock %1 is held by %2").arg(kFoldLock, lock.holder());
    case db::ClusterLock::State::Failed:
        break;
    }
    return connection.lastError().message;
}

// The days that hold sums but are no longer summarised: a trigger, a restore or pruning forgot
// them. Read along the sums' keys (one look-up per day), not row by row.
std::optional<QStringList> forgottenDays(db::Connection& connection)
{
    QStringList days;
    const bool ok = connection.stream(
        QStringLiteral("SELECT Day FROM (SELECT DISTINCT Day FROM daypages UNION SELECT DISTINCT "
                       "Day FROM dayterminals UNION SELECT DISTINCT Day FROM daytitles UNION "
                       "SELECT DISTINCT Day FROM hourpages UNION SELECT DISTINCT Day FROM "
                       "hourterminals) AS summed WHERE Day NOT IN (SELECT Day FROM summarydays)"),
        [&](const db::Row& row) {
            days << row.field(0).toString().trimmed();
            return true;
        });
    if (!ok)
        return std::nullopt;
    return days;
}

std::optional<QString> purgeUnderLock(db::Connection& connection)
{
    const std::optional<QStringList> days = forgottenDays(connection);
    if (!days)
        return connection.lastError().message;
    for (qsizetype at = 0; at < days->size(); at += 200) {
        QStringList list;
        for (const QString& day : days->mid(at, 200))
            list << quoted(day);
        const QString in = QStringLiteral(" WHERE Day IN (") + list.join(u',') + u')';
        for (const char* table : kSumTables) {
            if (!connection.execute(QStringLiteral("DELETE FROM ") + QLatin1String(table) + in))
                return connection.lastError().message;
        }
    }
    return std::nullopt;
}

// The first stamp after `after` (exclusive; empty: from `from` inclusive) up to `end`; empty
// when there is none. One look-up in the time stamp index.
std::optional<QString> nextStamp(db::Connection& connection, const QString& after,
                                 const QString& from, const QString& end)
{
    const QString lower = after.isEmpty() ? QStringLiteral("AcTime>=") + quoted(from)
                                          : QStringLiteral("AcTime>") + quoted(after);
    const db::Recordset rs =
        connection.query(QStringLiteral("SELECT MIN(AcTime) FROM logtable WHERE ") + lower +
                         QStringLiteral(" AND AcTime<=") + quoted(end));
    if (connection.failed())
        return std::nullopt;
    return rs.eof() || rs.field(0).isNull() ? QString() : rs.field(0).toString().trimmed();
}

// Folds the days of `days` (sorted) that hold rows, up to the horizon, skipping what `known`
// already covers. Each step finds the next stamp of the range, so empty days cost nothing.
std::optional<QString> foldDays(db::Connection& connection, const QStringList& days,
                                const QList<DayCover>& known, const QString& horizon,
                                db::ClusterLock& lock)
{
    const QString end = dayEnd(days.last());
    QString cursor;
    for (;;) {
        const std::optional<QString> next =
            nextStamp(connection, cursor, dayStart(days.first()), end);
        if (!next)
            return connection.lastError().message;
        if (next->isEmpty())
            return std::nullopt;
        const QString day = next->left(8);
        // A stamp of no valid day of the range (a partial day at an edge, or no time stamp at
        // all) is stepped over; a day's rows all lie between its first and last second.
        cursor = *next;
        if (!std::binary_search(days.begin(), days.end(), day) || *next > dayEnd(day))
            continue;
        cursor = dayEnd(day);
        const std::optional<QString> target = foldTarget(day, horizon);
        if (!target)
            return std::nullopt;
        const auto done = std::find_if(known.begin(), known.end(),
                                       [&](const DayCover& c) { return c.day == day; });
        if (done != known.end() && done->upto >= *target)
            continue;
        if (const std::optional<QString> failure = foldDay(connection, day, *target))
            return failure;
        if (!lock.renew())
            return QStringLiteral("the lock %1 was lost: %2")
                .arg(kFoldLock, connection.lastError().message);
    }
}

} // namespace

std::optional<QString> foldRange(db::Connection& connection, const QString& start,
                                 const QString& end, bool* usable)
{
    if (usable)
        *usable = false;
    // A day the range only touches is worth folding when a whole hour of it lies in the range.
    const QStringList whole = wholeDays(start, end);
    QStringList days;
    for (const QString& day : touchedDays(start, end)) {
        if (whole.contains(day) || !wholeHours(day, start, end, dayEnd(day)).isEmpty())
            days << day;
    }
    if (days.isEmpty())
        return std::nullopt;
    const schema::SummaryState state = schema::readSummaryState(connection);
    if (!state.answered)
        return state.error;
    if (!state.usable())
        return std::nullopt;
    // From here a failure leaves the sums as true as they were, only less far along.
    if (usable)
        *usable = true;
    connection.clearError();
    const db::Recordset now = connection.query(QStringLiteral(
        "SELECT DATE_FORMAT(NOW(),'%y-%m-%d %H:%i:%s'),(SELECT MAX(AcTime) FROM logtable)"));
    if (connection.failed())
        return connection.lastError().message;
    const std::optional<QString> horizon =
        foldHorizon(now.field(0).toString(), now.field(1).toString().trimmed());
    if (!horizon)
        return std::nullopt;
    db::ClusterLock lock(connection, kFoldLock, kFoldLeaseSeconds);
    if (const std::optional<QString> busy = takeFoldLock(lock, connection))
        return busy;
    std::optional<QString> failure = purgeUnderLock(connection);
    QString why;
    const std::optional<QList<DayCover>> known =
        failure ? std::nullopt : coverage(connection, start, end, &why, true);
    if (!failure && !known)
        failure = why;
    if (!failure)
        failure = foldDays(connection, days, *known, *horizon, lock);
    lock.release();
    return failure;
}

std::optional<QString> foldAll(db::Connection& connection)
{
    connection.clearError();
    // Only time stamps: one text such as "bad stamp" sorts above every digit and would make
    // the whole log look like no day at all.
    const db::Recordset span = connection.query(QStringLiteral(
        "SELECT (SELECT MIN(AcTime) FROM logtable WHERE AcTime>='00-01-01 00:00:00'),"
        "(SELECT MAX(AcTime) FROM logtable WHERE AcTime<='99-12-31 23:59:59')"));
    if (connection.failed())
        return connection.lastError().message;
    const QString first = span.field(0).toString().trimmed().left(8);
    const QString last = span.field(1).toString().trimmed().left(8);
    if (first.isEmpty() || last.isEmpty())
        return std::nullopt;
    return foldRange(connection, dayStart(first), dayEnd(last));
}

std::optional<QString> purgeForgotten(db::Connection& connection)
{
    const schema::SummaryState state = schema::readSummaryState(connection);
    if (!state.answered)
        return state.error;
    // Without every table there is nothing to purge (or nothing the statistics read).
    for (const char* table :
         {"summarydays", "daypages", "dayterminals", "daytitles", "hourpages", "hourterminals"}) {
        if (state.missing.contains(QLatin1String(table)))
            return std::nullopt;
    }
    db::ClusterLock lock(connection, kFoldLock, kFoldLeaseSeconds);
    if (const std::optional<QString> busy = takeFoldLock(lock, connection))
        return busy;
    const std::optional<QString> failure = purgeUnderLock(connection);
    lock.release();
    return failure;
}

bool forgetDays(db::Connection& connection, const QStringList& days)
{
    if (days.isEmpty())
        return connection.execute(QStringLiteral("DELETE FROM summarydays"));
    QStringList list;
    for (const QString& day : days)
        list << quoted(day);
    return connection.execute(QStringLiteral("DELETE FROM summarydays WHERE Day IN (") +
                              list.join(u',') + u')');
}

} // namespace lt::summary
