// bench_webpicker: how long the web page picker takes to open on a large browse log. It lays out
// a throw-away installation with a private server of its own (scripts/layout.sh, scripts/db.sh),
// fills logtable with N generated rows, then measures, each as the median of R rounds:
//   - the picker: from asking for it to its list filled and the window shown;
//   - the same two statements sent by the bare mariadb client;
//   - the grouping of the whole log the picker used to send, once.
//   bench_webpicker [--rows N] [--rounds R] [--root DIR] [--keep]

#include "bench/datagen/datagen.h"
#include "common/cmysql.h"
#include "common/datasources.h"
#include "common/installation.h"
#include "overseer/core/formmain.h"
#include "overseer/query/conditionrules.h"
#include "overseer/query/pickers.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>

#include <algorithm>
#include <cstdio>

namespace
{

[[noreturn]] void fail(const QString& what)
{
    std::fprintf(stderr, "bench_webpicker: %s\n", qPrintable(what));
    std::exit(1);
}

void script(const QStringList& args)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.start(QStringLiteral(LT_SOURCE_DIR "/scripts/") + args.first(), args.mid(1));
    if (!p.waitForFinished(600000) || p.exitCode() != 0)
        fail(args.first() + QStringLiteral(" failed"));
}

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values[values.size() / 2];
}

double ms(const QElapsedTimer& t)
{
    return t.nsecsElapsed() / 1e6;
}

// Opens the picker and closes it as soon as it is shown; ms until then, and its row count.
double openPicker(lt::overseer::FormMain& form, int* rows)
{
    QElapsedTimer t;
    double shown = 0;
    QTimer::singleShot(0, [&] {
        auto* picker = qobject_cast<lt::overseer::FormXZWY*>(QApplication::activeModalWidget());
        if (!picker)
            fail(QStringLiteral("the picker did not come up"));
        shown = ms(t);
        *rows = picker->ListView1->topLevelItemCount();
        picker->close();
    });
    t.start();
    form.context().dialog<lt::overseer::FormXZWY>().pick();
    return shown;
}

// The bare client sending the statements, ms for the whole run of the client.
double bareClient(const QString& root, const QString& statements)
{
    QElapsedTimer t;
    t.start();
    QProcess p;
    p.start(QStringLiteral(LT_SOURCE_DIR "/scripts/db.sh"),
            {QStringLiteral("client"), root, QStringLiteral("--batch"), QStringLiteral("dovrik")});
    p.write(statements.toUtf8());
    p.closeWriteChannel();
    if (!p.waitForFinished(600000) || p.exitCode() != 0)
        fail(QStringLiteral("mariadb client: ") + p.readAllStandardError());
    p.readAllStandardOutput();
    return ms(t);
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption rows(QStringLiteral("rows"), QStringLiteral("logtable rows"),
                                  QStringLiteral("N"), QStringLiteral("1000000"));
    const QCommandLineOption rounds(QStringLiteral("rounds"), QStringLiteral("rounds"),
                                    QStringLiteral("R"), QStringLiteral("5"));
    const QCommandLineOption rootOption(
        QStringLiteral("root"), QStringLiteral("installation directory"), QStringLiteral("DIR"));
    const QCommandLineOption keep(QStringLiteral("keep"),
                                  QStringLiteral("keep the installation and its server"));
    parser.addOptions({rows, rounds, rootOption, keep});
    parser.process(app);

    QTemporaryDir temporary;
    const QString root = parser.isSet(rootOption) ? parser.value(rootOption) : temporary.path();
    temporary.setAutoRemove(!parser.isSet(keep) && !parser.isSet(rootOption));
    script({QStringLiteral("layout.sh"), QStringLiteral(LT_BUILD_DIR), root});
    qputenv("LANTROVE_DB_FAST", "1");
    script({QStringLiteral("db.sh"), QStringLiteral("start"), root});
    lt::Installation::useRoot(root);
    lt::Installation::applyOdbcEnvironment();

    lt::db::Connection log;
    lt::db::Connection config;
    QString why;
    if (!lt::bench::provisionLocal(log, config, &why))
        fail(QStringLiteral("cannot reach the private server: ") + why);
    lt::bench::GenOptions g;
    g.rows = parser.value(rows).toLongLong();
    if (lt::bench::fillLogTable(log, g) != g.rows)
        fail(QStringLiteral("logtable: ") + log.lastError().message);

    lt::overseer::FormMain form;
    form.context().MySql = std::make_unique<lt::CMySql>();
    if (!form.context().MySql->Cnn2.open(lt::dsn::chosenConnectionStrings().log))
        fail(QStringLiteral("Cnn2: ") + form.context().MySql->Cnn2.lastError().message);

    const QString horizon = lt::overseer::webPickerHorizonSql();
    const lt::db::Recordset h = log.query(horizon);
    const std::optional<QString> since =
        h.eof() ? std::nullopt : std::optional<QString>(h.field(0).toString());
    const QString statements =
        horizon + QStringLiteral(";\n") + lt::overseer::webPickerSql(since) + QStringLiteral(";\n");

    int shownRows = 0;
    openPicker(form, &shownRows); // warms the server's caches; not counted
    QList<double> picker, bare;
    for (int i = 0; i < parser.value(rounds).toInt(); ++i) {
        picker << openPicker(form, &shownRows);
        bare << bareClient(root, statements);
    }
    QElapsedTimer t;
    t.start();
    const lt::db::Recordset whole = form.context().MySql->Cnn2.query(
        QStringLiteral("SELECT Title,URL FROM logtable GROUP BY URL"));
    const double wholeMs = ms(t);
    const int wholePages = whole.recordCount();

    form.context().MySql.reset();
    log.close();
    config.close();
    if (!parser.isSet(keep))
        script({QStringLiteral("db.sh"), QStringLiteral("stop"), root});

    std::printf("web page picker on %lld logtable rows, median of %d rounds\n",
                static_cast<long long>(g.rows), parser.value(rounds).toInt());
    std::printf("  picker opened and filled        %9.1f ms  (%d pages shown)\n", median(picker),
                shownRows);
    std::printf("  bare client, same statements    %9.1f ms  (ratio %.2f)\n", median(bare),
                median(picker) / std::max(median(bare), 1e-9));
    std::printf("  whole log grouped (former way)  %9.1f ms  (%d pages)\n", wholeMs, wholePages);
    return 0;
}
