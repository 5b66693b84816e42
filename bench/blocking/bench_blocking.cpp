// bench_blocking: the blocking module on a gateway of network namespaces (terminal, gateway,
// server), each figure without and with the module in the same run:
//   - connections per second (one client, and eight at once) and the time from connect to
//     the answer's first byte (p50, p99) for HTTP requests (port 80) and TLS ClientHellos
//     (port 443), and what the module adds;
//   - the time until a black-listed site is turned away;
//   - bulk throughput of one allowed download and upload (iperf3 on port 443);
//   - the module's resident memory and descriptors with 2,500, 5,000 and 10,000 connections
//     held open through it, and after they closed.
// The configuration holds 20,000 black-list entries besides the delivered list. Root only.

#include "bench/blocking/netload.h"
#include "bench/datagen/datagen.h"
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
#include <netinet/in.h>
#include <unistd.h>

using lt::bench::Timings;
using lt::test::GatewayNet;

namespace
{

[[noreturn]] void fail(const QString& what)
{
    std::fprintf(stderr, "bench_blocking: %s\n", qPrintable(what));
    std::exit(1);
}

void figure(const QString& name, double value, const char* unit = "", const char* note = "")
{
    std::printf("%-44s %10.1f %s %s\n", qPrintable(name), value, unit, note);
    std::fflush(stdout);
}

void script(const QString& name, const QStringList& args)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.start(QStringLiteral(LT_SOURCE_DIR "/scripts/") + name, args);
    if (!p.waitForFinished(300000) || p.exitCode() != 0)
        fail(name + QStringLiteral(" failed"));
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

int descriptors(qint64 pid)
{
    return int(QDir(QStringLiteral("/proc/%1/fd").arg(pid)).entryList(QDir::NoDotAndDotDot).size());
}

struct Options {
    int connections = 2000;
    int open = 10000;
    int seconds = 5;
};

struct Requests {
    QByteArray http;
    QByteArray tls;
    QByteArray blockedTls;
};

struct Round {
    Timings http, tls, parallel;
};

Round latencyRound(GatewayNet& net, const Requests& r, const Options& o)
{
    Round round;
    const QString server = GatewayNet::kServer;
    round.http = lt::bench::connectLoop(net.terminal(), server, 80, r.http, o.connections, 1);
    round.tls = lt::bench::connectLoop(net.terminal(), server, 443, r.tls, o.connections, 1);
    round.parallel =
        lt::bench::connectLoop(net.terminal(), server, 80, r.http, o.connections * 2, 8);
    return round;
}

void printRound(const char* label, const Round& r)
{
    const QString l = QString::fromLatin1(label);
    figure(l + " http connections/s (1 client)", double(r.http.micros.size()) / r.http.seconds);
    figure(l + " tls connections/s (1 client)", double(r.tls.micros.size()) / r.tls.seconds);
    figure(l + " http connections/s (8 clients)",
           double(r.parallel.micros.size()) / r.parallel.seconds);
    figure(l + " http first byte p50", r.http.percentile(0.5), "us");
    figure(l + " http first byte p99", r.http.percentile(0.99), "us");
    figure(l + " tls first byte p50", r.tls.percentile(0.5), "us");
    figure(l + " tls first byte p99", r.tls.percentile(0.99), "us");
    const int failures = r.http.failures + r.tls.failures + r.parallel.failures;
    if (failures)
        figure(l + " failed connections", failures);
}

// iperf3 through the gateway on port 443: megabits per second, sender to receiver.
double iperf(GatewayNet& net, int seconds, bool reverse)
{
    QStringList args = {"iperf3", "-c", GatewayNet::kServer,      "-p",
                        "443",    "-t", QString::number(seconds), "-J"};
    if (reverse)
        args << "-R";
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
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addOptions({{"connections", "connections per latency loop", "N", "2000"},
                       {"open", "connections held open for the memory figures", "N", "10000"},
                       {"seconds", "seconds of each iperf3 run", "N", "5"},
                       {"keep", "keep the installation"}});
    parser.addHelpOption();
    parser.process(app);
    if (::geteuid() != 0)
        fail(QStringLiteral("needs root (network namespaces, nftables): run it as root"));
    Options o;
    o.connections = parser.value("connections").toInt();
    o.open = parser.value("open").toInt();
    o.seconds = parser.value("seconds").toInt();
    std::printf("load average at start: %s (2 cores)\n", qPrintable(loadAverage()));
    if (!lt::bench::allowDescriptors(4 * o.open + 1000))
        fail(QStringLiteral("cannot raise the descriptor limit"));

    QTemporaryDir temp(QDir::tempPath() + QStringLiteral("/lantrove-bench-XXXXXX"));
    temp.setAutoRemove(!parser.isSet("keep"));
    script(QStringLiteral("layout.sh"), {QStringLiteral(LT_BUILD_DIR), temp.path()});
    script(QStringLiteral("db.sh"), {QStringLiteral("start"), temp.path()});
    lt::Installation::useRoot(temp.path());
    lt::Installation::applyOdbcEnvironment();
    lt::db::Connection log, config;
    QString why;
    if (!lt::bench::provisionLocal(log, config, &why))
        fail(QStringLiteral("cannot reach the private server: ") + why);
    fillConfiguration(config);

    GatewayNet net(QStringLiteral("lk"));
    if (!net.ready())
        fail(net.error());
    Requests r;
    r.http = "GET / HTTP/1.1\r\nHost: www.allowed.example\r\nUser-Agent: bench\r\n\r\n";
    r.tls = clientHello(QStringLiteral("www.allowed.example"));
    r.blockedTls = clientHello(QStringLiteral("site777.black.example"));

    Round without;
    {
        lt::bench::AnswerServer server(net.server(), {80, 443});
        if (!server.ready())
            fail(QStringLiteral("the answering server cannot listen"));
        without = latencyRound(net, r, o);
    }
    printRound("without module:", without);
    // iperf3 takes the server's port 443 when the answering server has let it go.
    QProcess* iperfServer = net.start(net.server(), {"iperf3", "-s", "-p", "443"});
    QThread::msleep(500);
    const double downWithout = iperf(net, o.seconds, true);
    const double upWithout = iperf(net, o.seconds, false);

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

    const double downWith = iperf(net, o.seconds, true);
    const double upWith = iperf(net, o.seconds, false);
    iperfServer->kill();
    iperfServer->waitForFinished();
    QThread::msleep(500);
    figure("iperf3 download without module", downWithout, "Mbit/s");
    figure(
        "iperf3 download with module", downWith, "Mbit/s",
        qPrintable(
            QStringLiteral("(%1 %, goal >= 90 %)").arg(100 * downWith / downWithout, 0, 'f', 1)));
    figure("iperf3 upload without module", upWithout, "Mbit/s");
    figure("iperf3 upload with module", upWith, "Mbit/s",
           qPrintable(QStringLiteral("(%1 %)").arg(100 * upWith / upWithout, 0, 'f', 1)));

    lt::bench::AnswerServer server(net.server(), {80, 443});
    if (!server.ready())
        fail(QStringLiteral("the answering server cannot listen again"));
    const Round with = latencyRound(net, r, o);
    printRound("with module:   ", with);
    figure("added http first byte p50", with.http.percentile(0.5) - without.http.percentile(0.5),
           "us");
    figure("added http first byte p99", with.http.percentile(0.99) - without.http.percentile(0.99),
           "us", "(goal < 1000)");
    figure("added tls first byte p50", with.tls.percentile(0.5) - without.tls.percentile(0.5),
           "us");
    figure("added tls first byte p99", with.tls.percentile(0.99) - without.tls.percentile(0.99),
           "us", "(goal < 1000)");
    const Timings refused = lt::bench::connectLoop(net.terminal(), GatewayNet::kServer, 443,
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
        script(QStringLiteral("db.sh"), {QStringLiteral("stop"), temp.path()});
    return 0;
}
