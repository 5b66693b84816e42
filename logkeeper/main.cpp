// logkeeper: the resident keeper of the log tables and the outside modules.

#include "common/installation.h"
#include "common/names.h"
#include "common/processes.h"
#include "common/widgets/guiapp.h"
#include "logkeeper/commandline.h"
#include "logkeeper/keeper.h"
#include "logkeeper/keeperwindow.h"

#include <QApplication>
#include <QCoreApplication>

int main(int argc, char* argv[])
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const lt::keeper::CommandLine commandLine = lt::keeper::parseCommandLine(arguments);
    if (commandLine.mode != lt::keeper::CommandLine::Window) {
        QCoreApplication app(argc, argv);
        lt::Installation::initialiseProcess();
        return lt::keeper::runCommandLine(commandLine);
    }

    QApplication app(argc, argv);
    lt::ui::prepareApplication(app, "logkeeper");
    QGuiApplication::setApplicationDisplayName(lt::keeper::kWindowTitle);
    const lt::proc::InstanceLock instance(lt::names::kKeeperProgram);
    if (!instance.acquired())
        return 0;

    lt::keeper::Keeper keeper(lt::Installation::appDir());
    lt::keeper::KeeperWindow window(keeper);
    window.showAndRegister();
    keeper.start();
    return app.exec();
}
