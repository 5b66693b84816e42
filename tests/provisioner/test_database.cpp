// The provisioner's database work against the private server through real data sources:
// registration, the connection test, both initialisations, the black list file, the export.

#include "common/blacklist.h"
#include "common/datasources.h"
#include "common/gbk.h"
#include "common/installation.h"
#include "common/registry.h"
#include "common/schema.h"
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

QStringList expectedDataSource(const QString& database, bool local, const QString& address = {},
                               const QString& port = "3306")
{
    const ServerSettings server = Installation::server();
    return {"Database=" + database,
            "Description=MySQL ODBC 3.51 Driver DSN",
            "Driver=" + dsn::driverLibrary(),
            "Option=3",
            local ? QStringLiteral("Password=") : QStringLiteral("Password=tovk318254"),
            "Port=" + (local ? server.port : port),
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

    void aRemoteServerIsReachedOnItsOwnPort()
    {
        QVERIFY(registerServer({"192", "168", "0", "5"}, "3310").written);
        QCOMPARE(test::odbcIniSection("LocalLogTable"),
                 expectedDataSource("dovrik", false, "192.168.0.5", "3310"));
        QCOMPARE(test::odbcIniSection("RemoteAcTable"),
                 expectedDataSource("ipdata", false, "192.168.0.5", "3310"));
        QCOMPARE(startUp().port, QStringLiteral("3310"));

        // No port, nothing registered.
        for (const char* bad : {"", "0", "65536", "33o6", "-1"}) {
            const Registration r = registerServer({"10", "0", "0", "7"}, bad);
            QVERIFY2(r.badPort && !r.written, bad);
            QCOMPARE(test::odbcIniSection("RemoteAcTable"),
                     expectedDataSource("ipdata", false, "192.168.0.5", "3310"));
        }
        QVERIFY(registerServer({"10", "0", "0", "7"}, " 65535 ").written);
        QCOMPARE(test::odbcIniSection("RemoteAcTable").value(5), QStringLiteral("Port=65535"));

        // The local server keeps the installation's own port and socket, whatever the box says.
        QVERIFY(registerServer({"0", "0", "0", "0"}, "3310").written);
        QCOMPARE(test::odbcIniSection("RemoteAcTable"), expectedDataSource("ipdata", true));
        QVERIFY(registerServer({"0", "0", "0", "0"}, "").written);
    }

    void connectionTestWithEitherCredentials()
    {
        test::RemoteAccount remoteAccount;
        const QStringList local = {"DSN=LocalLogTable;uid=;pwd=;", "DSN=RemoteAcTable;uid=;pwd=;"};
        const QStringList account = {"DSN=LocalLogTable;uid=qmlxdovrik;pwd=tovk318254;",
                                     "DSN=RemoteAcTable;uid=qmlxdovrik;pwd=tovk318254;"};
        for (const auto& [address, strings] :
             {std::pair{AddressParts{"0", "0", "0", "0"}, local},
              std::pair{AddressParts{"127", "0", "0", "1"}, account}}) {
            registerServer(address, test::serverPort());
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
        test::RemoteAccount account;
        // The system's account, which may not drop now.
        registerServer({"127", "0", "0", "1"}, test::serverPort());
        const int records = int(blacklist::read(blackNameFilePath())->records.size());
        {
            NoDropForAccount noDrop;
            test::RecordingReporter r;
            const InitResult log = initialiseLogDatabase(dbs_, r);
            const InitResult config = initialiseConfigDatabase(dbs_, r, "10.0.0.9");
            // Not made anew: the initialisation says it did not finish.
            QCOMPARE(int(log.status), int(InitStatus::Incomplete));
            QCOMPARE(int(config.status), int(InitStatus::Incomplete));
            QVERIFY(log.failures.first().startsWith("Create Database dovrik"));
            QCOMPARE(config.imported, 2 * records);
            QCOMPARE(r.of("notice"),
                     (QStringList{text::kLogInitIncomplete,
                                  text::kConfigInitIncomplete.arg(records).arg(2 * records)}));
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

    // The server ends the initialisation's connection in the middle of the black list import,
    // as when it is killed: the report says what the server really holds, the database is
    // found half-initialised, and the next initialisation finishes it.
    void connectionLostDuringTheImport()
    {
        registerServer({"0", "0", "0", "0"});
        const QByteArray delivered = test::readFile(blackNameFilePath());
        QByteArray file = " 1000 \r\n";
        for (int i = 0; i < 1000; ++i)
            file += "k" + QByteArray::number(i) + ".example\r\n" + gbk::encode(u"标题") + "\r\n" +
                    gbk::encode(u"其它") + "\r\n";
        test::writeFile(blackNameFilePath(), file);
        int sent = 0;
        bool killed = false;
        const int id = db::addStatementObserver([&](const db::StatementEvent& e) {
            sent += int(e.text.count(QStringLiteral("INSERT INTO blacktable")));
            if (killed || sent < 400)
                return;
            killed = true;
            for (const QString& c :
                 test::sql("SELECT ID FROM information_schema.PROCESSLIST WHERE DB='ipdata'")
                     .split(u'\n', Qt::SkipEmptyParts))
                test::sql("KILL CONNECTION " + c);
        });
        test::RecordingReporter r;
        const InitResult broken = initialiseConfigDatabase(dbs_, r, "192.168.9.9");
        db::removeStatementObserver(id);
        QVERIFY(killed);

        const int stored = test::sql("SELECT COUNT(*) FROM blacktable", "ipdata").toInt();
        QVERIFY2(stored < 1000, qPrintable(QString::number(stored)));
        QCOMPARE(int(broken.status), int(InitStatus::Incomplete));
        QCOMPARE(broken.records, 1000);
        QVERIFY(broken.imported == -1 || broken.imported == stored);
        QCOMPARE(r.of("notice"),
                 QStringList{broken.imported < 0
                                 ? text::kConfigInitLost
                                 : text::kConfigInitIncomplete.arg(1000).arg(stored)});
        QVERIFY(!r.of("status").contains(text::kConfigInitialised.arg(broken.imported)));
        QCOMPARE(r.of("detail").size(), 1);

        test::RecordingReporter checked;
        QCOMPARE(int(checkDatabases(false, true, checked).config.state),
                 int(schema::Completeness::Incomplete));
        QCOMPARE(checked.of("notice"),
                 QStringList{text::kDatabaseIncomplete.arg("数据采集监控系统")});
        QVERIFY(checked.of("detail").value(0).contains("初始化没有做完"));

        test::RecordingReporter again;
        const InitResult finished = initialiseConfigDatabase(dbs_, again, "192.168.9.9");
        test::writeFile(blackNameFilePath(), delivered);
        QCOMPARE(int(finished.status), int(InitStatus::Done));
        QCOMPARE(finished.imported, 1000);
        QCOMPARE(test::sql("SELECT COUNT(*) FROM blacktable", "ipdata"), QStringLiteral("1000\n"));
        QCOMPARE(int(checkDatabases(false, true, checked).config.state),
                 int(schema::Completeness::Complete));
        QCOMPARE(test::sql("SELECT SCHEMA_COMMENT FROM information_schema.SCHEMATA WHERE "
                           "SCHEMA_NAME='ipdata'"),
                 schema::kMarkComplete + u'\n');
    }

    // What counts as complete: every table and the seeds; a mark "initialising" left by an
    // initialisation that did not finish; a database made before there were marks is judged
    // by its tables and seeds alone.
    void completenessOfEitherDatabase()
    {
        registerServer({"0", "0", "0", "0"});
        const auto states = [] {
            test::RecordingReporter r;
            const CheckResult c = checkDatabases(true, true, r);
            return QList<int>{int(c.log.state), int(c.config.state)};
        };
        const QList<int> complete = {schema::Completeness::Complete,
                                     schema::Completeness::Complete};
        test::initialiseDatabases(); // without marks
        QCOMPARE(states(), complete);

        test::sql("DELETE FROM classtable WHERE Code='L';", "ipdata");
        test::RecordingReporter r;
        CheckResult c = checkDatabases(false, true, r);
        QCOMPARE(int(c.config.state), int(schema::Completeness::Incomplete));
        QCOMPARE(c.config.lacking, QStringList{"classtable: 12 个类别"});
        test::sql("INSERT INTO classtable VALUES('其它','L'); DELETE FROM ServerIP; DROP TABLE "
                  "downtable;",
                  "ipdata");
        c = checkDatabases(false, true, r);
        QCOMPARE(c.config.lacking, (QStringList{"downtable", "ServerIP: 服务器地址"}));

        test::sql("DELETE FROM passwordtable;", "dovrik");
        QCOMPARE(checkDatabases(true, false, r).log.lacking, QStringList{"passwordtable: 管理员"});
        test::sql(
            "INSERT INTO dovrik.passwordtable VALUES('ADM','739'); ALTER DATABASE dovrik COMMENT "
            "'" +
            schema::kMarkInitialising + "';");
        QCOMPARE(checkDatabases(true, false, r).log.lacking, QStringList{"初始化没有做完"});

        test::sql("DROP DATABASE dovrik; DROP DATABASE ipdata;");
        QCOMPARE(states(),
                 (QList<int>{schema::Completeness::Missing, schema::Completeness::Missing}));

        // The provisioner's initialisations mark both databases complete.
        test::RecordingReporter init;
        QVERIFY(initialiseLogDatabase(dbs_, init).ok());
        QVERIFY(initialiseConfigDatabase(dbs_, init, "192.168.9.9").ok());
        QCOMPARE(test::sql("SELECT SCHEMA_NAME, SCHEMA_COMMENT FROM information_schema.SCHEMATA "
                           "WHERE SCHEMA_NAME IN ('dovrik','ipdata') ORDER BY 1"),
                 "dovrik\t" + schema::kMarkComplete + "\nipdata\t" + schema::kMarkComplete + u'\n');
        QCOMPARE(states(), complete);
        // Once marked complete, what the administrator changes later never has the database
        // initialised (and its logs dropped) again.
        test::sql("DELETE FROM passwordtable;", "dovrik");
        test::sql("DELETE FROM ServerIP;", "ipdata");
        QCOMPARE(states(), complete);

        // A server that cannot be asked.
        registerServer({"127", "0", "0", "1"}, "1");
        test::RecordingReporter down;
        c = checkDatabases(true, true, down);
        registerServer({"0", "0", "0", "0"});
        QCOMPARE(int(c.log.state), int(schema::Completeness::Unknown));
        QCOMPARE(down.of("notice"),
                 (QStringList{text::kLogNotConnected, text::kConfigNotConnected}));
        QVERIFY(!c.config.error.isEmpty());
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
        // The record is skipped and named; the database is complete.
        QCOMPARE(int(config.status), int(InitStatus::Done));
        QCOMPARE(config.imported, 599);
        QCOMPARE(config.failures, QStringList());
        QCOMPARE(config.skipped.size(), 1);
        QVERIFY(config.skipped.first().startsWith("INSERT INTO blacktable VALUES('ddd"));
        QCOMPARE(r.of("notice"), QStringList{text::kBlackListSkipped.arg(600).arg(599) + u'\n' +
                                             config.skipped.first()});
        QCOMPARE(test::sql("SELECT COUNT(*), COUNT(DISTINCT Name), MIN(Name), MAX(Name) FROM "
                           "blacktable WHERE S='N'",
                           "ipdata"),
                 QStringLiteral("599\t599\tr0\tr99\n"));
        QCOMPARE(test::sql("SELECT COUNT(*) FROM classtable", "ipdata"), QStringLiteral("12\n"));
    }

    // Records of the delivered list that cannot be read (a comma inside a value, a byte that is
    // not GBK, a count above the records there are) are skipped and named, with the file's own
    // count and the count imported; the database is complete all the same.
    void unreadableRecordsLeaveACompleteDatabase()
    {
        registerServer({"0", "0", "0", "0"});
        const QByteArray delivered = test::readFile(blackNameFilePath());
        const QByteArray good =
            "\r\n" + gbk::encode(u"标题") + "\r\n" + gbk::encode(u"其它") + "\r\n";
        test::writeFile(blackNameFilePath(), " 5 \r\na.example" + good + "b.example\r\n" +
                                                 gbk::encode(u"甲,乙") + "\r\n" +
                                                 gbk::encode(u"其它") +
                                                 "\r\nc.example\r\n\x81"
                                                 " bad\r\n" +
                                                 gbk::encode(u"其它") + "\r\nd.example" + good);
        test::RecordingReporter r;
        const InitResult config = initialiseConfigDatabase(dbs_, r, "192.168.9.9");
        test::writeFile(blackNameFilePath(), delivered);
        QCOMPARE(int(config.status), int(InitStatus::Done));
        QCOMPARE(config.declared, 5);
        QCOMPARE(config.imported, 2);
        QCOMPARE(config.skipped.size(), 3);
        QVERIFY(config.skipped[0].contains("b.example"));
        QVERIFY(config.skipped[1].contains("c.example"));
        QVERIFY(config.skipped[2].contains("记录数为5"));
        QCOMPARE(r.of("notice"), QStringList{text::kBlackListSkipped.arg(5).arg(2) + u'\n' +
                                             config.skipped.join(u'\n')});
        QCOMPARE(r.of("detail"), QStringList());
        QVERIFY(r.of("status").contains(text::kConfigInitialised.arg(2)));
        QCOMPARE(test::sql("SELECT Name FROM blacktable ORDER BY Name", "ipdata"),
                 QStringLiteral("a.example\nd.example\n"));
        test::RecordingReporter checked;
        QCOMPARE(int(checkDatabases(false, true, checked).config.state),
                 int(schema::Completeness::Complete));
    }

    // The reading indexes, day sums and their triggers are added to a log database as an
    // upgrade would add them; an initialisation that could not add them (here the account may
    // not create triggers) still leaves the tables, seeds and mark that make it complete.
    void aLogDatabaseWithoutItsOptionalPiecesIsComplete()
    {
        test::RemoteAccount account;
        registerServer({"127", "0", "0", "1"}, test::serverPort());
        test::sql("REVOKE TRIGGER ON dovrik.* FROM 'qmlxdovrik'@'%'; REVOKE TRIGGER ON dovrik.* "
                  "FROM 'qmlxdovrik'@'localhost'; FLUSH PRIVILEGES;");
        test::RecordingReporter r;
        const InitResult log = initialiseLogDatabase(dbs_, r);
        test::sql("GRANT TRIGGER ON dovrik.* TO 'qmlxdovrik'@'%'; GRANT TRIGGER ON dovrik.* TO "
                  "'qmlxdovrik'@'localhost'; FLUSH PRIVILEGES;");
        test::RecordingReporter checked;
        const CheckResult c = checkDatabases(true, false, checked);
        registerServer({"0", "0", "0", "0"});
        QVERIFY2(!log.failures.isEmpty(), "the triggers were refused");
        QCOMPARE(int(log.status), int(InitStatus::Failed));
        QCOMPARE(int(c.log.state), int(schema::Completeness::Complete));
        QCOMPARE(test::sql("SELECT SCHEMA_COMMENT FROM information_schema.SCHEMATA WHERE "
                           "SCHEMA_NAME='dovrik'"),
                 schema::kMarkComplete + u'\n');
    }

    // What an unfinished database holds of the administrator's own: terminals, groups beyond
    // the built-in one, the administrator's list entries; log rows and accounts other than the
    // first administrator. The seeds and the delivered list are no such data.
    void administratorDataOfAnUnfinishedDatabase()
    {
        registerServer({"0", "0", "0", "0"});
        test::initialiseDatabases();
        test::sql("ALTER DATABASE ipdata COMMENT '" + schema::kMarkInitialising +
                  "'; ALTER DATABASE dovrik COMMENT '" + schema::kMarkInitialising + "';");
        const auto held = [] {
            test::RecordingReporter r;
            const CheckResult c = checkDatabases(true, true, r);
            return QList<QStringList>{c.log.held, c.config.held};
        };
        QCOMPARE(held(), (QList<QStringList>{{}, {}}));
        test::sql("INSERT INTO usertable VALUES('PC1','10.0.0.1','临时工作组'),"
                  "('PC2','10.0.0.2','临时工作组');"
                  "INSERT INTO grouptable (Team) VALUES('财务');"
                  "INSERT INTO blacktable VALUES('own.cn','t','游戏','S');"
                  "INSERT INTO whitetable VALUES('w.cn','t','S','Y'),('w2.cn','t','S','N');",
                  "ipdata");
        test::sql("INSERT INTO logtable (Name) VALUES ('x'); UPDATE passwordtable SET Pass='1';",
                  "dovrik");
        QCOMPARE(held(), (QList<QStringList>{
                             {"logtable: 1 行日志", "passwordtable: 1 个初始账号以外的管理员账号"},
                             {"usertable: 2 个终端", "grouptable: 1 个组别",
                              "blacktable: 1 条管理员加入的黑名单", "whitetable: 2 条白名单"}}));
        // A database without a table of them is no reason not to look at the others.
        test::sql("DROP TABLE usertable;", "ipdata");
        test::sql("DROP TABLE passwordtable;", "dovrik");
        QCOMPARE(held(),
                 (QList<QStringList>{{"logtable: 1 行日志"},
                                     {"grouptable: 1 个组别", "blacktable: 1 条管理员加入的黑名单",
                                      "whitetable: 2 条白名单"}}));
        test::initialiseDatabases();
    }

    void serverDown()
    {
        registerServer({"127", "0", "0", "1"}, "1"); // nobody listens there
        test::RecordingReporter r;
        QVERIFY(!testConnections(dbs_, r));
        const InitResult log = initialiseLogDatabase(dbs_, r);
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
