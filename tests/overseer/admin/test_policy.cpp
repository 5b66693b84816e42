// The group policy dialog against the test server: what it shows for a new group, the quick
// selections and single hours stored in their columns, edits on several tabs, Cancel, the one
// statement OK sends, fewer class rows than tabs, a group gone from the table.

#include "overseer/admin/adminrules.h"
#include "overseer/admin/policydialog.h"
#include "tests/overseer/admin/admintest.h"

#include <QAction>
#include <QPushButton>
#include <QTabBar>
#include <QToolBar>
#include <QToolButton>

using namespace lt;
using namespace lt::overseer;
using namespace lt::overseer::admin;

namespace
{

QAction* action(QToolBar* bar, const QString& caption)
{
    for (QAction* a : bar->actions()) {
        if (a->text() == caption)
            return a;
    }
    return nullptr;
}

QString pressedMode(QToolBar* bar)
{
    for (QAction* a : bar->actions()) {
        if (a->isChecked())
            return a->text();
    }
    return {};
}

QString column(const QString& name, const QString& group = "销售")
{
    return test::sql(QString("SELECT %1 FROM grouptable WHERE Team='%2'").arg(name, group),
                     "ipdata")
        .trimmed();
}

} // namespace

class Policy : public QObject
{
    Q_OBJECT
    test::TestInstallation install_;
    std::unique_ptr<FormMain> form_;

    // Opens the dialog for the group in row 1 of the group view and runs the step in it.
    int openPolicy(const std::function<void(DialogSt*)>& step)
    {
        form_->toolbarKey(key::组别配置)->trigger();
        test::listRead(*form_);
        test::selectRows(*form_, {1});
        test::ModalScript script({[&](QWidget* modal) {
            auto* d = qobject_cast<DialogSt*>(modal);
            QVERIFY(d);
            test::okAgain(d->OKButton); // the policy is read beside the window
            step(d);
        }});
        form_->runMenuItem(item::组别_配置);
        return script.stepsRun();
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(install_.useFreshDatabases(), "the private test server does not answer");
    }

    void init()
    {
        const QString masks = QString(",'%1'").arg(kEmptyMask).repeated(12);
        test::sql("DELETE FROM grouptable; DELETE FROM classtable;"
                  "INSERT INTO grouptable VALUES('临时工作组','0','0'" +
                      masks +
                      ");"
                      "INSERT INTO grouptable VALUES('销售','0','0'" +
                      masks + ");",
                  "ipdata");
        QStringList classes;
        const QString codes = "ABCDEFGHIJKL";
        const QStringList names = {"上网", "反动", "邪教", "色情", "成人", "用品",
                                   "同志", "交友", "聊天", "游戏", "证券", "其它"};
        for (int i = 0; i < 12; ++i)
            classes << QString("('%1','%2')").arg(names[i], codes[i]);
        test::sql("INSERT INTO classtable VALUES " + classes.join(','), "ipdata");
        form_ = test::adminForm();
    }

    void cleanup() { form_.reset(); }

    void aNewGroupShowsNothingSelected()
    {
        QCOMPARE(openPolicy([](DialogSt* d) {
                     QCOMPARE(d->windowTitle(), "销售浏览类别和时间配置");
                     QCOMPARE(d->TabStrip_类别->count(), 12);
                     QCOMPARE(d->TabStrip_类别->tabText(9), "游戏");
                     QCOMPARE(d->hourButtons.size(), 24);
                     QCOMPARE(d->hourButtons.first()->text(), "01-02");
                     QCOMPARE(d->hourButtons.last()->text(), "00-01");
                     for (int tab = 0; tab < 12; ++tab) {
                         d->TabStrip_类别->setCurrentIndex(tab);
                         for (QToolButton* b : d->hourButtons)
                             QVERIFY(!b->isChecked());
                     }
                     QCOMPARE(pressedMode(d->Toolbar_日志), "全记");
                     QCOMPARE(pressedMode(d->Toolbar_上传), "全记");
                     d->CancelButton->click();
                 }),
                 1);
    }

    void halfOnOneTabIsOneStatement()
    {
        test::StatementLog log;
        QCOMPARE(openPolicy([](DialogSt* d) {
                     d->TabStrip_类别->setCurrentIndex(9);
                     action(d->Toolbar_快速选择, "半选")->trigger();
                     QVERIFY(d->hourButtons[7]->isChecked());
                     QVERIFY(!d->hourButtons[19]->isChecked());
                     action(d->Toolbar_日志, "不记")->trigger();
                     action(d->Toolbar_上传, "不记")->trigger();
                     test::clickOk(d->OKButton);
                 }),
                 1);
        QCOMPARE(column("J"), "000000011111111111100000");
        QCOMPARE(column("A"), kEmptyMask);
        QCOMPARE(column("DnLog"), "2");
        QCOMPARE(column("UpLog"), "2");
        QCOMPARE(log.changes().size(), 1);
        QVERIFY(log.changes()[0].startsWith("UPDATE grouptable SET A='" + kEmptyMask + "',B="));
        QVERIFY(log.changes()[0].endsWith(",DnLog='2',UpLog='2'  WHERE BINARY Trim(Team)='销售'"));
        // The group's row shows the new modes at once.
        PageModel& groups = administration(*form_)->groups.listModel();
        QCOMPARE(groups.rows().value(1), QStringList({"销售", "不记", "不记"}));
    }

    void singleHoursOnSeveralTabs()
    {
        QCOMPARE(openPolicy([](DialogSt* d) {
                     d->hourButtons.first()->click(); // "01-02" on "上网"
                     d->TabStrip_类别->setCurrentIndex(2);
                     d->hourButtons.last()->click(); // "00-01" on "邪教"
                     d->TabStrip_类别->setCurrentIndex(0);
                     QVERIFY(d->hourButtons.first()->isChecked());
                     QVERIFY(!d->hourButtons.last()->isChecked());
                     test::clickOk(d->OKButton);
                 }),
                 1);
        QCOMPARE(column("A"), "1" + QString(23, '0'));
        QCOMPARE(column("C"), QString(23, '0') + "1");
        QCOMPARE(column("B"), kEmptyMask);
    }

    void cancelWritesNothing()
    {
        test::StatementLog log;
        QCOMPARE(openPolicy([](DialogSt* d) {
                     action(d->Toolbar_快速选择, "全选")->trigger();
                     action(d->Toolbar_日志, "半记")->trigger();
                     d->CancelButton->click();
                 }),
                 1);
        QVERIFY(log.changes().isEmpty());
        QCOMPARE(column("A"), kEmptyMask);
        QCOMPARE(column("DnLog"), "0");
    }

    void tabsWithoutAClassRowAreNotWritten()
    {
        test::sql("DELETE FROM classtable WHERE Code IN ('K','L')", "ipdata");
        test::sql("UPDATE grouptable SET L='111111111111111111111111' WHERE Team='销售'", "ipdata");
        test::StatementLog log;
        QCOMPARE(openPolicy([](DialogSt* d) {
                     QCOMPARE(d->tabKeys.mid(9), QStringList({"J", "", ""}));
                     d->TabStrip_类别->setCurrentIndex(11);
                     action(d->Toolbar_快速选择, "全选")->trigger();
                     test::clickOk(d->OKButton);
                 }),
                 1);
        QCOMPARE(log.changes().size(), 1);
        QVERIFY(!log.changes()[0].contains(",='"));
        QVERIFY(!log.changes()[0].contains("K='"));
        QCOMPARE(column("L"), QString(24, '1')); // kept as it was
    }

    void aFailingSaveKeepsTheDialogAndTheRow()
    {
        test::MessageLog messages;
        QCOMPARE(openPolicy([&](DialogSt* d) {
                     action(d->Toolbar_快速选择, "全选")->trigger();
                     test::sql("ALTER TABLE grouptable RENAME COLUMN DnLog TO DnLogAway", "ipdata");
                     test::clickOk(d->OKButton);
                     test::sql("ALTER TABLE grouptable RENAME COLUMN DnLogAway TO DnLog", "ipdata");
                     QVERIFY(messages.texts().value(0).startsWith("组别配置未能保存。"));
                     QVERIFY(d->isVisible());
                     d->CancelButton->click();
                 }),
                 1);
        QCOMPARE(column("A"), kEmptyMask);
    }

    void aGroupGoneFromTheTableIsReported()
    {
        test::MessageLog messages;
        form_->toolbarKey(key::组别配置)->trigger();
        test::listRead(*form_);
        test::selectRows(*form_, {1});
        test::sql("DELETE FROM grouptable WHERE Team='销售'", "ipdata");
        form_->runMenuItem(item::组别_配置);
        QCOMPARE(messages.texts(), QStringList({"组别配置未能读取。\n该组别已不在数据库中。"}));
    }
};

QTEST_MAIN(Policy)
#include "test_policy.moc"
