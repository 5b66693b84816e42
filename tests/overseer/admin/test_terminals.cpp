// The terminal and group views in the real main window against the test server: the views and
// their icons, adding terminals and groups through their dialogs (typing rules, duplicates on
// the list and in the table, a refused insert), renaming in place and by dialog with the
// copies in both logs, assigning, deleting, the built-in group.

#include "overseer/admin/adminrules.h"
#include "overseer/admin/terminaldialogs.h"
#include "tests/overseer/admin/admintest.h"
#include "tests/support/logfill.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

using namespace lt;
using namespace lt::overseer;
using namespace lt::overseer::admin;

namespace
{

QString one(db::Connection& c, const QString& select)
{
    const db::Recordset r = c.query(select);
    return r.eof() ? QStringLiteral("<none>") : r.field(0).toString();
}

} // namespace

class Terminals : public QObject
{
    Q_OBJECT
    test::TestInstallation install_;
    std::unique_ptr<FormMain> form_;

    Administration& a() { return *administration(*form_); }
    db::Connection& cnn1() { return form_->context().MySql->Cnn1; }
    PageModel& rows() { return a().terminals.listModel(); }
    void showTerminals()
    {
        form_->toolbarKey(key::终端配置)->trigger();
        test::listRead(*form_);
        QCOMPARE(form_->CurrentView, "显示终端配置");
    }
    void showGroups()
    {
        form_->toolbarKey(key::组别配置)->trigger();
        test::listRead(*form_);
        QCOMPARE(form_->CurrentView, "显示组别配置");
    }
    // Edits the current row's text in place as a person does: the editor, the text, Enter.
    void editInPlace(const QString& text)
    {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        test::list(*form_)->setFocus();
        QTest::keyClick(test::list(*form_), Qt::Key_F2);
        auto* editor = test::list(*form_)->findChild<QLineEdit*>();
        QVERIFY(editor);
        editor->setText(text);
        QTest::keyClick(editor, Qt::Key_Return);
        // The delegate commits through a queued call, then deletes the editor later.
        QCoreApplication::sendPostedEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        // The table is asked beside the window whether the name is free.
        auto* view = qobject_cast<overseer::admin::AdminListView*>(form_->currentView());
        QVERIFY(view);
        QVERIFY(test::waitFor([&] { return !view->renaming(); }, 20000));
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(install_.useFreshDatabases(), "the private test server does not answer");
    }

    void init()
    {
        test::sql("DROP TRIGGER IF EXISTS refuse_terminal; DROP TRIGGER IF EXISTS refuse_group;"
                  "DELETE FROM usertable; DELETE FROM grouptable;"
                  "INSERT INTO grouptable VALUES('临时工作组','0','0'" +
                      QString(",'%1'").arg(kEmptyMask).repeated(12) +
                      ");"
                      "INSERT INTO grouptable VALUES('财务','1','2'" +
                      QString(",'%1'").arg(kEmptyMask).repeated(12) +
                      ");"
                      "INSERT INTO usertable VALUES('PC1','10.0.0.1','财务'),"
                      "('PC2','10.0.0.2','临时工作组'),('PC3','10.0.0.3','财务');",
                  "ipdata");
        test::fillRows(QList<logrows::LogRow>{
            {"PC1", "10.0.0.1", "26-12-07 10:00:00", "财务", "t", "u", "c", "r", 1}});
        test::fillRows(
            QList<logrows::UploadRow>{{"PC1", "10.0.0.1", "u", "26-12-07 10:00:00", "x"}});
        form_ = test::adminForm();
    }

    void cleanup() { form_.reset(); }

    void viewsShowTheTablesWithTheirIcons()
    {
        test::StatementLog log;
        showTerminals();
        QVERIFY(log.texts().contains("SELECT * FROM usertable ORDER BY NAME"));
        QCOMPARE(test::title(*form_)->text(), "终    端    配    置");
        QCOMPARE(form_->panel(1)->text(), "共 3 条记录");
        QCOMPARE(rows().rows().value(1), QStringList({"PC2", "10.0.0.2", "临时工作组"}));
        QCOMPARE(rows().iconIndex(0), 2);
        QCOMPARE(rows().iconIndex(1), 15);
        QCOMPARE(test::list(*form_)->selectionMode(), QAbstractItemView::ExtendedSelection);
        QVERIFY(!form_->toolbarKey(key::日志打印)->isEnabled());

        showGroups();
        QCOMPARE(test::title(*form_)->text(), "组    别    配    置");
        QCOMPARE(a().groups.listModel().rows().value(1), QStringList({"财务", "半记", "不记"}));
        QCOMPARE(test::list(*form_)->selectionMode(), QAbstractItemView::SingleSelection);
    }

    void addTerminalDialogChecksAndInserts()
    {
        showTerminals();
        test::MessageLog messages;
        test::StatementLog log;
        test::ModalScript script({[&](QWidget* modal) {
            auto* d = qobject_cast<DialogZJ*>(modal);
            QVERIFY(d);
            QCOMPARE(d->windowTitle(), "增加终端");
            QCOMPARE(d->Text_组别->currentIndex(), -1);
            // Octet typing rules.
            d->Text_IP[0]->setText("256");
            QCOMPARE(d->Text_IP[0]->text(), "");
            d->Text_IP[0]->setText("12a");
            QCOMPARE(d->Text_IP[0]->text(), "");
            d->Text_IP[0]->setText("1.5");
            QCOMPARE(d->Text_IP[0]->text(), "15");
            d->Text_IP[0]->setFocus();
            d->Text_IP[0]->setText("010");
            QCOMPARE(d->focusWidget(), d->Text_IP[1]);
            d->Text_IP[3]->setFocus();
            d->Text_IP[3]->setText("200");
            QCOMPARE(d->focusWidget(), d->Text_IP[3]);
            // A 17-byte name is cut at 16 bytes, never inside a Chinese character.
            d->Text_名称->setText("中文中文中文中文a");
            QCOMPARE(d->Text_名称->text(), "中文中文中文中文");
            d->Text_名称->setText("O'Brien\\pc");
            test::clickOk(d->OKButton);
            QCOMPARE(messages.texts().value(0), "请填写组别");
            test::pick(d->Text_组别, "财务");
            d->Text_IP[1]->setText("0");
            d->Text_IP[2]->setText("0");
            d->Text_IP[3]->setText("9");
            test::clickOk(d->OKButton);
            QCOMPARE(d->Text_名称->text(), "");
            QCOMPARE(d->Text_组别->currentText(), "财务");
            // An address the list shows.
            d->Text_名称->setText("PC9");
            d->Text_IP[0]->setText("10");
            d->Text_IP[1]->setText("0");
            d->Text_IP[2]->setText("0");
            d->Text_IP[3]->setText("1");
            test::clickOk(d->OKButton);
            QCOMPARE(messages.texts().last(), "地址不能重复");
            QCOMPARE(d->focusWidget(), d->Text_IP[0]);
            // A name another console added after the list was read.
            test::sql("INSERT INTO usertable VALUES('PC9','10.0.0.99','财务')", "ipdata");
            d->Text_IP[3]->setText("50");
            test::clickOk(d->OKButton);
            QCOMPARE(messages.texts().last(), "名称不要重复");
            // The database refuses the insert: no row in the list.
            test::sql("CREATE TRIGGER refuse_terminal BEFORE INSERT ON usertable FOR EACH ROW "
                      "SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT='refused'",
                      "ipdata");
            d->Text_名称->setText("PC10");
            test::clickOk(d->OKButton);
            QVERIFY(messages.texts().last().startsWith("终端未能增加。"));
            QCOMPARE(d->Text_名称->text(), "PC10");
            d->CancelButton->click();
        }});
        form_->runMenuItem(item::终端_增加);
        QCOMPARE(script.stepsRun(), 1);
        QCOMPARE(log.changes(),
                 QStringList({"INSERT INTO usertable VALUES('O''Brien\\\\pc','010.0.0.9','财务')",
                              "INSERT INTO usertable VALUES('PC10','10.0.0.50','财务')"}));
        QCOMPARE(rows().rowCount(), 4);
        QCOMPARE(rows().rows().last(), QStringList({"O'Brien\\pc", "010.0.0.9", "财务"}));
        QCOMPARE(one(cnn1(), "SELECT Name FROM usertable WHERE IP='010.0.0.9'"), "O'Brien\\pc");
    }

    void renameInPlaceCopiesTheNameIntoBothLogs()
    {
        showTerminals();
        test::MessageLog messages;
        test::selectRows(*form_, {0});
        editInPlace("pc3");
        QCOMPARE(messages.texts(), QStringList({"名称不能重复"}));
        editInPlace("中文中文中文中文a");
        QCOMPARE(messages.texts().last(), "终端名称太长");
        test::sql("INSERT INTO usertable VALUES('Other','10.0.0.7','财务')", "ipdata");
        editInPlace("OTHER");
        QCOMPARE(messages.texts().last(), "名称不能重复");
        QCOMPARE(rows().text(0, 0), "PC1");

        test::StatementLog log;
        editInPlace("中文中文中文中文");
        QCOMPARE(messages.texts().size(), 3);
        QCOMPARE(rows().text(0, 0), "中文中文中文中文");
        QCOMPARE(
            log.changes(),
            QStringList({"UPDATE usertable SET Name='中文中文中文中文' WHERE Trim(IP)='10.0.0.1'",
                         "UPDATE logtable SET Name='中文中文中文中文' WHERE IP='10.0.0.1'",
                         "UPDATE upsendtable SET Name='中文中文中文中文' WHERE IP='10.0.0.1'"}));
        QCOMPARE(test::tableRows("SELECT Name FROM logtable UNION ALL SELECT Name FROM upsendtable",
                                 "dovrik"),
                 QStringList({"中文中文中文中文", "中文中文中文中文"}));
        // Label editing is manual from now on.
        QVERIFY(!rows().labelsEditable());
    }

    void renameDialogRenamesTerminalsAndGroups()
    {
        showTerminals();
        test::MessageLog messages;
        test::selectRows(*form_, {0});
        test::ModalScript same({[&](QWidget* modal) {
            auto* d = qobject_cast<DialogRN*>(modal);
            QVERIFY(d);
            QCOMPARE(d->windowTitle(), "终端更名");
            QCOMPARE(d->Text_Name->text(), "PC1");
            test::clickOk(d->OKButton);
            QCOMPARE(messages.texts(), QStringList({"此名称已存在，不可重复使用！"}));
            d->Text_Name->setText("Kasse");
            test::clickOk(d->OKButton);
        }});
        test::StartLog started;
        form_->runMenuItem(item::终端_更名);
        QCOMPARE(same.stepsRun(), 1);
        QVERIFY(started.commandLines().value(0).endsWith("TQProgress.exe 更新"));
        QCOMPARE(rows().text(0, 0), "Kasse");
        QCOMPARE(test::tableRows("SELECT Name FROM logtable UNION ALL SELECT Name FROM upsendtable",
                                 "dovrik"),
                 QStringList({"Kasse", "Kasse"}));

        showGroups();
        test::selectRows(*form_, {1});
        test::ModalScript group({[&](QWidget* modal) {
            auto* d = qobject_cast<DialogRN*>(modal);
            QVERIFY(d);
            QCOMPARE(d->windowTitle(), "组别更名");
            d->Text_Name->setText("会计");
            test::clickOk(d->OKButton);
        }});
        form_->runMenuItem(item::组别_更名);
        QCOMPARE(group.stepsRun(), 1);
        QCOMPARE(test::tableRows("SELECT Team FROM usertable ORDER BY IP"),
                 QStringList({"会计", "临时工作组", "会计"}));
        QCOMPARE(test::tableRows("SELECT Team FROM logtable", "dovrik"), QStringList({"会计"}));
        test::endModules();
    }

    void builtInGroupIsKept()
    {
        showGroups();
        test::MessageLog messages;
        test::selectRows(*form_, {0});
        QCOMPARE(a().groups.currentText(), "临时工作组");
        form_->runMenuItem(item::组别_更名);
        form_->runMenuItem(item::组别_删除);
        // Nor in place: the members of deleted groups would go to a group that is not there.
        editInPlace("临时组");
        QCOMPARE(messages.texts(), QStringList({"临时工作组不允许更名！", "系统用工作组不能删除！",
                                                "临时工作组不允许更名！"}));
        QCOMPARE(a().groups.currentText(), "临时工作组");
        QCOMPARE(test::tableRows("SELECT count(*) FROM grouptable"), QStringList({"2"}));
    }

    void deletingAGroupMovesItsMembers()
    {
        showGroups();
        test::MessageLog messages;
        test::StatementLog log;
        test::selectRows(*form_, {1});
        form_->runMenuItem(item::组别_删除);
        QCOMPARE(messages.texts(), QStringList({"确定删除所选组别吗？"}));
        QCOMPARE(
            log.changes(),
            QStringList({"UPDATE usertable Set Team='临时工作组' WHERE BINARY Trim(Team) ='财务'",
                         "DELETE FROM grouptable WHERE BINARY Trim(Team) ='财务'"}));
        QCOMPARE(a().groups.listModel().rowCount(), 1);
        QCOMPARE(test::tableRows("SELECT DISTINCT Team FROM usertable"),
                 QStringList({"临时工作组"}));
    }

    void deletingAGroupThatFailsHalfWayChangesNothing()
    {
        showGroups();
        test::MessageLog messages;
        test::selectRows(*form_, {1});
        // The members move, then the group's own row is refused: the move is undone.
        test::sql("CREATE TRIGGER refuse_group BEFORE DELETE ON grouptable FOR EACH ROW "
                  "SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT='refused'",
                  "ipdata");
        form_->runMenuItem(item::组别_删除);
        QVERIFY(messages.texts().value(1).startsWith("组别未能删除。"));
        QCOMPARE(a().groups.listModel().rowCount(), 2);
        QCOMPARE(test::tableRows("SELECT count(*) FROM grouptable WHERE Team='财务'"),
                 QStringList({"1"}));
        QCOMPARE(test::tableRows("SELECT Team FROM usertable ORDER BY IP"),
                 QStringList({"财务", "临时工作组", "财务"}));
    }

    void assignAndDeleteSelectedTerminals()
    {
        showTerminals();
        test::selectRows(*form_, {0, 2});
        test::ModalScript script({[&](QWidget* modal) {
            auto* d = qobject_cast<DialogFP*>(modal);
            QVERIFY(d);
            QVERIFY(!d->OKButton->isEnabled());
            test::pick(d->Combo_组别, "临时工作组");
            QVERIFY(d->OKButton->isEnabled());
            test::clickOk(d->OKButton);
        }});
        form_->runMenuItem(item::终端_分组);
        QCOMPARE(script.stepsRun(), 1);
        QCOMPARE(rows().text(2, 2), "临时工作组");
        QCOMPARE(rows().iconIndex(2), 15);
        QCOMPARE(test::tableRows("SELECT Team FROM usertable ORDER BY IP"),
                 QStringList({"临时工作组", "临时工作组", "临时工作组"}));

        test::MessageLog messages;
        test::StatementLog log;
        test::selectRows(*form_, {0, 1, 2});
        form_->runMenuItem(item::终端_删除);
        QCOMPARE(messages.texts(), QStringList({"确定删除所选终端吗？"}));
        QCOMPARE(log.changes(), QStringList({"DELETE FROM usertable WHERE Trim(IP) ='10.0.0.1'",
                                             "DELETE FROM usertable WHERE Trim(IP) ='10.0.0.2'",
                                             "DELETE FROM usertable WHERE Trim(IP) ='10.0.0.3'"}));
        QCOMPARE(rows().rowCount(), 0);
        QCOMPARE(test::tableRows("SELECT count(*) FROM usertable"), QStringList({"0"}));
    }

    void addGroupDialog()
    {
        showGroups();
        test::MessageLog messages;
        test::StatementLog log;
        test::ModalScript script({[&](QWidget* modal) {
            auto* d = qobject_cast<DialogZb*>(modal);
            QVERIFY(d);
            QCOMPARE(d->Text_日志->currentText(), "全记");
            QCOMPARE(d->Text_上传->currentText(), "全记");
            test::clickOk(d->OKButton);
            QCOMPARE(messages.texts().last(), "组名不能为空");
            d->Text_组别->setText("财务");
            test::clickOk(d->OKButton);
            QCOMPARE(messages.texts().last(), "组名不能重复");
            test::sql("INSERT INTO grouptable (Team) VALUES('别处')", "ipdata");
            d->Text_组别->setText("别处");
            test::clickOk(d->OKButton);
            QCOMPARE(messages.texts().last(), "组名不能重复");
            d->Text_组别->setText("研发'部");
            d->Text_上传->setCurrentText("不记");
            test::clickOk(d->OKButton);
            QCOMPARE(d->Text_组别->text(), "");
            d->CancelButton->click();
        }});
        form_->runMenuItem(item::组别_增加);
        QCOMPARE(script.stepsRun(), 1);
        const QString masks = QString(",'%1'").arg(kEmptyMask).repeated(12).mid(1);
        QCOMPARE(log.changes(),
                 QStringList({"INSERT INTO grouptable VALUES( '研发''部','0','2'," + masks + ")"}));
        QCOMPARE(a().groups.listModel().rows().last(), QStringList({"研发'部", "全记", "不记"}));
    }

    // A double quote would come back from the configuration file as a single one: the add
    // dialogs, the rename dialog and the in-place rename refuse it, say which character and
    // in which field, and write nothing.
    void namesTheConfigurationFileCannotCarry()
    {
        const QString why =
            QStringLiteral("不能含有双引号（\"）：导出的配置文件无法原样保存这个字符。");
        test::MessageLog messages;
        test::StatementLog log;
        showTerminals();
        test::ModalScript add({[&](QWidget* modal) {
            auto* d = qobject_cast<DialogZJ*>(modal);
            QVERIFY(d);
            d->Text_名称->setText("PC\"9");
            test::pick(d->Text_组别, "财务");
            for (int i = 0; i < 4; ++i)
                d->Text_IP[i]->setText(QString::number(i + 20));
            test::clickOk(d->OKButton);
            QCOMPARE(messages.texts().value(0), "终端名称" + why);
            QCOMPARE(d->focusWidget(), d->Text_名称);
            d->CancelButton->click();
        }});
        form_->runMenuItem(item::终端_增加);
        QCOMPARE(add.stepsRun(), 1);

        showGroups();
        test::selectRows(*form_, {1});
        editInPlace("财\"务");
        QCOMPARE(messages.texts().value(1), "组别名称" + why);
        test::ModalScript rename({[&](QWidget* modal) {
            auto* d = qobject_cast<DialogRN*>(modal);
            QVERIFY(d);
            d->Text_Name->setText("会\"计");
            test::clickOk(d->OKButton);
            QCOMPARE(messages.texts().value(2), "组别名称" + why);
            d->CancelButton->click();
        }});
        form_->runMenuItem(item::组别_更名);
        QCOMPARE(rename.stepsRun(), 1);
        QCOMPARE(messages.texts().size(), 3);
        QCOMPARE(log.changes(), QStringList());
        QCOMPARE(a().groups.listModel().text(1, 0), "财务");
    }

    void aStoppedTableIsReportedAndNothingIsHalfWritten()
    {
        showGroups();
        test::selectRows(*form_, {1});
        test::MessageLog messages;
        test::ModalScript script({[&](QWidget* modal) {
            auto* d = qobject_cast<DialogRN*>(modal);
            QVERIFY(d);
            test::sql("RENAME TABLE usertable TO usertable_away", "ipdata");
            d->Text_Name->setText("新名");
            test::clickOk(d->OKButton);
            QVERIFY(messages.texts().value(0).startsWith("组别未能更名。"));
            d->CancelButton->click();
        }});
        form_->runMenuItem(item::组别_更名);
        test::sql("RENAME TABLE usertable_away TO usertable", "ipdata");
        QCOMPARE(script.stepsRun(), 1);
        QCOMPARE(a().groups.listModel().text(1, 0), "财务");
        QCOMPARE(test::tableRows("SELECT Team FROM grouptable ORDER BY Team"),
                 QStringList({"临时工作组", "财务"}));
        test::endModules();
    }
};

QTEST_MAIN(Terminals)
#include "test_terminals.moc"
