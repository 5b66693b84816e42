// The database layer against a server of this test's own, which it reconfigures, restarts and
// freezes: values reach the server unchanged whatever its sql_mode, an empty account means the
// data source's own, connections reopen after a restart, and a frozen server times out.

#include "common/dbconnect.h"
#include "common/odbc.h"
#include "tests/support/privateserver.h"
#include "tests/support/testsupport.h"

#include <QElapsedTimer>
#include <QTest>
#include <atomic>
#include <thread>

using namespace lt;

namespace
{

const QString kSocketSource = QStringLiteral("DSN=LtSocket;uid=;pwd=;");
const QString kTcpSource = QStringLiteral("DSN=LtTcp;uid=;pwd=");

// What the observer saw, as "kind ok text".
struct Events {
    QStringList list;
    int id;
    Events()
    {
        id = db::addStatementObserver([this](const db::StatementEvent& e) {
            static const char* kinds[] = {"open", "statement", "reopen"};
            list << QStringLiteral("%1 %2 %3")
                        .arg(QLatin1String(kinds[e.kind]),
                             e.ok ? QStringLiteral("ok") : QStringLiteral("failed"), e.text);
        });
    }
    ~Events() { db::removeStatementObserver(id); }
};

QString one(db::Connection& c, const QString& sql)
{
    return c.query(sql).field(0).toString();
}

} // namespace

class DbServer : public QObject
{
    Q_OBJECT
    test::TestInstallation install_;
    test::PrivateServer server_;

private slots:
    void initTestCase();
    void hostileValuesInBothModes();
    void emptyAccountIsTheSourcesOwn();
    void reopenedAfterRestart();
    void reopenedAfterAKill();
    void notReopenedInsideTransaction();
    void timeouts();
    void frozenServerTimesOut();
};

void DbServer::initTestCase()
{
    server_.sql(QStringLiteral("CREATE DATABASE lt_a; CREATE DATABASE lt_b;"
                               "CREATE TABLE lt_a.v (id INT PRIMARY KEY, s VARCHAR(600));"
                               "CREATE TABLE lt_b.t (n INT) ENGINE=InnoDB;"));
    test::registerSource(QStringLiteral("LtSocket"), server_.source(QStringLiteral("lt_a")));
    // Over TCP the superuser's socket login does not apply: a stored account.
    server_.sql(QStringLiteral("CREATE USER 'lt_tcp'@'%' IDENTIFIED BY 'pw2';"
                               "GRANT ALL ON lt_a.* TO 'lt_tcp'@'%';"
                               "GRANT ALL ON lt_b.* TO 'lt_tcp'@'%';"));
    test::SourceSettings tcp = server_.source(QStringLiteral("lt_a"), true);
    tcp.user = QStringLiteral("lt_tcp");
    tcp.password = QStringLiteral("pw2");
    test::registerSource(QStringLiteral("LtTcp"), tcp);
}

void DbServer::hostileValuesInBothModes()
{
    const QStringList values = {
        QStringLiteral("O'Brien"),     QStringLiteral("C:\\temp\\new\\"),
        QStringLiteral("\\'"),         QStringLiteral("100%"),
        QStringLiteral("a_b%_"),       QStringLiteral("'; DROP TABLE x; --"),
        QStringLiteral("😀 🀄 𠀋"),      QStringLiteral("表功许"),
        QStringLiteral("\\\\表'功\\"), QString(150, QChar(0x8868)) + QStringLiteral("许")};
    for (const QString& mode :
         {QStringLiteral("STRICT_TRANS_TABLES"),
          QStringLiteral("STRICT_TRANS_TABLES,NO_BACKSLASH_ESCAPES,ANSI_QUOTES")}) {
        server_.sql(QStringLiteral("SET GLOBAL sql_mode='%1'").arg(mode));
        Events events;
        db::Connection c;
        QVERIFY2(c.open(kSocketSource), qPrintable(c.lastError().message));
        QVERIFY(!one(c, QStringLiteral("SELECT @@SESSION.sql_mode"))
                     .contains(QStringLiteral("NO_BACKSLASH_ESCAPES")));
        QVERIFY(c.execute(QStringLiteral("DELETE FROM v")));
        for (int i = 0; i < values.size(); ++i)
            QVERIFY2(c.execute(QStringLiteral("INSERT INTO v VALUES (%1,'%2')")
                                   .arg(i)
                                   .arg(db::sqlEscape(values[i]))),
                     qPrintable(c.lastError().message));
        for (int i = 0; i < values.size(); ++i) {
            // Read back, and found by its value.
            QCOMPARE(one(c, QStringLiteral("SELECT s FROM v WHERE id=%1").arg(i)), values[i]);
            QCOMPARE(
                one(c,
                    QStringLiteral("SELECT id FROM v WHERE s='%1'").arg(db::sqlEscape(values[i]))),
                QString::number(i));
        }
        // The server holds them as typed (the client escapes \ and tab in its output).
        QCOMPARE(server_.sql(QStringLiteral("SELECT s FROM v WHERE id=1"), QStringLiteral("lt_a")),
                 QStringLiteral("C:\\\\temp\\\\new\\\\\n"));
        QCOMPARE(server_.sql(QStringLiteral("SELECT COUNT(*) FROM v"), QStringLiteral("lt_a")),
                 QStringLiteral("%1\n").arg(values.size()));
        // A value holding NUL is refused, in either mode.
        QVERIFY(!c.execute(QStringLiteral("INSERT INTO v VALUES (99,'a") + QChar(0) +
                           QStringLiteral("b')")));
        QCOMPARE(c.lastError().sqlState, db::kStateNulInStatement);
        // The session's mode is no statement of the programs.
        QCOMPARE(events.list.first(), QStringLiteral("open ok ") + kSocketSource);
        QCOMPARE(events.list.filter(QStringLiteral("sql_mode=")).size(), 0);
    }
    server_.sql(QStringLiteral("SET GLOBAL sql_mode=DEFAULT"));
}

void DbServer::emptyAccountIsTheSourcesOwn()
{
    server_.sql(QStringLiteral("CREATE USER 'lt_stored'@'localhost' IDENTIFIED BY 'pw1';"
                               "GRANT SELECT ON lt_a.* TO 'lt_stored'@'localhost';"));
    test::SourceSettings stored = server_.source(QStringLiteral("lt_a"));
    stored.user = QStringLiteral("lt_stored");
    stored.password = QStringLiteral("pw1");
    test::registerSource(QStringLiteral("LtStored"), stored);
    // The programs' strings, with and without the closing semicolon, over socket and TCP.
    for (const QString& string : {QStringLiteral("DSN=LtStored;uid=;pwd=;"),
                                  QStringLiteral("DSN=LtStored;uid=;pwd="), kTcpSource}) {
        Events events;
        db::Connection c;
        QVERIFY2(c.open(string), qPrintable(string + u' ' + c.lastError().message));
        QCOMPARE(c.connectionString(), string);
        QCOMPARE(events.list, QStringList{QStringLiteral("open ok ") + string});
        const QString expected = string == kTcpSource ? QStringLiteral("lt_tcp@%")
                                                      : QStringLiteral("lt_stored@localhost");
        QCOMPARE(one(c, QStringLiteral("SELECT CURRENT_USER()")), expected);
    }
    // An account in the string or given to open() still wins over the stored one.
    db::Connection other;
    QVERIFY(other.open(QStringLiteral("DSN=LtStored;uid=lt_tcp;pwd=pw2;")));
    QCOMPARE(one(other, QStringLiteral("SELECT CURRENT_USER()")), QStringLiteral("lt_tcp@%"));
    QVERIFY(!other.open(QStringLiteral("DSN=LtStored;uid=;pwd=;"), QStringLiteral("lt_stored"),
                        QStringLiteral("wrong")));
    QCOMPARE(other.lastError().native, 1045);
    server_.sql(QStringLiteral("DROP USER 'lt_stored'@'localhost'"));
}

void DbServer::reopenedAfterRestart()
{
    server_.sql(QStringLiteral("SET GLOBAL sql_mode='NO_BACKSLASH_ESCAPES'"));
    for (const QString& string : {kSocketSource, kTcpSource}) {
        db::Connection c;
        QVERIFY2(c.open(string), qPrintable(c.lastError().message));
        QVERIFY(c.selectDatabase(QStringLiteral("lt_b")));
        QVERIFY(server_.stop() && server_.start());
        server_.sql(QStringLiteral("SET GLOBAL sql_mode='NO_BACKSLASH_ESCAPES'"));
        Events events;
        QVERIFY2(c.execute(QStringLiteral("INSERT INTO t VALUES (1)")),
                 qPrintable(c.lastError().message));
        // Sent again once on a reopened connection: same database, same session settings.
        QCOMPARE(events.list,
                 (QStringList{QStringLiteral("reopen ok ") + string,
                              QStringLiteral("statement ok INSERT INTO t VALUES (1)")}));
        QCOMPARE(one(c, QStringLiteral("SELECT DATABASE()")), QStringLiteral("lt_b"));
        QVERIFY(!one(c, QStringLiteral("SELECT @@SESSION.sql_mode"))
                     .contains(QStringLiteral("NO_BACKSLASH")));

        // Stopped for good: reported; once the server is back the next statement works.
        QVERIFY(server_.stop());
        QVERIFY(!c.execute(QStringLiteral("INSERT INTO t VALUES (2)")));
        QVERIFY2(db::connectionLost(c.lastError()), qPrintable(c.lastError().message));
        QVERIFY(!c.isOpen());
        QVERIFY(!c.execute(QStringLiteral("INSERT INTO t VALUES (3)")));
        QVERIFY(server_.start());
        QVERIFY2(c.execute(QStringLiteral("INSERT INTO t VALUES (4)")),
                 qPrintable(c.lastError().message));
        QVERIFY(c.isOpen());
        QCOMPARE(
            server_.sql(QStringLiteral("SELECT GROUP_CONCAT(n ORDER BY n) FROM t; DELETE FROM t"),
                        QStringLiteral("lt_b")),
            QStringLiteral("1,4\n"));
    }
    server_.sql(QStringLiteral("SET GLOBAL sql_mode=DEFAULT"));
}

// The server ends one connection (KILL, as an administrator or a restarted proxy does): the
// driver reads the kill notice as the answer to the next statement and calls the connection
// not open afterwards. Both are a lost connection: the statement is sent again on a new one.
void DbServer::reopenedAfterAKill()
{
    for (const QString& string : {kSocketSource, kTcpSource}) {
        db::Connection c;
        QVERIFY2(c.open(string), qPrintable(c.lastError().message));
        QVERIFY(c.selectDatabase(QStringLiteral("lt_b")));
        const QString id = one(c, QStringLiteral("SELECT CONNECTION_ID()"));
        server_.sql(QStringLiteral("KILL ") + id);
        Events events;
        QVERIFY2(c.execute(QStringLiteral("INSERT INTO t VALUES (5)")),
                 qPrintable(c.lastError().message));
        QVERIFY(!c.failed()); // what failed before the reopening is not left behind
        QCOMPARE(events.list.value(0), QStringLiteral("reopen ok ") + string);
        QVERIFY(one(c, QStringLiteral("SELECT CONNECTION_ID()")) != id);
        QCOMPARE(one(c, QStringLiteral("SELECT DATABASE()")), QStringLiteral("lt_b"));
        QCOMPARE(server_.sql(QStringLiteral("SELECT COUNT(*) FROM t; DELETE FROM t"),
                             QStringLiteral("lt_b")),
                 QStringLiteral("1\n"));
    }
}

void DbServer::notReopenedInsideTransaction()
{
    db::Connection c;
    QVERIFY(c.open(kSocketSource));
    QVERIFY(c.selectDatabase(QStringLiteral("lt_b")));
    QVERIFY(c.beginTransaction());
    QVERIFY(c.execute(QStringLiteral("INSERT INTO t VALUES (10)")));
    QVERIFY(server_.stop() && server_.start());
    Events events;
    // The transaction's first row went with the old connection: nothing may go on as if not.
    QVERIFY(!c.execute(QStringLiteral("INSERT INTO t VALUES (11)")));
    QVERIFY(!c.execute(QStringLiteral("INSERT INTO t VALUES (12)")));
    QVERIFY(!c.commit());
    QCOMPARE(events.list.filter(QStringLiteral("reopen")).size(), 0);
    // After the transaction the connection is reopened.
    QVERIFY2(c.execute(QStringLiteral("INSERT INTO t VALUES (13)")),
             qPrintable(c.lastError().message));
    QCOMPARE(server_.sql(QStringLiteral("SELECT GROUP_CONCAT(n) FROM t; DELETE FROM t"),
                         QStringLiteral("lt_b")),
             QStringLiteral("13\n"));
}

void DbServer::timeouts()
{
    db::Connection c;
    QCOMPARE(c.timeouts(), db::Connection::Timeouts::interactive());
    QVERIFY(c.setTimeouts({2, 2}));
    QVERIFY(c.open(kSocketSource));
    QElapsedTimer timer;
    timer.start();
    QVERIFY(!c.execute(QStringLiteral("SELECT SLEEP(4)")));
    const qint64 ms = timer.elapsed();
    qInfo("a 4 s statement with a 2 s read timeout failed after %lld ms: %s", ms,
          qPrintable(c.lastError().message));
    QVERIFY2(db::connectionLost(c.lastError()), qPrintable(c.lastError().message));
    QVERIFY2(ms < 3900, "a timed-out statement must not be sent again");
    // A longer profile on the open connection reopens it at once.
    Events events;
    QVERIFY(c.setTimeouts({6, 6}));
    QCOMPARE(events.list, QStringList{QStringLiteral("reopen ok ") + kSocketSource});
    QVERIFY2(c.execute(QStringLiteral("SELECT SLEEP(4)")), qPrintable(c.lastError().message));
    QVERIFY(c.beginTransaction());
    QVERIFY(!c.setTimeouts(db::Connection::Timeouts::longStatements()));
    QVERIFY(c.rollback());
    QVERIFY(c.setTimeouts(db::Connection::Timeouts::longStatements()));
}

void DbServer::frozenServerTimesOut()
{
    for (const QString& string : {kSocketSource, kTcpSource}) {
        db::Connection c;
        QVERIFY(c.setTimeouts({3, 3}));
        QVERIFY(c.open(string));
        // Stopped with SIGSTOP while the statement runs; continued at the latest after 60 s so
        // that a hang ends.
        std::atomic<bool> done = false;
        std::thread freezer([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            server_.freeze();
            for (int i = 0; i < 600 && !done; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            server_.thaw();
        });
        QElapsedTimer timer;
        timer.start();
        const bool ok = c.execute(QStringLiteral("SELECT SLEEP(1)"));
        const qint64 ms = timer.elapsed();
        done = true;
        freezer.join();
        qInfo("%s: frozen server, statement returned after %lld ms: %s", qPrintable(string), ms,
              qPrintable(c.lastError().message));
        QVERIFY(!ok);
        QVERIFY2(ms < 10000, "the statement waited for the frozen server");
        // Continued: the next statement works.
        QVERIFY2(c.execute(QStringLiteral("SELECT 1")), qPrintable(c.lastError().message));
    }
}

QTEST_GUILESS_MAIN(DbServer)
#include "test_dbserver.moc"
