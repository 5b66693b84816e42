// The provisioner's database work against the private server through real data sources:
// registration, the connection test, both initialisations, the black list file, the export.

#include "common/blacklist.h"
#include "common/datasources.h"
#include "common/gbk.h"
#include "common/installation.h"
#include "common/registry.h"
#include "provisioner/blackexport.h"
#include "provisioner/operations.h"
#include "provisioner/texts.h"
#include "tests/provisioner/support.h"
#include "tests/support/testsupport.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using namespace lt;
using namespace lt::prov;

namespace
{

QStringList expectedDataSource(const QString& database, bool local, const QString& address = {})
{
    const ServerSettings server = Installation::server();
    return {"Database=" + database,
            "Description=MySQL ODBC 3.51 Driver DSN",
            "Driver=" + dsn::driverLibrary(),
            "Option=3",
            local ? QStringLiteral("Password=") : QStringLiteral("Password=tovk318254"),
            "Port=" + server.port,
            "Server=" + (local ? QStringLiteral("localhost") : address),
            "Stmt=",
            local ? QStringLiteral("User=") : QStringLiteral("User=qmlxdovrik"),
            "Socket=" + (local ? server.socket : QString())};
}

QStringList opened(const std::function<void()>& action)
{
    QStringList strings;
    const int id = db::addStatementObserver([&](const db::StatementEvent& e) {
        if (e.kind == db::StatementEvent::Open)
            strings << e.text;
    });
    action();
    db::removeStatementObserver(id);
    return strings;
}

// Revokes the right to drop the two databases from the system's account while alive.
struct NoDropForAccount {
    NoDropForAccount() { grant(QStringLiteral("REVOKE DROP ON %1.* FROM %2;")); }
    ~NoDropForAccount() { grant(QStringLiteral("GRANT DROP ON %1.* TO %2;")); }
    static void grant(const QString& pattern)
    {
        QString s;
        for (const char* db : {"dovrik", "ipdata"})
            for (const char* who : {"'qmlxdovrik'@'%'", "'qmlxdovrik'@'localhost'"})
                s += pattern.arg(QLatin1String(db), QLatin1String(who));
        test::sql(s + QStringLiteral("FLUSH PRIVILEGES;"));
    }
};

} // namespace

class ProvisionerDatabase : public QObject
{
    Q_OBJECT
    test::TestInstallation install_;
    Databases dbs_;

private slots:
    void initTestCase() { QVERIFY2(test::serverAvailable(), "the test server does not answer"); }

    void registrationWritesTheValuesInOrder()
    {
        Registration r = registerServer({"0", "0", "0", "0"});
        QVERIFY(r.written);
        QCOMPARE(serverModeText(), QStringLiteral("localhost"));
        QCOMPARE(test::odbcIniSection("ODBC Data Sources"),
                 (QStringList{"LocalLogTable=MySQL ODBC 3.51 Driver",
                              "RemoteAcTable=MySQL ODBC 3.51 Driver"}));
        QCOMPARE(test::odbcIniSection("LocalLogTable"), expectedDataSource("dovrik", true));
        QCOMPARE(test::odbcIniSection("RemoteAcTable"), expectedDataSource("ipdata", true));

        r = registerServer({"192", "168", "0", "5"});
        QVERIFY(r.written);
        QCOMPARE(serverModeText(), QString());
        QCOMPARE(test::odbcIniSection("LocalLogTable"),
                 expectedDataSource("dovrik", false, "192.168.0.5"));
        QCOMPARE(test::odbcIniSection("RemoteAcTable"),
                 expectedDataSource("ipdata", false, "192.168.0.5"));
        // Every program started now uses the account, as this run does.
        QCOMPARE(dsn::chosenConnectionStrings().config, modeConnectionStrings().config);
        QCOMPARE(modeConnectionStrings().log,
                 QStringLiteral("DSN=LocalLogTable;uid=qmlxdovrik;pwd=tovk318254;"));

        // A later start reads the address back into the boxes.
        QCOMPARE(startUp().boxes, (AddressParts{"192", "168", "0", "5"}));
        QCOMPARE(registerServer({"10", "", "", "1"}).emptyPart, 1);
        QCOMPARE(test::odbcIniSection("RemoteAcTable").value(6),
                 QStringLiteral("Server=192.168.0.5"));
    }

    void connectionTestWithEitherCredentials()
    {
        const QStringList local = {"DSN=LocalLogTable;uid=;pwd=;", "DSN=RemoteAcTable;uid=;pwd=;"};
        const QStringList account = {"DSN=LocalLogTable;uid=qmlxdovrik;pwd=tovk318254;",
                                     "DSN=RemoteAcTable;uid=qmlxdovrik;pwd=tovk318254;"};
        for (const auto& [address, strings] :
             {std::pair{AddressParts{"0", "0", "0", "0"}, local},
              std::pair{AddressParts{"127", "0", "0", "1"}, account}}) {
            registerServer(address);
            test::RecordingReporter r;
            QCOMPARE(opened([&] { QVERIFY(testConnections(dbs_, r)); }), strings);
            QCOMPARE(r.events,
                     (QStringList{"busy", "status: " + text::kConnectingLog, "status: ", "idle",
                                  "notice: " + text::kLogConnected, "busy",
                                  "status: " + text::kConnectingConfig, "status: ", "idle",
                                  "notice: " + text::kConfigConnected}));
            QVERIFY(!dbs_.one.isOpen() && !dbs_.two.isOpen());
        }
    }

    void freshServerGivesExactlyTheSeeds()
    {
        registerServer({"0", "0", "0", "0"});
        test::sql("DROP DATABASE IF EXISTS dovrik; DROP DATABASE IF EXISTS ipdata;");
        test::RecordingReporter r;
        const InitResult log = initialiseLogDatabase(dbs_, r);
        const InitResult config = initialiseConfigDatabase(dbs_, r, "192.168.9.9");
        QCOMPARE(int(log.status), int(InitStatus::Done));
        QCOMPARE(int(config.status), int(InitStatus::Done));
        QCOMPARE(r.of("ask"), (QStringList{text::kAskInitLog, text::kAskInitConfig}));
        QCOMPARE(r.of("notice"), QStringList{});
        const auto delivered = blacklist::read(blackNameFilePath());
        QCOMPARE(config.imported, int(delivered->records.size()));
        QVERIFY(r.of("status").contains(text::kConfigInitialised.arg(config.imported)));

        QCOMPARE(test::sql("SELECT * FROM passwordtable", "dovrik"), QStringLiteral("ADM\t739\n"));
        QCOMPARE(test::sql("SELECT (SELECT COUNT(*) FROM logtable)+(SELECT COUNT(*) FROM "
                           "upsendtable)",
                           "dovrik"),
                 QStringLiteral("0\n"));
        QCOMPARE(test::sql("SELECT * FROM ServerIP", "ipdata"),
                 QStringLiteral("192.168.9.9\t5677\n"));
        QCOMPARE(test::sql("SELECT COUNT(*), COUNT(DISTINCT Code) FROM classtable", "ipdata"),
                 QStringLiteral("12\t12\n"));
        QCOMPARE(test::sql("SELECT Team, DnLog, UpLog, L FROM grouptable", "ipdata"),
                 "临时工作组\t0\t0\t" + QString(24, u'0') + u'\n');
        QStringList expected;
        for (const auto& rec : delivered->records)
            expected << QStringList{rec.domain, rec.title, rec.className, "N"}.join(u'\t');
        QStringList stored =
            test::sql("SELECT * FROM blacktable", "ipdata").split(u'\n', Qt::SkipEmptyParts);
        expected.sort();
        stored.sort();
        QCOMPARE(stored, expected);
        QCOMPARE(test::sql("SELECT (SELECT COUNT(*) FROM ChatPort)+(SELECT COUNT(*) FROM "
                           "usertable)+(SELECT COUNT(*) FROM webtable)+(SELECT COUNT(*) FROM "
                           "whitetable)+(SELECT COUNT(*) FROM uptable)+(SELECT COUNT(*) FROM "
                           "downtable)",
                           "ipdata"),
                 QStringLiteral("0\n"));
    }

    void rerunAfterFailedDropAddsNoSecondSeeds()
    {
        registerServer({"127", "0", "0", "1"}); // the system's account, which may not drop now
        const int records = int(blacklist::read(blackNameFilePath())->records.size());
        {
            NoDropForAccount noDrop;
            test::RecordingReporter r;
            const InitResult log = initialiseLogDatabase(dbs_, r);
            const InitResult config = initialiseConfigDatabase(dbs_, r, "10.0.0.9");
            QCOMPARE(int(log.status), int(InitStatus::Failed));
            QCOMPARE(int(config.status), int(InitStatus::Failed));
            QVERIFY(log.failures.first().startsWith("Create Database dovrik"));
            QCOMPARE(r.of("notice"),
                     (QStringList{text::kLogInitFailed.arg(log.failures.size()),
                                  text::kConfigInitFailed.arg(config.failures.size())}));
        }
        QCOMPARE(test::sql("SELECT COUNT(*) FROM passwordtable", "dovrik"), QStringLiteral("1\n"));
        QCOMPARE(test::sql("SELECT * FROM ServerIP", "ipdata"),
                 QStringLiteral("192.168.9.9\t5677\n"));
        QCOMPARE(test::sql("SELECT COUNT(*) FROM classtable", "ipdata"), QStringLiteral("12\n"));
        QCOMPARE(test::sql("SELECT COUNT(*) FROM grouptable", "ipdata"), QStringLiteral("2\n"));
        QCOMPARE(test::sql("SELECT COUNT(*) FROM blacktable", "ipdata"),
                 QString::number(2 * records) + u'\n');
        registerServer({"0", "0", "0", "0"});
    }

    void blackNameFileOfTwoRecords()
    {
        const QByteArray delivered = test::readFile(blackNameFilePath());
        test::writeFile(blackNameFilePath(),
                        gbk::encode(u" 2 \r\nwww.o'neil.example\r\n\"赌场,娱乐城\"\r\n游戏\r\n"
                                    u"c:\\temp.example\r\n反斜杠\\标题\r\n其它\r\n"));
        test::RecordingReporter r;
        const InitResult config = initialiseConfigDatabase(dbs_, r, "192.168.9.9");
        test::writeFile(blackNameFilePath(), delivered);
        QVERIFY(config.ok());
        QCOMPARE(config.imported, 2);
        QCOMPARE(r.of("progress"), QStringList{"2/2"});
        QCOMPARE(test::sql("SELECT Name, Title, Class, S FROM blacktable ORDER BY Name", "ipdata"),
                 QStringLiteral("c:\\\\temp.example\t反斜杠\\\\标题\t其它\tN\n"
                                "www.o'neil.example\t赌场,娱乐城\t游戏\tN\n"));
    }

    void aBadRecordCostsOnlyItself()
    {
        const QByteArray delivered = test::readFile(blackNameFilePath());
        QByteArray file = " 600 \r\n";
        for (int i = 0; i < 600; ++i) {
            const QByteArray domain = i == 300 ? QByteArray(200, 'd') : "r" + QByteArray::number(i);
            file += domain + "\r\n" + gbk::encode(u"标题") + "\r\n" + gbk::encode(u"其它") + "\r\n";
        }
        test::writeFile(blackNameFilePath(), file);
        test::RecordingReporter r;
        const InitResult config = initialiseConfigDatabase(dbs_, r, "192.168.9.9");
        test::writeFile(blackNameFilePath(), delivered);
        QCOMPARE(int(config.status), int(InitStatus::Failed));
        QCOMPARE(config.imported, 599);
        QCOMPARE(config.failures.size(), 1);
        QVERIFY(config.failures.first().startsWith("INSERT INTO blacktable VALUES('ddd"));
        QCOMPARE(test::sql("SELECT COUNT(*), COUNT(DISTINCT Name), MIN(Name), MAX(Name) FROM "
                           "blacktable WHERE S='N'",
                           "ipdata"),
                 QStringLiteral("599\t599\tr0\tr99\n"));
        QCOMPARE(test::sql("SELECT COUNT(*) FROM classtable", "ipdata"), QStringLiteral("12\n"));
    }

    void serverDown()
    {
        const ServerSettings saved = Installation::server();
        ServerSettings down = saved;
        down.port = QStringLiteral("1");
        QVERIFY(Installation::writeServerSettings(down));
        registerServer({"127", "0", "0", "1"});
        test::RecordingReporter r;
        QVERIFY(!testConnections(dbs_, r));
        const InitResult log = initialiseLogDatabase(dbs_, r);
        QVERIFY(Installation::writeServerSettings(saved));
        registerServer({"0", "0", "0", "0"});
        QCOMPARE(int(log.status), int(InitStatus::NotConnected));
        QCOMPARE(r.of("notice"), (QStringList{text::kLogNotConnected, text::kConfigNotConnected,
                                              text::kLogNotConnected}));
        QCOMPARE(r.of("detail").size(), 3);
    }

    void exportOfTheMasterList()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("BlackName.dat");
        test::setUpMasterList({});
        ExportResult e = exportMasterBlackList(dbs_.one, path);
        QVERIFY(e.read && e.written);
        QCOMPARE(test::readFile(path), QByteArray(" 0 \r\n"));

        test::setUpMasterList({{"  a.example ", "甲, 乙", "色情"}, {"b.example", "标题", "游戏"}});
        e = exportMasterBlackList(dbs_.one, path);
        QCOMPARE(e.recordsWritten, 2);
        QCOMPARE(blacklist::read(path)->records,
                 (std::vector<blacklist::Record>{{"a.example", "甲, 乙", "色情"},
                                                 {"b.example", "标题", "游戏"}}));

        // Without the master list the file stays as it was.
        test::dropMasterList();
        const QByteArray before = test::readFile(path);
        e = exportMasterBlackList(dbs_.one, path);
        QVERIFY(!e.read && !e.error.isEmpty());
        QCOMPARE(test::readFile(path), before);
    }

    void startUpCreatesTheDataDirectories()
    {
        QTemporaryDir base;
        QDir(base.path()).mkdir("data");
        reg::createKey(kAppPathsKey);
        reg::setValue(kAppPathsKey, "Path", base.path());
        const StartState state = startUp();
        QCOMPARE(state.databaseBase, base.path());
        QVERIFY(QDir(base.filePath("data/dovrik")).exists());
        QVERIFY(QDir(base.filePath("data/ipdata")).exists());
        startUp(); // they exist now: nothing happens
        QCOMPARE(serverModeText(), QStringLiteral("localhost"));
    }
};

QTEST_GUILESS_MAIN(ProvisionerDatabase)
#include "test_database.moc"
