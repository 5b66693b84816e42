// A log database on a server with binary logging (as every primary with replicas has), reached
// with the account of other machines, which may not create triggers there: the initialisation
// completes without the day sums and says what to set, the completeness check is satisfied,
// and the statistics read the log alone, right after deletions too. Once the server allows
// it, the upgrade adds the sums and the statistics stay right.

#include "common/datasources.h"
#include "common/odbc.h"
#include "common/summaryschema.h"
#include "overseer/query/statistics.h"
#include "overseer/query/statsworker.h"
#include "tests/support/logfill.h"
#include "tests/support/privateserver.h"
#include "tests/support/testsupport.h"

#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <memory>

using namespace lt;
using namespace lt::overseer;

class Binlog : public QObject
{
    Q_OBJECT
    test::TestInstallation install_;
    std::unique_ptr<test::PrivateServer> server_;
    const LogQueryState range_ = [] {
        LogQueryState s;
        s.CondStart = QStringLiteral("26-06-01 00:00:00");
        s.CondEnd = QStringLiteral("26-06-04 23:59:59");
        return s;
    }();

    std::pair<int, QString> provisioner(const QStringList& arguments)
    {
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(install_.appDir() + QStringLiteral("/provisioner"), arguments);
        if (!p.waitForFinished(180000))
            qFatal("the provisioner did not finish");
        return {p.exitCode(), QString::fromUtf8(p.readAll())};
    }

    // URL -> visits of the statistic of all pages: as the console's worker lists it, and as
    // the statement over the log alone counts it.
    QMap<QString, QString> console()
    {
        StatsWorker worker(dsn::chosenConnectionStrings().log,
                           dsn::chosenConnectionStrings().config);
        QSignalSpy pages(&worker, &StatsWorker::pageReady);
        worker.visitPage(1, range_, StatsMode::AllPages, 1, kStatsPageSize);
        QMap<QString, QString> out;
        if (pages.size() == 1) {
            for (const QStringList& row : pages.first().at(1).value<QList<QStringList>>())
                out.insert(row.value(0), row.value(2).trimmed());
        }
        return out;
    }
    QMap<QString, QString> plain()
    {
        QMap<QString, QString> out;
        const QString rows = server_->sql(visitStatsSql(StatsMode::AllPages, range_), "dovrik");
        for (const QString& line : rows.split('\n', Qt::SkipEmptyParts)) {
            const QStringList f = line.split('\t');
            out.insert(f.value(1).trimmed(), f.value(2).trimmed());
        }
        return out;
    }

private slots:
    void initTestCase()
    {
        server_ = std::make_unique<test::PrivateServer>();
        QVERIFY(server_->restartWith({"log-bin=binlog", "server-id=1"}));
        QVERIFY(server_->serve(QStringLiteral("127.0.0.1")));
        QCOMPARE(server_->sql("SELECT @@log_bin, @@log_bin_trust_function_creators").trimmed(),
                 QString("1\t0"));
    }

    void cleanupTestCase() { server_.reset(); }

    void theInitialisationCompletesWithoutSumsAndSaysWhy()
    {
        const auto [code, out] =
            provisioner({"--register", "127.0.0.1:" + server_->port(), "--init", "log", "--yes"});
        QVERIFY2(code == 0, qPrintable(out));
        QVERIFY2(out.contains("log_bin_trust_function_creators"), qPrintable(out));
        const auto [checked, why] = provisioner({"--check", "log"});
        QVERIFY2(checked == 0, qPrintable(why));
        db::Connection log;
        QVERIFY(log.open(dsn::chosenConnectionStrings().log));
        QVERIFY(!schema::readSummaryState(log).usable());
    }

    void theStatisticsReadTheLogAndStayRight()
    {
        db::Connection log;
        QVERIFY(log.open(dsn::chosenConnectionStrings().log));
        QList<logrows::LogRow> rows;
        for (int i = 0; i < 1000; ++i)
            rows.append(
                {"PC", QString("10.0.0.%1").arg(i % 9 + 1),
                 QString("26-06-0%1 10:%2:00").arg(i % 4 + 1).arg(i % 60, 2, 10, QChar('0')), "组",
                 "t", QString("www.s%1.cn").arg(i % 10), "上网", "放行", 100});
        QVERIFY(test::addRows(log, rows));
        QCOMPARE(console(), plain());
        QCOMPARE(console().value("www.s3.cn"), QString("100"));
        QVERIFY(log.execute("DELETE FROM logtable WHERE URL IN ('www.s1.cn','www.s2.cn',"
                            "'www.s3.cn','www.s4.cn')"));
        const QMap<QString, QString> after = console();
        QCOMPARE(after, plain());
        QVERIFY(!after.contains("www.s3.cn"));
    }

    void onceAllowedTheUpgradeAddsTheSums()
    {
        server_->sql("SET GLOBAL log_bin_trust_function_creators=1");
        const auto [code, out] = provisioner({"--upgrade"});
        QVERIFY2(code == 0, qPrintable(out));
        QVERIFY2(!out.contains("log_bin_trust_function_creators"), qPrintable(out));
        db::Connection log;
        QVERIFY(log.open(dsn::chosenConnectionStrings().log));
        QVERIFY(schema::readSummaryState(log).usable());
        QCOMPARE(console(), plain());
        QVERIFY(log.execute("DELETE FROM logtable WHERE URL='www.s5.cn'"));
        QCOMPARE(console(), plain());
        QVERIFY(!console().contains("www.s5.cn"));
    }
};

QTEST_GUILESS_MAIN(Binlog)
#include "test_binlog.moc"
