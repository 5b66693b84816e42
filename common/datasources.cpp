#include "common/datasources.h"

#include "common/installation.h"
#include "common/registry.h"

#include <odbcinst.h>

namespace lt::dsn
{

namespace
{

QString keyOf(const QString& dsn)
{
    return reg::kOdbcIni + u'\\' + dsn;
}

void writeDataSource(const QString& dsn, const QString& database, const QString& address,
                     const QString& remotePort, bool local)
{
    const QString key = keyOf(dsn);
    const ServerSettings server = Installation::server();
    reg::createKey(key);
    reg::setValue(key, QStringLiteral("Database"), database);
    reg::setValue(key, QStringLiteral("Description"), QStringLiteral("MySQL ODBC 3.51 Driver DSN"));
    reg::setValue(key, QStringLiteral("Driver"), driverLibrary());
    reg::setValue(key, QStringLiteral("Option"), QStringLiteral("3"));
    reg::setValue(key, QStringLiteral("Password"), local ? QString() : kRemotePassword);
    reg::setValue(key, QStringLiteral("Port"), local ? server.port : remotePort);
    reg::setValue(key, QStringLiteral("Server"), local ? QStringLiteral("localhost") : address);
    reg::setValue(key, QStringLiteral("Stmt"), QString());
    reg::setValue(key, QStringLiteral("User"), local ? QString() : kRemoteUser);
    // The driver reaches a local server over TCP unless it is given the server's socket.
    reg::setValue(key, QStringLiteral("Socket"), local ? server.socket : QString());
}

} // namespace

ConnectionStrings connectionStrings(bool localServer)
{
    if (localServer)
        return {QStringLiteral("DSN=LocalLogTable;uid=;pwd=;"),
                QStringLiteral("DSN=RemoteAcTable;uid=;pwd=;")};
    return {QStringLiteral("DSN=LocalLogTable;uid=qmlxdovrik;pwd=tovk318254;"),
            QStringLiteral("DSN=RemoteAcTable;uid=qmlxdovrik;pwd=tovk318254;")};
}

bool registeredServerIsLocal()
{
    return reg::readValue(keyOf(kConfigDsn), QStringLiteral("Server")) ==
           QStringLiteral("localhost");
}

ConnectionStrings chosenConnectionStrings()
{
    return connectionStrings(registeredServerIsLocal());
}

QString driverLibrary()
{
    // The library registered for the driver in the installation's odbcinst.ini.
    SQLSetConfigMode(ODBC_SYSTEM_DSN);
    QByteArray buffer(1024, '\0');
    const int n = SQLGetPrivateProfileString(kDriverDescription.toUtf8().constData(), "Driver", "",
                                             buffer.data(), int(buffer.size()), "odbcinst.ini");
    return QString::fromUtf8(buffer.left(std::max(n, 0)));
}

bool isValidPort(const QString& port)
{
    if (port.isEmpty() || port.size() > 5)
        return false;
    for (const QChar c : port) {
        if (c < u'0' || c > u'9')
            return false;
    }
    const int value = port.toInt();
    return value >= 1 && value <= 65535;
}

void registerDataSources(const QString& address, const QString& remotePort)
{
    const QString sources = reg::kOdbcIni + QStringLiteral("\\ODBC Data Sources");
    reg::createKey(sources);
    reg::setValue(sources, kLogDsn, kDriverDescription);
    reg::setValue(sources, kConfigDsn, kDriverDescription);
    const bool local = address == kLocalAddress;
    writeDataSource(kLogDsn, QStringLiteral("dovrik"), address, remotePort, local);
    writeDataSource(kConfigDsn, QStringLiteral("ipdata"), address, remotePort, local);
}

} // namespace lt::dsn
