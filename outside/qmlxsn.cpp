// Stand-in for the monitor module: registers the module's window, names the adapter it was
// given and, when asked, writes realistic rows into the log and configuration tables.

#include "common/names.h"
#include "common/widgets/guiapp.h"
#include "outside/feeder.h"
#include "outside/standin.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    lt::ui::prepareApplication(app, "qmlxsn");
    const QString help = lt::outside::helpText(
        QStringLiteral("qmlxsn"), QStringLiteral("监测模块"),
        QStringLiteral("-i 网卡编号 [--feed 每分钟行数]\n"
                       "  --feed N     每分钟向日志表和配置表写入 N 次模拟访问；省略时取\n"
                       "               app/qmlxsn.ini 中 [monitor] 节的 FeedRate，0 或没有则不写"));
    const lt::outside::Arguments args = lt::outside::parseArguments(app.arguments(), help);

    lt::outside::StandInWindow window(lt::names::kMonitorTitle,
                                      QStringLiteral("监测模块（替身程序，不截获任何流量）"));
    QString status = lt::outside::adapterStatus(args.adapter);
    const int rate = lt::outside::configuredFeedRate(args.feedRate);
    if (rate > 0) {
        new lt::outside::FeedService(rate, &window);
        status += QStringLiteral("\n模拟访问：每分钟 %1 次。").arg(rate);
    }
    window.setStatus(status);
    return window.run(app);
}
