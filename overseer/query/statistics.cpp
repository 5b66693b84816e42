#include "overseer/query/statistics.h"

#include "common/odbc.h"
#include "overseer/core/columnlayouts.h"

#include <cmath>

namespace lt::overseer
{

namespace
{

QString q(const QString& value)
{
    return db::sqlEscape(value);
}

QString rangeCondition(const LogQueryState& state)
{
    return QStringLiteral("AcTime>='") + q(state.CondStart) + QStringLiteral("' AND AcTime<='") +
           q(state.CondEnd) + u'\'';
}

// The whole bytes of a sum as the server wrote it ("1536", "1536.0", "1.536e3"); -1 when the
// text is no number.
qint64 wholeBytes(const QString& text)
{
    bool ok = false;
    const qint64 whole = text.trimmed().toLongLong(&ok);
    if (ok)
        return whole;
    const double d = text.trimmed().toDouble(&ok);
    return ok && d >= 0 ? qint64(std::llround(d)) : -1;
}

} // namespace

std::optional<StatsMode> statsMode(const QString& condResult)
{
    if (condResult == QLatin1String("0"))
        return StatsMode::Terminal;
    if (condResult == QLatin1String("1"))
        return StatsMode::AllPages;
    if (condResult == QLatin1String("2"))
        return StatsMode::AllTerminals;
    if (condResult == QLatin1String("3"))
        return StatsMode::Traffic;
    return std::nullopt;
}

QString visitStatsSql(StatsMode mode, const LogQueryState& state)
{
    // Ordered by the count itself: "ORDER BY F" would order the groups by one arbitrary row.
    switch (mode) {
    case StatsMode::Terminal:
        return QStringLiteral("SELECT Title,URL,SUM(F) FROM logtable WHERE Trim(IP) = '") +
               q(state.CondTermIP) + QStringLiteral("'AND ") + rangeCondition(state) +
               QStringLiteral(" GROUP BY URL ORDER BY SUM(F) DESC");
    case StatsMode::AllPages:
        return QStringLiteral("SELECT Title,URL,SUM(F) FROM logtable WHERE ") +
               rangeCondition(state) + QStringLiteral(" GROUP BY URL ORDER BY SUM(F) DESC");
    case StatsMode::AllTerminals:
        return QStringLiteral("SELECT Name,IP,SUM(F) FROM logtable WHERE ") +
               rangeCondition(state) + QStringLiteral(" GROUP BY IP ORDER BY SUM(F) DESC");
    case StatsMode::Traffic:
        break;
    }
    return {};
}

namespace
{

// The rows of the day sums (`table`, e.g. "daypages") of the whole days covered and of the hour
// sums ("hourpages") of the whole hours covered, as one UNION ALL of "SELECT columns FROM ...".
QString summedRows(const QString& columns, const QString& dayTable, const QString& hourTable,
                   const QList<summary::DayCover>& covered)
{
    QStringList days;
    QStringList hours;
    for (const summary::DayCover& c : covered) {
        if (c.hours.isEmpty()) {
            days << u'\'' + q(c.day) + u'\'';
            continue;
        }
        QStringList list;
        for (const QString& h : c.hours)
            list << u'\'' + q(h) + u'\'';
        hours << QStringLiteral("(Day='") + q(c.day) + QStringLiteral("' AND Hour IN (") +
                     list.join(u',') + QStringLiteral("))");
    }
    QStringList parts;
    if (!days.isEmpty())
        parts << QStringLiteral("SELECT ") + columns + QStringLiteral(" FROM ") + dayTable +
                     QStringLiteral(" WHERE Day IN (") + days.join(u',') + u')';
    if (!hours.isEmpty())
        parts << QStringLiteral("SELECT ") + columns + QStringLiteral(" FROM ") + hourTable +
                     QStringLiteral(" WHERE ") + hours.join(QStringLiteral(" OR "));
    return parts.join(QStringLiteral(" UNION ALL "));
}

// The log rows of the range that the sums do not hold.
QString uncovered(const LogQueryState& state, const QList<summary::DayCover>& covered)
{
    return QStringLiteral(" FROM logtable WHERE ") +
           summary::uncoveredCondition(state.CondStart, state.CondEnd, covered);
}

} // namespace

QString visitStatsSql(StatsMode mode, const LogQueryState& state,
                      const QList<summary::DayCover>& covered)
{
    if (mode == StatsMode::Terminal) {
        // One terminal's rows come from its own index; a Trim() around the column would hide
        // it. An address stored with leading blanks still counts, as with Trim(IP).
        const QString ip = q(state.CondTermIP);
        return QStringLiteral("SELECT Title,URL,SUM(F) FROM logtable WHERE (IP='") + ip +
               QStringLiteral("' OR (IP LIKE ' %' AND Trim(IP)='") + ip +
               QStringLiteral("')) AND ") + rangeCondition(state) +
               QStringLiteral(" GROUP BY URL ORDER BY SUM(F) DESC");
    }
    if (covered.isEmpty() || mode == StatsMode::Traffic)
        return visitStatsSql(mode, state);
    if (mode == StatsMode::AllPages)
        return QStringLiteral("SELECT MAX(Title) AS Title,URL,SUM(F) FROM (") +
               summedRows(QStringLiteral("Title,IF(NoUrl,NULL,URL) AS URL,F"),
                          QStringLiteral("daypages"), QStringLiteral("hourpages"), covered) +
               QStringLiteral(" UNION ALL SELECT Title,URL,F") + uncovered(state, covered) +
               QStringLiteral(") AS visits GROUP BY URL ORDER BY SUM(F) DESC");
    return QStringLiteral("SELECT MAX(Name) AS Name,IP,SUM(F) FROM (") +
           summedRows(QStringLiteral("Name,IF(NoIp,NULL,IP) AS IP,F"),
                      QStringLiteral("dayterminals"), QStringLiteral("hourterminals"), covered) +
           QStringLiteral(" UNION ALL SELECT Name,IP,F") + uncovered(state, covered) +
           QStringLiteral(") AS visits GROUP BY IP ORDER BY SUM(F) DESC");
}

QString trafficTerminalsSql()
{
    return QStringLiteral("SELECT * FROM usertable ORDER BY Name");
}

QString trafficSumsSql(const LogQueryState& state)
{
    return QStringLiteral("SELECT Trim(IP),SUM(nLength) FROM logtable WHERE ") +
           rangeCondition(state) + QStringLiteral(" GROUP BY Trim(IP)");
}

QString trafficSumsSql(const LogQueryState& state, const QList<summary::DayCover>& covered)
{
    if (covered.isEmpty())
        return trafficSumsSql(state);
    return QStringLiteral("SELECT Trim(IP),SUM(Bytes) FROM (") +
           summedRows(QStringLiteral("IF(NoIp,NULL,IP) AS IP,Bytes"),
                      QStringLiteral("dayterminals"), QStringLiteral("hourterminals"), covered) +
           QStringLiteral(" UNION ALL SELECT IP,nLength+0") + uncovered(state, covered) +
           QStringLiteral(") AS sums GROUP BY Trim(IP)");
}

QString trafficSumOfTerminalSql(const QString& ip, const LogQueryState& state)
{
    return QStringLiteral("SELECT SUM(nLength) FROM logtable WHERE Trim(IP) = '") + q(ip) +
           QStringLiteral("' AND ") + rangeCondition(state);
}

QString statsDeleteSql(const QString& url)
{
    return QStringLiteral("DELETE FROM logtable WHERE URL='") + q(url) + u'\'';
}

QString statsTitle(StatsMode mode, const LogQueryState& state)
{
    switch (mode) {
    case StatsMode::Terminal:
        return state.CondTermName + QStringLiteral("_终端") + QStringLiteral(" 访 问 统 计");
    case StatsMode::AllPages:
        return QStringLiteral("所 有 网 页 访 问 统 计");
    case StatsMode::AllTerminals:
        return QStringLiteral("所 有 终 端 访 问 统 计");
    case StatsMode::Traffic:
        return QStringLiteral("流    量    统    计");
    }
    return {};
}

ColumnLayout statsLayout(StatsMode mode)
{
    switch (mode) {
    case StatsMode::Terminal:
    case StatsMode::AllPages:
        return ListviewHeadShow_统计();
    case StatsMode::AllTerminals:
        return ListviewHeadShow_地址();
    case StatsMode::Traffic:
        return ListviewHeadShow_流量();
    }
    return {};
}

QString statsViewName(StatsMode mode)
{
    return mode == StatsMode::Traffic ? QStringLiteral("显示流量统计")
                                      : QStringLiteral("显示访问统计");
}

QString visitCountText(const QString& sum)
{
    QString text = sum.trimmed();
    // A sum the server sent as a decimal ("7.0") is still a whole count.
    bool ok = false;
    const double d = text.toDouble(&ok);
    if (ok && text.contains(u'.') && d == std::floor(d))
        text = QString::number(qint64(d));
    return text.rightJustified(10, u' ');
}

QString trafficText(const QString& byteSum, bool padded)
{
    QString text = QStringLiteral("0");
    const qint64 bytes = byteSum.trimmed().isEmpty() ? -1 : wholeBytes(byteSum);
    if (bytes >= 0) {
        // bytes / 1024 has at most ten digits behind the point: (rem / 1024) = rem * 5^10 / 10^10.
        text = QString::number(bytes / 1024);
        if (const qint64 rem = bytes % 1024) {
            QString digits = QString::number(rem * 9765625).rightJustified(10, u'0');
            while (digits.endsWith(u'0'))
                digits.chop(1);
            text += u'.' + digits.left(2);
        }
    }
    return padded ? text.rightJustified(35, u' ') : text;
}

qint64 pageCountOf(qint64 rows, int pageSize)
{
    if (rows <= 0 || pageSize <= 0)
        return 0;
    return rows / pageSize + (rows % pageSize ? 1 : 0);
}

QStringList visitStatsRow(StatsMode mode, const QStringList& fields)
{
    const QString first = fields.value(0).trimmed();
    const QString second = fields.value(1).trimmed();
    const QString count = visitCountText(fields.value(2));
    if (mode == StatsMode::AllTerminals)
        return {first, second, count}; // Name, IP
    return {second, first, count};     // URL, Title
}

QList<QStringList> trafficRows(const QList<TerminalRow>& terminals,
                               const QHash<QString, QString>& sumsByIp)
{
    QList<QStringList> rows;
    rows.reserve(terminals.size());
    for (const TerminalRow& t : terminals) {
        const QString name = t.name.trimmed();
        const QString ip = t.ip.trimmed();
        rows << QStringList{name, ip, trafficText(sumsByIp.value(ip))};
    }
    return rows;
}

} // namespace lt::overseer
