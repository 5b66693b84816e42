// Paging the log tables on the private test server through the store and its workers: every
// matching row exactly once forward and backward, ties across page boundaries included; the
// page before the count; a count stopped on the server; a failed statement reported while
// the store stays usable.

#include "common/datasources.h"
#include "overseer/core/logstore.h"
#include "tests/overseer/pagingtest.h"
#include "tests/support/logfill.h"
#include "tests/support/testsupport.h"

#include <QRandomGenerator>
#include <QSet>
#include <QSignalSpy>
#include <QTest>

using namespace lt;
using namespace lt::overseer;

namespace
{

const QString kList = QStringLiteral(
    "SELECT * FROM logtable WHERE AcTime>='26-01-01 00:00:00' AND AcTime<='26-12-31 23:59:59'");

QString stamp(int secondsBack)
{
    return QDateTime(QDate(2026, 6, 1), QTime(12, 0))
        .addSecs(-secondsBack)
        .toString("yy-MM-dd HH:mm:ss");
}

// Fills logtable with `rows` rows, row i (newest first) stamped by stampOf(i) and titled i;
// inserted in a shuffled order so that the index order of ties is not the title order.
void fill(int rows, const std::function<int(int)>& stampOf)
{
    QList<int> order(rows);
    std::iota(order.begin(), order.end(), 0);
    std::shuffle(order.begin(), order.end(), *QRandomGenerator::global());
    QList<logrows::LogRow> list;
    for (const int i : order)
        list.append({QStringLiteral("PC%1").arg(i), QStringLiteral("10.0.0.%1").arg(i % 250),
                     stamp(stampOf(i)), "组", QString::number(i),
                     QStringLiteral("www.a.cn/%1").arg(i), "上网", "放行", 10});
    test::fillRows(list);
}

QList<int> titles(const Rows& page)
{
    QList<int> list;
    for (const QStringList& row : page)
        list << row.value(4).section(u' ', 0, 0).toInt(); // "12" or "12 word"
    return list;
}

} // namespace

class LogPaging : public QObject
{
    Q_OBJECT
    test::TestInstallation install_;
    std::unique_ptr<LogStore> store_;

    bool settle() { return test::settled(*store_); }

    Rows go(void (LogStore::*move)())
    {
        (store_.get()->*move)();
        if (!settle())
            return {};
        return store_->page();
    }

    // Pages forward from the first to the last, then back; both walks give the same pages and
    // every row once.
    void walk(int total, const QList<int>& pageRows)
    {
        store_->start(kList);
        QVERIFY(settle());
        QCOMPARE(store_->total(), total);
        QCOMPARE(store_->LogPageCount(), pageRows.size());
        QList<QList<int>> forward = {titles(store_->page())};
        QVERIFY(test::newestFirst(store_->page()));
        for (int p = 1; p < pageRows.size(); ++p) {
            const Rows page = go(&LogStore::日志_显示下页数据);
            QVERIFY(test::newestFirst(page));
            forward << titles(page);
        }
        QList<QList<int>> backward = {titles(go(&LogStore::日志_显示尾页数据))};
        QCOMPARE(store_->LogPageNo(), pageRows.size());
        for (int p = 1; p < pageRows.size(); ++p)
            backward.prepend(titles(go(&LogStore::日志_显示上页数据)));
        QCOMPARE(store_->LogPageNo(), 1);

        QList<int> all;
        for (int p = 0; p < pageRows.size(); ++p) {
            QCOMPARE(forward[p].size(), pageRows[p]);
            QCOMPARE(QSet<int>(forward[p].begin(), forward[p].end()),
                     QSet<int>(backward[p].begin(), backward[p].end()));
            all += forward[p];
        }
        std::sort(all.begin(), all.end());
        QList<int> expected(total);
        std::iota(expected.begin(), expected.end(), 0);
        QCOMPARE(all, expected);

        // Turning round in the middle comes back to the same page.
        store_->日志_显示首页数据();
        QVERIFY(settle());
        if (pageRows.size() > 1) {
            go(&LogStore::日志_显示下页数据);
            const QList<int> again = titles(go(&LogStore::日志_显示上页数据));
            QCOMPARE(QSet<int>(again.begin(), again.end()),
                     QSet<int>(forward[0].begin(), forward[0].end()));
        }
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(install_.useFreshDatabases(), "the private test server does not answer");
    }

    void init()
    {
        store_ = std::make_unique<LogStore>(browseLogTable(), dsn::chosenConnectionStrings().log);
    }
    void cleanup() { store_.reset(); }

    void tiesStraddlingEveryBoundary()
    {
        // 1300 rows; the rows around 500 and 1000 share one stamp each.
        fill(1300, [](int i) {
            if (i >= 493 && i <= 507)
                return 493;
            if (i >= 990 && i <= 1012)
                return 990;
            return i;
        });
        walk(1300, {500, 500, 300});
        // The figures of the first page, once the count is in.
        store_->日志_显示首页数据();
        QVERIFY(settle());
        const ViewStatus s = store_->status();
        QCOMPARE(s.panels[0], "共 1300 条记录");
        QCOMPARE(s.panels[1], "共 3 页");
        QCOMPARE(s.panels[2], "第 1 页");
        QCOMPARE(s.panels[3], "本页 500 条");
        QCOMPARE(s.buttons, (std::array<bool, 4>{false, false, true, true}));
        store_->日志_显示尾页数据();
        QVERIFY(settle());
        QCOMPARE(store_->status().panels[3], "本页 300 条");
        QCOMPARE(store_->status().buttons, (std::array<bool, 4>{true, true, false, false}));
    }

    void aStampLongerThanAPage()
    {
        // Rows 300 to 1100 share one stamp: page 2 lies entirely inside it.
        fill(1300, [](int i) { return i >= 300 && i <= 1100 ? 300 : i; });
        walk(1300, {500, 500, 300});
    }

    void exactlyTwoPagesAndOne()
    {
        fill(1000, [](int i) { return i >= 497 && i <= 503 ? 497 : i; });
        walk(1000, {500, 500});
        fill(500, [](int i) { return i / 7; });
        walk(500, {500});
        QCOMPARE(store_->status().buttons, (std::array<bool, 4>{false, false, false, false}));
    }

    void thePageComesBeforeACountThatCanBeStopped()
    {
        fill(20, [](int i) { return i; });
        QElapsedTimer clock;
        clock.start();
        store_->start(kList, "SELECT 20 + SLEEP(60)");
        QVERIFY(test::waitFor([&] { return !store_->pageRequestOut(); }, 10000));
        QVERIFY(store_->counting());
        QCOMPARE(store_->page().size(), 20);
        QCOMPARE(store_->status().panels[0], QString()); // the count follows
        QCOMPARE(store_->status().panels[2], "第 1 页");
        QVERIFY(test::waitFor(
            [&] { return store_->countChannel().worker()->serverConnectionId() > 0; }));
        // A new list supersedes the count in flight: it is stopped on the server.
        QSignalSpy failures(store_.get(), &LogStore::failed);
        store_->start(kList);
        QVERIFY(settle());
        QCOMPARE(store_->total(), 20);
        QVERIFY(clock.elapsed() < 50000); // the sleeping count did not run out
        QVERIFY(failures.isEmpty());      // a stopped count is no failure
    }

    void aFailedStatementIsReportedAndTheStoreGoesOn()
    {
        fill(30, [](int i) { return i; });
        QSignalSpy failures(store_.get(), &LogStore::failed);
        store_->start("SELECT * FROM nosuchtable WHERE AcTime>='0'");
        QVERIFY(settle());
        QVERIFY(failures.size() >= 1);
        QVERIFY(failures[0][0].toString().startsWith("读取日志记录失败"));
        QVERIFY(store_->page().isEmpty());
        store_->start(kList);
        QVERIFY(settle());
        QCOMPARE(store_->page().size(), 30);
        QCOMPARE(store_->total(), 30);
    }

    void aCountFailingWhileItsPageIsOutIsTheCountsFailure()
    {
        // The page and the count go to two workers; the count's failure arrives first.
        fill(3, [](int i) { return i; });
        QSignalSpy failures(store_.get(), &LogStore::failed);
        store_->start(kList + " AND SLEEP(0.3)=0", "SELECT count(*) FROM nosuchtable");
        QVERIFY(settle());
        QCOMPARE(failures.size(), 1);
        QVERIFY(failures[0][0].toString().startsWith("统计日志记录数失败"));
        QCOMPARE(titles(store_->page()), QList<int>({0, 1, 2}));
    }

    void aWordInFewRowsFindsTheSameFirstPageAsTheWalk()
    {
        // 600 rows; "common" in every other title, "rare" only in the four oldest, "none" in
        // none. A sparse list walks 40 pages' rows and, short of a page, reads the table
        // through: either way the page is the plain statement's.
        QList<logrows::LogRow> rows;
        for (int i = 0; i < 600; ++i) {
            const QString word = i >= 596 ? "rare" : i % 2 ? "common" : "other";
            rows.append({QStringLiteral("PC%1").arg(i), "10.0.0.1", stamp(i), "组",
                         QStringLiteral("%1 %2").arg(i).arg(word), "www.a.cn", "上网", "放行", 10});
        }
        test::fillRows(rows);
        store_->PageSize = 5;
        LogStore plain(browseLogTable(), dsn::chosenConnectionStrings().log);
        plain.PageSize = 5;
        for (const char* word : {"common", "rare", "none"}) {
            const QString list = kList + QStringLiteral(" AND Title LIKE '%%1%'").arg(word);
            store_->start(list, {}, {}, true);
            QVERIFY(store_->pageRequestOut() && !store_->counting()); // the count follows
            plain.start(list);
            QVERIFY(settle());
            QVERIFY(test::settled(plain));
            QCOMPARE(store_->page(), plain.page());
            QCOMPARE(store_->total(), plain.total());
        }
        QCOMPARE(store_->page().size(), 0);
        store_->start(kList + " AND Title LIKE '%rare%'", {}, {}, true);
        QVERIFY(settle());
        QCOMPARE(titles(store_->page()), QList<int>({596, 597, 598, 599}));
        store_->start(kList + " AND Title LIKE '%common%'", {}, {}, true);
        QVERIFY(settle());
        QCOMPARE(titles(store_->page()), QList<int>({1, 3, 5, 7, 9}));
        // The next page goes on from the first as in any list.
        QCOMPARE(titles(go(&LogStore::日志_显示下页数据)), QList<int>({11, 13, 15, 17, 19}));
    }

    void aLostConnectionIsOpenedAgainForTheSameClick()
    {
        fill(1200, [](int i) { return i; });
        store_->start(kList);
        QVERIFY(settle());
        const qint64 pages = store_->pageChannel().worker()->serverConnectionId();
        QVERIFY(pages > 0);
        // The server drops the page worker's connection (as a restarted server does).
        test::sql(QStringLiteral("KILL %1").arg(pages));
        QSignalSpy failures(store_.get(), &LogStore::failed);
        store_->日志_显示下页数据();
        QVERIFY(settle());
        QVERIFY2(failures.isEmpty(), qPrintable(failures.value(0).value(0).toString()));
        QCOMPARE(store_->LogPageNo(), 2);
        QCOMPARE(store_->page().first().value(4), "500");
        QVERIFY(store_->pageChannel().worker()->serverConnectionId() != pages);
    }

    void deletingRowsOfThePage()
    {
        fill(10, [](int i) { return i; });
        store_->start(kList);
        QVERIFY(settle());
        const QStringList doomed = store_->page()[0];
        store_->deleteRows({0},
                           {QStringLiteral("DELETE FROM logtable WHERE IP='%1' AND AcTime='%2'")
                                .arg(doomed[1], doomed[2])});
        QVERIFY(test::waitFor([&] { return !store_->status().busy; }));
        QCOMPARE(store_->page().size(), 9);
        QCOMPARE(test::sql("SELECT count(*) FROM logtable", "dovrik").trimmed(), "9");
        // Figures of the page stay as they were shown.
        QCOMPARE(store_->status().panels[3], "本页 10 条");
    }
};

QTEST_MAIN(LogPaging)
#include "test_logpaging.moc"
