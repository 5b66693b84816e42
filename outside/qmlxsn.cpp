// The monitor module: captures the terminals' web traffic on the adapter it is given (libpcap)
// and writes the browse log, the upload log, the recent visits and the traffic counters; or
// reads a capture file (-r); or, for demonstrations, writes made-up visits (--feed, --simulate).
// While it runs its window "Lantrove-监测模块" tells what it captures.

#include "common/installation.h"
#include "common/names.h"
#include "common/netinfo.h"
#include "common/processes.h"
#include "common/widgets/guiapp.h"
#include "outside/feeder.h"
#include "outside/monitor/runner.h"
#include "outside/standin.h"

#include <QApplication>
#include <QCoreApplication>
#include <QTimer>
#include <cstring>

namespace
{

using namespace lt;

// Without --feed or an ini rate, --simulate feeds this many visits a minute.
constexpr int kSimulatedRate = 60;

QString help()
{
    return QStringLiteral(
        "qmlxsn：监测模块。在网卡上抓取终端的网页访问（HTTP 请求与标题、HTTPS 的服务器名、"
        "上传内容、每个连接的流量），写入浏览日志、上传日志、最近访问和流量表。\n\n"
        "用法：\n"
        "  qmlxsn -i 网卡编号          在选择网卡列表中的第 N 块网卡上抓包（需要 CAP_NET_RAW）\n"
        "  qmlxsn -r 文件.pcap         读取抓包文件，写入其中的访问后退出，并输出一行汇总\n"
        "  qmlxsn --feed 每分钟次数    不抓包，写入模拟访问（演示用）；省略时取\n"
        "                              app/qmlxsn.ini 中 [monitor] 节的 FeedRate\n"
        "  qmlxsn --simulate           不抓包，写入模拟访问（FeedRate 或每分钟 60 次）\n"
        "  -h, --help                  显示本说明");
}

bool wantsReplay(int argc, char* argv[])
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-r") == 0)
            return true;
    }
    return false;
}

// A gateway often has no display: the window then lives in the window directory alone.
void offscreenWithoutDisplay()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

int replay(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    Installation::initialiseProcess();
    QCoreApplication::setApplicationName(QStringLiteral("qmlxsn"));
    const outside::Arguments args = outside::parseArguments(app.arguments(), help());
    QTextStream out(stdout), err(stderr);
    return monitor::replayFile(*args.readFile, out, err);
}

} // namespace

int main(int argc, char* argv[])
{
    if (wantsReplay(argc, argv))
        return replay(argc, argv);
    offscreenWithoutDisplay();
    QApplication app(argc, argv);
    ui::prepareApplication(app, "qmlxsn");
    const outside::Arguments args = outside::parseArguments(app.arguments(), help());

    outside::StandInWindow window(names::kMonitorTitle, QStringLiteral("监测模块"));
    int rate = outside::configuredFeedRate(args.feedRate);
    if (args.simulate && rate == 0)
        rate = kSimulatedRate;
    if (rate > 0) {
        new outside::FeedService(rate, &window);
        window.setStatus(QStringLiteral("模拟访问：每分钟 %1 次（演示用，不抓包）。").arg(rate));
        return window.run(app);
    }

    const QList<net::Adapter> adapters = net::adapters();
    if (!args.adapter || *args.adapter < 1 || *args.adapter > adapters.size()) {
        const QString status = outside::adapterStatus(args.adapter);
        window.setStatus(status);
        QTextStream(stderr) << QStringLiteral("qmlxsn：") << status << Qt::endl;
        return window.run(app);
    }
    proc::quitOnStopSignals(&window);
    const net::Adapter& adapter = adapters[*args.adapter - 1];
    auto monitor =
        std::make_unique<monitor::LiveMonitor>(adapter.interface,
                                               QStringLiteral("网卡 %1：%2（%3）")
                                                   .arg(*args.adapter)
                                                   .arg(adapter.interface, adapter.description),
                                               QCoreApplication::applicationFilePath());
    QTimer refresh;
    QString reported;
    QObject::connect(&refresh, &QTimer::timeout, &window, [&] {
        const monitor::MonitorStatus status = monitor->status();
        window.setStatus(monitor::statusText(status));
        // An administrator who started it in a terminal reads why it does not capture.
        if (!status.captureError.isEmpty() && status.captureError != reported)
            QTextStream(stderr) << QStringLiteral("qmlxsn：") << status.captureError << Qt::endl;
        reported = status.captureError;
    });
    refresh.start(1000);
    window.setStatus(monitor::statusText(monitor->status()));
    const int code = window.run(app);
    monitor->stop();
    QTextStream(stdout) << monitor::closingLine(monitor->status()) << Qt::endl;
    return code;
}
