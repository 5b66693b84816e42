// Processes: executable names as the system matches them, detached starts (hidden or normal),
// the instance lock across processes, and ending processes by executable name.

#include "common/installation.h"
#include "common/processes.h"
#include "common/windowdirectory.h"
#include "tests/support/testsupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>

#include <fcntl.h>
#include <unistd.h>

#include <csignal>

using namespace lt;

namespace
{

const QString kMonitor = QStringLiteral("Lantrove-监测模块");
const QString kBlocker = QStringLiteral("Lantrove-阻断模块");

bool processRuns(qint64 pid)
{
    return proc::processStartTime(pid) != 0;
}

// Field 6 of /proc/<pid>/stat: the session.
qint64 sessionOf(qint64 pid)
{
    const QByteArray stat = test::readFile(QStringLiteral("/proc/%1/stat").arg(pid));
    return stat.mid(stat.lastIndexOf(')') + 2).split(' ').value(3).toLongLong();
}

// The descriptors a process holds open.
QStringList openFilesOf(qint64 pid)
{
    QStringList targets;
    const QString dir = QStringLiteral("/proc/%1/fd").arg(pid);
    for (const QString& fd : QDir(dir).entryList(QDir::NoDotAndDotDot))
        targets << fd + QLatin1Char('>') + QFile::symLinkTarget(dir + QLatin1Char('/') + fd);
    return targets;
}

// Children of this process that have ended but were never reaped.
int zombieChildren()
{
    int zombies = 0;
    const qint64 self = QCoreApplication::applicationPid();
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        const QByteArray stat = test::readFile(QStringLiteral("/proc/") + entry + "/stat");
        const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1 && fields[0] == "Z" && fields[1].toLongLong() == self)
            ++zombies;
    }
    return zombies;
}

std::optional<win::WindowInfo> waitForWindow(const QString& title)
{
    std::optional<win::WindowInfo> found;
    test::waitFor([&] { return (found = win::findWindow(title)).has_value(); }, 10000);
    return found;
}

} // namespace

class Processes : public QObject
{
    Q_OBJECT
    test::TestInstallation install_;

    QString app(const QString& name) const { return install_.appDir() + u'/' + name; }

    // Starts the lock helper as a child of this process and waits for its verdict.
    QString runLockHolder(QProcess& holder, const QString& program, const QStringList& extra = {})
    {
        holder.start(QStringLiteral(LT_LOCKHOLDER), QStringList{program} + extra);
        if (!holder.waitForStarted() || !test::waitFor([&] { return holder.canReadLine(); }, 10000))
            return {};
        return QString::fromUtf8(holder.readLine()).trimmed();
    }

private slots:
    void exeNamesMatch_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QString>("wanted");
        QTest::addColumn<bool>("matches");
        QTest::newRow("ending on the wanted side") << "qmlxsn"
                                                   << "qmlxsn.exe" << true;
        QTest::newRow("ending in capitals") << "qmlxblock"
                                            << "qmlxblock.EXE" << true;
        QTest::newRow("ending on the file side") << "logkeeper.exe"
                                                 << "logkeeper" << true;
        QTest::newRow("case") << "TQProgress"
                              << "tqprogress.exe" << true;
        QTest::newRow("with a directory") << "/opt/x/app/qmlxsn"
                                          << "qmlxsn.exe" << true;
        QTest::newRow("windows directory") << "C:\\app\\QMLXSN.EXE"
                                           << "qmlxsn" << true;
        QTest::newRow("longer name") << "qmlxsn2"
                                     << "qmlxsn.exe" << false;
        QTest::newRow("shorter name") << "qmlx"
                                      << "qmlxsn.exe" << false;
        QTest::newRow("other ending") << "qmlxsn.bat"
                                      << "qmlxsn.exe" << false;
        QTest::newRow("ending twice") << "qmlxsn.exe.exe"
                                      << "qmlxsn" << false;
        QTest::newRow("empty name") << ""
                                    << ".exe" << false;
    }

    void exeNamesMatch()
    {
        QFETCH(QString, fileName);
        QFETCH(QString, wanted);
        QFETCH(bool, matches);
        QCOMPARE(proc::exeNameMatches(fileName, wanted), matches);
    }

    void resolvesExecutablesAsTheSystemNamesThem()
    {
        QCOMPARE(proc::resolveExecutable(app(QStringLiteral("qmlxblock.EXE"))),
                 app(QStringLiteral("qmlxblock")));
        QCOMPARE(proc::resolveExecutable(app(QStringLiteral("tqprogress.exe"))),
                 app(QStringLiteral("TQProgress")));
        QString windowsStyle = app(QStringLiteral("qmlxsn.EXE"));
        windowsStyle[windowsStyle.lastIndexOf(u'/')] = u'\\';
        QCOMPARE(proc::resolveExecutable(windowsStyle), app(QStringLiteral("qmlxsn")));
        QCOMPARE(proc::resolveExecutable(app(QStringLiteral("localport.TXT"))),
                 app(QStringLiteral("LocalPort.txt")));
        QVERIFY(proc::resolveExecutable(app(QStringLiteral("qmlxsnx.exe"))).isEmpty());
        QVERIFY(proc::resolveExecutable(app(QStringLiteral("missing/qmlxsn.exe"))).isEmpty());
    }

    void observersSeeTheExactCommandLine()
    {
        QList<proc::StartEvent> seen;
        const int id = proc::addStartObserver([&](const proc::StartEvent& e) { seen << e; });
        const QString blocker = install_.appDir() + QStringLiteral("/qmlxblock.EXE");
        QVERIFY(proc::startProgram(blocker, {QStringLiteral("-i"), QStringLiteral("3")},
                                   proc::Show::Hidden));
        QVERIFY(!proc::startProgram(app(QStringLiteral("nosuch.exe")), {}, proc::Show::Normal));
        proc::removeStartObserver(id);
        QVERIFY(proc::startProgram(app(QStringLiteral("qmlxsn.EXE")), {}, proc::Show::Hidden));

        QCOMPARE(seen.size(), 2);
        QCOMPARE(seen[0].commandLine, blocker + QStringLiteral(" -i 3"));
        QCOMPARE(seen[0].show, proc::Show::Hidden);
        QVERIFY(seen[0].started);
        QCOMPARE(seen[1].commandLine, app(QStringLiteral("nosuch.exe")));
        QVERIFY(!seen[1].started);
        QVERIFY(waitForWindow(kBlocker));
        QVERIFY(waitForWindow(kMonitor));
        proc::killProcess(QStringLiteral("qmlxblock"));
        proc::killProcess(QStringLiteral("qmlxsn"));
    }

    // The hidden request reaches only the program it was meant for, not its children or the
    // programs this one starts normally.
    void hiddenStartIsNotInherited()
    {
        qputenv("LANTROVE_WINDOW", "hidden");
        QVERIFY(proc::startProgram(app(QStringLiteral("TQProgress.exe")), {QStringLiteral("提取")},
                                   proc::Show::Normal));
        qunsetenv("LANTROVE_WINDOW");
        QVERIFY(proc::startProgram(app(QStringLiteral("qmlxcontent.exe")), {}, proc::Show::Hidden));
        const auto notice = waitForWindow(QStringLiteral("Lantrove系统提示"));
        const auto analyser = waitForWindow(QStringLiteral("Lantrove之内容分析器"));
        QVERIFY(notice && analyser);
        QVERIFY(notice->visible);
        QVERIFY(!analyser->visible);
        proc::killProcess(QStringLiteral("TQProgress.exe"));
        proc::killProcess(QStringLiteral("qmlxcontent.exe"));
    }

    // A started program runs in a session of its own (a signal to the starter's terminal or
    // process group does not reach it), holds none of the starter's descriptors but its
    // standard files on /dev/null, and leaves no zombie behind when it ends.
    void startedProgramsLeaveNoZombies()
    {
        // A descriptor without close-on-exec, as a library might leave one.
        const int held = ::open(QFile::encodeName(app(QStringLiteral("held.txt"))).constData(),
                                O_WRONLY | O_CREAT, 0600);
        QVERIFY(held >= 0);
        QVERIFY(proc::startProgram(app(QStringLiteral("qmlxsn.exe")), {}, proc::Show::Hidden));
        const auto monitor = waitForWindow(kMonitor);
        QVERIFY(monitor);
        QCOMPARE(sessionOf(monitor->pid), monitor->pid);
        QVERIFY(sessionOf(monitor->pid) != sessionOf(QCoreApplication::applicationPid()));
        const QStringList files = openFilesOf(monitor->pid);
        for (const char* standard : {"0>/dev/null", "1>/dev/null", "2>/dev/null"})
            QVERIFY2(files.contains(QString::fromLatin1(standard)), qPrintable(files.join(u' ')));
        QVERIFY2(!files.join(u' ').contains(QStringLiteral("held.txt")),
                 qPrintable(files.join(u' ')));
        ::close(held);
        QVERIFY(win::close(monitor->id));
        QVERIFY(test::waitFor([&] { return !processRuns(monitor->pid); }, 10000));
        QVERIFY(test::waitFor([] { return zombieChildren() == 0; }, 2000));
    }

    void instanceLockIsHeldAcrossProcesses()
    {
        QProcess holder;
        QCOMPARE(runLockHolder(holder, QStringLiteral("logkeeper")), QStringLiteral("acquired"));
        {
            proc::InstanceLock second(QStringLiteral("logkeeper.EXE"));
            QVERIFY(!second.acquired());
            proc::InstanceLock other(QStringLiteral("overseer"));
            QVERIFY(other.acquired());
            QProcess third;
            QCOMPARE(runLockHolder(third, QStringLiteral("overseer")), QStringLiteral("busy"));
            QVERIFY(test::waitFor([&] { return third.state() == QProcess::NotRunning; }));
            QCOMPARE(third.exitCode(), 3);
        }
        holder.kill();
        QVERIFY(holder.waitForFinished());
        proc::InstanceLock after(QStringLiteral("logkeeper"));
        QVERIFY(after.acquired());
    }

    // A process that ignores SIGTERM still ends, and the lock it held is free again.
    void killProcessEndsAStubbornHolder()
    {
        const QString copy = app(QStringLiteral("lockholder"));
        QFile::remove(copy);
        QVERIFY(QFile::copy(QStringLiteral(LT_LOCKHOLDER), copy));
        QProcess holder;
        holder.setProgram(copy);
        holder.setArguments({QStringLiteral("provisioner"), QStringLiteral("--stubborn")});
        holder.start();
        QVERIFY(holder.waitForStarted());
        QVERIFY(test::waitFor([&] { return holder.canReadLine(); }, 10000));
        QCOMPARE(holder.readLine().trimmed(), QByteArray("acquired"));

        QCOMPARE(proc::killProcess(QStringLiteral("LockHolder.exe")), 1);
        QVERIFY(holder.waitForFinished());
        QCOMPARE(holder.exitStatus(), QProcess::CrashExit);
        QVERIFY(proc::InstanceLock(QStringLiteral("provisioner")).acquired());
    }

    // Only the named program of this installation ends: not another program, and not the same
    // program run from elsewhere (another installation).
    void killProcessEndsOnlyTheNamedProgramOfThisInstallation()
    {
        QVERIFY(proc::startProgram(app(QStringLiteral("qmlxsn.EXE")), {}, proc::Show::Hidden));
        QVERIFY(proc::startProgram(app(QStringLiteral("qmlxblock.EXE")), {}, proc::Show::Hidden));
        const auto monitor = waitForWindow(kMonitor);
        const auto blocker = waitForWindow(kBlocker);
        QVERIFY(monitor && blocker);
        qint64 elsewhere = 0;
        QProcess outside;
        outside.setProgram(test::buildDir() + QStringLiteral("/bin/qmlxsn"));
        outside.setArguments({QStringLiteral("-i"), QStringLiteral("2")});
        outside.setStandardOutputFile(QProcess::nullDevice());
        outside.setStandardErrorFile(QProcess::nullDevice());
        QVERIFY(outside.startDetached(&elsewhere));
        QVERIFY(test::waitFor([&] { return win::windows().size() >= 3; }, 10000));

        QCOMPARE(proc::killProcess(QStringLiteral("qmlxsn.exe")), 1);
        QVERIFY(!processRuns(monitor->pid));
        QVERIFY(processRuns(blocker->pid));
        QVERIFY(processRuns(elsewhere));
        QVERIFY(processRuns(QCoreApplication::applicationPid()));
        QCOMPARE(proc::killProcess(QStringLiteral("qmlxsn.exe")), 0);

        ::kill(pid_t(elsewhere), SIGKILL);
        QCOMPARE(proc::killProcess(QStringLiteral("qmlxblock")), 1);
        QVERIFY(!processRuns(blocker->pid));
    }
};

QTEST_GUILESS_MAIN(Processes)
#include "test_processes.moc"
