// The keeper's window through its real widgets: the limit boxes, "确定" with its minimums and
// out-of-range texts, "隐藏", the hidden start and the window directory; the command line.

#include "common/datasources.h"
#include "common/dbmessages.h"
#include "common/processes.h"
#include "common/registry.h"
#include "common/widgets/messages.h"
#include "common/windowdirectory.h"
#include "logkeeper/commandline.h"
#include "logkeeper/keeper.h"
#include "logkeeper/keeperwindow.h"
#include "tests/support/testsupport.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

using namespace lt;
using namespace lt::keeper;

class KeeperWindowTest : public QObject
{
    Q_OBJECT
    test::TestInstallation install_;
    std::unique_ptr<Keeper> keeper_;
    std::unique_ptr<KeeperWindow> window_;
    QList<ui::MessageRequest> messages_;

    QLineEdit* box(const char* name) { return window_->findChild<QLineEdit*>(name); }
    QPushButton* button(const char* name) { return window_->findChild<QPushButton*>(name); }
    QString label(const char* name) { return window_->findChild<QLabel*>(name)->text(); }

    void type(const char* name, const QString& text)
    {
        box(name)->clear();
        QTest::keyClicks(box(name), text);
    }

private slots:
    void init()
    {
        messages_.clear();
        ui::setMessageHandler([this](const ui::MessageRequest& request) {
            messages_ << request;
            return ui::Answer::Ok;
        });
        keeper_ = std::make_unique<Keeper>(install_.appDir());
        window_ = std::make_unique<KeeperWindow>(*keeper_);
        window_->showAndRegister();
    }

    void cleanup()
    {
        window_.reset();
        keeper_.reset();
        ui::setMessageHandler({});
        qunsetenv("LANTROVE_WINDOW");
    }

    void layoutAndInitialTexts()
    {
        QCOMPARE(window_->windowTitle(), QStringLiteral("Lantrove系统——数据库维护"));
        QCOMPARE(label("Label_Lg"), QStringLiteral("浏览日志："));
        QCOMPARE(label("Label_Up"), QStringLiteral("上传日志："));
        QCOMPARE(label("Label_Wb"), QStringLiteral("最近访问："));
        QCOMPARE(box("Text_Lg")->text(), QStringLiteral("200000"));
        QCOMPARE(box("Text_Up")->text(), QStringLiteral("10000"));
        QCOMPARE(box("Text_Wb")->text(), QStringLiteral("500000"));
        QCOMPARE(button("Command1")->text(), QStringLiteral("确定"));
        QCOMPARE(button("Command_Hide")->text(), QStringLiteral("隐藏"));
        QVERIFY(label("Label_LastPass").contains(QStringLiteral("尚未清理")));
        QCOMPARE(keeper_->timer1().interval(), 60000);
        QCOMPARE(keeper_->timer2().interval(), 10000);
    }

    void boxesTakeDigitsOnly()
    {
        type("Text_Lg", QStringLiteral("12a-3 4.5"));
        QCOMPARE(box("Text_Lg")->text(), QStringLiteral("12345"));
    }

    // Boxes below their minimums become the minimums; the others keep their texts.
    void confirmAppliesMinimums()
    {
        type("Text_Lg", QStringLiteral("100"));
        type("Text_Wb", QStringLiteral("0750000"));
        QTest::mouseClick(button("Command1"), Qt::LeftButton);
        QCOMPARE(box("Text_Lg")->text(), QStringLiteral("5000"));
        QCOMPARE(box("Text_Up")->text(), QStringLiteral("10000"));
        QCOMPARE(box("Text_Wb")->text(), QStringLiteral("0750000"));
        QCOMPARE(keeper_->limits().log, 5000);
        QCOMPARE(keeper_->limits().upload, 10000);
        QCOMPARE(keeper_->limits().web, 750000);
        QVERIFY(!window_->isVisible());
        QVERIFY(messages_.isEmpty());

        window_->show();
        type("Text_Up", QStringLiteral("999"));
        type("Text_Wb", QStringLiteral("10000"));
        QTest::mouseClick(button("Command1"), Qt::LeftButton);
        QCOMPARE(box("Text_Up")->text(), QStringLiteral("1000"));
        QCOMPARE(keeper_->limits().upload, 1000);
        QCOMPARE(keeper_->limits().web, 10000);
    }

    // An empty box counts as 0 and gets the minimum; digits beyond the 32-bit range keep the
    // previous limit, and the administrator is told.
    void emptyAndOutOfRangeBoxes()
    {
        type("Text_Lg", QStringLiteral("2147483647"));
        box("Text_Up")->clear();
        type("Text_Wb", QStringLiteral("2147483648"));
        QTest::mouseClick(button("Command1"), Qt::LeftButton);
        QCOMPARE(keeper_->limits().log, 2147483647);
        QCOMPARE(box("Text_Up")->text(), QStringLiteral("1000"));
        QCOMPARE(keeper_->limits().upload, 1000);
        QCOMPARE(box("Text_Wb")->text(), QStringLiteral("500000"));
        QCOMPARE(keeper_->limits().web, 500000);
        QCOMPARE(messages_.size(), 1);
        QVERIFY(messages_[0].text.contains(QStringLiteral("最近访问")));
        QVERIFY(!messages_[0].text.contains(QStringLiteral("浏览日志")));
        QCOMPARE(messages_[0].icon, ui::Icon::Exclamation);
        QCOMPARE(messages_[0].title, QGuiApplication::applicationDisplayName());

        window_->show();
        type("Text_Lg", QStringLiteral("99999999999999999999999"));
        QTest::mouseClick(button("Command1"), Qt::LeftButton);
        QCOMPARE(keeper_->limits().log, 2147483647);
        QCOMPARE(box("Text_Lg")->text(), QStringLiteral("2147483647"));
    }

    void hideKeepsLimits()
    {
        type("Text_Lg", QStringLiteral("6000"));
        QTest::mouseClick(button("Command_Hide"), Qt::LeftButton);
        QVERIFY(!window_->isVisible());
        QCOMPARE(keeper_->limits().log, 200000);
    }

    // The console finds the window by its title and hides and shows it.
    void registeredForTheConsole()
    {
        auto found = win::findWindow(kWindowTitle);
        QVERIFY(found);
        QVERIFY(found->visible);
        QVERIFY(win::setVisible(found->id, false));
        QVERIFY(!window_->isVisible());
        QVERIFY(!win::findWindow(kWindowTitle)->visible);
        QVERIFY(win::setVisible(found->id, true));
        QVERIFY(window_->isVisible());
    }

    void startedHiddenStaysHidden()
    {
        window_.reset();
        qputenv("LANTROVE_WINDOW", "hidden");
        window_ = std::make_unique<KeeperWindow>(*keeper_);
        window_->showAndRegister();
        QVERIFY(!window_->isVisible());
        const auto found = win::findWindow(kWindowTitle);
        QVERIFY(found);
        QVERIFY(!found->visible);
    }

    // The window counts the watchdog's starts; modules already running are not started again.
    void modulesLineCountsStarts()
    {
        keeper_->Timer2_Timer();
        QVERIFY2(label("Label_Modules").contains(QStringLiteral("监测模块重新启动 1 次")),
                 qPrintable(label("Label_Modules")));
        QVERIFY(label("Label_Modules").contains(QStringLiteral("阻断模块重新启动 1 次")));
        QVERIFY(test::waitFor([] { return win::findWindow(monitorModule().title).has_value(); },
                              15000));
        QVERIFY(test::waitFor([] { return win::findWindow(blockerModule().title).has_value(); },
                              15000));
        keeper_->Timer2_Timer();
        QVERIFY(label("Label_Modules").contains(QStringLiteral("监测模块重新启动 1 次")));
        QVERIFY(label("Label_Modules").contains(QStringLiteral("阻断模块重新启动 1 次")));
        proc::killProcess(QStringLiteral("qmlxsn"));
        proc::killProcess(QStringLiteral("qmlxblock"));
    }

    // A server that accepts the connection and never greets: the window is up and handles
    // events while both connections are being opened beside it, and says that it is
    // connecting; when the server hangs up, it says in Chinese that the server cannot be
    // reached, the driver's words following as the detail.
    void windowAnswersWhileConnecting()
    {
        QTcpServer silent;
        QVERIFY(silent.listen(QHostAddress::LocalHost));
        dsn::registerDataSources(QStringLiteral("127.0.0.1"));
        for (const QString& source : {dsn::kLogDsn, dsn::kConfigDsn})
            QVERIFY(reg::setValue(reg::kOdbcIni + u'\\' + source, QStringLiteral("Port"),
                                  QString::number(silent.serverPort())));
        window_.reset();
        keeper_ = std::make_unique<Keeper>(install_.appDir());
        window_ = std::make_unique<KeeperWindow>(*keeper_);
        window_->showAndRegister();
        keeper_->start();
        QVERIFY(window_->isVisible());
        QCOMPARE(label("Label_Database"), QStringLiteral("数据库：正在连接……"));

        QVERIFY(test::waitFor([&] { return silent.hasPendingConnections(); }, 15000));
        std::optional<DatabaseStatus::State> whenAnswered;
        QTimer::singleShot(0, [&] { whenAnswered = keeper_->databaseStatus().state; });
        QVERIFY(test::waitFor([&] { return whenAnswered.has_value(); }, 1000));
        QCOMPARE(*whenAnswered, DatabaseStatus::Connecting);
        QTest::mouseClick(button("Command_Hide"), Qt::LeftButton);
        QVERIFY(!window_->isVisible());
        QCOMPARE(keeper_->databaseStatus().state, DatabaseStatus::Connecting);
        window_->show();

        QList<QTcpSocket*> hungUp;
        QVERIFY(test::waitFor(
            [&] {
                while (QTcpSocket* socket = silent.nextPendingConnection()) {
                    socket->close();
                    hungUp << socket;
                }
                return keeper_->databaseStatus().state == DatabaseStatus::Failed;
            },
            30000));
        QCOMPARE(hungUp.size(), 2);
        // The reasons in Chinese; the driver's words only in the tool tip.
        const QString text = label("Label_Database");
        QCOMPARE(text, QStringLiteral("数据库：日志数据库连接失败，") + db::kServerUnreachable +
                           QStringLiteral("\n配置数据库连接失败，") + db::kServerUnreachable);
        const QString detail =
            window_->findChild<QLabel*>(QStringLiteral("Label_Database"))->toolTip();
        QCOMPARE(detail.count(u'\n'), 1);
        QVERIFY2(detail.startsWith(u'['), qPrintable(detail));
    }

    void commandLines_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("mode");
        QTest::addColumn<QList<int>>("limits");
        QTest::addColumn<int>("notes");
        const QList<int> initial{200000, 10000, 500000};
        QTest::newRow("window") << QStringList{} << int(CommandLine::Window) << initial << 0;
        QTest::newRow("help") << QStringList{"--prune-now", "--help"} << int(CommandLine::Help)
                              << initial << 0;
        QTest::newRow("prune") << QStringList{"--prune-now"} << int(CommandLine::PruneNow)
                               << initial << 0;
        QTest::newRow("limits") << QStringList{"--log",  "1000000",  "--prune-now", "--web",
                                               "600000", "--upload", "20000"}
                                << int(CommandLine::PruneNow) << QList<int>{1000000, 20000, 600000}
                                << 0;
        QTest::newRow("raised") << QStringList{"--prune-now", "--log", "100", "--upload", "0"}
                                << int(CommandLine::PruneNow) << QList<int>{5000, 1000, 500000}
                                << 2;
        QTest::newRow("limits alone")
            << QStringList{"--log", "5000"} << int(CommandLine::Invalid) << initial << 0;
        QTest::newRow("missing value")
            << QStringList{"--prune-now", "--web"} << int(CommandLine::Invalid) << initial << 0;
        QTest::newRow("too large") << QStringList{"--prune-now", "--log", "3000000000"}
                                   << int(CommandLine::Invalid) << initial << 0;
        QTest::newRow("not digits") << QStringList{"--prune-now", "--log", "-5"}
                                    << int(CommandLine::Invalid) << initial << 0;
        QTest::newRow("unknown") << QStringList{"--now"} << int(CommandLine::Invalid) << initial
                                 << 0;
    }

    void commandLines()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, mode);
        QFETCH(QList<int>, limits);
        QFETCH(int, notes);
        const CommandLine parsed = parseCommandLine(arguments);
        QCOMPARE(int(parsed.mode), mode);
        QCOMPARE(parsed.error.isEmpty(), mode != CommandLine::Invalid);
        if (mode == CommandLine::Invalid)
            return;
        QCOMPARE((QList<int>{parsed.limits.log, parsed.limits.upload, parsed.limits.web}), limits);
        QCOMPARE(parsed.notes.size(), notes);
    }
};

QTEST_MAIN(KeeperWindowTest)
#include "test_window.moc"
