#pragma once
// Two network namespaces of a test's own joined by a veth pair: a terminal's side ("client",
// 10.77.0.2 and fd77::2) and a server's side (10.77.0.1, fd77::1). Needs root; removed again
// when the object goes (also when a check failed), and namespaces a crashed run left behind
// are removed when the next one starts. Programs started in them end with the object.

#include <QDir>
#include <QList>
#include <QProcess>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <memory>
#include <unistd.h>

namespace lt::test
{

class Namespaces
{
public:
    inline static const QString kServerAddress = QStringLiteral("10.77.0.1");
    inline static const QString kClientAddress = QStringLiteral("10.77.0.2");
    inline static const QString kServerAddress6 = QStringLiteral("fd77::1");
    inline static const QString kClientAddress6 = QStringLiteral("fd77::2");

    Namespaces()
    {
        const QString id = QString::number(::getpid());
        client_ = QStringLiteral("ltc") + id;
        server_ = QStringLiteral("lts") + id;
        clientIf_ = QStringLiteral("lv") + id + QLatin1Char('c');
        serverIf_ = QStringLiteral("lv") + id + QLatin1Char('s');
        removeLeftovers();
        const QList<QStringList> steps = {
            {"netns", "add", client_},
            {"netns", "add", server_},
            {"link", "add", clientIf_, "netns", client_, "type", "veth", "peer", "name", serverIf_,
             "netns", server_},
            {"-n", client_, "addr", "add", kClientAddress + "/24", "dev", clientIf_},
            {"-n", server_, "addr", "add", kServerAddress + "/24", "dev", serverIf_},
            {"-n", client_, "-6", "addr", "add", kClientAddress6 + "/64", "dev", clientIf_,
             "nodad"},
            {"-n", server_, "-6", "addr", "add", kServerAddress6 + "/64", "dev", serverIf_,
             "nodad"},
            {"-n", client_, "link", "set", clientIf_, "up"},
            {"-n", server_, "link", "set", serverIf_, "up"},
            {"-n", client_, "link", "set", "lo", "up"},
            {"-n", server_, "link", "set", "lo", "up"},
        };
        for (const QStringList& step : steps) {
            if (!ip(step)) {
                error_ = QStringLiteral("ip %1: %2").arg(step.join(u' '), lastOutput_);
                return;
            }
        }
        ready_ = true;
    }

    ~Namespaces()
    {
        for (auto& p : processes_) {
            if (p->state() != QProcess::NotRunning) {
                p->kill();
                p->waitForFinished(5000);
            }
        }
        ip({"netns", "del", client_});
        ip({"netns", "del", server_});
    }

    Namespaces(const Namespaces&) = delete;
    Namespaces& operator=(const Namespaces&) = delete;

    bool ready() const { return ready_; }
    QString error() const { return error_; }
    QString client() const { return client_; }
    QString server() const { return server_; }
    QString clientInterface() const { return clientIf_; }

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
        return p.exitCode();
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
        const QRegularExpression mine(QStringLiteral("^lt[cs](\\d+)\\b"));
        for (const QString& line : QString::fromLocal8Bit(list.readAll()).split(u'\n')) {
            const auto m = mine.match(line);
            if (m.hasMatch() && !QDir(QStringLiteral("/proc/") + m.captured(1)).exists())
                ip({"netns", "del", line.section(u' ', 0, 0)});
        }
    }

    QString client_, server_, clientIf_, serverIf_;
    bool ready_ = false;
    QString error_;
    QString lastOutput_;
    std::vector<std::unique_ptr<QProcess>> processes_;
};

} // namespace lt::test
