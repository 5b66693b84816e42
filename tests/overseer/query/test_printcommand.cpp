// The log printout of the command line (overseer --print-pdf), run as cron would run it,
// without a display: the records of the range and no other, every page with its footer, the
// text of the PDF as printed, the file its owner's alone and written whole or not at all, and
// the exit codes of the archive commands.

#include "common/logrows.h"
#include "common/registry.h"
#include "overseer/query/printcommand.h"
#include "tests/support/testsupport.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace lt;
using namespace lt::overseer;

namespace
{

struct Run {
    int code = -1;
    QString out;
    QString err;
};

// n browse-log rows on 26-11-03 from 08:00:00, one a minute, newest last; the names use the
// characters that fonts share with radicals.
void fillLog(int n)
{
    QStringList values;
    for (int i = 0; i < n; ++i)
        values << QStringLiteral("('网管%1','10.0.0.%2','26-11-03 %3','门卫组','日报第%1页',"
                                 "'www.a.cn/%1','新闻','放行','1',1)")
                      .arg(i)
                      .arg(i % 2 + 1)
                      .arg(QTime(8, 0).addSecs(60 * i).toString("HH:mm:ss"));
    // Outside the range on either side.
    values << "('早到','10.0.0.1','26-11-02 23:59:59','门卫组','t','u','新闻','放行','1',1)"
           << "('晚到','10.0.0.1','26-11-04 00:00:00','门卫组','t','u','新闻','放行','1',1)";
    test::sql("DELETE FROM logtable; INSERT INTO logtable(" + logrows::kLogColumns + ") VALUES " +
                  values.join(',') + ";",
              "dovrik");
}

QString pdfText(const QString& path)
{
    QProcess p;
    p.start("pdftotext", {"-layout", path, "-"});
    if (!p.waitForFinished(60000))
        return {};
    return QString::fromUtf8(p.readAllStandardOutput()).replace(QRegularExpression(" +"), " ");
}

} // namespace

class PrintCommandTest : public QObject
{
    Q_OBJECT
    test::TestInstallation install_;
    QTemporaryDir dir_;

    Run print(const QStringList& arguments)
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* display : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(display);
        p.setProcessEnvironment(env);
        p.start(install_.appDir() + "/overseer", QStringList{"--print-pdf"} + arguments);
        if (!p.waitForFinished(120000))
            qFatal("overseer did not finish");
        return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
                QString::fromLocal8Bit(p.readAllStandardOutput()),
                QString::fromLocal8Bit(p.readAllStandardError())};
    }

    static QStringList range()
    {
        return {"--from", "26-11-03 00:00:00", "--to", "26-11-03 23:59:59"};
    }

private slots:
    void initTestCase()
    {
        QVERIFY(dir_.isValid());
        QVERIFY2(install_.useFreshDatabases(), "the private test server does not answer");
    }

    // 50 records: three pages, newest first, the last one partial with its number.
    void printsTheRange()
    {
        fillLog(50);
        const QString file = dir_.filePath("周报.pdf");
        const Run run = print(QStringList{file} + range());
        QVERIFY2(run.code == 0, qPrintable(run.err));
        QVERIFY2(run.err.isEmpty(), qPrintable(run.err));
        QCOMPARE(run.out.trimmed(), "日志打印完毕：浏览日志 50 条记录，共 3 页，写入 " + file);
        const QFileDevice::Permissions mode = QFile::permissions(file);
        QVERIFY(mode.testFlag(QFileDevice::ReadOwner) && mode.testFlag(QFileDevice::WriteOwner));
        QVERIFY(!(mode & (QFileDevice::ReadGroup | QFileDevice::WriteGroup |
                          QFileDevice::ReadOther | QFileDevice::WriteOther)));
        QCOMPARE(QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"周报.pdf"});

        const QString text = pdfText(file);
        QCOMPARE(text.count("上网终端访问日志"), 3);
        for (int page = 1; page <= 3; ++page)
            QVERIFY(text.contains(QStringLiteral("第 %1 页").arg(page)));
        QVERIFY(!text.contains("第 4 页"));
        for (int i = 0; i < 50; ++i)
            QVERIFY2(text.contains(QStringLiteral("终端：网管%1 ").arg(i)), qPrintable(text));
        QVERIFY(text.contains("标题：日报第49页"));
        QVERIFY(text.indexOf("网管49 ") < text.indexOf("网管48 "));
        QVERIFY(!text.contains("早到") && !text.contains("晚到"));
    }

    void oneTerminalAndTheUploadLog()
    {
        fillLog(10);
        const QString one = dir_.filePath("one.pdf");
        Run run = print(QStringList{one} + range() + QStringList{"--ip", "10.0.0.2"});
        QVERIFY2(run.code == 0, qPrintable(run.err));
        QString text = pdfText(one);
        QCOMPARE(text.count("地址：10.0.0.2"), 5);
        QVERIFY(!text.contains("地址：10.0.0.1"));

        test::sql("DELETE FROM upsendtable; INSERT INTO upsendtable(" + logrows::kUploadColumns +
                      ") VALUES "
                      "('网管1','10.0.0.1','mail.a.cn','26-11-03 09:00:00','门户网站的长见闻'),"
                      "('网管2','10.0.0.2','mail.b.cn','26-11-05 09:00:00','不在范围');",
                  "dovrik");
        const QString upload = dir_.filePath("upload.pdf");
        run = print(QStringList{upload} + range() + QStringList{"--upload"});
        QVERIFY2(run.code == 0, qPrintable(run.err));
        QVERIFY(run.out.startsWith("日志打印完毕：上传日志 1 条记录，共 1 页"));
        text = pdfText(upload);
        QVERIFY(text.contains("上网终端上传日志"));
        QVERIFY(text.contains("内 容：门户网站的长见闻"));
        QVERIFY(!text.contains("不在范围"));
    }

    void wrongCommandLines_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("message");
        QTest::newRow("no file") << QStringList{"--from", "26-11-03 00:00:00"}
                                 << "--print-pdf 需要一个文件";
        QTest::newRow("no range") << QStringList{"x.pdf"}
                                  << "--from 和 --to 需要 \"YY-MM-DD HH:MM:SS\" 格式的时间";
        QTest::newRow("bad time") << QStringList{"x.pdf", "--from", "26-13-03 00:00:00", "--to",
                                                 "26-11-03 23:59:59"}
                                  << "--from 和 --to 需要 \"YY-MM-DD HH:MM:SS\" 格式的时间";
        QTest::newRow("reversed") << QStringList{"x.pdf", "--from", "26-11-04 00:00:00", "--to",
                                                 "26-11-03 23:59:59"}
                                  << "起始时间晚于截至时间";
        QTest::newRow("unknown")
            << QStringList{"x.pdf", "--from", "26-11-03 00:00:00", "--to", "26-11-03 23:59:59",
                           "--all"}
            << "无法理解的参数 --all";
    }

    void wrongCommandLines()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, message);
        QCOMPARE(parsePrintCommand(QStringList{"overseer", "--print-pdf"} + arguments).error,
                 message);
        const Run run = print(arguments);
        QCOMPARE(run.code, 2);
        QVERIFY2(run.err.startsWith(message), qPrintable(run.err));
        QVERIFY(!QFile::exists(install_.appDir() + "/x.pdf"));
    }

    void nothingToPrintWritesNothing()
    {
        fillLog(0);
        const QString file = dir_.filePath("empty.pdf");
        const Run run = print({file, "--from", "26-11-03 00:00:00", "--to", "26-11-03 23:59:59"});
        QCOMPARE(run.code, 0);
        QCOMPARE(run.out.trimmed(), "这段时间没有浏览日志记录，未写入文件");
        QVERIFY(!QFile::exists(file));
    }

    // A server that cannot be reached, and a folder that cannot be written: exit code 1, the
    // reason in Chinese, the file there before as it was.
    void failuresLeaveTheOldFile()
    {
        fillLog(5);
        const QString file = dir_.filePath("kept.pdf");
        test::writeFile(file, "old");
        const QString log = reg::kOdbcIni + QStringLiteral("\\LocalLogTable");
        QVERIFY(reg::setValue(log, "Socket", install_.root() + "/run/nobody.sock"));
        Run run = print(QStringList{file} + range());
        install_.registerLocal();
        QCOMPARE(run.code, 1);
        QVERIFY2(run.err.startsWith("无法连接数据库。无法连接数据库服务器"), qPrintable(run.err));
        QCOMPARE(test::readFile(file), QByteArray("old"));

        run = print(QStringList{dir_.filePath("no/such/folder/x.pdf")} + range());
        QCOMPARE(run.code, 1);
        QVERIFY2(run.err.startsWith("无法写入文件（文件夹不存在），原有的文件未改变。"),
                 qPrintable(run.err));
    }
};

QTEST_MAIN(PrintCommandTest)
#include "test_printcommand.moc"
