// Test helper: takes the instance lock named by its first argument and keeps it until killed.
// Prints "acquired" or "busy" (and then ends with code 3). With --stubborn it ignores SIGTERM.

#include "common/processes.h"

#include <QCoreApplication>
#include <QTextStream>
#include <csignal>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    if (app.arguments().contains(QStringLiteral("--stubborn")))
        std::signal(SIGTERM, SIG_IGN);
    lt::proc::InstanceLock lock(app.arguments().value(1));
    QTextStream(stdout) << (lock.acquired() ? "acquired" : "busy") << Qt::endl;
    if (!lock.acquired())
        return 3;
    return app.exec();
}
