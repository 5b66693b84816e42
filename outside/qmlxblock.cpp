// The blocking module: on the LAN's gateway, enforces the black and white lists and each
// group's class-by-hour policy on the terminals' web connections (outside/blocker/service.h).
// While it runs its window "Lantrove-阻断模块" tells whether its rules are in place (or why
// not: then it blocks nothing), how many connections it judged and blocked, and the last error.

#include "common/names.h"
#include "common/processes.h"
#include "common/widgets/guiapp.h"
#include "outside/blocker/guard.h"
#include "outside/blocker/service.h"
#include "outside/standin.h"

#include <QApplication>
#include <QDateTime>
#include <QTextStream>
#include <QTimer>
#include <cstring>
#include <sys/resource.h>

namespace
{

using namespace lt;

QString help()
{
    return QStringLiteral(
        "qmlxblock：阻断模块。在局域网的网关上按黑名单、白名单和各组别的分类时段策略阻断终端的"
        "网页访问（HTTP 的 Host、HTTPS 的服务器名），被阻断的访问写入浏览日志（结果“阻断”）。\n\n"
        "用法：\n"
        "  qmlxblock -i 网卡编号      网卡为选择网卡列表中的第 N 块，即网关朝向终端（局域网）"
        "一侧的网卡；\n"
        "                            需要 CAP_NET_ADMIN（root，或 setcap cap_net_admin+ep）\n"
        "  --now \"yyyy-MM-dd HH:mm:ss\"  本模块的时钟从该时刻起走（检验时段策略用）\n"
        "  -h, --help                 显示本说明\n\n"
        "模块退出时撤销自己的规则；即使被强行结束，规则也会在几秒内失效，不会阻断全部流量。");
}

// A gateway often has no display: the window then lives in the window directory alone.
void offscreenWithoutDisplay()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

// Two descriptors per connection and a pipe while it moves bytes: the default limit of 1024
// would hold a few hundred connections.
void raiseDescriptorLimit()
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return;
    constexpr rlim_t kWanted = 65536;
    if (limit.rlim_max < kWanted) {
        rlimit more{kWanted, kWanted};
        if (::setrlimit(RLIMIT_NOFILE, &more) == 0)
            return;
    }
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);
}

// "--now TIME": how far the module's clock runs from the system's.
std::optional<qint64> clockOffset(const QStringList& words)
{
    const qsizetype i = words.indexOf(QStringLiteral("--now"));
    if (i < 0 || i + 1 >= words.size())
        return std::nullopt;
    QString text = words[i + 1].trimmed();
    text.replace(QLatin1Char(' '), QLatin1Char('T'));
    const QDateTime when = QDateTime::fromString(text, Qt::ISODate);
    if (!when.isValid())
        return std::nullopt;
    return QDateTime::currentDateTime().msecsTo(when);
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc == 3 && std::strcmp(argv[1], blocker::kGuardOption) == 0)
        return blocker::runGuard(argv[2]);
    offscreenWithoutDisplay();
    QApplication app(argc, argv);
    ui::prepareApplication(app, "qmlxblock");
    const outside::Arguments args = outside::parseArguments(app.arguments(), help());
    QTextStream err(stderr);

    // One module per installation: a second would fight the first over the rules.
    proc::InstanceLock lock(QStringLiteral("qmlxblock"));
    if (!lock.acquired()) {
        err << QStringLiteral("qmlxblock：阻断模块已在运行。") << Qt::endl;
        return 0;
    }
    raiseDescriptorLimit();

    blocker::BlockerService::Options options;
    options.adapter = args.adapter;
    options.executable = QCoreApplication::applicationFilePath();
    if (const auto offset = clockOffset(args.words)) {
        options.clockOffsetMs = *offset;
        options.clockSet = true;
    }
    outside::StandInWindow window(names::kBlockerTitle, QStringLiteral("阻断模块"));
    proc::quitOnStopSignals(&window);
    auto service = std::make_unique<blocker::BlockerService>(options);
    service->engage();

    std::optional<bool> shownInstalled;
    QString shownProblem;
    bool shownConfig = false;
    const auto refresh = [&] {
        service->tick();
        const blocker::BlockerStatus status = service->status();
        window.setStatus(blocker::statusText(status));
        // An administrator who started it in a terminal reads whether it blocks, and why not.
        if (status.installed != shownInstalled ||
            (!status.installed && status.problem != shownProblem)) {
            if (status.installed)
                err << QStringLiteral("qmlxblock：阻断规则已安装（端口 %1）。").arg(status.port)
                    << Qt::endl;
            else if (!status.problem.isEmpty())
                err << QStringLiteral("qmlxblock：") << status.problem << Qt::endl;
            shownInstalled = status.installed;
            shownProblem = status.problem;
        }
        if (status.configLoaded && !shownConfig)
            err << QStringLiteral("qmlxblock：配置已读到：终端 %1 个，组别 %2 个，黑名单 %3 条，"
                                  "白名单 %4 条。")
                       .arg(status.terminals)
                       .arg(status.groups)
                       .arg(status.black)
                       .arg(status.white)
                << Qt::endl;
        shownConfig = shownConfig || status.configLoaded;
    };
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, &window, refresh);
    timer.start(1000);
    refresh();
    const int code = window.run(app);
    const bool wasInstalled = service->status().installed;
    service.reset();
    if (wasInstalled)
        err << QStringLiteral("qmlxblock：阻断规则已撤销。") << Qt::endl;
    return code;
}
