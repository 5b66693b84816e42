// bench_log_speed: the console's reading paths on a large log (5,000,000 rows by default),
// beside the bare mariadb client sending the original statements to a copy of the log that
// has only the original schema (database seedlog: the tables and their time stamp index), in
// the same run on the same server.
//
// Prints one line per case, "case-name seconds": page-first/page-50/page-last/count for every
// condition code of both logs (a busy and a rare terminal, a group, a class, a result, a common
// and an absent title word), stats-* for the visit statistics and the traffic, picker-web,
// insert-* for the feeder's insert rate with and without the additions (insert-drop-percent: the
// median of five turns) and the insert latency during a pruning pass. Each case is the median of
// --runs runs. The bare client's side runs after all of ours ("bare-case seconds"), so the two
// never evict each other's pages from the server's memory mid-case; then "compare case ours
// bare ratio" lines. prune-ratio: the keeper's pass down to a fifth of the log beside the same
// statements on the seed copy.
//   bench_log_speed [--rows N] [--upload-rows U] [--root DIR] [--keep] [--warm] [--codes LIST]
//                   [--upload-codes LIST] [--no-insert] [--no-stats] [--no-prune]
//                   [--runs R] [--no-bare]
// With --root DIR holding an installation whose log already has N rows, the rows are reused.

#include "bench/datagen/datagen.h"
#include "bench/query/speedcases.h"
#include "bench/support/benchsupport.h"
#include "common/installation.h"
#include "common/logindexes.h"
#include "common/odbc.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>
#include <sys/resource.h>

using namespace lt::bench;

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption rows("rows", "logtable rows", "N", "5000000");
    const QCommandLineOption uploadRows("upload-rows", "upsendtable rows", "U", "500000");
    RunDirectory directory;
    const QCommandLineOption codes("codes", "access-log condition codes", "LIST",
                                   "00000,00001,00010,00011,00100,00101,01000,01001,01010,01011,"
                                   "01100,01101,10000,10001,10010,10011,10100,10101");
    const QCommandLineOption uploadCodes("upload-codes", "upload-log condition codes", "LIST",
                                         "00000,00100,10000,10100");
    const QCommandLineOption noInsert("no-insert", "skip the insert cases");
    const QCommandLineOption warm("warm", "report the second of two runs of each page case");
    const QCommandLineOption runs("runs", "runs of each case, each side (the median is shown)", "R",
                                  "3");
    const QCommandLineOption noStats("no-stats", "skip the statistics and the picker");
    const QCommandLineOption noPrune("no-prune", "skip the pruning pass");
    const QCommandLineOption noBare(
        "no-bare", "no seed copy and no bare client's side; the pruned rows are not put back");
    parser.addOptions(
        {rows, uploadRows, codes, uploadCodes, noInsert, warm, runs, noStats, noPrune, noBare});
    directory.addOptions(parser);
    parser.process(app);

    SpeedSetup setup;
    setup.root = directory.root(parser);
    setup.rows = parser.value(rows).toLongLong();
    setup.uploadRows = parser.value(uploadRows).toLongLong();
    setup.warm = parser.isSet(warm);
    setup.runs = parser.value(runs).toInt();
    setup.bare = !parser.isSet(noBare);
    prepareInstallation(setup);

    SpeedRun run(setup);
    run.pickValues();
    for (const QString& code : parser.value(codes).split(u',', Qt::SkipEmptyParts))
        run.logCode(code, false);
    run.logCode(QStringLiteral("10000"), true);   // the rarest terminal
    run.titleWord(QStringLiteral("00100"), true); // a word no title holds
    for (const QString& code : parser.value(uploadCodes).split(u',', Qt::SkipEmptyParts))
        run.uploadCode(code);
    if (!parser.isSet(noStats)) {
        run.statistics();
        run.picker();
    }
    if (!parser.isSet(noInsert))
        run.inserts();
    if (!parser.isSet(noPrune))
        run.prune();
    run.runBare();
    if (setup.bare)
        run.printComparison();
    // The size, and the peak memory of this process, which runs the console's reading code: a
    // script puts the runs of several sizes side by side.
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("scale-rows %lld\nscale-peak-mb %.1f\n", static_cast<long long>(setup.rows),
                usage.ru_maxrss / 1024.0);
    directory.finish(parser);
    return 0;
}
