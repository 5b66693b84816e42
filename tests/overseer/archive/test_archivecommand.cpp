// The console's command line without a window, as cron runs it: --help, the exit codes (0 done,
// 1 failure, 2 wrong command line), the one line that says what was done, the same files as the
// export window writes, and what a file size limit, a killed export and a file that is no file
// do to it.

#include "common/logrows.h"
#include "overseer/archive/commandline.h"
#include "tests/support/logfill.h"
#include "tests/support/testsupport.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <sys/stat.h>

using namespace lt;
using namespace lt::overseer;
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
    QStringList hiddenFiles() const
    {
        return QDir(dir_.path()).entryList({".*"}, QDir::Files | QDir::Hidden | QDir::System);
    }
    void fillLog(int rows)
    {
        test::sql("DELETE FROM logtable; INSERT INTO logtable(" + logrows::kLogColumns +
                      ") SELECT concat('pc',MOD(seq,7)),"
                      "'10.0.0.9',concat('26-12-07 ',sec_to_time(MOD(seq,86400))),'组A',"
                      "concat('标题',seq),'http://e.example/','上网','放行','1',1 FROM seq_1_to_" +
                      QString::number(rows),
                  "dovrik");
    }

    // The console with the arguments; through a shell line (where "$@" are the arguments)
    // when one is given. A run that does not end within timeoutMs is killed (code -1).
    Run overseer(const QStringList& arguments, const QString& shell = {}, int timeoutMs = 120000)
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("DISPLAY"); // a cron job has no display
        env.remove("QT_QPA_PLATFORM");
        p.setProcessEnvironment(env);
        const QString program = install_.appDir() + "/overseer";
        if (shell.isEmpty())
            p.start(program, arguments);
        else
            p.start("sh", QStringList{"-c", shell + " \"$0\" \"$@\"", program} + arguments);
        if (!p.waitForFinished(timeoutMs)) {
            p.kill();
            p.waitForFinished();
            return {};
        }
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

    void helpWithoutADisplay()
    {
        for (const char* option : {"--help", "-h"}) {
            const Run r = overseer({option});
            QCOMPARE(r.code, 0);
            QVERIFY(r.err.isEmpty());
            QVERIFY(r.out.startsWith("用法"));
            for (const char* command :
                 {"--backup", "--restore-log", "--export-config", "--restore-config", "--report",
                  "--delete-logs", "--from", "--to", "--upload", "--help"})
                QVERIFY2(r.out.contains(command), command);
            QVERIFY(r.out.contains("退出码"));
        }
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
        test::fillRows(QList<logrows::LogRow>{{"pc1", "10.0.0.1", "26-12-07 08:00:00", "组A",
                                               "a, 'b' \\ c", "http://x/", "上网", "放行", 1, 1},
                                              {"pc2", "10.0.0.2", "26-12-07 09:00:00", "组A", "t",
                                               "http://y/", "上网", "放行", 2, 2}});
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

    void aFileSizeLimitIsAWriteError()
    {
        fillLog(5000);
        test::writeFile(path("limited.bak"), "the old backup");
        // 100 blocks of 1 KB (dash's ulimit -f): far less than 5000 records.
        const Run r = overseer({"--backup", path("limited.bak")}, "ulimit -f 100; exec");
        QCOMPARE(r.code, int(kExitFailed));
        QVERIFY2(r.err.contains("无法写入文件"), qPrintable(r.err));
        QCOMPARE(test::readFile(path("limited.bak")), QByteArray("the old backup"));
        QCOMPARE(hiddenFiles(), QStringList());
    }

    void aKilledExportLeavesNothingForLong()
    {
        fillLog(60000);
        const QString file = path("killed.bak");
        QProcess p;
        p.start(install_.appDir() + "/overseer", {"--backup", file});
        QVERIFY(test::waitFor([&] { return !hiddenFiles().isEmpty(); }, 60000));
        ::kill(pid_t(p.processId()), SIGKILL);
        p.waitForFinished();
        const QStringList left = hiddenFiles();
        QCOMPARE(left.size(), 1);
        QVERIFY(left[0].startsWith(".killed.bak.") && left[0].endsWith(".new"));
        // The next export of the same file removes it.
        const Run r = overseer({"--backup", file});
        QCOMPARE(r.code, int(kExitDone));
        QCOMPARE(hiddenFiles(), QStringList());
        QVERIFY(test::readFile(file).startsWith("HNQMLXDOVRIKXT\r\n 60000 \r\n"));
    }

    void onlyFilesAreRestored_data()
    {
        QTest::addColumn<QString>("option");
        QTest::addColumn<QString>("file");
        QTest::newRow("log from a device that never ends") << "--restore-log"
                                                           << "/dev/zero";
        QTest::newRow("configuration from a device that never ends") << "--restore-config"
                                                                     << "/dev/zero";
        QTest::newRow("log from a pipe nobody writes") << "--restore-log"
                                                       << "fifo";
        QTest::newRow("configuration from a folder") << "--restore-config"
                                                     << "folder";
    }

    void onlyFilesAreRestored()
    {
        QFETCH(QString, option);
        QFETCH(QString, file);
        if (file == "fifo") {
            file = path("fifo");
            QFile::remove(file);
            QCOMPARE(::mkfifo(QFile::encodeName(file).constData(), 0600), 0);
        } else if (file == "folder") {
            file = path("folder");
            QDir().mkpath(file);
        }
        const QString users = test::sql("SELECT * FROM usertable", "ipdata");
        const QString logs = test::sql("SELECT count(*) FROM logtable", "dovrik");
        const Run r = overseer({option, file}, {}, 30000);
        QCOMPARE(r.code, int(kExitFailed));
        QVERIFY2(r.err.contains("不是普通文件"), qPrintable(r.err));
        QCOMPARE(test::sql("SELECT * FROM usertable", "ipdata"), users);
        QCOMPARE(test::sql("SELECT count(*) FROM logtable", "dovrik"), logs);
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
