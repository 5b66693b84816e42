// bench_webpicker: how long the web page picker takes to open on a large browse log. It lays out
// a throw-away installation with a private server of its own (scripts/layout.sh, scripts/db.sh),
// fills logtable with N generated rows, then measures, each as the median of R rounds:
//   - the picker: from asking for it to its list filled and the window shown;
//   - the same two statements sent by the bare mariadb client;
//   - the grouping of the whole log the picker used to send, once.
//   bench_webpicker [--rows N] [--rounds R] [--root DIR] [--keep]

#include "bench/datagen/datagen.h"
#include "bench/support/benchsupport.h"
#include "common/cmysql.h"
#include "common/datasources.h"
#include "common/installation.h"
#include "overseer/core/formmain.h"
#include "overseer/query/conditionrules.h"
#include "overseer/query/pickers.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QTimer>
#include <QTreeWidget>

#include <algorithm>
#include <cstdio>

namespace
{

using lt::bench::fail;
using lt::bench::median;
using lt::bench::ms;

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
    return lt::bench::bareClientMs(root, QStringLiteral("dovrik"), statements);
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QCommandLineParser parser;
    const auto rows = lt::bench::valueOption("rows", "logtable rows", "N", "1000000");
    const auto rounds = lt::bench::valueOption("rounds", "rounds", "R", "5");
    lt::bench::RunDirectory directory;
    directory.process(parser, app, {rows, rounds});

    const QString root = directory.root(parser);
    lt::db::Connection log;
    lt::db::Connection config;
    lt::bench::startAndProvision(root, log, config);
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
    directory.finish(parser);

    std::printf("web page picker on %lld logtable rows, median of %d rounds\n",
                static_cast<long long>(g.rows), parser.value(rounds).toInt());
    std::printf("  picker opened and filled        %9.1f ms  (%d pages shown)\n", median(picker),
                shownRows);
    std::printf("  bare client, same statements    %9.1f ms  (ratio %.2f)\n", median(bare),
                median(picker) / std::max(median(bare), 1e-9));
    std::printf("  whole log grouped (former way)  %9.1f ms  (%d pages)\n", wholeMs, wholePages);
    return 0;
}
