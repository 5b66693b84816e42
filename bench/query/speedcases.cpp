#include "bench/query/speedcases.h"

#include "bench/datagen/datagen.h"
#include "bench/support/benchsupport.h"
#include "common/clock.h"
#include "common/datasources.h"
#include "common/installation.h"
#include "common/logindexes.h"
#include "common/logrows.h"
#include "common/logsummary.h"
#include "common/odbc.h"
#include "overseer/core/logstore.h"
#include "overseer/query/conditionrules.h"
#include "overseer/query/statistics.h"
#include "overseer/query/statsworker.h"
#include "overseer/query/titlesearch.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>

#include <algorithm>
#include <cstdio>
#include <thread>

namespace lt::bench
{

using namespace lt::overseer;

namespace
{

const QString kSeed = QStringLiteral("seedlog");
constexpr int kPage = 500;

// The bare client: one run sending the statements; its output and the milliseconds taken.
QString bareOutput(const QString& root, const QString& database, const QString& statements,
                   double* ms = nullptr)
{
    const ClientRun run =
        bench::client(root, database, statements,
                      {QStringLiteral("--batch"), QStringLiteral("--skip-column-names")});
    if (ms)
        *ms = run.ms;
    return run.output;
}

// Seconds the bare client takes for the statements, less its own start.
double bare(const SpeedSetup& setup, const QString& database, const QString& statements)
{
    double ms = 0;
    bareOutput(setup.root, database, statements, &ms);
    return std::max(0.0001, (ms - setup.clientStartMs) / 1000);
}

bool tableExists(const SpeedSetup& setup, const QString& database)
{
    return bareOutput(setup.root, QStringLiteral("mysql"),
                      QStringLiteral("SELECT COUNT(*) FROM information_schema.TABLES WHERE "
                                     "TABLE_SCHEMA='%1' AND TABLE_NAME='logtable'")
                          .arg(database)) == QLatin1String("1");
}

// The reading indexes as the console makes them: one of the same name but other columns
// (made by hand earlier) is dropped, so that the upgrade makes it anew.
void dropStrayIndexes(const SpeedSetup& setup)
{
    for (const schema::ReadingIndex& index : schema::readingIndexes()) {
        const QString columns = bareOutput(
            setup.root, QStringLiteral("dovrik"),
            QStringLiteral("SELECT GROUP_CONCAT(COLUMN_NAME ORDER BY SEQ_IN_INDEX) FROM "
                           "information_schema.STATISTICS WHERE TABLE_SCHEMA='dovrik' AND "
                           "TABLE_NAME='%1' AND INDEX_NAME='%2'")
                .arg(index.table, index.name));
        if (columns != QLatin1String("NULL") && !columns.isEmpty() && columns != index.columns)
            bareOutput(setup.root, QStringLiteral("dovrik"),
                       QStringLiteral("ALTER TABLE %1 DROP INDEX %2").arg(index.table, index.name));
    }
}

// The seed copy: the log tables as first created, holding the same rows.
void makeSeedCopy(const SpeedSetup& setup)
{
    const QString counts = QStringLiteral("SELECT (SELECT COUNT(*) FROM %1.logtable),"
                                          "(SELECT COUNT(*) FROM %1.upsendtable)");
    const QString have =
        !tableExists(setup, kSeed)
            ? QStringLiteral("0|1")
            : bareOutput(setup.root, QStringLiteral("dovrik"),
                         counts.arg(kSeed) + QStringLiteral(";") + counts.arg("dovrik"))
                  .replace(u'\n', u'|');
    if (have.section(u'|', 0, 0) == have.section(u'|', 1, 1) && !have.startsWith(u'0'))
        return;
    QElapsedTimer t;
    t.start();
    QStringList sql = {QStringLiteral("DROP DATABASE IF EXISTS seedlog"),
                       QStringLiteral("CREATE DATABASE seedlog")};
    for (const char* table : {"logtable", "upsendtable"}) {
        sql << QStringLiteral("CREATE TABLE seedlog.%1 LIKE dovrik.%1").arg(table);
        for (const schema::ReadingIndex& index : schema::readingIndexes()) {
            if (index.table == QLatin1String(table))
                sql << QStringLiteral("ALTER TABLE seedlog.%1 DROP INDEX IF EXISTS %2")
                           .arg(table, index.name);
        }
        sql << QStringLiteral("INSERT INTO seedlog.%1 SELECT * FROM dovrik.%1").arg(table);
    }
    bareOutput(setup.root, QStringLiteral("dovrik"), sql.join(QStringLiteral(";\n")));
    std::printf("# seed copy made in %.0f s\n", seconds(t));
}

bool waitUntil(const std::function<bool()>& done)
{
    while (!done())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    return true;
}

double p99(QList<double> values)
{
    if (values.isEmpty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[std::min<qsizetype>(values.size() - 1, values.size() * 99 / 100)];
}

QString feedRow(int i)
{
    const logrows::LogRow row{QStringLiteral("bench-feed"),
                              QStringLiteral("192.168.9.9"),
                              acTime(QDateTime::currentDateTime()),
                              QStringLiteral("教室A组"),
                              QStringLiteral("新闻首页"),
                              QStringLiteral("www.feed%1.cn").arg(i % 50),
                              QStringLiteral("上网"),
                              QStringLiteral("放行"),
                              1024};
    return logrows::insertStatement(&row, &row + 1);
}

// Inserts rows one by one, as a capture module does, for `secs` seconds or until `stop`;
// each insert's seconds.
QList<double> feed(const QString& database, double secs, const std::atomic<bool>* stop = nullptr)
{
    db::Connection c;
    if (!c.open(dsn::chosenConnectionStrings().log) || !c.selectDatabase(database))
        fail(QStringLiteral("feeder: ") + c.lastError().message);
    QList<double> latencies;
    QElapsedTimer all;
    all.start();
    for (int i = 0; stop ? !stop->load() : seconds(all) < secs; ++i) {
        QElapsedTimer one;
        one.start();
        if (!c.execute(feedRow(i)))
            fail(QStringLiteral("feeder: ") + c.lastError().message);
        latencies << seconds(one);
    }
    return latencies;
}

struct KeeperPass {
    double seconds = 0;
    int exitCode = 0;
};

// The keeper's pass as cron runs it, down to `keep` log rows (the web and upload tables left
// alone), timed from start to end.
KeeperPass pruneLogTo(qint64 keep)
{
    QElapsedTimer t;
    t.start();
    QProcess keeper;
    keeper.start(Installation::appDir() + QStringLiteral("/logkeeper"),
                 {QStringLiteral("--prune-now"), QStringLiteral("--log"), QString::number(keep),
                  QStringLiteral("--upload"), QStringLiteral("100000000"), QStringLiteral("--web"),
                  QStringLiteral("100000000")});
    keeper.waitForFinished(-1);
    return {seconds(t), keeper.exitCode()};
}

qint64 logRows(const SpeedSetup& setup)
{
    return bareOutput(setup.root, QStringLiteral("dovrik"),
                      QStringLiteral("SELECT COUNT(*) FROM logtable"))
        .toLongLong();
}

} // namespace

void prepareInstallation(SpeedSetup& setup)
{
    startInstallation(setup.root, {.layOut = !QDir(setup.root + QStringLiteral("/db")).exists()});
    QList<double> starts;
    for (int i = 0; i < 3; ++i) {
        double ms = 0;
        bareOutput(setup.root, QStringLiteral("mysql"), QStringLiteral("SELECT 1"), &ms);
        starts << ms;
    }
    std::sort(starts.begin(), starts.end());
    setup.clientStartMs = starts[1];

    const bool made = tableExists(setup, QStringLiteral("dovrik"));
    const QString have = made ? bareOutput(setup.root, QStringLiteral("mysql"),
                                           QStringLiteral("SELECT COUNT(*) FROM dovrik.logtable"))
                              : QString();
    if (have.toLongLong() != setup.rows) {
        db::Connection log, config;
        provision(log, config);
        GenOptions g;
        g.rows = setup.rows;
        GenOptions u = g;
        u.rows = setup.uploadRows;
        QElapsedTimer t;
        t.start();
        if (fillLogTable(log, g) != g.rows || fillUploadTable(log, u) != u.rows ||
            fillTerminals(config, 200) != 200)
            fail(QStringLiteral("filling: ") + log.lastError().message);
        std::printf("# generated %lld + %lld rows in %.0f s\n", static_cast<long long>(g.rows),
                    static_cast<long long>(u.rows), seconds(t));
    }
    dropStrayIndexes(setup);
    if (setup.bare)
        makeSeedCopy(setup);
    db::Connection log;
    if (!log.open(dsn::chosenConnectionStrings().log))
        fail(QStringLiteral("log: ") + log.lastError().message);
    QElapsedTimer t;
    t.start();
    const schema::UpgradeOutcome up = schema::upgradeLogDatabase(log);
    if (!up.ok())
        fail(QStringLiteral("upgrade: ") + up.failures.join(u'\n'));
    std::printf("# upgrade %.1f s, added: %s\n", seconds(t),
                qPrintable(up.added.isEmpty() ? QStringLiteral("nothing")
                                              : up.added.join(QStringLiteral(", "))));
}

void SpeedRun::pickValues()
{
    // The counts from the index alone; the name only for the busy terminal's rows.
    const QString busy = bareOutput(setup_.root, QStringLiteral("dovrik"),
                                    QStringLiteral("SELECT IP FROM logtable FORCE INDEX (IpTime) "
                                                   "GROUP BY IP ORDER BY COUNT(*) DESC"));
    const QStringList lines = busy.split(u'\n', Qt::SkipEmptyParts);
    if (lines.isEmpty())
        fail(QStringLiteral("no terminals in the log"));
    busyIp_ = lines.first();
    rareIp_ = lines.last();
    busyName_ =
        bareOutput(setup_.root, QStringLiteral("dovrik"),
                   QStringLiteral("SELECT MAX(Name) FROM logtable WHERE IP='%1'").arg(busyIp_));
    team_ =
        bareOutput(setup_.root, QStringLiteral("dovrik"),
                   QStringLiteral("SELECT Team FROM logtable FORCE INDEX (TeamTime) GROUP BY Team "
                                  "ORDER BY COUNT(*) DESC LIMIT 1"));
    std::printf("# busy terminal %s, rare terminal %s, group %s\n", qPrintable(busyIp_),
                qPrintable(rareIp_), qPrintable(team_));
}

LogQueryState SpeedRun::state(const QString& code) const
{
    LogQueryState s;
    s.CondCode = code;
    s.CondStart = QStringLiteral("26-11-01 00:00:00");
    s.CondEnd = QStringLiteral("26-11-07 23:59:59");
    s.CondTermIP = busyIp_;
    s.CondTermName = busyName_;
    s.CondTeam = team_;
    s.CondTitle = QStringLiteral("股票");
    s.CondClass = QStringLiteral("游戏");
    s.CondResult = QStringLiteral("阻断");
    return s;
}

void SpeedRun::print(const QString& name, double secs, const QString& bareSql)
{
    if (warming_)
        return;
    std::printf("%s %.3f\n", qPrintable(name), secs);
    std::fflush(stdout);
    compared_ << Compared{name, secs, bareSql};
}

// First page, the page 50 pages in, the last page and the count, through the console's store
// (a title search narrowed as the console narrows it); each the median of setup.runs runs. The
// original statements on the seed copy are kept for the bare phase.
void SpeedRun::pages(const QString& name, bool upload, const QString& code, const LogQueryState& s)
{
    if (setup_.warm && !warming_) {
        warming_ = true;
        pages(name, upload, code, s);
        warming_ = false;
    }
    const QString plainList = upload ? *uploadListSql(s) : *logListSql(s);
    const QString seedCount = upload ? LogStore::countSqlOf(plainList) : *logCountSql(s);
    const QString index = schema::readingIndexFor(
        upload ? QStringLiteral("upsendtable") : QStringLiteral("logtable"), code);
    db::Connection dictionary;
    if (!upload && !dictionary.open(dsn::chosenConnectionStrings().log))
        fail(QStringLiteral("log: ") + dictionary.lastError().message);
    QList<double> first, counted, fifty, last;
    qint64 total = 0;
    for (int run = 0; run < std::max(1, setup_.runs); ++run) {
        QElapsedTimer t;
        t.start();
        QString list = plainList;
        QString count =
            upload ? seedCount : schema::countSqlFor(seedCount, QStringLiteral("logtable"), code);
        if (!upload) {
            if (const auto narrowed = titleSearchStatements(dictionary, s)) {
                list = narrowed->list;
                count = narrowed->count;
            }
        }
        LogStore store(upload ? uploadLogTable() : browseLogTable(),
                       dsn::chosenConnectionStrings().log);
        store.PageSize = kPage;
        QObject::connect(&store, &LogStore::failed, [](const QString& why) { fail(why); });
        store.start(list, count, index,
                    upload && schema::sparseCondition(QStringLiteral("upsendtable"), code));
        waitUntil([&] { return !store.pageRequestOut(); });
        first << seconds(t);
        waitUntil([&] { return !store.counting(); });
        counted << seconds(t);
        total = store.total();
        for (int i = 1; i < 50 && store.status().buttons[2]; ++i) {
            t.restart();
            store.日志_显示下页数据();
            waitUntil([&] { return !store.pageRequestOut(); });
            if (i == 49)
                fifty << seconds(t);
        }
        t.restart();
        store.日志_显示尾页数据();
        waitUntil([&] { return !store.pageRequestOut(); });
        last << seconds(t);
    }
    const QString ordered = plainList + QStringLiteral(" ORDER BY AcTime DESC LIMIT ");
    const qint64 lastOffset = total > 0 ? (total - 1) / kPage * kPage : 0;
    print(QStringLiteral("page-first-") + name, median(first), ordered + QStringLiteral("0,500"));
    if (!fifty.isEmpty())
        print(QStringLiteral("page-50-") + name, median(fifty),
              ordered + QStringLiteral("24500,500"));
    print(QStringLiteral("page-last-") + name, median(last),
          ordered + QString::number(lastOffset) + QStringLiteral(",500"));
    print(QStringLiteral("count-") + name, median(counted), seedCount);
    if (!warming_)
        std::printf("# %s: %lld rows\n", qPrintable(name), static_cast<long long>(total));
}

void SpeedRun::logCode(const QString& code, bool rareTerminal)
{
    LogQueryState s = state(code);
    if (rareTerminal)
        s.CondTermIP = rareIp_;
    pages(QStringLiteral("log-") + code + (rareTerminal ? QStringLiteral("-rare") : QString()),
          false, code, s);
}

void SpeedRun::titleWord(const QString& code, bool absentWord)
{
    LogQueryState s = state(code);
    if (absentWord)
        s.CondTitle = QStringLiteral("不存在的标题词");
    pages(QStringLiteral("log-") + code + QStringLiteral("-absent"), false, code, s);
}

void SpeedRun::uploadCode(const QString& code)
{
    LogQueryState s = state(code);
    s.CondTitle = QStringLiteral("学生12&");
    pages(QStringLiteral("upload-") + code, true, code, s);
}

void SpeedRun::statistics()
{
    StatsWorker worker(dsn::chosenConnectionStrings().log, dsn::chosenConnectionStrings().config);
    QObject::connect(&worker, &StatsWorker::failed,
                     [](quint64, const QString& why) { fail(QStringLiteral("stats: ") + why); });
    struct Case {
        const char* name;
        StatsMode mode;
        QString start, end;
    };
    const QString from = QStringLiteral("26-11-01 00:00:00");
    const QString to = QStringLiteral("26-11-07 23:59:59");
    const QList<Case> cases = {
        {"stats-mode0", StatsMode::Terminal, from, to},
        {"stats-mode1", StatsMode::AllPages, from, to},
        {"stats-mode2", StatsMode::AllTerminals, from, to},
        {"stats-traffic", StatsMode::Traffic, from, to},
        {"stats-mode1-halfdays", StatsMode::AllPages, QStringLiteral("26-11-01 12:00:00"),
         QStringLiteral("26-11-07 12:00:00")},
    };
    for (const Case& c : cases) {
        LogQueryState s = state(QStringLiteral("00000"));
        s.CondStart = c.start;
        s.CondEnd = c.end;
        QList<double> runs;
        // The first run folds what the sums lack; the runs after it meet them folded.
        for (int round = 0; round <= std::max(1, setup_.runs); ++round) {
            QElapsedTimer t;
            t.start();
            if (c.mode == StatsMode::Traffic)
                worker.traffic(1, s);
            else
                worker.visitPage(1, s, c.mode, 1, kStatsPageSize);
            if (round == 0)
                std::printf("# %s, first run %.3f s\n", c.name, seconds(t));
            else
                runs << seconds(t);
        }
        const QString seed = c.mode == StatsMode::Traffic
                                 ? QStringLiteral("SELECT * FROM ipdata.usertable ORDER BY "
                                                  "Name;\n") +
                                       trafficSumsSql(s)
                                 : visitStatsSql(c.mode, s);
        print(QLatin1String(c.name), median(runs), seed);
    }
}

void SpeedRun::picker()
{
    db::Connection log;
    if (!log.open(dsn::chosenConnectionStrings().log))
        fail(QStringLiteral("picker: ") + log.lastError().message);
    QElapsedTimer t;
    t.start();
    const db::Recordset horizon = log.query(webPickerHorizonSql());
    std::optional<QString> since;
    if (!horizon.eof())
        since = horizon.field(0).toString();
    qint64 rows = 0;
    if (!log.stream(webPickerSql(since), [&](const db::Row&) { return ++rows > 0; }))
        fail(QStringLiteral("picker: ") + log.lastError().message);
    // Taken before the bare client runs: the arguments of a call have no order of their own.
    const double ours = seconds(t);
    print(QStringLiteral("picker-web"), ours,
          QStringLiteral("SELECT Title,URL FROM logtable GROUP BY URL"));
}

void SpeedRun::inserts()
{
    if (!setup_.bare) {
        std::printf("# insert cases skipped: they need the seed copy\n");
        return;
    }
    // The rate with the additions (indexes, triggers) against the seed's schema, five turns of
    // each, taking turns so that a change of the machine's load meets both.
    const double span = 6;
    QList<double> with, without, drops;
    for (int turn = 0; turn < 5; ++turn) {
        with << feed(QStringLiteral("dovrik"), span).size() / span;
        without << feed(kSeed, span).size() / span;
        drops << 100.0 * (without.last() - with.last()) / without.last();
    }
    print(QStringLiteral("insert-rate-additions"), median(with));
    print(QStringLiteral("insert-rate-seed"), median(without));
    print(QStringLiteral("insert-drop-percent"), median(drops));

    // Latency idle, then during a pruning pass of the keeper over the oldest 300,000 rows.
    const QList<double> idle = feed(QStringLiteral("dovrik"), 5);
    const qint64 keep = logRows(setup_) - 300000;
    std::atomic<bool> stop = false;
    QList<double> during;
    std::thread feeder([&] { during = feed(QStringLiteral("dovrik"), 0, &stop); });
    const KeeperPass pass = pruneLogTo(keep);
    stop = true;
    feeder.join();
    print(QStringLiteral("insert-p99-idle"), p99(idle));
    print(QStringLiteral("insert-p99-pruning"), p99(during));
    std::printf("# pruning pass %.1f s (exit %d), %lld inserts meanwhile\n", pass.seconds,
                pass.exitCode, static_cast<long long>(during.size()));
    // The pruned rows back from the seed copy, the fed rows away.
    bareOutput(setup_.root, QStringLiteral("dovrik"),
               QStringLiteral("DELETE FROM logtable WHERE Name='bench-feed';"
                              "DELETE FROM seedlog.logtable WHERE Name='bench-feed';"
                              "INSERT INTO logtable SELECT * FROM seedlog.logtable WHERE AcTime<"
                              "(SELECT MIN(AcTime) FROM logtable);DELETE FROM summarydays"));
}

void SpeedRun::prune()
{
    if (!setup_.bare)
        return pruneOnce();
    const qint64 rows = logRows(setup_);
    const qint64 keep = rows / 5;
    const QString cut = bareOutput(
        setup_.root, QStringLiteral("dovrik"),
        QStringLiteral("SELECT AcTime FROM logtable ORDER BY AcTime LIMIT %1,1").arg(rows - keep));
    // The rows the pass removes, kept aside once to put back after each run.
    bareOutput(setup_.root, QStringLiteral("dovrik"),
               QStringLiteral("DROP TABLE IF EXISTS seedlog.pruned;CREATE TABLE seedlog.pruned AS "
                              "SELECT * FROM seedlog.logtable WHERE AcTime<='%1'")
                   .arg(cut));
    QList<double> ours, seed;
    for (int run = 0; run < std::max(1, setup_.runs); ++run) {
        const KeeperPass pass = pruneLogTo(keep);
        ours << pass.seconds;
        // The same statements on the seed's schema: the count, the cut-off row, the delete.
        seed << bare(setup_, kSeed,
                     QStringLiteral("SELECT COUNT(AcTime) FROM logtable;SELECT AcTime FROM "
                                    "logtable ORDER BY AcTime LIMIT %1,1;DELETE FROM logtable "
                                    "WHERE AcTime<='%2'")
                         .arg(rows - keep)
                         .arg(cut));
        std::printf("# prune run %d: keeper %.1f s (exit %d), seed schema %.1f s\n", run + 1,
                    ours.last(), pass.exitCode, seed.last());
        bareOutput(setup_.root, QStringLiteral("dovrik"),
                   QStringLiteral("INSERT INTO dovrik.logtable SELECT * FROM seedlog.pruned;"
                                  "INSERT INTO seedlog.logtable SELECT * FROM seedlog.pruned"));
    }
    bareOutput(setup_.root, QStringLiteral("dovrik"), QStringLiteral("DROP TABLE seedlog.pruned"));
    print(QStringLiteral("prune-keeper"), median(ours));
    print(QStringLiteral("prune-seed"), median(seed));
    print(QStringLiteral("prune-ratio"), median(ours) / median(seed));
}

void SpeedRun::pruneOnce()
{
    const qint64 rows = logRows(setup_);
    const KeeperPass pass = pruneLogTo(rows / 5);
    std::printf("# prune: keeper %.1f s (exit %d), %lld rows before, %lld after\n", pass.seconds,
                pass.exitCode, static_cast<long long>(rows),
                static_cast<long long>(logRows(setup_)));
    print(QStringLiteral("prune-keeper"), pass.seconds);
}

void SpeedRun::runBare()
{
    if (!setup_.bare)
        return;
    for (Compared& c : compared_) {
        if (c.bareSql.isEmpty())
            continue;
        QList<double> runs;
        for (int run = 0; run < std::max(1, setup_.runs); ++run)
            runs << bare(setup_, kSeed, c.bareSql);
        c.bare = median(runs);
        std::printf("bare-%s %.3f\n", qPrintable(c.name), c.bare);
        std::fflush(stdout);
    }
}

void SpeedRun::printComparison() const
{
    std::printf("compare case ours bare ratio\n");
    for (const Compared& c : compared_) {
        if (c.bare < 0)
            continue;
        std::printf("compare %s %.3f %.3f %.2f\n", qPrintable(c.name), c.ours, c.bare,
                    c.ours / c.bare);
    }
}

} // namespace lt::bench
