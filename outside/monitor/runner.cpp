#include "outside/monitor/runner.h"

#include "common/blockstate.h"
#include "common/datasources.h"
#include "common/names.h"
#include "common/odbc.h"
#include "common/siteconfig.h"
#include "common/windowdirectory.h"
#include "outside/monitor/capture.h"
#include "outside/monitor/engine.h"
#include "outside/monitor/recorder.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace lt::monitor
{

namespace
{

constexpr int kRetryMs = 10000;   // a capture or a database that failed is tried again
constexpr int kRefreshMs = 10000; // the configuration tables are checked for changes
constexpr int kPublishMs = 500;

QString megabytes(uint64_t bytes)
{
    return QString::number(double(bytes) / (1024.0 * 1024.0), 'f', 1) + QStringLiteral(" MB");
}

int64_t wallMicros()
{
    return QDateTime::currentMSecsSinceEpoch() * 1000;
}

} // namespace

QString statusText(const MonitorStatus& s)
{
    QStringList lines;
    lines << s.adapter;
    if (s.capturing)
        lines << QStringLiteral("状态：正在抓包");
    else if (!s.captureError.isEmpty())
        lines << QStringLiteral("状态：没有抓包。") + s.captureError;
    else
        lines << QStringLiteral("状态：正在打开网卡……");
    lines << QStringLiteral("数据包：%1 个（%2），连接：%3 个（当前 %4 个）")
                 .arg(s.packets)
                 .arg(megabytes(s.bytes))
                 .arg(s.connections)
                 .arg(s.open);
    const auto& w = s.writer;
    lines << QStringLiteral(
                 "已写入：浏览日志 %1 行，上传日志 %2 行，最近访问 %3 行，流量计数 %4 行")
                 .arg(w.written[int(logrows::Table::Log)])
                 .arg(w.written[int(logrows::Table::Upload)])
                 .arg(w.written[int(logrows::Table::Visit)])
                 .arg(w.written[int(logrows::Table::Traffic)]);
    lines << QStringLiteral("按组别记录级别或白名单不记：%1 次").arg(s.leftOut);
    lines << QStringLiteral("丢包（libpcap 统计）：%1 个，网卡丢弃：%2 个")
                 .arg(s.kernelDrops)
                 .arg(s.interfaceDrops);
    const bool reachable = w.logReachable && w.configReachable;
    lines << QStringLiteral("数据库：%1，等待写入 %2 行，缓冲区满丢弃 %3 行，被拒绝 %4 行")
                 .arg(reachable ? QStringLiteral("正常") : QStringLiteral("无法写入，稍后重试"))
                 .arg(w.waitingRows)
                 .arg(w.totalDropped())
                 .arg(w.refused[0] + w.refused[1] + w.refused[2] + w.refused[3]);
    if (s.configLoaded)
        lines << QStringLiteral("配置：终端 %1 个，组别 %2 个，黑名单 %3 条，白名单 %4 条")
                     .arg(s.terminals)
                     .arg(s.groups)
                     .arg(s.black)
                     .arg(s.white);
    else
        lines << QStringLiteral("配置：尚未读到（%1）")
                     .arg(s.configError.isEmpty() ? QStringLiteral("正在连接") : s.configError);
    QString last = w.lastError;
    if (!s.captureError.isEmpty())
        last = s.captureError;
    lines << QStringLiteral("最后错误：") + (last.isEmpty() ? QStringLiteral("无") : last);
    return lines.join(QLatin1Char('\n'));
}

QString closingLine(const MonitorStatus& s)
{
    const auto& w = s.writer;
    return QStringLiteral(
               "qmlxsn：%1：数据包 %2 个，libpcap 丢包 %3 个，网卡丢弃 %4 个；写入浏览日志 %5 "
               "行、上传日志 %6 行、流量计数 %7 行；未写入 %8 行")
        .arg(s.adapter)
        .arg(s.packets)
        .arg(s.kernelDrops)
        .arg(s.interfaceDrops)
        .arg(w.written[int(logrows::Table::Log)])
        .arg(w.written[int(logrows::Table::Upload)])
        .arg(w.written[int(logrows::Table::Traffic)])
        .arg(w.totalDropped() + w.waitingRows);
}

struct LiveMonitor::State {
    QString interface;
    QString executable;
    logrows::RowWriter writer{logrows::RowWriter::Settings{}};
    db::Connection configConnection; // the configuration thread's
    site::SiteConfig config{configConnection};
    Recorder recorder{writer, [this] { return config.snapshot(); }};
    Engine engine{recorder};
    Capture capture;

    mutable std::mutex mutex;
    MonitorStatus published;
    std::atomic<bool> stopping{false};
    std::mutex sleepMutex;
    std::condition_variable sleeper;
    std::thread captureThread;
    std::thread configThread;

    bool pause(int ms)
    {
        std::unique_lock lock(sleepMutex);
        return !sleeper.wait_for(lock, std::chrono::milliseconds(ms),
                                 [this] { return stopping.load(); });
    }
    void captureLoop();
    void configLoop();
    void publish(bool capturing, const QString& error);
};

void LiveMonitor::State::publish(bool capturing, const QString& error)
{
    const Engine::Stats& e = engine.stats();
    const Capture::Counts c = capture.counts();
    const Recorder::Counters& r = recorder.counters();
    std::lock_guard lock(mutex);
    MonitorStatus& s = published;
    s.capturing = capturing;
    s.captureError = error;
    s.permissionMissing = capture.problem() == Capture::Problem::Permission;
    s.packets = e.packets;
    s.bytes = e.bytes;
    s.connections = e.connections;
    s.open = e.open;
    s.visits = r.visits;
    s.uploads = r.uploads;
    s.traffic = r.traffic;
    s.leftOut = r.leftOut;
    s.kernelDrops = std::max(s.kernelDrops, c.dropped);
    s.interfaceDrops = std::max(s.interfaceDrops, c.ifDropped);
}

void LiveMonitor::State::captureLoop()
{
    QElapsedTimer published;
    published.start();
    while (!stopping) {
        if (!capture.isOpen()) {
            if (!capture.openLive(interface)) {
                QString error = capture.error();
                if (capture.problem() == Capture::Problem::Permission)
                    error += QStringLiteral("。") + captureRightHint(executable);
                publish(false, error);
                // Without the right nothing changes until the module is started again.
                const int wait =
                    capture.problem() == Capture::Problem::Permission ? 3600000 : kRetryMs;
                if (!pause(wait))
                    break;
                continue;
            }
            publish(true, {});
        }
        const int n = capture.dispatch(engine, 1024);
        if (n == -1) {
            publish(false, capture.error());
            capture.close();
            if (!pause(kRetryMs))
                break;
            continue;
        }
        engine.tick(wallMicros());
        if (published.elapsed() >= kPublishMs) {
            publish(true, {});
            published.restart();
        }
    }
    engine.finish();
    if (capture.isOpen())
        publish(false, {});
}

void LiveMonitor::State::configLoop()
{
    bool opened = false;
    bool loaded = false;
    do {
        if (!opened)
            opened = configConnection.open(dsn::chosenConnectionStrings().config);
        if (opened)
            loaded = loaded ? (config.refresh(), true) : config.load();
        recorder.setBlockerRunning(blockstate::enforcing());
        const auto snapshot = config.snapshot();
        std::lock_guard lock(mutex);
        published.configLoaded = loaded;
        published.configError = opened ? config.lastError() : configConnection.lastError().message;
        published.terminals = snapshot->terminalCount();
        published.groups = snapshot->groupCount();
        published.black = snapshot->blackCount();
        published.white = snapshot->whiteCount();
    } while (pause(opened && loaded ? kRefreshMs : kRetryMs));
}

LiveMonitor::LiveMonitor(const QString& interface, const QString& adapter,
                         const QString& executable)
    : d(std::make_unique<State>())
{
    d->interface = interface;
    d->executable = executable;
    d->published.adapter = adapter;
    d->writer.start();
    d->configThread = std::thread([this] { d->configLoop(); });
    d->captureThread = std::thread([this] { d->captureLoop(); });
}

LiveMonitor::~LiveMonitor()
{
    stop();
}

void LiveMonitor::stop()
{
    if (d->stopping.exchange(true))
        return;
    d->sleeper.notify_all();
    // The capture thread sees `stopping` within the capture's timeout (kTimeoutMs).
    d->captureThread.join();
    d->configThread.join();
    d->writer.flush();
}

MonitorStatus LiveMonitor::status() const
{
    std::lock_guard lock(d->mutex);
    MonitorStatus s = d->published;
    s.writer = d->writer.stats();
    return s;
}

int replayFile(const QString& path, QTextStream& out, QTextStream& err)
{
    QElapsedTimer timer;
    timer.start();
    Capture capture;
    if (!capture.openFile(path)) {
        err << QStringLiteral("qmlxsn：") << capture.error() << Qt::endl;
        return 1;
    }
    db::Connection configConnection;
    site::SiteConfig config(configConnection);
    if (!configConnection.open(dsn::chosenConnectionStrings().config) || !config.load())
        err << QStringLiteral("qmlxsn：读不到配置数据库，终端按地址记录、组别按“临时工作组”（%1）")
                   .arg(configConnection.lastError().message)
            << Qt::endl;
    logrows::RowWriter writer{logrows::RowWriter::Settings{}};
    writer.start();
    Recorder recorder(writer, [&config] { return config.snapshot(); });
    Engine engine(recorder);
    int n = 0;
    while ((n = capture.dispatch(engine, 4096)) > 0) {
    }
    engine.finish();
    const qint64 readMs = timer.elapsed();
    const bool written = writer.flush();
    const double seconds = std::max<double>(timer.elapsed(), 1) / 1000.0;
    const Engine::Stats& e = engine.stats();
    const logrows::RowWriter::Stats w = writer.stats();
    out << QStringLiteral(
               "qmlxsn：%1：数据包 %2 个，连接 %3 个；写入浏览日志 %4 行、上传日志 %5 行、"
               "最近访问 %6 行、流量计数 %7 行；未写入 %8 行；用时 %9 秒（读完文件后写入 %10 秒）")
               .arg(path)
               .arg(e.packets)
               .arg(e.connections)
               .arg(w.written[int(logrows::Table::Log)])
               .arg(w.written[int(logrows::Table::Upload)])
               .arg(w.written[int(logrows::Table::Visit)])
               .arg(w.written[int(logrows::Table::Traffic)])
               .arg(w.totalDropped() + w.waitingRows + w.refused[0] + w.refused[1] + w.refused[2] +
                    w.refused[3])
               .arg(seconds, 0, 'f', 2)
               .arg((timer.elapsed() - readMs) / 1000.0, 0, 'f', 2)
        << Qt::endl;
    if (n == -1) {
        err << QStringLiteral("qmlxsn：") << capture.error() << Qt::endl;
        return 1;
    }
    if (!written)
        err << QStringLiteral("qmlxsn：") << w.lastError << Qt::endl;
    return written ? 0 : 2;
}

} // namespace lt::monitor
