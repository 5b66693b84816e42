// bench_archive: the console's backup, log restore and configuration file beside the bare tools,
// in one throw-away installation with a private server of its own (scripts/layout.sh,
// scripts/db.sh). It fills logtable with N generated rows and measures, each in a process of
// its own (so that its peak memory is its own):
//   - "overseer --backup FILE" beside "mariadb --quick -e 'SELECT * FROM logtable ORDER BY
//     AcTime DESC'" into a file: rows per second, ratio, peak resident memory;
//   - "overseer --restore-log FILE" into an empty logtable beside LOAD DATA LOCAL INFILE of the
//     client's file: rows per second and ratio;
//   - "overseer --export-config" and "--restore-config" of T terminals and G groups;
//   - how long a backup takes to stop once it is asked to (the export window's "取消"), asked
//     after a second of work.
//   bench_archive ROWS [--terminals T] [--groups G] [--root DIR] [--keep]

#include "bench/datagen/datagen.h"
#include "bench/support/benchsupport.h"
#include "common/datasources.h"
#include "common/installation.h"
#include "common/odbc.h"
#include "overseer/archive/archivejobs.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>

#include <cstdio>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <vector>

extern char** environ;

namespace
{

using lt::bench::fail;

struct Measured {
    double seconds = 0;
    double peakMb = 0;
};

// Runs a program to its end, its standard output into outPath (or /dev/null); its time and its
// own peak resident memory.
Measured run(const QStringList& command, const QString& outPath = QStringLiteral("/dev/null"))
{
    lt::bench::SpawnArgs args(command);
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    const QByteArray out = outPath.toLocal8Bit();
    posix_spawn_file_actions_addopen(&files, 1, out.constData(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    QElapsedTimer t;
    t.start();
    pid_t pid = 0;
    if (posix_spawnp(&pid, args.argv()[0], &files, nullptr, args.argv(), environ) != 0)
        fail(QStringLiteral("cannot start ") + command.first());
    posix_spawn_file_actions_destroy(&files);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    Measured m{t.nsecsElapsed() / 1e9, usage.ru_maxrss / 1024.0};
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        fail(command.join(u' ') + QStringLiteral(" failed"));
    return m;
}

qint64 rows(lt::db::Connection& c, const QString& table)
{
    return c.query(QStringLiteral("SELECT count(*) FROM ") + table).field(0).toLongLong();
}

void line(const char* what, double seconds, qint64 n, double peakMb = -1)
{
    std::printf("%-34s %9.2f s %11.0f rows/s", what, seconds, n / seconds);
    if (peakMb >= 0)
        std::printf("  peak %7.1f MB", peakMb);
    std::printf("\n");
}

// Milliseconds from the stop request to the end of the export, asked after a second of work.
double stopLatency(const QString& file)
{
    lt::db::Connection c;
    if (!lt::overseer::archive::openJobConnection(c, lt::dsn::chosenConnectionStrings().log))
        fail(QStringLiteral("cannot open the log database"));
    std::atomic<bool> stop{false};
    QElapsedTimer asked;
    std::thread timer([&] {
        std::this_thread::sleep_for(std::chrono::seconds(1));
        asked.start();
        stop = true;
    });
    const auto out = lt::overseer::archive::exportLog(
        c, lt::overseer::archive::ExportKind::LogBackup, file, {}, &stop);
    const double ms = asked.isValid() ? asked.nsecsElapsed() / 1e6 : -1;
    timer.join();
    if (out.status != lt::overseer::archive::ExportOutcome::Stopped)
        return -1; // done before the request
    return ms;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("rows"), QStringLiteral("logtable rows"));
    const QCommandLineOption terminals(QStringLiteral("terminals"), QStringLiteral("terminals"),
                                       QStringLiteral("T"), QStringLiteral("10000"));
    const QCommandLineOption groups(QStringLiteral("groups"), QStringLiteral("groups"),
                                    QStringLiteral("G"), QStringLiteral("100"));
    lt::bench::RunDirectory directory;
    parser.addOptions({terminals, groups});
    directory.addOptions(parser);
    parser.process(app);
    const qint64 n = parser.positionalArguments().value(0, QStringLiteral("1000000")).toLongLong();

    const QString root = directory.root(parser);
    lt::bench::startInstallation(root);
    lt::db::Connection log;
    lt::db::Connection config;
    lt::bench::provision(log, config);
    log.setTimeouts(lt::db::ConnectionTimeouts::longStatements());
    lt::bench::GenOptions g;
    g.rows = n;
    std::printf("filling logtable with %lld rows ...\n", static_cast<long long>(n));
    std::fflush(stdout);
    if (lt::bench::fillLogTable(log, g) != n)
        fail(QStringLiteral("logtable: ") + log.lastError().message);

    const QString overseer = root + QStringLiteral("/app/overseer");
    const QString db = QStringLiteral(LT_SOURCE_DIR "/scripts/db.sh");
    const QString backup = root + QStringLiteral("/bench.bak");
    const QString dump = root + QStringLiteral("/bench.tsv");

    // The server's caches are warmed by a first read of each kind; not counted.
    run({db, QStringLiteral("client"), root, QStringLiteral("--quick"), QStringLiteral("-N"),
         QStringLiteral("-e"), QStringLiteral("SELECT * FROM logtable ORDER BY AcTime DESC"),
         QStringLiteral("dovrik")},
        dump);
    const Measured bare =
        run({db, QStringLiteral("client"), root, QStringLiteral("--quick"), QStringLiteral("-N"),
             QStringLiteral("-e"), QStringLiteral("SELECT * FROM logtable ORDER BY AcTime DESC"),
             QStringLiteral("dovrik")},
            dump);
    const Measured ours = run({overseer, QStringLiteral("--backup"), backup});
    const double stopMs = stopLatency(root + QStringLiteral("/stopped.bak"));

    log.execute(QStringLiteral("TRUNCATE TABLE logtable"));
    const Measured restore = run({overseer, QStringLiteral("--restore-log"), backup});
    if (rows(log, QStringLiteral("logtable")) != n)
        fail(QStringLiteral("the restore did not give every row back"));
    log.execute(QStringLiteral("TRUNCATE TABLE logtable"));
    const Measured load =
        run({db, QStringLiteral("client"), root, QStringLiteral("--local-infile=1"),
             QStringLiteral("-e"),
             QStringLiteral("LOAD DATA LOCAL INFILE '%1' INTO TABLE logtable").arg(dump),
             QStringLiteral("dovrik")});
    if (rows(log, QStringLiteral("logtable")) != n)
        fail(QStringLiteral("LOAD DATA did not load every row"));

    const int t = parser.value(terminals).toInt();
    const int gs = parser.value(groups).toInt();
    config.execute(QStringLiteral("DELETE FROM usertable"));
    config.execute(QStringLiteral("DELETE FROM grouptable"));
    if (lt::bench::fillTerminals(config, t) != t)
        fail(QStringLiteral("usertable: ") + config.lastError().message);
    for (int i = 0; i < gs; ++i) {
        QString sql = QStringLiteral("INSERT INTO grouptable VALUES('组%1','0','1'").arg(i);
        for (int m = 0; m < 12; ++m)
            sql += QStringLiteral(",'") + QString(24, QChar(u'0' + (i + m) % 3)) + u'\'';
        config.execute(sql + u')');
    }
    const QString cfg = root + QStringLiteral("/bench.cfg");
    const Measured exportCfg = run({overseer, QStringLiteral("--export-config"), cfg});
    const Measured restoreCfg = run({overseer, QStringLiteral("--restore-config"), cfg});

    std::printf("\nlogtable rows: %lld; backup file %.1f MB\n", static_cast<long long>(n),
                QFile(backup).size() / 1048576.0);
    line("mariadb --quick into a file", bare.seconds, n, bare.peakMb);
    line("overseer --backup", ours.seconds, n, ours.peakMb);
    std::printf("%-34s %9.0f %%\n", "backup beside the bare client",
                100.0 * bare.seconds / ours.seconds);
    line("LOAD DATA LOCAL INFILE", load.seconds, n);
    line("overseer --restore-log", restore.seconds, n, restore.peakMb);
    std::printf("%-34s %9.0f %%\n", "restore beside LOAD DATA",
                100.0 * load.seconds / restore.seconds);
    // The lines a script reads.
    std::printf("backup-share %.0f\nrestore-share %.0f\n", 100.0 * bare.seconds / ours.seconds,
                100.0 * load.seconds / restore.seconds);
    std::printf("backup asked to stop after 1 s: stopped %.0f ms later\n", stopMs);
    std::printf("configuration of %d terminals, %d groups: export %.2f s, restore %.2f s\n", t, gs,
                exportCfg.seconds, restoreCfg.seconds);

    directory.finish(parser);
    return 0;
}
