// The module watchdog against the stand-ins: only the missing module is started, hidden, with
// the adapter number of LocalPort.txt; a missing or empty file skips the tick; a module that
// ends at once is started on every tick without leaving processes or handles behind; and the
// real keeper program brings a killed monitor back.

#include "common/processes.h"
#include "common/sharedfiles.h"
#include "common/windowdirectory.h"
#include "logkeeper/commandline.h"
#include "logkeeper/watchdog.h"
#include "tests/support/testsupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QTest>

#include <csignal>

using namespace lt;
using namespace lt::keeper;

namespace
{

std::optional<win::WindowInfo> waitForWindow(const QString& title, qint64 otherThan = 0)
{
    std::optional<win::WindowInfo> found;
    test::waitFor(
        [&] {
            found = win::findWindow(title);
            return found && found->pid != otherThan;
        },
        30000);
    return found && found->pid != otherThan ? found : std::nullopt;
}

QStringList commandLineOf(qint64 pid)
{
    const QByteArray raw = test::readFile(QStringLiteral("/proc/%1/cmdline").arg(pid));
    QStringList words;
    for (const QByteArray& word : raw.split('\0'))
        if (!word.isEmpty())
            words << QString::fromLocal8Bit(word);
    return words;
}

int openFiles()
{
    return int(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::NoDotAndDotDot).size());
}

// Processes still running from the given program file, and ended children never reaped.
int processesOf(const QString& program)
{
    int count = 0;
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool numeric = false;
        const qint64 pid = entry.toLongLong(&numeric);
        if (numeric && commandLineOf(pid).contains(program))
            ++count;
    }
    return count;
}

int zombieChildren()
{
    int zombies = 0;
    const QByteArray self = QByteArray::number(QCoreApplication::applicationPid());
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        const QByteArray stat = test::readFile(QStringLiteral("/proc/") + entry + "/stat");
        const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1 && fields[0] == "Z" && fields[1] == self)
            ++zombies;
    }
    return zombies;
}

struct StartRecorder {
    QList<proc::StartEvent> events;
    int id;
    StartRecorder()
    {
        id = proc::addStartObserver([this](const proc::StartEvent& e) { events << e; });
    }
    ~StartRecorder() { proc::removeStartObserver(id); }
};

} // namespace

class WatchdogTest : public QObject
{
    Q_OBJECT
    test::TestInstallation install_;

    QString app(const QString& name) const { return install_.appDir() + u'/' + name; }

private slots:
    void init() { test::writeFile(app("LocalPort.txt"), "2\r\n"); }
    void cleanup()
    {
        for (const char* name : {"qmlxsn", "qmlxblock", "logkeeper"})
            proc::killProcess(QString::fromLatin1(name));
    }

    void onlyTheMissingModuleIsStarted()
    {
        QVERIFY(proc::startProgram(app("qmlxblock"), {"-i", "2"}, proc::Show::Hidden));
        QVERIFY(waitForWindow(blockerModule().title));
        Watchdog watchdog(install_.appDir());
        StartRecorder recorder;
        const Watchdog::Tick tick = watchdog.tick();
        QCOMPARE(tick.adapter, QStringLiteral("2"));
        QCOMPARE(tick.started, QStringList{"qmlxsn.EXE"});
        QCOMPARE(recorder.events.size(), 1);
        QCOMPARE(recorder.events[0].commandLine, app("qmlxsn.EXE -i 2"));
        QCOMPARE(recorder.events[0].show, proc::Show::Hidden);
        QVERIFY(recorder.events[0].started);

        const auto monitor = waitForWindow(monitorModule().title);
        QVERIFY(monitor);
        QVERIFY(!monitor->visible);
        QCOMPARE(commandLineOf(monitor->pid).mid(1), (QStringList{"-i", "2"}));
        watchdog.tick();
        QCOMPARE(recorder.events.size(), 1);
        QCOMPARE(watchdog.starts(monitorModule()), 1);
        QCOMPARE(watchdog.starts(blockerModule()), 0);
    }

    // A module that a system service runs is left to it, even while its window is gone (the
    // moment between a crash and the service's restart); once the service is stopped on
    // purpose (its file removed) the watchdog supervises it again.
    void moduleRunByAServiceIsLeftToIt()
    {
        const QString marker = proc::serviceMarkerPath(monitorModule().exeName);
        QCOMPARE(marker, install_.root() + QStringLiteral("/run/qmlxsn.service"));
        QCOMPARE(proc::serviceMarkerPath(QStringLiteral("qmlxblock.EXE")),
                 install_.root() + QStringLiteral("/run/qmlxblock.service"));
        test::writeFile(marker, "");
        const auto removeMarker = qScopeGuard([&] { QFile::remove(marker); });
        Watchdog watchdog(install_.appDir());
        StartRecorder recorder;
        Watchdog::Tick tick = watchdog.tick();
        QCOMPARE(tick.byService, QStringList{"qmlxsn.EXE"});
        QCOMPARE(tick.started, QStringList{"qmlxblock.EXE"});
        QCOMPARE(recorder.events.size(), 1);
        QVERIFY(waitForWindow(blockerModule().title));
        QVERIFY(!win::findWindow(monitorModule().title));
        QCOMPARE(watchdog.tick().started, QStringList());

        QFile::remove(marker);
        tick = watchdog.tick();
        QCOMPARE(tick.byService, QStringList());
        QCOMPARE(tick.started, QStringList{"qmlxsn.EXE"});
        QVERIFY(waitForWindow(monitorModule().title));
    }

    // The keeper without a window, as its system service runs it: its title in the window
    // directory (so the console starts no second keeper), the modules started, what it does on
    // standard output, a second copy refused, and SIGTERM ending it cleanly with its
    // registration gone.
    void headlessKeeper()
    {
        const QString marker = proc::serviceMarkerPath(QStringLiteral("qmlxblock.EXE"));
        test::writeFile(marker, "");
        const auto removeMarker = qScopeGuard([&] { QFile::remove(marker); });
        QProcess keeper;
        keeper.start(app("logkeeper"), {QStringLiteral("--headless")});
        QVERIFY(keeper.waitForStarted());
        const auto window = waitForWindow(QStringLiteral("Lantrove系统——数据库维护"));
        QVERIFY(window);
        QCOMPARE(window->pid, keeper.processId());
        QVERIFY(!window->visible);
        QVERIFY(waitForWindow(monitorModule().title));
        QVERIFY(!win::findWindow(blockerModule().title));

        QProcess second;
        second.start(app("logkeeper"), {QStringLiteral("--headless")});
        QVERIFY(second.waitForFinished(10000));
        QCOMPARE(second.exitCode(), 0);
        QVERIFY(
            QString::fromUtf8(second.readAllStandardOutput()).contains("已有一个数据库维护程序"));

        ::kill(pid_t(keeper.processId()), SIGTERM);
        QVERIFY(keeper.waitForFinished(15000));
        QCOMPARE(keeper.exitStatus(), QProcess::NormalExit);
        QCOMPARE(keeper.exitCode(), 0);
        const QString out = QString::fromUtf8(keeper.readAllStandardOutput());
        QVERIFY2(out.contains("无窗口运行"), qPrintable(out));
        QVERIFY2(out.contains("模块看护：已启动 qmlxsn.EXE -i 2"), qPrintable(out));
        QVERIFY2(out.contains("qmlxblock.EXE 由系统服务运行，不另行启动"), qPrintable(out));
        QVERIFY(!win::findWindow(QStringLiteral("Lantrove系统——数据库维护")));
        QCOMPARE(parseCommandLine({"--headless", "--log", "9000"}).mode, CommandLine::Invalid);
    }

    // The keeper asks for "localport.txt"; the installation's file is LocalPort.txt.
    void adapterFileNameAndContent()
    {
        QCOMPARE(resolveFileName(app("localport.txt")), app("LocalPort.txt"));
        QCOMPARE(resolveFileName(app("localport.txt.exe")), QString());
        QCOMPARE(proc::moduleArguments(QStringLiteral("  3 ")), (QStringList{"-i", "3"}));
        QCOMPARE(proc::moduleArguments(QStringLiteral("")), QStringList{"-i"});

        Watchdog watchdog(install_.appDir());
        StartRecorder recorder;
        test::writeFile(app("LocalPort.txt"), "");
        QVERIFY(watchdog.tick().skipped);
        QFile::remove(app("LocalPort.txt"));
        QVERIFY(watchdog.tick().skipped);
        QVERIFY(recorder.events.isEmpty());
        QVERIFY(!win::findWindow(monitorModule().title));

        test::writeFile(app("localport.TXT"), "3,1\r\n");
        QCOMPARE(watchdog.tick().adapter, QStringLiteral("3"));
        QCOMPARE(recorder.events.size(), 2);
        QCOMPARE(recorder.events[1].commandLine, app("qmlxblock.EXE -i 3"));
        QCOMPARE(recorder.events[1].arguments, (QStringList{"-i", "3"}));
        QFile::remove(app("localport.TXT"));
        proc::killProcess(QStringLiteral("qmlxsn"));
        proc::killProcess(QStringLiteral("qmlxblock"));

        // Blanks inside the field split it into words, as the console splits it.
        recorder.events.clear();
        test::writeFile(app("LocalPort.txt"), " 1  2\r\n");
        QCOMPARE(watchdog.tick().adapter, QStringLiteral("1 2"));
        QCOMPARE(recorder.events.size(), 2);
        for (const proc::StartEvent& e : recorder.events)
            QCOMPARE(e.arguments, (QStringList{"-i", "1", "2"}));
    }

    // A module that ends at once is started on every tick; nothing piles up.
    void moduleThatEndsAtOnce()
    {
        QVERIFY(proc::startProgram(app("qmlxsn"), {"-i", "2"}, proc::Show::Hidden));
        QVERIFY(waitForWindow(monitorModule().title));
        const QString blocker = app("qmlxblock");
        QFile::remove(blocker); // a hard link to the build's program: never write through it
        test::writeFile(blocker, "#!/bin/sh\nexit 0\n");
        QFile::setPermissions(blocker, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        const auto restore = qScopeGuard([&] {
            QFile::remove(blocker);
            QFile::copy(test::buildDir() + "/bin/qmlxblock", blocker);
        });

        Watchdog watchdog(install_.appDir());
        watchdog.tick();
        const int files = openFiles();
        for (int i = 0; i < 20; ++i)
            watchdog.tick();
        QCOMPARE(watchdog.starts(blockerModule()), 21);
        QCOMPARE(watchdog.starts(monitorModule()), 0);
        QCOMPARE(openFiles(), files);
        QVERIFY(test::waitFor([&] { return processesOf(blocker) == 0; }, 10000));
        // Each start's reaper collects its child a moment after it ended; none is left over.
        QVERIFY(test::waitFor([&] { return zombieChildren() == 0; }, 10000));
    }

    // The real program, started hidden as the console starts it: a killed monitor comes back
    // on a Timer2 tick of the real 10 s timer with the adapter number of LocalPort.txt.
    void keeperProgramRestartsAKilledMonitor()
    {
        QVERIFY(proc::startProgram(app("logkeeper"), {}, proc::Show::Hidden));
        const auto keeper = waitForWindow(QStringLiteral("Lantrove系统——数据库维护"));
        QVERIFY(keeper);
        QVERIFY(!keeper->visible);
        const auto first = waitForWindow(monitorModule().title);
        QVERIFY(first);
        QVERIFY(waitForWindow(blockerModule().title));

        // A second copy ends at once and registers nothing.
        QProcess second;
        second.start(app("logkeeper"), {});
        QVERIFY(second.waitForFinished(10000));
        QCOMPARE(second.exitCode(), 0);
        QCOMPARE(win::windows().size(), 3);

        // The console shows and hides the keeper; hidden, it keeps running.
        QVERIFY(win::setVisible(keeper->id, true));
        QVERIFY(win::findWindow(keeper->title)->visible);
        QVERIFY(win::setVisible(keeper->id, false));

        ::kill(pid_t(first->pid), SIGKILL);
        const auto again = waitForWindow(monitorModule().title, first->pid);
        QVERIFY(again);
        QCOMPARE(commandLineOf(again->pid).mid(1), (QStringList{"-i", "2"}));

        QVERIFY(win::close(keeper->id));
        QVERIFY(test::waitFor([&] { return proc::processStartTime(keeper->pid) == 0; }, 10000));
    }
};

QTEST_GUILESS_MAIN(WatchdogTest)
#include "test_watchdog.moc"
