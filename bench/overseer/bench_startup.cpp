// bench_overseer: how fast the console comes up. For the console started on a private server
// it measures the time from the process start to the login dialog on the screen, and from
// "确定" to the cover on the screen; beside them the same two figures of a bare Qt program that
// opens one dialog and then one window. Prints the medians of the rounds and the ratios.
//   bench_overseer [--rounds R] [--log-rows N] [--root DIR] [--keep]
// It lays out a throw-away installation with a private server of its own (scripts/layout.sh,
// scripts/db.sh) and fills the log with N generated rows, so the console starts on a real log.
// The programs measured are this program started again as a child: once running the console
// exactly as the overseer program does, once as the bare program. "On the screen" is the first
// paint of the dialog or of the cover; the clock is the system's monotonic clock, which parent
// and child share. The platform is the display of the run (offscreen when there is none).

#include "bench/datagen/datagen.h"
#include "bench/support/benchsupport.h"
#include "common/datasources.h"
#include "common/installation.h"
#include "common/odbc.h"
#include "common/processes.h"
#include "common/schema.h"
#include "common/widgets/guiapp.h"
#include "overseer/program.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDialog>
#include <QDir>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>

namespace
{

qint64 nowNs()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return qint64(t.tv_sec) * 1000000000 + t.tv_nsec;
}

using lt::bench::fail;
using lt::bench::median;

// In a child: notes the first paint of the login dialog, confirms it as the administrator
// would, notes the first paint of the cover and ends the program.
class Probe : public QObject
{
public:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::Paint)
            return false;
        const QString name = watched->objectName();
        if (name == QLatin1String("DialogDL") && !loginSeen_) {
            loginSeen_ = true;
            std::printf("login %lld\n", nowNs());
            QTimer::singleShot(0, [] { confirm(); });
        } else if (name == QLatin1String("Picture_Face") && loginSeen_ && !coverSeen_) {
            coverSeen_ = true;
            std::printf("cover %lld\n", nowNs());
            std::fflush(stdout);
            QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
        }
        return false;
    }

private:
    static void confirm()
    {
        QWidget* dialog = QApplication::activeModalWidget();
        const QList<QLineEdit*> boxes =
            dialog ? dialog->findChildren<QLineEdit*>() : QList<QLineEdit*>();
        auto* ok = dialog ? dialog->findChild<QPushButton*>(QStringLiteral("cmdOK")) : nullptr;
        if (boxes.size() < 2 || !ok)
            fail(QStringLiteral("no login dialog to confirm"));
        boxes[0]->setText(QStringLiteral("ADM"));
        boxes[1]->setText(QStringLiteral("739"));
        std::printf("ok %lld\n", nowNs());
        ok->click();
    }
    bool loginSeen_ = false;
    bool coverSeen_ = false;
};

int runBare(QApplication& app)
{
    QDialog dialog;
    dialog.setObjectName(QStringLiteral("DialogDL"));
    dialog.setWindowTitle(QStringLiteral("登录"));
    auto* layout = new QGridLayout(&dialog);
    layout->addWidget(new QLabel(QStringLiteral("管理员名称："), &dialog), 0, 0);
    layout->addWidget(new QLineEdit(&dialog), 0, 1);
    layout->addWidget(new QLabel(QStringLiteral("管理员口令："), &dialog), 1, 0);
    layout->addWidget(new QLineEdit(&dialog), 1, 1);
    auto* ok = new QPushButton(QStringLiteral("确定"), &dialog);
    ok->setObjectName(QStringLiteral("cmdOK"));
    layout->addWidget(ok, 2, 1);
    QObject::connect(ok, &QPushButton::clicked, &dialog, &QDialog::accept);
    if (dialog.exec() != QDialog::Accepted)
        return 1;
    QWidget window;
    window.resize(1180, 800);
    auto* face = new QWidget(&window);
    face->setObjectName(QStringLiteral("Picture_Face"));
    face->setGeometry(window.rect());
    face->setAutoFillBackground(true);
    window.show();
    return app.exec();
}

int runChild(int argc, char* argv[], bool console)
{
    QApplication app(argc, argv);
    Probe probe;
    app.installEventFilter(&probe);
    if (!console)
        return runBare(app);
    lt::ui::prepareApplication(app, "overseer");
    QGuiApplication::setApplicationDisplayName(QStringLiteral("Lantrove系统"));
    return lt::overseer::runConsole(app);
}

void prepareInstallation(const QString& root, qint64 logRows)
{
    lt::db::Connection log;
    lt::db::Connection config;
    lt::bench::startAndProvision(root, log, config);
    lt::bench::GenOptions g;
    g.rows = logRows;
    if (lt::bench::fillLogTable(log, g) != logRows)
        fail(QStringLiteral("logtable: ") + log.lastError().message);
}

struct Round {
    double toLogin = 0; // ms from the process start to the login dialog painted
    double toCover = 0; // ms from "确定" to the cover painted
};

Round measure(bool console)
{
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    const qint64 start = nowNs();
    child.start(QCoreApplication::applicationFilePath(),
                {console ? QStringLiteral("--child-console") : QStringLiteral("--child-bare")});
    if (!child.waitForFinished(120000) || child.exitCode() != 0)
        fail(QStringLiteral("the measured program did not finish"));
    QHash<QString, qint64> marks;
    for (const QByteArray& line : child.readAllStandardOutput().split('\n')) {
        const QList<QByteArray> parts = line.split(' ');
        if (parts.size() == 2)
            marks.insert(QString::fromLatin1(parts[0]), parts[1].toLongLong());
    }
    if (!marks.contains("login") || !marks.contains("ok") || !marks.contains("cover"))
        fail(QStringLiteral("the measured program did not report its marks"));
    if (console) {
        for (const char* module : {"logkeeper", "qmlxsn", "qmlxblock"})
            lt::proc::killProcess(QString::fromLatin1(module));
    }
    return {(marks["login"] - start) / 1e6, (marks["cover"] - marks["ok"]) / 1e6};
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc > 1 &&
        (qstrcmp(argv[1], "--child-console") == 0 || qstrcmp(argv[1], "--child-bare") == 0))
        return runChild(argc, argv, qstrcmp(argv[1], "--child-console") == 0);

    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    const auto rounds = lt::bench::valueOption("rounds", "rounds", "R", "5");
    const auto logRows = lt::bench::valueOption("log-rows", "log rows", "N", "1000000");
    lt::bench::RunDirectory directory;
    directory.process(parser, app, {rounds, logRows});

    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    prepareInstallation(directory.root(parser), parser.value(logRows).toLongLong());

    QList<double> consoleLogin, consoleCover, bareLogin, bareCover;
    measure(true); // the first start warms the file cache and the server; not counted
    measure(false);
    for (int i = 0; i < parser.value(rounds).toInt(); ++i) {
        const Round console = measure(true);
        const Round bare = measure(false);
        consoleLogin << console.toLogin;
        consoleCover << console.toCover;
        bareLogin << bare.toLogin;
        bareCover << bare.toCover;
    }
    directory.finish(parser);

    const QString platform = qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")
                                 ? QStringLiteral("X display ") + qgetenv("DISPLAY")
                                 : QString::fromLocal8Bit(qgetenv("QT_QPA_PLATFORM"));
    std::printf("console start-up, %s log rows, %s, median of %d rounds\n",
                qPrintable(parser.value(logRows)), qPrintable(platform),
                parser.value(rounds).toInt());
    std::printf("%-34s %10s %10s %8s\n", "", "console", "bare Qt", "ratio");
    const auto row = [](const char* what, double console, double bare) {
        std::printf("%-34s %7.1f ms %7.1f ms %8.2f\n", what, console, bare, console / bare);
    };
    row("process start -> login dialog shown", median(consoleLogin), median(bareLogin));
    row("\"确定\" -> cover shown", median(consoleCover), median(bareCover));
    return 0;
}
