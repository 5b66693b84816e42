#pragma once
// The visit and traffic statistics without a window, for scripts and for checking:
//   overseer --stats visits|terminals|traffic --from "YY-MM-DD HH:MM:SS" --to "YY-MM-DD HH:MM:SS"
//                    [--ip ADDRESS] [--limit N]
// prints what the statistics view lists: a line of the view's column captions, then one line
// per row, the cells trimmed and separated by tabs, in UTF-8. "visits" is the statistic of all
// pages, or with --ip of one terminal's pages; "terminals" that of all terminals; both in the
// order of the visit count. "traffic" lists every registered terminal in the order of the
// register. The rows come from the view's own worker, so the day sums are brought up to date
// and read as the console reads them. Exit codes as the archive commands (0 done, 1 failed,
// 2 wrong command line).

#include "overseer/query/logquery.h"
#include "overseer/query/statistics.h"

#include <QStringList>

namespace lt::overseer
{

struct StatsCommand {
    StatsMode mode = StatsMode::AllPages;
    LogQueryState state; // CondStart, CondEnd and, for one terminal, CondTermIP
    int limit = 0;       // 0: every row
    QString error;       // why the command line is wrong; empty when it is right
};
StatsCommand parseStatsCommand(const QStringList& arguments);

// The lines printed for the rows of a statistic: captions first.
QStringList statsLines(StatsMode mode, const QList<QStringList>& rows);

// Runs it on the installation's data sources; the exit code.
int runStatsCommand(const QStringList& arguments);

} // namespace lt::overseer
