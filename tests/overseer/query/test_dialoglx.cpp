// The traffic monitor against the test server: the terminals, the connection list of the one
// clicked with every column filled, the chart following the hour's counters written into
// uptable and downtable while it is open, and the day, week and all-terminal tabs.

#include "common/clock.h"
#include "common/datasources.h"
#include "overseer/core/formmain.h"
#include "overseer/query/dialoglx.h"
#include "tests/overseer/consoletest.h"

#include <QChartView>
#include <QDateEdit>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTreeWidget>

using namespace lt;
using namespace lt::overseer;

namespace
{

const QDateTime kNow(QDate(2026, 12, 7), QTime(15, 20));

QString counters(int hour, qint64 bytes)
{
    QStringList hours;
    for (int h = 0; h < 24; ++h)
        hours << (h == hour ? QString::number(bytes) : "0");
    return hours.join(',');
}

// One connection's counters, in uptable or downtable.
void counter(const QString& table, const QString& ip, const QString& date, const QString& site,
             int hour, qint64 bytes)
{
    test::sql("INSERT INTO " + table + " VALUES('" + ip + "','61.1.1.1','" + date + "','" + site +
                  "',50123,80," + counters(hour, bytes) + ");",
              "ipdata");
}

QStringList row(QTreeWidget* list, int r)
{
    QStringList texts;
    QTreeWidgetItem* item = list->topLevelItem(r);
    for (int c = 0; item && c < list->columnCount(); ++c)
        texts << item->text(c);
    return texts;
}

} // namespace

class DialogLx : public QObject
{
    Q_OBJECT
    test::TestInstallation install_;
    std::unique_ptr<FormMain> form_;
    DialogLX* dialog_ = nullptr;

private slots:
    void initTestCase()
    {
        QVERIFY2(install_.useFreshDatabases(), "the private test server does not answer");
        Clock::setNow(kNow);
        test::sql(
            "INSERT INTO usertable VALUES('pc-a ','10.0.0.1 ','组'),('pc-b','10.0.0.2','组');",
            "ipdata");
    }

    void init()
    {
        test::sql("DELETE FROM uptable; DELETE FROM downtable;", "ipdata");
        form_ = std::make_unique<FormMain>();
        form_->context().MySql = std::make_unique<CMySql>();
        QVERIFY(form_->context().MySql->Cnn1.open(dsn::chosenConnectionStrings().config));
        dialog_ = &form_->context().dialog<DialogLX>();
    }
    void cleanup()
    {
        form_.reset();
        dialog_ = nullptr;
    }

    void layoutAndUsers()
    {
        QCOMPARE(dialog_->windowTitle(), "流量显示");
        QCOMPARE(dialog_->TabStrip1->count(), 6);
        QCOMPARE(dialog_->TabStrip1->tabText(3), "所有用户某时段流量");
        QCOMPARE(dialog_->ListView_用户->headerItem()->text(0), "用户 IP");
        QCOMPARE(row(dialog_->ListView_用户, 0), QStringList({"10.0.0.1", "pc-a"}));
        QCOMPARE(dialog_->ListView_流量->headerItem()->text(1), "流量（K）");
        QCOMPARE(dialog_->ListView_流量->columnCount(), 7);
        QCOMPARE(dialog_->Chart1->chart()->title(), "用户实时流量图");
        QVERIFY(dialog_->Timer1.isActive());
        QCOMPARE(dialog_->Timer1.interval(), 1000);
        // The first terminal is chosen as the window opens: its figures, not placeholders, and
        // the words that it has no traffic rather than bare zeros.
        QCOMPARE(dialog_->MonitorAddr, "10.0.0.1");
        QCOMPARE(dialog_->ListView_用户->currentItem(), dialog_->ListView_用户->topLevelItem(0));
        QCOMPARE(dialog_->Label1->text(), "用户：pc-a（10.0.0.1）");
        QCOMPARE(dialog_->chartValues(), QList<qreal>({0, 0, 0}));
        QVERIFY(dialog_->Label_NoTraffic->isVisibleTo(dialog_));
        QCOMPARE(dialog_->Label_NoTraffic->text(), "没有流量记录");
    }

    // "没有流量记录" goes as soon as the terminal shown has traffic, and comes back for one
    // without.
    void noTrafficNotice()
    {
        counter("uptable", "10.0.0.1", "2026-12-07", "www.a.cn", 15, 1024);
        dialog_->Timer1_Timer();
        QCOMPARE(dialog_->chartValues(), QList<qreal>({1, 0, 1}));
        QVERIFY(!dialog_->Label_NoTraffic->isVisibleTo(dialog_));
        // Another terminal chosen (with the arrow key): its figures at once.
        dialog_->ListView_用户->setFocus();
        QTest::keyClick(dialog_->ListView_用户, Qt::Key_Down);
        QCOMPARE(dialog_->MonitorAddr, "10.0.0.2");
        QCOMPARE(dialog_->chartValues(), QList<qreal>({0, 0, 0}));
        QVERIFY(dialog_->Label_NoTraffic->isVisibleTo(dialog_));
    }

    // The chart shows the hour running, and moves as the counters grow.
    void chartFollowsTheCounters()
    {
        dialog_->ListView_用户_Click(0);
        QCOMPARE(dialog_->MonitorAddr, "10.0.0.1");
        counter("uptable", "10.0.0.1", "2026-12-07", "www.a.cn", 15, 1024);
        counter("uptable", "10.0.0.1", "2026-12-07", "www.b.cn", 15, 512);
        counter("uptable", "10.0.0.1", "2026-12-07", "www.a.cn", 14, 99999); // another hour
        counter("uptable", "10.0.0.1", "2026-12-06", "www.a.cn", 15, 99999); // another day
        counter("uptable", "10.0.0.2", "2026-12-07", "www.a.cn", 15, 99999); // another terminal
        counter("downtable", "10.0.0.1", "2026-12-07", "www.a.cn", 15, 4096);
        dialog_->show();
        // The window's own timer, once a second.
        QVERIFY(test::waitFor([&] { return dialog_->chartValues().first() != 0; }, 3000));
        QCOMPARE(dialog_->chartValues(), QList<qreal>({1.5, 4, 5.5}));
        test::sql("UPDATE uptable SET t15=t15+1536 WHERE srcip='10.0.0.1' AND strurl='www.b.cn'",
                  "ipdata");
        QVERIFY(test::waitFor([&] { return dialog_->chartValues().first() == 3; }, 3000));
        QCOMPARE(dialog_->chartValues(), QList<qreal>({3, 4, 7}));
        dialog_->hide();
    }

    void connectionList()
    {
        counter("uptable", "10.0.0.1", "2026-12-07", "www.a.cn", 15, 1024);
        counter("downtable", "10.0.0.1", "2026-12-07", "www.a.cn", 15, 2048);
        counter("uptable", "10.0.0.2", "2026-12-07", "www.b.cn", 9, 1024);
        dialog_->Command_OK->click(); // no user clicked: the first one, chosen on opening
        QCOMPARE(dialog_->ListView_流量->topLevelItemCount(), 1);
        dialog_->ListView_用户_Click(0);
        dialog_->Command_OK->click();
        QCOMPARE(dialog_->ListView_流量->topLevelItemCount(), 1);
        QCOMPARE(row(dialog_->ListView_流量, 0),
                 QStringList({"2026-12-07 15时", "3", "活动", "50123→80", "HTTP", "www.a.cn",
                              "服务器 61.1.1.1，发送 1 K，接收 2 K"}));
        // Another user replaces the rows.
        dialog_->ListView_用户_Click(1);
        dialog_->Command_OK->click();
        QCOMPARE(dialog_->ListView_流量->topLevelItemCount(), 1);
        QCOMPARE(row(dialog_->ListView_流量, 0).value(5), "www.b.cn");
        QCOMPARE(row(dialog_->ListView_流量, 0).value(2), "结束");
    }

    void otherTabs()
    {
        counter("uptable", "10.0.0.1", "2026-12-07", "www.a.cn", 9, 2048);
        counter("uptable", "10.0.0.1", "2026-12-07", "www.b.cn", 15, 1024);
        counter("downtable", "10.0.0.1", "2026-12-07", "www.a.cn", 9, 1024);
        counter("uptable", "10.0.0.1", "2026-12-03", "www.a.cn", 9, 10240);
        counter("uptable", "10.0.0.1", "2026-11-20", "www.a.cn", 9, 99999); // before the week
        counter("uptable", "10.0.0.2", "2026-12-07", "www.c.cn", 10, 512);
        dialog_->ListView_用户_Click(0);

        dialog_->TabStrip1->setCurrentIndex(1); // this user's day by hour
        QTreeWidget* day = dialog_->tabs[0].list;
        QCOMPARE(day->topLevelItemCount(), 24);
        QCOMPARE(row(day, 9), QStringList({"09:00-10:00", "2", "1", "3"}));
        QCOMPARE(row(day, 15), QStringList({"15:00-16:00", "1", "0", "1"}));

        dialog_->TabStrip1->setCurrentIndex(2); // this user's week
        QTreeWidget* week = dialog_->tabs[1].list;
        QCOMPARE(week->topLevelItemCount(), 7);
        QCOMPARE(row(week, 0).value(0), "2026-12-01");
        QCOMPARE(row(week, 2), QStringList({"2026-12-03", "10", "0", "10"}));
        QCOMPARE(row(week, 6), QStringList({"2026-12-07", "3", "1", "4"}));

        dialog_->tabs[2].fromHour->setValue(9);
        dialog_->tabs[2].toHour->setValue(9);
        dialog_->TabStrip1->setCurrentIndex(3); // every user, 09:00 to 10:00
        QTreeWidget* span = dialog_->tabs[2].list;
        QCOMPARE(span->topLevelItemCount(), 2);
        QCOMPARE(row(span, 0), QStringList({"10.0.0.1", "pc-a", "2", "1", "3"}));
        QCOMPARE(row(span, 1), QStringList({"10.0.0.2", "pc-b", "0", "0", "0"}));

        dialog_->TabStrip1->setCurrentIndex(4); // every user's day
        QCOMPARE(row(dialog_->tabs[3].list, 0), QStringList({"10.0.0.1", "pc-a", "3", "1", "4"}));
        QCOMPARE(row(dialog_->tabs[3].list, 1).value(2), "0.5");

        dialog_->TabStrip1->setCurrentIndex(5); // every user's week
        QCOMPARE(row(dialog_->tabs[4].list, 0), QStringList({"10.0.0.1", "pc-a", "13", "1", "14"}));
    }
};

QTEST_MAIN(DialogLx)
#include "test_dialoglx.moc"
