// The statistics of the command line (overseer --stats), run as cron would run it, without a
// display, against the statements over the log alone: after rows that arrive late, deletions,
// renames of letter case, a restore of a backup and a keeper's pruning pass, every figure of
// the three statistics equals the plain statement's.

#include "common/datasources.h"
#include "common/logrows.h"
#include "overseer/query/statistics.h"
#include "overseer/query/statscommand.h"
#include "tests/support/logfill.h"
#include "tests/support/testsupport.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace lt;
using namespace lt::overseer;

namespace
{

const QString kFrom = QStringLiteral("26-11-01 00:00:00");
const QString kTo = QStringLiteral("26-11-10 23:59:59");

struct Run {
    int code = -1;
    QStringList lines;
    QString err;
};

// Rows of a plain statement as key -> value, from the mariadb client's tab-separated output.
QMap<QString, QString> plainRows(const QString& sql, int key, int value, const QString& db)
{
    QMap<QString, QString> out;
    for (const QString& line : test::sql(sql, db).split('\n', Qt::SkipEmptyParts)) {
        const QStringList f = line.split('\t');
        out.insert(f.value(key).trimmed(), f.value(value).trimmed());
    }
    return out;
}

} // namespace

class StatsCommandTest : public QObject
{
    Q_OBJECT
    test::TestInstallation install_;

    Run program(const QString& name, const QStringList& arguments)
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* display : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(display);
        p.setProcessEnvironment(env);
        p.start(install_.appDir() + u'/' + name, arguments);
        if (!p.waitForFinished(120000))
            qFatal("%s did not finish", qPrintable(name));
        return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
                QString::fromUtf8(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts),
                QString::fromUtf8(p.readAllStandardError())};
    }

    Run stats(const QString& what, const QStringList& more = {})
    {
        return program("overseer",
                       QStringList{"--stats", what, "--from", kFrom, "--to", kTo} + more);
    }

    // Cells of the printed rows as key column -> value column.
    static QMap<QString, QString> printed(const Run& run, int key, int value)
    {
        QMap<QString, QString> out;
        for (const QString& line : run.lines.mid(1)) {
            const QStringList cells = line.split('\t');
            out.insert(cells.value(key), cells.value(value));
        }
        return out;
    }

    // Every statistic against its plain statement, over the whole range and a part of it.
    void compareAll(const QString& from = kFrom, const QString& to = kTo)
    {
        const QString range = QString("AcTime>='%1' AND AcTime<='%2'").arg(from, to);
        const QStringList span{"--from", from, "--to", to};
        const Run visits = program("overseer", QStringList{"--stats", "visits"} + span);
        QVERIFY2(visits.code == 0, qPrintable(visits.err));
        QCOMPARE(visits.lines.value(0), QString("域名(网站/网页)\t标题\t访问次数"));
        QCOMPARE(printed(visits, 0, 2),
                 plainRows("SELECT URL,SUM(F) FROM logtable WHERE " + range + " GROUP BY URL", 0, 1,
                           "dovrik"));
        const Run terminals = program("overseer", QStringList{"--stats", "terminals"} + span);
        QVERIFY2(terminals.code == 0, qPrintable(terminals.err));
        QCOMPARE(printed(terminals, 1, 2),
                 plainRows("SELECT IP,SUM(F) FROM logtable WHERE " + range + " GROUP BY IP", 0, 1,
                           "dovrik"));
        const Run one =
            program("overseer", QStringList{"--stats", "visits", "--ip", "192.168.1.3"} + span);
        QCOMPARE(printed(one, 0, 2),
                 plainRows("SELECT URL,SUM(F) FROM logtable WHERE IP='192.168.1.3' AND " + range +
                               " GROUP BY URL",
                           0, 1, "dovrik"));
        const Run traffic = program("overseer", QStringList{"--stats", "traffic"} + span);
        QVERIFY2(traffic.code == 0, qPrintable(traffic.err));
        QMap<QString, QString> bytes = plainRows(
            "SELECT IP,SUM(nLength) FROM logtable WHERE " + range + " GROUP BY IP", 0, 1, "dovrik");
        for (auto it = bytes.begin(); it != bytes.end(); ++it)
            it.value() = trafficText(it.value(), false);
        QMap<QString, QString> expected;
        for (const QString& ip : plainRows("SELECT IP,Name FROM usertable", 0, 1, "ipdata").keys())
            expected.insert(ip, bytes.value(ip, "0"));
        QCOMPARE(printed(traffic, 1, 2), expected);
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(install_.useFreshDatabases(), "the private test server does not answer");
        // 20,000 visits over ten days of November, 200 terminals and 300 pages; five of the
        // terminals registered.
        test::sql("INSERT INTO logtable(" + logrows::kLogColumns +
                      ") SELECT CONCAT('pc-',LPAD(seq%200,2,'0')),"
                      "CONCAT('192.168.1.',seq%200+1),DATE_FORMAT(TIMESTAMP'2026-11-01 00:00:00'+"
                      "INTERVAL seq*43 SECOND,'%y-%m-%d %H:%i:%s'),'教室A组','标题',"
                      "CONCAT('http://www.s',seq%300,'.cn/'),'上网','放行',seq%5000,1+seq%3 "
                      "FROM seq_1_to_20000",
                  "dovrik");
        for (int i = 1; i <= 5; ++i)
            test::sql(QString("INSERT INTO usertable VALUES('终端%1','192.168.1.%1','组')").arg(i),
                      "ipdata");
    }

    void theCommandLineIsChecked()
    {
        QCOMPARE(program("overseer", {"--stats", "pages", "--from", kFrom, "--to", kTo}).code, 2);
        QCOMPARE(
            program("overseer", {"--stats", "visits", "--from", "26-11-31 00:00:00", "--to", kTo})
                .code,
            2);
        QCOMPARE(parseStatsCommand({"overseer", "--stats", "visits", "--from", kTo, "--to", kFrom})
                     .error,
                 QString("起始时间晚于截至时间"));
        const StatsCommand one = parseStatsCommand(
            {"overseer", "--stats", "visits", "--from", kFrom, "--to", kTo, "--ip", "10.0.0.1"});
        QVERIFY(one.error.isEmpty());
        QCOMPARE(one.mode, StatsMode::Terminal);
        const Run limited = stats("terminals", {"--limit", "3"});
        QCOMPARE(limited.code, 0);
        QCOMPARE(limited.lines.size(), 4);
    }

    void everyFigureEqualsThePlainStatement()
    {
        compareAll();
        compareAll("26-11-03 12:34:56", "26-11-07 08:00:00");
    }

    void afterLateRowsDeletionsAndRenames()
    {
        // A capture host whose clock is behind: a row for a day already summed.
        test::fillRows(
            QList<logrows::LogRow>{{"late", "192.168.1.250", "26-11-05 12:00:00", "教室A组", "t",
                                    "http://late.example/", "上网", "放行", 5000, 7}},
            test::Existing::Keep);
        compareAll();
        QCOMPARE(printed(stats("visits"), 0, 2).value("http://late.example/"), QString("7"));
        test::sql("DELETE FROM logtable WHERE URL='http://www.s7.cn/'", "dovrik");
        compareAll();
        // A rename of letter case only reaches the terminal statistic.
        test::sql("UPDATE logtable SET Name='PC-03' WHERE IP='192.168.1.4'", "dovrik");
        compareAll();
        QCOMPARE(printed(stats("terminals"), 1, 0).value("192.168.1.4"), QString("PC-03"));
    }

    void afterARestoreAndAPruningPass()
    {
        QTemporaryDir dir;
        const QString backup = dir.filePath("log.bak");
        QCOMPARE(program("overseer", {"--backup", backup}).code, 0);
        test::sql("DELETE FROM logtable WHERE AcTime<'26-11-03 00:00:00'", "dovrik");
        compareAll();
        const Run restored = program("overseer", {"--restore-log", backup});
        QVERIFY2(restored.code == 0, qPrintable(restored.err));
        compareAll();
        // The keeper prunes the log to its smallest limit once it holds 55,000 rows.
        test::sql("INSERT INTO logtable(" + logrows::kLogColumns +
                      ") SELECT 'pc-x','192.168.1.99',DATE_FORMAT(TIMESTAMP"
                      "'2026-11-09 00:00:00'+INTERVAL seq SECOND,'%y-%m-%d %H:%i:%s'),'组','t',"
                      "'http://www.bulk.cn/','上网','放行','10',1 FROM seq_1_to_40000",
                  "dovrik");
        const Run pruned = program("logkeeper", {"--prune-now", "--log", "5000"});
        QVERIFY2(pruned.code == 0, qPrintable(pruned.err));
        QVERIFY(test::sql("SELECT COUNT(*) FROM logtable", "dovrik").trimmed().toInt() < 5001);
        compareAll();
        QCOMPARE(test::sql("SELECT COUNT(*) FROM daypages WHERE Day NOT IN (SELECT Day FROM "
                           "summarydays)",
                           "dovrik")
                     .trimmed(),
                 QString("0"));
    }
};

QTEST_GUILESS_MAIN(StatsCommandTest)
#include "test_statscommand.moc"
