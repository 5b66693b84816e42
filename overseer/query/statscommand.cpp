#include "overseer/query/statscommand.h"

#include "common/clock.h"
#include "common/datasources.h"
#include "overseer/query/statsworker.h"

#include <climits>
#include <cstdio>

namespace lt::overseer
{

namespace
{

void printLine(FILE* stream, const QString& text)
{
    std::fputs(text.toUtf8().append('\n').constData(), stream);
}

} // namespace

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
    if (!parseAcTime(c.state.CondStart) || !parseAcTime(c.state.CondEnd))
        return wrong(QStringLiteral("--from 和 --to 需要 \"YY-MM-DD HH:MM:SS\" 格式的时间"));
    if (c.state.CondStart > c.state.CondEnd)
        return wrong(QStringLiteral("起始时间晚于截至时间"));
    return c;
}

QStringList statsLines(StatsMode mode, const QList<QStringList>& rows)
{
    QStringList captions;
    for (const ColumnSpec& column : statsLayout(mode))
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
    if (!c.error.isEmpty()) {
        printLine(stderr, c.error);
        printLine(stderr, QStringLiteral("用 overseer --help 查看用法。"));
        return 2;
    }
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
        return 1;
    }
    if (c.limit > 0 && rows.size() > c.limit)
        rows = rows.mid(0, c.limit);
    for (const QString& line : statsLines(c.mode, rows))
        printLine(stdout, line);
    std::fflush(stdout);
    return 0;
}

} // namespace lt::overseer
