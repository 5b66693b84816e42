// What the database layer does before and around the driver, without a server: the string the
// driver is given, which failures count as a lost connection, the statements of a chunked
// reading, and a data source whose driver library cannot be loaded.

#include "common/datasources.h"
#include "common/dbconnect.h"
#include "common/dbstream.h"
#include "common/odbc.h"
#include "common/registry.h"
#include "tests/support/testsupport.h"

#include <QTest>

using namespace lt;

class DbConnect : public QObject
{
    Q_OBJECT
    test::TestInstallation install_;

private slots:
    void emptyAccountMeansTheDataSources();
    void lostConnections();
    void chunkStatements();
    void unloadableDriverRefused();
};

void DbConnect::emptyAccountMeansTheDataSources()
{
    const db::Connection::Timeouts none{0, 0};
    // The strings of the programs: empty pairs left out, given ones kept as written.
    QCOMPARE(db::driverConnectionString(dsn::kKeeperLogString, {}, {}, none),
             QStringLiteral("DSN=LocalLogTable;CHARSET=utf8mb4;"));
    QCOMPARE(db::driverConnectionString(QStringLiteral("DSN=RemoteAcTable;uid=;pwd=;"), {}, {},
                                        db::Connection::Timeouts{30, 20}),
             QStringLiteral("DSN=RemoteAcTable;CHARSET=utf8mb4;READ_TIMEOUT=30;WRITE_TIMEOUT=20;"));
    QCOMPARE(db::driverConnectionString(dsn::connectionStrings(false).config, {}, {}, none),
             QStringLiteral("DSN=RemoteAcTable;uid=qmlxdovrik;pwd=tovk318254;CHARSET=utf8mb4;"));
    // Blanks around an empty value, upper case, only one of the two empty.
    QCOMPARE(db::driverConnectionString(QStringLiteral("DSN=A; UID = ;PWD=secret"), {}, {}, none),
             QStringLiteral("DSN=A;PWD=secret;CHARSET=utf8mb4;"));
    // An account given to open() comes after the string; braces keep semicolons of a value.
    QCOMPARE(db::driverConnectionString(QStringLiteral("DSN=A;uid=;pwd=;"), QStringLiteral("u"),
                                        QStringLiteral("p"), none),
             QStringLiteral("DSN=A;UID=u;PWD=p;CHARSET=utf8mb4;"));
    QCOMPARE(db::driverConnectionString(QStringLiteral("DSN=A;PWD={a;b};DATABASE=;"), {}, {}, none),
             QStringLiteral("DSN=A;PWD={a;b};DATABASE=;CHARSET=utf8mb4;"));
    // A character set the caller chose stays.
    QCOMPARE(db::driverConnectionString(QStringLiteral("DSN=A;charset=gbk"), {}, {}, none),
             QStringLiteral("DSN=A;charset=gbk;"));
    QCOMPARE(db::connectionStringValue(QStringLiteral("DSN=A;PWD={a;b}"), QStringLiteral("pwd")),
             std::optional<QString>(QStringLiteral("a;b")));
    QVERIFY(!db::connectionStringValue(QStringLiteral("DSN=A"), QStringLiteral("DRIVER")));
}

void DbConnect::lostConnections()
{
    const auto error = [](const char* state, int native, const char* message) {
        return db::Error{true, QString::fromLatin1(state), native, QString::fromLatin1(message)};
    };
    // As measured with this driver: a restarted server over its socket and over TCP, a timeout.
    QVERIFY(db::connectionLost(error("HY000", 5014, "Write error: Broken pipe (32)")));
    QVERIFY(db::connectionLost(error("08S01", 2013, "Lost connection to server during query")));
    QVERIFY(db::connectionLost(error("HY000", 2006, "Server has gone away")));
    // What the server refused is no lost connection.
    QVERIFY(!db::connectionLost(error("42S02", 1146, "Table 'x.y' doesn't exist")));
    QVERIFY(!db::connectionLost(error("HY000", 1205, "Lock wait timeout exceeded")));
    QVERIFY(!db::connectionLost(error("08003", 0, "connection not open")));
    QVERIFY(!db::connectionLost(db::Error{}));
}

void DbConnect::chunkStatements()
{
    db::ChunkedRead read;
    read.columns = QStringLiteral("Name,AcTime");
    read.table = QStringLiteral("logtable");
    read.chunkRows = 500;
    db::ChunkPosition at = db::firstChunk(read);
    QCOMPARE(db::chunkStatement(read, at),
             QStringLiteral("SELECT Name,AcTime FROM logtable WHERE AcTime IS NULL LIMIT 500"));
    at.stage = db::ChunkPosition::Stage::Keys;
    QCOMPARE(
        db::chunkStatement(read, at),
        QStringLiteral("SELECT Name,AcTime FROM logtable WHERE AcTime IS NOT NULL ORDER BY AcTime "
                       "LIMIT 500"));
    // After a chunk whose last 3 rows share their second: start at that second, 3 more rows.
    at.lastKey = QStringLiteral("26-12-07 10:00:00");
    at.seenCount = 3;
    read.condition = QStringLiteral("Name='a' OR Name='b'");
    QCOMPARE(db::chunkStatement(read, at),
             QStringLiteral("SELECT Name,AcTime FROM logtable WHERE (Name='a' OR Name='b') AND "
                            "AcTime>='26-12-07 10:00:00' ORDER BY AcTime LIMIT 503"));
    read.descending = true;
    at.lastKey = QStringLiteral("it's");
    QCOMPARE(db::chunkStatement(read, at),
             QStringLiteral("SELECT Name,AcTime FROM logtable WHERE (Name='a' OR Name='b') AND "
                            "AcTime<='it''s' ORDER BY AcTime DESC LIMIT 503"));
    QCOMPARE(db::firstChunk(read).stage, db::ChunkPosition::Stage::Keys);
    at.stage = db::ChunkPosition::Stage::Done;
    QVERIFY(db::chunkStatement(read, at).isEmpty());
}

void DbConnect::unloadableDriverRefused()
{
    // unixODBC aborts the whole program (libltdl assertion) on a library path ending in '/'.
    const QString key = reg::kOdbcIni + QStringLiteral("\\Broken");
    reg::createKey(key);
    QStringList events;
    const int id = db::addStatementObserver([&](const db::StatementEvent& e) {
        events << QStringLiteral("%1 %2 %3").arg(int(e.kind)).arg(e.text).arg(e.ok);
    });
    for (const QString& driver :
         {QStringLiteral("/"), QStringLiteral("/tmp/"), QStringLiteral("/no/such/libmaodbc.so")}) {
        QVERIFY(reg::setValue(key, QStringLiteral("Driver"), driver));
        db::Connection c;
        QVERIFY(!c.open(QStringLiteral("DSN=Broken;uid=;pwd=;")));
        QCOMPARE(c.lastError().sqlState, db::kStateDriverNotLoadable);
        QVERIFY2(c.lastError().message.contains(u'\'' + driver + u'\''),
                 qPrintable(c.lastError().message));
        QVERIFY(!c.isOpen());
        QVERIFY(!c.execute(QStringLiteral("SELECT 1")));
    }
    db::removeStatementObserver(id);
    QCOMPARE(events.size(), 6); // each open reported failed, each statement too
    QCOMPARE(events.first(), QStringLiteral("0 DSN=Broken;uid=;pwd=; 0"));

    // A driver name registered in odbcinst.ini with such a library, and in the string itself.
    test::writeFile(install_.systemDir() + QStringLiteral("/odbcinst.ini"),
                    test::readFile(install_.systemDir() + QStringLiteral("/odbcinst.ini")) +
                        "[Slash Driver]\nDriver=/\n");
    QVERIFY(reg::setValue(key, QStringLiteral("Driver"), QStringLiteral("Slash Driver")));
    db::Connection byName;
    QVERIFY(!byName.open(QStringLiteral("DSN=Broken")));
    QCOMPARE(byName.lastError().sqlState, db::kStateDriverNotLoadable);
    QVERIFY(!byName.open(QStringLiteral("DRIVER={Slash Driver};SERVER=localhost")));
    QCOMPARE(byName.lastError().sqlState, db::kStateDriverNotLoadable);
    // The installation's own driver passes the check (the driver then reports what else fails).
    QVERIFY(reg::setValue(key, QStringLiteral("Driver"), dsn::driverLibrary()));
    QVERIFY(db::driverProblem(QStringLiteral("DSN=Broken")).isEmpty());
    QVERIFY(
        db::driverProblem(QStringLiteral("DRIVER={") + dsn::kDriverDescription + u'}').isEmpty());
    QVERIFY(db::driverProblem(QStringLiteral("DSN=NoSuchSource")).isEmpty());
}

QTEST_GUILESS_MAIN(DbConnect)
#include "test_dbconnect.moc"
