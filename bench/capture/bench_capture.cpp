// bench_capture: the monitor module's speed on a capture of a busy LAN (many terminals and
// sites) beside tshark reading the same file in the same run, its memory with 10,000 open
// connections, and (as root, --live) the drops libpcap counts while tcpreplay sends the traffic
// at 100 Mbit/s and 1 Gbit/s through network namespaces.
//   bench_capture [--packets N] [--terminals N] [--sites N] [--live] [--live-packets N]
//                 [--root DIR] [--keep]
// It lays out a throw-away installation with a private server of its own and prints
// "case-name value" lines.

#include "bench/capture/trafficgen.h"
#include "bench/datagen/datagen.h"
#include "bench/support/benchsupport.h"
#include "common/installation.h"
#include "common/odbc.h"
#include "outside/monitor/capture.h"
#include "outside/monitor/engine.h"
#include "tests/outside/netns.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <cstdio>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

extern char** environ;

namespace
{

struct Options {
    lt::bench::TrafficShape shape;
    bool live = false;
    int64_t livePackets = 300000;
};

using lt::bench::fail;

void figure(const char* name, double value, const char* unit = "")
{
    std::printf("%-36s %.1f%s%s\n", name, value, *unit ? " " : "", unit);
    std::fflush(stdout);
}

struct Run {
    double seconds = 0;
    long peakKb = 0;
    int code = -1;
    QString out;
};

// The peak resident memory of a running process (VmHWM), in kB; 0 once it has gone.
long peakKb(pid_t pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return 0;
}

// A program to its end, with its output in a file, its time and its peak memory. The peak is
// read from /proc while it runs: a spawned child's ru_maxrss also counts this process's pages.
Run spawn(const QStringList& command, const QString& outFile)
{
    lt::bench::SpawnArgs args(command);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outFile.toLocal8Bit().constData(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    QElapsedTimer t;
    t.start();
    pid_t pid = 0;
    Run run;
    if (posix_spawnp(&pid, args.argv()[0], &actions, nullptr, args.argv(), environ) != 0)
        fail(QStringLiteral("cannot start ") + command.join(u' '));
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        run.peakKb = std::max(run.peakKb, peakKb(pid));
        QThread::msleep(10);
    }
    run.seconds = t.elapsed() / 1000.0;
    run.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    posix_spawn_file_actions_destroy(&actions);
    QFile f(outFile);
    if (f.open(QIODevice::ReadOnly))
        run.out = QString::fromUtf8(f.readAll());
    return run;
}

qint64 number(const QString& text, const QString& before)
{
    const QRegularExpression re(QRegularExpression::escape(before) + QStringLiteral("\\s*(\\d+)"));
    const auto m = re.match(text);
    return m.hasMatch() ? m.captured(1).toLongLong() : -1;
}

struct Discard final : lt::monitor::EventSink {
    int64_t events = 0;
    void visit(const lt::monitor::VisitEvent&) override { ++events; }
    void upload(const lt::monitor::UploadEvent&) override { ++events; }
    void traffic(const lt::monitor::TrafficEvent&) override { ++events; }
};

// The packet path alone, in this process: what the module could do with a database that is
// never in the way.
double parseOnly(const QString& file, int64_t packets)
{
    lt::monitor::Capture capture;
    if (!capture.openFile(file))
        fail(capture.error());
    Discard sink;
    lt::monitor::Engine engine(sink);
    QElapsedTimer t;
    t.start();
    while (capture.dispatch(engine, 4096) > 0) {
    }
    engine.finish();
    return packets / std::max(t.elapsed() / 1000.0, 0.001);
}

QString count(lt::db::Connection& c, const QString& table)
{
    return c.query(QStringLiteral("SELECT COUNT(*) FROM ") + table).field(0).toString();
}

void clearTables(lt::db::Connection& log, lt::db::Connection& config)
{
    for (const char* t : {"logtable", "upsendtable"})
        log.execute(QStringLiteral("TRUNCATE ") + QLatin1String(t));
    for (const char* t : {"webtable", "uptable", "downtable"})
        config.execute(QStringLiteral("TRUNCATE ") + QLatin1String(t));
}

void replayCase(const QString& app, const QString& file, const lt::bench::TrafficFile& traffic,
                const QString& dir, lt::db::Connection& log, lt::db::Connection& config)
{
    figure("parse-packets-per-second", parseOnly(file, traffic.packets));
    clearTables(log, config);
    const Run r = spawn({app + QStringLiteral("/qmlxsn"), QStringLiteral("-r"), file},
                        dir + QStringLiteral("/replay.out"));
    if (r.code != 0)
        fail(QStringLiteral("qmlxsn -r: exit %1: %2").arg(r.code).arg(r.out));
    const qint64 rows =
        number(r.out, QStringLiteral("写入浏览日志")) + number(r.out, QStringLiteral("上传日志")) +
        number(r.out, QStringLiteral("最近访问")) + 2 * number(r.out, QStringLiteral("流量计数"));
    std::printf("%s", qPrintable(r.out));
    figure("replay-seconds", r.seconds, "s");
    figure("replay-packets-per-second", traffic.packets / r.seconds);
    figure("replay-rows-per-second", rows / r.seconds);
    figure("replay-rows", double(rows));
    // What was left to write once the file was read: the database kept up when it is small.
    const QRegularExpression tail(QStringLiteral("读完文件后写入 ([\\d.]+) 秒"));
    figure("replay-final-flush-seconds", tail.match(r.out).captured(1).toDouble(), "s");
    figure("replay-peak-mb", r.peakKb / 1024.0, "MB");
    std::printf("%-36s %s (expected %lld)\n", "replay-logtable-rows",
                qPrintable(count(log, QStringLiteral("logtable"))), qlonglong(traffic.pages));
    std::printf("%-36s %s (expected %lld)\n", "replay-upsendtable-rows",
                qPrintable(count(log, QStringLiteral("upsendtable"))), qlonglong(traffic.uploads));
    std::printf("%-36s %s\n", "replay-uptable-rows",
                qPrintable(count(config, QStringLiteral("uptable"))));

    const Run t =
        spawn({QStringLiteral("tshark"), QStringLiteral("-n"), QStringLiteral("-r"), file,
               QStringLiteral("-Y"),
               QStringLiteral("http.request or tls.handshake.extensions_server_name"),
               QStringLiteral("-T"), QStringLiteral("fields"), QStringLiteral("-e"),
               QStringLiteral("ip.src"), QStringLiteral("-e"), QStringLiteral("http.host"),
               QStringLiteral("-e"), QStringLiteral("http.request.uri"), QStringLiteral("-e"),
               QStringLiteral("tls.handshake.extensions_server_name")},
              dir + QStringLiteral("/tshark.out"));
    if (t.code != 0) {
        std::printf("tshark did not run (exit %d): no comparison\n", t.code);
        return;
    }
    figure("tshark-seconds", t.seconds, "s");
    figure("tshark-packets-per-second", traffic.packets / t.seconds);
    figure("tshark-lines", double(t.out.count(u'\n')));
    figure("speedup-vs-tshark", t.seconds / r.seconds, "x (goal >= 10)");
}

void openConnectionsCase(const QString& app, const QString& dir)
{
    const QString file = dir + QStringLiteral("/open.pcap");
    const lt::bench::TrafficFile open = lt::bench::writeOpenConnections(file, 10000);
    const Run r = spawn({app + QStringLiteral("/qmlxsn"), QStringLiteral("-r"), file},
                        dir + QStringLiteral("/open.out"));
    if (r.code != 0)
        fail(QStringLiteral("qmlxsn -r (open connections): ") + r.out);
    figure("open10000-packets", double(open.packets));
    figure("open10000-peak-mb", r.peakKb / 1024.0, "MB (goal < 100)");
}

// tcpreplay from the server's namespace, the module capturing on the terminal's side.
void liveCase(const QString& app, const QString& dir, const Options& o)
{
    if (::geteuid() != 0) {
        std::printf("live: skipped (network namespaces need root)\n");
        return;
    }
    lt::bench::TrafficShape shape = o.shape;
    shape.packets = o.livePackets;
    const QString file = dir + QStringLiteral("/live.pcap");
    const lt::bench::TrafficFile traffic = lt::bench::writeTraffic(file, shape);
    figure("live-file-packets", double(traffic.packets));
    for (int mbps : {100, 1000}) {
        lt::test::Namespaces net;
        if (!net.ready())
            fail(QStringLiteral("namespaces: ") + net.error());
        const QString out = dir + QStringLiteral("/live%1.out").arg(mbps);
        QProcess* monitor = net.start(
            net.client(), {QStringLiteral("sh"), QStringLiteral("-c"),
                           QStringLiteral("exec '%1/qmlxsn' -i 1 >'%2' 2>&1").arg(app, out)});
        QThread::msleep(2000);
        QByteArray replayed;
        const QString serverIf = net.clientInterface().chopped(1) + QLatin1Char('s');
        net.run(net.server(),
                {QStringLiteral("tcpreplay"), QStringLiteral("-q"), QStringLiteral("--mbps"),
                 QString::number(mbps), QStringLiteral("-i"), serverIf, file},
                &replayed, 600000);
        QThread::msleep(2000);
        monitor->terminate();
        monitor->waitForFinished(60000);
        QFile f(out);
        f.open(QIODevice::ReadOnly);
        const QString line = QString::fromUtf8(f.readAll());
        const QString rate = QStringLiteral("live-%1mbps-").arg(mbps);
        figure(qPrintable(rate + "received"), double(number(line, QStringLiteral("数据包"))));
        figure(qPrintable(rate + "drops"), double(number(line, QStringLiteral("libpcap 丢包"))),
               mbps == 100 ? "(goal 0)" : "");
        figure(qPrintable(rate + "interface-drops"),
               double(number(line, QStringLiteral("网卡丢弃"))));
        const QRegularExpression actual(QStringLiteral("Rated: [\\d.]+ Bps, ([\\d.]+) Mbps"));
        const auto m = actual.match(QString::fromLocal8Bit(replayed));
        figure(qPrintable(rate + "actual-mbps"), m.hasMatch() ? m.captured(1).toDouble() : -1);
    }
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addOptions({{"packets", "frames in the capture", "N", "1000000"},
                       {"terminals", "terminals", "N", "2000"},
                       {"sites", "sites", "N", "500"},
                       {"live", "tcpreplay through namespaces (root)"},
                       {"live-packets", "frames sent live", "N", "300000"},
                       {"root", "installation directory", "DIR"},
                       {"keep", "keep the installation and the files"}});
    parser.addHelpOption();
    parser.process(app);
    Options o;
    o.shape.packets = parser.value("packets").toLongLong();
    o.shape.terminals = parser.value("terminals").toInt();
    o.shape.sites = parser.value("sites").toInt();
    o.live = parser.isSet("live");
    o.livePackets = parser.value("live-packets").toLongLong();

    QTemporaryDir temp(QDir::tempPath() + QStringLiteral("/lantrove-bench-XXXXXX"));
    temp.setAutoRemove(!parser.isSet("keep"));
    const QString root = parser.isSet("root") ? parser.value("root") : temp.path();
    // The module's writing is measured: the server keeps its ordinary durability.
    lt::bench::startInstallation(root, {.fast = false});
    lt::db::Connection log, config;
    lt::bench::provision(log, config);

    const QString file = temp.path() + QStringLiteral("/lan.pcap");
    QElapsedTimer t;
    t.start();
    const lt::bench::TrafficFile traffic = lt::bench::writeTraffic(file, o.shape);
    if (traffic.packets == 0)
        fail(QStringLiteral("cannot write ") + file);
    std::printf("capture: %lld frames, %.1f MB, %lld connections, %d terminals, %d sites, made "
                "in %.1f s\n",
                qlonglong(traffic.packets), traffic.bytes / 1048576.0,
                qlonglong(traffic.conversations), o.shape.terminals, o.shape.sites,
                t.elapsed() / 1000.0);
    replayCase(lt::Installation::appDir(), file, traffic, temp.path(), log, config);
    openConnectionsCase(lt::Installation::appDir(), temp.path());
    if (o.live)
        liveCase(lt::Installation::appDir(), temp.path(), o);
    if (!parser.isSet("keep"))
        lt::bench::stopServer(root);
    return 0;
}
