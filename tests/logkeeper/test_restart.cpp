// The keeper against a server of the test's own that is stopped and started: a restart before
// a pass does not fail the pass, and the window's database line tells a server that cannot be
// reached in Chinese (the driver's words only as the detail) until a later pass clears it.

#include "common/datasources.h"
#include "common/dbmessages.h"
#include "common/logrows.h"
#include "common/odbc.h"
#include "logkeeper/keeper.h"
#include "logkeeper/keeperwindow.h"
#include "tests/support/privateserver.h"
#include "tests/support/testsupport.h"

#include <QLabel>
#include <QSignalSpy>
#include <QTest>

using namespace lt;
using namespace lt::keeper;

namespace
{

// 55,000 log rows, one a second: at the minimum limit a pass deletes the 50,001 oldest.
bool fillLog(int rows)
{
    db::Connection log;
    if (!log.open(dsn::kKeeperLogString))
        return false;
    return log.execute(QStringLiteral("TRUNCATE logtable")) &&
           log.execute(("INSERT INTO logtable(" + logrows::kLogColumns +
                        ") SELECT 'PC-01','192.168.1.10',"
                        "DATE_FORMAT(TIMESTAMP'2026-11-01 00:00:00' + INTERVAL seq SECOND,"
                        "'%y-%m-%d %H:%i:%s'),'默认组','新闻首页','http://news.example.cn/',"
                        "'新闻','通过','2048',1 FROM seq_1_to_%1")
                           .arg(rows));
}

bool waitForStatus(const Keeper& keeper, DatabaseStatus::State state)
{
    return test::waitFor([&] { return keeper.databaseStatus().state == state; }, 30000);
}

} // namespace

class KeeperRestartTest : public QObject
{
    Q_OBJECT
    test::TestInstallation install_;
    std::unique_ptr<test::PrivateServer> server_;

    bool pass(Keeper& keeper)
    {
        QSignalSpy finished(&keeper, &Keeper::passFinished);
        return keeper.runPass() && finished.wait(60000);
    }

private slots:
    void initTestCase()
    {
        server_ = std::make_unique<test::PrivateServer>();
        QVERIFY(server_->ready());
        server_->registerDataSources();
        test::initialiseDatabases();
    }

    void cleanupTestCase() { server_.reset(); }

    // The keeper connected at its start; the server restarts before the pass, which still
    // prunes (each pass opens its connections afresh).
    void serverRestartBeforeAPass()
    {
        QVERIFY(server_->start());
        QVERIFY(fillLog(55000));
        Keeper keeper(install_.appDir());
        keeper.setLimits({kMinLog, kMinUpload, kMinWeb});
        keeper.connectDatabases();
        QVERIFY(waitForStatus(keeper, DatabaseStatus::Connected));
        QVERIFY(pass(keeper));
        QVERIFY(!keeper.lastPass()->failed());

        QVERIFY(fillLog(55000));
        QVERIFY(server_->stop());
        QVERIFY(server_->start());
        QVERIFY(pass(keeper));
        const PassReport& report = *keeper.lastPass();
        QVERIFY2(!report.failed(), qPrintable(report.log.error + report.webAll.error));
        QCOMPARE(report.log.deleted, 50001);
        QCOMPARE(keeper.databaseStatus().state, DatabaseStatus::Connected);
    }

    // Started while the server is down: the window comes up at once and says what is wrong in
    // Chinese; the pass reports each table in Chinese; once the server is back, the next pass
    // clears the failure from the window.
    void failureShownInChineseUntilASuccess()
    {
        QVERIFY(server_->stop());
        Keeper keeper(install_.appDir());
        keeper.setLimits({kMinLog, kMinUpload, kMinWeb});
        KeeperWindow window(keeper);
        window.showAndRegister();
        keeper.connectDatabases();
        QVERIFY(window.isVisible());
        auto* database = window.findChild<QLabel*>(QStringLiteral("Label_Database"));
        auto* lastPass = window.findChild<QLabel*>(QStringLiteral("Label_LastPass"));
        QVERIFY(database && lastPass);
        QVERIFY(waitForStatus(keeper, DatabaseStatus::Failed));
        // The reasons in Chinese, the driver's words only in the tool tip.
        QCOMPARE(database->text(),
                 QStringLiteral("数据库：日志数据库连接失败，") + db::kServerUnreachable +
                     QStringLiteral("\n配置数据库连接失败，") + db::kServerUnreachable);
        QVERIFY2(database->toolTip().contains(QStringLiteral("mariadb.sock")) ||
                     database->toolTip().startsWith(u'['),
                 qPrintable(database->toolTip()));

        QVERIFY(pass(keeper));
        const PassReport& down = *keeper.lastPass();
        QVERIFY(down.failed());
        for (const StageResult* stage :
             {&down.log, &down.webUnclassified, &down.webAll, &down.upload})
            QVERIFY2(stage->error.startsWith(db::kServerUnreachable), qPrintable(stage->error));
        QVERIFY2(lastPass->text().contains(QStringLiteral("浏览日志（LogTable）：失败，") +
                                           db::kServerUnreachable),
                 qPrintable(lastPass->text()));

        QVERIFY(server_->start());
        QVERIFY(fillLog(100));
        QVERIFY(pass(keeper));
        QVERIFY(!keeper.lastPass()->failed());
        QCOMPARE(database->text(), QStringLiteral("数据库：连接正常"));
        QVERIFY2(!lastPass->text().contains(QStringLiteral("失败")), qPrintable(lastPass->text()));
        QVERIFY(lastPass->text().contains(QStringLiteral("浏览日志（LogTable）：共 100 行")));
    }

    // Between passes the window follows the server: it says the databases cannot be reached
    // while the server is down, and that they answer again once it is back, without a pass.
    void statusFollowsTheServerBetweenPasses()
    {
        QVERIFY(server_->start());
        Keeper keeper(install_.appDir());
        KeeperWindow window(keeper);
        auto* database = window.findChild<QLabel*>(QStringLiteral("Label_Database"));
        QVERIFY(database);
        keeper.statusTimer().setInterval(200);
        keeper.start();
        keeper.timer2().stop(); // no module starts in this test
        QVERIFY(keeper.statusTimer().isActive());
        QVERIFY(waitForStatus(keeper, DatabaseStatus::Connected));
        QCOMPARE(database->text(), QStringLiteral("数据库：连接正常"));

        QVERIFY(server_->stop());
        QVERIFY(waitForStatus(keeper, DatabaseStatus::Failed));
        QVERIFY2(database->text().startsWith(QStringLiteral("数据库：日志数据库连接失败，") +
                                             db::kServerUnreachable),
                 qPrintable(database->text()));
        QVERIFY(!keeper.lastPass());

        QVERIFY(server_->start());
        QVERIFY(waitForStatus(keeper, DatabaseStatus::Connected));
        QCOMPARE(database->text(), QStringLiteral("数据库：连接正常"));
        QVERIFY(!keeper.lastPass());
    }
};

QTEST_MAIN(KeeperRestartTest)
#include "test_restart.moc"
