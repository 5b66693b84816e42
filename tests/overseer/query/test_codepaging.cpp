// Every condition code of the two log views, paged along the index that serves it, shows
// exactly the rows of its list statement, newest first, each once forward and backward, on a
// log full of time stamp ties; a database without the index still pages (by the time stamp);
// the upgrade of a log database made without the indexes adds them and keeps every row.

#include "common/datasources.h"
#include "common/logindexes.h"
#include "common/odbc.h"
#include "common/schema.h"
#include "overseer/core/logstore.h"
#include "overseer/query/logquery.h"
#include "tests/overseer/pagingtest.h"
#include "tests/support/logfill.h"
#include "tests/support/testsupport.h"

#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>

using namespace lt;
using namespace lt::overseer;

namespace
{

const QStringList kIps = {"10.0.0.1", "10.0.0.2", "10.0.0.3"};
const QStringList kTeams = {"教室组", "办公组"};
const QStringList kClasses = {"上网", "游戏", "聊天"};
const QStringList kResults = {"放行", "阻断", "积累"};

// Row i: its title holds i (and "股票" for every fifth row), its values cycle with different
// periods, and seven rows share each second.
void fillVaried(int rows)
{
    QList<int> order(rows);
    std::iota(order.begin(), order.end(), 0);
    std::shuffle(order.begin(), order.end(), *QRandomGenerator::global());
    QList<logrows::LogRow> list;
    for (const int i : order) {
        const QString stamp = QDateTime(QDate(2026, 6, 1), QTime(12, 0))
                                  .addSecs(-(i / 7))
                                  .toString("yy-MM-dd HH:mm:ss");
        list.append({QStringLiteral("PC%1").arg(i % 40), kIps[i % 3], stamp, kTeams[i % 2],
                     QString::number(i) + (i % 5 == 0 ? " 股票" : " 新闻"),
                     QStringLiteral("www.a.cn/%1").arg(i % 40), kClasses[(i / 4) % 3],
                     kResults[(i / 3) % 3], 1});
    }
    test::fillRows(list);
}

int idOf(const QStringList& row)
{
    return row.value(4).section(u' ', 0, 0).toInt();
}

LogQueryState stateFor(const QString& code)
{
    LogQueryState s;
    s.CondCode = code;
    s.CondStart = "26-01-01 00:00:00";
    s.CondEnd = "26-12-31 23:59:59";
    s.CondTermIP = kIps[1];
    s.CondTeam = kTeams[0];
    s.CondTitle = "股票";
    s.CondClass = kClasses[1];
    s.CondResult = kResults[1];
    return s;
}

} // namespace

class CodePaging : public QObject
{
    Q_OBJECT
    test::TestInstallation install_;
    std::unique_ptr<LogStore> store_;

    bool settle() { return test::settled(*store_); }
    QList<int> ids()
    {
        QList<int> list;
        for (const QStringList& row : store_->page())
            list << idOf(row);
        return list;
    }
    bool newestFirst() { return test::newestFirst(store_->page()); }

private slots:
    void initTestCase()
    {
        QVERIFY2(install_.useFreshDatabases(), "the private test server does not answer");
        fillVaried(3000);
    }

    void init()
    {
        store_ = std::make_unique<LogStore>(browseLogTable(), dsn::chosenConnectionStrings().log);
        store_->PageSize = 40;
    }
    void cleanup() { store_.reset(); }

    void everyCodeShowsItsStatementsRows_data()
    {
        QTest::addColumn<QString>("code");
        for (const char* code :
             {"00000", "00001", "00010", "00011", "00100", "00101", "01000", "01001", "01010",
              "01011", "01100", "01101", "10000", "10001", "10010", "10011", "10100", "10101"})
            QTest::newRow(qPrintable(code)) << code;
    }

    void everyCodeShowsItsStatementsRows()
    {
        QFETCH(QString, code);
        const LogQueryState s = stateFor(code);
        const QString list = *logListSql(s);
        // What the list statement selects, as the bare client gets it.
        QList<int> expected;
        for (const QString& line :
             test::sql(QString(list).replace("SELECT *", "SELECT Title") + " ORDER BY AcTime DESC",
                       "dovrik")
                 .split(u'\n', Qt::SkipEmptyParts))
            expected << line.section(u' ', 0, 0).toInt();
        QVERIFY(expected.size() > 40); // more than one page for every code

        const QString index = schema::readingIndexFor("logtable", code);
        store_->start(list, schema::countSqlFor(*logCountSql(s), "logtable", code), index);
        QVERIFY(settle());
        QCOMPARE(store_->total(), expected.size());
        QVERIFY(store_->LogQuerySql() == list);
        QList<QList<int>> forward = {ids()};
        while (store_->status().buttons[2]) {
            store_->日志_显示下页数据();
            QVERIFY(settle());
            QVERIFY(newestFirst());
            forward << ids();
        }
        QCOMPARE(forward.size(), store_->LogPageCount());
        QList<int> all;
        for (const QList<int>& page : forward)
            all += page;
        // Newest first across the page boundaries too, and every row exactly once.
        QList<int> sortedAll = all, sortedExpected = expected;
        std::sort(sortedAll.begin(), sortedAll.end());
        std::sort(sortedExpected.begin(), sortedExpected.end());
        QCOMPARE(sortedAll, sortedExpected);
        for (int i = 1; i < all.size(); ++i)
            QVERIFY(all[i - 1] / 7 <= all[i] / 7);

        // Backward from the last page: the same pages.
        store_->日志_显示尾页数据();
        QVERIFY(settle());
        for (int p = forward.size() - 1; p >= 0; --p) {
            QList<int> page = ids(), shown = forward[p];
            std::sort(page.begin(), page.end());
            std::sort(shown.begin(), shown.end());
            QCOMPARE(page, shown);
            if (p > 0) {
                store_->日志_显示上页数据();
                QVERIFY(settle());
            }
        }
        // Read along the code's own index where it has one.
        const bool usesIndex =
            store_->pagingTable().index == (index.isEmpty() ? "AcTimeIndex" : index);
        QVERIFY(usesIndex);
    }

    void countHintOnlyForATitleWithoutATerminal()
    {
        const QString sql = "SELECT count(*) FROM logtable WHERE AcTime>='a' AND Title LIKE '%b%'";
        for (const char* code : {"00100", "00101", "01100", "01111"})
            QCOMPARE(schema::countSqlFor(sql, "logtable", code),
                     "SELECT count(*) FROM logtable" + schema::kCountIndexHint +
                         " WHERE AcTime>='a' AND Title LIKE '%b%'");
        for (const char* code : {"00000", "01000", "00011", "10100", "11111", ""})
            QCOMPARE(schema::countSqlFor(sql, "logtable", code), sql);
        QCOMPARE(schema::countSqlFor(sql, "upsendtable", "00100"), sql);
    }

    void aDatabaseWithoutTheIndexStillPages()
    {
        test::sql("ALTER TABLE logtable DROP INDEX IpTime", "dovrik");
        const LogQueryState s = stateFor("10000");
        store_->start(*logListSql(s), *logCountSql(s), "IpTime");
        QVERIFY(settle());
        QCOMPARE(store_->pagingTable().index, QString("AcTimeIndex"));
        QCOMPARE(store_->page().size(), 40);
        QCOMPARE(store_->total(), 1000);
        store_->日志_显示下页数据();
        QVERIFY(settle());
        QCOMPARE(store_->LogPageNo(), 2);

        // A title count told to leave indexes aside that the database lacks still counts.
        test::sql("ALTER TABLE logtable DROP INDEX ResultTime", "dovrik");
        const LogQueryState t = stateFor("00101");
        const QString count = schema::countSqlFor(*logCountSql(t), "logtable", "00101");
        QVERIFY(count.contains(schema::kCountIndexHint));
        QSignalSpy failed(store_.get(), &LogStore::failed);
        store_->start(*logListSql(t), count, {});
        QVERIFY(settle());
        QCOMPARE(store_->total(), test::sql(*logCountSql(t), "dovrik").trimmed().toLongLong());
        QCOMPARE(failed.count(), 0);
        test::sql("ALTER TABLE logtable ADD INDEX ResultTime (Result,AcTime)", "dovrik");
    }

    void theUpgradeAddsWhatIsMissingAndKeepsEveryRow()
    {
        // The state the previous test left: a log database lacking one reading index.
        db::Connection log;
        QVERIFY(log.open(dsn::chosenConnectionStrings().log));
        QCOMPARE(schema::missingReadingIndexes(log).size(), 1);
        // And one made before there were reading indexes at all.
        for (const schema::ReadingIndex& index : schema::readingIndexes()) {
            if (index.name != "IpTime")
                test::sql("ALTER TABLE " + index.table + " DROP INDEX " + index.name, "dovrik");
        }
        test::fillRows(
            QList<logrows::UploadRow>{{"PC1", "10.0.0.1", "u", "26-06-01 12:00:00", "x"}},
            test::Existing::Keep);
        QCOMPARE(schema::missingReadingIndexes(log).size(), schema::readingIndexes().size());

        QStringList progress;
        const schema::UpgradeOutcome outcome =
            schema::upgradeLogDatabase(log, [&](const QString& name) { progress << name; });
        QVERIFY2(outcome.ok(), qPrintable(outcome.failures.join('\n')));
        QCOMPARE(outcome.added.size(), schema::readingIndexes().size());
        // Each index as it is made, then the summing of the log into the day sums.
        QCOMPARE(progress, outcome.added + QStringList{"daypages"});
        QVERIFY(schema::missingReadingIndexes(log).isEmpty());
        QCOMPARE(test::sql("SELECT count(*) FROM logtable", "dovrik").trimmed(), QString("3000"));
        QCOMPARE(test::sql("SELECT count(*) FROM upsendtable", "dovrik").trimmed(), QString("1"));
        // Again: nothing to add.
        const schema::UpgradeOutcome again = schema::upgradeLogDatabase(log);
        QVERIFY(again.ok() && again.added.isEmpty());
    }
};

QTEST_GUILESS_MAIN(CodePaging)
#include "test_codepaging.moc"
