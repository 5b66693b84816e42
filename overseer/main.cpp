// overseer: the administrator's console of the monitoring system. With one of the commands of
// its command line (--backup FILE and the others, --help lists them; see overseer/program.h) it
// runs that one command without a window and without a display, and ends with its exit code.

#include "common/installation.h"
#include "common/widgets/guiapp.h"
#include "overseer/program.h"

#include <QApplication>
#include <QCoreApplication>

int main(int argc, char* argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    if (const lt::overseer::ConsoleCommand* command = lt::overseer::commandOf(arguments)) {
        QCoreApplication app(argc, argv);
        lt::Installation::initialiseProcess();
        return command->run(arguments);
    }
    QApplication app(argc, argv);
    lt::ui::prepareApplication(app, "overseer", QStringLiteral("Lantrove系统"));
    return lt::overseer::runConsole(app);
}
