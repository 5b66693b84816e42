#include "overseer/query/titlesearch.h"

#include "common/logindexes.h"
#include "common/logsummary.h"
#include "common/odbc.h"
#include "common/summaryschema.h"

namespace lt::overseer
{

namespace
{

QString quoted(const QString& value)
{
    return u'\'' + db::sqlEscape(value) + u'\'';
}

bool chosen(const QString& code, int position)
{
    return code.size() == 5 && code[position] == u'1';
}

} // namespace

bool isTitleSearch(const LogQueryState& state)
{
    return chosen(state.CondCode, 2) && logCondition(state).has_value();
}

std::optional<QString> titleDaysSql(const LogQueryState& state)
{
    const QStringList days = summary::wholeDays(state.CondStart, state.CondEnd);
    // A terminal's rows are read through its own index; the dictionary knows no terminals.
    if (!isTitleSearch(state) || days.isEmpty() || chosen(state.CondCode, 0))
        return std::nullopt;
    // The criteria of the code, on the dictionary's columns: the group and the result are
    // compared as the log's are; a row of the log without a group or a result meets none.
    QString match = QStringLiteral("t.Day=s.Day AND Instr(t.Title,") + quoted(state.CondTitle) +
                    QStringLiteral(")>0");
    if (chosen(state.CondCode, 1))
        match += QStringLiteral(" AND t.NoTeam=0 AND t.Team=") + quoted(state.CondTeam);
    if (chosen(state.CondCode, 4))
        match += QStringLiteral(" AND t.NoResult=0 AND t.Result=") + quoted(state.CondResult);
    return QStringLiteral("SELECT s.Day,s.Upto,(SELECT IFNULL(SUM(t.N),0) FROM daytitles t "
                          "WHERE ") +
           match + QStringLiteral(") FROM summarydays s WHERE s.Day>=") + quoted(days.first()) +
           QStringLiteral(" AND s.Day<=") + quoted(days.last()) + QStringLiteral(" ORDER BY s.Day");
}

std::optional<TitleStatements> titleStatements(const LogQueryState& state, const TitleDays& days)
{
    const std::optional<QString> list = logListSql(state);
    const std::optional<QString> count = logCountSql(state);
    if (!isTitleSearch(state) || !list || !count)
        return std::nullopt;
    TitleStatements out{*list, *count};
    if (!days.covered.isEmpty()) {
        QList<summary::DayCover> empty;
        for (const summary::DayCover& cover : days.covered) {
            if (!days.matching.contains(cover.day))
                empty << cover;
        }
        if (!empty.isEmpty())
            out.list += QStringLiteral(" AND (") +
                        summary::uncoveredCondition(state.CondStart, state.CondEnd, empty) + u')';
        // The matches of the summed stretches were read with them, at one moment.
        out.count = QStringLiteral("SELECT count(*)+") + QString::number(days.matches) +
                    QStringLiteral(" FROM logtable WHERE ") + *logCondition(state) +
                    QStringLiteral(" AND (") +
                    summary::uncoveredCondition(state.CondStart, state.CondEnd, days.covered) +
                    u')';
    }
    out.count = schema::countSqlFor(out.count, QStringLiteral("logtable"), state.CondCode);
    return out;
}

std::optional<TitleStatements> titleSearchStatements(db::Connection& connection,
                                                     const LogQueryState& state)
{
    const std::optional<QString> sql = titleDaysSql(state);
    if (!sql || !schema::readSummaryState(connection).usable())
        return std::nullopt;
    connection.clearError();
    const QStringList whole = summary::wholeDays(state.CondStart, state.CondEnd);
    TitleDays days;
    for (db::Recordset rs = connection.query(*sql); !connection.failed() && !rs.eof();
         rs.moveNext()) {
        const QString day = rs.field(0).toString().trimmed();
        const QString upto = rs.field(1).toString().trimmed();
        // Only days of the range count, and only as far as their own stamps.
        if (!whole.contains(day) || !upto.startsWith(day))
            continue;
        const qint64 rows = rs.field(2).toLongLong();
        days.covered << summary::DayCover{day, upto};
        if (rows > 0)
            days.matching << day;
        days.matches += rows;
    }
    if (connection.failed()) {
        connection.clearError();
        return std::nullopt;
    }
    return titleStatements(state, days);
}

} // namespace lt::overseer
