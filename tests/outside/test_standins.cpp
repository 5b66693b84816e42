// The stand-ins honour the contract of the outside programs: their window titles, their command
// lines, a hidden start, closing on request, and the content analyser's "ExitMyProc".

#include "common/installation.h"
#include "common/netinfo.h"
#include "common/processes.h"
#include "common/windowdirectory.h"
#include "outside/feeder.h"
#include "outside/standin.h"
#include "tests/support/testsupport.h"

#include <QProcess>
#include <QTest>

using namespace lt;

namespace
{

bool processRuns(qint64 pid)
{
    return proc::processStartTime(pid) != 0;
}

std::optional<win::WindowInfo> waitForWindow(const QString& title)
{
    std::optional<win::WindowInfo> found;
    test::waitFor([&] { return (found = win::findWindow(title)).has_value(); }, 10000);
    return found;
}

} // namespace

class StandIns : public QObject
{
    Q_OBJECT
    test::TestInstallation install_;

    QString app(const QString& name) const { return install_.appDir() + u'/' + name; }

private slots:
    void cleanup()
    {
        for (const char* name : {"qmlxsn", "qmlxblock", "qmlxcontent", "TQProgress"})
            proc::killProcess(QString::fromLatin1(name));
    }

    void windowsAndHiddenStart_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("title");
        QTest::newRow("monitor") << "qmlxsn.EXE" << QStringList{"-i", "1"} << "Lantrove-监测模块";
        QTest::newRow("blocker") << "qmlxblock.EXE" << QStringList{"-i", "2"}
                                 << "Lantrove-阻断模块";
        QTest::newRow("analyser") << "qmlxcontent" << QStringList{} << "Lantrove之内容分析器";
        QTest::newRow("notice") << "TQProgress.exe" << QStringList{"更新"} << "Lantrove系统提示";
    }

    void windowsAndHiddenStart()
    {
        QFETCH(QString, program);
        QFETCH(QStringList, arguments);
        QFETCH(QString, title);
        QVERIFY(proc::startProgram(app(program), arguments, proc::Show::Hidden));
        const auto hidden = waitForWindow(title);
        QVERIFY(hidden);
        QVERIFY(!hidden->visible);
        QVERIFY(win::setVisible(hidden->id, true));
        QVERIFY(win::findWindow(title)->visible);
        QVERIFY(win::close(hidden->id));
        QVERIFY(test::waitFor([&] { return !processRuns(hidden->pid); }, 10000));

        QVERIFY(proc::startProgram(app(program), arguments, proc::Show::Normal));
        const auto shown = waitForWindow(title);
        QVERIFY(shown);
        QVERIFY(shown->visible);
    }

    // The console closes the notice by its title when its work is done, again and again.
    void progressNoticeClosesOnRequest()
    {
        for (const QString& word : {QStringLiteral("提取"), QStringLiteral("删除")}) {
            QVERIFY(proc::startProgram(app(QStringLiteral("TQProgress.exe")), {word},
                                       proc::Show::Normal));
            const auto notice = waitForWindow(QStringLiteral("Lantrove系统提示"));
            QVERIFY(notice);
            QVERIFY(win::close(notice->id));
            QVERIFY(test::waitFor([&] { return !processRuns(notice->pid); }, 10000));
            QVERIFY(!win::findWindow(QStringLiteral("Lantrove系统提示")));
        }
    }

    void analyserEndsOnExitMyProcOnly()
    {
        QVERIFY(proc::startProgram(app(QStringLiteral("qmlxcontent")), {}, proc::Show::Hidden));
        const auto analyser = waitForWindow(QStringLiteral("Lantrove之内容分析器"));
        QVERIFY(analyser);
        QVERIFY(win::setTitle(analyser->id, QStringLiteral("Exit")));
        QVERIFY(win::setTitle(analyser->id, QStringLiteral("Lantrove之内容分析器")));
        QVERIFY(processRuns(analyser->pid));
        QVERIFY(win::setTitle(analyser->id, QStringLiteral("ExitMyProc")));
        QVERIFY(test::waitFor([&] { return !processRuns(analyser->pid); }, 10000));
        QVERIFY(!win::findWindow(QStringLiteral("ExitMyProc")));
    }

    // The monitor and the blocking module are real modules now (their help names what they
    // do); the others are stand-ins and say so.
    void helpSaysItIsAStandIn_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<bool>("standIn");
        for (const char* name : {"qmlxsn", "qmlxblock", "qmlxcontent", "TQProgress"})
            QTest::newRow(name) << QString::fromLatin1(name)
                                << (QLatin1String(name) != "qmlxsn" &&
                                    QLatin1String(name) != "qmlxblock");
    }

    void helpSaysItIsAStandIn()
    {
        QFETCH(QString, program);
        QFETCH(bool, standIn);
        QProcess run;
        run.start(app(program), {QStringLiteral("--help")});
        QVERIFY(run.waitForFinished(10000));
        QCOMPARE(run.exitCode(), 0);
        const QString help = QString::fromUtf8(run.readAllStandardOutput());
        if (standIn)
            QVERIFY2(help.contains(QStringLiteral("替身程序")) && help.contains("stand-in"),
                     qPrintable(help));
        else if (program == QLatin1String("qmlxsn"))
            QVERIFY2(help.contains(QStringLiteral("监测模块")) &&
                         help.contains(QStringLiteral("-r 文件.pcap")) &&
                         !help.contains(QStringLiteral("替身程序")),
                     qPrintable(help));
        else
            QVERIFY2(help.contains(QStringLiteral("阻断模块")) &&
                         help.contains(QStringLiteral("CAP_NET_ADMIN")) &&
                         !help.contains(QStringLiteral("替身程序")),
                     qPrintable(help));
        QVERIFY(win::windows().isEmpty()); // help opens no window
    }

    // "-i N" names the N-th adapter of the packet listing, as the adapter dialog numbers them.
    void monitorNamesTheNthAdapter()
    {
        const QList<net::Adapter> adapters = net::adapters();
        for (int n = 1; n <= adapters.size(); ++n) {
            const QString status = outside::adapterStatus(n);
            QVERIFY2(status.contains(adapters[n - 1].name), qPrintable(status));
        }
        QVERIFY(
            outside::adapterStatus(int(adapters.size()) + 1).contains(QStringLiteral("不存在")));
    }

    void feedRateFromCommandLineOrIni()
    {
        const QString ini = app(QStringLiteral("qmlxsn.ini"));
        QFile::remove(ini);
        QCOMPARE(outside::configuredFeedRate(std::nullopt), 0);
        test::writeFile(ini, "[monitor]\r\nFeedRate=30\r\n");
        QCOMPARE(outside::configuredFeedRate(std::nullopt), 30);
        QCOMPARE(outside::configuredFeedRate(5), 5);
        QCOMPARE(outside::configuredFeedRate(0), 0);
        QFile::remove(ini);
    }
};

QTEST_GUILESS_MAIN(StandIns)
#include "test_standins.moc"
