// The statistics view in the real main window against the test server: the visit statistics
// of each mode ordered by the count, the status and paging of 5000 rows a page, an empty mode,
// deleting the log rows of a page, opening a page, the traffic per terminal in one grouped
// statement, and a cancelled dialog.

#include "common/clock.h"
#include "common/logrows.h"
#include "common/odbc.h"
#include "overseer/core/formmain.h"
#include "overseer/query/conditiondialogs.h"
#include "overseer/query/statsview.h"
#include "tests/overseer/consoletest.h"
#include "tests/overseer/pagingtest.h"
#include "tests/support/logfill.h"

#include <QDateEdit>
#include <QLabel>
#include <QMutex>
#include <QPushButton>
#include <QRadioButton>
#include <QTimeEdit>
#include <QTreeView>

using namespace lt;
using namespace lt::overseer;

namespace
{

const QDateTime kNow(QDate(2026, 12, 7), QTime(15, 0));

// The statements sent while it lives, from any thread.
class StatementLog
{
public:
    StatementLog()
    {
        id_ = db::addStatementObserver([this](const db::StatementEvent& e) {
            if (e.kind != db::StatementEvent::Statement)
                return;
            QMutexLocker lock(&mutex_);
            texts_ << e.text;
        });
    }
    ~StatementLog() { db::removeStatementObserver(id_); }
    QStringList matching(const QString& part)
    {
        QMutexLocker lock(&mutex_);
        return texts_.filter(part);
    }

private:
    QMutex mutex_;
    QStringList texts_;
    int id_ = 0;
};

// A log row of 2026-12-07 (or of another day).
logrows::LogRow logRow(const QString& name, const QString& ip, const QString& url, int f,
                       const QString& length = "1", const QString& day = "26-12-07")
{
    return {name,   ip,     day + " 10:00:00",   "组", "标题 " + url, url,
            "新闻", "放行", length.toLongLong(), f};
}

void fillLog(const QList<logrows::LogRow>& rows)
{
    test::fillRows(rows);
}

} // namespace

class StatsView : public QObject
{
    Q_OBJECT
    test::TestInstallation install_;
    std::unique_ptr<FormMain> form_;
    LogQueryState state_;
    StatisticsView* view_ = nullptr;

    // Runs the statistics dialog in `mode` over 2026-12-01 .. 2026-12-07 23:59:59.
    void run(int mode, bool confirm = true)
    {
        test::ModalScript script({[=](QWidget* modal) {
            auto* d = qobject_cast<DialogFW*>(modal);
            QVERIFY(d);
            d->Option_F[mode]->setChecked(true);
            d->Range.startDate->setDate(QDate(2026, 12, 1));
            d->Range.startTime->setTime(QTime(0, 0));
            d->Range.endDate->setDate(QDate(2026, 12, 7));
            d->Range.endTime->setTime(QTime(23, 59, 59));
            (confirm ? d->OKButton : d->CancelButton)->click();
        }});
        view_->访问统计函数();
        QCOMPARE(script.stepsRun(), 1);
        QVERIFY(settle());
    }
    bool settle()
    {
        return test::waitFor([&] { return !view_->requestOut(); }, 30000);
    }
    QStringList column(int c) const
    {
        QStringList texts;
        for (const QStringList& row : view_->pageModel().rows())
            texts << row.value(c);
        return texts;
    }
    QStringList panels() const { return test::panels(*form_); }
    QList<bool> buttons() const { return test::pagingButtonsOn(*form_); }

private slots:
    void initTestCase()
    {
        QVERIFY2(install_.useFreshDatabases(), "the private test server does not answer");
        Clock::setNow(kNow);
    }

    void init()
    {
        form_ = std::make_unique<FormMain>();
        form_->EndConsole = [] {};
        state_ = LogQueryState();
        view_ = new StatisticsView(form_->context(), state_, form_.get());
        form_->addView(view_);
        form_->show();
        QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
    }
    void cleanup() { form_.reset(); }

    // One row of F = 5 must not put its page before a page counted ten times.
    void pagesByVisitCount()
    {
        QList<logrows::LogRow> rows;
        for (int i = 0; i < 10; ++i)
            rows << logRow("pc1", "10.0.0.1", "a.cn", 1);
        rows << logRow("pc1", "10.0.0.1", "b.cn", 5);
        for (int i = 0; i < 3; ++i)
            rows << logRow("pc2", "10.0.0.2", "c.cn", 1);
        rows << logRow("pc2", "10.0.0.2", "d.cn", 1, "1", "26-11-01"); // out of range
        fillLog(rows);
        StatementLog log;
        run(1);
        QCOMPARE(form_->CurrentView, "显示访问统计");
        QCOMPARE(test::title(*form_)->text(), "所 有 网 页 访 问 统 计");
        QCOMPARE(form_->context().PageSize, 5000);
        QCOMPARE(test::list(*form_)->model()->headerData(0, Qt::Horizontal).toString(),
                 "域名(网站/网页)");
        QCOMPARE(column(0), QStringList({"a.cn", "b.cn", "c.cn"}));
        QCOMPARE(column(1), QStringList({"标题 a.cn", "标题 b.cn", "标题 c.cn"}));
        QCOMPARE(column(2), QStringList({QString(8, ' ') + "10", QString(9, ' ') + "5",
                                         QString(9, ' ') + "3"}));
        QCOMPARE(panels(), QStringList({"共 3 条记录", "共 1 页", "第 1 页", "本页 3 条"}));
        QCOMPARE(buttons(), QList<bool>({false, false, false, false}));
        QCOMPARE(log.matching("GROUP BY URL ORDER BY SUM(F) DESC").size(), 1);
        QVERIFY(!form_->toolbarKey(key::日志打印)->isEnabled());
    }

    void terminalsByVisitCount()
    {
        fillLog({logRow("pc1", "10.0.0.1", "a.cn", 1), logRow("pc2", "10.0.0.2", "a.cn", 1),
                 logRow("pc2", "10.0.0.2", "b.cn", 1)});
        run(2);
        QCOMPARE(test::title(*form_)->text(), "所 有 终 端 访 问 统 计");
        QCOMPARE(test::list(*form_)->model()->headerData(0, Qt::Horizontal).toString(), "终端");
        QCOMPARE(column(0), QStringList({"pc2", "pc1"}));
        QCOMPARE(column(1), QStringList({"10.0.0.2", "10.0.0.1"}));
    }

    void oneTerminalWithoutRows()
    {
        fillLog({logRow("pc1", " 10.0.0.1", "a.cn", 1)});
        state_.CondTermName = "pc9";
        state_.CondTermIP = "10.0.0.9";
        run(0);
        QCOMPARE(test::title(*form_)->text(), "pc9_终端 访 问 统 计");
        QCOMPARE(view_->pageModel().rowCount(), 0);
        QCOMPARE(form_->panel(1)->text(), "共 0 条记录");
        state_.CondTermIP = "10.0.0.1";
        run(0);
        QCOMPARE(column(0), QStringList({"a.cn"}));
    }

    // 5003 pages: two pages of the list; the second holds the three least visited.
    void pagedBy5000()
    {
        test::sql("DELETE FROM logtable; INSERT INTO logtable(" + logrows::kLogColumns +
                      ") SELECT 'pc','10.0.0.1',"
                      "'26-12-07 10:00:00','组','t',CONCAT('p',seq,'.cn'),'c','放行','1',"
                      "IF(seq < 5000, 2, 1) FROM seq_0_to_5002;",
                  "dovrik");
        run(1);
        QCOMPARE(panels(), QStringList({"共 5003 条记录", "共 2 页", "第 1 页", "本页 5000 条"}));
        QCOMPARE(buttons(), QList<bool>({false, false, true, true}));
        form_->runPaging(paging::下页);
        QVERIFY(settle());
        QCOMPARE(panels(), QStringList({"共 5003 条记录", "共 2 页", "第 2 页", "本页 3 条"}));
        QCOMPARE(column(2), QStringList(3, QString(9, ' ') + "1"));
        QCOMPARE(buttons(), QList<bool>({true, true, false, false}));
        form_->runPaging(paging::首页);
        QVERIFY(settle());
        QCOMPARE(form_->panel(3)->text(), "第 1 页");
    }

    // The log rows of the page go, in any time range; the row leaves the list.
    void deletingAPage()
    {
        fillLog({logRow("pc1", "10.0.0.1", "a.cn", 1), logRow("pc1", "10.0.0.1", "a.cn", 1),
                 logRow("pc1", "10.0.0.1", "a.cn", 1, "1", "25-01-01"),
                 logRow("pc1", "10.0.0.1", "b'c.cn", 1)});
        run(1);
        QCOMPARE(column(0), QStringList({"a.cn", "b'c.cn"}));
        test::list(*form_)->selectAll();
        test::MessageLog messages(ui::Answer::Ok);
        QVERIFY(form_->runMenuItem(item::统计_删除记录));
        QCOMPARE(messages.texts(), QStringList({"确定删除所选记录吗？"}));
        QVERIFY(test::waitFor([&] { return view_->pageModel().rowCount() == 0; }, 10000));
        QCOMPARE(test::sql("SELECT COUNT(*) FROM logtable", "dovrik").trimmed(), "0");
    }

    void deletingCancelled()
    {
        fillLog({logRow("pc1", "10.0.0.1", "a.cn", 1)});
        run(1);
        test::list(*form_)->selectAll();
        test::MessageLog messages(ui::Answer::Cancel);
        form_->runMenuItem(item::统计_删除记录);
        QCOMPARE(messages.texts().size(), 1);
        QTest::qWait(200);
        QCOMPARE(view_->pageModel().rowCount(), 1);
        QCOMPARE(test::sql("SELECT COUNT(*) FROM logtable", "dovrik").trimmed(), "1");
    }

    void openingAPage()
    {
        fillLog({logRow("pc1", "10.0.0.1", "www.a.cn/x", 1)});
        QList<QUrl> opened;
        form_->context().OpenUrl = [&](const QUrl& url) {
            opened << url;
            return true;
        };
        run(1);
        form_->runMenuItem(item::统计_查看网页); // no row selected: nothing
        QVERIFY(opened.isEmpty());
        test::list(*form_)->setCurrentIndex(test::list(*form_)->model()->index(0, 0));
        QVERIFY(form_->runMenuItem(item::统计_查看网页));
        QCOMPARE(opened, QList<QUrl>({QUrl("http://www.a.cn/x")}));
    }

    // Every terminal of the register in one grouped statement over the log.
    void trafficPerTerminal()
    {
        test::sql("DELETE FROM usertable; INSERT INTO usertable VALUES "
                  "('pc-b','10.0.0.2','组'),(' pc-a ',' 10.0.0.1 ','组');",
                  "ipdata");
        fillLog({logRow("x", "10.0.0.1", "a", 1, "1000"), logRow("x", " 10.0.0.1", "a", 1, "536"),
                 logRow("x", "10.0.0.1", "a", 1, "99999", "26-11-01"),
                 logRow("x", "10.0.0.3", "a", 1, "4096")});
        StatementLog log;
        run(3);
        QCOMPARE(form_->CurrentView, "显示流量统计");
        QCOMPARE(test::title(*form_)->text(), "流    量    统    计");
        QCOMPARE(test::list(*form_)->model()->headerData(2, Qt::Horizontal).toString(), "流量(MB)");
        QCOMPARE(column(0), QStringList({"pc-a", "pc-b"}));
        QCOMPARE(column(1), QStringList({"10.0.0.1", "10.0.0.2"}));
        QCOMPARE(column(2), QStringList({QString(32, ' ') + "1.5", QString(34, ' ') + "0"}));
        QCOMPARE(panels(),
                 QStringList({"起始：26-12-01 00:00:00", "截至：26-12-07 23:59:59", "", ""}));
        // One grouped statement for every terminal (the sums' fold sends statements of its own).
        QCOMPARE(log.matching("GROUP BY Trim(IP)").size(), 1);
        QVERIFY(log.matching("WHERE Trim(IP) =").isEmpty());
        QCOMPARE(state_.CondTermName, "pc-b");
        // No page to open or delete in a list of terminals.
        test::list(*form_)->setCurrentIndex(test::list(*form_)->model()->index(0, 0));
        test::MessageLog messages;
        form_->runMenuItem(item::统计_删除记录);
        QVERIFY(messages.texts().isEmpty());
    }

    void cancelledDialogLeavesTheView()
    {
        fillLog({logRow("pc1", "10.0.0.1", "a.cn", 1)});
        run(1);
        run(2, false);
        QCOMPARE(form_->CurrentView, "显示访问统计");
        QCOMPARE(column(0), QStringList({"a.cn"}));
    }

    // A statement the server refuses is said, not shown as an empty statistic.
    void failureIsTold()
    {
        test::sql("RENAME TABLE logtable TO logtable_away", "dovrik");
        test::MessageLog messages;
        run(1);
        test::sql("RENAME TABLE logtable_away TO logtable", "dovrik");
        QCOMPARE(messages.texts().size(), 1);
        QVERIFY(messages.texts().first().startsWith("统计失败"));
    }
};

QTEST_MAIN(StatsView)
#include "test_statsview.moc"
