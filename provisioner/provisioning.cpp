#include "provisioner/provisioning.h"

#include "common/installation.h"
#include "common/registry.h"
#include "common/sharedfiles.h"

#include <QDir>
#include <QFile>

namespace lt::prov
{

namespace
{

const QString kLocalMode = QStringLiteral("localhost");

QString dataSourceKey(const QString& dsn)
{
    return reg::kOdbcIni + u'\\' + dsn;
}

bool registeredAs(const QString& dsn, const QString& database, const QString& server,
                  const QString& port)
{
    const QString key = dataSourceKey(dsn);
    return reg::readValue(key, QStringLiteral("Server")) == server &&
           reg::readValue(key, QStringLiteral("Database")) == database &&
           reg::readValue(key, QStringLiteral("Port")) == port;
}

} // namespace

QString& serverModeText()
{
    static QString mode;
    return mode;
}

dsn::ConnectionStrings modeConnectionStrings()
{
    return dsn::connectionStrings(serverModeText() == kLocalMode);
}

Databases::Databases()
{
    for (db::Connection* c : {&one, &two, &three})
        c->setCursorLocation(db::Connection::CursorLocation::Client);
    for (db::Recordset* rs : {&rs1, &rs2}) {
        rs->cursorType = db::Recordset::Keyset;
        rs->lockType = db::Recordset::Optimistic;
    }
}

Databases::~Databases()
{
    rs1.close();
    rs2.close();
    one.close();
    two.close();
    three.close();
}

QString blackNameFilePath()
{
    return fileNameOrGiven(Installation::appDir() + QStringLiteral("/BlackName.dat"));
}

bool blackNameFilePresent()
{
    return QFile::exists(blackNameFilePath());
}

Login checkLogin(const QString& typedName, const QString& typedPassword)
{
    const auto stored = readCredentialFile(credentialFilePath());
    if (!stored)
        return Login::FileBroken;
    return credentialsMatch(*stored, typedName, typedPassword) ? Login::Accepted : Login::Invalid;
}

bool credentialFileReadable()
{
    return readCredentialFile(credentialFilePath()).has_value();
}

StartState startUp()
{
    StartState state;
    const QString server = reg::readValue(dataSourceKey(dsn::kConfigDsn), QStringLiteral("Server"));
    serverModeText() = server == kLocalMode ? kLocalMode : QString();
    if (!server.isEmpty() && server != kLocalMode) {
        state.addressRegistered = true;
        state.boxes = splitAddress(server);
        const QString port = reg::readValue(dataSourceKey(dsn::kConfigDsn), QStringLiteral("Port"));
        if (!port.isEmpty())
            state.port = port;
    }
    state.databaseBase = reg::readValue(kAppPathsKey, QStringLiteral("Path"));
    if (!state.databaseBase.isEmpty()) {
        const QDir base(state.databaseBase);
        QDir().mkdir(base.filePath(QStringLiteral("data/dovrik")));
        QDir().mkdir(base.filePath(QStringLiteral("data/ipdata")));
    }
    return state;
}

Registration registerServer(const AddressParts& boxes, const QString& port)
{
    Registration result;
    const JoinedAddress joined = joinAddress(boxes);
    result.emptyPart = joined.emptyPart;
    if (joined.emptyPart >= 0)
        return result;
    result.address = joined.address;
    const bool local = joined.address == dsn::kLocalAddress;
    const QString remotePort = port.trimmed();
    if (!local && !dsn::isValidPort(remotePort)) {
        result.badPort = true;
        return result;
    }
    serverModeText() = local ? kLocalMode : QString();
    dsn::registerDataSources(joined.address, remotePort);
    const QString server = local ? kLocalMode : joined.address;
    const QString registeredPort = local ? Installation::server().port : remotePort;
    result.written =
        registeredAs(dsn::kLogDsn, QStringLiteral("dovrik"), server, registeredPort) &&
        registeredAs(dsn::kConfigDsn, QStringLiteral("ipdata"), server, registeredPort);
    return result;
}

} // namespace lt::prov
