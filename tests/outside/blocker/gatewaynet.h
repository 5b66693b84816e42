#pragma once
// Three network namespaces of a test's own: a terminal, a gateway that forwards its traffic,
// and a server, joined by two veth pairs; IPv4 and IPv6 on both links, routes through the
// gateway. The gateway's LAN-side interface is made first, so it is adapter 1 of the gateway's
// list. Needs root; everything is removed when the object goes (also when a check failed, and
// the gateway's nftables tables with its namespace), and what a crashed run left is removed
// when the next one starts. Programs started in the namespaces end with the object.

#include <QDir>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <memory>
#include <unistd.h>
#include <vector>

namespace lt::test
{

class GatewayNet
{
public:
    inline static const QString kTerminal = QStringLiteral("10.78.1.2");
    inline static const QString kTerminal6 = QStringLiteral("fd78:1::2");
    inline static const QString kServer = QStringLiteral("10.78.2.2");
    inline static const QString kServer6 = QStringLiteral("fd78:2::2");

    // prefix: two letters that make the names of one program's namespaces its own.
    explicit GatewayNet(const QString& prefix = QStringLiteral("lb"))
    {
        const QString id = QString::number(::getpid());
        prefix_ = prefix;
        terminal_ = prefix + QLatin1Char('t') + id;
        gateway_ = prefix + QLatin1Char('g') + id;
        server_ = prefix + QLatin1Char('s') + id;
        lan_ = prefix + id + QStringLiteral("l");
        wan_ = prefix + id + QStringLiteral("w");
        removeLeftovers();
        const QString t = terminal_, g = gateway_, s = server_;
        const QString tIf = prefix + id + QStringLiteral("t"),
                      sIf = prefix + id + QStringLiteral("s");
        const QList<QStringList> steps = {
            {"netns", "add", t},
            {"netns", "add", g},
            {"netns", "add", s},
            {"link", "add", lan_, "netns", g, "type", "veth", "peer", "name", tIf, "netns", t},
            {"link", "add", wan_, "netns", g, "type", "veth", "peer", "name", sIf, "netns", s},
            {"-n", t, "addr", "add", kTerminal + "/24", "dev", tIf},
            {"-n", g, "addr", "add", "10.78.1.1/24", "dev", lan_},
            {"-n", g, "addr", "add", "10.78.2.1/24", "dev", wan_},
            {"-n", s, "addr", "add", kServer + "/24", "dev", sIf},
            {"-n", t, "-6", "addr", "add", kTerminal6 + "/64", "dev", tIf, "nodad"},
            {"-n", g, "-6", "addr", "add", "fd78:1::1/64", "dev", lan_, "nodad"},
            {"-n", g, "-6", "addr", "add", "fd78:2::1/64", "dev", wan_, "nodad"},
            {"-n", s, "-6", "addr", "add", kServer6 + "/64", "dev", sIf, "nodad"},
            {"-n", t, "link", "set", tIf, "up"},
            {"-n", g, "link", "set", lan_, "up"},
            {"-n", g, "link", "set", wan_, "up"},
            {"-n", s, "link", "set", sIf, "up"},
            {"-n", t, "link", "set", "lo", "up"},
            {"-n", g, "link", "set", "lo", "up"},
            {"-n", s, "link", "set", "lo", "up"},
            {"-n", t, "route", "add", "default", "via", "10.78.1.1"},
            {"-n", t, "-6", "route", "add", "default", "via", "fd78:1::1"},
            {"-n", s, "route", "add", "10.78.1.0/24", "via", "10.78.2.1"},
            {"-n", s, "-6", "route", "add", "fd78:1::/64", "via", "fd78:2::1"},
        };
        for (const QStringList& step : steps) {
            if (!ip(step)) {
                error_ = QStringLiteral("ip %1: %2").arg(step.join(u' '), lastOutput_);
                return;
            }
        }
        if (run(g, {"sysctl", "-qw", "net.ipv4.ip_forward=1"}) != 0 ||
            run(g, {"sysctl", "-qw", "net.ipv6.conf.all.forwarding=1"}) != 0) {
            error_ = QStringLiteral("sysctl: forwarding cannot be switched on");
            return;
        }
        ready_ = true;
    }

    ~GatewayNet()
    {
        for (auto& p : processes_) {
            if (p->state() != QProcess::NotRunning) {
                p->kill();
                p->waitForFinished(5000);
            }
        }
        for (const QString& ns : {terminal_, gateway_, server_})
            ip({"netns", "del", ns});
    }

    GatewayNet(const GatewayNet&) = delete;
    GatewayNet& operator=(const GatewayNet&) = delete;

    bool ready() const { return ready_; }
    QString error() const { return error_; }
    QString terminal() const { return terminal_; }
    QString gateway() const { return gateway_; }
    QString server() const { return server_; }
    QString lanInterface() const { return lan_; }

    // Starts a program inside a namespace; it is killed with the namespaces at the latest.
    QProcess* start(const QString& ns, const QStringList& command)
    {
        auto p = std::make_unique<QProcess>();
        p->start(QStringLiteral("ip"), QStringList{"netns", "exec", ns} + command);
        p->waitForStarted(5000);
        processes_.push_back(std::move(p));
        return processes_.back().get();
    }

    // Runs a program inside a namespace to its end; its exit code (-1 when it did not end).
    int run(const QString& ns, const QStringList& command, QByteArray* output = nullptr,
            int timeoutMs = 30000)
    {
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(QStringLiteral("ip"), QStringList{"netns", "exec", ns} + command);
        if (!p.waitForFinished(timeoutMs)) {
            p.kill();
            p.waitForFinished();
            return -1;
        }
        if (output)
            *output = p.readAll();
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    }

    // The LAN interface's number in the gateway's adapter list (its interfaces but the
    // loopback, by index): what the module is started with after "-i".
    int lanAdapter()
    {
        QByteArray out;
        run(gateway_, {"ip", "-o", "link"}, &out);
        QMap<int, QString> byIndex;
        static const QRegularExpression line(QStringLiteral("^(\\d+): ([^:@]+)"));
        for (const QString& l : QString::fromLocal8Bit(out).split(u'\n')) {
            const auto m = line.match(l);
            if (m.hasMatch() && m.captured(2) != QLatin1String("lo"))
                byIndex.insert(m.captured(1).toInt(), m.captured(2));
        }
        return int(byIndex.values().indexOf(lan_)) + 1;
    }

    // The gateway's nftables tables, one "family name" a line.
    QString gatewayTables()
    {
        QByteArray out;
        run(gateway_, {"nft", "list", "tables"}, &out);
        return QString::fromLocal8Bit(out);
    }

private:
    bool ip(const QStringList& args)
    {
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(QStringLiteral("ip"), args);
        const bool ok = p.waitForFinished(10000) && p.exitCode() == 0;
        lastOutput_ = QString::fromLocal8Bit(p.readAll()).trimmed();
        return ok;
    }

    // Namespaces of runs that ended without removing theirs.
    void removeLeftovers()
    {
        QProcess list;
        list.start(QStringLiteral("ip"), {"netns", "list"});
        list.waitForFinished(5000);
        const QRegularExpression mine(QStringLiteral("^%1[tgs](\\d+)\\b").arg(prefix_));
        for (const QString& line : QString::fromLocal8Bit(list.readAll()).split(u'\n')) {
            const auto m = mine.match(line);
            if (m.hasMatch() && !QDir(QStringLiteral("/proc/") + m.captured(1)).exists())
                ip({"netns", "del", line.section(u' ', 0, 0)});
        }
    }

    QString prefix_, terminal_, gateway_, server_, lan_, wan_;
    bool ready_ = false;
    QString error_;
    QString lastOutput_;
    std::vector<std::unique_ptr<QProcess>> processes_;
};

} // namespace lt::test
