// bench_stats: the visit statistics (modes 1 and 2), the traffic per terminal and a PDF printout
// on a large generated browse log. It lays out a throw-away installation with a private server
// of its own (scripts/layout.sh, scripts/db.sh), fills logtable with N generated rows and the
// register with 200 terminals, then measures, each as the median of R rounds:
//   - each statistic as the console runs it (its worker: statement, streaming, the page kept);
//   - the same statements sent by the bare mariadb client, its output read and dropped;
//   - once, the traffic as one SUM statement per terminal (the former way);
//   - the browse-log printout of P records to a PDF file: time, pages per second, peak memory.
//   bench_stats [N] [--rounds R] [--print P] [--no-former] [--root DIR] [--keep]

#include "bench/datagen/datagen.h"
#include "bench/support/benchsupport.h"
#include "common/datasources.h"
#include "common/installation.h"
#include "overseer/query/printrender.h"
#include "overseer/query/statistics.h"
#include "overseer/query/statsworker.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QPrinter>

#include <algorithm>
#include <cstdio>

using namespace lt;
using namespace lt::overseer;

namespace
{

using bench::fail;
using bench::median;
using bench::ms;

// The peak resident memory of this process since the last reset, in MB.
double peakMb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024;
    }
    return -1;
}

void resetPeak()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

double bareClient(const QString& root, const QString& database, const QString& statements)
{
    return bench::bareClientMs(root, database, statements,
                               {QStringLiteral("--batch"), QStringLiteral("--quick")});
}

// Waits for the answer of the channel's request; ms from the request to the answer.
template <typename Send, typename Signal>
double timed(StatsChannel& channel, Send send, Signal signal, qint64* figure)
{
    QEventLoop loop;
    quint64 id = 0;
    QElapsedTimer t;
    QObject::connect(channel.worker(), signal, &loop, [&](quint64 request, auto&&... args) {
        if (request != id)
            return;
        if constexpr (sizeof...(args) == 2)
            *figure = std::get<1>(std::forward_as_tuple(args...));
        else
            *figure = std::get<0>(std::forward_as_tuple(args...)).size();
        loop.quit();
    });
    QObject::connect(channel.worker(), &StatsWorker::failed, &loop,
                     [&](quint64, const QString& message) { fail(message); });
    t.start();
    id = send();
    loop.exec();
    return ms(t);
}

} // namespace

int main(int argc, char* argv[])
{
    // Nothing is shown: the printer and the fonts need a GUI application, not a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addPositionalArgument(QStringLiteral("rows"), QStringLiteral("logtable rows"));
    const auto rounds = bench::valueOption("rounds", "rounds", "R", "3");
    const auto printed = bench::valueOption("print", "records printed", "P", "100000");
    const QCommandLineOption noFormer(QStringLiteral("no-former"),
                                      QStringLiteral("skip the former way of the traffic"));
    bench::RunDirectory run;
    run.process(parser, app, {rounds, printed, noFormer});
    const qint64 rows =
        parser.positionalArguments().value(0, QStringLiteral("1000000")).toLongLong();
    const int roundCount = std::max(parser.value(rounds).toInt(), 1);

    const QString root = run.root(parser);
    db::Connection log, config;
    bench::startAndProvision(root, log, config);
    bench::GenOptions g;
    g.rows = rows;
    QElapsedTimer gen;
    gen.start();
    if (bench::fillLogTable(log, g) != g.rows)
        fail(QStringLiteral("logtable: ") + log.lastError().message);
    if (bench::fillTerminals(config, 200) != 200)
        fail(QStringLiteral("usertable: ") + config.lastError().message);
    std::printf("generated %lld logtable rows and 200 terminals in %.1f s\n",
                static_cast<long long>(rows), ms(gen) / 1000);

    // The whole generated range.
    LogQueryState state;
    const db::Recordset range =
        log.query(QStringLiteral("SELECT MIN(AcTime),MAX(AcTime) FROM logtable"));
    state.CondStart = range.field(0).toString();
    state.CondEnd = range.field(1).toString();

    const dsn::ConnectionStrings strings = dsn::chosenConnectionStrings();
    StatsChannel channel(strings.log, strings.config);
    struct Case {
        const char* name;
        StatsMode mode;
    };
    const Case cases[] = {{"mode 1, all pages    ", StatsMode::AllPages},
                          {"mode 2, all terminals", StatsMode::AllTerminals},
                          {"mode 3, traffic      ", StatsMode::Traffic}};
    std::printf("statistics over %lld rows, median of %d rounds (console / bare client)\n",
                static_cast<long long>(rows), roundCount);
    for (const Case& c : cases) {
        QList<double> console, bare;
        qint64 figure = 0;
        QString statements;
        QString database = QStringLiteral("dovrik");
        if (c.mode == StatsMode::Traffic) {
            // The register and the grouped sums, both read to the end.
            statements = QStringLiteral("SELECT * FROM ipdata.usertable ORDER BY Name;\n") +
                         trafficSumsSql(state) + QStringLiteral(";\n");
        } else {
            statements = visitStatsSql(c.mode, state) + QStringLiteral(";\n");
        }
        for (int i = 0; i <= roundCount; ++i) {
            double t = 0;
            if (c.mode == StatsMode::Traffic)
                t = timed(
                    channel, [&] { return channel.traffic(state); }, &StatsWorker::trafficReady,
                    &figure);
            else
                t = timed(
                    channel, [&] { return channel.visitPage(state, c.mode, 1, kStatsPageSize); },
                    &StatsWorker::pageReady, &figure);
            const double b = bareClient(root, database, statements);
            if (i > 0) { // the first round warms the server's caches
                console << t;
                bare << b;
            }
        }
        std::printf("  %s %9.1f ms  %9.1f ms  ratio %.2f  (%lld rows)\n", c.name, median(console),
                    median(bare), median(console) / std::max(median(bare), 1e-9),
                    static_cast<long long>(figure));
    }
    if (!parser.isSet(noFormer)) {
        QElapsedTimer t;
        t.start();
        db::Recordset users = config.query(trafficTerminalsSql());
        for (; !users.eof(); users.moveNext())
            log.query(trafficSumOfTerminalSql(
                users.field(QStringLiteral("IP")).toString().trimmed(), state));
        std::printf("  traffic, one SUM per terminal (former way)  %9.1f ms\n", ms(t));
    }

    // The printout of the newest P records.
    const qint64 records = std::min<qint64>(parser.value(printed).toLongLong(), rows);
    const int pages = printPageCount(records);
    const QString pdf = root + QStringLiteral("/bench.pdf");
    resetPeak();
    const double before = peakMb();
    auto printer = makePrinter(PrintTarget{kPrintToPdf, pdf});
    QElapsedTimer t;
    t.start();
    db::Connection reader;
    if (!reader.open(strings.log))
        fail(reader.lastError().message);
    const PrintOutcome outcome = printLog(reader, PrintSource{}, 1, pages, printer.get());
    printer.reset();
    const double printMs = ms(t);
    if (!outcome.ok)
        fail(outcome.error);
    std::printf("PDF of %lld records: %d pages in %.1f s, %.1f pages/s, %.1f MB file, peak memory "
                "%.1f MB (%.1f MB before)\n",
                static_cast<long long>(records), outcome.pages, printMs / 1000,
                outcome.pages / (printMs / 1000), QFileInfo(pdf).size() / 1e6, peakMb(), before);

    log.close();
    config.close();
    reader.close();
    run.finish(parser);
    return 0;
}
