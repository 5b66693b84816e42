// Stand-in for the blocking module: registers the module's window and names the adapter it was
// given; it blocks nothing.

#include "common/names.h"
#include "common/widgets/guiapp.h"
#include "outside/standin.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    lt::ui::prepareApplication(app, "qmlxblock");
    const QString help = lt::outside::helpText(
        QStringLiteral("qmlxblock"), QStringLiteral("阻断模块"), QStringLiteral("-i 网卡编号"));
    const lt::outside::Arguments args = lt::outside::parseArguments(app.arguments(), help);

    lt::outside::StandInWindow window(lt::names::kBlockerTitle,
                                      QStringLiteral("阻断模块（替身程序，不阻断任何访问）"));
    window.setStatus(lt::outside::adapterStatus(args.adapter));
    return window.run(app);
}
