// overseer: the administrator's console of the monitoring system. With one of the commands of
// its command line (--backup FILE and the others, --help lists them; see overseer/program.h) it
// runs that one command without a window and without a display, and ends with its exit code.

#include "common/installation.h"
#include "common/widgets/guiapp.h"
#include "overseer/program.h"
#include "overseer/query/printcommand.h"

#include <QApplication>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QTemporaryDir>

int main(int argc, char* argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    if (const lt::overseer::ConsoleCommand* command = lt::overseer::commandOf(arguments)) {
        if (lt::overseer::isPrintCommand(arguments)) {
            // Pages are painted with fonts, which a GUI application provides; the offscreen
            // platform needs no display. Under cron there is no session runtime directory
            // either, and Qt would complain of it on the error output that cron mails: the
            // command gets a private one of its own.
            qputenv("QT_QPA_PLATFORM", "offscreen");
            QTemporaryDir runtime;
            if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR") && runtime.isValid())
                qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
            QGuiApplication app(argc, argv);
            lt::Installation::initialiseProcess();
            return command->run(arguments);
        }
        QCoreApplication app(argc, argv);
        lt::Installation::initialiseProcess();
        return command->run(arguments);
    }
    QApplication app(argc, argv);
    lt::ui::prepareApplication(app, "overseer", QStringLiteral("Lantrove系统"));
    return lt::overseer::runConsole(app);
}
