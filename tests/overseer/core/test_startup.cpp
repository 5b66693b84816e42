// The console's way in, against the private server and the real stand-ins: connections and
// companion files, the login against the credential file, the adapter number, the modules and
// the keeper started only when their windows are absent, the connection test, and a second copy
// of the real program.

#include "common/datasources.h"
#include "common/dbmessages.h"
#include "common/gbk.h"
#include "common/names.h"
#include "common/registry.h"
#include "overseer/core/dialogak.h"
#include "overseer/core/formmain.h"
#include "overseer/core/logindialogs.h"
#include "overseer/core/startup.h"
#include "overseer/program.h"
#include "tests/overseer/consoletest.h"
#include "tests/support/privateserver.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <list>

using namespace lt;
using namespace lt::overseer;

namespace
{

const QString kLoginTitle = QStringLiteral("登录Lantrove系统");

test::ModalScript::Step typeLogin(const QString& name, const QString& password)
{
    return [=](QWidget* modal) {
        auto* dialog = qobject_cast<DialogDL*>(modal);
        QVERIFY(dialog);
        QCOMPARE(dialog->windowTitle(), kLoginTitle);
        dialog->txtUserName->setText(name);
        dialog->txtPassword->setText(password);
        dialog->cmdOK->click();
    };
}

// Confirms what is typed; when the dialog stays, notes its focus and selection and cancels.
struct RefusedLogin {
    bool stayed = false;
    bool passwordFocused = false;
    QString selected;
    test::ModalScript::Step step(const QString& name, const QString& password)
    {
        return [=, this](QWidget* modal) {
            typeLogin(name, password)(modal);
            auto* dialog = qobject_cast<DialogDL*>(QApplication::activeModalWidget());
            stayed = dialog == modal;
            if (!dialog)
                return;
            passwordFocused = dialog->focusWidget() == dialog->txtPassword;
            selected = dialog->txtPassword->selectedText();
            dialog->cmdCancel->click();
        };
    }
};

int windowsTitled(const QString& title)
{
    int n = 0;
    for (const win::WindowInfo& w : win::windows())
        n += w.title == title;
    return n;
}

} // namespace

class StartUp : public QObject
{
    Q_OBJECT
    test::TestInstallation install_;
    std::unique_ptr<FormMain> form_;

    QString app(const QString& name = {}) const
    {
        return name.isEmpty() ? install_.appDir() : install_.appDir() + u'/' + name;
    }
    QString credentials() const { return install_.systemDir() + "/KVRTMQLP.DLL"; }
    QString held(const QString& name) const { return install_.root() + "/held/" + name; }

    void hideFile(const QString& name)
    {
        QDir().mkpath(install_.root() + "/held");
        QVERIFY(QFile::rename(app(name), held(name)));
    }

    bool startWith(const QString& name, const QString& password)
    {
        test::ModalScript script({typeLogin(name, password)});
        return runStartUp(*form_);
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(install_.useFreshDatabases(), "the private test server does not answer");
    }

    void init()
    {
        form_ = std::make_unique<FormMain>();
        fillDispatch(*form_);
    }

    void cleanup()
    {
        form_.reset();
        test::endModules();
        for (const QString& name : QDir(install_.root() + "/held").entryList(QDir::Files)) {
            QFile::remove(app(name));
            QFile::rename(held(name), app(name));
        }
        test::writeFile(app("LocalPort.txt"), "1");
        test::writeFile(credentials(), "ADM\r\n739\r\n");
        install_.registerLocal();
    }

    void theConsoleShowsItsCoverBeforeItStartsTheModules()
    {
        test::StartLog starts;
        test::ModalScript script({typeLogin("ADM", "739")});
        QVERIFY(runStartUp(*form_, ModuleStart::AfterCover));
        QVERIFY(starts.events.isEmpty());
        form_->show();
        QVERIFY(test::waitFor([&] { return starts.events.size() == 3; }, 5000));
        QCOMPARE(starts.commandLines(),
                 QStringList({app("qmlxblock.EXE") + " -i 1", app("qmlxsn.EXE") + " -i 1",
                              app("logkeeper.EXE")}));
    }

    void modulesStartedWhenTheirWindowsAreAbsent_data()
    {
        QTest::addColumn<QByteArray>("portFile");
        QTest::addColumn<QStringList>("running"); // titles of windows already there
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("started");
        const QStringList all = {"qmlxblock.EXE", "qmlxsn.EXE", "logkeeper.EXE"};
        const QStringList none;
        const QString blocker = names::kBlockerTitle, monitor = names::kMonitorTitle;
        const QString analyser = names::kAnalyserTitle, keeper = names::kKeeperTitle;
        QTest::newRow("nothing runs, adapter 3")
            << QByteArray("3") << none << QStringList{"-i", "3"} << all;
        QTest::newRow("2 and CR LF")
            << QByteArray("2\r\n") << none << QStringList{"-i", "2"} << all;
        QTest::newRow("empty file") << QByteArray() << none << QStringList{"-i"} << all;
        QTest::newRow("blanks") << QByteArray("   ") << none << QStringList{"-i"} << all;
        // Split into words as the keeper's watchdog splits it: one rule for both.
        QTest::newRow("two words")
            << QByteArray(" 1  2\r\n") << none << QStringList{"-i", "1", "2"} << all;
        QTest::newRow("analyser runs") << QByteArray("1") << QStringList{analyser}
                                       << QStringList{"-i", "1"} << QStringList{"logkeeper.EXE"};
        QTest::newRow("keeper runs")
            << QByteArray("1") << QStringList{keeper} << QStringList{"-i", "1"}
            << QStringList{"qmlxblock.EXE", "qmlxsn.EXE"};
        QTest::newRow("all run") << QByteArray("1") << QStringList{analyser, keeper}
                                 << QStringList{"-i", "1"} << none;
        // The analyser's window not up, the modules already running: no second pair.
        QTest::newRow("both modules run") << QByteArray("1") << QStringList{blocker, monitor}
                                          << QStringList{"-i", "1"} << QStringList{"logkeeper.EXE"};
        QTest::newRow("monitor runs")
            << QByteArray("1") << QStringList{monitor} << QStringList{"-i", "1"}
            << QStringList{"qmlxblock.EXE", "logkeeper.EXE"};
        QTest::newRow("blocker and keeper run")
            << QByteArray("4") << QStringList{blocker, keeper} << QStringList{"-i", "4"}
            << QStringList{"qmlxsn.EXE"};
    }

    void modulesStartedWhenTheirWindowsAreAbsent()
    {
        QFETCH(QByteArray, portFile);
        QFETCH(QStringList, running);
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, started);
        test::writeFile(app("LocalPort.txt"), portFile);
        std::list<win::Registration> windows;
        for (const QString& title : running)
            windows.emplace_back(title, false);

        test::MessageLog messages;
        test::StartLog starts;
        QVERIFY(startWith("ADM", "739"));
        QVERIFY(messages.requests.isEmpty());
        QCOMPARE(form_->context().LocalPortText.simplified(), arguments.mid(1).join(u' '));
        QCOMPARE(form_->context().PageSize, qint16(500));
        QCOMPARE(form_->CurrentView, QStringLiteral("显示封面"));
        QStringList expected;
        for (const QString& program : started)
            expected << app() + u'/' + program +
                            (program.startsWith("qmlx") ? " " + arguments.join(u' ') : "");
        QCOMPARE(starts.commandLines(), expected);
        for (const proc::StartEvent& e : starts.events) {
            QCOMPARE(e.show, proc::Show::Hidden);
            if (e.commandLine.contains("qmlx"))
                QCOMPARE(e.arguments, arguments);
        }
        if (running.isEmpty() && arguments.size() == 2) {
            for (const QString& title : {names::kBlockerTitle, names::kMonitorTitle})
                QVERIFY(test::windowAppears(title));
            QVERIFY(test::windowAppears(names::kKeeperTitle));
        }
    }

    void startRefused_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("message");
        QTest::addColumn<ui::Icon>("icon");
        QTest::newRow("log database down") << "LocalLogTable"
                                           << "安全控制中心数据库连接失败" << ui::Icon::None;
        QTest::newRow("configuration database down")
            << "RemoteAcTable"
            << "数据采集监控系统连接失败" << ui::Icon::None;
        QTest::newRow("blocker missing") << "qmlxblock"
                                         << "文件 qmlxblock.exe 丢失" << ui::Icon::Exclamation;
        QTest::newRow("keeper missing") << "logkeeper"
                                        << "文件 logkeeper.exe 丢失" << ui::Icon::Exclamation;
        QTest::newRow("port file first") << "qmlxsn LocalPort.txt"
                                         << "文件 LocalPort.txt 丢失" << ui::Icon::Exclamation;
        QTest::newRow("notice before monitor")
            << "qmlxsn TQProgress"
            << "文件 TQProgress.exe 丢失" << ui::Icon::Exclamation;
    }

    void startRefused()
    {
        QFETCH(QString, fault);
        QFETCH(QString, message);
        QFETCH(ui::Icon, icon);
        if (fault.endsWith("Table")) {
            const QString key = reg::kOdbcIni + u'\\' + fault;
            reg::setValue(key, "Socket", install_.root() + "/run/no-server.sock");
            reg::setValue(key, "Port", "1");
        } else {
            for (const QString& name : fault.split(u' '))
                hideFile(name);
        }
        test::MessageLog messages;
        test::StartLog starts;
        test::ModalScript script({typeLogin("ADM", "739")});
        QVERIFY(!runStartUp(*form_));
        QCOMPARE(messages.texts(), QStringList{message});
        QCOMPARE(messages.requests[0].icon, icon);
        QCOMPARE(script.stepsRun(), 0); // nobody was asked to log in
        QVERIFY(starts.events.isEmpty());
        QVERIFY(!form_->context().LoginPassed);
    }

    void wrongPasswordStaysWithThePasswordSelected()
    {
        test::MessageLog messages;
        test::StartLog starts;
        RefusedLogin refused;
        test::ModalScript script({refused.step("ADM", "7390")});
        QVERIFY(!runStartUp(*form_));
        QCOMPARE(messages.texts(), QStringList{"无效的用户名或密码，请重试!"});
        QCOMPARE(messages.requests[0].icon, ui::Icon::Exclamation);
        QVERIFY(refused.stayed);
        QVERIFY(refused.passwordFocused);
        QCOMPARE(refused.selected, QStringLiteral("7390"));
        QVERIFY(starts.events.isEmpty());
    }

    void credentialsCompared_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("refusal"); // empty when accepted
        const QString wrong = QStringLiteral("无效的用户名或密码，请重试!");
        const QString broken = QStringLiteral("系统文件被破坏!");
        QTest::newRow("exact") << QByteArray("ADM\r\n739\r\n") << "ADM"
                               << "739"
                               << "";
        QTest::newRow("other case") << QByteArray("ADM\r\n739\r\n") << "adm"
                                    << "739" << wrong;
        QTest::newRow("typed trailing blank") << QByteArray("ADM\r\n739\r\n") << "ADM "
                                              << "739" << wrong;
        QTest::newRow("stored trailing blanks") << QByteArray("ADM   \r\n739 \r\n") << "ADM"
                                                << "739"
                                                << "";
        QTest::newRow("typed leading blank") << QByteArray("ADM\r\n739") << " ADM"
                                             << "739" << wrong;
        QTest::newRow("comma") << QByteArray("ADM,739") << "ADM"
                               << "739"
                               << "";
        QTest::newRow("GBK") << gbk::encode(u"管理员\r\n口令甲\r\n") << "管理员"
                             << "口令甲"
                             << "";
        QTest::newRow("missing file") << QByteArray("-") << "ADM"
                                      << "739" << broken;
        QTest::newRow("empty file admits nobody") << QByteArray() << ""
                                                  << "" << broken;
    }

    void credentialsCompared()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, name);
        QFETCH(QString, password);
        QFETCH(QString, refusal);
        if (file == "-")
            QFile::remove(credentials());
        else
            test::writeFile(credentials(), file);
        test::MessageLog messages;
        RefusedLogin refused;
        test::ModalScript script({refused.step(name, password)});
        QCOMPARE(runStartUp(*form_), refusal.isEmpty());
        QCOMPARE(messages.texts(), refusal.isEmpty() ? QStringList{} : QStringList{refusal});
        QCOMPARE(refused.stayed, !refusal.isEmpty());
    }

    void uninitialisedLogDatabaseNeverReadsTheCredentials()
    {
        test::sql("DROP TABLE passwordtable", "dovrik");
        QFile::remove(credentials()); // were it read, the answer would be another
        test::MessageLog messages;
        test::ModalScript script({[](QWidget* modal) {
            auto* dialog = qobject_cast<DialogDL*>(modal);
            QVERIFY(dialog);
            dialog->txtUserName->setText("ADM");
            dialog->txtPassword->setText("739");
            dialog->cmdOK->click();
            dialog->cmdOK->click();
            QCOMPARE(QApplication::activeModalWidget(), modal);
            dialog->cmdCancel->click();
        }});
        QVERIFY(!runStartUp(*form_));
        const QString uninitialised = QStringLiteral("安全控制中心数据库没有初始化！");
        QCOMPARE(messages.texts(), QStringList({uninitialised, uninitialised}));
        QCOMPARE(messages.requests[0].icon, ui::Icon::Exclamation);
        test::initialiseDatabases();
    }

    // The server goes away after the login dialog has opened its connections: "确定" says that
    // the server cannot be reached, with the driver's words as the detail, not that the
    // database was never initialised.
    void deadServerAtLoginIsNotAnUninitialisedDatabase()
    {
        test::PrivateServer server;
        QVERIFY(server.ready());
        server.registerDataSources();
        test::initialiseDatabases();
        test::MessageLog messages;
        test::ModalScript script({[&](QWidget* modal) {
            auto* dialog = qobject_cast<DialogDL*>(modal);
            QVERIFY(dialog);
            QVERIFY(server.stop());
            dialog->txtUserName->setText("ADM");
            dialog->txtPassword->setText("739");
            dialog->cmdOK->click();
            QCOMPARE(QApplication::activeModalWidget(), modal);
            dialog->cmdCancel->click();
        }});
        QVERIFY(!runStartUp(*form_));
        QCOMPARE(script.stepsRun(), 1);
        QCOMPARE(messages.texts().size(), 1);
        const QString text = messages.texts().value(0);
        QVERIFY2(text.startsWith(db::kServerUnreachable + QStringLiteral("\n详细信息：[")),
                 qPrintable(text));
        QVERIFY(text.size() > db::kServerUnreachable.size() + 8);
        QCOMPARE(messages.requests[0].icon, ui::Icon::Exclamation);
        form_.reset();
    }

    void portFileUnreadableAfterLogin()
    {
        test::MessageLog messages;
        test::StartLog starts;
        test::ModalScript script({[this](QWidget* modal) {
            QFile::remove(app("LocalPort.txt"));
            typeLogin("ADM", "739")(modal);
        }});
        QVERIFY(!runStartUp(*form_));
        QCOMPARE(messages.texts(), QStringList{"LocalPort.txt文件丢失"});
        QCOMPARE(messages.requests[0].icon, ui::Icon::None);
        QVERIFY(starts.events.isEmpty());
    }

    void moduleThatCannotStartDoesNotStopTheStart()
    {
        hideFile("qmlxblock");
        test::writeFile(app("qmlxblock"), "not a program"); // there, but cannot be started
        test::StartLog starts;
        QVERIFY(startWith("ADM", "739"));
        QCOMPARE(starts.events.size(), 3);
        QVERIFY(!starts.events[0].started); // the blocker
        QVERIFY(starts.events[1].started && starts.events[2].started);
    }

    void connectionTestReportsEachDatabase()
    {
        QVERIFY(startWith("ADM", "739"));
        {
            test::MessageLog messages;
            form_->toolbarKey("测试连接")->trigger();
            // The probes run beside the window: the key is off until both are answered.
            QVERIFY(!form_->toolbarKey("测试连接")->isEnabled());
            form_->测试连接函数(); // refused while one runs
            QVERIFY(test::waitFor([&] { return messages.texts().size() >= 2; }, 20000));
            QTest::qWait(50);
            QVERIFY(form_->toolbarKey("测试连接")->isEnabled());
            QCOMPARE(messages.texts(),
                     QStringList({"安全控制中心数据库连接正常", "数据采集监控系统连接正常"}));
            for (const ui::MessageRequest& r : messages.requests)
                QCOMPARE(r.icon, ui::Icon::Exclamation);
        }
        test::sql("DROP TABLE passwordtable", "dovrik");
        {
            test::MessageLog messages;
            form_->测试连接函数();
            QVERIFY(test::waitFor([&] { return messages.texts().size() >= 2; }, 20000));
            QCOMPARE(messages.texts(),
                     QStringList({"安全控制中心数据库连接失败", "数据采集监控系统连接正常"}));
        }
        test::initialiseDatabases();
    }

    void secondCopyEndsAtOnce()
    {
        QProcess first;
        first.start(app("overseer"), {});
        QVERIFY(first.waitForStarted());
        QVERIFY(test::waitFor(
            [] {
                const auto login = win::findWindow(kLoginTitle);
                return login && login->visible;
            },
            20000));
        QProcess second;
        second.start(app("overseer"), {});
        QVERIFY(second.waitForFinished(20000));
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);
        QCOMPARE(windowsTitled(kLoginTitle), 1);
        QCOMPARE(first.state(), QProcess::Running);
        first.kill();
        first.waitForFinished();
    }
};

QTEST_MAIN(StartUp)
#include "test_startup.moc"
