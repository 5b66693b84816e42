#include "outside/blocker/service.h"

#include "common/blockstate.h"
#include "common/clock.h"
#include "common/datasources.h"
#include "common/netinfo.h"
#include "common/odbc.h"
#include "common/siteconfig.h"
#include "outside/blocker/guard.h"
#include "outside/blocker/policy.h"
#include "outside/blocker/rules.h"
#include "outside/monitor/recorder.h"

#include <QFile>
#include <QStringList>
#include <QTextStream>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace lt::blocker
{

namespace
{

constexpr int kConfigRetryMs = 10000;

// "1" in /proc/sys/net/ipv4/conf/IF/forwarding (or ipv6).
bool forwards(const QString& interface, const char* family)
{
    QFile f(QStringLiteral("/proc/sys/net/%1/conf/%2/forwarding")
                .arg(QLatin1String(family), interface));
    return f.open(QIODevice::ReadOnly) && f.readAll().trimmed() == "1";
}

QString failOpen(const QString& why)
{
    return why + QStringLiteral("没有安装阻断规则，不阻断任何访问。");
}

} // namespace

struct BlockerService::State {
    Options options;
    logrows::RowWriter writer{logrows::RowWriter::Settings{}};
    BlockLog blockLog{writer};
    db::Connection configConnection; // the configuration thread's
    site::SiteConfig config{configConnection};
    std::unique_ptr<Relay> relay;
    Nftables nft; // the main thread's
    Guard guard;
    QString interface;
    std::optional<uint64_t> handle;
    std::atomic<uint64_t> keptOut{0};
    std::atomic<bool> rulesLost{false};
    int64_t nextRetry = 0;

    mutable std::mutex mutex; // guards the texts below
    BlockerStatus published;

    std::atomic<bool> stopping{false};
    std::atomic<bool> beating{false};
    std::mutex sleepMutex;
    std::condition_variable sleeper;
    std::thread configThread;
    std::thread heartbeatThread;

    bool pause(int ms)
    {
        std::unique_lock lock(sleepMutex);
        return !sleeper.wait_for(lock, std::chrono::milliseconds(ms),
                                 [this] { return stopping.load(); });
    }
    QDateTime now() const { return Clock::now().addMSecs(options.clockOffsetMs); }
    Answer judge(const Asked& asked);
    void configLoop();
    void heartbeatLoop();
    void setProblem(const QString& problem, bool permission = false);
    void disengage();
};

Answer BlockerService::State::judge(const Asked& asked)
{
    const std::shared_ptr<const site::Snapshot> snapshot = config.snapshot();
    const Visit visit{monitor::addressColumn(asked.client),
                      QString::fromStdString(asked.server.text()), asked.serverPort, asked.request};
    const QDateTime when = now();
    const Judgement j = blocker::judge(*snapshot, visit, when);
    if (!j.blocked)
        return {};
    Answer answer{true, {}};
    if (asked.first && asked.request.kind == Request::Kind::Http)
        answer.page = blockPage(j.host);
    if (!blockLog.record(*snapshot, j, when, answer.page.size()))
        ++keptOut;
    return answer;
}

void BlockerService::State::configLoop()
{
    bool opened = false, loaded = false;
    int hour = now().time().hour();
    do {
        if (!opened)
            opened = configConnection.open(dsn::chosenConnectionStrings().config);
        const int h = now().time().hour();
        if (opened) {
            // At the hour's turn everything is read again, changed or not.
            if (!loaded || h != hour)
                loaded = config.load() || loaded;
            else
                config.refresh();
        }
        hour = h;
        const auto snapshot = config.snapshot();
        std::lock_guard lock(mutex);
        published.configLoaded = loaded;
        published.configError = opened ? config.lastError() : configConnection.lastError().message;
        published.terminals = snapshot->terminalCount();
        published.groups = snapshot->groupCount();
        published.black = snapshot->blackCount();
        published.white = snapshot->whiteCount();
    } while (!stopping && pause(opened && loaded ? kRefreshMs : kConfigRetryMs));
}

void BlockerService::State::heartbeatLoop()
{
    Nftables own; // a context of this thread's own
    while (beating && !stopping) {
        if (!own.heartbeat(interface)) {
            rulesLost = true;
            std::lock_guard lock(mutex);
            published.lastError =
                QStringLiteral("阻断规则不见了（%1），正在重新安装").arg(own.error());
            return;
        }
        std::unique_lock lock(sleepMutex);
        sleeper.wait_for(lock, std::chrono::seconds(kHeartbeatSeconds),
                         [this] { return stopping.load() || !beating.load(); });
    }
}

void BlockerService::State::setProblem(const QString& problem, bool permission)
{
    std::lock_guard lock(mutex);
    published.installed = false;
    published.problem = problem;
    published.permissionMissing = permission;
}

void BlockerService::State::disengage()
{
    if (heartbeatThread.joinable()) {
        beating = false;
        sleeper.notify_all();
        heartbeatThread.join();
    }
    if (handle)
        nft.remove(*handle);
    handle.reset();
    guard.stop(); // after the removal: the guard finds nothing left to do
    blockstate::clearEnforcing();
    std::lock_guard lock(mutex);
    published.installed = false;
}

BlockerService::BlockerService(const Options& options) : d(std::make_unique<State>())
{
    d->options = options;
    d->published.clockSet = options.clockSet;
    Relay::Settings settings;
    settings.workers = options.workers;
    d->relay = std::make_unique<Relay>(settings, [this](const Asked& a) { return d->judge(a); });
    d->writer.start();
    d->configThread = std::thread([this] { d->configLoop(); });
}

BlockerService::~BlockerService()
{
    // The rules first: new connections then go straight to their servers.
    d->disengage();
    d->stopping = true;
    d->sleeper.notify_all();
    d->configThread.join();
    d->relay->stop();
    d->writer.flush();
}

bool BlockerService::engage()
{
    State& s = *d;
    if (s.handle)
        return true;
    s.nextRetry = QDateTime::currentSecsSinceEpoch() + kRetrySeconds;
    const QList<net::Adapter> adapters = net::adapters();
    const std::optional<int>& n = s.options.adapter;
    if (!n) {
        s.setProblem(failOpen(QStringLiteral("未指定网卡（-i 网卡编号），不知道哪一侧是局域网：")));
        return false;
    }
    if (*n < 1 || *n > adapters.size()) {
        s.setProblem(failOpen(QStringLiteral("网卡编号 %1 不存在（本机共 %2 块网卡）：")
                                  .arg(*n)
                                  .arg(adapters.size())));
        return false;
    }
    s.interface = adapters[*n - 1].interface;
    {
        std::lock_guard lock(s.mutex);
        s.published.adapter = QStringLiteral("网卡 %1：%2（局域网一侧）").arg(*n).arg(s.interface);
    }
    if (!forwards(s.interface, "ipv4") && !forwards(s.interface, "ipv6")) {
        s.setProblem(
            failOpen(QStringLiteral(
                         "网卡 %1 不转发终端的流量（net.ipv4.conf.%1.forwarding=0），本机不是局域网"
                         "的网关：")
                         .arg(s.interface)));
        return false;
    }
    if (!hasNetAdmin()) {
        s.setProblem(failOpen(QStringLiteral("本程序没有 CAP_NET_ADMIN 权限：")) +
                         QStringLiteral("请以 root 运行，或执行：sudo setcap cap_net_admin+ep %1，"
                                        "再重新启动本模块。")
                             .arg(s.options.executable),
                     true);
        return false;
    }
    if (s.relay->port() == 0) {
        QString why;
        if (!s.relay->listen(0, &why)) {
            s.setProblem(failOpen(QStringLiteral("无法打开接收连接的端口（%1）：").arg(why)));
            return false;
        }
        s.relay->start();
    }
    s.nft.removeLeftover();
    s.handle = s.nft.install(s.interface, s.relay->port());
    if (!s.handle) {
        const bool permission = s.nft.problem() == RuleProblem::Permission;
        s.setProblem(failOpen(QStringLiteral("nftables 拒绝了规则（%1）：").arg(s.nft.error())),
                     permission);
        return false;
    }
    if (!s.guard.start(s.options.executable, *s.handle)) {
        const QString why = s.guard.error();
        s.disengage();
        s.setProblem(failOpen(QStringLiteral("无法启动看护进程（%1）：").arg(why)));
        return false;
    }
    s.rulesLost = false;
    s.beating = true;
    s.heartbeatThread = std::thread([this] { d->heartbeatLoop(); });
    blockstate::markEnforcing();
    std::lock_guard lock(s.mutex);
    s.published.installed = true;
    s.published.problem.clear();
    s.published.permissionMissing = false;
    s.published.port = s.relay->port();
    return true;
}

void BlockerService::tick()
{
    State& s = *d;
    if (s.handle && s.rulesLost) {
        s.disengage();
        engage();
        return;
    }
    bool permission;
    {
        std::lock_guard lock(s.mutex);
        permission = s.published.permissionMissing;
    }
    if (!s.handle && !permission && QDateTime::currentSecsSinceEpoch() >= s.nextRetry)
        engage();
}

BlockerStatus BlockerService::status() const
{
    BlockerStatus s;
    {
        std::lock_guard lock(d->mutex);
        s = d->published;
    }
    s.relay = d->relay->stats();
    s.rowsKeptOut = d->keptOut;
    s.writer = d->writer.stats();
    const QString relayError = d->relay->lastError();
    if (s.lastError.isEmpty())
        s.lastError = relayError.isEmpty() ? s.writer.lastError : relayError;
    s.now = now();
    return s;
}

QDateTime BlockerService::now() const
{
    return d->now();
}

QString statusText(const BlockerStatus& s)
{
    QStringList lines;
    if (!s.adapter.isEmpty())
        lines << s.adapter;
    if (s.installed)
        lines << QStringLiteral("规则：已安装。局域网一侧新的 TCP 80、443 连接转到本模块（端口 %1）"
                                "判断后放行或阻断；局域网的 UDP 443（QUIC）被丢弃，浏览器改用 "
                                "TCP。")
                     .arg(s.port);
    else if (!s.problem.isEmpty())
        lines << QStringLiteral("规则：未安装（放行一切）。") + s.problem;
    else
        lines << QStringLiteral("规则：正在安装……");
    const Relay::Stats& r = s.relay;
    lines << QStringLiteral("连接：已判断 %1 次，阻断 %2 次；转接 %3 个连接（当前 %4 个），"
                            "服务器连不上 %5 个")
                 .arg(r.judged)
                 .arg(r.blocked)
                 .arg(r.relayed)
                 .arg(r.open)
                 .arg(r.failed);
    const auto& w = s.writer;
    lines << QStringLiteral("已写入：浏览日志 %1 行（阻断的访问），按组别记录级别不记 %2 次")
                 .arg(w.written[int(logrows::Table::Log)])
                 .arg(s.rowsKeptOut);
    const bool reachable = w.logReachable && w.configReachable;
    lines << QStringLiteral("数据库：%1，等待写入 %2 行，丢弃 %3 行")
                 .arg(reachable ? QStringLiteral("正常") : QStringLiteral("无法写入，稍后重试"))
                 .arg(w.waitingRows)
                 .arg(w.totalDropped());
    if (s.configLoaded)
        lines << QStringLiteral("配置：终端 %1 个，组别 %2 个，黑名单 %3 条，白名单 %4 条")
                     .arg(s.terminals)
                     .arg(s.groups)
                     .arg(s.black)
                     .arg(s.white);
    else
        lines << QStringLiteral("配置：尚未读到，暂不阻断（%1）")
                     .arg(s.configError.isEmpty() ? QStringLiteral("正在连接") : s.configError);
    if (s.clockSet)
        lines << QStringLiteral("时钟：%1（由 --now 设定）")
                     .arg(s.now.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
    lines << QStringLiteral("最后错误：") +
                 (s.lastError.isEmpty() ? QStringLiteral("无") : s.lastError);
    return lines.join(QLatin1Char('\n'));
}

} // namespace lt::blocker
