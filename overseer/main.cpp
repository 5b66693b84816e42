// overseer: the administrator's console of the monitoring system. With one of the archive
// options (--backup FILE and the others, see overseer/archive/commandline.h) it runs that one
// job without a window and ends with its exit code.

#include "common/installation.h"
#include "common/widgets/guiapp.h"
#include "overseer/archive/commandline.h"
#include "overseer/program.h"

#include <QApplication>
#include <QCoreApplication>

int main(int argc, char* argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    if (lt::overseer::archive::isArchiveCommand(arguments)) {
        QCoreApplication app(argc, argv);
        lt::Installation::initialiseProcess();
        return lt::overseer::archive::runArchiveCommand(arguments);
    }
    QApplication app(argc, argv);
    lt::ui::prepareApplication(app, "overseer", QStringLiteral("Lantrove系统"));
    return lt::overseer::runConsole(app);
}
