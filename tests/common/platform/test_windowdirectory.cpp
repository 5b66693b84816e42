// The window directory across processes: the stand-ins of the outside modules register their
// windows; this process finds them by title, renames, shows, hides and closes them. Runs with a
// QCoreApplication only.

#include "common/installation.h"
#include "common/processes.h"
#include "common/windowdirectory.h"
#include "tests/support/testsupport.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTest>

#include <csignal>

using namespace lt;

namespace
{

const QString kMonitor = QStringLiteral("Lantrove-监测模块");
const QString kBlocker = QStringLiteral("Lantrove-阻断模块");

QString windowsDir()
{
    return Installation::runDir() + QStringLiteral("/windows");
}

bool processRuns(qint64 pid)
{
    return proc::processStartTime(pid) != 0;
}

} // namespace

class WindowDirectory : public QObject
{
    Q_OBJECT
    test::TestInstallation install_;

    // Starts a stand-in hidden and waits for its window.
    win::WindowInfo startHidden(const QString& program, const QString& title)
    {
        const QString path = install_.appDir() + u'/' + program;
        if (!proc::startProgram(path, {QStringLiteral("-i"), QStringLiteral("1")},
                                proc::Show::Hidden))
            qFatal("cannot start %s", qPrintable(path));
        std::optional<win::WindowInfo> found;
        test::waitFor([&] { return (found = win::findWindow(title)).has_value(); }, 10000);
        if (!found)
            qFatal("no window %s", qPrintable(title));
        return *found;
    }

    void endProcess(qint64 pid)
    {
        ::kill(pid_t(pid), SIGKILL);
        test::waitFor([&] { return !processRuns(pid); });
    }

private slots:
    void findsOnlyTheExactTitleOfAnotherProcess()
    {
        const win::WindowInfo w = startHidden(QStringLiteral("qmlxblock"), kBlocker);
        QVERIFY(w.pid != QCoreApplication::applicationPid());
        QVERIFY(!w.visible);
        QVERIFY(!win::findWindow(QStringLiteral("Lantrove-阻断")));
        QVERIFY(!win::findWindow(kBlocker + u' '));
        QVERIFY(!win::findWindow(QStringLiteral("lantrove-阻断模块")));
        bool listed = false;
        for (const win::WindowInfo& info : win::windows())
            listed = listed || (info.id == w.id && info.title == kBlocker);
        QVERIFY(listed);
        endProcess(w.pid);
    }

    void renamesShowsAndHidesAnotherProcessWindow()
    {
        const win::WindowInfo w = startHidden(QStringLiteral("qmlxblock"), kBlocker);
        QVERIFY(win::setTitle(w.id, QStringLiteral("阻断模块（改名）")));
        QVERIFY(!win::findWindow(kBlocker));
        const auto renamed = win::findWindow(QStringLiteral("阻断模块（改名）"));
        QVERIFY(renamed);
        QCOMPARE(renamed->id, w.id);

        QVERIFY(win::setVisible(w.id, true));
        QVERIFY(win::findWindow(QStringLiteral("阻断模块（改名）"))->visible);
        QVERIFY(win::setVisible(w.id, false));
        QVERIFY(!win::findWindow(QStringLiteral("阻断模块（改名）"))->visible);
        endProcess(w.pid);
    }

    void closeEndsTheOwnerAndItsRegistration()
    {
        const win::WindowInfo w = startHidden(QStringLiteral("qmlxsn"), kMonitor);
        QVERIFY(win::close(w.id));
        QVERIFY(test::waitFor([&] { return !processRuns(w.pid); }, 10000));
        QVERIFY(!win::findWindow(kMonitor));
        QVERIFY(!QFile::exists(windowsDir() + u'/' + w.id + QStringLiteral(".json")));
        QVERIFY(!win::setTitle(w.id, QStringLiteral("无人")));
    }

    void registrationOfAKilledProcessIsIgnoredAndRemoved()
    {
        const win::WindowInfo w = startHidden(QStringLiteral("qmlxsn"), kMonitor);
        const QString file = windowsDir() + u'/' + w.id + QStringLiteral(".json");
        endProcess(w.pid);
        QVERIFY(QFile::exists(file)); // SIGKILL leaves it behind
        QVERIFY(!win::findWindow(kMonitor));
        QVERIFY(!QFile::exists(file));
        QVERIFY(!win::setVisible(w.id, true));
    }

    // A pid that a new process got after the owner died does not revive the registration.
    void registrationOfAReusedPidIsIgnored()
    {
        const win::WindowInfo w = startHidden(QStringLiteral("qmlxsn"), kMonitor);
        QFile original(windowsDir() + u'/' + w.id + QStringLiteral(".json"));
        QVERIFY(original.open(QIODevice::ReadOnly));
        QJsonObject record = QJsonDocument::fromJson(original.readAll()).object();
        QVERIFY(record.contains(QStringLiteral("pid")));
        endProcess(w.pid);
        QVERIFY(!win::findWindow(kMonitor));

        const QString id = QStringLiteral("reused-1");
        record.insert(QStringLiteral("id"), id);
        record.insert(QStringLiteral("pid"), QCoreApplication::applicationPid());
        const QString forged = windowsDir() + u'/' + id + QStringLiteral(".json");
        test::writeFile(forged, QJsonDocument(record).toJson());
        QVERIFY(!win::findWindow(kMonitor));
        QVERIFY(!QFile::exists(forged));
    }

    void ownerThatDoesNotAnswerGivesFalse()
    {
        const win::WindowInfo w = startHidden(QStringLiteral("qmlxblock"), kBlocker);
        ::kill(pid_t(w.pid), SIGSTOP);
        const bool answered = win::setTitle(w.id, QStringLiteral("不会生效"));
        ::kill(pid_t(w.pid), SIGCONT);
        QVERIFY(!answered);
        endProcess(w.pid);
    }

    void requestToOwnWindowIsCarriedOutDirectly()
    {
        win::Registration own(QStringLiteral("本进程的窗口"), false);
        QSignalSpy titles(&own, &win::Registration::titleRequested);
        connect(&own, &win::Registration::titleRequested, &own, &win::Registration::setTitle);
        QVERIFY(win::setTitle(own.id(), QStringLiteral("本进程的新标题")));
        QCOMPARE(titles.size(), 1);
        QCOMPARE(win::findWindow(QStringLiteral("本进程的新标题"))->id, own.id());

        // Nobody listens for visibility: the registration takes it itself.
        QVERIFY(win::setVisible(own.id(), true));
        QVERIFY(own.isVisible());
        QVERIFY(win::findWindow(QStringLiteral("本进程的新标题"))->visible);

        QSignalSpy closes(&own, &win::Registration::closeRequested);
        QVERIFY(win::close(own.id()));
        QCOMPARE(closes.size(), 1);
    }

    void registrationEndsWithItsObject()
    {
        QString id;
        {
            win::Registration temporary(QStringLiteral("临时窗口"), true);
            id = temporary.id();
            QVERIFY(win::findWindow(QStringLiteral("临时窗口")));
        }
        QVERIFY(!win::findWindow(QStringLiteral("临时窗口")));
        QVERIFY(!win::setTitle(id, QStringLiteral("已不在")));
    }
};

QTEST_GUILESS_MAIN(WindowDirectory)
#include "test_windowdirectory.moc"
