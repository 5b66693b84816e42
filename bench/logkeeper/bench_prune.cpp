// bench_logkeeper: one pruning pass of the keeper ("logkeeper --prune-now") over a large log,
// beside the same work done by the bare mariadb client (count, the statement that finds the
// cut-off row, the DELETE) in the same run, on the same data restored before each run.
//   bench_logkeeper [--log-rows N] [--log-limit N] [--web-rows N] [--upload-rows N]
//                   [--rounds R] [--root DIR] [--keep]
// It lays out a throw-away installation with a private server of its own (scripts/layout.sh,
// scripts/db.sh), fills it with lt_datagen, and prints seconds, the ratio and the keeper's
// peak memory (ru_maxrss of the child process, which is its VmHWM).

#include "bench/datagen/datagen.h"
#include "bench/support/benchsupport.h"
#include "common/datasources.h"
#include "common/installation.h"
#include "common/odbc.h"
#include "common/schema.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

extern char** environ;

namespace
{

struct Options {
    qint64 logRows = 1250000;
    qint32 logLimit = 1000000;
    qint64 webRows = 600000;   // the stage-one threshold of the initial web limit 500000
    qint64 uploadRows = 12000; // the threshold of the initial upload limit 10000
    int rounds = 2;
};

using lt::bench::fail;
using lt::bench::median;

// The bare mariadb client on the private server; the output as rows of text.
QString client(const QString& sql, const QString& database = {})
{
    return lt::bench::client(lt::Installation::root(), database, sql,
                             {QStringLiteral("--batch"), QStringLiteral("--skip-column-names")})
        .output;
}

struct Table {
    const char* name;
    const char* database;
};
const Table kTables[] = {{"logtable", "dovrik"}, {"webtable", "ipdata"}, {"upsendtable", "dovrik"}};

void fillInstallation(const Options& o)
{
    lt::db::Connection log;
    lt::db::Connection config;
    lt::bench::provision(log, config);
    QElapsedTimer t;
    t.start();
    lt::bench::GenOptions g;
    g.rows = o.logRows;
    if (lt::bench::fillLogTable(log, g) != g.rows)
        fail(QStringLiteral("logtable: ") + log.lastError().message);
    g.rows = o.webRows;
    if (lt::bench::fillWebTable(config, g) != g.rows)
        fail(QStringLiteral("webtable: ") + config.lastError().message);
    g.rows = o.uploadRows;
    if (lt::bench::fillUploadTable(log, g) != g.rows)
        fail(QStringLiteral("upsendtable: ") + log.lastError().message);
    std::printf("filled %lld + %lld + %lld rows in %.1f s\n", o.logRows, o.webRows, o.uploadRows,
                t.elapsed() / 1000.0);
}

// The generated rows are kept in database benchsrc and copied back before every run.
void snapshot()
{
    QString sql = QStringLiteral("DROP DATABASE IF EXISTS benchsrc; CREATE DATABASE benchsrc;");
    for (const Table& t : kTables)
        sql += QStringLiteral("CREATE TABLE benchsrc.%1 LIKE %2.%1;"
                              "INSERT INTO benchsrc.%1 SELECT * FROM %2.%1;")
                   .arg(QLatin1String(t.name), QLatin1String(t.database));
    client(sql);
}

void restore()
{
    QString sql;
    for (const Table& t : kTables)
        sql += QStringLiteral("TRUNCATE %2.%1; INSERT INTO %2.%1 SELECT * FROM benchsrc.%1;")
                   .arg(QLatin1String(t.name), QLatin1String(t.database));
    client(sql);
}

// Rows left and the oldest stamp left, per table: both contenders must leave the same.
QString state()
{
    QStringList parts;
    for (const Table& t : kTables)
        parts << QLatin1String(t.name) + QLatin1Char(' ') +
                     client(QStringLiteral("SELECT COUNT(*), MIN(AcTime) FROM %2.%1")
                                .arg(QLatin1String(t.name), QLatin1String(t.database)))
                         .replace(QLatin1Char('\t'), QLatin1Char('/'));
    return parts.join(QStringLiteral(", "));
}

struct Run {
    double seconds = 0;
    long peakKb = 0;
};

// The keeper as cron would run it: a child process, timed from spawn to exit.
Run runKeeper(const Options& o)
{
    const QByteArray program =
        (lt::Installation::appDir() + QStringLiteral("/logkeeper")).toLocal8Bit();
    const QByteArray limit = QByteArray::number(o.logLimit);
    const char* argv[] = {program.constData(), "--prune-now", "--log", limit.constData(), nullptr};
    QElapsedTimer t;
    t.start();
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], nullptr, nullptr, const_cast<char**>(argv), environ) != 0)
        fail(QStringLiteral("cannot start the keeper"));
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    Run run{t.nsecsElapsed() / 1e9, usage.ru_maxrss};
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        fail(QStringLiteral("the keeper's pass failed"));
    return run;
}

// One pruning step done with the client: count; when due, the cut-off row and the DELETE.
void clientStage(const QString& table, const QString& database, qint64 start, qint64 kept,
                 const QString& condition = {})
{
    const qint64 rows =
        client(QStringLiteral("SELECT COUNT(AcTime) FROM ") + table, database).toLongLong();
    if (rows < start)
        return;
    const QString cut = client(QStringLiteral("SELECT AcTime FROM %1 ORDER BY AcTime LIMIT %2,1")
                                   .arg(table)
                                   .arg(rows - kept),
                               database);
    client(QStringLiteral("DELETE FROM %1 WHERE AcTime<='%2'%3").arg(table, cut, condition),
           database);
}

Run runClient(const Options& o)
{
    const qint64 web = 500000;
    const qint64 upload = 10000;
    QElapsedTimer t;
    t.start();
    clientStage(QStringLiteral("LogTable"), QStringLiteral("dovrik"), o.logLimit + 50000LL,
                o.logLimit);
    clientStage(QStringLiteral("WebTable"), QStringLiteral("ipdata"), web + 100000, web,
                QStringLiteral(" AND Class=''"));
    clientStage(QStringLiteral("WebTable"), QStringLiteral("ipdata"), web + 50000, web + 50000);
    clientStage(QStringLiteral("UpSendTable"), QStringLiteral("dovrik"), upload + 2000, upload);
    return {t.nsecsElapsed() / 1e9, 0};
}

Options parse(const QCoreApplication& app, QString* root, bool* keep)
{
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption logRows("log-rows", "logtable rows", "N", "1250000");
    const QCommandLineOption logLimit("log-limit", "log limit", "N", "1000000");
    const QCommandLineOption webRows("web-rows", "webtable rows", "N", "600000");
    const QCommandLineOption uploadRows("upload-rows", "upsendtable rows", "N", "12000");
    const QCommandLineOption rounds("rounds", "runs of each contender", "R", "2");
    const QCommandLineOption rootOpt("root", "installation directory (kept)", "DIR");
    const QCommandLineOption keepOpt("keep", "keep the installation and its server");
    parser.addOptions({logRows, logLimit, webRows, uploadRows, rounds, rootOpt, keepOpt});
    parser.process(app);
    Options o;
    o.logRows = parser.value(logRows).toLongLong();
    o.logLimit = parser.value(logLimit).toInt();
    o.webRows = parser.value(webRows).toLongLong();
    o.uploadRows = parser.value(uploadRows).toLongLong();
    o.rounds = std::max(1, parser.value(rounds).toInt());
    *root = parser.value(rootOpt);
    *keep = parser.isSet(keepOpt) || parser.isSet(rootOpt);
    return o;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QString root;
    bool keep = false;
    const Options o = parse(app, &root, &keep);
    QTemporaryDir temp(QDir::tempPath() + QStringLiteral("/lantrove-bench-XXXXXX"));
    if (root.isEmpty())
        root = temp.path();
    temp.setAutoRemove(!keep);
    // The pass writes to disk: the server keeps its ordinary durability.
    lt::bench::startInstallation(root, {.fast = false});

    std::printf("logkeeper pruning pass: logtable %lld rows at log limit %d, webtable %lld rows "
                "and upsendtable %lld rows at the initial limits\n",
                o.logRows, o.logLimit, o.webRows, o.uploadRows);
    fillInstallation(o);
    snapshot();

    QList<double> keeper, bare;
    long peakKb = 0;
    QString keeperState, bareState;
    // client, keeper, keeper, client, ...: neither always runs first.
    for (int i = 0; i < o.rounds * 2; ++i) {
        const bool keeperTurn = (i % 4 == 1 || i % 4 == 2);
        if (i > 0)
            restore();
        const Run run = keeperTurn ? runKeeper(o) : runClient(o);
        (keeperTurn ? keeper : bare).append(run.seconds);
        peakKb = std::max(peakKb, run.peakKb);
        (keeperTurn ? keeperState : bareState) = state();
        std::printf("run %d  %-16s %7.2f s\n", i + 1, keeperTurn ? "logkeeper" : "mariadb client",
                    run.seconds);
        std::fflush(stdout);
    }
    std::printf("rows left, oldest stamp: logkeeper  %s\n", qPrintable(keeperState));
    std::printf("rows left, oldest stamp: mariadb    %s\n", qPrintable(bareState));
    const double k = median(keeper), b = median(bare);
    std::printf("median seconds: logkeeper %.2f, mariadb client %.2f; ratio %.3f (target <= 1.2)\n",
                k, b, k / b);
    std::printf("logkeeper peak memory: %.1f MB (target < 100 MB)\n", peakKb / 1024.0);
    if (keeperState != bareState)
        std::printf("THE TWO LEFT DIFFERENT ROWS\n");
    if (!keep)
        lt::bench::stopServer(root);
    else
        std::printf("installation kept in %s (server running)\n", qPrintable(root));
    return keeperState == bareState ? 0 : 1;
}
