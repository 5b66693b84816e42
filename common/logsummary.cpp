#include "common/logsummary.h"

#include "common/odbc.h"
#include "common/schema.h"

#include <QDateTime>
#include <QRegularExpression>

#include <algorithm>

namespace lt::summary
{

namespace
{

// The newest ten minutes are left to the log itself.
constexpr int kFoldMarginSecs = 600;

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

bool isMissingTable(const db::Connection& connection)
{
    return connection.lastError().native == 1146;
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

QString uncoveredCondition(const QString& start, const QString& end, const QList<DayCover>& covered)
{
    // The range less the covered pieces [D 00:00:00, upto], which lie in it in order.
    QStringList parts;
    QString lowerOp = QStringLiteral(">=");
    QString lowerStamp = start;
    for (const DayCover& cover : covered) {
        const QString from = dayStart(cover.day);
        if (lowerOp == QLatin1String(">") || lowerStamp != from)
            parts << QStringLiteral("(AcTime") + lowerOp + quoted(lowerStamp) +
                         QStringLiteral(" AND AcTime<") + quoted(from) + u')';
        lowerOp = QStringLiteral(">");
        lowerStamp = cover.upto;
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

QStringList foldStatements(const QString& day, const std::optional<QString>& from,
                           const QString& upto)
{
    const QString d = quoted(day);
    // Read along the time stamp index: the feeder writes in time order, so a day's rows lie
    // together. Left to itself the optimizer walks the whole address index for GROUP BY IP and
    // fetches the rows in address order, minutes for one day of a large log.
    const QString rows = QStringLiteral(" FROM logtable FORCE INDEX (AcTimeIndex) WHERE ") +
                         (from ? QStringLiteral("AcTime>") + quoted(*from)
                               : QStringLiteral("AcTime>=") + quoted(dayStart(day))) +
                         QStringLiteral(" AND AcTime<=") + quoted(upto);
    // Sums of text columns convert as the statistics convert them; no strictness may turn the
    // conversion's warnings into failures here.
    const QString lenient = QStringLiteral("SET STATEMENT sql_mode='' FOR ");
    QStringList statements;
    if (!from) {
        statements << QStringLiteral("DELETE FROM daypages WHERE Day=") + d
                   << QStringLiteral("DELETE FROM dayterminals WHERE Day=") + d;
    }
    statements
        << lenient + QStringLiteral("INSERT INTO daypages(Day,URL,NoUrl,Title,F) SELECT ") + d +
               QStringLiteral(",IFNULL(URL,''),URL IS NULL,MAX(Title),SUM(F)") + rows +
               QStringLiteral(" GROUP BY URL ON DUPLICATE KEY UPDATE "
                              "daypages.Title=IFNULL(daypages.Title,VALUES(Title)),"
                              "daypages.F=COALESCE(daypages.F+VALUES(F),daypages.F,VALUES(F))")
        << lenient + QStringLiteral("INSERT INTO dayterminals(Day,IP,NoIp,Name,F,Bytes) SELECT ") +
               d + QStringLiteral(",IFNULL(IP,''),IP IS NULL,MAX(Name),SUM(F),SUM(nLength)") +
               rows +
               QStringLiteral(
                   " GROUP BY IP ON DUPLICATE KEY UPDATE "
                   "dayterminals.Name=IFNULL(dayterminals.Name,VALUES(Name)),"
                   "dayterminals.F=COALESCE(dayterminals.F+VALUES(F),dayterminals.F,VALUES(F)),"
                   "dayterminals.Bytes=COALESCE(dayterminals.Bytes+VALUES(Bytes),"
                   "dayterminals.Bytes,VALUES(Bytes))")
        << QStringLiteral("UPDATE summarydays SET Upto=") + quoted(upto) +
               QStringLiteral(" WHERE Day=") + d;
    return statements;
}

namespace
{

// Folds one day in a transaction of its own; nullopt on success, else the failure. Its
// summarydays row is locked first (inserted when the day is new), so that a delete of one of
// its rows meanwhile waits and then forgets the day: the day's sums never go on counting a row
// that is gone.
std::optional<QString> foldDay(db::Connection& c, const QString& day, const QString& target)
{
    if (!c.execute(QStringLiteral("SET TRANSACTION ISOLATION LEVEL READ COMMITTED")) ||
        !c.beginTransaction())
        return c.lastError().message;
    const db::Recordset held = c.query(QStringLiteral("SELECT Upto FROM summarydays WHERE Day=") +
                                       quoted(day) + QStringLiteral(" FOR UPDATE"));
    std::optional<QString> from;
    bool ok = !c.failed();
    if (ok && !held.eof())
        from = held.field(0).toString().trimmed();
    else if (ok)
        ok = c.execute(QStringLiteral("INSERT INTO summarydays(Day,Upto) VALUES(") + quoted(day) +
                       u',' + quoted(dayStart(day)) + u')');
    if (ok && !(from && *from >= target)) {
        for (const QString& sql : foldStatements(day, from, target)) {
            if (!(ok = c.execute(sql)))
                break;
        }
    }
    if (ok && c.commit())
        return std::nullopt;
    const QString failure = c.lastError().message;
    c.rollback();
    c.clearError();
    return failure;
}

} // namespace

std::optional<QList<DayCover>> coverage(db::Connection& connection, const QString& start,
                                        const QString& end, QString* error)
{
    const QStringList days = wholeDays(start, end);
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
        if (days.contains(day) && upto.startsWith(day))
            covered << DayCover{day, upto};
    }
    return covered;
}

std::optional<QString> foldRange(db::Connection& connection, const QString& start,
                                 const QString& end, bool* present)
{
    if (present)
        *present = true;
    const QStringList days = wholeDays(start, end);
    if (days.isEmpty())
        return std::nullopt;
    connection.clearError();
    const db::Recordset now = connection.query(QStringLiteral(
        "SELECT DATE_FORMAT(NOW(),'%y-%m-%d %H:%i:%s'),(SELECT MAX(AcTime) FROM logtable),"
        "(SELECT COUNT(*) FROM summarydays)"));
    if (connection.failed()) {
        if (isMissingTable(connection)) {
            connection.clearError();
            if (present)
                *present = false;
            return std::nullopt;
        }
        return connection.lastError().message;
    }
    const std::optional<QString> horizon =
        foldHorizon(now.field(0).toString(), now.field(1).toString().trimmed());
    if (!horizon)
        return std::nullopt;
    QString why;
    const std::optional<QList<DayCover>> known = coverage(connection, start, end, &why);
    if (!known)
        return why;
    // One console folds at a time; the others wait and then find the work done.
    const db::Recordset lock =
        connection.query(QStringLiteral("SELECT GET_LOCK('dovrik.summary',120)"));
    if (connection.failed() || lock.eof() || lock.field(0).toString() != QLatin1String("1"))
        return connection.failed() ? connection.lastError().message
                                   : QStringLiteral("GET_LOCK('dovrik.summary') timed out");
    std::optional<QString> failure;
    for (const QString& day : days) {
        const std::optional<QString> target = foldTarget(day, *horizon);
        if (!target)
            break;
        const auto done = std::find_if(known->begin(), known->end(),
                                       [&](const DayCover& c) { return c.day == day; });
        if (done != known->end() && done->upto >= *target)
            continue;
        if ((failure = foldDay(connection, day, *target)))
            break;
    }
    connection.execute(QStringLiteral("SELECT RELEASE_LOCK('dovrik.summary')"));
    return failure;
}

std::optional<QString> foldAll(db::Connection& connection)
{
    connection.clearError();
    const db::Recordset span =
        connection.query(QStringLiteral("SELECT MIN(AcTime),MAX(AcTime) FROM logtable"));
    if (connection.failed())
        return connection.lastError().message;
    const QString first = span.field(0).toString().trimmed().left(8);
    const QString last = span.field(1).toString().trimmed().left(8);
    if (first.isEmpty() || last.isEmpty())
        return std::nullopt;
    return foldRange(connection, dayStart(first), dayEnd(last));
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

namespace lt::schema
{

const QList<SummaryPiece>& summaryPieces()
{
    // The columns that the sums see: a change to any other column keeps the day's sums true.
    static const QString seen =
        QStringLiteral("OLD.AcTime<=>NEW.AcTime AND OLD.IP<=>NEW.IP AND OLD.Name<=>NEW.Name AND "
                       "OLD.URL<=>NEW.URL AND OLD.Title<=>NEW.Title AND OLD.F<=>NEW.F AND "
                       "OLD.nLength<=>NEW.nLength");
    static const QList<SummaryPiece> pieces = {
        {QStringLiteral("summarydays"), false,
         QStringLiteral("CREATE TABLE summarydays(Day CHAR(8) NOT NULL PRIMARY KEY,"
                        "Upto CHAR(17) NOT NULL)")},
        {QStringLiteral("daypages"), false,
         QStringLiteral("CREATE TABLE daypages(Day CHAR(8) NOT NULL,URL CHAR(150) NOT NULL,"
                        "NoUrl TINYINT NOT NULL,Title CHAR(100),F BIGINT,"
                        "PRIMARY KEY(Day,URL,NoUrl))")},
        {QStringLiteral("dayterminals"), false,
         QStringLiteral("CREATE TABLE dayterminals(Day CHAR(8) NOT NULL,IP CHAR(16) NOT NULL,"
                        "NoIp TINYINT NOT NULL,Name CHAR(16),F BIGINT,Bytes DOUBLE,"
                        "PRIMARY KEY(Day,IP,NoIp))")},
        {QStringLiteral("logtable_forget_deleted"), true,
         QStringLiteral("CREATE TRIGGER logtable_forget_deleted AFTER DELETE ON logtable FOR "
                        "EACH ROW DELETE FROM summarydays WHERE Day=LEFT(OLD.AcTime,8)")},
        {QStringLiteral("logtable_forget_changed"), true,
         QStringLiteral("CREATE TRIGGER logtable_forget_changed AFTER UPDATE ON logtable FOR "
                        "EACH ROW DELETE FROM summarydays WHERE (Day=LEFT(OLD.AcTime,8) OR "
                        "Day=LEFT(NEW.AcTime,8)) AND NOT (") +
             seen + u')'},
    };
    return pieces;
}

QList<SummaryPiece> missingSummaryPieces(db::Connection& connection, QString* error)
{
    connection.clearError();
    const QString where = QStringLiteral(" WHERE %1='") + kLogDatabase + u'\'';
    db::Recordset rs = connection.query(
        QStringLiteral("SELECT TABLE_NAME FROM information_schema.TABLES") +
        where.arg(QStringLiteral("TABLE_SCHEMA")) +
        QStringLiteral(" UNION ALL SELECT TRIGGER_NAME FROM information_schema.TRIGGERS") +
        where.arg(QStringLiteral("TRIGGER_SCHEMA")));
    if (connection.failed()) {
        if (error)
            *error = connection.lastError().message;
        return {};
    }
    QStringList present;
    for (; !rs.eof(); rs.moveNext())
        present << rs.field(0).toString().toLower();
    QList<SummaryPiece> missing;
    for (const SummaryPiece& piece : summaryPieces()) {
        if (!present.contains(piece.name.toLower()))
            missing << piece;
    }
    return missing;
}

} // namespace lt::schema
