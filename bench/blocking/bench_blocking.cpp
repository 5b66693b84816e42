// bench_blocking: the blocking module on a gateway of network namespaces (terminal, gateway,
// server). "Without" and "with" run in the same minute and alternate: the module runs all the
// time, and the server answers both on ports the rules divert to it (80, 443) and on ports they
// leave alone (8080, 8443; iperf3 on 5201), so the machine's load (other work on it) falls on
// both alike:
//   - connections per second (one client, and eight at once) and the time from connect to
//     the answer's first byte (p50, p99) for HTTP requests and TLS ClientHellos, and what the
//     module adds; the module's CPU time per relayed connection;
//   - the time until a black-listed site is turned away;
//   - bulk throughput of one download and one upload (iperf3, medians of the runs);
//   - the module's resident memory and descriptors with connections held open through it
//     (10,000, or what the descriptor limit allows), and after they closed.
// The configuration holds 20,000 black-list entries besides the delivered list. Root only.

#include "bench/blocking/netload.h"
#include "bench/datagen/datagen.h"
#include "bench/support/benchsupport.h"
#include "common/installation.h"
#include "common/odbc.h"
#include "tests/outside/blocker/gatewaynet.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QThread>
#include <arpa/inet.h>
#include <cstdio>
#include <cstring>
#include <netinet/in.h>
#include <sys/resource.h>
#include <unistd.h>

using lt::bench::Timings;
using lt::test::GatewayNet;

namespace
{

using lt::bench::fail;
using lt::bench::median;

void figure(const QString& name, double value, const char* unit = "", const char* note = "")
{
    std::printf("%-44s %10.1f %s %s\n", qPrintable(name), value, unit, note);
    std::fflush(stdout);
}

QString loadAverage()
{
    QFile f(QStringLiteral("/proc/loadavg"));
    f.open(QIODevice::ReadOnly);
    return QString::fromLatin1(f.readAll()).section(u' ', 0, 2);
}

// A ClientHello as openssl sends it, caught by a listening socket on the loopback.
QByteArray clientHello(const QString& serverName)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(fd, 1);
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    QProcess client;
    client.start(QStringLiteral("openssl"),
                 {"s_client", "-connect", QStringLiteral("127.0.0.1:%1").arg(ntohs(a.sin_port)),
                  "-servername", serverName});
    const int c = ::accept(fd, nullptr, nullptr);
    QByteArray hello;
    char buf[4096];
    while (hello.size() < 5 || hello.size() < 5 + (uchar(hello[3]) << 8 | uchar(hello[4]))) {
        const ssize_t n = ::recv(c, buf, sizeof buf, 0);
        if (n <= 0)
            break;
        hello.append(buf, n);
    }
    ::close(c);
    ::close(fd);
    client.kill();
    client.waitForFinished();
    return hello;
}

long statusKb(qint64 pid, const char* field)
{
    QFile f(QStringLiteral("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(qsizetype(strlen(field))).trimmed().split(' ').value(0).toLong();
    }
    return 0;
}

// CPU seconds a process has used (user and system), from /proc/PID/stat.
double cpuSeconds(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray text = f.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    return double(fields.value(11).toLongLong() + fields.value(12).toLongLong()) /
           double(::sysconf(_SC_CLK_TCK));
}

int descriptors(qint64 pid)
{
    return int(QDir(QStringLiteral("/proc/%1/fd").arg(pid)).entryList(QDir::NoDotAndDotDot).size());
}

// The answering server in a process of its own ("bench_blocking --serve NS"), so that its
// sockets do not count against this process's descriptor limit.
class ServerProcess
{
public:
    explicit ServerProcess(const QString& ns)
    {
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start(QCoreApplication::applicationFilePath(), {"--serve", ns});
        QByteArray said;
        while (!said.contains("ready") && process_.waitForReadyRead(10000))
            said += process_.readAllStandardOutput();
        if (!said.contains("ready"))
            fail(QStringLiteral("the answering server cannot listen"));
    }
    ~ServerProcess()
    {
        process_.closeWriteChannel(); // it ends when its input does
        if (!process_.waitForFinished(10000))
            process_.kill();
    }

private:
    QProcess process_;
};

int serve(const char* ns)
{
    lt::bench::allowDescriptors(1 << 20);
    lt::bench::AnswerServer server(QString::fromLocal8Bit(ns), {80, 443, 8080, 8443});
    if (!server.ready())
        return 1;
    std::printf("ready\n");
    std::fflush(stdout);
    char buf[64];
    while (::read(0, buf, sizeof buf) > 0) {
    }
    return 0;
}

// The descriptors this process may hold (a container may not let even root raise the limit).
long descriptorLimit()
{
    rlimit limit{};
    ::getrlimit(RLIMIT_NOFILE, &limit);
    return long(limit.rlim_cur);
}

struct Options {
    int connections = 4000;
    int rounds = 10;
    int open = 10000;
    int seconds = 4;
    int runs = 3;
};

struct Requests {
    QByteArray http;
    QByteArray tls;
    QByteArray blockedTls;
};

// Ports of the server that the module's rules do not divert (the same path through the
// gateway, without the module) and that they do.
constexpr uint16_t kDirectHttp = 8080, kDirectTls = 8443, kHttp = 80, kTls = 443;

struct Pair {
    Timings direct, relayed;
    void add(const Timings& d, const Timings& r)
    {
        direct.micros.insert(direct.micros.end(), d.micros.begin(), d.micros.end());
        relayed.micros.insert(relayed.micros.end(), r.micros.begin(), r.micros.end());
        direct.seconds += d.seconds;
        relayed.seconds += r.seconds;
        direct.failures += d.failures;
        relayed.failures += r.failures;
    }
};

// Rounds that alternate between a port the module leaves alone and one it relays, so that
// both see the same load of the machine.
Pair alternate(GatewayNet& net, const QByteArray& request, uint16_t direct, uint16_t relayed,
               int count, int threads, int rounds)
{
    Pair pair;
    for (int i = 0; i < rounds; ++i) {
        const Timings d = lt::bench::connectLoop(net.terminal(), GatewayNet::kServer, direct,
                                                 request, count / rounds, threads);
        const Timings r = lt::bench::connectLoop(net.terminal(), GatewayNet::kServer, relayed,
                                                 request, count / rounds, threads);
        pair.add(d, r);
    }
    return pair;
}

void printPair(const QString& what, const Pair& p, bool latency)
{
    const double dRate = double(p.direct.micros.size()) / p.direct.seconds;
    const double rRate = double(p.relayed.micros.size()) / p.relayed.seconds;
    figure(what + " connections/s without", dRate);
    figure(what + " connections/s with", rRate);
    if (latency) {
        for (double q : {0.5, 0.99}) {
            const QString name = what + (q == 0.5 ? " first byte p50" : " first byte p99");
            const double d = p.direct.percentile(q), r = p.relayed.percentile(q);
            figure(name + " without", d, "us");
            figure(name + " with", r, "us",
                   qPrintable(QStringLiteral("(added %1 us%2)")
                                  .arg(r - d, 0, 'f', 1)
                                  .arg(q == 0.5 ? "" : ", goal < 1000")));
        }
    }
    if (p.direct.failures + p.relayed.failures)
        figure(what + " failed connections", p.direct.failures + p.relayed.failures);
}

// iperf3 through the gateway: megabits per second, sender to receiver.
double iperf(GatewayNet& net, uint16_t port, int seconds, bool reverse, const char* rate = nullptr)
{
    QStringList args = {"iperf3",
                        "-c",
                        GatewayNet::kServer,
                        "-p",
                        QString::number(port),
                        "-t",
                        QString::number(seconds),
                        "-J"};
    if (reverse)
        args << "-R";
    if (rate)
        args << "-b" << rate;
    QByteArray out;
    net.run(net.terminal(), args, &out, (seconds + 30) * 1000);
    const QJsonObject end = QJsonDocument::fromJson(out).object().value("end").toObject();
    return end.value("sum_received").toObject().value("bits_per_second").toDouble() / 1e6;
}

void fillConfiguration(lt::db::Connection& config)
{
    QString rows;
    for (int i = 0; i < 20000; ++i) {
        rows += QStringLiteral("%1('site%2.black.example','黑名单站点','游戏','S')")
                    .arg(rows.isEmpty() ? "" : ",")
                    .arg(i);
        if (i % 2000 == 1999) {
            config.execute(QStringLiteral("INSERT INTO blacktable VALUES") + rows);
            rows.clear();
        }
    }
    const QString all(24, QLatin1Char('1')), none(24, QLatin1Char('0'));
    config.execute(QStringLiteral("INSERT INTO usertable VALUES('压测终端','%1','压测组')")
                       .arg(GatewayNet::kTerminal));
    config.execute(QStringLiteral("INSERT INTO grouptable VALUES('压测组','2','2','%1','%1','%1',"
                                  "'%1','%1','%1','%1','%1','%1','%2','%1','%1')")
                       .arg(none, all));
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "--serve") == 0)
        return serve(argv[2]);
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addOptions({{"connections", "connections per latency figure and side", "N", "4000"},
                       {"rounds", "alternating rounds they are spread over", "N", "10"},
                       {"open", "connections held open for the memory figures", "N", "10000"},
                       {"seconds", "seconds of each iperf3 run", "N", "4"},
                       {"runs", "iperf3 runs each way and side", "N", "3"},
                       {"keep", "keep the installation"}});
    parser.addHelpOption();
    parser.process(app);
    if (::geteuid() != 0)
        fail(QStringLiteral("needs root (network namespaces, nftables): run it as root"));
    Options o;
    o.connections = parser.value("connections").toInt();
    o.open = parser.value("open").toInt();
    o.seconds = parser.value("seconds").toInt();
    o.rounds = std::max(1, parser.value("rounds").toInt());
    o.runs = std::max(1, parser.value("runs").toInt());
    std::printf("load average at start: %s (2 cores)\n", qPrintable(loadAverage()));
    // The module needs two sockets per connection and this process one: both are held to
    // what the limit allows, where it cannot be raised.
    lt::bench::allowDescriptors(4 * o.open + 1000);
    const int possible = int(std::min<long>(o.open, (descriptorLimit() - 400) / 2));
    if (possible < o.open) {
        std::printf("descriptor limit %ld (cannot be raised here): %d connections held open "
                    "instead of %d\n",
                    descriptorLimit(), possible, o.open);
        o.open = possible;
    }

    QTemporaryDir temp(QDir::tempPath() + QStringLiteral("/lantrove-bench-XXXXXX"));
    temp.setAutoRemove(!parser.isSet("keep"));
    lt::bench::startInstallation(temp.path(), {.fast = false});
    lt::db::Connection log, config;
    lt::bench::provision(log, config);
    fillConfiguration(config);

    GatewayNet net(QStringLiteral("lk"));
    if (!net.ready())
        fail(net.error());
    Requests r;
    r.http = "GET / HTTP/1.1\r\nHost: www.allowed.example\r\nUser-Agent: bench\r\n\r\n";
    r.tls = clientHello(QStringLiteral("www.allowed.example"));
    r.blockedTls = clientHello(QStringLiteral("site777.black.example"));

    QProcess* module = net.start(
        net.gateway(), {temp.path() + "/app/qmlxblock", "-i", QString::number(net.lanAdapter())});
    QByteArray said;
    QElapsedTimer waited;
    waited.start();
    while (!said.contains("配置已读到") && waited.elapsed() < 30000) {
        module->waitForReadyRead(500);
        said += module->readAllStandardError();
    }
    if (!said.contains("阻断规则已安装"))
        fail(QStringLiteral("the module did not set its rules: ") + QString::fromUtf8(said));
    const qint64 pid = module->processId();
    const long idleKb = statusKb(pid, "VmRSS:");
    std::printf("\"without\": ports %d and %d of the server, which the rules do not divert; "
                "\"with\": ports %d and %d, relayed by the module. Rounds alternate.\n",
                kDirectHttp, kDirectTls, kHttp, kTls);

    // Bulk: iperf3 on a diverted and a plain port, alternating, medians of the runs.
    QProcess* relayedIperf = net.start(net.server(), {"iperf3", "-s", "-p", "443"});
    QProcess* directIperf = net.start(net.server(), {"iperf3", "-s", "-p", "5201"});
    QThread::msleep(500);
    for (const bool download : {true, false}) {
        std::vector<double> d, r, cpu;
        for (int i = 0; i < o.runs; ++i) {
            d.push_back(iperf(net, 5201, o.seconds, download));
            const double before = cpuSeconds(pid);
            r.push_back(iperf(net, kTls, o.seconds, download));
            cpu.push_back(100 * (cpuSeconds(pid) - before) / o.seconds);
        }
        const QString what = download ? "iperf3 download" : "iperf3 upload";
        figure(what + " without", median(d), "Mbit/s");
        figure(what + " with", median(r), "Mbit/s",
               qPrintable(QStringLiteral("(%1 %, goal >= 90 %; module CPU %2 % of a core)")
                              .arg(100 * median(r) / median(d), 0, 'f', 1)
                              .arg(median(cpu), 0, 'f', 0)));
    }
    // A site's uplink is rarely faster than 1 Gbit/s: what comes through at that rate.
    figure("iperf3 download paced at 1 Gbit/s without", iperf(net, 5201, o.seconds, true, "1G"),
           "Mbit/s");
    figure("iperf3 download paced at 1 Gbit/s with", iperf(net, kTls, o.seconds, true, "1G"),
           "Mbit/s");
    relayedIperf->kill();
    directIperf->kill();
    relayedIperf->waitForFinished();
    directIperf->waitForFinished();

    ServerProcess server(net.server());
    const double cpuBefore = cpuSeconds(pid);
    const Pair http = alternate(net, r.http, kDirectHttp, kHttp, o.connections, 1, o.rounds);
    const Pair tls = alternate(net, r.tls, kDirectTls, kTls, o.connections, 1, o.rounds);
    const double loopCpu = cpuSeconds(pid) - cpuBefore;
    const Pair parallel = alternate(net, r.http, kDirectHttp, kHttp, 2 * o.connections, 8, 4);
    printPair(QStringLiteral("http (1 client)"), http, true);
    printPair(QStringLiteral("tls (1 client)"), tls, true);
    printPair(QStringLiteral("http (8 clients)"), parallel, false);
    figure("module CPU per relayed connection",
           1e6 * loopCpu / double(http.relayed.micros.size() + tls.relayed.micros.size()), "us");
    const Timings refused = lt::bench::connectLoop(net.terminal(), GatewayNet::kServer, kTls,
                                                   r.blockedTls, 500, 1, true);
    figure("black-listed site turned away p50", refused.percentile(0.5), "us");
    figure("black-listed site turned away p99", refused.percentile(0.99), "us", "(goal < 100000)");

    // Memory with connections held open through the module.
    figure("module memory, idle", double(idleKb) / 1024, "MB");
    lt::bench::ConnectionHolder holder;
    for (int n : {o.open / 4, o.open / 2, o.open}) {
        if (!holder.fill(net.terminal(), GatewayNet::kServer, 80, r.http, n))
            fail(QStringLiteral("could not hold %1 connections open").arg(n));
        QThread::msleep(500);
        figure(QStringLiteral("module memory, %1 open").arg(n),
               double(statusKb(pid, "VmRSS:")) / 1024, "MB",
               qPrintable(QStringLiteral("(%1 descriptors)").arg(descriptors(pid))));
    }
    holder.closeAll();
    QThread::msleep(2000);
    figure("module memory, all closed again", double(statusKb(pid, "VmRSS:")) / 1024, "MB",
           qPrintable(QStringLiteral("(%1 descriptors; peak %2 MB)")
                          .arg(descriptors(pid))
                          .arg(double(statusKb(pid, "VmHWM:")) / 1024, 0, 'f', 1)));

    module->terminate();
    module->waitForFinished(10000);
    std::printf("load average at end: %s\n", qPrintable(loadAverage()));
    if (!parser.isSet("keep"))
        lt::bench::stopServer(temp.path());
    return 0;
}
