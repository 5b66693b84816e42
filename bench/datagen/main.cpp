// lt_datagen: fills the log tables of an installation with realistic rows for benchmarks.
//   lt_datagen [--init] [--log N] [--upload N] [--web N] [--terminals N] [--days D] [--seed S]
// The installation is the one LANTROVE_ROOT names (or the one the program lies in). With --init
// the data sources are registered for its local server and both databases initialised first;
// otherwise they must be so already.

#include "bench/datagen/datagen.h"
#include "common/datasources.h"
#include "common/installation.h"
#include "common/odbc.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstdio>

namespace
{

using Fill = qint64 (*)(lt::db::Connection&, const lt::bench::GenOptions&);

bool run(const char* table, lt::db::Connection& c, Fill fill, lt::bench::GenOptions o)
{
    if (o.rows <= 0)
        return true;
    QElapsedTimer timer;
    timer.start();
    const qint64 rows = fill(c, o);
    const double seconds = timer.nsecsElapsed() / 1e9;
    std::printf("%-12s %10lld rows in %7.2f s: %9.0f rows/s\n", table, rows, seconds,
                rows / std::max(seconds, 1e-9));
    if (rows < o.rows)
        std::fprintf(stderr, "%s: %s\n", table, qPrintable(c.lastError().message));
    return rows == o.rows;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    lt::Installation::initialiseProcess();
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Fills the log tables with realistic rows."));
    parser.addHelpOption();
    const QCommandLineOption log(QStringLiteral("log"), QStringLiteral("logtable rows"), "N", "0");
    const QCommandLineOption upload(QStringLiteral("upload"), QStringLiteral("upsendtable rows"),
                                    "N", "0");
    const QCommandLineOption web(QStringLiteral("web"), QStringLiteral("webtable rows"), "N", "0");
    const QCommandLineOption terminals(QStringLiteral("terminals"),
                                       QStringLiteral("usertable rows"), "N", "0");
    const QCommandLineOption days(QStringLiteral("days"), QStringLiteral("days spanned"), "D", "7");
    const QCommandLineOption seed(QStringLiteral("seed"), QStringLiteral("random seed"), "S", "1");
    const QCommandLineOption init(QStringLiteral("init"),
                                  QStringLiteral("register the local data sources and initialise "
                                                 "both databases first (erases them)"));
    parser.addOptions({log, upload, web, terminals, days, seed, init});
    parser.process(app);
    lt::db::Connection logDb;
    lt::db::Connection configDb;
    QString why;
    const bool opened = parser.isSet(init)
                            ? lt::bench::provisionLocal(logDb, configDb, &why)
                            : logDb.open(lt::dsn::chosenConnectionStrings().log) &&
                                  configDb.open(lt::dsn::chosenConnectionStrings().config);
    if (!opened) {
        std::fprintf(stderr, "cannot open the databases: %s %s %s\n", qPrintable(why),
                     qPrintable(logDb.lastError().message),
                     qPrintable(configDb.lastError().message));
        return 1;
    }
    lt::bench::GenOptions o;
    o.days = parser.value(days).toInt();
    o.seed = parser.value(seed).toUInt();
    bool ok = true;
    o.rows = parser.value(log).toLongLong();
    ok &= run("logtable", logDb, lt::bench::fillLogTable, o);
    o.rows = parser.value(upload).toLongLong();
    ok &= run("upsendtable", logDb, lt::bench::fillUploadTable, o);
    o.rows = parser.value(web).toLongLong();
    ok &= run("webtable", configDb, lt::bench::fillWebTable, o);
    const int n = parser.value(terminals).toInt();
    if (n > 0)
        ok &= lt::bench::fillTerminals(configDb, n) == n;
    return ok ? 0 : 1;
}
