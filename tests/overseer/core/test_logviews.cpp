// The two log views in the real main window on the offscreen platform, against the test
// server: the viewing-mode dialog, the status texts and button states, the context menu on
// empty and filled lists, sorting, Ctrl+A, double click, deleting selected rows, the upload
// record dialog; and the walk over every key and menu item.

#include "common/clock.h"
#include "common/cmysql.h"
#include "common/datasources.h"
#include "common/logsummary.h"
#include "common/odbc.h"
#include "overseer/core/dialogms.h"
#include "overseer/core/formmain.h"
#include "overseer/program.h"
#include "overseer/query/conditiondialogs.h"
#include "overseer/query/logviews.h"
#include "tests/overseer/consoletest.h"
#include "tests/overseer/pagingtest.h"
#include "tests/support/logfill.h"

#include <QAction>
#include <QDateEdit>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QToolBar>
#include <QTreeView>

using namespace lt;
using namespace lt::overseer;

namespace
{

const QDateTime kNow(QDate(2026, 12, 7), QTime(15, 0));

QString todayStamp(int secondsBack)
{
    return acTime(kNow.addSecs(-secondsBack));
}

void fillToday(int rows, int otherDays = 0)
{
    QList<logrows::LogRow> list;
    for (int i = 0; i < rows; ++i)
        list.append({QStringLiteral("PC%1").arg(i), QStringLiteral("10.0.1.%1").arg(i % 200),
                     todayStamp(i), "组", QStringLiteral("标题%1").arg(i),
                     QStringLiteral("www.a.cn/%1").arg(i), "上网", "放行", 1});
    for (int i = 0; i < otherDays; ++i)
        list.append(
            {"OLD", "10.0.9.9", acTime(kNow.addDays(-2).addSecs(i)), "组", "t", "u", "c", "r", 1});
    test::fillRows(QList<logrows::UploadRow>());
    test::fillRows(list);
}

// Answers the viewing-mode dialog: today's log or other logs.
test::ModalScript::Step viewingMode(bool today, bool confirm = true)
{
    return [=](QWidget* modal) {
        auto* dialog = qobject_cast<DialogFS*>(modal);
        QVERIFY(dialog);
        (today ? dialog->Option1 : dialog->Option2)->setChecked(true);
        (confirm ? dialog->OKButton : dialog->CancelButton)->click();
    };
}

} // namespace

class LogViews : public QObject
{
    Q_OBJECT
    test::TestInstallation install_;
    std::unique_ptr<FormMain> form_;

    LogStore* store() { return accessLogView(*form_)->store(); }
    bool settle(LogView* view)
    {
        return test::waitFor(
            [&] {
                return view->store() && !view->store()->pageRequestOut() &&
                       !view->store()->counting() && !view->store()->status().busy;
            },
            20000);
    }
    QStringList panels() const { return test::panels(*form_); }
    QList<bool> buttons() const { return test::pagingButtonsOn(*form_); }
    void showAccessLog()
    {
        test::ModalScript script({viewingMode(true)});
        form_->toolbarKey(key::日志管理)->trigger();
        QCOMPARE(script.stepsRun(), 1);
        QVERIFY(settle(accessLogView(*form_)));
    }
    QMenu* rightClick(int row)
    {
        QTreeView* list = test::list(*form_);
        const QPoint at = row >= 0 ? list->visualRect(list->model()->index(row, 0)).center()
                                   : QPoint(20, list->viewport()->height() - 5);
        QTest::mouseClick(list->viewport(), Qt::RightButton, {}, at);
        QMenu* m = form_->menu(form_->currentView()->menuName());
        return m && m->isVisible() ? m : nullptr;
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(install_.useFreshDatabases(), "the private test server does not answer");
        Clock::setNow(kNow);
    }

    void init()
    {
        form_ = std::make_unique<FormMain>();
        fillDispatch(*form_);
        form_->EndConsole = [] {};
        form_->show();
        QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
    }

    void cleanup() { form_.reset(); }

    void everyKeyAndItemHasAHandlerOrIsPending()
    {
        QStringList missing;
        for (const QString& key : allKeys()) {
            if (!form_->dispatch().hasKey(key) && !pendingKeys().contains(key))
                missing << key;
            if (form_->dispatch().hasKey(key) && pendingKeys().contains(key))
                missing << key + " (pending but bound)";
        }
        for (const MenuItem& item : allMenuItems()) {
            bool bound = form_->dispatch().hasMenuItem(item.menu, item.caption);
            for (ConsoleView* view : form_->views())
                bound = bound || (view->menuName() == item.menu &&
                                  view->menuHandlers().contains(item.caption));
            const bool excused = isInertMenuItem(item) || pendingMenuItems().contains(item);
            if (bound == excused)
                missing << item.menu + "/" + item.caption;
        }
        QVERIFY2(missing.isEmpty(), qPrintable(missing.join(", ")));
        // Every menu item and paging caption has its control.
        for (const MenuItem& item : allMenuItems())
            QVERIFY(form_->menuItem(item.menu, item.caption));
    }

    void todaysLogPageByPage()
    {
        fillToday(1200, 40);
        showAccessLog();
        QCOMPARE(form_->CurrentView, "显示访问日志");
        QCOMPARE(test::title(*form_)->text(), "访    问    日    志");
        QCOMPARE(test::list(*form_)->model()->headerData(5, Qt::Horizontal).toString(),
                 "域名(网站/网页)");
        QCOMPARE(test::list(*form_)->columnWidth(2), 1890 / 15);
        QCOMPARE(panels(), QStringList({"共 1200 条记录", "共 3 页", "第 1 页", "本页 500 条"}));
        QCOMPARE(buttons(), QList<bool>({false, false, true, true}));
        QVERIFY(!form_->toolbarKey(key::日志打印)->isEnabled());
        QCOMPARE(test::list(*form_)->model()->index(0, 2).data().toString(), todayStamp(0));

        QTest::mouseClick(test::control<QToolBar>(*form_, "Toolbar2")
                              ->widgetForAction(form_->pagingButton(paging::下页)),
                          Qt::LeftButton);
        QVERIFY(settle(accessLogView(*form_)));
        QCOMPARE(panels()[2], "第 2 页");
        QCOMPARE(buttons(), QList<bool>({true, true, true, true}));
        QCOMPARE(test::list(*form_)->model()->index(0, 2).data().toString(), todayStamp(500));
        form_->runPaging(paging::尾页);
        QVERIFY(settle(accessLogView(*form_)));
        QCOMPARE(panels(), QStringList({"共 1200 条记录", "共 3 页", "第 3 页", "本页 200 条"}));
        QCOMPARE(buttons(), QList<bool>({true, true, false, false}));
        form_->runPaging(paging::上页);
        QVERIFY(settle(accessLogView(*form_)));
        form_->runPaging(paging::上页);
        QVERIFY(settle(accessLogView(*form_)));
        QCOMPARE(panels()[2], "第 1 页");
        QCOMPARE(buttons(), QList<bool>({false, false, true, true}));
    }

    static int countsRunningOnTheServer()
    {
        return test::sql("SELECT COUNT(*) FROM information_schema.PROCESSLIST WHERE "
                         "INFO LIKE 'SELECT 30 + SLEEP%'")
            .trimmed()
            .toInt();
    }

    void aLongCountCanBeStoppedFromTheWindow()
    {
        fillToday(30, 5);
        showAccessLog();
        QVERIFY(!test::control<QPushButton>(*form_, "cmdCancelCount")->isVisible());
        // A count that would run for a minute: the page is there, the button offers to stop it.
        store()->start(store()->LogQuerySql(), "SELECT 30 + SLEEP(60)");
        QVERIFY(test::waitFor([&] { return !store()->pageRequestOut(); }, 10000));
        QVERIFY(test::control<QPushButton>(*form_, "cmdCancelCount")->isVisible());
        QCOMPARE(panels(), QStringList({"", "", "第 1 页", "本页 30 条"}));
        QVERIFY(test::waitFor(
            [&] { return store()->countChannel().worker()->serverConnectionId() > 0; }));
        QVERIFY(test::waitFor([&] { return countsRunningOnTheServer() == 1; }));
        QTest::mouseClick(test::control<QPushButton>(*form_, "cmdCancelCount"), Qt::LeftButton);
        QVERIFY(!store()->counting());
        QVERIFY(test::waitFor([&] { return countsRunningOnTheServer() == 0; }));
        QVERIFY(!test::control<QPushButton>(*form_, "cmdCancelCount")->isVisible());
        // Without the total there is no last page to go to; the page shown stays.
        QCOMPARE(buttons(), QList<bool>({false, false, false, false}));
        QCOMPARE(test::list(*form_)->model()->rowCount(), 30);
        // The count worker is free again: the next list counts at once.
        showAccessLog();
        QCOMPARE(panels()[0], "共 30 条记录");

        // Leaving the view stops its count too.
        store()->start(store()->LogQuerySql(), "SELECT 30 + SLEEP(60)");
        QVERIFY(test::waitFor([&] { return !store()->pageRequestOut(); }, 10000));
        QVERIFY(test::waitFor([&] { return countsRunningOnTheServer() == 1; }));
        form_->显示封面();
        QVERIFY(!store()->counting());
        // And no statement is left running on the server.
        QVERIFY(test::waitFor([&] { return countsRunningOnTheServer() == 0; }));
    }

    void otherLogsByConditions()
    {
        fillToday(20, 30);
        // Other logs: the condition dialog with a range two days back.
        test::ModalScript script({viewingMode(false), [](QWidget* modal) {
                                      auto* dialog = qobject_cast<DialogTJ*>(modal);
                                      QVERIFY(dialog);
                                      dialog->Range.startDate->setDate(QDate(2026, 12, 5));
                                      dialog->Range.endDate->setDate(QDate(2026, 12, 6));
                                      dialog->OKButton->click();
                                  }});
        form_->toolbarKey(key::日志管理)->trigger();
        QCOMPARE(script.stepsRun(), 2);
        QVERIFY(settle(accessLogView(*form_)));
        // The 30 rows of two days ago, none of today's.
        QCOMPARE(test::list(*form_)->model()->rowCount(), 30);
        QCOMPARE(panels(), QStringList({"共 30 条记录", "共 1 页", "第 1 页", "本页 30 条"}));
        QCOMPARE(test::list(*form_)->model()->index(0, 1).data().toString(), "10.0.9.9");
        // Cancelling the condition dialog keeps the list and the access-log title.
        test::ModalScript cancel({viewingMode(false), [](QWidget* modal) {
                                      auto* dialog = qobject_cast<DialogTJ*>(modal);
                                      QVERIFY(dialog);
                                      dialog->CancelButton->click();
                                  }});
        form_->显示封面();
        form_->toolbarKey(key::日志管理)->trigger();
        QCOMPARE(cancel.stepsRun(), 2);
        QCOMPARE(form_->CurrentView, "显示访问日志");
    }

    // A title search asks the title dictionary beside the window before its list starts: the
    // rows whose titles hold the word, over a range with days without a match.
    void aTitleSearchListsItsRows()
    {
        fillToday(20, 30);
        // Logged in: the console's log connection names the channel the dictionary is read on.
        form_->context().MySql = std::make_unique<CMySql>();
        QVERIFY(form_->context().MySql->Cnn0.open(dsn::chosenConnectionStrings().log));
        // Summed days: the dictionary answers for the two old days, the newest stretch is read.
        QCOMPARE(summary::foldAll(form_->context().MySql->Cnn0), std::nullopt);
        test::ModalScript script({viewingMode(false), [](QWidget* modal) {
                                      auto* dialog = qobject_cast<DialogTJ*>(modal);
                                      QVERIFY(dialog);
                                      dialog->Range.startDate->setDate(QDate(2026, 12, 5));
                                      dialog->Range.endDate->setDate(QDate(2026, 12, 8));
                                      dialog->Text_标题->setText("标题1");
                                      dialog->OKButton->click();
                                  }});
        form_->toolbarKey(key::日志管理)->trigger();
        QCOMPARE(script.stepsRun(), 2);
        QVERIFY(settle(accessLogView(*form_)));
        // 标题1 and 标题10…标题19 of today's 20.
        QCOMPARE(panels().value(0), "共 11 条记录");
        QCOMPARE(test::list(*form_)->model()->rowCount(), 11);
        QCOMPARE(test::list(*form_)->model()->index(0, 4).data().toString(), "标题1");
    }

    void emptyTodayAndACancelledDialog()
    {
        fillToday(0, 5);
        showAccessLog();
        QCOMPARE(test::list(*form_)->model()->rowCount(), 0);
        QCOMPARE(test::list(*form_)->model()->columnCount(), 8);
        QCOMPARE(panels(), QStringList({"", "", "", ""}));
        QCOMPARE(buttons(), QList<bool>({false, false, false, false}));
        // The menu over an empty list: nothing to act on.
        QMenu* m = rightClick(-1);
        QVERIFY(m);
        QVERIFY(!form_->menuItem(menu::查看, "删除日志")->isEnabled());
        QVERIFY(!form_->menuItem(menu::查看, "查看网页")->isEnabled());
        QVERIFY(form_->menuItem(menu::查看, "刷新日志")->isEnabled());
        m->hide();

        // Cancelling the viewing-mode dialog leaves the view shown.
        form_->显示封面();
        test::ModalScript script({viewingMode(true, false)});
        form_->toolbarKey(key::上传数据)->trigger();
        QCOMPARE(script.stepsRun(), 1);
        QCOMPARE(form_->CurrentView, "显示封面");
    }

    void listGestures()
    {
        fillToday(30);
        showAccessLog();
        QTreeView* list = test::list(*form_);
        QAbstractItemModel* model = list->model();
        QMenu* m = rightClick(3);
        QVERIFY(m);
        QVERIFY(form_->menuItem(menu::查看, "删除日志")->isEnabled());
        QVERIFY(form_->menuItem(menu::查看, "查看网页")->isEnabled());
        m->hide();

        // Column clicks: descending, ascending, descending.
        QHeaderView* header = list->header();
        const QPoint terminalColumn(header->sectionViewportPosition(0) + 5, 5);
        QStringList firsts;
        for (int i = 0; i < 3; ++i) {
            QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, terminalColumn);
            firsts << model->index(0, 0).data().toString();
        }
        QCOMPARE(firsts, QStringList({"PC9", "PC0", "PC9"}));

        // Ctrl+A with exactly Ctrl selects every row.
        list->clearSelection();
        QTest::keyClick(list, Qt::Key_A, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(list->selectionModel()->selectedRows().size(), 0);
        QTest::keyClick(list, Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(list->selectionModel()->selectedRows().size(), 30);

        // A double click opens the row's web address.
        QList<QUrl> opened;
        form_->context().OpenUrl = [&](const QUrl& url) {
            opened << url;
            return true;
        };
        const QModelIndex row = model->index(2, 0);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(row).center());
        QCOMPARE(opened.size(), 1);
        QCOMPARE(opened[0].toString(), "http://" + model->index(2, 5).data().toString());
    }

    void deletingSelectedRows()
    {
        fillToday(10);
        showAccessLog();
        QTreeView* list = test::list(*form_);
        list->selectionModel()->select(list->model()->index(1, 0),
                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
        list->selectionModel()->select(list->model()->index(4, 0),
                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
        const QString ip = list->model()->index(1, 1).data().toString();
        const QString time = list->model()->index(1, 2).data().toString();
        QStringList sent;
        const int observer = db::addStatementObserver([&](const db::StatementEvent& e) {
            if (e.text.startsWith("DELETE"))
                sent << e.text;
        });
        {
            test::MessageLog refuse(ui::Answer::Cancel);
            form_->runMenuItem(item::查看_删除日志);
            QCOMPARE(refuse.texts(), QStringList{"确定删除所选记录吗？"});
        }
        test::MessageLog confirm(ui::Answer::Ok);
        form_->runMenuItem(item::查看_删除日志);
        QVERIFY(settle(accessLogView(*form_)));
        db::removeStatementObserver(observer);
        QCOMPARE(sent.size(), 2);
        QCOMPARE(
            sent[0],
            QStringLiteral("DELETE FROM logtable WHERE IP='%1' AND AcTime='%2'").arg(ip, time));
        QCOMPARE(list->model()->rowCount(), 8);
        QCOMPARE(test::sql("SELECT count(*) FROM logtable", "dovrik").trimmed(), "8");
        QCOMPARE(confirm.texts(), QStringList{"确定删除所选记录吗？"});
    }

    void uploadLogAndItsRecordDialog()
    {
        test::fillRows(QList<logrows::UploadRow>{
            {"PC1", "10.0.0.1", "mail.a.cn", todayStamp(10), "上传的内容"},
            {"PC2", "10.0.0.2", "mail.b.cn", todayStamp(20), "x"}});
        test::ModalScript script({viewingMode(true)});
        form_->toolbarKey(key::上传数据)->trigger();
        UploadLogView* view = uploadLogView(*form_);
        QVERIFY(settle(view));
        QCOMPARE(form_->CurrentView, "显示上传统计");
        QCOMPARE(panels(), QStringList({"共 2 条记录", "共 1 页", "第 1 页", "本页 2 条"}));
        QCOMPARE(test::list(*form_)->model()->headerData(2, Qt::Horizontal).toString(), "内容");
        QCOMPARE(test::list(*form_)->model()->index(0, 2).data().toString(), "上传的内容");

        QStringList shown;
        test::ModalScript record({[&](QWidget* modal) {
            auto* dialog = qobject_cast<DialogMS*>(modal);
            QVERIFY(dialog);
            shown << dialog->Label_ZD->text() << dialog->Label_IP->text()
                  << dialog->Label_RQ->text() << dialog->LabelURL->text()
                  << dialog->Text_Up->toPlainText();
            dialog->Command_Cancel->click();
        }});
        QTreeView* list = test::list(*form_);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {},
                           list->visualRect(list->model()->index(0, 0)).center());
        QCOMPARE(shown, QStringList({"终端：PC1", "发地址：10.0.0.1", "时间：" + todayStamp(10),
                                     "收地址：mail.a.cn", "上传的内容"}));
    }
};

QTEST_MAIN(LogViews)
#include "test_logviews.moc"
