// Registry keys and the registration of the two data sources in the installation's odbc.ini.

#include "common/datasources.h"
#include "common/installation.h"
#include "common/registry.h"
#include "tests/support/testsupport.h"

#include <QFile>
#include <QTest>

using namespace lt;

namespace
{
const QString kLogKey = QStringLiteral("Software\\ODBC\\ODBC.INI\\LocalLogTable");
const QString kConfigKey = QStringLiteral("Software\\ODBC\\ODBC.INI\\RemoteAcTable");
const QString kAppPaths =
    QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\yourapp.Exe");

// The lines of one odbc.ini section, in file order.
QStringList section(const QString& iniPath, const QString& name)
{
    QStringList lines;
    bool inside = false;
    for (const QByteArray& raw : test::readFile(iniPath).split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.startsWith(u'['))
            inside = line == u'[' + name + u']';
        else if (inside && !line.isEmpty())
            lines << line;
    }
    return lines;
}
} // namespace

class Registry : public QObject
{
    Q_OBJECT
    test::TestInstallation install_;
    QString odbcIni() const { return install_.systemDir() + QStringLiteral("/odbc.ini"); }

private slots:
    void keysOutsideOdbc();
    void odbcKeys();
    void registerLocal();
    void registerRemote();
    void passwordReadableByTheOwnerOnly();
};

void Registry::keysOutsideOdbc()
{
    QCOMPARE(reg::readValue(kAppPaths, QStringLiteral("Path")), QString());
    QVERIFY(!reg::setValue(kAppPaths, QStringLiteral("Path"), QStringLiteral("x"))); // no key yet
    QVERIFY(reg::createKey(kAppPaths));
    QVERIFY(reg::createKey(kAppPaths)); // again: nothing changes
    QVERIFY(reg::setValue(kAppPaths, QStringLiteral("Path"), QStringLiteral("/srv/db \"q\" \\x")));
    QVERIFY(reg::setValue(kAppPaths, QStringLiteral("Count"), QStringLiteral("123"),
                          reg::Type::Number));
    QCOMPARE(reg::readValue(kAppPaths, QStringLiteral("Path")),
             QStringLiteral("/srv/db \"q\" \\x"));
    QCOMPARE(reg::readValue(kAppPaths.toUpper(), QStringLiteral("Count")), QStringLiteral("123"));
    QCOMPARE(reg::readValue(kAppPaths, QStringLiteral("Missing")), QString());
    const QByteArray stored =
        test::readFile(install_.systemDir() + QStringLiteral("/registry.reg"));
    QVERIFY(stored.contains("\"Count\"=dword:0000007b"));
}

void Registry::odbcKeys()
{
    const QString key = QStringLiteral("Software\\ODBC\\ODBC.INI\\Scratch");
    QVERIFY(!reg::keyExists(key));
    QVERIFY(!reg::setValue(key, QStringLiteral("Server"), QStringLiteral("x")));
    QVERIFY(!section(odbcIni(), QStringLiteral("Scratch")).contains(QStringLiteral("Server=x")));
    QVERIFY(reg::createKey(key));
    QVERIFY(reg::keyExists(key));
    QVERIFY(reg::setValue(key, QStringLiteral("Server"), QStringLiteral("数据库")));
    QVERIFY(reg::setValue(key, QStringLiteral("Empty"), QString()));
    QCOMPARE(reg::readValue(key, QStringLiteral("Server")), QStringLiteral("数据库"));
    QCOMPARE(reg::readValue(key, QStringLiteral("Empty")), QString());
    QCOMPARE(reg::readValue(key, QStringLiteral("Missing")), QString());
}

void Registry::registerLocal()
{
    dsn::registerDataSources(QStringLiteral("0.0.0.0"));
    const QString driver = dsn::driverLibrary();
    QVERIFY2(driver.endsWith(QStringLiteral("libmaodbc.so")), qPrintable(driver));
    for (const auto& [name, database] : {std::pair{QStringLiteral("LocalLogTable"), "dovrik"},
                                         std::pair{QStringLiteral("RemoteAcTable"), "ipdata"}}) {
        const QStringList lines = section(odbcIni(), name);
        QCOMPARE(lines.mid(0, 9),
                 (QStringList{QStringLiteral("Database=") + database,
                              "Description=MySQL ODBC 3.51 Driver DSN", "Driver=" + driver,
                              "Option=3", "Password=", "Port=" + lt::Installation::server().port,
                              "Server=localhost", "Stmt=", "User="}));
    }
    QCOMPARE(section(odbcIni(), QStringLiteral("ODBC Data Sources")),
             (QStringList{"LocalLogTable=MySQL ODBC 3.51 Driver",
                          "RemoteAcTable=MySQL ODBC 3.51 Driver"}));
    QVERIFY(dsn::registeredServerIsLocal());
    QCOMPARE(dsn::chosenConnectionStrings().log, QStringLiteral("DSN=LocalLogTable;uid=;pwd=;"));
    QCOMPARE(dsn::chosenConnectionStrings().config, QStringLiteral("DSN=RemoteAcTable;uid=;pwd=;"));
}

void Registry::registerRemote()
{
    dsn::registerDataSources(QStringLiteral("192.168.0.5"));
    for (const QString& key : {kLogKey, kConfigKey}) {
        QCOMPARE(reg::readValue(key, QStringLiteral("Server")), QStringLiteral("192.168.0.5"));
        QCOMPARE(reg::readValue(key, QStringLiteral("User")), QStringLiteral("qmlxdovrik"));
        QCOMPARE(reg::readValue(key, QStringLiteral("Password")), QStringLiteral("tovk318254"));
        QCOMPARE(reg::readValue(key, QStringLiteral("Socket")), QString());
        // The port of the server there, not the one of the installation's own server.
        QCOMPARE(reg::readValue(key, QStringLiteral("Port")), QStringLiteral("3306"));
    }
    dsn::registerDataSources(QStringLiteral("192.168.0.5"), QStringLiteral("3310"));
    QCOMPARE(reg::readValue(kLogKey, QStringLiteral("Port")), QStringLiteral("3310"));
    QCOMPARE(reg::readValue(kConfigKey, QStringLiteral("Port")), QStringLiteral("3310"));
    QVERIFY(!dsn::registeredServerIsLocal());
    QCOMPARE(dsn::chosenConnectionStrings().log,
             QStringLiteral("DSN=LocalLogTable;uid=qmlxdovrik;pwd=tovk318254;"));
    QCOMPARE(dsn::chosenConnectionStrings().config,
             QStringLiteral("DSN=RemoteAcTable;uid=qmlxdovrik;pwd=tovk318254;"));
    // Registering again for the local server replaces every value, not only some.
    dsn::registerDataSources(QStringLiteral("0.0.0.0"));
    QCOMPARE(reg::readValue(kConfigKey, QStringLiteral("User")), QString());
    QCOMPARE(section(odbcIni(), QStringLiteral("RemoteAcTable")).count(), 10);
}

void Registry::passwordReadableByTheOwnerOnly()
{
    const QFileDevice::Permissions ownerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    const auto mode = [this] {
        return QFile::permissions(odbcIni()) &
               ~(QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ExeUser);
    };
    // As the installation laid it out, readable by everyone.
    QVERIFY(QFile::setPermissions(odbcIni(),
                                  ownerOnly | QFileDevice::ReadGroup | QFileDevice::ReadOther));
    dsn::registerDataSources(QStringLiteral("192.168.0.5"));
    QCOMPARE(reg::readValue(kConfigKey, QStringLiteral("Password")), QStringLiteral("tovk318254"));
    QCOMPARE(mode(), ownerOnly);
    QVERIFY(test::readFile(odbcIni()).contains("tovk318254"));

    // A file that is not there yet is made for the owner alone.
    QVERIFY(QFile::remove(odbcIni()));
    dsn::registerDataSources(QStringLiteral("192.168.0.6"));
    QCOMPARE(reg::readValue(kConfigKey, QStringLiteral("Server")), QStringLiteral("192.168.0.6"));
    QCOMPARE(mode(), ownerOnly);
    dsn::registerDataSources(QStringLiteral("0.0.0.0"));
    QCOMPARE(mode(), ownerOnly);
}

QTEST_GUILESS_MAIN(Registry)
#include "test_registry.moc"
