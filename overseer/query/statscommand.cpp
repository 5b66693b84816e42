#include "overseer/query/statscommand.h"

#include "common/datasources.h"
#include "overseer/core/windowless.h"
#include "overseer/query/statsworker.h"

#include <climits>

namespace lt::overseer
{

StatsCommand parseStatsCommand(const QStringList& arguments)
{
    StatsCommand c;
    const QStringList a = arguments.mid(1);
    const auto wrong = [&c](const QString& why) {
        c.error = why;
        return c;
    };
    if (a.size() < 2 || a[0] != QLatin1String("--stats"))
        return wrong(QStringLiteral("--stats 需要 visits、terminals 或 traffic"));
    if (a[1] == QLatin1String("visits"))
        c.mode = StatsMode::AllPages;
    else if (a[1] == QLatin1String("terminals"))
        c.mode = StatsMode::AllTerminals;
    else if (a[1] == QLatin1String("traffic"))
        c.mode = StatsMode::Traffic;
    else
        return wrong(QStringLiteral("--stats 需要 visits、terminals 或 traffic"));
    for (int i = 2; i < a.size(); ++i) {
        const bool valued = i + 1 < a.size();
        if (a[i] == QLatin1String("--from") && valued) {
            c.state.CondStart = a[++i];
        } else if (a[i] == QLatin1String("--to") && valued) {
            c.state.CondEnd = a[++i];
        } else if (a[i] == QLatin1String("--ip") && valued && c.mode == StatsMode::AllPages) {
            c.state.CondTermIP = a[++i].trimmed();
            c.mode = StatsMode::Terminal;
        } else if (a[i] == QLatin1String("--limit") && valued) {
            bool ok = false;
            c.limit = a[++i].toInt(&ok);
            if (!ok || c.limit < 1)
                return wrong(QStringLiteral("--limit 需要一个正整数"));
        } else {
            return wrong(QStringLiteral("无法理解的参数 ") + a[i]);
        }
    }
    if (const QString why = rangeError(c.state.CondStart, c.state.CondEnd); !why.isEmpty())
        return wrong(why);
    return c;
}

QStringList statsLines(StatsMode mode, const QList<QStringList>& rows)
{
    QStringList captions;
    for (const ColumnFormat& column : statsLayout(mode))
        captions << column.header;
    QStringList lines{captions.join(u'\t')};
    for (const QStringList& row : rows) {
        QStringList cells;
        for (const QString& cell : row)
            cells << cell.trimmed();
        lines << cells.join(u'\t');
    }
    return lines;
}

int runStatsCommand(const QStringList& arguments)
{
    const StatsCommand c = parseStatsCommand(arguments);
    if (!c.error.isEmpty())
        return usageError(c.error);
    const dsn::ConnectionStrings strings = dsn::chosenConnectionStrings();
    // The view's worker, called here on this thread: it answers before it returns.
    StatsWorker worker(strings.log, strings.config);
    QList<QStringList> rows;
    QString failure;
    QObject::connect(&worker, &StatsWorker::pageReady,
                     [&](quint64, const QList<QStringList>& page, qint64) { rows = page; });
    QObject::connect(&worker, &StatsWorker::trafficReady,
                     [&](quint64, const QList<QStringList>& all) { rows = all; });
    QObject::connect(&worker, &StatsWorker::failed,
                     [&](quint64, const QString& message) { failure = message; });
    if (c.mode == StatsMode::Traffic)
        worker.traffic(1, c.state);
    else
        worker.visitPage(1, c.state, c.mode, 1, c.limit > 0 ? c.limit : INT_MAX);
    if (!failure.isEmpty()) {
        printLine(stderr, QStringLiteral("统计失败：") + failure);
        return kExitFailed;
    }
    if (c.limit > 0 && rows.size() > c.limit)
        rows = rows.mid(0, c.limit);
    for (const QString& line : statsLines(c.mode, rows))
        printLine(stdout, line);
    return kExitDone;
}

} // namespace lt::overseer
