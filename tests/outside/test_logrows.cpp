// The shared row writer against the real databases: statements that name their columns,
// values stored exactly as given (cut to their columns' widths), batches by count and by time,
// a refused row that costs only itself, traffic counters that add up across writers, and a
// server that goes away and comes back without a row lost or written twice.

#include "common/datasources.h"
#include "common/logrows.h"
#include "common/odbc.h"
#include "tests/support/privateserver.h"
#include "tests/support/testsupport.h"

#include <QScopeGuard>
#include <QTest>

using namespace lt;
using namespace lt::logrows;

namespace
{

const QString kLog = QStringLiteral("dovrik");
const QString kConfig = QStringLiteral("ipdata");

QString one(const QString& statement, const QString& database)
{
    return test::sql(statement, database).trimmed();
}

LogRow logRow(int i)
{
    return {QStringLiteral("终端%1").arg(i),
            QStringLiteral("10.1.%1.%2").arg(i / 250).arg(i % 250 + 1),
            QStringLiteral("24-05-17 10:%1:00").arg(i % 60, 2, 10, QLatin1Char('0')),
            QStringLiteral("教学组"),
            QStringLiteral("页面 %1").arg(i),
            QStringLiteral("http://www.example.cn/%1").arg(i),
            QString(),
            QStringLiteral("放行"),
            1000 + i,
            1};
}

TrafficRow traffic(const QString& src, int port, int hour, qint64 up, qint64 down)
{
    TrafficRow r;
    r.key = {src,
             QStringLiteral("203.0.113.9"),
             QStringLiteral("2024-05-17"),
             QStringLiteral("www.example.cn"),
             port,
             443};
    r.up[hour] = up;
    r.down[hour] = down;
    return r;
}

// Statements sent while it lives.
struct Sent {
    QStringList statements;
    int id;
    Sent()
        : id(db::addStatementObserver([this](const db::StatementEvent& e) {
              if (e.kind == db::StatementEvent::Statement && e.ok)
                  statements << e.text;
          }))
    {
    }
    ~Sent() { db::removeStatementObserver(id); }
    QStringList starting(const QString& prefix) const
    {
        QStringList out;
        for (const QString& s : statements) {
            if (s.startsWith(prefix))
                out << s;
        }
        return out;
    }
};

} // namespace

class LogRowsTest : public QObject
{
    Q_OBJECT
    test::TestInstallation install_;
    db::Connection log_;
    db::Connection config_;

private slots:
    void initTestCase()
    {
        QVERIFY2(install_.useFreshDatabases(), "the private test server does not answer");
        QString why;
        QVERIFY2(test::openDatabases(log_, config_, &why), qPrintable(why));
    }

    void init()
    {
        test::sql(QStringLiteral("DELETE FROM logtable; DELETE FROM upsendtable;"), kLog);
        test::sql(
            QStringLiteral("DELETE FROM webtable; DELETE FROM uptable; DELETE FROM downtable;"),
            kConfig);
    }

    void fittingCutsAtCharactersAndDropsNul()
    {
        QCOMPARE(fitted(u"abc", 2), QStringLiteral("ab"));
        QString withNul = QStringLiteral("a");
        withNul += QChar(0);
        withNul += QStringLiteral("b");
        QCOMPARE(fitted(withNul, 5), QStringLiteral("ab"));
        // An emoji is one character of the column, two units of the string.
        const QString emoji = QStringLiteral("标题😀尾");
        QCOMPARE(fitted(emoji, 3), QStringLiteral("标题😀"));
        QCOMPARE(fitted(emoji, 2), QStringLiteral("标题"));
    }

    // Every statement names its columns, so that a table that gained one (here before all the
    // others) still takes the rows in the right places: the row types' statements, and the
    // head a restore puts before the backup's values as they stand.
    void statementsTakeTablesThatGainedColumns()
    {
        const auto widen = [](const QString& table, const QString& database) {
            test::sql("ALTER TABLE " + table + " ADD COLUMN Extra INT NOT NULL DEFAULT 7 FIRST",
                      database);
        };
        const auto narrow = qScopeGuard([] {
            for (const char* t : {"logtable", "upsendtable"})
                test::sql(QStringLiteral("ALTER TABLE %1 DROP COLUMN IF EXISTS Extra").arg(t),
                          kLog);
            for (const char* t : {"webtable", "uptable"})
                test::sql(QStringLiteral("ALTER TABLE %1 DROP COLUMN IF EXISTS Extra").arg(t),
                          kConfig);
        });
        for (const char* t : {"logtable", "upsendtable"})
            widen(QLatin1String(t), kLog);
        for (const char* t : {"webtable", "uptable"})
            widen(QLatin1String(t), kConfig);

        const LogRow row = logRow(3);
        QVERIFY2(log_.execute(insertStatement(&row, &row + 1)),
                 qPrintable(log_.lastError().message));
        QVERIFY2(log_.execute(insertHead(Table::Log) +
                              "('备份','10.0.0.9','24-05-17 11:00:00','组','t','u','c','r','n/a',"
                              "NULL)"),
                 qPrintable(log_.lastError().message));
        const UploadRow upload{"终端", "10.0.0.1", "http://m.cn/", "24-05-17 10:00:00", "正文"};
        QVERIFY(log_.execute(insertStatement(&upload, &upload + 1)));
        const VisitRow visit{"http://v.cn/", "标题", "游戏", "24-05-17 10:00:00"};
        QVERIFY(config_.execute(insertStatement(&visit, &visit + 1)));
        const TrafficRow counters = traffic("10.0.0.5", 5000, 9, 300, 0);
        QVERIFY(config_.execute(insertStatement(&counters, &counters + 1, true)));

        QCOMPARE(test::sql("SELECT Extra,Name,nLength,F FROM logtable ORDER BY AcTime", kLog),
                 QStringLiteral("7\t终端3\t1003\t1\n7\t备份\tn/a\tNULL\n"));
        QCOMPARE(one("SELECT Extra,Name,URL,UpSendTxt FROM upsendtable", kLog),
                 QStringLiteral("7\t终端\thttp://m.cn/\t正文"));
        QCOMPARE(one("SELECT Extra,URL,Class,SF FROM webtable", kConfig),
                 QStringLiteral("7\thttp://v.cn/\t游戏\tN"));
        QCOMPARE(one("SELECT Extra,srcip,srcport,t9,t10 FROM uptable", kConfig),
                 QStringLiteral("7\t10.0.0.5\t5000\t300\t0"));
    }

    // Overlong values are cut to their columns (a strict server would refuse the whole batch),
    // quotes and backslashes arrive as typed, an emoji in a title survives.
    void valuesArriveExactlyWithinTheirWidths()
    {
        Sent sent;
        RowWriter writer(log_, config_);
        LogRow row = logRow(1);
        row.name = QStringLiteral("一二三四五六七八九十甲乙丙丁戊己庚");
        row.title = QStringLiteral("O'Neil \\ 的 \"主页\" 😀") + QString(120, QLatin1Char('x'));
        row.url = QStringLiteral("http://a.cn/") + QString(200, QLatin1Char('p'));
        row.length = 123456;
        writer.add(row);
        writer.add(
            UploadRow{row.name, row.ip, row.url, row.acTime,
                      QStringLiteral("留言='你好' \\n 结束") + QChar(0) + QStringLiteral("尾")});
        writer.add(VisitRow{row.url, row.title, QStringLiteral("上网"), row.acTime});
        QVERIFY(writer.flush());

        const QStringList inserts = sent.starting(QStringLiteral("INSERT INTO logtable("));
        QCOMPARE(inserts.size(), 1);
        QVERIFY(
            inserts[0].startsWith(QStringLiteral("INSERT INTO logtable(Name,IP,AcTime,Team,"
                                                 "Title,URL,Class,Result,nLength,F) VALUES (")));
        const auto hex = [](const QString& t) {
            return QString::fromLatin1(t.toUtf8().toHex().toUpper());
        };
        QCOMPARE(
            one(QStringLiteral("SELECT HEX(Name),HEX(Title),HEX(URL),nLength,F FROM logtable"),
                kLog),
            QStringList({hex(row.name.left(16)), hex(fitted(row.title, 100)),
                         hex(row.url.left(150)), QStringLiteral("123456"), QStringLiteral("1")})
                .join(QLatin1Char('\t')));
        QCOMPARE(one(QStringLiteral("SELECT HEX(UpSendTxt) FROM upsendtable"), kLog),
                 hex(QStringLiteral("留言='你好' \\n 结束尾")));
        QCOMPARE(one(QStringLiteral("SELECT Class,SF,HEX(Title) FROM webtable"), kConfig),
                 QStringLiteral("上网\tN\t") + hex(fitted(row.title, 100)));
    }

    // 2,500 rows go out as three statements of at most 1,000 rows, in the order added.
    void rowsGoInBatchesByCount()
    {
        Sent sent;
        RowWriter writer(log_, config_);
        for (int i = 0; i < 2500; ++i)
            writer.add(logRow(i));
        QCOMPARE(writer.stats().waitingRows, 2500);
        QVERIFY(writer.flush());
        QCOMPARE(sent.starting(QStringLiteral("INSERT INTO logtable(")).size(), 3);
        QCOMPARE(one(QStringLiteral("SELECT COUNT(*), SUM(nLength) FROM logtable"), kLog),
                 QStringLiteral("2500\t%1").arg(2500 * 1000 + 2500 * 2499 / 2));
        const RowWriter::Stats stats = writer.stats();
        QCOMPARE(stats.written[int(Table::Log)], 2500);
        QCOMPARE(stats.waitingRows, 0);
        QCOMPARE(stats.batches, 3);
    }

    // With a thread of its own the writer sends a batch that is not full once its oldest row
    // has waited batchMs, and a full one at once.
    void backgroundWriterSendsByTimeAndByCount()
    {
        RowWriter::Settings settings;
        settings.batchMs = 300;
        settings.batchRows = 50;
        RowWriter writer(settings);
        writer.start();
        writer.add(logRow(1));
        writer.add(logRow(2));
        QVERIFY(test::waitFor(
            [] { return one(QStringLiteral("SELECT COUNT(*) FROM logtable"), kLog) == "2"; },
            5000));
        settings.batchMs = 60000;
        RowWriter slow(settings);
        slow.start();
        for (int i = 0; i < 50; ++i)
            slow.add(logRow(100 + i));
        QVERIFY(test::waitFor(
            [] { return one(QStringLiteral("SELECT COUNT(*) FROM logtable"), kLog) == "52"; },
            5000));
        QCOMPARE(slow.stats().batches, 1);
    }

    // A row the server refuses (here a trigger's verdict) is dropped and counted; the rows
    // around it in the same batch are stored.
    void aRefusedRowCostsOnlyItself()
    {
        QVERIFY(log_.execute(QStringLiteral(
            "CREATE TRIGGER lt_test_refuse BEFORE INSERT ON logtable FOR EACH ROW BEGIN IF "
            "NEW.Name='坏' THEN SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT='refused'; END IF; END")));
        RowWriter writer(log_, config_);
        for (int i = 0; i < 5; ++i) {
            LogRow row = logRow(i);
            if (i == 2)
                row.name = QStringLiteral("坏");
            writer.add(row);
        }
        const bool ok = writer.flush();
        QVERIFY(log_.execute(QStringLiteral("DROP TRIGGER lt_test_refuse")));
        QVERIFY(!ok);
        QCOMPARE(one(QStringLiteral("SELECT COUNT(*) FROM logtable"), kLog), QStringLiteral("4"));
        const RowWriter::Stats stats = writer.stats();
        QCOMPARE(stats.refused[int(Table::Log)], 1);
        QCOMPARE(stats.written[int(Table::Log)], 4);
        QVERIFY2(stats.lastError.contains(QStringLiteral("拒绝")), qPrintable(stats.lastError));
        QCOMPARE(stats.waitingRows, 0);
    }

    // A new connection is inserted, its later bytes added by key, a writer that did not see the
    // start (a restarted module) adds into the same row; other connections keep their rows.
    void trafficCountersAddUpAcrossWriters()
    {
        Sent sent;
        {
            RowWriter writer(log_, config_);
            TrafficRow first = traffic(QStringLiteral("10.0.0.5"), 50001, 9, 100, 2000);
            first.fresh = true;
            writer.add(first);
            writer.add(traffic(QStringLiteral("10.0.0.5"), 50001, 9, 10, 20)); // merged
            TrafficRow other = traffic(QStringLiteral("10.0.0.6"), 50002, 9, 7, 8);
            other.fresh = true;
            other.last = true;
            writer.add(other);
            QVERIFY(writer.flush());
            writer.add(traffic(QStringLiteral("10.0.0.5"), 50001, 10, 1, 3));
            QVERIFY(writer.flush());
        }
        QCOMPARE(sent.starting(QStringLiteral("SELECT COUNT(*) FROM uptable")).size(), 0);
        QCOMPARE(sent.starting(QStringLiteral("UPDATE uptable SET t10=t10+CASE")).size(), 1);
        RowWriter restarted(log_, config_);
        restarted.add(traffic(QStringLiteral("10.0.0.5"), 50001, 10, 1000, 5000));
        restarted.add(traffic(QStringLiteral("10.0.0.7"), 50003, 23, 1, 1));
        QVERIFY(restarted.flush());

        const QString rowsUp = test::sql(
            QStringLiteral("SELECT srcip,srcport,dstport,date,strurl,t9,t10,t23 FROM uptable "
                           "ORDER BY srcip"),
            kConfig);
        QCOMPARE(rowsUp,
                 QStringLiteral("10.0.0.5\t50001\t443\t2024-05-17\twww.example.cn\t110\t1001\t0\n"
                                "10.0.0.6\t50002\t443\t2024-05-17\twww.example.cn\t7\t0\t0\n"
                                "10.0.0.7\t50003\t443\t2024-05-17\twww.example.cn\t0\t0\t1\n"));
        QCOMPARE(
            test::sql(QStringLiteral("SELECT srcip,t9,t10 FROM downtable ORDER BY srcip"), kConfig),
            QStringLiteral("10.0.0.5\t2020\t5003\n10.0.0.6\t8\t0\n10.0.0.7\t0\t0\n"));
    }

    // The server stops while rows come: they wait (up to the bound, beyond which they are
    // counted as dropped) and are all written once it is back, each exactly once.
    void serverAwayAndBack()
    {
        test::PrivateServer server;
        QVERIFY(server.ready());
        QVERIFY(server.start());
        server.registerDataSources();
        test::initialiseDatabases();
        const dsn::ConnectionStrings strings = dsn::chosenConnectionStrings();

        RowWriter::Settings settings;
        settings.batchMs = 100;
        settings.retryMs = 200;
        settings.logConnection = strings.log;
        settings.configConnection = strings.config;
        settings.bufferBytes = 100 * 400; // room for about a hundred rows
        RowWriter writer(settings);
        writer.start();
        for (int i = 0; i < 10; ++i)
            writer.add(logRow(i));
        QVERIFY(writer.flush());
        QVERIFY(server.stop());
        for (int i = 10; i < 30; ++i)
            writer.add(logRow(i));
        QVERIFY(!writer.flush());
        RowWriter::Stats stats = writer.stats();
        QVERIFY(!stats.logReachable);
        QVERIFY2(stats.lastError.startsWith(QStringLiteral("写入安全控制中心数据库失败")) ||
                     stats.lastError.startsWith(QStringLiteral("连接安全控制中心数据库失败")),
                 qPrintable(stats.lastError));
        QCOMPARE(stats.waitingRows, 20);
        int added = 30;
        while (writer.stats().totalDropped() == 0)
            writer.add(logRow(added++));
        const qint64 kept = writer.stats().waitingRows;
        QVERIFY(kept > 40 && kept < 200);
        QCOMPARE(writer.stats().dropped[int(Table::Log)], 1);

        QVERIFY(server.start());
        QVERIFY(writer.flush());
        stats = writer.stats();
        QVERIFY(stats.logReachable);
        QCOMPARE(stats.waitingRows, 0);
        QCOMPARE(stats.written[int(Table::Log)], 10 + kept);
        const QString rows = test::sqlOnSocket(
            server.settings().socket,
            QStringLiteral("SELECT COUNT(*), COUNT(DISTINCT Name) FROM logtable"), kLog);
        QCOMPARE(rows.trimmed(), QStringLiteral("%1\t%1").arg(10 + kept));
    }
};

QTEST_GUILESS_MAIN(LogRowsTest)
#include "test_logrows.moc"
