// The visit and traffic statistics read from the day sums give the same groups and sums as the
// statements over the log alone: over whole and partial days, with pages without an address,
// rows still within the newest minutes, rows that arrive late, after deletes, renames (also of
// letter case and accents) and restores by any program. Sums that nothing keeps true (a trigger
// missing, an older version's trigger, a log table of MyISAM) are not read, and the upgrade
// rebuilds them from any state it meets, keeping every row.

#include "common/datasources.h"
#include "common/logindexes.h"
#include "common/logrows.h"
#include "common/logsummary.h"
#include "common/odbc.h"
#include "common/summaryschema.h"
#include "overseer/query/statistics.h"
#include "overseer/query/statsworker.h"
#include "tests/support/logfill.h"
#include "tests/support/testsupport.h"

#include <QScopeGuard>
#include <QSignalSpy>
#include <QTest>

using namespace lt;
using namespace lt::overseer;

namespace
{

const QStringList kIps = {"10.0.0.1", "10.0.0.2", "10.0.0.3", "10.0.0.4"};

// Rows over four days of June, many sharing a second, plus pages without an address, F and
// nLength left empty now and then.
void fillDays(int rows)
{
    const auto row = [rows](int i) {
        const QString url = i % 17 == 0 ? "NULL" : QString("'www.s%1.cn'").arg(i % 23);
        return QString("('PC%1','%2','%3','组','标题%4',%5,'上网','放行',%6,%7)")
            .arg(i % 4)
            .arg(kIps[i % 4], test::spreadStamp(QDate(2026, 6, 1), 4, i, rows))
            .arg(i % 23)
            .arg(url, i % 29 == 0 ? "NULL" : QString("'%1'").arg(i % 1000),
                 i % 31 == 0 ? "NULL" : QString::number(i % 3 + 1));
    };
    test::sql("DELETE FROM logtable;DELETE FROM summarydays;" + test::rawLogSql(rows, row),
              "dovrik");
}

LogQueryState range(const QString& start, const QString& end)
{
    LogQueryState s;
    s.CondStart = start;
    s.CondEnd = end;
    return s;
}

// Group key -> "sum" (and "name" for the terminals) of a grouped statement, as the server
// sends it (the sums compared as numbers).
QMap<QString, QString> grouped(db::Connection& c, const QString& sql, bool withName = false)
{
    QMap<QString, QString> out;
    const bool ok = c.stream(sql, [&](const db::Row& row) {
        const QString key = row.field(row.fieldCount() == 2 ? 0 : 1).isNull()
                                ? QString("<null>")
                                : row.field(row.fieldCount() == 2 ? 0 : 1).toString().trimmed();
        QString value = QString::number(row.field(row.fieldCount() - 1).toString().toDouble());
        if (withName)
            value += '/' + row.field(0).toString().trimmed();
        out.insert(key, value);
        return true;
    });
    if (!ok)
        qWarning("%s: %s", qPrintable(sql), qPrintable(c.lastError().message));
    return out;
}

int summarisedDays()
{
    return test::sql("SELECT count(*) FROM summarydays", "dovrik").trimmed().toInt();
}

// Day sums that belong to no summarised day.
int strayDays()
{
    return test::sql("SELECT COUNT(DISTINCT Day) FROM (SELECT Day FROM daypages UNION ALL SELECT "
                     "Day FROM dayterminals) AS d WHERE Day NOT IN (SELECT Day FROM summarydays)",
                     "dovrik")
        .trimmed()
        .toInt();
}

// The days of [start, end] that hold rows: those the statistic folds and reads from the sums.
int daysWithRows(const QString& start, const QString& end)
{
    return test::sql(QString("SELECT COUNT(DISTINCT LEFT(AcTime,8)) FROM logtable WHERE "
                             "AcTime BETWEEN '%1' AND '%2'")
                         .arg(start, end),
                     "dovrik")
        .trimmed()
        .toInt();
}

QString serverNow()
{
    return test::sql("SELECT DATE_FORMAT(NOW(),'%Y-%m-%d %H:%i:%s')").trimmed();
}

// The statements a piece of work sends through the database layer.
QStringList sentBy(const std::function<void()>& work)
{
    QStringList sent;
    const int observer = db::addStatementObserver([&](const db::StatementEvent& e) {
        if (e.kind == db::StatementEvent::Statement)
            sent << e.text;
    });
    work();
    db::removeStatementObserver(observer);
    return sent;
}

} // namespace

class DaySums : public QObject
{
    Q_OBJECT
    test::TestInstallation install_;
    db::Connection log_;

    // The console's way (the worker folds and reads the sums beside the log) against the
    // statement over the log alone, for modes 1 and 2 and the traffic sums.
    void compareAll(const LogQueryState& s, int expectCovered, bool hours = false)
    {
        const auto failure = summary::foldRange(log_, s.CondStart, s.CondEnd);
        QVERIFY2(!failure, qPrintable(failure.value_or(QString())));
        QVERIFY(log_.beginTransaction());
        // A failed check leaves no transaction open to hold the next test's statements back.
        const auto rollback = qScopeGuard([this] {
            if (log_.inTransaction())
                log_.rollback();
        });
        const auto covered = summary::coverage(log_, s.CondStart, s.CondEnd, nullptr, hours);
        QVERIFY(covered);
        QCOMPARE(covered->size(), expectCovered);
        const auto pages = grouped(log_, visitStatsSql(StatsMode::AllPages, s, *covered));
        const auto terms = grouped(log_, visitStatsSql(StatsMode::AllTerminals, s, *covered), true);
        const auto bytes = grouped(log_, trafficSumsSql(s, *covered));
        QVERIFY(log_.rollback());
        QVERIFY(!pages.isEmpty() && !terms.isEmpty() && !bytes.isEmpty());
        QCOMPARE(pages, grouped(log_, visitStatsSql(StatsMode::AllPages, s)));
        QCOMPARE(terms, grouped(log_, visitStatsSql(StatsMode::AllTerminals, s), true));
        QCOMPARE(bytes, grouped(log_, trafficSumsSql(s)));
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(install_.useFreshDatabases(), "the private test server does not answer");
        QVERIFY(log_.open(dsn::chosenConnectionStrings().log));
    }

    void theRangeSplitsIntoWholeDaysAndTheRest()
    {
        QCOMPARE(summary::wholeDays("26-06-01 00:00:00", "26-06-03 23:59:59"),
                 QStringList({"26-06-01", "26-06-02", "26-06-03"}));
        QCOMPARE(summary::wholeDays("26-06-01 00:00:01", "26-06-03 23:59:58"),
                 QStringList({"26-06-02"}));
        QCOMPARE(summary::wholeDays("26-02-28 00:00:00", "26-03-01 00:00:00"),
                 QStringList({"26-02-28"}));
        QVERIFY(summary::wholeDays("26-06-01 12:00:00", "26-06-01 23:59:59").isEmpty());
        QVERIFY(summary::wholeDays("2026-06-01", "26-06-03 23:59:59").isEmpty());

        QCOMPARE(summary::uncoveredCondition(
                     "26-06-01 12:00:00", "26-06-04 06:00:00",
                     {{"26-06-02", "26-06-02 23:59:59"}, {"26-06-03", "26-06-03 10:00:00"}}),
                 QString("(AcTime>='26-06-01 12:00:00' AND AcTime<'26-06-02 00:00:00') OR "
                         "(AcTime>'26-06-02 23:59:59' AND AcTime<'26-06-03 00:00:00') OR "
                         "(AcTime>'26-06-03 10:00:00' AND AcTime<='26-06-04 06:00:00')"));
        QCOMPARE(summary::uncoveredCondition("26-06-02 00:00:00", "26-06-02 23:59:59",
                                             {{"26-06-02", "26-06-02 23:59:59"}}),
                 QString("(AcTime>'26-06-02 23:59:59' AND AcTime<='26-06-02 23:59:59')"));

        QCOMPARE(*summary::foldTarget("26-06-01", "26-06-03 08:00:00"),
                 QString("26-06-01 23:59:59"));
        QCOMPARE(*summary::foldTarget("26-06-03", "26-06-03 08:00:00"),
                 QString("26-06-03 08:00:00"));
        QVERIFY(!summary::foldTarget("26-06-04", "26-06-03 08:00:00"));
        // Ten minutes before the older of the server's clock and the newest row.
        QCOMPARE(*summary::foldHorizon("26-06-03 08:00:00", "26-06-03 07:00:00"),
                 QString("26-06-03 06:50:00"));
        QCOMPARE(*summary::foldHorizon("26-06-03 08:00:00", "27-01-01 00:00:00"),
                 QString("26-06-03 07:50:00"));
        QCOMPARE(*summary::foldHorizon("26-06-01 00:05:00", "junk"), QString("26-05-31 23:55:00"));
        QVERIFY(!summary::foldHorizon("26-06-03 08:00:00", ""));
    }

    void theSumsAnswerAsTheLogDoes()
    {
        fillDays(6000);
        // Whole days only, then a partial day at each edge.
        compareAll(range("26-06-01 00:00:00", "26-06-04 23:59:59"), 4);
        QCOMPARE(summarisedDays(), 4);
        compareAll(range("26-06-01 13:30:00", "26-06-04 09:15:00"), 2);
        compareAll(range("26-06-02 05:00:00", "26-06-02 18:00:00"), 0);
    }

    void oneTerminalsPagesComeThroughItsIndexAsWithTrim()
    {
        // An address stored with a leading blank still belongs to the terminal.
        test::fillRows(QList<logrows::LogRow>{{"PC1", " 10.0.0.2", "26-06-02 10:00:00", "组", "t",
                                               "www.blank.cn", "上网", "放行", 1, 7}},
                       test::Existing::Keep);
        QVERIFY(summary::forgetDays(log_, {"26-06-02"}));
        LogQueryState s = range("26-06-01 00:00:00", "26-06-04 23:59:59");
        s.CondTermIP = "10.0.0.2";
        const QString viaIndex = visitStatsSql(StatsMode::Terminal, s, {});
        QVERIFY(viaIndex.contains("IP='10.0.0.2'"));
        const auto pages = grouped(log_, viaIndex);
        QCOMPARE(pages, grouped(log_, visitStatsSql(StatsMode::Terminal, s)));
        QCOMPARE(pages.value("www.blank.cn"), QString("7"));
    }

    void aDeleteOrAChangeTheSumsSeeForgetsTheDay()
    {
        const LogQueryState s = range("26-06-01 00:00:00", "26-06-04 23:59:59");
        compareAll(s, 4);
        QVERIFY(log_.execute(statsDeleteSql("www.s5.cn")));
        QCOMPARE(summarisedDays(), 0);
        compareAll(s, 4);
        // A rename reaches the terminal's name in the statistics.
        QVERIFY(log_.execute("UPDATE logtable SET Name='新名' WHERE IP='10.0.0.2'"));
        QCOMPARE(summarisedDays(), 0);
        compareAll(s, 4);
        // A change of a column the sums do not see keeps every day; the group is seen by the
        // title searches' sums.
        QVERIFY(log_.execute("UPDATE logtable SET Class='别类' WHERE IP='10.0.0.3'"));
        QCOMPARE(summarisedDays(), 4);
        QVERIFY(log_.execute("UPDATE logtable SET Team='别组' WHERE IP='10.0.0.3'"));
        QCOMPARE(summarisedDays(), 0);
        compareAll(s, 4);
        // Pruning a day forgets it, and the statistic still agrees; the emptied day is no longer
        // summed at all.
        QVERIFY(log_.execute("DELETE FROM logtable WHERE AcTime<'26-06-02 00:00:00'"));
        QCOMPARE(summarisedDays(), 3);
        compareAll(s, 3);
    }

    void restoredRowsAreCountedOnceTheirDaysAreForgotten()
    {
        const LogQueryState s = range("26-06-01 00:00:00", "26-06-04 23:59:59");
        compareAll(s, 3);
        QVERIFY(test::addRows(log_, {{"PC9", "10.0.0.9", "26-06-03 10:00:00", "组", "旧",
                                      "www.old.cn", "上网", "放行", 700, 5}}));
        QVERIFY(summary::forgetDays(log_, {"26-06-03"}));
        compareAll(s, 3);
        QCOMPARE(grouped(log_, trafficSumsSql(s)).value("10.0.0.9"), QString("700"));
    }

    void theNewestMinutesAreReadFromTheLog()
    {
        // Rows of today, the last of them a minute old: the day is folded only up to ten
        // minutes before it, and the statistic still counts it.
        const QDateTime now = QDateTime::fromString(
            test::sql("SELECT DATE_FORMAT(NOW(),'%Y-%m-%d %H:%i:%s')").trimmed(),
            "yyyy-MM-dd HH:mm:ss");
        QVERIFY(now.isValid());
        if (now.time() < QTime(0, 30))
            QSKIP("too close to midnight for rows of today");
        QList<logrows::LogRow> rows;
        for (int minutes : {25, 20, 12, 1})
            rows.append({"PC0", "10.0.0.1",
                         now.addSecs(-60 * minutes).toString("yy-MM-dd HH:mm:ss"), "组", "新",
                         "www.now.cn", "上网", "放行", 10});
        test::fillRows(rows, test::Existing::Keep);
        const QString today = now.toString("yy-MM-dd");
        const LogQueryState s = range("26-06-01 00:00:00", today + " 23:59:59");
        compareAll(s, daysWithRows(s.CondStart, s.CondEnd));
        const QString upto =
            test::sql("SELECT Upto FROM summarydays WHERE Day='" + today + "'", "dovrik").trimmed();
        QCOMPARE(upto, now.addSecs(-60 * 11).toString("yy-MM-dd HH:mm:ss"));
        QCOMPARE(grouped(log_, visitStatsSql(StatsMode::AllPages, s)).value("www.now.cn"),
                 QString("4"));
    }

    void theWorkerReadsTheSums()
    {
        // The worker's own path: a page of mode 1 over whole days is read with the sums.
        const LogQueryState s = range("26-06-01 00:00:00", "26-06-04 23:59:59");
        StatsWorker worker(dsn::chosenConnectionStrings().log,
                           dsn::chosenConnectionStrings().config);
        QStringList sent;
        const int observer = db::addStatementObserver([&](const db::StatementEvent& e) {
            if (e.kind == db::StatementEvent::Statement)
                sent << e.text;
        });
        QSignalSpy pages(&worker, &StatsWorker::pageReady);
        worker.visitPage(1, s, StatsMode::AllPages, 1, kStatsPageSize);
        db::removeStatementObserver(observer);
        QCOMPARE(pages.size(), 1);
        const auto rows = pages.first().at(1).value<QList<QStringList>>();
        QCOMPARE(qint64(rows.size()), pages.first().at(2).toLongLong());
        QCOMPARE(qint64(rows.size()),
                 qint64(grouped(log_, visitStatsSql(StatsMode::AllPages, s)).size()));
        QVERIFY(!sent.filter("FROM daypages").isEmpty());
    }

    void lateRowsAreCounted()
    {
        // A capture host whose clock is behind writes into days already summed.
        fillDays(6000);
        const LogQueryState s = range("26-06-01 00:00:00", "26-06-04 23:59:59");
        compareAll(s, 4);
        QVERIFY(
            log_.execute("INSERT INTO logtable(" + logrows::kLogColumns +
                         ") VALUES('late','192.168.1.250','26-06-02 "
                         "12:00:00','教室A组','t','http://late.example/','上网','放行','5000',7)"));
        compareAll(s, 4);
        QCOMPARE(grouped(log_, visitStatsSql(StatsMode::AllPages, s)).value("http://late.example/"),
                 QString("7"));
        // And into today's summed stretch: a row fifteen minutes old after today was summed
        // up to ten minutes before the newest row.
        const QDateTime now = QDateTime::fromString(serverNow(), "yyyy-MM-dd HH:mm:ss");
        if (now.time() < QTime(0, 30))
            QSKIP("too close to midnight for rows of today");
        const auto todays = [&](int minutesAgo, const QString& url) {
            return log_.execute(
                QString("INSERT INTO logtable(" + logrows::kLogColumns +
                        ") VALUES('PC0','10.0.0.1','%1','组','t','%2','上网',"
                        "'放行','10',1)")
                    .arg(now.addSecs(-60 * minutesAgo).toString("yy-MM-dd HH:mm:ss"), url));
        };
        QVERIFY(todays(40, "www.today.cn") && todays(1, "www.today.cn"));
        const LogQueryState t =
            range(now.toString("yy-MM-dd") + " 00:00:00", now.toString("yy-MM-dd") + " 23:59:59");
        compareAll(t, 1);
        QVERIFY(todays(15, "www.today.cn"));
        compareAll(t, 1);
        QCOMPARE(grouped(log_, visitStatsSql(StatsMode::AllPages, t)).value("www.today.cn"),
                 QString("3"));
    }

    void sumsWithoutTheirTriggersAreNotReadAndAreRebuilt()
    {
        const LogQueryState s = range("26-06-01 00:00:00", "26-06-04 23:59:59");
        compareAll(s, 4);
        // An initialisation or upgrade that stopped before the triggers; a delete meanwhile.
        const int summed = summarisedDays();
        test::sql("DROP TRIGGER logtable_forget_deleted", "dovrik");
        QVERIFY(!schema::readSummaryState(log_).usable());
        QVERIFY(log_.execute("DELETE FROM logtable WHERE URL='www.s3.cn'"));
        QCOMPARE(summarisedDays(), summed); // stale now
        bool usable = true;
        QVERIFY(!summary::foldRange(log_, s.CondStart, s.CondEnd, &usable));
        QVERIFY(!usable);
        StatsWorker worker(dsn::chosenConnectionStrings().log,
                           dsn::chosenConnectionStrings().config);
        QSignalSpy pages(&worker, &StatsWorker::pageReady);
        const QStringList sent =
            sentBy([&] { worker.visitPage(1, s, StatsMode::AllPages, 1, kStatsPageSize); });
        QCOMPARE(pages.size(), 1);
        QVERIFY(sent.filter("daypages").isEmpty());
        QCOMPARE(pages.first().at(2).toLongLong(),
                 qint64(grouped(log_, visitStatsSql(StatsMode::AllPages, s)).size()));

        // The upgrade makes the trigger and forgets the sums it cannot vouch for.
        const schema::UpgradeOutcome outcome = schema::upgradeLogDatabase(log_);
        QVERIFY2(outcome.ok(), qPrintable(outcome.failures.join('\n')));
        QVERIFY(outcome.added.contains("logtable_forget_deleted"));
        QVERIFY(schema::readSummaryState(log_).usable());
        QVERIFY(log_.selectDatabase("dovrik"));
        compareAll(s, 4);

        // An older version's trigger (names compared under the collation) is replaced too.
        test::sql("DROP TRIGGER logtable_forget_changed; CREATE TRIGGER logtable_forget_changed "
                  "AFTER UPDATE ON logtable FOR EACH ROW DELETE FROM summarydays WHERE "
                  "Day=LEFT(OLD.AcTime,8) AND NOT (OLD.Name<=>NEW.Name)",
                  "dovrik");
        const schema::SummaryState older = schema::readSummaryState(log_);
        QVERIFY(older.differing.contains("logtable_forget_changed"));
        QVERIFY(!older.usable());
        QVERIFY(schema::upgradeLogDatabase(log_).ok());
        QVERIFY(schema::readSummaryState(log_).usable());
        QVERIFY(log_.selectDatabase("dovrik"));
    }

    void renamesThatOnlyChangeCaseOrAccentsReachTheSums()
    {
        test::sql(
            "INSERT INTO logtable(" + logrows::kLogColumns +
                ") VALUES('CAFÉ-01','10.0.0.7','26-06-03 09:00:00','组','t',"
                "'www.cafe.cn','上网','放行','5',2),('pc-01','10.0.0.8','26-06-03 09:00:00','组',"
                "'t','www.pc.cn','上网','放行','5',3)",
            "dovrik");
        const LogQueryState s = range("26-06-01 00:00:00", "26-06-04 23:59:59");
        compareAll(s, 4);
        const int summed = summarisedDays();
        QVERIFY(log_.execute("UPDATE logtable SET Name='cafe-01' WHERE IP='10.0.0.7'"));
        QCOMPARE(summarisedDays(), summed - 1);
        QVERIFY(log_.execute("UPDATE logtable SET Name='PC-01' WHERE IP='10.0.0.8'"));
        compareAll(s, 4);
        const auto terms = grouped(log_, visitStatsSql(StatsMode::AllTerminals, s), true);
        QCOMPARE(terms.value("10.0.0.7"), QString("2/cafe-01"));
        QCOMPARE(terms.value("10.0.0.8"), QString("3/PC-01"));
    }

    void partDaysReadTheirWholeHoursFromHourSums()
    {
        fillDays(4000);
        const QList<std::tuple<QString, QString, int>> ranges = {
            {"26-06-01 12:00:00", "26-06-04 06:30:00", 4},
            {"26-06-02 03:15:00", "26-06-02 20:59:59", 1},
            {"26-06-01 00:00:00", "26-06-03 11:59:59", 3},
        };
        for (const auto& [start, end, covers] : ranges) {
            const LogQueryState s = range(start, end);
            QVERIFY(!summary::foldRange(log_, start, end));
            const auto covered = summary::coverage(log_, start, end, nullptr, true);
            QVERIFY(covered);
            QVERIFY(visitStatsSql(StatsMode::AllPages, s, *covered).contains("FROM hourpages"));
            compareAll(s, covers, true);
        }
        // A late row inside a summed hour, a deleted row of another: their days are read from
        // the log until folded again, and then from the sums.
        const LogQueryState s = range("26-06-01 12:00:00", "26-06-04 06:30:00");
        QVERIFY(log_.execute("INSERT INTO logtable(" + logrows::kLogColumns +
                             ") VALUES('PC9','10.0.0.9','26-06-01 13:30:00',"
                             "'组','迟到','www.late.cn','上网','放行','700',5)"));
        QVERIFY(log_.execute("DELETE FROM logtable WHERE AcTime>='26-06-04 02:00:00' AND "
                             "AcTime<'26-06-04 03:00:00' LIMIT 1"));
        const auto stale = summary::coverage(log_, s.CondStart, s.CondEnd, nullptr, true);
        QVERIFY(stale);
        QCOMPARE(stale->size(), 2);
        compareAll(s, 4, true);
        QVERIFY(grouped(log_, visitStatsSql(StatsMode::AllPages, s)).contains("www.late.cn"));
        // An hour that ends after the fold's reach is not read from the sums.
        QCOMPARE(summary::wholeHours("26-06-04", "26-06-04 00:00:00", "26-06-04 23:59:59",
                                     "26-06-04 05:59:58"),
                 QStringList({"00", "01", "02", "03", "04"}));
        QCOMPARE(
            summary::uncoveredCondition("26-06-01 12:30:00", "26-06-01 23:59:59",
                                        {{"26-06-01", "26-06-01 23:59:59", {"13", "14", "16"}}}),
            QString("(AcTime>='26-06-01 12:30:00' AND AcTime<'26-06-01 13:00:00') OR "
                    "(AcTime>'26-06-01 14:59:59' AND AcTime<'26-06-01 16:00:00') OR "
                    "(AcTime>'26-06-01 16:59:59' AND AcTime<='26-06-01 23:59:59')"));
    }

    void emptyDaysCostNoFold()
    {
        // Ninety-nine years, four days of rows: only those days are folded.
        QVERIFY(summary::forgetDays(log_));
        const LogQueryState s = range("00-01-01 00:00:00", "99-12-31 23:59:59");
        const QStringList sent =
            sentBy([&] { QVERIFY(!summary::foldRange(log_, s.CondStart, s.CondEnd)); });
        const int days = daysWithRows(s.CondStart, s.CondEnd);
        QVERIFY(days >= 4);
        QCOMPARE(int(sent.filter("INSERT INTO summarydays").size()), days);
        compareAll(s, days);
    }

    void forgottenDaysLeaveNoSumsBehind()
    {
        const LogQueryState s = range("26-06-01 00:00:00", "26-06-04 23:59:59");
        compareAll(s, 4);
        QCOMPARE(strayDays(), 0);
        QVERIFY(log_.execute("DELETE FROM logtable WHERE AcTime<'26-06-02 00:00:00'"));
        QCOMPARE(strayDays(), 1);
        QVERIFY(!summary::purgeForgotten(log_));
        QCOMPARE(strayDays(), 0);
        compareAll(s, 3);
        // A fold removes them too, before it folds.
        QVERIFY(log_.execute("DELETE FROM logtable WHERE AcTime<'26-06-03 00:00:00'"));
        compareAll(s, 2);
        QCOMPARE(strayDays(), 0);
    }

    void theUpgradeConvergesFromAnyState()
    {
        fillDays(3000);
        // An index the server finished building after the upgrade that asked for it ended.
        schema::UpgradeOutcome twice;
        QVERIFY(schema::addReadingIndex(log_, schema::readingIndexes().first(), twice));
        QVERIFY2(twice.ok(), qPrintable(twice.failures.join('\n')));
        // A stamp that sorts above every digit does not stop the summing of the days.
        test::sql("INSERT INTO logtable(" + logrows::kLogColumns +
                      ") VALUES('x','10.0.0.1','bad stamp','组','t','u','上网',"
                      "'放行','1',1)",
                  "dovrik");
        QVERIFY(summary::forgetDays(log_));
        QVERIFY(schema::upgradeLogDatabase(log_).ok());
        QCOMPARE(summarisedDays(), 4);

        // A log table of MyISAM: indexes the plain way, the sums left unread, a notice.
        test::sql("ALTER TABLE logtable ENGINE=MyISAM; ALTER TABLE logtable DROP INDEX IpTime",
                  "dovrik");
        const schema::UpgradeOutcome myisam = schema::upgradeLogDatabase(log_);
        QVERIFY2(myisam.ok(), qPrintable(myisam.failures.join('\n')));
        QVERIFY(myisam.added.contains("IpTime"));
        QCOMPARE(myisam.notices.size(), 1);
        QVERIFY(myisam.notices.first().contains("MyISAM"));
        QVERIFY(schema::upgradeLogDatabase(log_).ok()); // and again, as often as it is run
        bool usable = true;
        QVERIFY(log_.selectDatabase("dovrik"));
        QVERIFY(!summary::foldRange(log_, "26-06-01 00:00:00", "26-06-04 23:59:59", &usable));
        QVERIFY(!usable);
        test::sql("ALTER TABLE logtable ENGINE=InnoDB", "dovrik");
        QVERIFY(schema::upgradeLogDatabase(log_).ok());
        QVERIFY(log_.selectDatabase("dovrik"));
        compareAll(range("26-06-01 00:00:00", "26-06-04 23:59:59"), 4);
    }

    void theUpgradeAddsTheSumsAndKeepsEveryRow()
    {
        for (const schema::SummaryPiece& piece : schema::summaryPieces())
            test::sql(QString(piece.trigger ? "DROP TRIGGER " : "DROP TABLE ") + piece.name,
                      "dovrik");
        QCOMPARE(schema::missingSummaryPieces(log_).size(), schema::summaryPieces().size());
        const QString rows = test::sql("SELECT count(*) FROM logtable", "dovrik").trimmed();
        // Without the sums the statistics read the log alone.
        bool present = true;
        QVERIFY(!summary::foldRange(log_, "26-06-01 00:00:00", "26-06-04 23:59:59", &present));
        QVERIFY(!present);

        const schema::UpgradeOutcome outcome = schema::upgradeLogDatabase(log_);
        QVERIFY2(outcome.ok(), qPrintable(outcome.failures.join('\n')));
        QVERIFY(schema::missingSummaryPieces(log_).isEmpty());
        QCOMPARE(test::sql("SELECT count(*) FROM logtable", "dovrik").trimmed(), rows);
        QVERIFY(summarisedDays() >= 3);
        compareAll(range("26-06-01 00:00:00", "26-06-04 23:59:59"), 4);
    }
};

QTEST_GUILESS_MAIN(DaySums)
#include "test_daysums.moc"
