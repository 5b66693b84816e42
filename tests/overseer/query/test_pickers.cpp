// The pickers and the lists of the access-log condition dialog against the private server: the
// terminals by name, the pages of the newest log rows (at most 3001), header sorting, the choice
// taken on closing, and a word when the database does not answer.

#include "common/cmysql.h"
#include "common/datasources.h"
#include "common/logrows.h"
#include "overseer/core/formmain.h"
#include "overseer/query/conditiondialogs.h"
#include "overseer/query/conditionrules.h"
#include "overseer/query/pickers.h"
#include "tests/overseer/consoletest.h"
#include "tests/support/logfill.h"

#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

using namespace lt;
using namespace lt::overseer;

namespace
{

using test::on;

QStringList column(QTreeWidget* list, int c)
{
    QStringList texts;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        texts << list->topLevelItem(i)->text(c);
    return texts;
}

void doubleClickRow(QTreeWidget* list, int row)
{
    QVERIFY(QTest::qWaitForWindowExposed(list->window()));
    QTreeWidgetItem* item = list->topLevelItem(row);
    QVERIFY(item);
    list->setCurrentItem(item);
    const QRect r = list->visualItemRect(item);
    // The view takes a double click only on the row its press went to.
    QTest::mousePress(list->viewport(), Qt::LeftButton, {}, r.center());
    QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, r.center());
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, r.center());
}

// n log rows, one second apart from `day` 00:00:00 on; row i visits pattern with "#" replaced by
// i mod pages.
void fillLog(int n, const QString& day, const QString& pattern, int pages)
{
    const QString page = QString::number(pages);
    test::sql("INSERT INTO logtable(" + logrows::kLogColumns +
                  ") SELECT 'pc','10.0.0.1',"
                  "DATE_FORMAT(DATE_ADD('" +
                  day +
                  "',INTERVAL seq SECOND),'%y-%m-%d %H:%i:%s'),"
                  "'组',CONCAT('标题',seq MOD " +
                  page + "),REPLACE('" + pattern + "','#',seq MOD " + page +
                  "),'上网','放行','10',1 FROM seq_0_to_" + QString::number(n - 1),
              "dovrik");
}

} // namespace

class Pickers : public QObject
{
    Q_OBJECT
    test::TestInstallation install_;
    std::unique_ptr<FormMain> form_;
    LogQueryState state_;

private slots:
    void initTestCase()
    {
        QVERIFY2(install_.useFreshDatabases(), "the private test server does not answer");
        test::sql("INSERT INTO usertable VALUES('pc-b  ','10.0.0.2 ','组B'),"
                  "('pc-a','10.0.0.1','组A'),('pc''c','10.0.0.3','组B');"
                  "INSERT INTO grouptable (Team) VALUES('  组''B  ');",
                  "ipdata");
    }

    void init()
    {
        form_ = std::make_unique<FormMain>();
        QVERIFY(test::connectConsole(form_->context()));
        state_ = LogQueryState();
    }
    void cleanup() { form_.reset(); }

    // Trimmed names by name, the address as the row's tag; a double click takes the row.
    void terminalPicked()
    {
        QStringList names, addresses;
        test::ModalScript script({on<FormXZZD>([&](FormXZZD& p) {
            QTRY_VERIFY(p.rowsRead()); // read beside the window
            QCOMPARE(p.windowTitle(), "选择终端");
            QCOMPARE(p.ListView1->headerItem()->text(0), "终端");
            QCOMPARE(p.ListView1->headerItem()->text(1), "地址");
            names = column(p.ListView1, 0);
            addresses = column(p.ListView1, 1);
            doubleClickRow(p.ListView1, 1);
        })});
        QVERIFY(form_->context().dialog<FormXZZD>().run(state_));
        QCOMPARE(names, QStringList({"pc'c", "pc-a", "pc-b"}));
        QCOMPARE(addresses, QStringList({"10.0.0.3", "10.0.0.1", "10.0.0.2"}));
        QCOMPARE(state_.CondTermName, "pc-a");
        QCOMPARE(state_.CondTermIP, "10.0.0.1");
    }

    // Closed without a row selected: nothing changes.
    void terminalNotPicked()
    {
        state_.CondTermName = "old";
        state_.CondTermIP = "10.9.9.9";
        test::ModalScript script({[](QWidget* modal) { modal->close(); }});
        QVERIFY(!form_->context().dialog<FormXZZD>().run(state_));
        QCOMPARE(script.stepsRun(), 1);
        QCOMPARE(state_.CondTermName, "old");
        QCOMPARE(state_.CondTermIP, "10.9.9.9");
    }

    // First click on a header: descending and marked; the next: ascending, the mark cleared.
    void headerSortToggle()
    {
        QStringList first, second;
        bool markedFirst = false, markedSecond = true;
        test::ModalScript script({on<FormXZZD>([&](FormXZZD& p) {
            QVERIFY(QTest::qWaitForWindowExposed(&p));
            QTRY_VERIFY(p.rowsRead());
            QHeaderView* header = p.ListView1->header();
            const QPoint at(header->sectionViewportPosition(1) + 5, header->height() / 2);
            QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
            first = column(p.ListView1, 1);
            markedFirst = header->isSortIndicatorShown();
            QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
            second = column(p.ListView1, 1);
            markedSecond = header->isSortIndicatorShown();
            p.close();
        })});
        form_->context().dialog<FormXZZD>().run(state_);
        QCOMPARE(first, QStringList({"10.0.0.3", "10.0.0.2", "10.0.0.1"}));
        QVERIFY(markedFirst);
        QCOMPARE(second, QStringList({"10.0.0.1", "10.0.0.2", "10.0.0.3"}));
        QVERIFY(!markedSecond);
    }

    // The terminal button of the access-log dialog writes the picked address into its box; the
    // group and class lists hold the trimmed rows in the order returned.
    void accessLogDialogLists()
    {
        QStringList groups, classes;
        test::ModalScript script({on<DialogTJ>([&](DialogTJ& d) {
            QTRY_VERIFY(d.listsRead()); // read beside the window
            for (int i = 0; i < d.Combo_组别->count(); ++i)
                groups << d.Combo_组别->itemText(i);
            for (int i = 0; i < d.Combo_类别->count(); ++i)
                classes << d.Combo_类别->itemText(i);
            QCOMPARE(d.Combo_组别->currentText(), "");
            test::ModalScript picker({on<FormXZZD>([](FormXZZD& p) {
                QTRY_VERIFY(p.rowsRead());
                doubleClickRow(p.ListView1, 2);
            })});
            d.Command_终端->click();
            QCOMPARE(d.Text_终端->text(), "10.0.0.2");
            d.OKButton->click();
        })});
        QVERIFY(form_->context().dialog<DialogTJ>().run(state_));
        QCOMPARE(groups, QStringList({"临时工作组", "组'B"}));
        QCOMPARE(classes.size(), 12);
        QCOMPARE(classes.first(), "上网");
        QCOMPARE(classes.last(), "其它");
        QCOMPARE(state_.CondCode, "10000");
        QCOMPARE(state_.CondTermIP, "10.0.0.2");
        QCOMPARE(state_.CondTermName, "10.0.0.2");
    }

    // Never more than 3001 pages, the most recently visited first; the page picked goes into the
    // title box in lower case.
    void webPagesCapped()
    {
        test::sql("DELETE FROM logtable", "dovrik");
        fillLog(3100, "2026-12-01", "HTTP://Site#.Example/", 3100);
        QStringList pages;
        test::ModalScript script({on<DialogTJ>([&](DialogTJ& d) {
            test::ModalScript picker({on<FormXZWY>([&](FormXZWY& p) {
                QTRY_VERIFY_WITH_TIMEOUT(p.rowsRead(), 20000);
                QCOMPARE(p.windowTitle(), "选择网站/网页");
                QCOMPARE(p.ListView1->headerItem()->text(0), "域名(网站/网页)");
                QCOMPARE(p.ListView1->headerItem()->text(1), "标题");
                pages = column(p.ListView1, 0);
                doubleClickRow(p.ListView1, 0);
            })});
            d.Command_标题->click();
            QCOMPARE(d.Text_标题->text(), "http://site3099.example/");
            d.OKButton->click();
        })});
        QVERIFY(form_->context().dialog<DialogTJ>().run(state_));
        QCOMPARE(pages.size(), kWebPickerPages);
        QCOMPARE(pages.first(), "HTTP://Site3099.Example/");
        QCOMPARE(pages.last(), "HTTP://Site99.Example/");
        QCOMPARE(state_.CondTitle, "http://site3099.example/");
    }

    // Only the newest rows are grouped: a page visited before them is not offered, except on a
    // row that shares the time stamp of the oldest row counted.
    void webPagesOfTheNewestRows()
    {
        test::sql("DELETE FROM logtable", "dovrik");
        fillLog(kWebPickerRecentRows, "2026-12-02", "http://new#.example/", 2000);
        test::fillRows(QList<logrows::LogRow>{{"pc", "10.0.0.1", "26-12-01 23:00:00", "组", "t",
                                               "http://old.example/", "上网", "放行", 10},
                                              {"pc", "10.0.0.1", "26-12-02 00:00:00", "组", "t",
                                               "http://tied.example/", "上网", "放行", 10}},
                       test::Existing::Keep);
        QStringList pages;
        test::ModalScript script({on<FormXZWY>([&](FormXZWY& p) {
            QTRY_VERIFY_WITH_TIMEOUT(p.rowsRead(), 20000);
            pages = column(p.ListView1, 0);
            p.close();
        })});
        QVERIFY(!form_->context().dialog<FormXZWY>().pick());
        QCOMPARE(pages.size(), 2001);
        QVERIFY(pages.contains("http://tied.example/"));
        QVERIFY(!pages.contains("http://old.example/"));
        QCOMPARE(pages.first(), "http://new1999.example/");
    }

    // A log that cannot be read: the administrator is told, the picker still opens.
    void webPickerWithoutDatabase()
    {
        test::MessageLog messages;
        QVERIFY(!form_->context().MySql->Cnn0.open("DSN=lt_no_such_source"));
        int rows = -1;
        test::ModalScript script({on<FormXZWY>([&](FormXZWY& p) {
            QTRY_VERIFY(p.rowsRead());
            rows = p.ListView1->topLevelItemCount();
            p.close();
        })});
        QVERIFY(!form_->context().dialog<FormXZWY>().pick());
        QCOMPARE(rows, 0);
        QCOMPARE(messages.texts().size(), 1);
        QVERIFY(messages.texts().first().startsWith("读取数据库失败，列表不完整。"));
    }
};

QTEST_MAIN(Pickers)
#include "test_pickers.moc"
