// overseer: the administrator's console of the monitoring system.

#include "common/widgets/guiapp.h"
#include "overseer/program.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    lt::ui::prepareApplication(app, "overseer", QStringLiteral("Lantrove系统"));
    return lt::overseer::runConsole(app);
}
