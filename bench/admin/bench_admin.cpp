// bench_admin: the terminal view and the black-list view on large tables, and the group policy
// dialog. It lays out a throw-away installation with a private server of its own
// (scripts/layout.sh, scripts/db.sh), fills usertable with T terminals and blacktable with B
// administrator entries, then measures, each as the median of R rounds:
//   - each view: from its procedure to the first page drawn, then on to the last page drawn;
//   - the same statement sent by the bare mariadb client (the whole run of the client, its
//     start included);
//   - adding one terminal through the add-terminal dialog with the view full;
//   - the policy dialog: from asking for it to shown, and OK until it closed.
//   bench_admin [--terminals T] [--entries B] [--rounds R] [--root DIR] [--keep]

#include "bench/datagen/datagen.h"
#include "bench/support/benchsupport.h"
#include "common/cmysql.h"
#include "common/datasources.h"
#include "common/installation.h"
#include "overseer/admin/administration.h"
#include "overseer/admin/adminrules.h"
#include "overseer/admin/policydialog.h"
#include "overseer/admin/terminaldialogs.h"
#include "overseer/core/formmain.h"

#include <QApplication>
#include <QComboBox>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QTreeView>

#include <algorithm>
#include <cstdio>

namespace
{

using namespace lt::overseer;

using lt::bench::fail;
using lt::bench::median;
using lt::bench::ms;

double bareClient(const QString& root, const QString& statement)
{
    return lt::bench::bareClientMs(root, QStringLiteral("ipdata"), statement);
}

void fillBlackList(lt::db::Connection& config, int count)
{
    config.execute(QStringLiteral("DELETE FROM blacktable"));
    config.beginTransaction();
    for (int done = 0; done < count;) {
        QStringList values;
        for (int i = 0; i < 1000 && done < count; ++i, ++done)
            values << QStringLiteral("('site%1.example.cn','标题%1','游戏','S')")
                          .arg(done, 6, 10, QChar('0'));
        if (!config.execute(QStringLiteral("INSERT INTO blacktable VALUES ") + values.join(',')))
            fail(QStringLiteral("blacktable: ") + config.lastError().message);
    }
    config.commit();
}

struct ViewFigures {
    double first = 0;
    double last = 0;
    int rows = 0;
};

ViewFigures timeView(FormMain& form, admin::AdminListView& view, const std::function<void()>& show)
{
    QElapsedTimer t;
    t.start();
    show();
    ViewFigures f;
    // The table is read beside the window; the page is drawn when it is in.
    do
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    while (view.reading());
    f.first = ms(t);
    view.lastPage();
    QCoreApplication::processEvents();
    f.last = ms(t);
    f.rows = view.listModel().rowCount();
    if (form.CurrentView != view.name())
        fail(QStringLiteral("the view did not come up"));
    return f;
}

// Adds one terminal through the dialog; ms from OK to the row in the list.
double addTerminal(FormMain& form, admin::TerminalView& view, int n)
{
    double took = 0;
    QTimer::singleShot(0, [&] {
        auto* d = qobject_cast<admin::DialogZJ*>(QApplication::activeModalWidget());
        if (!d)
            fail(QStringLiteral("the add-terminal dialog did not come up"));
        d->Text_名称->setText(QStringLiteral("新终端%1").arg(n));
        const QStringList octets = {"172", "16", QString::number(n / 250),
                                    QString::number(n % 250)};
        for (int i = 0; i < 4; ++i)
            d->Text_IP[i]->setText(octets[i]);
        d->Text_组别->setCurrentIndex(0);
        const int before = view.listModel().rowCount();
        QElapsedTimer t;
        t.start();
        d->OKButton->click();
        took = ms(t);
        if (view.listModel().rowCount() != before + 1)
            fail(QStringLiteral("the terminal was not added"));
        d->CancelButton->click();
    });
    form.context().dialog<admin::DialogZJ>().run(view);
    return took;
}

struct PolicyFigures {
    double open = 0;
    double save = 0;
};

PolicyFigures policy(FormMain& form, admin::GroupView& view)
{
    PolicyFigures f;
    QElapsedTimer t;
    QTimer::singleShot(0, [&] {
        auto* d = qobject_cast<admin::DialogSt*>(QApplication::activeModalWidget());
        if (!d)
            fail(QStringLiteral("the policy dialog did not come up"));
        f.open = ms(t);
        t.restart();
        d->OKButton->click();
        f.save = ms(t);
    });
    t.start();
    form.context().dialog<admin::DialogSt>().run(view);
    return f;
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    using lt::bench::valueOption;
    QCommandLineParser parser;
    const auto terminals = valueOption("terminals", "usertable rows", "T", "10000");
    const auto entries = valueOption("entries", "blacktable rows", "B", "32767");
    const auto rounds = valueOption("rounds", "rounds", "R", "5");
    lt::bench::RunDirectory run;
    run.process(parser, app, {terminals, entries, rounds});

    const QString root = run.root(parser);
    lt::db::Connection log;
    lt::db::Connection config;
    lt::bench::startAndProvision(root, log, config);
    const int terminalCount = parser.value(terminals).toInt();
    const int entryCount = parser.value(entries).toInt();
    config.execute(QStringLiteral("DELETE FROM usertable"));
    if (lt::bench::fillTerminals(config, terminalCount) != terminalCount)
        fail(QStringLiteral("usertable: ") + config.lastError().message);
    fillBlackList(config, entryCount);

    FormMain form;
    form.context().MySql = std::make_unique<lt::CMySql>();
    const lt::dsn::ConnectionStrings strings = lt::dsn::chosenConnectionStrings();
    if (!form.context().MySql->Cnn0.open(strings.log) ||
        !form.context().MySql->Cnn1.open(strings.config))
        fail(QStringLiteral("the console's connections"));
    admin::bindAdministration(form);
    form.show(); // the list draws the rows it shows, as it does for a person
    admin::Administration& a = *admin::administration(form);

    QList<double> tFirst, tLast, tBare, bFirst, bLast, bBare, add, pOpen, pSave;
    ViewFigures tv, bv;
    timeView(form, a.terminals, [&] { a.terminals.显示终端配置(); }); // warms the caches
    const int n = parser.value(rounds).toInt();
    for (int i = 0; i < n; ++i) {
        tv = timeView(form, a.terminals, [&] { a.terminals.显示终端配置(); });
        tFirst << tv.first;
        tLast << tv.last;
        tBare << bareClient(root, lt::overseer::admin::sql::terminals());
        bv = timeView(form, a.blackList, [&] { a.blackList.显示黑名单(); });
        bFirst << bv.first;
        bLast << bv.last;
        bBare << bareClient(root, lt::overseer::admin::sql::blackList());
    }
    a.terminals.显示终端配置();
    a.groups.显示组别配置(); // the built-in group only
    form.findChild<QTreeView*>("ListView1")->setCurrentIndex(a.groups.listModel().index(0, 0));
    for (int i = 0; i < n; ++i) {
        const PolicyFigures p = policy(form, a.groups);
        pOpen << p.open;
        pSave << p.save;
    }
    a.terminals.显示终端配置();
    for (int i = 0; i < n; ++i)
        add << addTerminal(form, a.terminals, i);

    form.context().MySql.reset();
    log.close();
    config.close();
    run.finish(parser);

    std::printf("administration views, median of %d rounds\n", n);
    std::printf("terminal view, %d terminals (%d on the last page)\n", terminalCount, tv.rows);
    std::printf("  first page shown                %9.1f ms\n", median(tFirst));
    std::printf("  last page shown                 %9.1f ms\n", median(tLast));
    std::printf("  bare client, same statement     %9.1f ms  (ratio first %.2f, last %.2f)\n",
                median(tBare), median(tFirst) / std::max(median(tBare), 1e-9),
                median(tLast) / std::max(median(tBare), 1e-9));
    std::printf("black-list view, %d entries (%d on the last page)\n", entryCount, bv.rows);
    std::printf("  first page shown                %9.1f ms\n", median(bFirst));
    std::printf("  last page shown                 %9.1f ms\n", median(bLast));
    std::printf("  bare client, same statement     %9.1f ms  (ratio first %.2f, last %.2f)\n",
                median(bBare), median(bFirst) / std::max(median(bBare), 1e-9),
                median(bLast) / std::max(median(bBare), 1e-9));
    std::printf("adding one terminal to the full view %6.1f ms\n", median(add));
    std::printf("policy dialog: opened %.1f ms, saved %.1f ms\n", median(pOpen), median(pSave));
    return 0;
}
