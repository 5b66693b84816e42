// The system on a Galera cluster of three private servers (scripts/cluster.sh): the data
// sources of three installations, each naming its own node first and the other two after it;
// two row writers (the capture modules' shared writer) on nodes 1 and 2 and a console paging on
// node 3 while node 2 is stopped and started again; two consoles folding the day sums at once
// on two nodes, their statistics against the plain statements on every node; two keepers
// pruning at once on two nodes; and the same rows on all three nodes at the end.

#include "common/clusterlock.h"
#include "common/datasources.h"
#include "common/dbmessages.h"
#include "common/logrows.h"
#include "common/logsummary.h"
#include "common/odbc.h"
#include "common/registry.h"
#include "common/summaryschema.h"
#include "logkeeper/pruning.h"
#include "overseer/query/statistics.h"
#include "tests/remote/clusterfixture.h"
#include "tests/support/testsupport.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QScopeGuard>
#include <QTest>
#include <atomic>
#include <future>
#include <thread>

using namespace lt;

namespace
{

// The seeded log: 60,000 visits four seconds apart from 26-11-01 00:00:04 on, of 50 terminals
// and 300 pages (three days and a bit; the feeders' rows are of today).
constexpr int kSeeded = 60000;
const QString kSeed =
    "INSERT INTO logtable(" + logrows::kLogColumns +
    ") SELECT CONCAT('pc',seq MOD 50),CONCAT('10.0.0.',seq MOD 50),"
    "DATE_FORMAT('2026-11-01'+INTERVAL seq*4 SECOND,'%y-%m-%d %H:%i:%s'),'临时工作组',"
    "CONCAT('页面',seq MOD 300),CONCAT('http://site',seq MOD 300,'.cn/'),'','放行',"
    "seq MOD 5000,1 FROM seq_1_to_60000";

// Writes rows of its own terminal at a steady pace through the shared row writer, on its own
// connections of one installation's data sources, until stopped.
class Feeder
{
public:
    Feeder(const QString& tag, int node) : tag_(tag)
    {
        logrows::RowWriter::Settings s;
        s.batchRows = 100;
        s.batchMs = 200;
        s.retryMs = 500;
        s.logConnection =
            QStringLiteral("DSN=%1;uid=;pwd=;").arg(test::ClusterFixture::logDsn(node));
        s.configConnection =
            QStringLiteral("DSN=%1;uid=;pwd=;").arg(test::ClusterFixture::configDsn(node));
        writer_ = std::make_unique<logrows::RowWriter>(s);
        writer_->start();
        thread_ = std::thread([this] { run(); });
    }
    ~Feeder() { stop(); }
    // Stops adding rows and waits until the writer has written what waits.
    bool stop()
    {
        if (thread_.joinable()) {
            stopping_ = true;
            thread_.join();
        }
        return test::waitFor([&] { return writer_->flush(); }, 120000);
    }
    qint64 added() const { return added_; }
    logrows::RowWriter::Stats stats() const { return writer_->stats(); }

private:
    void run()
    {
        while (!stopping_) {
            for (int i = 0; i < 20; ++i) {
                logrows::LogRow row;
                row.name = tag_;
                row.ip = QStringLiteral("10.9.%1.%2").arg(tag_.back().unicode() % 250).arg(i);
                row.acTime =
                    QDateTime::currentDateTime().toString(QStringLiteral("yy-MM-dd HH:mm:ss"));
                row.team = QStringLiteral("临时工作组");
                row.title = QStringLiteral("feed %1").arg(added_.load());
                row.url = QStringLiteral("http://%1.example.cn/%2").arg(tag_).arg(added_.load());
                row.result = QStringLiteral("放行");
                row.length = 1000 + i;
                writer_->add(row);
                ++added_;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }
    QString tag_;
    std::unique_ptr<logrows::RowWriter> writer_;
    std::thread thread_;
    std::atomic<bool> stopping_{false};
    std::atomic<qint64> added_{0};
};

overseer::LogQueryState seededRange()
{
    overseer::LogQueryState state;
    state.CondCode = QStringLiteral("00000");
    state.CondStart = QStringLiteral("26-11-01 00:00:00");
    state.CondEnd = QStringLiteral("26-11-04 23:59:59");
    return state;
}

// A result as sorted lines, so that two results compare whatever the order of equal counts.
QStringList rowsOf(db::Connection& c, const QString& sql)
{
    QStringList rows;
    const bool ok = c.stream(sql, [&](const db::Row& row) {
        QStringList fields;
        for (int i = 0; i < row.fieldCount(); ++i)
            fields << row.field(i).toString().trimmed();
        rows << fields.join(u'\t');
        return true;
    });
    if (!ok)
        rows = {QStringLiteral("failed: ") + c.lastError().message};
    rows.sort();
    return rows;
}

// All pages of the seeded range by the day sums (folded first on this connection), and the same
// statistic as the plain statement over the log alone.
QStringList pagesBySums(db::Connection& c)
{
    const overseer::LogQueryState state = seededRange();
    bool usable = false;
    if (const auto failure = summary::foldRange(c, state.CondStart, state.CondEnd, &usable))
        return {QStringLiteral("fold failed: ") + *failure};
    const auto covered = summary::coverage(c, state.CondStart, state.CondEnd);
    if (!usable)
        return {QStringLiteral("day sums not usable: ") +
                schema::readSummaryState(c).whyUnusable()};
    if (!covered || covered->isEmpty())
        return {QStringLiteral("no day summed")};
    return rowsOf(c, overseer::visitStatsSql(overseer::StatsMode::AllPages, state, *covered));
}

QStringList pagesPlain(db::Connection& c)
{
    return rowsOf(c, overseer::visitStatsSql(overseer::StatsMode::AllPages, seededRange()));
}

} // namespace

class Cluster : public QObject
{
    Q_OBJECT
    test::TestInstallation install_;
    std::unique_ptr<test::ClusterFixture> cluster_;

    // A connection of installation `node` (its log data source, the keeper's way).
    std::unique_ptr<db::Connection> logOf(int node)
    {
        auto c = std::make_unique<db::Connection>();
        if (!c->open(QStringLiteral("DSN=%1;uid=;pwd=").arg(test::ClusterFixture::logDsn(node))))
            qWarning("node %d: %s", node, qPrintable(c->lastError().message));
        return c;
    }

private slots:
    void initTestCase()
    {
        cluster_ = std::make_unique<test::ClusterFixture>();
        QVERIFY2(cluster_->start(3), qPrintable(cluster_->output()));
        cluster_->registerInstallations();
        test::initialiseDatabases();
        QVERIFY(cluster_->sql(1, kSeed, "dovrik").isEmpty());
        for (int node = 1; node <= 3; ++node)
            QCOMPARE(cluster_->count(node, "SELECT COUNT(*) FROM logtable"), qint64(kSeeded));
    }

    void cleanupTestCase()
    {
        if (cluster_)
            cluster_->stop();
    }

    // Writers on nodes 1 and 2, pages on node 3; node 2 stops and starts meanwhile. Its
    // writer goes on through the next address of its data source and loses nothing; the
    // console's pages never fail; the node catches up when it is back.
    void writersAndPagesWhileANodeIsLost()
    {
        auto console = std::make_unique<db::Connection>();
        QVERIFY(console->open(dsn::chosenConnectionStrings().log));
        auto onNode2 = logOf(2);
        QCOMPARE(onNode2->query("SELECT @@port").field(0).toString(), cluster_->port(2));

        Feeder a(QStringLiteral("feedA"), 1);
        Feeder b(QStringLiteral("feedB"), 2);
        overseer::LogQueryState state = seededRange();
        state.CondEnd = QStringLiteral("99-12-31 23:59:59");
        const QString page = *overseer::logListSql(state) + " ORDER BY AcTime DESC LIMIT 100";
        int pages = 0;
        QStringList failures;
        const auto pageFor = [&](int ms) {
            QElapsedTimer t;
            t.start();
            while (t.elapsed() < ms) {
                const db::Recordset rs = console->query(page);
                if (console->failed())
                    failures << console->lastError().message;
                else if (rs.recordCount() == 100)
                    ++pages;
                QTest::qWait(100);
            }
        };
        pageFor(3000);
        QVERIFY(cluster_->stopNode(2));
        bool restarted = false;
        // A failed check below must not leave the other cases a node short.
        const auto backAnyway = qScopeGuard([&] {
            if (!restarted)
                cluster_->startNode(2);
        });
        pageFor(3000);
        // The programs of installation 2 reach the cluster through node 3, the next address.
        QCOMPARE(onNode2->query("SELECT @@port").field(0).toString(), cluster_->port(3));
        QCOMPARE(logOf(2)->query("SELECT @@port").field(0).toString(), cluster_->port(3));
        auto back = std::async(std::launch::async, [&] { return cluster_->startNode(2); });
        while (back.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready)
            pageFor(500);
        restarted = true;
        QVERIFY2(back.get(), qPrintable(cluster_->output()));
        pageFor(2000);
        QVERIFY(a.stop());
        QVERIFY(b.stop());

        QVERIFY2(failures.isEmpty(), qPrintable(failures.join('\n')));
        QVERIFY(pages > 10);
        for (const Feeder* f : {&a, &b}) {
            const logrows::RowWriter::Stats s = f->stats();
            QCOMPARE(s.totalDropped(), qint64(0));
            QCOMPARE(s.refused[int(logrows::Table::Log)], qint64(0));
            QCOMPARE(s.written[int(logrows::Table::Log)], f->added());
        }
        QVERIFY(a.added() > 0 && b.added() > 0);
        for (int node = 1; node <= 3; ++node) {
            QCOMPARE(cluster_->count(node, "SELECT COUNT(*) FROM logtable WHERE Name='feedA'"),
                     a.added());
            QCOMPARE(cluster_->count(node, "SELECT COUNT(*) FROM logtable WHERE Name='feedB'"),
                     b.added());
        }
    }

    // Two consoles fold the same days at once on nodes 1 and 3: one fold at a time in the
    // whole cluster, and each statistic equals the plain statement on every node.
    void statisticsOfTwoConsolesAtOnce()
    {
        auto one = logOf(1);
        auto three = logOf(3);
        auto first = std::async(std::launch::async, [&] { return pagesBySums(*one); });
        const QStringList byThree = pagesBySums(*three);
        const QStringList byOne = first.get();
        QVERIFY2(byThree.size() == 300, qPrintable(byThree.mid(0, 3).join(u'\n')));
        QCOMPARE(byOne, byThree);
        for (int node = 1; node <= 3; ++node)
            QCOMPARE(pagesPlain(*logOf(node)), byThree);
        // The three days of the seeded rows summed once, the same on every node.
        for (int node = 1; node <= 3; ++node) {
            QCOMPARE(cluster_->count(node, "SELECT COUNT(*) FROM summarydays"), qint64(3));
            QCOMPARE(cluster_->count(node, "SELECT SUM(F) FROM daypages"), qint64(kSeeded));
            QCOMPARE(cluster_->count(node, "SELECT SUM(F) FROM hourpages"), qint64(kSeeded));
            QCOMPARE(
                cluster_->count(node, "SELECT SUM(N) FROM daytitles"),
                // The titled rows of the summed stretches (the writers added rows of other days).
                cluster_->count(node, "SELECT COUNT(*) FROM logtable l JOIN summarydays s ON "
                                      "l.AcTime>=CONCAT(s.Day,' 00:00:00') AND l.AcTime<=s.Upto "
                                      "WHERE l.Title IS NOT NULL"));
        }
    }

    // Keepers of installations 1 and 2 prune at the same moment: one pass in the cluster,
    // exactly the rows one pass keeps remain on every node, and the day sums of the days the
    // pass emptied are gone everywhere (the log's triggers fired where the rows were deleted;
    // their effects reached the other nodes as rows).
    void twoKeepersAtOnceOnTwoNodes()
    {
        const qint64 total = cluster_->count(1, "SELECT COUNT(*) FROM logtable");
        const keeper::Limits limits{5000, 1000, 10000};
        QVERIFY(total >= 55000);
        const qint64 kept = cluster_->count(
            1, QStringLiteral("SELECT COUNT(*) FROM logtable WHERE AcTime>(SELECT AcTime FROM "
                              "logtable ORDER BY AcTime LIMIT %1,1)")
                   .arg(total - 5000));

        struct Keeper {
            std::unique_ptr<db::Connection> log, config;
        };
        std::array<Keeper, 2> keepers;
        for (int i = 0; i < 2; ++i) {
            keepers[i].log = logOf(i + 1);
            keepers[i].config = std::make_unique<db::Connection>();
            QVERIFY(keepers[i].config->open(
                QStringLiteral("DSN=%1;uid=;pwd=;").arg(test::ClusterFixture::configDsn(i + 1))));
        }
        std::promise<void> go;
        std::shared_future<void> start = go.get_future().share();
        const auto pass = [&](int i) {
            start.wait();
            return keeper::Pruner(*keepers[i].log, *keepers[i].config).runPass(limits);
        };
        auto second = std::async(std::launch::async, pass, 1);
        auto first = std::async(std::launch::async, pass, 0);
        go.set_value();
        const keeper::PassReport r1 = first.get();
        const keeper::PassReport r2 = second.get();
        QVERIFY2(!r1.failed() && !r2.failed(), qPrintable(r1.log.error + u' ' + r2.log.error));
        QCOMPARE(r1.log.deleted + r2.log.deleted, total - kept);
        // The other pass found the lock taken, or came after and found nothing to prune.
        QVERIFY((r1.log.deleted == 0) != (r2.log.deleted == 0));
        for (int node = 1; node <= 3; ++node) {
            QCOMPARE(cluster_->count(node, "SELECT COUNT(*) FROM logtable"), kept);
            QCOMPARE(cluster_->count(node, "SELECT COUNT(*) FROM summarydays"), qint64(0));
            QCOMPARE(cluster_->count(node, "SELECT COUNT(*) FROM daypages"), qint64(0));
            QCOMPARE(cluster_->count(node, "SELECT COUNT(*) FROM hourpages"), qint64(0));
            QCOMPARE(cluster_->count(node, "SELECT COUNT(*) FROM daytitles"), qint64(0));
            QCOMPARE(cluster_->count(node, "SELECT COUNT(*) FROM locktable"), qint64(0));
        }
    }

    // A lock row taken on one node is seen on the others (where GET_LOCK is not), and its
    // lease frees it when its holder is gone.
    void locksHoldAcrossNodes()
    {
        auto one = logOf(1);
        auto two = logOf(2);
        db::ClusterLock held(*one, QStringLiteral("test"), 2);
        QCOMPARE(held.tryTake(), db::ClusterLock::State::Taken);
        db::ClusterLock other(*two, QStringLiteral("test"), 2);
        QCOMPARE(other.tryTake(), db::ClusterLock::State::Held);
        QCOMPARE(other.holder(), held.owner());
        QCOMPARE(other.take(5), db::ClusterLock::State::Taken); // the lease ran out
        QVERIFY(!held.renew());
        other.release();
    }

    // A transaction on node 1 loses to a write of the same row committed on node 2 first: the
    // cluster aborts it at its commit (1213). One that only wrote is sent again by the layer;
    // one that read first is not (its statements may no longer be right), and says so in
    // Chinese once the retries are spent; runTransaction runs its work again instead.
    void abortedTransactionsAreSentAgain()
    {
        QVERIFY(cluster_
                    ->sql(1,
                          "CREATE TABLE tally(id INT PRIMARY KEY, v INT);"
                          "INSERT INTO tally VALUES(1,0)",
                          "dovrik")
                    .isEmpty());
        auto one = logOf(1);
        auto two = logOf(2);
        const auto collide = [&] { QVERIFY(two->execute("UPDATE tally SET v=v+100 WHERE id=1")); };

        QVERIFY(one->beginTransaction());
        QVERIFY(one->execute("UPDATE tally SET v=v+1 WHERE id=1"));
        collide();
        const int before = one->retries();
        QVERIFY2(one->commit(), qPrintable(one->lastError().message));
        QVERIFY(one->retries() > before);
        QCOMPARE(cluster_->count(3, "SELECT v FROM tally"), qint64(101));

        QVERIFY(one->beginTransaction());
        const int read = one->query("SELECT v FROM tally WHERE id=1").field(0).toInt();
        QVERIFY(one->execute(QStringLiteral("UPDATE tally SET v=%1 WHERE id=1").arg(read + 1)));
        collide();
        QVERIFY(!one->commit());
        QCOMPARE(one->lastError().native, 1213);
        QVERIFY(db::describeFailure(one->lastError()).startsWith(QStringLiteral("数据库集群")));
        QCOMPARE(cluster_->count(3, "SELECT v FROM tally"), qint64(201));

        bool collided = false;
        QVERIFY(one->runTransaction([&] {
            const int v = one->query("SELECT v FROM tally WHERE id=1").field(0).toInt();
            if (!one->execute(QStringLiteral("UPDATE tally SET v=%1 WHERE id=1").arg(v + 1)))
                return false;
            if (!collided) {
                collided = true;
                collide();
            }
            return true;
        }));
        QCOMPARE(cluster_->count(3, "SELECT v FROM tally"), qint64(302));
        QVERIFY(cluster_->sql(1, "DROP TABLE tally", "dovrik").isEmpty());
    }

    // At the end every node holds the same rows.
    void sameRowsOnEveryNode()
    {
        const QString sum = QStringLiteral(
            "SELECT CONCAT(COUNT(*),'/',SUM(CRC32(CONCAT_WS('|',Name,IP,AcTime,URL,Title,"
            "nLength))))FROM logtable");
        const QString want = cluster_->sql(1, sum, "dovrik");
        for (int node = 2; node <= 3; ++node)
            QCOMPARE(cluster_->sql(node, sum, "dovrik"), want);
    }
};

QTEST_GUILESS_MAIN(Cluster)
#include "test_cluster.moc"
