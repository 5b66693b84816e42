// The builder's statements on the private server: values with quotes, backslashes and
// wildcards find exactly the rows that hold them, both bounds are inclusive, a reversed range
// counts nothing, and a count that cannot be made says so.

#include "common/datasources.h"
#include "common/odbc.h"
#include "overseer/query/logquery.h"
#include "tests/support/logfill.h"
#include "tests/support/testsupport.h"

#include <QTest>

using namespace lt;
using namespace lt::overseer;

namespace
{
struct LogRow {
    QString ip, time, team, title, cls, result;
};

const QList<LogRow> kRows = {
    {"10.0.0.1", "26-12-07 00:00:00", "组'A", "it's here", "上网", "放行"},
    {"10.0.0.1", "26-12-07 08:00:00", "组'A", "back\\slash", "游戏", "阻断"},
    {"10.0.0.2", "26-12-07 09:00:00", "组B", "100% sure", "游戏", "阻断"},
    {"10.0.0.2", "26-12-07 10:00:00", "组B", "a_b", "上网", "积累"},
    {"10.0.0.3", "26-12-07 11:00:00", "组B", "plain", "上网", "放行"},
    {"10.0.0.3", "26-12-08 00:00:00", "组B", "plain", "上网", "放行"},
    {"10.0.0.3", "26-12-08 00:00:01", "组B", "plain", "上网", "放行"},
};
} // namespace

class LogQueryServer : public QObject
{
    Q_OBJECT
    test::TestInstallation install_;
    db::Connection log_;

    LogQueryState state(const QString& code)
    {
        LogQueryState s;
        s.CondCode = code;
        s.CondStart = "26-12-07 00:00:00";
        s.CondEnd = "26-12-08 00:00:00";
        return s;
    }

    qint64 count(const LogQueryState& s)
    {
        const LogCount c = 查询日志记录总数(log_, s);
        if (!c.ok)
            qWarning("count failed: %s", qPrintable(c.error.message));
        return c.ok ? c.rows : -1;
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(install_.useFreshDatabases(), "the private test server does not answer");
        QVERIFY(log_.open(dsn::chosenConnectionStrings().log));
        QList<logrows::LogRow> rows;
        for (const LogRow& r : kRows)
            rows.append(
                {"pc", r.ip, r.time, r.team, r.title, "http://x.example/", r.cls, r.result, 10});
        QVERIFY(test::addRows(log_, rows));
        QVERIFY(test::addRows(
            log_, QList<logrows::UploadRow>{{"pc", "10.0.0.1", "http://m.example/",
                                             "26-12-07 12:00:00", "user=o'neil&pass=50%_\\x"}}));
    }

    void titlesFoundAsTyped_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<qint64>("rows");
        QTest::newRow("quote") << "'" << qint64(1);
        QTest::newRow("backslash") << "\\" << qint64(1);
        QTest::newRow("percent is no wildcard") << "%" << qint64(1);
        QTest::newRow("underscore is no wildcard") << "_" << qint64(1);
        QTest::newRow("200 characters") << QString("x'\\%_").repeated(40) << qint64(0);
        QTest::newRow("injection") << "') OR 1=1 -- " << qint64(0);
    }

    void titlesFoundAsTyped()
    {
        QFETCH(QString, title);
        QFETCH(qint64, rows);
        LogQueryState s = state("00100");
        s.CondTitle = title;
        QCOMPARE(count(s), rows);
    }

    void criteria()
    {
        LogQueryState s = state("00000");
        // Both bounds inclusive: the rows at 00:00:00 of either day are in, 00:00:01 is out.
        QCOMPARE(count(s), qint64(6));
        s.CondCode = "01011";
        s.CondTeam = "组'A";
        s.CondClass = "游戏";
        s.CondResult = "阻断";
        QCOMPARE(count(s), qint64(1));
        s.CondCode = "10001";
        s.CondTermIP = "10.0.0.2";
        QCOMPARE(count(s), qint64(1));
        s.CondCode = "10000";
        QCOMPARE(count(s), qint64(2));
        s.CondCode = "00011";
        s.CondClass = "上网";
        s.CondResult = "放行";
        QCOMPARE(count(s), qint64(3));
    }

    void reversedRangeCountsNothing()
    {
        LogQueryState s = state("00000");
        std::swap(s.CondStart, s.CondEnd);
        QCOMPARE(count(s), qint64(0));
    }

    // The list statement runs as the view sends it and the upload keyword searches the content.
    void listStatementsRun()
    {
        LogQueryState s = state("00100");
        s.CondTitle = "it's";
        QVERIFY(显示_终端日志条件(s));
        db::Recordset rs = log_.query(s.LogQuerySql + " ORDER BY AcTime DESC LIMIT 500");
        QCOMPARE(rs.recordCount(), 1);
        QCOMPARE(rs.field("Title").toString().trimmed(), "it's here");

        s.CondTitle = "o'neil&pass=50%_\\x";
        QVERIFY(显示_上传日志条件(s));
        rs = log_.query(s.LogQuerySql + " ORDER BY AcTime DESC");
        QCOMPARE(rs.recordCount(), 1);
    }

    // A code outside the tables sends nothing and is reported, not counted as zero.
    void countWithoutAStatement()
    {
        QStringList sent;
        const int id =
            db::addStatementObserver([&](const db::StatementEvent& e) { sent << e.text; });
        const LogCount c = 查询日志记录总数(log_, state("11000"));
        db::removeStatementObserver(id);
        QVERIFY(!c.ok);
        QVERIFY(c.error.set);
        QVERIFY(sent.isEmpty());
    }

    // A failed statement reports the database's error.
    void countOnAClosedConnection()
    {
        db::Connection closed;
        const LogCount c = 查询日志记录总数(closed, state("00000"));
        QVERIFY(!c.ok);
        QCOMPARE(c.error.sqlState, "08003");
    }
};

QTEST_GUILESS_MAIN(LogQueryServer)
#include "test_logquery_server.moc"
