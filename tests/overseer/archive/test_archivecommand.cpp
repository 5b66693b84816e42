// The archive commands of the console without a window, as cron runs them: the exit codes (0
// done, 1 failure, 2 wrong command line), the one line that says what was done, and the same
// files as the export window writes.

#include "overseer/archive/commandline.h"
#include "tests/support/testsupport.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace lt;
using namespace lt::overseer::archive;

namespace
{

struct Run {
    int code = -1;
    QString out;
    QString err;
};

} // namespace

class ArchiveCommand : public QObject
{
    Q_OBJECT
    test::TestInstallation install_;
    QTemporaryDir dir_;

    QString path(const QString& name) const { return dir_.filePath(name); }

    Run overseer(const QStringList& arguments)
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("DISPLAY"); // a cron job has no display
        env.remove("QT_QPA_PLATFORM");
        p.setProcessEnvironment(env);
        p.start(install_.appDir() + "/overseer", arguments);
        if (!p.waitForFinished(120000))
            return {};
        return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
                QString::fromLocal8Bit(p.readAllStandardOutput()),
                QString::fromLocal8Bit(p.readAllStandardError())};
    }

private slots:
    void initTestCase()
    {
        QVERIFY(test::serverAvailable());
        install_.registerLocal();
        test::initialiseDatabases();
    }

    void wrongCommandLines_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("no file") << QStringList{"--backup"};
        QTest::newRow("two files") << QStringList{"--backup", "a", "b"};
        QTest::newRow("report of what") << QStringList{"--report", "web", "x.txt"};
        QTest::newRow("deletion without a range") << QStringList{"--delete-logs"};
        QTest::newRow("deletion with a bad time")
            << QStringList{"--delete-logs", "--from", "26-12-07", "--to", "26-12-08 00:00:00"};
        QTest::newRow("deletion with the start after the end") << QStringList{
            "--delete-logs", "--from", "26-12-08 00:00:00", "--to", "26-12-07 00:00:00"};
        QTest::newRow("unknown option of a deletion") << QStringList{
            "--delete-logs", "--from", "26-12-07 00:00:00", "--to", "26-12-08 00:00:00", "--all"};
    }

    void wrongCommandLines()
    {
        QFETCH(QStringList, arguments);
        const Run r = overseer(arguments);
        QCOMPARE(r.code, int(kExitUsage));
        QVERIFY(r.err.contains("用法"));
        QVERIFY(r.out.isEmpty());
    }

    void parsing()
    {
        QVERIFY(!isArchiveCommand({"overseer"}));
        QVERIFY(!isArchiveCommand({"overseer", "-platform", "offscreen"}));
        QVERIFY(isArchiveCommand({"overseer", "--backup", "x"}));
        const Command c = parseCommand({"overseer", "--delete-logs", "--upload", "--to",
                                        "26-12-08 00:00:00", "--from", "26-12-07 00:00:00"});
        QVERIFY(c.error.isEmpty());
        QCOMPARE(c.kind, Command::DeleteLogs);
        QVERIFY(c.uploadLog);
        QCOMPARE(c.from, u"26-12-07 00:00:00"_qs);
        // Two-digit years are those of 2000 to 2099: 2000 was a leap year.
        const Command leap = parseCommand({"overseer", "--delete-logs", "--from",
                                           "00-02-29 00:00:00", "--to", "99-12-31 23:59:59"});
        QVERIFY2(leap.error.isEmpty(), qPrintable(leap.error));
        QVERIFY(!parseCommand({"overseer", "--delete-logs", "--from", "01-02-29 00:00:00", "--to",
                               "01-03-01 00:00:00"})
                     .error.isEmpty());
    }

    void nightlyBackupAndRestore()
    {
        test::sql(
            "DELETE FROM logtable;"
            "INSERT INTO logtable VALUES('pc1','10.0.0.1','26-12-07 08:00:00','组A',"
            "'a, \\'b\\' \\\\ c','http://x/','上网','放行','1',1),"
            "('pc2','10.0.0.2','26-12-07 09:00:00','组A','t','http://y/','上网','放行','2',2)",
            "dovrik");
        const QString before = test::sql("SELECT * FROM logtable ORDER BY AcTime", "dovrik");
        Run r = overseer({"--backup", path("night.bak")});
        QCOMPARE(r.code, int(kExitDone));
        QCOMPARE(r.out.trimmed(), "日志备份文件导出完毕：写入 2 条记录到 " + path("night.bak"));
        QVERIFY(test::readFile(path("night.bak")).startsWith("HNQMLXDOVRIKXT\r\n 2 \r\n"));

        test::sql("DELETE FROM logtable", "dovrik");
        r = overseer({"--restore-log", path("night.bak")});
        QCOMPARE(r.code, int(kExitDone));
        QCOMPARE(r.out.trimmed(), u"日志数据恢复完毕：恢复 2 条记录，失败 0 条。"_qs);
        QCOMPARE(test::sql("SELECT * FROM logtable ORDER BY AcTime", "dovrik"), before);

        r = overseer({"--report", "browse", path("browse.txt")});
        QCOMPARE(r.code, int(kExitDone));
        QVERIFY(r.out.startsWith("浏览日志导出完毕：写入 2 条记录"));
        r = overseer({"--delete-logs", "--from", "26-12-07 08:30:00", "--to", "26-12-07 23:59:59"});
        QCOMPARE(r.code, int(kExitDone));
        QCOMPARE(r.out.trimmed(), u"日志删除完毕：删除 1 条记录"_qs);
    }

    void failuresEndWithOne()
    {
        // A file that is no backup, a folder that does not exist, a configuration file cut short.
        test::writeFile(path("junk.bak"), "\x7f"
                                          "ELF binary");
        Run r = overseer({"--restore-log", path("junk.bak")});
        QCOMPARE(r.code, int(kExitFailed));
        QCOMPARE(r.err.trimmed(), u"日志备份文件"_qs);
        r = overseer({"--backup", path("missing/folder/x.bak")});
        QCOMPARE(r.code, int(kExitFailed));
        QVERIFY(r.err.contains("无法写入文件"));
        QVERIFY(r.out.isEmpty());

        r = overseer({"--export-config", path("c.cfg")});
        QCOMPARE(r.code, int(kExitDone));
        QVERIFY(r.out.startsWith("配置数据导出完毕"));
        const QByteArray whole = test::readFile(path("c.cfg"));
        test::writeFile(path("cut.cfg"), whole.left(whole.size() - 10));
        const QString groups = test::sql("SELECT * FROM grouptable", "ipdata");
        r = overseer({"--restore-config", path("cut.cfg")});
        QCOMPARE(r.code, int(kExitFailed));
        QVERIFY(r.err.contains("数据库未改变"));
        QCOMPARE(test::sql("SELECT * FROM grouptable", "ipdata"), groups);
        r = overseer({"--restore-config", path("c.cfg")});
        QCOMPARE(r.code, int(kExitDone));
        QCOMPARE(test::sql("SELECT * FROM grouptable", "ipdata"), groups);
    }
};

QTEST_GUILESS_MAIN(ArchiveCommand)
#include "test_archivecommand.moc"
