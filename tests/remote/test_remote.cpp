// Remote mode end to end. The installation's two databases live on a server of the test's own
// that is set up to serve other machines (scripts/db.sh serve); the installation reaches it
// only over TCP with the account of remote registrations, as a console on another machine
// would: registration with ADDRESS:PORT, both initialisations, the connection test, the
// console's login and connection test, a pruning pass of the keeper, and the keeper's
// watchdog bringing back a monitor module that writes its rows into the remote log; then the
// same console and keeper across a restart of the server and while it is frozen.

#include "common/datasources.h"
#include "common/names.h"
#include "common/odbc.h"
#include "common/processes.h"
#include "common/windowdirectory.h"
#include "overseer/admin/dialogdk.h"
#include "overseer/core/formmain.h"
#include "overseer/core/logindialogs.h"
#include "overseer/core/startup.h"
#include "overseer/program.h"
#include "tests/overseer/consoletest.h"
#include "tests/provisioner/support.h"
#include "tests/support/privateserver.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QScopeGuard>
#include <QTest>
#include <QTimer>
#include <memory>

using namespace lt;

namespace
{

struct Run {
    int exitCode = -1;
    QString out;
};

} // namespace

class Remote : public QObject
{
    Q_OBJECT
    test::TestInstallation install_;
    std::unique_ptr<test::PrivateServer> server_;

    Run run(const QString& program, const QStringList& arguments)
    {
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(install_.appDir() + u'/' + program, arguments);
        if (!p.waitForFinished(180000))
            qFatal("%s did not finish", qPrintable(program));
        return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
                QString::fromUtf8(p.readAll())};
    }

    qint64 remoteRows(const QString& table) const
    {
        return server_->sql(QStringLiteral("SELECT COUNT(*) FROM ") + table, "dovrik")
            .trimmed()
            .toLongLong();
    }

private slots:
    void initTestCase()
    {
        server_ = std::make_unique<test::PrivateServer>();
        QVERIFY(server_->serve(QStringLiteral("127.0.0.1")));
    }

    void cleanupTestCase()
    {
        test::endModules();
        server_.reset();
    }

    void registerInitialiseAndTestOverTcp()
    {
        const QString address = QStringLiteral("127.0.0.1:") + server_->port();
        const Run r =
            run("provisioner", {"--register", address, "--init", "both", "--yes", "--test"});
        QVERIFY2(r.exitCode == 0, qPrintable(r.out));

        const QStringList source = test::odbcIniSection(dsn::kLogDsn);
        QVERIFY2(source.contains("Server=127.0.0.1"), qPrintable(source.join(u' ')));
        QVERIFY(source.contains("Port=" + server_->port()));
        QVERIFY(source.contains("User=qmlxdovrik"));
        for (const QString& line : source) // TCP only: no socket of a local server
            QVERIFY2(!line.startsWith("Socket=") || line == "Socket=", qPrintable(line));
        QCOMPARE(QFile::permissions(install_.systemDir() + "/odbc.ini") & 0x0077, 0);

        const QString databases = server_->sql("SHOW DATABASES");
        QVERIFY(databases.contains("dovrik") && databases.contains("ipdata"));
        QCOMPARE(server_->sql("SELECT COUNT(*) FROM classtable", "ipdata").trimmed(), "12");

        // The programs' own strings reach the server as the account of other machines.
        db::Connection log;
        QVERIFY2(log.open(dsn::chosenConnectionStrings().log), qPrintable(log.lastError().message));
        QVERIFY(log.query("SELECT CURRENT_USER()").field(0).toString().startsWith("qmlxdovrik@"));
        // The keeper's strings carry an empty account: the data source's own is used.
        db::Connection keeper;
        QVERIFY2(keeper.open(dsn::kKeeperLogString), qPrintable(keeper.lastError().message));
        QVERIFY(
            keeper.query("SELECT CURRENT_USER()").field(0).toString().startsWith("qmlxdovrik@"));
    }

    void keeperPrunesTheRemoteLog()
    {
        // 5000 kept of a limit of 5000: the pass starts at 55,000 rows.
        server_->sql("INSERT INTO logtable (Name, IP, AcTime, Team, Title, URL, Class, Result, "
                     "nLength, F) SELECT 'T1', '192.168.0.2', CONCAT('26-12-07 ', "
                     "SEC_TO_TIME(seq DIV 2)), '临时工作组', '页', 'a.cn', '', '放行', '1', 1 "
                     "FROM seq_1_to_56000",
                     "dovrik");
        QCOMPARE(remoteRows("logtable"), 56000);
        const Run r = run("logkeeper", {"--prune-now", "--log", "5000"});
        QVERIFY2(r.exitCode == 0, qPrintable(r.out));
        const qint64 left = remoteRows("logtable");
        QVERIFY2(left > 0 && left < 5000, qPrintable(QString::number(left)));
    }

    void consoleLogsInAndItsKeeperWatchesTheModules()
    {
        test::writeFile(install_.appDir() + "/qmlxsn.ini", "[monitor]\r\nFeedRate=600\r\n");
        const qint64 before = remoteRows("logtable");
        overseer::FormMain form;
        overseer::fillDispatch(form);
        test::ModalScript login(
            {[](QWidget* modal) { logIn(qobject_cast<overseer::DialogDL*>(modal)); }});
        QVERIFY(overseer::runStartUp(form));
        {
            test::MessageLog messages;
            form.测试连接函数();
            QVERIFY(test::waitFor([&] { return messages.texts().size() >= 2; }, 20000));
            QCOMPARE(messages.texts(),
                     QStringList({"安全控制中心数据库连接正常", "数据采集监控系统连接正常"}));
        }

        // The console started the keeper and the modules; the monitor writes into the remote log.
        QVERIFY(test::windowAppears(names::kKeeperTitle));
        QVERIFY(test::windowAppears(names::kMonitorTitle));
        QVERIFY(test::waitFor([&] { return remoteRows("logtable") > before; }, 20000));

        // The keeper's watchdog brings a monitor that died back.
        proc::killProcess(names::kMonitorExe);
        QVERIFY(test::windowGoes(names::kMonitorTitle));
        const qint64 afterKill = remoteRows("logtable");
        QVERIFY(
            test::waitFor([] { return win::findWindow(names::kMonitorTitle).has_value(); }, 25000));
        QVERIFY(test::waitFor([&] { return remoteRows("logtable") > afterKill; }, 20000));
    }

    // The server restarted between two console actions, then frozen with SIGSTOP: the console
    // goes on with the connections it had, the keeper's next pass works, and while the server
    // is frozen the connection test says which database fails without freezing the window.
    void consoleAcrossARestartAndAFreeze()
    {
        overseer::FormMain form;
        overseer::fillDispatch(form);
        test::ModalScript login(
            {[](QWidget* modal) { logIn(qobject_cast<overseer::DialogDL*>(modal)); }});
        QVERIFY(overseer::runStartUp(form));
        const QStringList working{"安全控制中心数据库连接正常", "数据采集监控系统连接正常"};
        QCOMPARE(connectionTest(form), working);

        QVERIFY(server_->stop());
        QVERIFY(server_->start());
        QCOMPARE(connectionTest(form), working);
        {
            // The port dialog's lookup, read beside the window on the configuration channel.
            test::MessageLog messages;
            auto& dialog = form.context().dialog<overseer::DialogDK>("DialogDK");
            dialog.show();
            dialog.Text_类别->setCurrentText("本机");
            emit dialog.Text_类别->textActivated("本机");
            QTRY_VERIFY(dialog.OKButton->isEnabled());
            QCOMPARE(messages.texts(), QStringList());
            QCOMPARE(dialog.Text_端口->text(), QStringLiteral("5677"));
            dialog.CancelButton->click();
        }
        {
            // A second login on the console's own log connection.
            test::MessageLog messages;
            QPointer<overseer::DialogDL> again = new overseer::DialogDL(form.context());
            form.context().LoginPassed = false;
            logIn(again);
            QCOMPARE(messages.texts(), QStringList());
            QVERIFY(form.context().LoginPassed);
            delete again.data();
        }
        QVERIFY(server_->stop());
        QVERIFY(server_->start());
        const Run pass = run(QStringLiteral("logkeeper"), {"--prune-now"});
        QVERIFY2(pass.exitCode == 0, qPrintable(pass.out));

        QVERIFY(server_->freeze());
        const auto thaw = qScopeGuard([this] { server_->thaw(); });
        int ticks = 0;
        QTimer alive;
        connect(&alive, &QTimer::timeout, [&] { ++ticks; });
        alive.start(100);
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(connectionTest(form),
                 QStringList({"安全控制中心数据库连接失败", "数据采集监控系统连接失败"}));
        qInfo("connection test against a frozen server: %lld ms, %d ticks of the window's timer",
              timer.elapsed(), ticks);
        QVERIFY2(ticks > timer.elapsed() / 100 / 2, "the window stopped answering");
        QVERIFY(server_->thaw());
        QCOMPARE(connectionTest(form), working);
    }

private:
    static void logIn(overseer::DialogDL* dialog)
    {
        QVERIFY(dialog);
        dialog->txtUserName->setText("ADM");
        dialog->txtPassword->setText("739");
        dialog->cmdOK->click();
    }

    // The toolbar key's test: the texts of its two message boxes.
    static QStringList connectionTest(overseer::FormMain& form)
    {
        test::MessageLog messages;
        form.测试连接函数();
        test::waitFor([&] { return messages.texts().size() >= 2; }, 60000);
        return messages.texts();
    }
};

QTEST_MAIN(Remote)
#include "test_remote.moc"
