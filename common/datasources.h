#pragma once
// The two ODBC data sources and the connection strings the programs open them with.

#include <QString>

namespace lt::dsn
{

inline const QString kLogDsn = QStringLiteral("LocalLogTable");
inline const QString kConfigDsn = QStringLiteral("RemoteAcTable");
inline const QString kDriverDescription = QStringLiteral("MySQL ODBC 3.51 Driver");
inline const QString kRemoteUser = QStringLiteral("qmlxdovrik");
inline const QString kRemotePassword = QStringLiteral("tovk318254");
inline const QString kLocalAddress = QStringLiteral("0.0.0.0");
// The port of a database server elsewhere, unless the administrator names another.
inline const QString kRemotePort = QStringLiteral("3306");

// Strings of the resident keeper (the log one has no closing semicolon).
inline const QString kKeeperLogString = QStringLiteral("DSN=LocalLogTable;uid=;pwd=");
inline const QString kKeeperConfigString = QStringLiteral("DSN=RemoteAcTable;uid=;pwd=;");

struct ConnectionStrings {
    QString log;
    QString config;
};

// "localhost" servers use the empty credentials, any other server the system's account.
ConnectionStrings connectionStrings(bool localServer);
// The value Server of the configuration data source equals "localhost" exactly.
bool registeredServerIsLocal();
// The credential choice of the console and the provisioner.
ConnectionStrings chosenConnectionStrings();

// Library of the MariaDB ODBC driver, as the installation's odbcinst.ini registers it under
// the driver description (the value Driver of both data sources).
QString driverLibrary();

// A TCP port as the administrator gives it: decimal digits for 1 to 65535.
bool isValidPort(const QString& port);

// Registers both data sources for the address typed by the operator; "0.0.0.0" means the local
// server, reached on the port (and socket) of the installation's own server; any other address
// is reached on the given port. Values in the order Database, Description, Driver, Option,
// Password, Port, Server, Stmt, User; a private local server adds Socket after them. Registry
// failures are ignored. odbc.ini holds the account's password afterwards: it is kept readable
// by the installation's owner only.
void registerDataSources(const QString& address, const QString& remotePort = kRemotePort);

} // namespace lt::dsn
