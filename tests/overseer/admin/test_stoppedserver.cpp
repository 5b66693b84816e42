// The configuration database's server stopped while a dialog of the administration is open, on
// a server of the test's own: the dialog says so, nothing is written, the list stays as the
// database is, and once the server is back the same OK goes through. And the server frozen
// (SIGSTOP) in the middle of a change: before COMMIT the change is known not to be made; with
// COMMIT sent and no answer its outcome is unknown, said so, and the list is read again once
// the server answers.

#include "common/dbmessages.h"
#include "common/schema.h"
#include "overseer/admin/adminrules.h"
#include "overseer/admin/listdialogs.h"
#include "overseer/admin/policydialog.h"
#include "overseer/admin/terminaldialogs.h"
#include "tests/overseer/admin/admintest.h"
#include "tests/support/privateserver.h"

#include <QAction>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QToolBar>

using namespace lt;
using namespace lt::overseer;
using namespace lt::overseer::admin;

namespace
{
const QString kSource = QStringLiteral("DSN=LtStopConfig;uid=;pwd=;");
} // namespace

class StoppedServer : public QObject
{
    Q_OBJECT
    test::TestInstallation install_;
    std::unique_ptr<test::PrivateServer> server_;
    std::unique_ptr<FormMain> form_;

    Administration& a() { return *administration(*form_); }

private slots:
    void initTestCase()
    {
        server_ = std::make_unique<test::PrivateServer>();
        test::registerSource("LtStopConfig", server_->source("ipdata"));
        db::Connection config;
        QVERIFY(schema::openForInitialisation(config, kSource));
        // The first step drops a database that is not there yet; what counts is the result.
        schema::runSteps(config, schema::remoteTableSteps());
        schema::runSteps(config, schema::remoteSeedSteps("127.0.0.1"));
        QCOMPARE(server_->sql("SELECT Team FROM grouptable", "ipdata").trimmed(), kBuiltInGroup);
    }

    void init()
    {
        QVERIFY(server_->start());
        form_ = std::make_unique<FormMain>();
        fillDispatch(*form_);
        form_->context().MySql = std::make_unique<CMySql>();
        QVERIFY(form_->context().MySql->Cnn1.open(kSource));
        form_->show();
    }

    void cleanup()
    {
        server_->thaw(); // after a failure half-way
        form_.reset();
    }

    // The terminals' delete is one transaction; the server is frozen once the statement
    // numbered freezeAfter has been answered.
    QStringList deleteBothTerminalsFrozenAfter(int freezeAfter)
    {
        server_->sql("DELETE FROM usertable; INSERT INTO usertable VALUES"
                     "('PC1','10.0.0.1','g'),('PC2','10.0.0.2','g')",
                     "ipdata");
        // Short waits keep the test short; the console waits the same way for 60 s.
        form_->context().MySql->Cnn1.setTimeouts({3, 3});
        form_->toolbarKey(key::终端配置)->trigger();
        test::listRead(*form_);
        test::selectRows(*form_, {0, 1});
        int deletes = 0;
        const int id = db::addStatementObserver([&](const db::StatementEvent& e) {
            if (e.text.startsWith("DELETE FROM usertable") && ++deletes == freezeAfter)
                server_->freeze();
        });
        test::MessageLog messages;
        QElapsedTimer timer;
        timer.start();
        form_->runMenuItem(item::终端_删除);
        db::removeStatementObserver(id);
        qInfo("the delete answered after %lld ms", timer.elapsed());
        return messages.texts();
    }

    void frozenBeforeCommitIsAKnownFailure()
    {
        const QStringList messages = deleteBothTerminalsFrozenAfter(1);
        QVERIFY(server_->thaw());
        QCOMPARE(messages.size(), 2);
        QVERIFY2(messages[1].startsWith("终端未能删除。\n"), qPrintable(messages[1]));
        QCOMPARE(a().terminals.listModel().rowCount(), 2);
        // The server, continued, runs the second DELETE and then finds the connection gone:
        // the transaction never committed.
        QTest::qWait(1500);
        QCOMPARE(server_->sql("SELECT COUNT(*) FROM usertable", "ipdata").trimmed(), "2");
    }

    void frozenAfterCommitIsReportedUnknownAndReadAgain()
    {
        const QStringList messages = deleteBothTerminalsFrozenAfter(2);
        QCOMPARE(messages.size(), 2);
        QVERIFY2(messages[1].startsWith(kOutcomeUnknown), qPrintable(messages[1]));
        QVERIFY(!messages[1].contains("未能删除"));
        QVERIFY(!messages[1].contains("数据库未改变"));
        QCOMPARE(a().terminals.listModel().rowCount(), 2);
        // Nothing is read while the server stays frozen, and the window goes on answering.
        QTest::qWait(1000);
        QCOMPARE(a().terminals.listModel().rowCount(), 2);
        QVERIFY(server_->thaw());
        // Continued, the server commits what it was sent; the list follows by itself.
        QVERIFY(test::waitFor([&] { return a().terminals.listModel().rowCount() == 0; }, 30000));
        QCOMPARE(server_->sql("SELECT COUNT(*) FROM usertable", "ipdata").trimmed(), "0");
    }

    // A list read against a server that does not answer: the read waits beside the window,
    // which keeps answering (a timer keeps ticking, another view can be shown), and the list
    // comes once the server answers again.
    void aListReadFromAFrozenServerLeavesTheWindowAnswering()
    {
        server_->sql("DELETE FROM usertable; INSERT INTO usertable VALUES('PC1','10.0.0.1','g')",
                     "ipdata");
        test::MessageLog messages;
        QVERIFY(server_->freeze());
        int ticks = 0;
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
        ticker.start(20);
        form_->toolbarKey(key::终端配置)->trigger();
        QCOMPARE(form_->CurrentView, "显示终端配置");
        QVERIFY(a().terminals.reading());
        QTest::qWait(1000);
        QVERIFY(ticks >= 10);
        QVERIFY(a().terminals.reading()); // still waiting for the server
        QCOMPARE(a().terminals.listModel().rowCount(), 0);
        form_->显示封面(); // the window takes other commands meanwhile
        QCOMPARE(form_->CurrentView, "显示封面");
        QVERIFY(!a().terminals.reading()); // the answer is not waited for any more
        form_->toolbarKey(key::终端配置)->trigger();
        QVERIFY(server_->thaw());
        test::listRead(*form_);
        QCOMPARE(a().terminals.listModel().rows(), QList<QStringList>({{"PC1", "10.0.0.1", "g"}}));
        QCOMPARE(messages.texts(), QStringList());
    }

    // A dialog's own lists are read beside the window too: with the server frozen the dialog
    // opens and the window keeps answering; the groups come once the server answers again.
    void aDialogsListFromAFrozenServerLeavesTheWindowAnswering()
    {
        form_->toolbarKey(key::终端配置)->trigger();
        test::listRead(*form_);
        test::MessageLog messages;
        int ticks = 0;
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
        ticker.start(20);
        QStringList groups;
        test::ModalScript script({[&](QWidget* modal) {
            auto* d = qobject_cast<DialogZJ*>(modal);
            QVERIFY(d);
            QTest::qWait(1000);
            QVERIFY(ticks >= 10);
            QVERIFY(!d->Text_组别->isEnabled()); // still waiting for the server
            QVERIFY(server_->thaw());
            QTRY_VERIFY_WITH_TIMEOUT(d->Text_组别->isEnabled(), 20000);
            for (int i = 0; i < d->Text_组别->count(); ++i)
                groups << d->Text_组别->itemText(i);
            d->CancelButton->click();
        }});
        QVERIFY(server_->freeze());
        form_->runMenuItem(item::终端_增加);
        QCOMPARE(script.stepsRun(), 1);
        QCOMPARE(groups, QStringList({kBuiltInGroup}));
        QCOMPARE(messages.texts(), QStringList());
    }

    // A dialog's checks and loads wait beside the window too. With the server frozen, OK of the
    // add-terminal dialog holds while the name is checked (a second click sends nothing) and the
    // policy dialog opens held while its row is read; the window keeps answering, and once the
    // server answers again the terminal is added once and the policy shown.
    void aDialogsCheckAndLoadOnAFrozenServerLeaveTheWindowAnswering()
    {
        server_->sql("DELETE FROM usertable", "ipdata");
        form_->toolbarKey(key::终端配置)->trigger();
        test::listRead(*form_);
        test::MessageLog messages;
        test::StatementLog log;
        int ticks = 0;
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
        ticker.start(20);
        const auto answering = [&] {
            const int before = ticks;
            QTest::qWait(1000);
            return ticks - before >= 10;
        };
        test::ModalScript add({[&](QWidget* modal) {
            auto* d = qobject_cast<DialogZJ*>(modal);
            QVERIFY(d);
            test::pick(d->Text_组别, kBuiltInGroup);
            d->Text_名称->setText("PC9");
            for (int i = 0; i < 4; ++i)
                d->Text_IP[i]->setText(i < 3 ? "10" : "9");
            QVERIFY(server_->freeze());
            d->OKButton->click();
            QVERIFY(!d->OKButton->isEnabled()); // held until the table answers
            d->OKButton->click();
            QVERIFY(answering());
            QCOMPARE(a().terminals.listModel().rowCount(), 0);
            QVERIFY(server_->thaw());
            test::okAgain(d->OKButton);
            QCOMPARE(d->Text_名称->text(), ""); // added: the dialog is ready for the next one
            d->CancelButton->click();
        }});
        form_->runMenuItem(item::终端_增加);
        QCOMPARE(add.stepsRun(), 1);
        QCOMPARE(log.changes(), QStringList({"INSERT INTO usertable VALUES('PC9','10.10.10.9','" +
                                             kBuiltInGroup + "')"}));
        QCOMPARE(a().terminals.listModel().rows(),
                 QList<QStringList>({{"PC9", "10.10.10.9", kBuiltInGroup}}));

        form_->toolbarKey(key::组别配置)->trigger();
        test::listRead(*form_);
        test::selectRows(*form_, {0});
        QStringList tabs;
        test::ModalScript policy({[&](QWidget* modal) {
            auto* d = qobject_cast<DialogSt*>(modal);
            QVERIFY(d);
            QVERIFY(!d->OKButton->isEnabled()); // the policy is not read yet
            QVERIFY(answering());
            QVERIFY(!d->OKButton->isEnabled());
            QVERIFY(server_->thaw());
            test::okAgain(d->OKButton);
            for (int i = 0; i < d->TabStrip_类别->count(); ++i)
                tabs << d->TabStrip_类别->tabText(i);
            QCOMPARE(d->tabKeys, policyColumns());
            d->CancelButton->click();
        }});
        QVERIFY(server_->freeze());
        form_->runMenuItem(item::组别_配置);
        QCOMPARE(policy.stepsRun(), 1);
        QCOMPARE(tabs, classTabCaptions());
        QCOMPARE(messages.texts(), QStringList());
    }

    void policyDialogSavesOnceTheServerIsBack()
    {
        form_->toolbarKey(key::组别配置)->trigger();
        test::listRead(*form_);
        test::selectRows(*form_, {0});
        test::MessageLog messages;
        test::ModalScript script({[&](QWidget* modal) {
            auto* d = qobject_cast<DialogSt*>(modal);
            QVERIFY(d);
            test::okAgain(d->OKButton);
            for (QAction* quick : d->Toolbar_快速选择->actions()) {
                if (quick->text() == "全选")
                    quick->trigger();
            }
            QVERIFY(server_->stop());
            test::clickOk(d->OKButton);
            QCOMPARE(messages.texts().size(), 1);
            QVERIFY(messages.texts()[0].startsWith("组别配置未能保存。\n"));
            QVERIFY(messages.texts()[0].contains(db::kServerUnreachable));
            QVERIFY(d->isVisible());
            QVERIFY(server_->start());
            QCOMPARE(server_->sql("SELECT A FROM grouptable", "ipdata").trimmed(), kEmptyMask);
            test::clickOk(d->OKButton);
            QVERIFY2(messages.texts().size() == 1, qPrintable(messages.texts().join('|')));
        }});
        form_->runMenuItem(item::组别_配置);
        QCOMPARE(script.stepsRun(), 1);
        QCOMPARE(messages.texts().size(), 1);
        QCOMPARE(server_->sql("SELECT A FROM grouptable", "ipdata").trimmed(), QString(24, '1'));
    }

    // Restarted between two actions: the console's connection is stale, and a change sent
    // first after the restart (a transaction, with no lookup before it) opens it again
    // instead of failing.
    void aChangeAfterARestartGoesThrough()
    {
        server_->sql("INSERT INTO whitetable VALUES('gone.cn','t','S','Y')", "ipdata");
        form_->toolbarKey(key::显示白单)->trigger();
        test::listRead(*form_);
        test::selectRows(*form_, {0});
        QVERIFY(server_->stop());
        QVERIFY(server_->start());
        test::MessageLog messages;
        form_->runMenuItem(item::名单_删除);
        QCOMPARE(messages.texts(), QStringList({"确定删除所选记录吗？"}));
        QCOMPARE(a().whiteList.listModel().rowCount(), 0);
        QCOMPARE(server_->sql("SELECT COUNT(*) FROM whitetable", "ipdata").trimmed(), "0");
    }

    void addEntryAddsNothingWhileTheServerIsDown()
    {
        form_->toolbarKey(key::显示白单)->trigger();
        test::listRead(*form_);
        test::MessageLog messages;
        test::ModalScript script({[&](QWidget* modal) {
            auto* d = qobject_cast<DialogAd*>(modal);
            QVERIFY(d);
            d->Text_域名->setText("down.cn");
            d->Text_标题->setText("t");
            test::pick(d->Text_类别, "记录日志");
            QVERIFY(server_->stop());
            test::clickOk(d->OKButton);
            QCOMPARE(messages.texts().size(), 1);
            QVERIFY(messages.texts()[0].contains(db::kServerUnreachable));
            QCOMPARE(a().whiteList.listModel().rowCount(), 0);
            QVERIFY(server_->start());
            test::clickOk(d->OKButton);
            QVERIFY2(messages.texts().size() == 1, qPrintable(messages.texts().join('|')));
            QCOMPARE(a().whiteList.listModel().rowCount(), 1);
            d->CancelButton->click();
        }});
        form_->runMenuItem(item::名单_增加);
        QCOMPARE(script.stepsRun(), 1);
        QCOMPARE(server_->sql("SELECT Name,S,SF FROM whitetable", "ipdata").trimmed(),
                 "down.cn\tS\tY");
    }
};

QTEST_MAIN(StoppedServer)
#include "test_stoppedserver.moc"
