#include "tests/support/testsupport.h"

#include "common/datasources.h"
#include "common/installation.h"
#include "common/odbc.h"
#include "common/processes.h"
#include "common/schema.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

namespace lt::test
{

namespace
{

QString serverRoot()
{
    return QString::fromLocal8Bit(qgetenv("LANTROVE_TEST_SERVER"));
}

QString serverSocket()
{
    QSettings ini(serverRoot() + QStringLiteral("/system/server.ini"), QSettings::IniFormat);
    return ini.value(QStringLiteral("server/socket")).toString();
}

} // namespace

QString buildDir()
{
    return QStringLiteral(LT_BUILD_DIR);
}
QString sourceDir()
{
    return QStringLiteral(LT_SOURCE_DIR);
}

TestInstallation::TestInstallation()
{
    QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/lantrove-test-XXXXXX"));
    dir.setAutoRemove(false);
    root_ = dir.path();
    QStringList args = {buildDir(), root_};
    if (!serverRoot().isEmpty() &&
        QFile::exists(serverRoot() + QStringLiteral("/system/server.ini")))
        args << serverRoot();
    QProcess layout;
    layout.start(sourceDir() + QStringLiteral("/scripts/layout.sh"), args);
    if (!layout.waitForFinished(60000) || layout.exitCode() != 0)
        qFatal("cannot lay out a test installation: %s", layout.readAllStandardError().constData());
    Installation::useRoot(root_);
    Installation::applyOdbcEnvironment();
}

TestInstallation::~TestInstallation()
{
    for (const QString& name : QDir(appDir()).entryList(QDir::Files | QDir::Executable))
        proc::killProcess(name);
    QDir(root_).removeRecursively();
}

QString TestInstallation::appDir() const
{
    return root_ + QStringLiteral("/app");
}
QString TestInstallation::systemDir() const
{
    return root_ + QStringLiteral("/system");
}

void TestInstallation::registerLocal()
{
    dsn::registerDataSources(dsn::kLocalAddress);
}

bool TestInstallation::useFreshDatabases()
{
    if (!serverAvailable())
        return false;
    registerLocal();
    initialiseDatabases();
    return true;
}

bool serverAvailable()
{
    const QString socket = serverSocket();
    if (socket.isEmpty())
        return false;
    QProcess ping;
    ping.start(QStringLiteral("mariadb-admin"),
               {QStringLiteral("--socket=") + socket, QStringLiteral("--connect-timeout=2"),
                QStringLiteral("ping")});
    return ping.waitForFinished(10000) && ping.exitCode() == 0;
}

QString sql(const QString& statements, const QString& database)
{
    return sqlOnSocket(serverSocket(), statements, database);
}

QString sqlOnSocket(const QString& socket, const QString& statements, const QString& database)
{
    QProcess client;
    QStringList args = {QStringLiteral("--socket=") + socket, QStringLiteral("--batch"),
                        QStringLiteral("--skip-column-names"),
                        QStringLiteral("--default-character-set=utf8mb4")};
    if (!database.isEmpty())
        args << database;
    client.start(QStringLiteral("mariadb"), args);
    client.write(statements.toUtf8());
    client.closeWriteChannel();
    if (!client.waitForFinished(120000))
        qFatal("the mariadb client did not finish");
    if (client.exitCode() != 0)
        qWarning("mariadb: %s", client.readAllStandardError().constData());
    return QString::fromUtf8(client.readAllStandardOutput());
}

void initialiseDatabases()
{
    const dsn::ConnectionStrings strings = dsn::chosenConnectionStrings();
    db::Connection log;
    if (!schema::openForInitialisation(log, strings.log))
        qFatal("cannot open the log database: %s", qPrintable(log.lastError().message));
    schema::initialiseLogDatabase(log);
    db::Connection config;
    if (!schema::openForInitialisation(config, strings.config))
        qFatal("cannot open the configuration database: %s",
               qPrintable(config.lastError().message));
    schema::initialiseConfigDatabase(config,
                                     Installation::appDir() + QStringLiteral("/BlackName.dat"),
                                     QStringLiteral("192.168.1.2"));
}

bool openDatabases(db::Connection& log, db::Connection& config, QString* why)
{
    const dsn::ConnectionStrings strings = dsn::chosenConnectionStrings();
    for (auto [connection, string] : {std::pair{&log, strings.log}, {&config, strings.config}}) {
        if (!connection->open(string)) {
            *why = connection->lastError().message;
            return false;
        }
    }
    return true;
}

bool waitFor(const std::function<bool()>& condition, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QTest::qWait(20);
    }
    return true;
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

} // namespace lt::test
