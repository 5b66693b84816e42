#include "overseer/query/logquery.h"

#include "common/clock.h"

namespace lt::overseer
{

namespace
{

QString quoted(const QString& value)
{
    return QLatin1Char('\'') + db::sqlEscape(value) + QLatin1Char('\'');
}

QString range(const LogQueryState& s)
{
    return QStringLiteral("AcTime>=") + quoted(s.CondStart) + QStringLiteral(" AND AcTime<=") +
           quoted(s.CondEnd);
}

// The criteria after the time range, by code. The odd spacing of some shapes is kept as the
// statements have always been written; it does not change their meaning.
std::optional<QString> logCriteria(const LogQueryState& s)
{
    const QString ip = QStringLiteral(" AND IP=") + quoted(s.CondTermIP);
    const QString team = QStringLiteral(" AND Team=") + quoted(s.CondTeam);
    const QString title =
        QStringLiteral(" AND Instr(Title,") + quoted(s.CondTitle) + QStringLiteral(")>0");
    const QString cls = QStringLiteral(" AND Class=") + quoted(s.CondClass);
    const QString result = QStringLiteral(" AND Result=") + quoted(s.CondResult);
    const QString resultSpaced = QStringLiteral(" AND Result =") + quoted(s.CondResult);
    const QString& c = s.CondCode;

    if (c == QLatin1String("00000"))
        return QString();
    if (c == QLatin1String("00001"))
        return result;
    if (c == QLatin1String("00010"))
        return QStringLiteral(" AND Class =  ") + quoted(s.CondClass);
    if (c == QLatin1String("00011"))
        return cls + QStringLiteral(" AND Trim(Result)=") + quoted(s.CondResult);
    if (c == QLatin1String("00100"))
        return title;
    if (c == QLatin1String("00101"))
        return title + result;
    if (c == QLatin1String("01000"))
        return QStringLiteral(" AND Team = ") + quoted(s.CondTeam);
    if (c == QLatin1String("01001"))
        return team + result;
    if (c == QLatin1String("01010"))
        return team + cls;
    if (c == QLatin1String("01011"))
        return team + cls + result;
    if (c == QLatin1String("01100"))
        return team + title;
    if (c == QLatin1String("01101"))
        return team + title + resultSpaced;
    if (c == QLatin1String("10000"))
        return ip;
    if (c == QLatin1String("10001"))
        return ip + result;
    if (c == QLatin1String("10010"))
        return ip + cls;
    if (c == QLatin1String("10011"))
        return ip + cls + result;
    if (c == QLatin1String("10100"))
        return ip + title;
    if (c == QLatin1String("10101"))
        return ip + title + resultSpaced;
    return std::nullopt;
}

std::optional<QString> uploadCriteria(const LogQueryState& s)
{
    const QString ip = QStringLiteral(" AND IP=") + quoted(s.CondTermIP);
    const QString text =
        QStringLiteral(" AND Instr(UpSendTxt,") + quoted(s.CondTitle) + QStringLiteral(")>0");
    const QString& c = s.CondCode;
    if (c == QLatin1String("00000"))
        return QString();
    if (c == QLatin1String("00100"))
        return text;
    if (c == QLatin1String("10000"))
        return ip;
    if (c == QLatin1String("10100"))
        return ip + text;
    return std::nullopt;
}

std::optional<QString> prefixed(const QString& head, const std::optional<QString>& condition)
{
    if (!condition)
        return std::nullopt;
    return head + *condition;
}

} // namespace

QString todayStart()
{
    return acTime(QDateTime(Clock::now().date(), QTime(0, 0)));
}

QString tomorrowStart()
{
    return acTime(QDateTime(Clock::now().date().addDays(1), QTime(0, 0)));
}

std::optional<QString> logCondition(const LogQueryState& state)
{
    const auto criteria = logCriteria(state);
    if (!criteria)
        return std::nullopt;
    return range(state) + *criteria;
}

std::optional<QString> uploadCondition(const LogQueryState& state)
{
    const auto criteria = uploadCriteria(state);
    if (!criteria)
        return std::nullopt;
    return range(state) + *criteria;
}

QString todayCondition(const QDate& day)
{
    const QString d = day.toString(QStringLiteral("yy-MM-dd"));
    return QStringLiteral("AcTime>='") + d + QStringLiteral(" 00:00:00' AND AcTime<='") + d +
           QStringLiteral(" 23:59:59'");
}

std::optional<QString> logCountSql(const LogQueryState& state)
{
    return prefixed(QStringLiteral("SELECT count(*) FROM logtable WHERE "), logCondition(state));
}

std::optional<QString> logListSql(const LogQueryState& state)
{
    return prefixed(QStringLiteral("SELECT * FROM logtable WHERE "), logCondition(state));
}

std::optional<QString> uploadListSql(const LogQueryState& state)
{
    return prefixed(QStringLiteral("SELECT * FROM upsendtable WHERE "), uploadCondition(state));
}

bool 显示_终端日志条件(LogQueryState& state)
{
    const auto sql = logListSql(state);
    if (sql)
        state.LogQuerySql = *sql;
    return sql.has_value();
}

bool 显示_上传日志条件(LogQueryState& state)
{
    const auto sql = uploadListSql(state);
    if (sql)
        state.LogQuerySql = *sql;
    return sql.has_value();
}

std::optional<QString> 终端日志条件(const LogQueryState& state)
{
    const auto sql = logListSql(state);
    if (!sql)
        return std::nullopt;
    return *sql + QStringLiteral(" ORDER BY AcTime DESC");
}

LogCount 查询日志记录总数(db::Connection& connection, const LogQueryState& state)
{
    LogCount count;
    const auto sql = logCountSql(state);
    if (!sql) {
        count.error.set = true;
        count.error.message = QStringLiteral("condition code ") + state.CondCode;
        return count;
    }
    db::Recordset rs = connection.query(*sql);
    if (connection.failed() || !rs.isOpen()) {
        count.error = connection.lastError();
        count.error.set = true;
        return count;
    }
    count.rows = rs.field(0).toLongLong(&count.ok);
    if (!count.ok)
        count.error.set = true;
    return count;
}

} // namespace lt::overseer
