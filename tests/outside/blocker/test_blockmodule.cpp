// The blocking module as the console and the keeper meet it, where it cannot set its rules
// (here: an adapter the machine does not have): it keeps its window "Lantrove-阻断模块", says
// in Chinese that it blocks nothing and why, does not end (the keeper would start it again
// every ten seconds), and does not claim to enforce; a second copy ends at once and leaves the
// first alone; closing the window ends it.

#include "common/blockstate.h"
#include "common/names.h"
#include "common/processes.h"
#include "common/windowdirectory.h"
#include "tests/support/testsupport.h"

#include <QProcess>
#include <QTest>

using namespace lt;

class BlockModuleTest : public QObject
{
    Q_OBJECT
    test::TestInstallation install_;

    QString program() const { return install_.appDir() + QStringLiteral("/qmlxblock"); }

private slots:
    void cleanup() { proc::killProcess(QStringLiteral("qmlxblock")); }

    void withoutRulesItStaysAndSaysWhy()
    {
        QProcess module;
        module.start(program(), {"-i", "99"});
        QVERIFY(module.waitForStarted());
        std::optional<win::WindowInfo> window;
        QVERIFY(test::waitFor(
            [&] { return (window = win::findWindow(names::kBlockerTitle)).has_value(); }, 10000));
        QCOMPARE(window->pid, module.processId());
        QByteArray said;
        QVERIFY(test::waitFor(
            [&] {
                said += module.readAllStandardError();
                return said.contains("不阻断任何访问");
            },
            10000));
        QVERIFY2(QString::fromUtf8(said).contains(QStringLiteral("网卡编号 99 不存在")),
                 said.constData());
        QVERIFY(!blockstate::enforcing());

        // Still there a while later: nothing for a watchdog to restart.
        QTest::qWait(1500);
        QCOMPARE(module.state(), QProcess::Running);

        // A second copy ends at once; the first keeps its window.
        QProcess second;
        second.start(program(), {"-i", "99"});
        QVERIFY(second.waitForFinished(10000));
        QCOMPARE(second.exitCode(), 0);
        QVERIFY(
            QString::fromUtf8(second.readAllStandardError()).contains(QStringLiteral("已在运行")));
        QCOMPARE(win::findWindow(names::kBlockerTitle)->pid, module.processId());

        // The window's own close ends the program.
        QVERIFY(win::close(window->id));
        QVERIFY(module.waitForFinished(10000));
        QCOMPARE(module.exitCode(), 0);
    }
};

QTEST_GUILESS_MAIN(BlockModuleTest)
#include "test_blockmodule.moc"
