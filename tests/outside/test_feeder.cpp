// The monitor stand-in's feeder against the real databases: rows of the documented layout,
// traffic counters that add up, values stored exactly as made, and the stand-in feeding at the
// rate asked on its command line or in its ini file.

#include "common/clock.h"
#include "common/datasources.h"
#include "common/odbc.h"
#include "common/processes.h"
#include "outside/feeder.h"
#include "tests/support/testsupport.h"

#include <QRegularExpression>
#include <QTest>

using namespace lt;

namespace
{

// The rows of a query through the mariadb client, split into fields.
QList<QStringList> rows(const QString& statement, const QString& database)
{
    QList<QStringList> result;
    for (const QString& line : test::sql(statement, database).split(u'\n', Qt::SkipEmptyParts))
        result << line.split(u'\t');
    return result;
}

int count(const QString& table, const QString& database)
{
    return test::sql(QStringLiteral("SELECT COUNT(*) FROM ") + table, database).trimmed().toInt();
}

const QDateTime kNow(QDate(2024, 5, 17), QTime(14, 25, 9));

} // namespace

class FeederTest : public QObject
{
    Q_OBJECT
    test::TestInstallation install_;
    db::Connection log_;
    db::Connection config_;

private slots:
    void initTestCase()
    {
        QVERIFY2(install_.useFreshDatabases(), "the private test server does not answer");
        QString why;
        QVERIFY2(test::openDatabases(log_, config_, &why), qPrintable(why));
    }

    void init()
    {
        Clock::setNow(kNow);
        test::sql(QStringLiteral("DELETE FROM logtable; DELETE FROM upsendtable;"),
                  QStringLiteral("dovrik"));
        test::sql(QStringLiteral("DELETE FROM webtable; DELETE FROM uptable; "
                                 "DELETE FROM downtable; DELETE FROM usertable;"),
                  QStringLiteral("ipdata"));
    }

    void cleanup()
    {
        Clock::reset();
        proc::killProcess(QStringLiteral("qmlxsn"));
    }

    void visitsGiveRowsOfTheLogLayout()
    {
        test::sql(QStringLiteral("INSERT INTO usertable VALUES('出纳','192.168.3.7','财务组'),"
                                 "('仓库','192.168.3.9','后勤组');"),
                  QStringLiteral("ipdata"));
        outside::Feeder feeder(log_, config_, 42);
        feeder.refresh();
        QVERIFY(feeder.feed(80));

        const QStringList classes =
            test::sql(QStringLiteral("SELECT Class FROM classtable"), QStringLiteral("ipdata"))
                .split(u'\n', Qt::SkipEmptyParts);
        const auto logRows = rows(QStringLiteral("SELECT Name,IP,Team,AcTime,Title,URL,Class,"
                                                 "Result,nLength,F FROM logtable"),
                                  QStringLiteral("dovrik"));
        QCOMPARE(logRows.size(), 80);
        const QRegularExpression digits(QStringLiteral("^[0-9]+$"));
        for (const QStringList& r : logRows) {
            QCOMPARE(r.size(), 10);
            QVERIFY2((r[0] == QStringLiteral("出纳") && r[1] == QStringLiteral("192.168.3.7") &&
                      r[2] == QStringLiteral("财务组")) ||
                         (r[0] == QStringLiteral("仓库") && r[1] == QStringLiteral("192.168.3.9") &&
                          r[2] == QStringLiteral("后勤组")),
                     qPrintable(r.join(u'|')));
            QCOMPARE(r[3], QStringLiteral("24-05-17 14:25:09"));
            QVERIFY(!r[4].isEmpty() && r[5].startsWith(QStringLiteral("http://")));
            QVERIFY2(r[6].isEmpty() || classes.contains(r[6]), qPrintable(r[6]));
            QVERIFY2(QStringList({"放行", "阻断", "积累"}).contains(r[7]), qPrintable(r[7]));
            QVERIFY2(digits.match(r[8]).hasMatch(), qPrintable(r[8]));
            QCOMPARE(r[9], QStringLiteral("1"));
        }

        QCOMPARE(count(QStringLiteral("webtable WHERE AcTime='24-05-17 14:25:09' AND SF='N'"),
                       QStringLiteral("ipdata")),
                 80);
        const int uploads = count(QStringLiteral("upsendtable"), QStringLiteral("dovrik"));
        QVERIFY(uploads > 0 && uploads < 80);
    }

    // One counter row per terminal, server, day and site; the bytes of every visit in the
    // counter of its hour, so that the download counters add up to the logged lengths.
    void trafficCountersAddUp()
    {
        outside::Feeder feeder(log_, config_, 7);
        feeder.refresh();
        QVERIFY(feeder.feed(60));
        const QString logged =
            test::sql(QStringLiteral("SELECT SUM(nLength) FROM logtable"), QStringLiteral("dovrik"))
                .trimmed();
        const QString ipdata = QStringLiteral("ipdata");
        QCOMPARE(test::sql(QStringLiteral("SELECT SUM(t14) FROM downtable"), ipdata).trimmed(),
                 logged);
        QCOMPARE(test::sql(QStringLiteral("SELECT SUM(t0+t1+t2+t3+t4+t5+t6+t7+t8+t9+t10+t11+t12+"
                                          "t13+t15+t16+t17+t18+t19+t20+t21+t22+t23) FROM uptable"),
                           ipdata)
                     .trimmed(),
                 QStringLiteral("0"));
        for (const QString& table : {QStringLiteral("uptable"), QStringLiteral("downtable")}) {
            const int all = count(table, ipdata);
            QVERIFY(all > 0 && all < 60);
            QCOMPARE(count(QStringLiteral("(SELECT DISTINCT srcip,dstip,date,strurl FROM ") +
                               table + QStringLiteral(") AS k"),
                           ipdata),
                     all);
            QCOMPARE(count(table + QStringLiteral(" WHERE date='2024-05-17' AND dstport=80 AND "
                                                  "srcport>=1024"),
                           ipdata),
                     all);
        }
    }

    void madeUpTerminalsBrowseWhenNoneAreRegistered()
    {
        outside::Feeder feeder(log_, config_, 3);
        feeder.refresh();
        QVERIFY(!feeder.terminals().isEmpty());
        QVERIFY(feeder.feed(10));
        QCOMPARE(count(QStringLiteral("logtable WHERE Team='临时工作组' AND Name<>'' AND IP "
                                      "LIKE '192.168.%'"),
                       QStringLiteral("dovrik")),
                 10);
    }

    void valuesWithQuotesAreStoredExactly()
    {
        outside::Feeder feeder(log_, config_, 5);
        feeder.refresh();
        outside::Visit visit = feeder.makeVisit(kNow);
        visit.title = QStringLiteral("小明's \"博客\" C:\\路径\\");
        visit.url = QStringLiteral("http://blog.example.cn/it's");
        visit.upload = QStringLiteral("留言='你好' \\n 结束");
        QVERIFY(feeder.write(visit));

        const auto hex = [](const QString& text) { return text.toUtf8().toHex().toUpper(); };
        QCOMPARE(test::sql(QStringLiteral("SELECT HEX(Title), HEX(URL) FROM logtable"),
                           QStringLiteral("dovrik"))
                     .trimmed(),
                 QString::fromLatin1(hex(visit.title) + '\t' + hex(visit.url)));
        QCOMPARE(test::sql(QStringLiteral("SELECT HEX(UpSendTxt) FROM upsendtable"),
                           QStringLiteral("dovrik"))
                     .trimmed(),
                 QString::fromLatin1(hex(visit.upload)));
        QCOMPARE(
            test::sql(QStringLiteral("SELECT HEX(Title) FROM webtable"), QStringLiteral("ipdata"))
                .trimmed(),
            QString::fromLatin1(hex(visit.title)));
    }

    // The console starts the monitor with "-i N" only; the rate then comes from its ini file.
    void monitorFeedsAtTheRateAsked_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("ini");
        QTest::newRow("command line") << QStringList{"-i", "1", "--feed", "600"} << QByteArray();
        QTest::newRow("ini file") << QStringList{"-i", "1"}
                                  << QByteArray("[monitor]\r\nFeedRate=600\r\n");
    }

    void monitorFeedsAtTheRateAsked()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, ini);
        Clock::reset();
        const QString iniPath = install_.appDir() + QStringLiteral("/qmlxsn.ini");
        QFile::remove(iniPath);
        if (!ini.isEmpty())
            test::writeFile(iniPath, ini);
        QVERIFY(proc::startProgram(install_.appDir() + QStringLiteral("/qmlxsn.EXE"), arguments,
                                   proc::Show::Hidden));
        QVERIFY(test::waitFor(
            [] { return count(QStringLiteral("logtable"), QStringLiteral("dovrik")) >= 5; },
            30000));
        QCOMPARE(proc::killProcess(QStringLiteral("qmlxsn.exe")), 1);
        QFile::remove(iniPath);
    }
};

QTEST_GUILESS_MAIN(FeederTest)
#include "test_feeder.moc"
