// bench_logreading: paging the access log and the upload log on a large generated log, beside
// the bare mariadb client sending the same statements in the same run.
//
// It lays out a throw-away installation with a private server of its own, fills logtable with
// N rows and upsendtable with U rows (7 days, 200 terminals), and for each condition code runs
// the console's own path: the access-log view in a main window on the offscreen platform, its
// store and its two workers. Per code: the first page, the count, 50 next pages, the last page
// and the previous page. Every statement the workers send is recorded; the bare client then
// sends exactly those statements, one client run per operation kind, less the client's own
// start-up (a run of "SELECT 1"). Each code runs twice and the second run counts, so that
// both meet warm caches. Prints per-operation milliseconds, the ratios, and the
// resident memory of this process (the console's window, view and store) after 100 page turns.
//   bench_logreading [--rows N] [--upload-rows U] [--root DIR] [--keep]

#include "bench/datagen/datagen.h"
#include "bench/support/benchsupport.h"
#include "common/cmysql.h"
#include "common/datasources.h"
#include "common/installation.h"
#include "common/logindexes.h"
#include "common/odbc.h"
#include "overseer/core/columnlayouts.h"
#include "overseer/core/formmain.h"
#include "overseer/query/logquery.h"
#include "overseer/query/logviews.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QFile>
#include <QMutex>

#include <algorithm>
#include <cstdio>

namespace
{

using namespace lt::overseer;

using lt::bench::fail;
using lt::bench::median;
using lt::bench::ms;

qint64 residentKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    }
    return 0;
}

// The bare client: one run sending the statements, ms for the whole run.
double bareRun(const QString& root, const QString& database, const QStringList& statements)
{
    return lt::bench::bareClientMs(root, database, statements.join(QStringLiteral(";\n")));
}

// Records the statements the workers send.
class Recorder
{
public:
    Recorder()
    {
        id_ = lt::db::addStatementObserver([this](const lt::db::StatementEvent& e) {
            if (e.kind != lt::db::StatementEvent::Statement)
                return;
            QMutexLocker lock(&mutex_);
            sent_ << e.text;
        });
    }
    ~Recorder() { lt::db::removeStatementObserver(id_); }
    QStringList take()
    {
        QMutexLocker lock(&mutex_);
        return std::exchange(sent_, {});
    }

private:
    int id_ = 0;
    QMutex mutex_;
    QStringList sent_;
};

// The access-log view with its list started directly from a statement, as its procedure does
// after the condition dialogs.
class BenchView : public LogView
{
public:
    BenchView(FormMain& form, LogQueryState& state, LogTable table, bool upload)
        : LogView(form.context(), state, table), upload_(upload)
    {
    }
    QString name() const override { return upload_ ? "显示上传统计" : "显示访问日志"; }
    QString title() const override
    {
        return upload_ ? "上    传    日    志" : "访    问    日    志";
    }
    void start(const QString& listSql, const QString& countSql, const QString& code)
    {
        startList(upload_ ? ListviewHeadShow_上传() : ListviewHeadShow_日志(), listSql, countSql,
                  lt::schema::readingIndexFor(upload_ ? "upsendtable" : "logtable", code));
    }

protected:
    QStringList rowTexts(const QStringList& fields) const override
    {
        return upload_ ? QStringList{fields.value(0), fields.value(1), fields.value(4),
                                     fields.value(3), fields.value(2)}
                       : fields.mid(0, 8);
    }
    QString deleteStatement(const QStringList&) const override { return {}; }

private:
    bool upload_;
};

struct Operation {
    QString name;
    int times = 0;
    double consoleMs = 0; // all of its runs
    QStringList statements;
    double bareMs = 0; // the bare client's run of the same statements, right after
};

struct Setup {
    QString root;
    double clientStartMs = 0;
};

// The bare client sends the operation's statements, at once after the console did, so both
// meet the server in the same state.
void runBare(const Setup& setup, Operation& op)
{
    op.bareMs = std::max(0.1, bareRun(setup.root, QStringLiteral("dovrik"), op.statements) -
                                  setup.clientStartMs);
}

// Waits for the store's page (and, with `count`, its count) while the window's events run.
double waitFor(LogStore& store, bool count)
{
    QElapsedTimer t;
    t.start();
    while (store.pageRequestOut() || (count && store.counting()))
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    return ms(t);
}

// One code: the console's operations, with the statements each sent.
QList<Operation> runConsole(const Setup& setup, BenchView& view, Recorder& recorder,
                            const QString& listSql, const QString& countSql, const QString& code,
                            qint64* turns)
{
    QList<Operation> ops;
    recorder.take();
    QElapsedTimer t;
    t.start();
    view.start(listSql, countSql, code);
    LogStore& store = *view.store();
    QObject::connect(&store, &LogStore::failed, [](const QString& why) { fail(why); });
    Operation first{QStringLiteral("first page"), 1, waitFor(store, false), {}};
    Operation count{QStringLiteral("count"), 1, 0, {}};
    waitFor(store, true);
    count.consoleMs = ms(t);
    for (const QString& s : recorder.take())
        (s.startsWith(QStringLiteral("SELECT count(*)")) ? count : first).statements << s;
    runBare(setup, first);
    runBare(setup, count);
    if (store.total() < 0)
        fail(QStringLiteral("the count did not come in"));

    Operation next{QStringLiteral("next page"), 0, 0, {}};
    for (int i = 0; i < 50 && store.status().buttons[2]; ++i) {
        view.nextPage();
        next.consoleMs += waitFor(store, false);
        ++next.times;
        ++*turns;
    }
    next.statements = recorder.take();
    runBare(setup, next);
    Operation last{QStringLiteral("last page"), 1, 0, {}};
    view.lastPage();
    last.consoleMs = waitFor(store, false);
    last.statements = recorder.take();
    runBare(setup, last);
    ++*turns;
    Operation previous{QStringLiteral("previous page"), 1, 0, {}};
    view.previousPage();
    previous.consoleMs = waitFor(store, false);
    previous.statements = recorder.take();
    runBare(setup, previous);
    ++*turns;
    ops << first << next << last << previous << count;
    return ops;
}

void report(const QString& code, qint64 total, const QList<Operation>& ops)
{
    std::printf("  code %s (%lld rows match)\n", qPrintable(code), static_cast<long long>(total));
    for (const Operation& op : ops) {
        if (op.times == 0)
            continue;
        const double bare = op.bareMs;
        const double console = op.consoleMs / op.times;
        std::printf("    %-14s x%-3d console %9.1f ms   bare %9.1f ms   ratio %5.2f\n",
                    qPrintable(op.name), op.times, console, bare / op.times,
                    console / (bare / op.times));
    }
}

LogQueryState condition(const QString& code)
{
    LogQueryState s;
    s.CondCode = code;
    s.CondStart = QStringLiteral("26-11-01 00:00:00");
    s.CondEnd = QStringLiteral("26-11-08 00:00:00");
    s.CondTermIP = QStringLiteral("192.168.1.2");
    s.CondTeam = QStringLiteral("教室A组");
    s.CondTitle = QStringLiteral("股票");
    s.CondClass = QStringLiteral("游戏");
    s.CondResult = QStringLiteral("阻断");
    return s;
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    using lt::bench::valueOption;
    QCommandLineParser parser;
    const auto rows = valueOption("rows", "logtable rows", "N", "5000000");
    const auto uploadRows = valueOption("upload-rows", "upsendtable rows", "U", "500000");
    const QCommandLineOption reuse(QStringLiteral("reuse"),
                                   QStringLiteral("use the rows already in --root"));
    const auto codes = valueOption("codes", "access-log condition codes, comma separated", "LIST",
                                   "00000,10000,00100,01011");
    const auto uploadCodes =
        valueOption("upload-codes", "upload-log condition codes", "LIST", "00000,10000,00100");
    lt::bench::RunDirectory directory;
    directory.process(parser, app, {rows, uploadRows, reuse, codes, uploadCodes});

    Setup setup;
    setup.root = directory.root(parser);
    const bool again = parser.isSet(reuse);
    lt::bench::startInstallation(setup.root, {.layOut = !again});

    lt::db::Connection log;
    lt::db::Connection config;
    lt::bench::GenOptions g;
    g.rows = parser.value(rows).toLongLong();
    lt::bench::GenOptions u = g;
    u.rows = parser.value(uploadRows).toLongLong();
    QElapsedTimer fillClock;
    fillClock.start();
    if (!again) {
        lt::bench::provision(log, config);
        if (lt::bench::fillLogTable(log, g) != g.rows)
            fail(QStringLiteral("logtable: ") + log.lastError().message);
        if (lt::bench::fillUploadTable(log, u) != u.rows)
            fail(QStringLiteral("upsendtable: ") + log.lastError().message);
        std::printf("generated %lld + %lld rows in %.0f s\n", static_cast<long long>(g.rows),
                    static_cast<long long>(u.rows), ms(fillClock) / 1000);
    }
    // The server's caches warmed as after a while of use: one pass over each table.
    QList<double> starts;
    for (int i = 0; i < 3; ++i)
        starts << bareRun(setup.root, QStringLiteral("dovrik"), {QStringLiteral("SELECT 1")});
    setup.clientStartMs = median(starts);
    bareRun(setup.root, QStringLiteral("dovrik"),
            {QStringLiteral("SELECT count(*) FROM logtable"),
             QStringLiteral("SELECT count(*) FROM upsendtable")});

    const QString logString = lt::dsn::chosenConnectionStrings().log;
    FormMain form;
    form.resize(1180, 800);
    form.show();
    LogQueryState state;
    BenchView access(form, state, browseLogTable(), false);
    BenchView upload(form, state, uploadLogTable(), true);
    for (BenchView* view : {&access, &upload}) {
        view->setConnectionString(logString);
        form.addView(view);
    }
    Recorder recorder;
    qint64 turns = 0;
    std::printf("bare client start-up %.1f ms (taken off each bare run)\n", setup.clientStartMs);
    std::printf("access log, %lld logtable rows, page size 500\n", static_cast<long long>(g.rows));
    form.showView(&access);
    for (const QString& code : parser.value(codes).split(u',', Qt::SkipEmptyParts)) {
        const LogQueryState s = condition(code);
        const QString list = *logListSql(s);
        // A first pass warms the server's caches for these statements; the second counts.
        runConsole(setup, access, recorder, list, *logCountSql(s), code, &turns);
        const auto ops = runConsole(setup, access, recorder, list, *logCountSql(s), code, &turns);
        report(code, access.store()->total(), ops);
    }
    std::printf("resident memory after %lld page turns: %.1f MB\n", static_cast<long long>(turns),
                residentKb() / 1024.0);

    std::printf("upload log, %lld upsendtable rows\n", static_cast<long long>(u.rows));
    form.showView(&upload);
    for (const QString& code : parser.value(uploadCodes).split(u',', Qt::SkipEmptyParts)) {
        LogQueryState s = condition(code);
        s.CondTitle = QStringLiteral("学生12&");
        const QString list = *uploadListSql(s);
        runConsole(setup, upload, recorder, list, LogStore::countSqlOf(list), code, &turns);
        const auto ops =
            runConsole(setup, upload, recorder, list, LogStore::countSqlOf(list), code, &turns);
        report(code, upload.store()->total(), ops);
    }
    std::printf("resident memory after %lld page turns: %.1f MB\n", static_cast<long long>(turns),
                residentKb() / 1024.0);

    form.显示封面();
    log.close();
    config.close();
    directory.finish(parser);
    return 0;
}
