// The jobs of the export window and the restores on the private server: backup and restore give
// the same rows back, a stopped or failed export leaves the old file, the clearing deletes only
// what was exported, the configuration restore replaces both tables or nothing.

#include "common/datasources.h"
#include "common/gbk.h"
#include "common/logrows.h"
#include "common/odbc.h"
#include "overseer/archive/archivejobs.h"
#include "tests/common/filesizelimit.h"
#include "tests/support/testsupport.h"

#include <QDir>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <optional>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace lt;
using namespace lt::overseer::archive;

namespace
{

QString q(const QString& v)
{
    return "'" + db::sqlEscape(v) + "'";
}

// A Chinese character whose second GBK byte is the backslash (0x5C).
QString backslashTrail()
{
    for (char16_t c = 0x4E00; c < 0x9FA5; ++c) {
        const QString s(QChar{c});
        const QByteArray b = gbk::encode(s);
        if (b.size() == 2 && b[1] == '\\')
            return s;
    }
    return {};
}

QStringList tableRows(const QString& table, const QString& order = "AcTime")
{
    return test::sql("SELECT * FROM " + table + " ORDER BY " + order + ",Name,Title", "dovrik")
        .split('\n', Qt::SkipEmptyParts);
}

QList<QStringList> nastyRows()
{
    const QString trail = backslashTrail();
    return {
        {"pc1", "10.0.0.1", "26-12-07 08:00:00", "组A", "逗号, 和引号 ' \" 在标题里",
         "http://x.example/a,b", "上网", "放行", "10", "1"},
        {"pc'2", "10.0.0.2", "26-12-07 08:00:00", "组\\B", "back\\slash " + trail + " 尾",
         "http://y.example/" + trail, "游戏", "阻断", "0", ""},
        {"电脑三", "10.0.0.3", "26-12-07 09:30:00", "组A", "表情 😀 在标题里", "http://z.example/",
         "其它", "积累", "99999", "7"},
    };
}

void insertLog(db::Connection& c, const QStringList& r)
{
    QStringList v;
    for (int i = 0; i < 9; ++i)
        v << q(r[i]);
    v << (r[9].isEmpty() ? QStringLiteral("NULL") : r[9]);
    QVERIFY2(
        c.execute("INSERT INTO logtable(" + logrows::kLogColumns + ") VALUES(" + v.join(',') + ")"),
        qPrintable(c.lastError().message));
}

} // namespace

class ArchiveJobs : public QObject
{
    Q_OBJECT
    test::TestInstallation install_;
    QTemporaryDir dir_;
    db::Connection log_;
    db::Connection config_;

    QString path(const QString& name) const { return dir_.filePath(name); }

    void fillLog(int rows)
    {
        test::sql("DELETE FROM logtable", "dovrik");
        QVERIFY(log_.beginTransaction());
        for (int i = 0; i < rows; ++i)
            insertLog(log_, {"pc" + QString::number(i % 7), "10.0.0.9",
                             QString("26-12-07 10:%1:%2")
                                 .arg(i / 60 % 60, 2, 10, QChar('0'))
                                 .arg(i % 60, 2, 10, QChar('0')),
                             "组A", "标题" + QString::number(i), "http://e.example/", "上网",
                             "放行", "1", "1"});
        QVERIFY(log_.commit());
    }

private slots:
    void initTestCase()
    {
        QVERIFY(test::serverAvailable());
        install_.registerLocal();
        test::initialiseDatabases();
        const dsn::ConnectionStrings s = dsn::chosenConnectionStrings();
        QVERIFY(openJobConnection(log_, s.log));
        QVERIFY(openJobConnection(config_, s.config));
        QVERIFY(!backslashTrail().isEmpty());
    }

    void backupAndRestoreGiveTheSameRows()
    {
        test::sql("DELETE FROM logtable", "dovrik");
        for (const QStringList& r : nastyRows())
            insertLog(log_, r);
        const QStringList before = tableRows("logtable");
        QCOMPARE(before.size(), 3);

        const QString file = path("round.bak");
        const ExportOutcome out = exportLog(log_, ExportKind::LogBackup, file);
        QCOMPARE(out.status, ExportOutcome::Done);
        QCOMPARE(out.rows, qint64(3));
        const QByteArray bytes = test::readFile(file);
        QVERIFY(bytes.startsWith("HNQMLXDOVRIKXT\r\n 3 \r\n"));
        QCOMPARE(bytes.count("\r\n"), 2 + 30);
        // Newest first: the record of 09:30 comes first.
        QVERIFY(bytes.mid(21).startsWith(gbk::encode(u"电脑三\r\n")));
        // The emoji is in the file as its four GB18030 bytes, not as "?".
        QVERIFY(bytes.contains(QByteArray("\x94\x39\xfc\x36", 4)));

        test::sql("DELETE FROM logtable", "dovrik");
        const RestoreOutcome restored = restoreLog(log_, file);
        QCOMPARE(restored.status, RestoreOutcome::Done);
        QCOMPARE(restored.restored, qint64(3));
        QCOMPARE(restored.failed, qint64(0));
        QCOMPARE(tableRows("logtable"), before);
        QVERIFY(logRestoredMessage(restored).startsWith("日志数据恢复完毕"));
        QVERIFY(logRestoredMessage(restored).contains("恢复 3 条记录，失败 0 条"));

        // Added to what the table holds, nothing deleted first; the statistics' sums of the
        // days restored to are forgotten, the others kept.
        test::sql("DELETE FROM summarydays;INSERT INTO summarydays VALUES "
                  "('26-12-07','26-12-07 23:59:59'),('26-12-06','26-12-06 23:59:59')",
                  "dovrik");
        QCOMPARE(restoreLog(log_, file).restored, qint64(3));
        QCOMPARE(tableRows("logtable").size(), 6);
        QCOMPARE(test::sql("SELECT Day FROM summarydays", "dovrik").trimmed(), QString("26-12-06"));
    }

    void charactersOutsideGbkSurviveExportAndRestore()
    {
        // Texts that are ASCII but for characters GBK lacks: an emoji in an English title,
        // Korean and Thai, a group named with an emoji.
        test::sql("DELETE FROM logtable", "dovrik");
        insertLog(log_, {"pc1", "10.0.0.1", "26-12-07 08:00:00", "team", "Live stream 🎉",
                         "http://k.example/", "c", "r", "1", "1"});
        insertLog(log_, {"한국PC", "10.0.0.2", "26-12-07 08:00:01", "emoji😀", "ข่าว 뉴스",
                         "http://t.example/ข่าว", "c", "r", "1", "1"});
        const QStringList before = tableRows("logtable");
        const QString backup = path("outside.bak");
        QCOMPARE(exportLog(log_, ExportKind::LogBackup, backup).status, ExportOutcome::Done);
        QVERIFY(!test::readFile(backup).contains('?'));
        test::sql("DELETE FROM logtable", "dovrik");
        QCOMPARE(restoreLog(log_, backup).restored, qint64(2));
        QCOMPARE(tableRows("logtable"), before);

        test::sql("DELETE FROM usertable; DELETE FROM grouptable;"
                  "INSERT INTO usertable VALUES('한국PC','10.0.0.2','emoji😀');"
                  "INSERT INTO grouptable VALUES('emoji😀','0','1'," +
                      QString("'%1',").arg(QString(24, '1')).repeated(11) + "'" + QString(24, '0') +
                      "')",
                  "ipdata");
        const QString users = test::sql("SELECT * FROM usertable", "ipdata");
        const QString groups = test::sql("SELECT * FROM grouptable", "ipdata");
        const QString config = path("outside.cfg");
        QVERIFY(exportConfig(config_, config).ok);
        test::sql("DELETE FROM usertable; DELETE FROM grouptable", "ipdata");
        QCOMPARE(restoreConfig(config_, config).status, RestoreOutcome::Done);
        QCOMPARE(test::sql("SELECT * FROM usertable", "ipdata"), users);
        QCOMPARE(test::sql("SELECT * FROM grouptable", "ipdata"), groups);
    }

    void awkwardValuesComeBackFromABackup()
    {
        // Each row as stored and as the restore gives it back: NULL text comes back empty (the
        // file holds it so), line breaks as blanks, blanks around a value trimmed; the rest as
        // it was, the longest texts the columns hold included.
        const QString e = u"😀"_qs;
        const QList<std::pair<QStringList, QStringList>> rows = {
            {{QString(), QString(), QString(), QString(), QString(), QString(), QString(),
              QString(), QString(), QString()},
             {"", "", "", "", "", "", "", "", "", QString()}},
            {{QString(16, u'终'), "255.255.255.255x", "26-12-07 23:59:59", e.repeated(16),
              e.repeated(100), QString(150, u'網'), QString(10, u'类'), "放行放行", "9999999999",
              "2147483647"},
             {}},
            {{"한국", "10.0.0.1", "26-12-07 10:00:00", "组\\", "a'b\"c\\d\r\ne 标题",
              "http://q/a='1'&b=\"2\"", "\t类\u3000", "'", "-1", "-5"},
             {"한국", "10.0.0.1", "26-12-07 10:00:00", "组\\", "a'b\"c\\d  e 标题",
              "http://q/a='1'&b=\"2\"", "类", "'", "-1", "-5"}},
        };
        const auto insertRows = [&](bool restored) {
            fillLog(2500); // many blocks and batches, rows sharing their second
            for (const auto& [stored, back] : rows) {
                QStringList v;
                for (const QString& value : restored && !back.isEmpty() ? back : stored)
                    v << (value.isNull() ? QStringLiteral("NULL") : q(value));
                QVERIFY2(log_.execute("INSERT INTO logtable(" + logrows::kLogColumns + ") VALUES(" +
                                      v.join(',') + ")"),
                         qPrintable(log_.lastError().message));
            }
        };
        insertRows(true);
        const QStringList expected = tableRows("logtable");
        insertRows(false);
        const QString file = path("awkward.bak");
        const ExportOutcome out = exportLog(log_, ExportKind::LogBackup, file);
        QCOMPARE(out.status, ExportOutcome::Done);
        QCOMPARE(out.rows, qint64(2503));
        QVERIFY(!test::readFile(file).contains('?'));
        test::sql("DELETE FROM logtable", "dovrik");
        const RestoreOutcome restored = restoreLog(log_, file);
        QCOMPARE(restored.status, RestoreOutcome::Done);
        QCOMPARE(restored.restored, qint64(2503));
        QCOMPARE(tableRows("logtable"), expected);
    }

    void restoreCountsTheRecordsThatCannotGoIn()
    {
        test::sql("DELETE FROM logtable", "dovrik");
        QStringList wide = nastyRows()[0];
        wide[7] = "太长的结果";
        QString text =
            kFileHeader + "\r\n 2 \r\n" + backupRecord(nastyRows()[2]) + backupRecord(wide);
        test::writeFile(path("wide.bak"), gbk::encodeGb18030(text));
        const RestoreOutcome out = restoreLog(log_, path("wide.bak"));
        QCOMPARE(out.status, RestoreOutcome::Done);
        QCOMPARE(out.restored, qint64(1));
        QCOMPARE(out.failed, qint64(1));
        QCOMPARE(tableRows("logtable").size(), 1);
    }

    void damagedBackupsChangeNothing_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("reason");
        const QByteArray record = gbk::encodeGb18030(backupRecord(nastyRows()[0]));
        QTest::newRow("truncated")
            << "HNQMLXDOVRIKXT\r\n 2 \r\n" + record + record.left(50) << "只有 1 条完整";
        QTest::newRow("wrong header") << "HNQMLXDOVRIKXX\r\n 1 \r\n" + record << "日志备份文件";
        QTest::newRow("invalid bytes in the last record")
            << "HNQMLXDOVRIKXT\r\n 2 \r\n" + record + "\xff\xfe\r\n" +
                   record.mid(record.indexOf('\n') + 1)
            << "无效的字符";
    }

    void damagedBackupsChangeNothing()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, reason);
        fillLog(3);
        const QStringList before = tableRows("logtable");
        test::writeFile(path("damaged.bak"), file);
        const RestoreOutcome out = restoreLog(log_, path("damaged.bak"));
        QCOMPARE(out.status, RestoreOutcome::Refused);
        QVERIFY2(out.message.contains(reason), qPrintable(out.message));
        QCOMPARE(tableRows("logtable"), before);
    }

    void aTwoGigabyteFileIsRefusedWithoutReadingItIntoMemory()
    {
        const QString big = path("big.bak");
        {
            QFile f(big);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("HNQMLXDOVRIKXT\r\n 1000 \r\n");
            QVERIFY(f.resize(qint64(2) << 30)); // the rest reads as zero bytes: one long line
        }
        fillLog(2);
        const RestoreOutcome out = restoreLog(log_, big);
        QCOMPARE(out.status, RestoreOutcome::Refused);
        QVERIFY2(out.message.contains("过长的行"), qPrintable(out.message));
        QCOMPARE(tableRows("logtable").size(), 2);
        // Two gigabytes without a line end at all: no header, no configuration.
        {
            QFile f(big);
            QVERIFY(f.open(QIODevice::ReadWrite));
            f.write(QByteArray(64, 'H'));
        }
        QCOMPARE(restoreLog(log_, big).message, u"日志备份文件"_qs);
        const QString users = test::sql("SELECT * FROM usertable", "ipdata");
        QCOMPARE(restoreConfig(config_, big).message, u"不是配置文件"_qs);
        QCOMPARE(test::sql("SELECT * FROM usertable", "ipdata"), users);
        QFile::remove(big);
    }

    void aStoppedExportLeavesTheOldFile()
    {
        fillLog(12000);
        const QString file = path("stopped.bak");
        test::writeFile(file, "the old backup");
        std::atomic<bool> stop{false};
        qint64 seen = 0;
        const ExportOutcome out = exportLog(
            log_, ExportKind::LogBackup, file,
            [&](qint64 done, qint64) {
                seen = done;
                if (done == 7000)
                    stop = true;
            },
            &stop);
        QCOMPARE(out.status, ExportOutcome::Stopped);
        QCOMPARE(seen, qint64(7000));
        QCOMPARE(test::readFile(file), QByteArray("the old backup"));
        QCOMPARE(QDir(dir_.path()).entryList(QDir::Hidden | QDir::Files).filter(".new").size(), 0);

        // The next export of the same file runs to the end.
        const ExportOutcome again = exportLog(log_, ExportKind::LogBackup, file);
        QCOMPARE(again.status, ExportOutcome::Done);
        QCOMPARE(test::readFile(file).count("\r\n"), 2 + 10 * 12000);
    }

    void aFullDiskLeavesTheOldFile()
    {
        fillLog(3000);
        const QString file = path("full.bak");
        test::writeFile(file, "the old backup");
        ExportOutcome out;
        {
            test::FileSizeLimit limit(64 * 1024);
            QVERIFY(limit.active());
            out = exportLog(log_, ExportKind::LogBackup, file);
        }
        QCOMPARE(out.status, ExportOutcome::Failed);
        QVERIFY2(out.message.contains("无法写入文件"), qPrintable(out.message));
        QCOMPARE(test::readFile(file), QByteArray("the old backup"));
        // A folder that cannot take the file says so too.
        out = exportLog(log_, ExportKind::BrowseReport, path("no/such/folder/x.txt"));
        QCOMPARE(out.status, ExportOutcome::Failed);
        QVERIFY(out.message.contains("无法写入文件"));
    }

    void readOnlyAndFullFolders()
    {
        // A folder of its own: as root a small tmpfs (root may write anywhere else), remounted
        // read-only later; otherwise a file size limit makes it full, and taking away the
        // write permission makes it read-only.
        fillLog(3000);
        const QString folder = path("mounted");
        QVERIFY(QDir().mkpath(folder));
        const bool root = ::geteuid() == 0;
        if (root &&
            QProcess::execute("mount", {"-t", "tmpfs", "-o", "size=64k", "tmpfs", folder}) != 0)
            QSKIP("no tmpfs can be mounted here");
        const auto unmount = qScopeGuard([&] {
            if (root)
                QProcess::execute("umount", {folder});
            else
                QFile::setPermissions(folder,
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        });
        const QString file = folder + "/full.bak";
        test::writeFile(file, "the old backup");
        ExportOutcome out;
        {
            std::optional<test::FileSizeLimit> limit;
            if (!root)
                limit.emplace(64 * 1024);
            out = exportLog(log_, ExportKind::LogBackup, file);
        }
        QCOMPARE(out.status, ExportOutcome::Failed);
        QVERIFY2(out.message.contains("无法写入文件"), qPrintable(out.message));
        QCOMPARE(test::readFile(file), QByteArray("the old backup"));
        QCOMPARE(QDir(folder).entryList(QDir::Hidden | QDir::Files).size(), 1);
        if (root) {
            QCOMPARE(QProcess::execute("mount", {"-o", "remount,ro", folder}), 0);
        } else {
            QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
        }
        out = exportLog(log_, ExportKind::BrowseReport, folder + "/report.txt");
        QCOMPARE(out.status, ExportOutcome::Failed);
        QVERIFY2(out.message.contains("无法写入文件"), qPrintable(out.message));
        QCOMPARE(test::readFile(file), QByteArray("the old backup"));
    }

    void exportsAreTheOwnersAlone()
    {
        // A backup is the whole browsing history of the site: every export is readable by its
        // owner only, whatever the umask and whatever file it replaces.
        fillLog(10);
        test::sql("DELETE FROM upsendtable;INSERT INTO upsendtable(" + logrows::kUploadColumns +
                      ") VALUES('pc','1','u',"
                      "'26-12-07 12:00:00','x')",
                  "dovrik");
        const mode_t mask = ::umask(0);
        const auto restoreMask = qScopeGuard([mask] { ::umask(mask); });
        const QFile::Permissions ownerOnly = QFile::ReadOwner | QFile::WriteOwner;
        for (const ExportKind kind : {ExportKind::BrowseReport, ExportKind::UploadReport,
                                      ExportKind::Config, ExportKind::LogBackup}) {
            const QString fresh = path(QString("fresh%1").arg(int(kind)));
            const QString old = path(QString("old%1").arg(int(kind)));
            test::writeFile(old, "readable by all");
            QVERIFY(QFile::setPermissions(old, ownerOnly | QFile::ReadGroup | QFile::ReadOther));
            for (const QString& file : {fresh, old}) {
                const bool ok = kind == ExportKind::Config
                                    ? exportConfig(config_, file).ok
                                    : exportLog(log_, kind, file).status == ExportOutcome::Done;
                QVERIFY(ok);
                QCOMPARE(QFile::permissions(file) & 0x7077, ownerOnly & 0x7077);
            }
        }
    }

    void aConnectionLostDuringTheExportLeavesTheOldFile()
    {
        fillLog(45000); // more than one chunk: the kill comes before the second
        const QString file = path("lost.bak");
        test::writeFile(file, "the old backup");
        db::Connection killer;
        QVERIFY(killer.open(dsn::chosenConnectionStrings().log));
        const QString id = log_.query("SELECT CONNECTION_ID()").field(0).toString();
        const ExportOutcome out =
            exportLog(log_, ExportKind::LogBackup, file, [&](qint64 done, qint64) {
                if (done == 5000)
                    killer.execute("KILL CONNECTION " + id);
            });
        QCOMPARE(out.status, ExportOutcome::Failed);
        QVERIFY2(out.message.contains("导出未完成"), qPrintable(out.message));
        QCOMPARE(test::readFile(file), QByteArray("the old backup"));
        // The connection is opened again by the next statement.
        const ExportOutcome next = exportLog(log_, ExportKind::LogBackup, file);
        QVERIFY2(next.status == ExportOutcome::Done, qPrintable(next.message));
    }

    void emptyTableWritesNoFile()
    {
        test::sql("DELETE FROM upsendtable", "dovrik");
        const ExportOutcome out = exportLog(log_, ExportKind::UploadReport, path("none.txt"));
        QCOMPARE(out.status, ExportOutcome::NoRows);
        QVERIFY(!QFile::exists(path("none.txt")));
        QCOMPARE(noRowsMessage(ExportKind::UploadReport), u"没有上传日志"_qs);
    }

    void clearingDeletesOnlyWhatWasExported()
    {
        fillLog(100);
        const QString newest = "26-12-07 10:01:39";
        const ExportOutcome out = exportLog(log_, ExportKind::BrowseReport, path("report.txt"));
        QCOMPARE(out.status, ExportOutcome::Done);
        QCOMPARE(out.exported.newestKey, newest);
        // Rows the capture module writes after the export: one in the same second as the
        // newest exported row, one later, one without a time stamp.
        insertLog(log_, {"late1", "10.0.0.8", newest, "组A", "同一秒", "http://l/", "上网", "放行",
                         "1", "1"});
        insertLog(log_, {"late2", "10.0.0.8", "26-12-07 10:05:00", "组A", "更晚", "http://l/",
                         "上网", "放行", "1", "1"});
        QVERIFY(log_.execute("INSERT INTO logtable(Name) VALUES('nokey')"));
        const ClearOutcome cleared = clearExported(log_, ExportKind::BrowseReport, out.exported);
        QVERIFY2(cleared.ok, qPrintable(cleared.message));
        QCOMPARE(cleared.deleted, qint64(100));
        QCOMPARE(test::sql("SELECT Name FROM logtable ORDER BY Name", "dovrik"),
                 u"late1\nlate2\nnokey\n"_qs);

        // Rows deleted meanwhile: nothing is deleted, and the message says why.
        fillLog(10);
        const ExportOutcome again = exportLog(log_, ExportKind::BrowseReport, path("report.txt"));
        test::sql("DELETE FROM logtable WHERE Title='标题3'", "dovrik");
        const ClearOutcome refused = clearExported(log_, ExportKind::BrowseReport, again.exported);
        QVERIFY(!refused.ok);
        QVERIFY(refused.message.contains("数据库未清空"));
        QCOMPARE(tableRows("logtable").size(), 9);
    }

    void uploadReportAndItsClearing()
    {
        test::sql("DELETE FROM upsendtable", "dovrik");
        QVERIFY(log_.execute("INSERT INTO upsendtable(" + logrows::kUploadColumns +
                             ") VALUES('pc','10.0.0.1','http://m/','26-12-07 "
                             "12:00:00','a=o''neil\\\\x\nzz')"));
        const ExportOutcome out = exportLog(log_, ExportKind::UploadReport, path("up.txt"));
        QCOMPARE(out.status, ExportOutcome::Done);
        QVERIFY(test::readFile(path("up.txt")).contains("a=o'neil\\x zz"));
        const ClearOutcome cleared = clearExported(log_, ExportKind::UploadReport, out.exported);
        QVERIFY2(cleared.ok, qPrintable(cleared.message));
        QCOMPARE(test::sql("SELECT count(*) FROM upsendtable", "dovrik").trimmed(), u"0"_qs);
    }

    void twoExportsToOneFileLeaveOneWholeFile()
    {
        fillLog(5000);
        const QString file = path("twice.bak");
        db::Connection other;
        QVERIFY(openJobConnection(other, dsn::chosenConnectionStrings().log));
        ExportOutcome a, b;
        std::thread t([&] { a = exportLog(other, ExportKind::LogBackup, file); });
        b = exportLog(log_, ExportKind::LogBackup, file);
        t.join();
        QCOMPARE(a.status, ExportOutcome::Done);
        QCOMPARE(b.status, ExportOutcome::Done);
        test::sql("DELETE FROM logtable", "dovrik");
        const RestoreOutcome r = restoreLog(log_, file);
        QCOMPARE(r.status, RestoreOutcome::Done);
        QCOMPARE(r.restored, qint64(5000));
    }

    void configurationRoundTrip()
    {
        test::sql("DELETE FROM usertable; DELETE FROM grouptable;"
                  "INSERT INTO usertable VALUES('pc1','10.0.0.1','组A'),('pc,2','10.0.0.2','组A');"
                  "INSERT INTO grouptable VALUES('组A','0','1'," +
                      QString("'%1',").arg(QString(24, '1')).repeated(11) + "'" + QString(24, '0') +
                      "')",
                  "ipdata");
        const QString file = path("conf.cfg");
        const ConfigExportOutcome out = exportConfig(config_, file);
        QVERIFY2(out.ok, qPrintable(out.message));
        QCOMPARE(out.users, qint64(2));
        QCOMPARE(test::readFile(file).count("\r\n"), 24);
        const QString users = test::sql("SELECT * FROM usertable ORDER BY IP", "ipdata");
        const QString groups = test::sql("SELECT * FROM grouptable", "ipdata");

        test::sql("DELETE FROM usertable; INSERT INTO usertable VALUES('other','10.9.9.9','x')",
                  "ipdata");
        const RestoreOutcome restored = restoreConfig(config_, file);
        QCOMPARE(restored.status, RestoreOutcome::Done);
        QCOMPARE(test::sql("SELECT * FROM usertable ORDER BY IP", "ipdata"), users);
        QCOMPARE(test::sql("SELECT * FROM grouptable", "ipdata"), groups);
    }

    void configurationExportSaysWhatItChanged()
    {
        // Values the file cannot carry as they are: a double quote in a value written between
        // double quotes, a line break, a null. The export says which, once.
        test::sql("DELETE FROM usertable; DELETE FROM grouptable;"
                  "INSERT INTO usertable VALUES('a\"b,c','10.0.0.1','组A'),"
                  "('pc2',NULL,'two\nlines'),('plain','10.0.0.3','组A');"
                  "INSERT INTO grouptable VALUES('组A',NULL,'1'," +
                      QString("'%1',").arg(QString(24, '1')).repeated(11) + "'" + QString(24, '0') +
                      "')",
                  "ipdata");
        const ConfigExportOutcome out = exportConfig(config_, path("changed.cfg"));
        QVERIFY2(out.ok, qPrintable(out.message));
        QCOMPARE(out.changes.size(), 4);
        const QString message = configExportedMessage(out);
        QVERIFY(message.startsWith("配置数据导出完毕\n"));
        QCOMPARE(message.count('\n'), 1 + 4);
        QVERIFY2(message.contains("usertable 第 1 行 Name：数据库中为“a\"b,c”，文件中为“a'b,c”"),
                 qPrintable(message));
        QVERIFY(message.contains("usertable 第 2 行 IP：数据库中为空值（NULL），文件中为“”"));
        QVERIFY(message.contains(
            "usertable 第 2 行 Team：数据库中为“two\\nlines”，文件中为“two lines”"));
        QVERIFY(message.contains("grouptable 第 1 行 DnLog：数据库中为空值（NULL）"));
        // A configuration the file holds as it is says nothing more.
        test::sql("DELETE FROM usertable WHERE Name<>'plain'; UPDATE grouptable SET DnLog='0'",
                  "ipdata");
        const ConfigExportOutcome clean = exportConfig(config_, path("changed.cfg"));
        QVERIFY(clean.changes.isEmpty());
        QCOMPARE(configExportedMessage(clean), u"配置数据导出完毕"_qs);
    }

    void configurationRestoreIsAllOrNothing()
    {
        test::sql("DELETE FROM usertable; DELETE FROM grouptable;"
                  "INSERT INTO usertable VALUES('keep','10.0.0.1','组K');"
                  "INSERT INTO grouptable VALUES('组K','0','0'," +
                      QString("'%1',").arg(QString(24, '0')).repeated(11) + "'" + QString(24, '0') +
                      "')",
                  "ipdata");
        const QString users = test::sql("SELECT * FROM usertable", "ipdata");
        const QString groups = test::sql("SELECT * FROM grouptable", "ipdata");
        QString good = kFileHeader + "\r\n 1 \r\n" + configValueLine("pc1") +
                       configValueLine("10.0.0.1") + configValueLine("坏组") + " 1 \r\n" +
                       configValueLine("坏组") + "0\r\n0\r\n";
        for (int i = 0; i < 12; ++i)
            good += QString(24, '0') + "\r\n";

        // A damaged file: nothing is deleted.
        test::writeFile(path("cut.cfg"), gbk::encode(good.left(good.size() - 40)));
        RestoreOutcome out = restoreConfig(config_, path("cut.cfg"));
        QCOMPARE(out.status, RestoreOutcome::Refused);
        QVERIFY(out.message.contains("数据库未改变"));
        test::writeFile(path("other.cfg"), "something else\r\n");
        QCOMPARE(restoreConfig(config_, path("other.cfg")).message, u"不是配置文件"_qs);
        QCOMPARE(test::sql("SELECT * FROM usertable", "ipdata"), users);

        // A sound file the server refuses half-way: both tables stay as they were.
        QVERIFY(config_.execute(
            "CREATE TRIGGER refuse BEFORE INSERT ON grouptable FOR EACH ROW "
            "IF NEW.Team='坏组' THEN SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT='refused'; END IF"));
        test::writeFile(path("good.cfg"), gbk::encode(good));
        out = restoreConfig(config_, path("good.cfg"));
        test::sql("DROP TRIGGER refuse", "ipdata");
        QCOMPARE(out.status, RestoreOutcome::Failed);
        QVERIFY2(out.message.contains("数据库未改变") && out.message.contains("refused"),
                 qPrintable(out.message));
        QCOMPARE(test::sql("SELECT * FROM usertable", "ipdata"), users);
        QCOMPARE(test::sql("SELECT * FROM grouptable", "ipdata"), groups);

        // Without usertable: the message of the missing table, and grouptable untouched.
        test::sql("RENAME TABLE usertable TO usertable_away", "ipdata");
        out = restoreConfig(config_, path("good.cfg"));
        test::sql("RENAME TABLE usertable_away TO usertable", "ipdata");
        QVERIFY(out.message.startsWith("用户表丢失，请初始化数据采集监控系统。"));
        QCOMPARE(test::sql("SELECT * FROM grouptable", "ipdata"), groups);
    }

    void dateRangeDeletion()
    {
        test::sql("DELETE FROM logtable; DELETE FROM upsendtable", "dovrik");
        for (const char* t : {"26-12-06 23:59:59", "26-12-07 00:00:00", "26-12-07 12:00:00",
                              "26-12-08 00:00:00", "26-12-08 00:00:01"}) {
            insertLog(log_, {"pc", "1", t, "g", "t", "u", "c", "r", "1", "1"});
            QVERIFY(log_.execute(QString("INSERT INTO upsendtable(" + logrows::kUploadColumns +
                                         ") VALUES('pc','1','u','") +
                                 t + "','x')"));
        }
        const DeletionRange range =
            deletionRange(QDate(2026, 12, 7), QTime(0, 0), QDate(2026, 12, 7), QTime(0, 0));
        const DeletionOutcome out = deleteLogs(log_, deletionStatements(true, false, range));
        QVERIFY(out.ok);
        QCOMPARE(out.deleted, qint64(3));
        QCOMPARE(test::sql("SELECT AcTime FROM logtable ORDER BY AcTime", "dovrik"),
                 u"26-12-06 23:59:59\n26-12-08 00:00:01\n"_qs);
        QCOMPARE(test::sql("SELECT count(*) FROM upsendtable", "dovrik").trimmed(), u"5"_qs);
        test::sql("RENAME TABLE upsendtable TO upsend_away", "dovrik");
        const DeletionOutcome failed = deleteLogs(log_, deletionStatements(false, true, range));
        QVERIFY(!failed.ok);
        QVERIFY(failed.message.startsWith("删除日志时出错"));
        // Both logs at once: the browse rows stay when the upload log cannot be deleted.
        const DeletionRange whole =
            deletionRange(QDate(2026, 12, 6), QTime(0, 0), QDate(2026, 12, 9), QTime(0, 0));
        const DeletionOutcome both = deleteLogs(log_, deletionStatements(true, true, whole));
        test::sql("RENAME TABLE upsend_away TO upsendtable", "dovrik");
        QVERIFY(!both.ok);
        QVERIFY2(both.message.contains("数据库未改变"), qPrintable(both.message));
        QCOMPARE(test::sql("SELECT count(*) FROM logtable", "dovrik").trimmed(), u"2"_qs);
        // And with both tables there, both are deleted.
        const DeletionOutcome done = deleteLogs(log_, deletionStatements(true, true, whole));
        QVERIFY2(done.ok, qPrintable(done.message));
        QCOMPARE(done.deleted, qint64(2 + 5));
        QCOMPARE(test::sql("SELECT count(*) FROM upsendtable", "dovrik").trimmed(), u"0"_qs);
    }
};

QTEST_GUILESS_MAIN(ArchiveJobs)
#include "test_archivejobs.moc"
