#pragma once
// The provisioner's state and the steps before any database work: the files checked at login,
// the administrator's login, the start-up reading of the registry, the data source
// registration.

#include "common/datasources.h"
#include "common/odbc.h"
#include "provisioner/address.h"

#include <QString>

namespace lt::prov
{

// Which credentials the connections use: "localhost" (the empty ones) or empty (the system's
// account). Starts as the registry says and follows every registration of this run.
QString& serverModeText();
dsn::ConnectionStrings modeConnectionStrings();

// The provisioner's connections: one on the log database, two on the configuration database
// and a third, all with client-side cursors, and two recordsets.
struct Databases {
    Databases();
    ~Databases();
    db::Connection one;
    db::Connection two;
    db::Connection three;
    db::Recordset rs1;
    db::Recordset rs2;
};

QString blackNameFilePath(); // appDir/BlackName.dat
bool blackNameFilePresent();

enum class Login { Accepted, Invalid, FileBroken };
Login checkLogin(const QString& typedName, const QString& typedPassword);
// True when the credential file can be read: whoever can read it may run the provisioner.
bool credentialFileReadable();

inline const QString kAppPathsKey =
    QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\yourapp.Exe");

struct StartState {
    bool addressRegistered = false;  // a Server other than "localhost" or empty
    AddressParts boxes;              // its parts, when registered
    QString port = dsn::kRemotePort; // its Port, when registered
    QString databaseBase;            // the Path of the application-path key
};
// After the login: the server mode text from the registered Server; the address for the boxes;
// the data directories of the two databases under the base directory (failures ignored).
StartState startUp();

struct Registration {
    int emptyPart = -1;   // the first empty box: nothing was registered
    bool badPort = false; // the port of a remote server is no port: nothing was registered
    QString address;
    bool written = false; // both data sources read back as registered
};
// Registers both data sources for the boxes' address ("0.0.0.0" is the local server, whose own
// port is used; any other address is reached on port) and sets the server mode text.
Registration registerServer(const AddressParts& boxes, const QString& port = dsn::kRemotePort);

} // namespace lt::prov
