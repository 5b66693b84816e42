// Stand-in for the content analyser: its window tells that the capture side runs; it ends when
// another process sets its title to "ExitMyProc".

#include "common/names.h"
#include "common/widgets/guiapp.h"
#include "outside/standin.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    lt::ui::prepareApplication(app, "qmlxcontent");
    const QString help = lt::outside::helpText(
        QStringLiteral("qmlxcontent"), QStringLiteral("内容分析器"),
        QStringLiteral("（无参数）；窗口标题被改为 %1 时退出").arg(lt::names::kExitTitle));
    lt::outside::parseArguments(app.arguments(), help);

    lt::outside::StandInWindow window(lt::names::kAnalyserTitle,
                                      QStringLiteral("内容分析器（替身程序，不分析任何内容）"));
    window.setStatus(QStringLiteral("运行中。窗口标题改为“%1”时退出。").arg(lt::names::kExitTitle));
    window.setExitTitle(lt::names::kExitTitle);
    return window.run(app);
}
