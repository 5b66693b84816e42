// provisioner: registers the data sources, tests and initialises the two databases, chooses
// the capture adapter. Without arguments it shows its window; with options it runs without one.

#include "common/installation.h"
#include "common/widgets/guiapp.h"
#include "provisioner/commandline.h"
#include "provisioner/formmain.h"
#include "provisioner/texts.h"

#include <QApplication>

int main(int argc, char** argv)
{
    if (lt::prov::isCommandLine(argc, argv)) {
        QCoreApplication app(argc, argv);
        lt::Installation::initialiseProcess();
        return lt::prov::runCommandLine(app.arguments().mid(1));
    }
    QApplication app(argc, argv);
    lt::ui::prepareApplication(app, "provisioner", lt::prov::text::kProgramTitle);
    return lt::prov::runProvisioner();
}
