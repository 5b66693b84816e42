// bench_blacklist_import: initialises the configuration database with a BlackName.dat of N
// records (one INSERT per record, as the provisioner sends them) and loads the same records
// into the same table with LOAD DATA LOCAL INFILE, in the same run, on a private server of its
// own. Prints records per second of both and their ratio.
//   bench_blacklist_import [--records N] [--rounds R] [--fast]
// --fast runs the server with the test servers' relaxed durability.

#include "bench/support/benchsupport.h"
#include "common/blacklist.h"
#include "common/datasources.h"
#include "common/installation.h"
#include "common/odbc.h"
#include "common/schema.h"
#include "provisioner/provisioning.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <sys/resource.h>

using namespace lt;

namespace
{

const QString kSource = QStringLiteral(LT_SOURCE_DIR);

using bench::median;

// A script of the source tree whose output is wanted (LOAD DATA's own report of its time).
bool runScript(const QString& script, const QStringList& args, QByteArray* output)
{
    QProcess p;
    p.start(kSource + QStringLiteral("/scripts/") + script, args);
    p.closeWriteChannel();
    if (!p.waitForFinished(600000) || p.exitCode() != 0) {
        std::fprintf(stderr, "%s failed: %s\n", qPrintable(script),
                     p.readAllStandardError().constData());
        return false;
    }
    if (output)
        *output = p.readAllStandardOutput();
    return true;
}

// Realistic records: domains of different lengths, Chinese titles, the seeded classes; every
// 97th title carries a single quote, every 89th domain a backslash.
std::vector<blacklist::Record> makeRecords(int n, int badEvery)
{
    const auto& classes = schema::seededClasses();
    const QStringList words = {QStringLiteral("论坛"),     QStringLiteral("娱乐城"),
                               QStringLiteral("在线游戏"), QStringLiteral("交友社区"),
                               QStringLiteral("镜像站"),   QStringLiteral("影视")};
    std::vector<blacklist::Record> records;
    records.reserve(size_t(n));
    for (int i = 0; i < n; ++i) {
        blacklist::Record r;
        r.domain = QStringLiteral("www.site%1-%2.example")
                       .arg(i, 5, 10, QLatin1Char('0'))
                       .arg(QString(i % 7 + 1, QLatin1Char('x')));
        if (i % 89 == 5)
            r.domain += QStringLiteral("\\path");
        r.title = words[i % words.size()] + QStringLiteral(" 第%1号").arg(i);
        if (i % 97 == 3)
            r.title += QStringLiteral(" O'Neil");
        if (badEvery > 0 && i % badEvery == 0)
            r.domain = QString(200, QLatin1Char('d')); // longer than Name CHAR(150)
        r.className = classes[size_t(i) % classes.size()].name;
        records.push_back(r);
    }
    return records;
}

QByteArray loadDataFile(const std::vector<blacklist::Record>& records)
{
    const auto field = [](QString v) {
        return v.replace(u'\\', QStringLiteral("\\\\")).replace(u'\t', QStringLiteral("\\t"));
    };
    QByteArray out;
    for (const auto& r : records)
        out += (field(r.domain) + u'\t' + field(r.title) + u'\t' + field(r.className) +
                QStringLiteral("\tN\n"))
                   .toUtf8();
    return out;
}

int blackTableRows()
{
    db::Connection c;
    if (!c.open(dsn::chosenConnectionStrings().config))
        return -1;
    return c.query(QStringLiteral("SELECT COUNT(*) FROM blacktable")).field(0).toInt();
}

struct Figures {
    double initSeconds = 0;   // the whole initialisation
    double importSeconds = 0; // its black list import: after downtable, to the last commit
    double loadSeconds = 0;   // the LOAD DATA statement, as the client reports it
    double loadProcessSeconds = 0;
    int inserted = 0;
    int loaded = 0;
    int failures = 0;
};

void initialise(Figures& f)
{
    db::Connection config;
    if (!schema::openForInitialisation(config, dsn::chosenConnectionStrings().config)) {
        std::fprintf(stderr, "cannot connect: %s\n", qPrintable(config.lastError().message));
        return;
    }
    QElapsedTimer timer;
    qint64 importStart = 0;
    qint64 importEnd = 0;
    const int id = db::addStatementObserver([&](const db::StatementEvent& e) {
        if (e.text.startsWith(QStringLiteral("CREATE TABLE downtable")))
            importStart = timer.nsecsElapsed();
    });
    timer.start();
    const schema::Outcome outcome = schema::initialiseConfigDatabase(
        config, prov::blackNameFilePath(), QStringLiteral("192.168.1.2"),
        [&](int, int) { importEnd = timer.nsecsElapsed(); });
    f.initSeconds = timer.nsecsElapsed() / 1e9;
    f.importSeconds = (importEnd - importStart) / 1e9;
    db::removeStatementObserver(id);
    f.failures = int(outcome.failures.size());
    f.inserted = blackTableRows();
}

// LOAD DATA through the mariadb client; its own report of the statement's time.
bool loadData(const QString& root, const QString& dataFile, Figures& f)
{
    const QString load =
        QStringLiteral("TRUNCATE TABLE blacktable; LOAD DATA LOCAL INFILE '%1' INTO TABLE "
                       "blacktable CHARACTER SET utf8mb4 FIELDS TERMINATED BY '\\t' "
                       "(Name,Title,Class,S);")
            .arg(dataFile);
    QElapsedTimer timer;
    timer.start();
    QByteArray out;
    if (!runScript(QStringLiteral("db.sh"),
                   {QStringLiteral("client"), root, QStringLiteral("ipdata"),
                    QStringLiteral("--local-infile=1"), QStringLiteral("-vvv"),
                    QStringLiteral("-e"), load},
                   &out))
        return false;
    f.loadProcessSeconds = timer.nsecsElapsed() / 1e9;
    static const QRegularExpression took(QStringLiteral("\\(([0-9.]+) sec\\)"));
    f.loadSeconds = f.loadProcessSeconds;
    for (auto m = took.globalMatch(QString::fromUtf8(out)); m.hasNext();)
        f.loadSeconds = m.next().captured(1).toDouble();
    f.loaded = blackTableRows();
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Black list import against LOAD DATA."));
    parser.addHelpOption();
    const QCommandLineOption recordsOpt(QStringLiteral("records"), QStringLiteral("records"),
                                        QStringLiteral("N"), QStringLiteral("30000"));
    const QCommandLineOption roundsOpt(QStringLiteral("rounds"), QStringLiteral("rounds"),
                                       QStringLiteral("R"), QStringLiteral("3"));
    const QCommandLineOption fastOpt(QStringLiteral("fast"), QStringLiteral("relaxed durability"));
    parser.addOptions({recordsOpt, roundsOpt, fastOpt});
    parser.process(app);
    const int n = std::min(parser.value(recordsOpt).toInt(), 32767);
    const int rounds = std::max(1, parser.value(roundsOpt).toInt());

    QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/lantrove-bench-XXXXXX"));
    const QString root = dir.path();
    bench::startInstallation(root, {.fast = parser.isSet(fastOpt)});
    dsn::registerDataSources(dsn::kLocalAddress);

    const auto records = makeRecords(n, 0);
    const QString dataFile = root + QStringLiteral("/run/blacklist.tsv");
    QFile tsv(dataFile);
    if (!blacklist::write(prov::blackNameFilePath(), records) || !tsv.open(QIODevice::WriteOnly) ||
        tsv.write(loadDataFile(records)) < 0)
        return 1;
    tsv.close();

    std::printf("black list import: %d records, %d rounds, %s server\n", n, rounds,
                parser.isSet(fastOpt) ? "relaxed" : "durable");
    std::vector<double> imports, inits, loads;
    bool ok = true;
    for (int r = 1; r <= rounds && ok; ++r) {
        Figures f;
        initialise(f);
        ok = loadData(root, dataFile, f) && f.inserted == n && f.loaded == n;
        std::printf("round %d: initialisation %.2f s (import %.2f s, %.0f records/s; %d rows, "
                    "%d failed statements); LOAD DATA %.3f s, %.0f records/s (client process "
                    "%.2f s; %d rows)\n",
                    r, f.initSeconds, f.importSeconds, n / f.importSeconds, f.inserted, f.failures,
                    f.loadSeconds, n / f.loadSeconds, f.loadProcessSeconds, f.loaded);
        imports.push_back(f.importSeconds);
        inits.push_back(f.initSeconds);
        loads.push_back(f.loadSeconds);
    }
    if (ok) {
        const double import = n / median(imports);
        const double init = n / median(inits);
        const double load = n / median(loads);
        std::printf("median: import %.0f records/s, LOAD DATA %.0f records/s: ratio %.1f %% "
                    "(target 15 %%)\n",
                    import, load, 100.0 * import / load);
        std::printf("        whole initialisation (tables, import, seeds) %.0f records/s: "
                    "%.1f %% of LOAD DATA\n",
                    init, 100.0 * init / load);
    }

    // A file with a bad record in every hundred: each costs only itself.
    const int badEvery = 100;
    if (ok && blacklist::write(prov::blackNameFilePath(), makeRecords(n, badEvery))) {
        Figures f;
        initialise(f);
        const int bad = (n + badEvery - 1) / badEvery;
        std::printf("with %d bad records: import %.2f s, %.0f records/s, %d rows inserted "
                    "(expected %d), %d failed statements\n",
                    bad, f.importSeconds, n / f.importSeconds, f.inserted, n - bad, f.failures);
        ok = f.inserted == n - bad;
    }

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("peak memory of this process: %.1f MB\n", usage.ru_maxrss / 1024.0);
    bench::stopServer(root);
    return ok ? 0 : 1;
}
