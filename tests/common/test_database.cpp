// The database layer against the private server through real ODBC data sources: both
// initialisations, the failure rule, the credential choice, text round trips and recordsets.

#include "common/blacklist.h"
#include "common/cmysql.h"
#include "common/datasources.h"
#include "common/gbk.h"
#include "common/installation.h"
#include "common/odbc.h"
#include "common/schema.h"
#include "tests/support/testsupport.h"

#include <QElapsedTimer>
#include <QTcpServer>
#include <QTest>

using namespace lt;

namespace
{

QString logString()
{
    return dsn::chosenConnectionStrings().log;
}
QString configString()
{
    return dsn::chosenConnectionStrings().config;
}

// "table: column type, ..." for every table of a database, from the server's catalogue.
QStringList columnsOf(const QString& database)
{
    const QString rows = test::sql(
        QStringLiteral(
            "SELECT TABLE_NAME, GROUP_CONCAT(CONCAT(COLUMN_NAME,' ',COLUMN_TYPE) ORDER BY "
            "ORDINAL_POSITION SEPARATOR ', ') FROM information_schema.COLUMNS WHERE "
            "TABLE_SCHEMA='%1' "
            "GROUP BY TABLE_NAME ORDER BY TABLE_NAME")
            .arg(database));
    QStringList out;
    for (const QString& line : rows.split(u'\n', Qt::SkipEmptyParts))
        out << line.section(u'\t', 0, 0) + QStringLiteral(": ") + line.section(u'\t', 1);
    return out;
}

QStringList indexesOf(const QString& database)
{
    return test::sql(
               QStringLiteral("SELECT CONCAT(TABLE_NAME,'.',INDEX_NAME,'(',"
                              "GROUP_CONCAT(COLUMN_NAME ORDER BY SEQ_IN_INDEX),')') "
                              "FROM information_schema.STATISTICS WHERE TABLE_SCHEMA='%1' "
                              "GROUP BY TABLE_NAME, INDEX_NAME ORDER BY TABLE_NAME, INDEX_NAME")
                   .arg(database))
        .split(u'\n', Qt::SkipEmptyParts);
}

QString traffic(const QString& name)
{
    QString s = name + QStringLiteral(": srcip char(16), dstip char(16), date char(12), strurl "
                                      "char(150), srcport int(11), dstport int(11)");
    for (int h = 0; h < 24; ++h)
        s += QStringLiteral(", t%1 bigint(20)").arg(h);
    return s;
}

// Both initialisations; on a fresh server only the two drops fail.
void initialiseBoth(bool fresh)
{
    db::Connection log;
    QVERIFY2(schema::openForInitialisation(log, logString()), qPrintable(log.lastError().message));
    const schema::Outcome local = schema::initialiseLogDatabase(log);
    QCOMPARE(local.failures.size(), fresh ? 1 : 0);
    if (fresh)
        QVERIFY(local.failures.first().startsWith(QStringLiteral("Drop Database dovrik")));
    db::Connection config;
    QVERIFY(schema::openForInitialisation(config, configString()));
    const schema::Outcome remote = schema::initialiseConfigDatabase(
        config, test::sourceDir() + QStringLiteral("/data/BlackName.dat"),
        QStringLiteral("192.168.1.2"));
    QCOMPARE(remote.failures.size(), fresh ? 1 : 0);
    if (fresh)
        QVERIFY(remote.failures.first().startsWith(QStringLiteral("Drop Database ipdata")));
}

} // namespace

class Database : public QObject
{
    Q_OBJECT
    test::TestInstallation install_;

private slots:
    void initTestCase();
    void freshServerInitialisation();
    void rerunAfterFailedDrop();
    void statementsAsSent();
    void mixedCaseTableNames();
    void textRoundTrips();
    void blackListWithQuotesImported();
    void recordsets();
    void transactions();
    void credentialChoiceReachesAccounts();
    void consoleObject();
    void serverDownOrSilent();
};

void Database::initTestCase()
{
    QVERIFY2(test::serverAvailable(), "the private test server does not answer");
    install_.registerLocal();
}

void Database::freshServerInitialisation()
{
    test::sql(QStringLiteral("DROP DATABASE IF EXISTS dovrik; DROP DATABASE IF EXISTS ipdata;"));
    initialiseBoth(true);
    QCOMPARE(columnsOf(QStringLiteral("dovrik")),
             (QStringList{
                 "daypages: Day char(8), URL char(150), NoUrl tinyint(4), Title char(100), F "
                 "bigint(20)",
                 "dayterminals: Day char(8), IP char(16), NoIp tinyint(4), Name char(16), F "
                 "bigint(20), Bytes double",
                 "daytitles: Day char(8), TitleBin varbinary(400), Team char(16), NoTeam "
                 "tinyint(4), Result char(4), NoResult tinyint(4), Title char(100), N bigint(20)",
                 "hourpages: Day char(8), Hour char(2), URL char(150), NoUrl tinyint(4), Title "
                 "char(100), F bigint(20)",
                 "hourterminals: Day char(8), Hour char(2), IP char(16), NoIp tinyint(4), Name "
                 "char(16), F bigint(20), Bytes double",
                 "locktable: Name char(32), Owner char(64), Expires datetime",
                 // The row key a cluster needs, invisible to SELECT * and to an INSERT
                 // without a column list.
                 "logtable: Name char(16), IP char(16), AcTime char(17), Team char(16), Title "
                 "char(100), URL char(150), Class char(10), Result char(4), nLength char(10), F "
                 "int(11), RowId bigint(20) unsigned",
                 "passwordtable: Name char(16), Pass char(16)",
                 "summarydays: Day char(8), Upto char(17)",
                 "upsendtable: Name char(16), IP char(16), URL char(150), AcTime char(17), "
                 "UpSendTxt longtext, RowId bigint(20) unsigned"}));
    QStringList masks;
    for (char c = 'A'; c <= 'L'; ++c)
        masks << QStringLiteral("%1 char(24)").arg(QLatin1Char(c));
    QCOMPARE(columnsOf(QStringLiteral("ipdata")),
             (QStringList{"blacktable: Name char(150), Title char(100), Class char(10), S char(1)",
                          "chatport: Port char(5), Class char(10), Flag char(1)",
                          "classtable: Class char(10), Code char(1)", traffic("downtable"),
                          "grouptable: Team char(16), DnLog char(1), UpLog char(1), " +
                              masks.join(QStringLiteral(", ")),
                          "serverip: IP char(16), Port char(5)", traffic("uptable"),
                          "usertable: Name char(16), IP char(16), Team char(16)",
                          "webtable: URL char(150), Title char(100), Class char(10), AcTime "
                          "char(17), SF char(1)",
                          "whitetable: Name char(150), Title char(100), S char(1), SF char(1)"}));
    QCOMPARE(indexesOf(QStringLiteral("dovrik")),
             (QStringList{"daypages.PRIMARY(Day,URL,NoUrl)", "dayterminals.PRIMARY(Day,IP,NoIp)",
                          "daytitles.PRIMARY(Day,TitleBin,Team,NoTeam,Result,NoResult)",
                          "hourpages.PRIMARY(Day,Hour,URL,NoUrl)",
                          "hourterminals.PRIMARY(Day,Hour,IP,NoIp)", "locktable.PRIMARY(Name)",
                          "logtable.AcTimeIndex(AcTime)", "logtable.ClassTime(Class,AcTime,Result)",
                          "logtable.IpTime(IP,AcTime,Class,Result)", "logtable.PRIMARY(RowId)",
                          "logtable.ResultTime(Result,AcTime)",
                          "logtable.TeamTime(Team,AcTime,Class,Result)", "summarydays.PRIMARY(Day)",
                          "upsendtable.AcTimeSend(AcTime)", "upsendtable.IpSendTime(IP,AcTime)",
                          "upsendtable.PRIMARY(RowId)"}));
    QCOMPARE(indexesOf(QStringLiteral("ipdata")),
             (QStringList{"blacktable.BlackIndex(Name)", "usertable.IPIndex(IP)",
                          "webtable.WebIndex(URL)", "webtable.Web_Time(AcTime)",
                          "whitetable.whitetable(Name)"}));

    QCOMPARE(test::sql("SELECT * FROM passwordtable", "dovrik"), QStringLiteral("ADM\t739\n"));
    QCOMPARE(test::sql("SELECT COUNT(*) FROM logtable; SELECT COUNT(*) FROM upsendtable", "dovrik"),
             QStringLiteral("0\n0\n"));
    QCOMPARE(test::sql("SELECT * FROM ServerIP", "ipdata"), QStringLiteral("192.168.1.2\t5677\n"));
    QCOMPARE(test::sql("SELECT GROUP_CONCAT(CONCAT(Code,Class) SEPARATOR ' ') FROM classtable",
                       "ipdata"),
             QStringLiteral(
                 "A上网 B反动 C邪教 D色情 E成人 F用品 G同志 H交友 I聊天 J游戏 K证券 L其它\n"));
    const QString zeros(24, u'0');
    QCOMPARE(test::sql("SELECT * FROM grouptable", "ipdata"),
             QStringLiteral("临时工作组\t0\t0\t") + QStringList(12, zeros).join(u'\t') + u'\n');
    const auto delivered =
        blacklist::read(test::sourceDir() + QStringLiteral("/data/BlackName.dat"));
    QStringList expected;
    for (const auto& r : delivered->records)
        expected << QStringList{r.domain, r.title, r.className, "N"}.join(u'\t');
    expected.sort();
    QStringList stored =
        test::sql("SELECT * FROM blacktable", "ipdata").split(u'\n', Qt::SkipEmptyParts);
    stored.sort();
    QCOMPARE(stored, expected);
    QCOMPARE(test::sql("SELECT (SELECT COUNT(*) FROM ChatPort)+(SELECT COUNT(*) FROM usertable)+"
                       "(SELECT COUNT(*) FROM webtable)+(SELECT COUNT(*) FROM whitetable)+"
                       "(SELECT COUNT(*) FROM uptable)+(SELECT COUNT(*) FROM downtable)",
                       "ipdata"),
             QStringLiteral("0\n"));
}

void Database::rerunAfterFailedDrop()
{
    initialiseBoth(false);
    // An account that may do everything with the two databases but drop them.
    test::sql(QStringLiteral("CREATE USER IF NOT EXISTS 'lt_nodrop'@'localhost' IDENTIFIED BY 'x';"
                             "GRANT SELECT, INSERT, UPDATE, DELETE, CREATE, INDEX ON dovrik.* TO "
                             "'lt_nodrop'@'localhost';"
                             "GRANT SELECT, INSERT, UPDATE, DELETE, CREATE, INDEX ON ipdata.* TO "
                             "'lt_nodrop'@'localhost';"));
    db::Connection log;
    QVERIFY(log.open(logString(), QStringLiteral("lt_nodrop"), QStringLiteral("x")));
    QVERIFY(!schema::initialiseLogDatabase(log).ok());
    db::Connection config;
    QVERIFY(config.open(configString(), QStringLiteral("lt_nodrop"), QStringLiteral("x")));
    schema::initialiseConfigDatabase(config,
                                     test::sourceDir() + QStringLiteral("/data/BlackName.dat"),
                                     QStringLiteral("10.0.0.9"));
    test::sql(QStringLiteral("DROP USER 'lt_nodrop'@'localhost'"));
    QCOMPARE(test::sql("SELECT COUNT(*) FROM passwordtable", "dovrik"), QStringLiteral("1\n"));
    QCOMPARE(test::sql("SELECT * FROM ServerIP", "ipdata"), QStringLiteral("192.168.1.2\t5677\n"));
    QCOMPARE(test::sql("SELECT COUNT(*) FROM classtable", "ipdata"), QStringLiteral("12\n"));
    // The group row and the black list carry no check: they are there twice now.
    QCOMPARE(test::sql("SELECT COUNT(*) FROM grouptable", "ipdata"), QStringLiteral("2\n"));
    QCOMPARE(test::sql("SELECT COUNT(*) FROM blacktable", "ipdata"), QStringLiteral("100\n"));
}

void Database::statementsAsSent()
{
    QStringList sent;
    const int id = db::addStatementObserver([&](const db::StatementEvent& e) {
        if (e.kind == db::StatementEvent::Statement && e.dsn == dsn::kLogDsn)
            sent << e.text;
    });
    db::Connection log;
    QVERIFY(schema::openForInitialisation(log, logString()));
    schema::initialiseLogDatabase(log);
    db::removeStatementObserver(id);
    // After the reading indexes and the row keys come the day sums, named in the log database
    // (a look at what is there, the tables, the triggers that keep them true), and the fold of
    // the (empty) log.
    const QStringList sums = sent.mid(19);
    sent = sent.mid(0, 19);
    QCOMPARE(sums.size(), 11);
    QVERIFY(sums[0].startsWith(
        QStringLiteral("SELECT 'T',TABLE_NAME,ENGINE FROM information_schema.TABLES")));
    QVERIFY(sums[1].startsWith(QStringLiteral("CREATE TABLE dovrik.summarydays(")));
    QVERIFY(sums[2].startsWith(QStringLiteral("CREATE TABLE dovrik.daypages(")));
    QVERIFY(sums[3].startsWith(QStringLiteral("CREATE TABLE dovrik.dayterminals(")));
    QVERIFY(sums[4].startsWith(QStringLiteral("CREATE TABLE dovrik.hourpages(")));
    QVERIFY(sums[5].startsWith(QStringLiteral("CREATE TABLE dovrik.hourterminals(")));
    QVERIFY(sums[6].startsWith(QStringLiteral("CREATE TABLE dovrik.daytitles(")));
    QVERIFY(sums[7].startsWith(QStringLiteral(
        "CREATE OR REPLACE TRIGGER dovrik.logtable_forget_late AFTER INSERT ON dovrik.logtable ")));
    QVERIFY(sums[8].startsWith(
        QStringLiteral("CREATE OR REPLACE TRIGGER dovrik.logtable_forget_deleted AFTER DELETE ON "
                       "dovrik.logtable ")));
    QVERIFY(sums[9].startsWith(
        QStringLiteral("CREATE OR REPLACE TRIGGER dovrik.logtable_forget_changed AFTER UPDATE ON "
                       "dovrik.logtable ")));
    QVERIFY(sums[10].startsWith(QStringLiteral("SELECT (SELECT MIN(AcTime) FROM logtable WHERE")));
    QCOMPARE(
        sent,
        (QStringList{"Drop Database dovrik", "Create Database dovrik",
                     "CREATE TABLE passwordtable(Name CHAR(16),Pass CHAR(16))",
                     "SELECT * FROM passwordtable", "INSERT INTO passwordtable VALUES('ADM','739')",
                     "CREATE TABLE logtable(Name CHAR(16),IP CHAR(16),AcTime CHAR(17),Team "
                     "CHAR(16),Title CHAR(100),URL CHAR(150),Class CHAR(10),Result CHAR(4),nLength "
                     "CHAR(10),F INTEGER)",
                     "CREATE Index AcTimeIndex ON logtable(AcTime)",
                     "CREATE TABLE upsendtable(Name CHAR(16),IP CHAR(16),URL CHAR(150),AcTime "
                     "CHAR(17),UpSendTxt LONGTEXT)",
                     "CREATE Index AcTimeSend ON upsendtable(AcTime)",
                     "SELECT DISTINCT TABLE_NAME, INDEX_NAME FROM information_schema.STATISTICS "
                     "WHERE TABLE_SCHEMA='dovrik'",
                     "ALTER TABLE dovrik.logtable ADD INDEX IpTime (IP,AcTime,Class,Result), "
                     "ALGORITHM=INPLACE, LOCK=NONE",
                     "ALTER TABLE dovrik.logtable ADD INDEX TeamTime (Team,AcTime,Class,Result), "
                     "ALGORITHM=INPLACE, LOCK=NONE",
                     "ALTER TABLE dovrik.logtable ADD INDEX ClassTime (Class,AcTime,Result), "
                     "ALGORITHM=INPLACE, LOCK=NONE",
                     "ALTER TABLE dovrik.logtable ADD INDEX ResultTime (Result,AcTime), "
                     "ALGORITHM=INPLACE, LOCK=NONE",
                     "ALTER TABLE dovrik.upsendtable ADD INDEX IpSendTime (IP,AcTime), "
                     "ALGORITHM=INPLACE, LOCK=NONE",
                     "SELECT LOWER(TABLE_NAME) FROM information_schema.TABLE_CONSTRAINTS WHERE "
                     "TABLE_SCHEMA='dovrik' AND CONSTRAINT_TYPE='PRIMARY KEY'",
                     "CREATE TABLE IF NOT EXISTS dovrik.locktable(Name CHAR(32) NOT NULL PRIMARY "
                     "KEY,Owner CHAR(64) NOT NULL,Expires DATETIME NOT NULL) ENGINE=InnoDB",
                     "ALTER TABLE dovrik.logtable ADD COLUMN RowId BIGINT UNSIGNED NOT NULL "
                     "AUTO_INCREMENT INVISIBLE, ADD PRIMARY KEY (RowId)",
                     "ALTER TABLE dovrik.upsendtable ADD COLUMN RowId BIGINT UNSIGNED NOT NULL "
                     "AUTO_INCREMENT INVISIBLE, ADD PRIMARY KEY (RowId)"}));
    const auto seeds = schema::remoteSeedSteps(QStringLiteral("192.168.1.2"));
    QCOMPARE(seeds.back().statements.value(0),
             QStringLiteral(
                 "INSERT INTO grouptable VALUES( '临时工作组','0','0','000000000000000000000000',"
                 "'000000000000000000000000','000000000000000000000000',"
                 "'000000000000000000000000','000000000000000000000000',"
                 "'000000000000000000000000','000000000000000000000000',"
                 "'000000000000000000000000','000000000000000000000000',"
                 "'000000000000000000000000','000000000000000000000000',"
                 "'000000000000000000000000')"));
    QCOMPARE(seeds.front().statements.value(0),
             QStringLiteral("INSERT INTO ServerIP VALUES('192.168.1.2',5677)"));
    QCOMPARE(seeds[1].statements.value(0),
             QStringLiteral("INSERT INTO classtable VALUES('上网','A')"));
}

void Database::mixedCaseTableNames()
{
    db::Connection log;
    QVERIFY(log.open(logString()));
    QVERIFY(log.execute("DELETE FROM LogTable"));
    QVERIFY(log.execute("INSERT INTO LogTable (Name, AcTime) VALUES ('a','09-12-31 23:59:59')"));
    QVERIFY(log.execute("INSERT INTO logtable (Name, AcTime) VALUES ('b','10-01-01 00:00:00')"));
    db::Recordset rs = log.query("SELECT Name FROM LOGTABLE ORDER BY AcTime");
    QCOMPARE(rs.recordCount(), 2);
    QCOMPARE(rs.field("name").toString(), QStringLiteral("a")); // the end of 2009 sorts first
    rs = log.query("SELECT COUNT(AcTime) FROM LogTable WHERE AcTime>='10-01-01 00:00:00' AND "
                   "AcTime<='10-01-01 23:59:59'");
    QCOMPARE(rs.field(0).toInt(), 1);
    QVERIFY(log.execute("DELETE FROM logtable"));
}

void Database::textRoundTrips()
{
    db::Connection config;
    QVERIFY(config.open(configString()));
    const QStringList values = {
        QStringLiteral("中文标题：访问日志"), QStringLiteral("O'Brien's"),
        QStringLiteral("C:\\temp\\new"),      QStringLiteral("\\'; DROP TABLE x; --"),
        QStringLiteral("trailing  "),         QStringLiteral("emoji 😀 ok")};
    QVERIFY(config.execute("DELETE FROM whitetable"));
    for (const QString& v : values)
        QVERIFY2(config.execute(QStringLiteral("INSERT INTO whitetable VALUES('") +
                                db::sqlEscape(v) + QStringLiteral("','") + db::sqlEscape(v) +
                                QStringLiteral("','S','Y')")),
                 qPrintable(config.lastError().message));
    for (const QString& v : values) {
        db::Recordset rs =
            config.query(QStringLiteral("SELECT * FROM whitetable WHERE Trim(Name)='") +
                         db::sqlEscape(v.trimmed()) + u'\'');
        QCOMPARE(rs.recordCount(), 1);
        QCOMPARE(rs.field("Title").toString(), v.endsWith(u' ') ? v.trimmed() : v);
    }
    // Seen the same way by other clients: the text is stored, not its code units.
    QCOMPARE(test::sql("SELECT Name FROM whitetable WHERE Name LIKE '中文%'", "ipdata"),
             QStringLiteral("中文标题：访问日志\n"));
    QVERIFY(config.execute("DELETE FROM whitetable"));
}

void Database::blackListWithQuotesImported()
{
    const QString file = install_.appDir() + QStringLiteral("/quoted.dat");
    test::writeFile(file,
                    gbk::encode(u" 3 \r\na.example\r\nO'Brien 的网站\r\n其它\r\n"
                                u"b.example\\\r\n反斜杠\\\r\n游戏\r\nc.example\r\n丙\r\n色情\r\n"));
    db::Connection config;
    QVERIFY(config.open(configString()));
    QVERIFY(config.execute("DELETE FROM blacktable"));
    const blacklist::ImportResult r = blacklist::import(config, file);
    QVERIFY(r.fileFound);
    QCOMPARE(r.inserted, 3);
    QCOMPARE(
        test::sql("SELECT Name, Title, Class, S FROM blacktable ORDER BY Name", "ipdata"),
        QStringLiteral("a.example\tO'Brien 的网站\t其它\tN\nb.example\\\\\t反斜杠\\\\\t游戏\tN\n"
                       "c.example\t丙\t色情\tN\n"));
    QVERIFY(!blacklist::import(config, file + QStringLiteral(".missing")).fileFound);
}

void Database::recordsets()
{
    db::Connection config;
    QVERIFY(config.open(configString()));
    QVERIFY(config.execute("DELETE FROM usertable"));
    for (int i = 1; i <= 12; ++i)
        QVERIFY(
            config.execute(QStringLiteral("INSERT INTO usertable VALUES('T%1','10.0.0.%1',%2)")
                               .arg(i, 2, 10, QLatin1Char('0'))
                               .arg(i == 12 ? QStringLiteral("NULL") : QStringLiteral("'组'"))));
    db::Recordset rs = config.query("SELECT * FROM usertable ORDER BY Name");
    QCOMPARE(rs.recordCount(), 12);
    QCOMPARE(rs.fieldCount(), 3);
    QCOMPARE(rs.fieldName(1), QStringLiteral("IP"));
    QVERIFY(!rs.eof() && !rs.bof());
    QCOMPARE(rs.absolutePosition(), 1);
    rs.setPageSize(5);
    QCOMPARE(rs.pageCount(), 3);
    rs.setAbsolutePage(3);
    QCOMPARE(rs.field("Name").toString(), QStringLiteral("T11"));
    QCOMPARE(rs.absolutePage(), 3);
    rs.moveNext();
    QVERIFY(rs.field("Team").isNull());
    rs.moveNext();
    QVERIFY(rs.eof());
    QVERIFY(rs.field("Name").isNull());
    rs.moveNext(); // past the end stays at the end
    rs.movePrevious();
    QCOMPARE(rs.field(0).toString(), QStringLiteral("T12"));
    rs.moveFirst();
    rs.movePrevious();
    QVERIFY(rs.bof());
    QCOMPARE(rs.absolutePosition(), 0);
    rs.moveLast();
    QCOMPARE(rs.absolutePosition(), 12);

    db::Recordset none = config.query("SELECT * FROM usertable WHERE Name='nobody'");
    QCOMPARE(none.recordCount(), 0);
    QVERIFY(none.eof() && none.bof());
    db::Recordset bad = config.query("SELECT * FROM no_such_table");
    QVERIFY(config.failed());
    QCOMPARE(config.lastError().sqlState, QStringLiteral("42S02"));
    QVERIFY(!bad.isOpen());
    QCOMPARE(bad.recordCount(), -1);
    QVERIFY(bad.eof());
    config.query("SELECT 1");
    QVERIFY(!config.failed()); // the next operation clears the error state
    QCOMPARE(db::Value(" 42 ").toInt(), 42);
    bool ok = true;
    QCOMPARE(db::Value("abc").toInt(&ok), 0);
    QVERIFY(!ok);
    QVERIFY(config.execute("DELETE FROM usertable"));
}

void Database::transactions()
{
    db::Connection config;
    QVERIFY(config.open(configString()));
    QVERIFY(config.execute("DELETE FROM ChatPort"));
    QVERIFY(config.beginTransaction());
    QVERIFY(config.execute("INSERT INTO ChatPort VALUES('8000','聊天','1')"));
    QVERIFY(!config.execute("INSERT INTO ChatPort VALUES('80000000','聊天','1')")); // too long
    QVERIFY(config.execute("INSERT INTO ChatPort VALUES('8001','游戏','1')"));
    QVERIFY(config.commit());
    QCOMPARE(test::sql("SELECT COUNT(*) FROM ChatPort", "ipdata"), QStringLiteral("2\n"));
    QVERIFY(config.beginTransaction());
    QVERIFY(config.execute("DELETE FROM ChatPort"));
    QVERIFY(config.rollback());
    QCOMPARE(test::sql("SELECT COUNT(*) FROM ChatPort", "ipdata"), QStringLiteral("2\n"));
    QVERIFY(config.execute("DELETE FROM ChatPort"));
}

void Database::credentialChoiceReachesAccounts()
{
    install_.registerLocal();
    db::Connection local;
    QVERIFY2(local.open(logString()), qPrintable(local.lastError().message));
    QCOMPARE(local.query("SELECT DATABASE()").field(0).toString(), QStringLiteral("dovrik"));
    const QString me = local.query("SELECT CURRENT_USER()").field(0).toString();
    QVERIFY2(me.endsWith(QStringLiteral("@localhost")) && !me.startsWith(u'@'), qPrintable(me));

    dsn::registerDataSources(QStringLiteral("127.0.0.1"), Installation::server().port);
    QCOMPARE(configString(), QStringLiteral("DSN=RemoteAcTable;uid=qmlxdovrik;pwd=tovk318254;"));
    db::Connection remote;
    QVERIFY2(remote.open(configString()), qPrintable(remote.lastError().message));
    QCOMPARE(remote.query("SELECT CURRENT_USER()").field(0).toString(),
             QStringLiteral("qmlxdovrik@%"));
    QCOMPARE(remote.query("SELECT DATABASE()").field(0).toString(), QStringLiteral("ipdata"));
    // The keeper's strings (empty account, the log one without closing semicolon) log in with
    // the account stored in the data source.
    for (const QString& string : {dsn::kKeeperLogString, dsn::kKeeperConfigString}) {
        db::Connection keeper;
        QVERIFY2(keeper.open(string), qPrintable(keeper.lastError().message));
        QCOMPARE(keeper.query("SELECT CURRENT_USER()").field(0).toString(),
                 QStringLiteral("qmlxdovrik@%"));
    }
    install_.registerLocal();
    db::Connection keeperLocal;
    QVERIFY2(keeperLocal.open(dsn::kKeeperLogString), qPrintable(keeperLocal.lastError().message));
}

void Database::consoleObject()
{
    CMySql db;
    QVERIFY(db.Cnn0.open(logString()));
    QVERIFY(db.Cnn1.open(configString()));
    QVERIFY(db.Cnn2.open(logString()));
    // What the views rely on from their recordsets: a known count, moving both ways, pages.
    db.rst1 = db.Cnn1.query("SELECT Class, Code FROM classtable ORDER BY Code");
    QCOMPARE(db.rst1.recordCount(), 12);
    db.rst1.moveLast();
    QCOMPARE(db.rst1.field("Code").toString(), QStringLiteral("L"));
    db.rst1.move(-11);
    QCOMPARE(db.rst1.field("Class").toString(), QStringLiteral("上网"));
    db.rst1.setPageSize(5);
    db.rst1.setAbsolutePage(3);
    QCOMPARE(db.rst1.field("Code").toString(), QStringLiteral("K"));
    // A recordset stays readable after the connection that filled it is closed.
    db.Cnn1.close();
    QCOMPARE(db.rst1.recordCount(), 12);
    QCOMPARE(db.rst1.field("Code").toString(), QStringLiteral("K"));
    QVERIFY(db.Cnn0.query("SELECT * FROM classtable").recordCount() < 0); // log database only
    QCOMPARE(db.Cnn2.query("SELECT DATABASE()").field(0).toString(), QStringLiteral("dovrik"));
}

void Database::serverDownOrSilent()
{
    // A server that accepts connections but never answers, and no server at all.
    QTcpServer silent;
    QVERIFY(silent.listen(QHostAddress::LocalHost));
    lt::ServerSettings settings = lt::Installation::server();
    const lt::ServerSettings saved = settings;
    for (const QString& port : {QString::number(silent.serverPort()), QStringLiteral("1")}) {
        settings.port = port;
        QVERIFY(lt::Installation::writeServerSettings(settings));
        dsn::registerDataSources(QStringLiteral("127.0.0.1"), port);
        db::Connection c;
        QElapsedTimer timer;
        timer.start();
        QVERIFY(!c.open(logString()));
        const qint64 ms = timer.elapsed();
        QVERIFY(c.failed());
        qInfo("port %s: open failed after %lld ms: %s", qPrintable(port), ms,
              qPrintable(c.lastError().message));
        // The silent server is given up after the login timeout; no server at all at once.
        const bool silent = port != QStringLiteral("1");
        QVERIFY2(ms < (db::Connection::kLoginTimeoutSeconds + 5) * 1000, "the login timeout");
        if (silent) {
            QCOMPARE(c.lastError().sqlState, QStringLiteral("HYT00"));
            QVERIFY(ms >= (db::Connection::kLoginTimeoutSeconds - 1) * 1000);
        } else {
            QVERIFY(c.lastError().sqlState != QStringLiteral("HYT00"));
        }
        QVERIFY(!c.isOpen());
        QVERIFY(!c.execute("SELECT 1"));
    }
    QVERIFY(lt::Installation::writeServerSettings(saved));
    install_.registerLocal();
}

QTEST_GUILESS_MAIN(Database)
#include "test_database.moc"
