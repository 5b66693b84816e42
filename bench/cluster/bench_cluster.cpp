// bench_cluster: the log on a Galera cluster of three nodes (scripts/cluster.sh) beside the same
// work on one private server (scripts/db.sh), in the same run on this machine:
//   - the capture side's insert rate: two row writers (the shared writer of the capture modules)
//     each writing N browse-log rows, both on the one server, or on nodes 1 and 2;
//   - a page of the console (the newest 100 rows of the log) on the one server, or on node 3,
//     idle and while the two writers write;
//   - the pruning's large delete, and how long the other nodes take to apply it, with the log's
//     row key and without it (the key the upgrade adds; without it a node certifies and applies
//     the deleted rows by whole-row hashes and a secondary index).
//   bench_cluster [--rows N] [--pages P] [--keep DIR]
// Every node and the one server get the same small buffer pool (LANTROVE_DB_POOL_MB, 96 MB by
// default) and the test servers' relaxed flushing (LANTROVE_DB_FAST=1).

#include "common/logindexes.h"
#include "common/logrows.h"
#include "common/odbc.h"
#include "common/schema.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <thread>

using namespace lt;

namespace
{

QString g_dir;

[[noreturn]] void fail(const QString& what)
{
    std::fprintf(stderr, "bench_cluster: %s\n", qPrintable(what));
    std::exit(1);
}

QString script(const QString& name, const QStringList& args)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LANTROVE_DB_FAST"), QStringLiteral("1"));
    if (!env.contains(QStringLiteral("LANTROVE_DB_POOL_MB")))
        env.insert(QStringLiteral("LANTROVE_DB_POOL_MB"), QStringLiteral("96"));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(LT_SOURCE_DIR "/scripts/") + name, args);
    if (!p.waitForFinished(900000) || p.exitCode() != 0)
        fail(name + u' ' + args.join(u' ') + QStringLiteral(" failed"));
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

QString driver()
{
    for (const char* path :
         {"/usr/lib/x86_64-linux-gnu/odbc/libmaodbc.so",
          "/usr/lib/aarch64-linux-gnu/odbc/libmaodbc.so", "/usr/lib/libmaodbc.so"})
        if (QFile::exists(QLatin1String(path)))
            return QLatin1String(path);
    fail(QStringLiteral("the MariaDB ODBC driver (odbc-mariadb) is not installed"));
}

// A connection string of the remote account on one server, without a data source.
QString at(const QString& port, const QString& database = QStringLiteral("dovrik"))
{
    return QStringLiteral("DRIVER=%1;SERVER=127.0.0.1;PORT=%2;DATABASE=%3;UID=qmlxdovrik;"
                          "PWD=tovk318254;")
        .arg(driver(), port, database);
}

void open(db::Connection& c, const QString& string)
{
    if (!c.open(string))
        fail(QStringLiteral("cannot connect: ") + c.lastError().message);
}

void exec(db::Connection& c, const QString& sql)
{
    if (!c.execute(sql))
        fail(sql + QStringLiteral(": ") + c.lastError().message);
}

// Both databases through the system's own initialisation (the log with its row keys).
void initialise(const QString& port)
{
    db::Connection c;
    if (!schema::openForInitialisation(c, at(port)))
        fail(QStringLiteral("cannot reach the server: ") + c.lastError().message);
    const schema::Outcome o = schema::initialiseLogDatabase(c);
    for (const QString& failure : o.failures) {
        if (!failure.startsWith(QStringLiteral("Drop Database"))) // none there yet
            fail(failure);
    }
    exec(c, QStringLiteral("CREATE DATABASE IF NOT EXISTS ipdata"));
}

logrows::LogRow row(int writer, qint64 n)
{
    logrows::LogRow r;
    r.name = QStringLiteral("pc%1").arg(n % 50);
    r.ip = QStringLiteral("10.%1.0.%2").arg(writer).arg(n % 50);
    r.acTime = QDateTime::currentDateTime().toString(QStringLiteral("yy-MM-dd HH:mm:ss"));
    r.team = QStringLiteral("临时工作组");
    r.title = QStringLiteral("页面 %1").arg(n % 300);
    r.url = QStringLiteral("http://site%1.example.cn/%2").arg(n % 300).arg(n);
    r.result = QStringLiteral("放行");
    r.length = 1000 + n % 5000;
    return r;
}

// Each writer on its own server writes `rows` rows (all of them when rows > 0; until `stop`
// otherwise); rows per second of all writers together.
double write(const QStringList& ports, qint64 rows, const std::atomic<bool>* stop = nullptr)
{
    QElapsedTimer t;
    t.start();
    std::atomic<qint64> total{0};
    std::vector<std::thread> threads;
    for (int w = 0; w < int(ports.size()); ++w) {
        threads.emplace_back([&, w] {
            logrows::RowWriter::Settings s;
            s.logConnection = at(ports[w]);
            s.configConnection = at(ports[w], QStringLiteral("ipdata"));
            logrows::RowWriter writer(s);
            writer.start();
            qint64 n = 0;
            for (; rows > 0 ? n < rows : !stop->load(); ++n) {
                writer.add(row(w, n));
                if (rows <= 0 && n % 200 == 199)
                    QThread::msleep(5); // a steady feed, not a flood, while pages are read
            }
            while (!writer.flush())
                QThread::msleep(100);
            if (writer.stats().totalDropped() > 0)
                fail(QStringLiteral("a writer dropped rows"));
            total += n;
        });
    }
    for (std::thread& th : threads)
        th.join();
    return total * 1000.0 / std::max<qint64>(1, t.elapsed());
}

struct PageTimes {
    double median = 0, p95 = 0;
};

PageTimes pages(const QString& port, int count)
{
    db::Connection c;
    open(c, at(port));
    std::vector<double> ms;
    for (int i = 0; i < count; ++i) {
        QElapsedTimer t;
        t.start();
        const db::Recordset rs =
            c.query(QStringLiteral("SELECT * FROM logtable WHERE AcTime>='00-01-01 00:00:00' "
                                   "ORDER BY AcTime DESC LIMIT 100"));
        if (c.failed())
            fail(c.lastError().message);
        ms.push_back(t.nsecsElapsed() / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2], ms[ms.size() * 95 / 100]};
}

// Pages on `pagePort` while writers write on `writePorts`.
PageTimes pagesWhileWriting(const QString& pagePort, const QStringList& writePorts, int count,
                            double* rate)
{
    std::atomic<bool> stop{false};
    std::thread writers([&] { *rate = write(writePorts, 0, &stop); });
    QThread::msleep(1000);
    const PageTimes t = pages(pagePort, count);
    stop = true;
    writers.join();
    return t;
}

// The rows of the log as the node holds them now; -1 when it does not answer.
qint64 countOn(const QString& port)
{
    db::Connection c;
    open(c, at(port));
    const db::Recordset rs = c.query(QStringLiteral("SELECT COUNT(*) FROM logtable"));
    return c.failed() ? -1 : rs.field(0).toLongLong();
}

// The pruning's delete of the older half on `port`; seconds until it returned, and until every
// port of `others` has applied it.
std::pair<double, double> prune(const QString& port, const QStringList& others)
{
    db::Connection c;
    open(c, at(port));
    const QString cut = c.query(QStringLiteral("SELECT AcTime FROM logtable ORDER BY AcTime LIMIT "
                                               "%1,1")
                                    .arg(countOn(port) / 2))
                            .field(0)
                            .toString();
    QElapsedTimer t;
    t.start();
    qint64 deleted = 0;
    if (!c.execute(QStringLiteral("DELETE FROM logtable WHERE AcTime<='%1'").arg(cut), &deleted))
        fail(c.lastError().message);
    const double local = t.nsecsElapsed() / 1e9;
    const qint64 left = countOn(port);
    // Polled: a node applying a long delete makes a causal read (wsrep_sync_wait) time out.
    for (const QString& other : others) {
        while (countOn(other) != left) {
            if (t.elapsed() > 1800000)
                fail(QStringLiteral("a node did not apply the delete in 30 minutes"));
            QThread::msleep(100);
        }
    }
    std::printf("    deleted %lld rows\n", deleted);
    return {local, t.nsecsElapsed() / 1e9};
}

void setRowKey(const QString& port, bool keyed)
{
    db::Connection c;
    open(c, at(port));
    exec(c,
         keyed ? schema::addRowKeySql(QStringLiteral("logtable"))
               : QStringLiteral("ALTER TABLE dovrik.logtable DROP PRIMARY KEY, DROP COLUMN RowId"));
}

void report(const char* what, const PageTimes& t)
{
    std::printf("  %-44s median %7.1f ms   p95 %7.1f ms\n", what, t.median, t.p95);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption rowsOpt("rows", "rows per writer", "N", "20000");
    const QCommandLineOption pagesOpt("pages", "pages read per measurement", "P", "200");
    const QCommandLineOption keepOpt("keep", "work directory (kept)", "DIR");
    parser.addOptions({rowsOpt, pagesOpt, keepOpt});
    parser.process(app);
    const qint64 rows = parser.value(rowsOpt).toLongLong();
    const int pageCount = parser.value(pagesOpt).toInt();
    QTemporaryDir temp(QDir::tempPath() + QStringLiteral("/lantrove-bench-cluster-XXXXXX"));
    g_dir = parser.isSet(keepOpt) ? parser.value(keepOpt) : temp.path();
    temp.setAutoRemove(!parser.isSet(keepOpt));

    const QString single = g_dir + QStringLiteral("/single");
    const QString cluster = g_dir + QStringLiteral("/cluster");
    std::printf("starting one server and a cluster of three nodes...\n");
    std::fflush(stdout);
    script(QStringLiteral("db.sh"), {QStringLiteral("serve"), single, QStringLiteral("127.0.0.1")});
    script(QStringLiteral("cluster.sh"), {QStringLiteral("start"), cluster, QStringLiteral("3")});
    const QString one =
        script(QStringLiteral("db.sh"), {QStringLiteral("client"), single, QStringLiteral("-N"),
                                         QStringLiteral("-e"), QStringLiteral("SELECT @@port")});
    const QStringList nodes =
        script(QStringLiteral("cluster.sh"), {QStringLiteral("ports"), cluster}).split(u'\n');
    if (nodes.size() != 3)
        fail(QStringLiteral("the cluster has not three nodes"));
    initialise(one);
    initialise(nodes[0]);

    std::printf("\ninsert rate, two row writers of %lld rows each:\n", rows);
    const double singleRate = write({one, one}, rows);
    const double clusterRate = write({nodes[0], nodes[1]}, rows);
    std::printf("  one server, both writers:        %8.0f rows/s\n", singleRate);
    std::printf("  cluster, writers on nodes 1, 2:  %8.0f rows/s  (%.2f of one server)\n",
                clusterRate, clusterRate / singleRate);

    std::printf("\na page of the console (newest 100 rows of %lld):\n", countOn(one));
    double rate = 0;
    report("one server, idle", pages(one, pageCount));
    report("one server, while two writers write",
           pagesWhileWriting(one, {one, one}, pageCount, &rate));
    std::printf("    (the writers meanwhile: %.0f rows/s)\n", rate);
    report("node 3, idle", pages(nodes[2], pageCount));
    report("node 3, while nodes 1 and 2 take writes",
           pagesWhileWriting(nodes[2], {nodes[0], nodes[1]}, pageCount, &rate));
    std::printf("    (the writers meanwhile: %.0f rows/s)\n", rate);

    std::printf("\nthe pruning's delete of the older half (seconds until done on the node, "
                "until applied on every node):\n");
    auto [singleLocal, singleAll] = prune(one, {});
    std::printf("  one server:                  %6.2f s\n", singleLocal);
    const auto keyed = prune(nodes[0], {nodes[1], nodes[2]});
    std::printf("  cluster, with the row key:   %6.2f s  %6.2f s\n", keyed.first, keyed.second);
    write({nodes[0], nodes[1]}, rows / 2); // as many rows again, to delete once more
    setRowKey(nodes[0], false);
    const auto bare = prune(nodes[0], {nodes[1], nodes[2]});
    std::printf("  cluster, without a key:      %6.2f s  %6.2f s\n", bare.first, bare.second);
    (void)singleAll;

    script(QStringLiteral("cluster.sh"), {QStringLiteral("stop"), cluster});
    script(QStringLiteral("db.sh"), {QStringLiteral("stop"), single});
    return 0;
}
