// Pruning against the private server through the keeper's real data sources: the thresholds
// and cut-offs of the three tables, ties at the cut-off, both recent-visit stages, the daily
// tick through the clock seam, failures, and the --prune-now command line.

#include "common/clock.h"
#include "common/clusterlock.h"
#include "common/datasources.h"
#include "common/dbmessages.h"
#include "common/installation.h"
#include "common/logrows.h"
#include "common/logsummary.h"
#include "common/odbc.h"
#include "common/registry.h"
#include "logkeeper/keeper.h"
#include "logkeeper/pruning.h"
#include "tests/support/testsupport.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>
#include <condition_variable>
#include <future>
#include <limits>
#include <mutex>
#include <thread>

using namespace lt;
using namespace lt::keeper;

namespace
{

const QDateTime kBase(QDate(2026, 11, 1), QTime(0, 0));

// The stamp of the row `seconds` after the base.
QString stamp(qint64 seconds)
{
    return acTime(kBase.addSecs(seconds));
}

// Server-side stamp for rows numbered seq = 1..n.
QString stampSql(const QString& secondsExpr)
{
    return QStringLiteral("DATE_FORMAT(TIMESTAMP'2026-11-01 00:00:00' + INTERVAL (%1) SECOND,"
                          "'%y-%m-%d %H:%i:%s')")
        .arg(secondsExpr);
}

// Rows go in in random order, so that storage order says nothing about time order.
void fillLog(int rows, const QString& stamp = QStringLiteral("seq"))
{
    test::sql(QStringLiteral("TRUNCATE logtable; INSERT INTO logtable(") + logrows::kLogColumns +
                  QStringLiteral(") SELECT 'PC-01',"
                                 "'192.168.1.10',%1,'默认组','新闻首页','http://news.example.cn/',"
                                 "'新闻','通过','2048',1 FROM seq_1_to_%2 ORDER BY RAND()")
                      .arg(stampSql(stamp))
                      .arg(rows),
              QStringLiteral("dovrik"));
}

void fillUpload(int rows, const QString& stampExpr)
{
    test::sql(QStringLiteral("TRUNCATE upsendtable; INSERT INTO upsendtable(") +
                  logrows::kUploadColumns +
                  QStringLiteral(") SELECT 'PC-02',"
                                 "'192.168.1.11','http://mail.example.cn/',%1,'正文' "
                                 "FROM seq_1_to_%2 ORDER BY RAND()")
                      .arg(stampExpr)
                      .arg(rows),
              QStringLiteral("dovrik"));
}

void fillWeb(int rows, const QString& classExpr)
{
    test::sql(QStringLiteral("TRUNCATE webtable; INSERT INTO webtable(") + logrows::kVisitColumns +
                  QStringLiteral(") SELECT "
                                 "CONCAT('http://site',seq,'.example.cn/'),'网页',%1,%2,'0' "
                                 "FROM seq_1_to_%3 ORDER BY RAND()")
                      .arg(classExpr, stampSql(QStringLiteral("seq")))
                      .arg(rows),
              QStringLiteral("ipdata"));
}

qint64 rowsOf(const QString& table, const QString& database)
{
    return test::sql(QStringLiteral("SELECT COUNT(*) FROM ") + table, database)
        .trimmed()
        .toLongLong();
}

// The statements sent while it lives.
struct Recorder {
    QStringList statements;
    int id;
    Recorder()
    {
        id = db::addStatementObserver([this](const db::StatementEvent& e) {
            if (e.kind == db::StatementEvent::Statement)
                statements << e.text;
        });
    }
    ~Recorder() { db::removeStatementObserver(id); }
};

struct KeeperConnections {
    db::Connection log;
    db::Connection config;
    KeeperConnections()
    {
        QVERIFY(log.open(QStringLiteral("DSN=LocalLogTable;uid=;pwd=")));
        QVERIFY(config.open(QStringLiteral("DSN=RemoteAcTable;uid=;pwd=;")));
    }
};

// Steps two concurrent passes into the order that exposes a second pass working on counts the
// first has made stale: the second pass (on a thread of its own) stops after counting the
// recent visits until the first pass has deleted their unclassified rows (or has ended); the
// first then waits until the second has done its own deletion (or has ended). Each wait gives
// up after a few seconds, so a pass that never reaches its step cannot hang the test.
class Gates
{
public:
    ~Gates()
    {
        if (thread_.joinable())
            thread_.join();
    }

    // Runs the second pass; the observer must be in place before.
    void start(std::function<PassReport()> pass)
    {
        thread_ = std::thread([this, pass] {
            {
                std::lock_guard lock(mutex_);
                secondThread_ = std::this_thread::get_id();
            }
            promise_.set_value(pass());
            open(secondFinished_);
        });
    }

    void observe(const db::StatementEvent& e)
    {
        if (e.kind != db::StatementEvent::Statement)
            return;
        bool second = false;
        {
            std::lock_guard lock(mutex_);
            second = std::this_thread::get_id() == secondThread_;
        }
        const bool count = e.text == QLatin1String("SELECT COUNT(AcTime) FROM WebTable");
        const bool unclassified = e.text.startsWith(QLatin1String("DELETE FROM WebTable")) &&
                                  e.text.endsWith(QLatin1String("AND Class=''"));
        if (second && count && !secondCounted_) {
            open(secondCounted_);
            wait([this] { return firstDeleted_ || firstFinished_; });
        } else if (!second && unclassified) {
            open(firstDeleted_);
            wait([this] { return secondDeleted_ || secondFinished_; });
        } else if (second && unclassified) {
            open(secondDeleted_);
        }
    }

    bool waitSecondCounted()
    {
        return wait([this] { return secondCounted_ || secondFinished_; }) && secondCounted_;
    }
    void firstDone() { open(firstFinished_); }
    PassReport secondReport()
    {
        thread_.join();
        return promise_.get_future().get();
    }

private:
    void open(bool& gate)
    {
        std::lock_guard lock(mutex_);
        gate = true;
        changed_.notify_all();
    }
    bool wait(const std::function<bool()>& ready)
    {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(20), ready);
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    bool secondCounted_ = false, secondDeleted_ = false, secondFinished_ = false;
    bool firstDeleted_ = false, firstFinished_ = false;
    std::thread::id secondThread_;
    std::promise<PassReport> promise_;
    std::thread thread_;
};

} // namespace

class PruningTest : public QObject
{
    Q_OBJECT
    test::TestInstallation install_;

private slots:
    void initTestCase()
    {
        QVERIFY2(test::serverAvailable(), "the private test server does not answer");
        install_.registerLocal();
    }
    void init() { test::initialiseDatabases(); }
    void cleanup() { Clock::reset(); }

    // At the minimum 5000 pruning starts at 55,000 rows and cuts at the 50,001st oldest stamp.
    void logTableAtItsMinimum()
    {
        KeeperConnections c;
        Pruner pruner(c.log, c.config);
        fillLog(54999);
        StageResult r = pruner.DelLogTable(kMinLog);
        QCOMPARE(r.rows, 54999);
        QVERIFY(!r.pruned);
        QCOMPARE(rowsOf("logtable", "dovrik"), 54999);
        // The largest limit the window accepts: its threshold lies beyond the 32-bit range.
        r = pruner.DelLogTable(std::numeric_limits<qint32>::max());
        QVERIFY(!r.failed() && !r.pruned);

        fillLog(55000);
        Recorder recorder;
        r = pruner.DelLogTable(kMinLog);
        QVERIFY2(!r.failed(), qPrintable(r.error));
        QCOMPARE(r.cut, stamp(50001));
        QCOMPARE(r.deleted, 50001);
        QCOMPARE(rowsOf("logtable", "dovrik"), 4999);
        QCOMPARE(test::sql("SELECT MIN(AcTime) FROM logtable", "dovrik").trimmed(), stamp(50002));
        QCOMPARE(recorder.statements,
                 (QStringList{"SELECT COUNT(AcTime) FROM LogTable",
                              "SELECT AcTime FROM LogTable ORDER BY AcTime LIMIT 50000,1",
                              "DELETE FROM LogTable WHERE AcTime<='" + stamp(50001) + "'"}));
    }

    // Ten rows a second: the cut-off stamp is shared by rows on both sides of the cut-off
    // row, and all of them go.
    void tiesAtTheCutOff()
    {
        KeeperConnections c;
        fillLog(55000, QStringLiteral("seq DIV 10"));
        const StageResult r = Pruner(c.log, c.config).DelLogTable(kMinLog);
        // Row 50,001 (seq 50001) lies in second 5000, which holds seq 50000 to 50009.
        QCOMPARE(r.cut, stamp(5000));
        QCOMPARE(r.deleted, 50009);
        QCOMPARE(rowsOf("logtable", "dovrik"), 4991);
        QCOMPARE(rowsOf("logtable WHERE AcTime<='" + stamp(5000) + "'", "dovrik"), 0);
    }

    void uploadTableAtItsInitialLimit()
    {
        KeeperConnections c;
        Pruner pruner(c.log, c.config);
        fillUpload(11999, stampSql("seq"));
        QVERIFY(!pruner.Del_UpTable(Limits().upload).pruned);
        QCOMPARE(rowsOf("upsendtable", "dovrik"), 11999);

        fillUpload(12000, stampSql("seq"));
        Recorder recorder;
        const StageResult r = pruner.Del_UpTable(Limits().upload);
        QCOMPARE(r.deleted, 2001);
        QCOMPARE(rowsOf("upsendtable", "dovrik"), 9999);
        QCOMPARE(recorder.statements.value(1),
                 QStringLiteral("SELECT AcTime FROM UpSendTable ORDER BY AcTime LIMIT 2000,1"));
        QCOMPARE(recorder.statements.value(2),
                 "DELETE FROM UpSendTable WHERE AcTime<='" + stamp(2001) + "'");
    }

    // A stamp written by an outside module reaches the deletion as stored, quote and all.
    void cutOffStampWithAQuote()
    {
        KeeperConnections c;
        // Stamps ten seconds apart; row 2001 "26-11-01 05:33:3'" sorts between rows 2000
        // ("…05:33:20") and 2002 ("…05:33:40").
        fillUpload(3000, QStringLiteral("IF(seq=2001,'26-11-01 05:33:3''',%1)")
                             .arg(stampSql(QStringLiteral("seq*10"))));
        const StageResult r = Pruner(c.log, c.config).Del_UpTable(kMinUpload);
        QVERIFY2(!r.failed(), qPrintable(r.error));
        QCOMPARE(r.cut, QStringLiteral("26-11-01 05:33:3'"));
        QCOMPARE(r.deleted, 2001);
        QCOMPARE(rowsOf("upsendtable", "dovrik"), 999);
    }

    // Every fourth row unclassified, at the minimum 10000: stage one (from 110,000 rows) cuts
    // at the 100,001st oldest stamp and takes the unclassified rows up to it; stage two (from
    // 60,000 rows) then cuts the rest down below 60,000.
    void webTableBothStages()
    {
        KeeperConnections c;
        fillWeb(110000, QStringLiteral("IF(seq MOD 4=1,'','新闻')"));
        Recorder recorder;
        const auto [one, two] = Pruner(c.log, c.config).DelWebTable(kMinWeb);
        QCOMPARE(one.cut, stamp(100001));
        QCOMPARE(one.deleted, 25001); // seq 1, 5, ..., 100001
        QCOMPARE(two.rows, 84999);
        // The 25,000th oldest remaining row: classified rows run 2,3,4, 6,7,8, ..., so the
        // 0-based 24,999th is seq 4*8333+2.
        QCOMPARE(two.cut, stamp(33334));
        QCOMPARE(two.deleted, 25000);
        QCOMPARE(rowsOf("webtable", "ipdata"), 59999);
        QCOMPARE(rowsOf("webtable WHERE Class=''", "ipdata"), 2499); // seq 100005 ... 109997
        QCOMPARE(
            recorder.statements,
            (QStringList{"SELECT COUNT(AcTime) FROM WebTable",
                         "SELECT AcTime FROM WebTable ORDER BY AcTime LIMIT 100000,1",
                         "DELETE FROM WebTable WHERE AcTime<='" + stamp(100001) + "' AND Class=''",
                         "SELECT COUNT(AcTime) FROM WebTable",
                         "SELECT AcTime FROM WebTable ORDER BY AcTime LIMIT 24999,1",
                         "DELETE FROM WebTable WHERE AcTime<='" + stamp(33334) + "'"}));
    }

    void webTableSecondStageAlone()
    {
        KeeperConnections c;
        fillWeb(80000, QStringLiteral("'新闻'"));
        const auto [one, two] = Pruner(c.log, c.config).DelWebTable(kMinWeb);
        QVERIFY(!one.pruned);
        QCOMPARE(one.rows, 80000);
        QCOMPARE(two.cut, stamp(20001));
        QCOMPARE(two.deleted, 20001);
        QCOMPARE(rowsOf("webtable", "ipdata"), 59999);
    }

    // 02:59 clears the flag, the first tick in the hour 03 starts a pass with Timer1 stopped
    // until it ends, later ticks that hour do nothing, and the next day prunes again.
    void dailyTickThroughTheClock()
    {
        fillLog(55000);
        Keeper keeper(install_.appDir());
        keeper.setLimits({kMinLog, kMinUpload, kMinWeb});
        keeper.start();
        Recorder recorder;
        const QDate day(2026, 11, 8);
        bool stoppedWhileOut = true;
        // The statements of the pass the check started; 0 when it started none.
        auto tickAt = [&](const QDate& d, int h, int m) {
            Clock::setNow(QDateTime(d, QTime(h, m)));
            recorder.statements.clear();
            QSignalSpy finished(&keeper, &Keeper::passFinished);
            keeper.Timer1_Timer();
            if (!keeper.passRunning())
                return qsizetype(0);
            stoppedWhileOut = stoppedWhileOut && !keeper.timer1().isActive();
            return finished.wait(60000) ? recorder.statements.size() : qsizetype(-1);
        };
        QCOMPARE(tickAt(day, 2, 59), 0);
        QVERIFY(!keeper.doneToday());
        // The pass's lock (its row taken, its owner read); log table: count, cut, delete; web
        // table: two counts; upload table: one count; the day sums of emptied days: a look at
        // the sums' tables, their lock (taken, read), the days to purge, the lock released; the
        // pass's lock released.
        QCOMPARE(tickAt(day, 3, 0), 14);
        QVERIFY2(recorder.statements.first().startsWith(
                     QStringLiteral("INSERT INTO dovrik.locktable(Name,Owner,Expires) VALUES("
                                    "'lantrove_prune',")),
                 qPrintable(recorder.statements.first()));
        QVERIFY2(recorder.statements.last().startsWith(QStringLiteral(
                     "DELETE FROM dovrik.locktable WHERE Name='lantrove_prune' AND Owner=")),
                 qPrintable(recorder.statements.last()));
        QVERIFY(keeper.doneToday());
        QVERIFY(stoppedWhileOut);
        QVERIFY(keeper.timer1().isActive());
        QCOMPARE(keeper.lastPass()->started, QDateTime(day, QTime(3, 0)));
        QCOMPARE(keeper.lastPass()->log.deleted, 50001);
        QCOMPARE(rowsOf("logtable", "dovrik"), 4999);

        QCOMPARE(tickAt(day, 3, 30), 0);
        QCOMPARE(tickAt(day, 3, 59), 0);
        QCOMPARE(tickAt(day, 4, 0), 0);
        QVERIFY(!keeper.doneToday());
        fillLog(60000);
        QCOMPARE(tickAt(day.addDays(1), 3, 0), 14);
        QCOMPARE(keeper.lastPass()->log.deleted, 55001);
    }

    // A failing statement ends its table's step; the other tables are pruned, Timer1 runs
    // again and the day counts as done. The failure is worded in Chinese, the server's words
    // following as the detail.
    void failingStatementEndsThePassCleanly()
    {
        fillLog(55000);
        test::sql("DROP TABLE upsendtable", "dovrik");
        Keeper keeper(install_.appDir());
        keeper.setLimits({kMinLog, kMinUpload, kMinWeb});
        keeper.start();
        Clock::setNow(QDateTime(QDate(2026, 11, 8), QTime(3, 1)));
        QSignalSpy finished(&keeper, &Keeper::passFinished);
        keeper.Timer1_Timer();
        QVERIFY(finished.wait(60000));
        const PassReport& pass = *keeper.lastPass();
        QVERIFY(pass.upload.failed());
        QVERIFY2(pass.upload.error.startsWith(
                     QStringLiteral("数据表不存在，请先初始化数据库。（详细信息：[42S02]")),
                 qPrintable(pass.upload.error));
        QVERIFY(!pass.log.failed());
        QCOMPARE(pass.log.deleted, 50001);
        QVERIFY(!pass.webAll.failed());
        QVERIFY(keeper.timer1().isActive());
        QVERIFY(keeper.doneToday());
    }

    // The server unreachable when the keeper starts: the keeper says so, the pass fails and
    // ends, and the next day's pass reaches the server again.
    void serverDownAtStartThenBack()
    {
        const QString log = reg::kOdbcIni + QStringLiteral("\\LocalLogTable");
        const QString config = reg::kOdbcIni + QStringLiteral("\\RemoteAcTable");
        const QString dead = install_.root() + QStringLiteral("/run/nobody.sock");
        QVERIFY(reg::setValue(log, "Socket", dead));
        QVERIFY(reg::setValue(config, "Socket", dead));
        Keeper keeper(install_.appDir());
        keeper.setLimits({kMinLog, kMinUpload, kMinWeb});
        keeper.start();
        QVERIFY(test::waitFor(
            [&] { return keeper.databaseStatus().state == DatabaseStatus::Failed; }, 30000));
        QVERIFY(keeper.databaseStatus().logError.startsWith(db::kServerUnreachable));
        Clock::setNow(QDateTime(QDate(2026, 11, 8), QTime(3, 0)));
        QSignalSpy finished(&keeper, &Keeper::passFinished);
        keeper.Timer1_Timer();
        QVERIFY(finished.wait(60000));
        QVERIFY2(keeper.lastPass()->log.error.startsWith(QStringLiteral("无法连接数据库")),
                 qPrintable(keeper.lastPass()->log.error));
        QVERIFY(keeper.lastPass()->webUnclassified.failed());
        QVERIFY(keeper.lastPass()->upload.failed());
        QVERIFY(keeper.timer1().isActive());

        install_.registerLocal();
        fillLog(55000);
        Clock::setNow(QDateTime(QDate(2026, 11, 8), QTime(12, 0)));
        keeper.Timer1_Timer();
        QVERIFY(!keeper.passRunning());
        Clock::setNow(QDateTime(QDate(2026, 11, 9), QTime(3, 0)));
        keeper.Timer1_Timer();
        QVERIFY(finished.wait(60000));
        QVERIFY2(!keeper.lastPass()->failed(), qPrintable(keeper.lastPass()->log.error));
        QCOMPARE(keeper.lastPass()->log.deleted, 50001);
        QCOMPARE(keeper.databaseStatus().state, DatabaseStatus::Connected);
    }

    // Another keeper's pass holds the lock: this pass deletes nothing and says why; once the
    // lock is free, the next pass prunes.
    void passLeavesTheTablesToAnotherKeeper()
    {
        fillLog(55000);
        db::Connection other;
        QVERIFY(other.open(QStringLiteral("DSN=LocalLogTable;uid=;pwd=;")));
        db::ClusterLock otherPass(other, kPassLock, 60);
        QCOMPARE(otherPass.tryTake(), db::ClusterLock::State::Taken);
        KeeperConnections c;
        const Limits limits{kMinLog, kMinUpload, kMinWeb};
        const PassReport skipped = Pruner(c.log, c.config).runPass(limits);
        QVERIFY(skipped.skipped);
        QVERIFY(!skipped.failed());
        QVERIFY(skipped.note.contains(QStringLiteral("另一个数据库维护程序")));
        QCOMPARE(rowsOf("logtable", "dovrik"), 55000);

        otherPass.release();
        // The log summed by a statistic first: the pass leaves no sums of the days it emptied.
        QVERIFY(!summary::foldAll(c.log));
        QCOMPARE(test::sql("SELECT COUNT(DISTINCT Day) FROM daypages", "dovrik").trimmed(),
                 QString("1"));
        const PassReport pruned = Pruner(c.log, c.config).runPass(limits);
        QVERIFY(!pruned.skipped);
        QCOMPARE(pruned.log.deleted, 50001);
        QCOMPARE(test::sql("SELECT COUNT(*) FROM daypages WHERE Day NOT IN (SELECT Day FROM "
                           "summarydays)",
                           "dovrik")
                     .trimmed(),
                 QString("0"));
        // Released at the end of the pass: another connection takes it at once.
        QCOMPARE(otherPass.tryTake(), db::ClusterLock::State::Taken);
    }

    // Two keepers prune the same tables at 03:00 on their own connections. The second counts
    // the recent visits, the first deletes their unclassified rows, the second goes on: the
    // tables must end as one pass leaves them. (Without the pass's lock the second pass would
    // look for its cut-off row in the smaller table and delete unclassified rows one pass keeps.)
    void twoKeepersAtOnceEndAsOne()
    {
        const Limits limits{kMinLog, kMinUpload, kMinWeb};
        const auto fill = [] {
            fillLog(55000);
            fillWeb(110000, QStringLiteral("IF(seq MOD 20=1,'','新闻')"));
        };
        const auto tables = [] {
            return QList<qint64>{rowsOf("logtable", "dovrik"), rowsOf("webtable", "ipdata"),
                                 rowsOf("webtable WHERE Class=''", "ipdata")};
        };
        fill();
        {
            KeeperConnections c;
            QVERIFY(!Pruner(c.log, c.config).runPass(limits).failed());
        }
        const QList<qint64> single = tables();

        fill();
        KeeperConnections first, second;
        Gates gates;
        const int id =
            db::addStatementObserver([&](const db::StatementEvent& e) { gates.observe(e); });
        gates.start([&] { return Pruner(second.log, second.config).runPass(limits); });
        QVERIFY(gates.waitSecondCounted());
        const PassReport one = Pruner(first.log, first.config).runPass(limits);
        gates.firstDone();
        const PassReport two = gates.secondReport();
        db::removeStatementObserver(id);
        QVERIFY(!one.failed() && !two.failed());
        QCOMPARE(tables(), single);
        QCOMPARE(int(one.skipped) + int(two.skipped), 1);
    }

    void pruneNowFromTheCommandLine()
    {
        fillLog(55000);
        fillWeb(1000, QStringLiteral("''"));
        QProcess keeper;
        keeper.start(install_.appDir() + "/logkeeper", {"--prune-now", "--log", "100"});
        QVERIFY(keeper.waitForFinished(60000));
        const QString out = QString::fromUtf8(keeper.readAllStandardOutput());
        QCOMPARE(keeper.exitCode(), 0);
        QVERIFY2(out.contains(QStringLiteral("浏览日志上限 100 小于最小值，按 5000 清理")),
                 qPrintable(out));
        QVERIFY(
            out.contains(QStringLiteral("浏览日志（LogTable）：共 55000 行，删除 50001 行（截至 ") +
                         stamp(50001) + QStringLiteral("）")));
        QVERIFY(out.contains(QStringLiteral("最近访问·全部（WebTable）：共 1000 行，未到清理行数 "
                                            "550000，不删除")));
        QVERIFY(out.contains(QStringLiteral("共删除 50001 行")));
        QCOMPARE(rowsOf("logtable", "dovrik"), 4999);

        test::sql("DROP TABLE webtable", "ipdata");
        keeper.start(install_.appDir() + "/logkeeper", {"--prune-now"});
        QVERIFY(keeper.waitForFinished(60000));
        QCOMPARE(keeper.exitCode(), 1);
        QVERIFY(QString::fromUtf8(keeper.readAllStandardError()).contains("WebTable"));
    }

    // A server that takes the connection and never answers: --prune-now fails and says how
    // long it really took, connecting included.
    void pruneNowTellsTheTimeSpentConnecting()
    {
        QTcpServer silent;
        QVERIFY(silent.listen(QHostAddress::LocalHost));
        dsn::registerDataSources(QStringLiteral("127.0.0.1"), QString::number(silent.serverPort()));
        QElapsedTimer clock;
        clock.start();
        QProcess keeper;
        keeper.start(install_.appDir() + "/logkeeper", {"--prune-now"});
        const bool finished = keeper.waitForFinished(120000);
        const double seconds = clock.elapsed() / 1000.0;
        install_.registerLocal();
        QVERIFY(finished);
        QCOMPARE(keeper.exitCode(), 1);
        const QString out = QString::fromUtf8(keeper.readAllStandardOutput());
        const QString err = QString::fromUtf8(keeper.readAllStandardError());
        QVERIFY2(
            err.contains(QStringLiteral("浏览日志（LogTable）：失败，") + db::kServerUnreachable),
            qPrintable(err));
        static const QRegularExpression took(QStringLiteral("共删除 0 行，用时 ([0-9.]+) 秒"));
        const auto m = took.match(out);
        QVERIFY2(m.hasMatch(), qPrintable(out));
        const double told = m.captured(1).toDouble();
        QVERIFY2(told >= db::Connection::kLoginTimeoutSeconds && told <= seconds + 0.1 &&
                     told >= seconds - 3,
                 qPrintable(QStringLiteral("told %1 s, took %2 s").arg(told).arg(seconds)));
    }
};

QTEST_GUILESS_MAIN(PruningTest)
#include "test_pruning.moc"
