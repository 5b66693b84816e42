#include "bench/support/benchsupport.h"

#include "bench/datagen/datagen.h"
#include "common/installation.h"
#include "common/odbc.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <cstdio>
#include <cstdlib>

namespace lt::bench
{

namespace
{

// What a benchmark that fails half-way leaves behind unless told to keep it: the private
// server it started and its throw-away directory (fail() exits past main's destructors).
QString startedRoot;
RunDirectory* currentRun = nullptr;
bool failing = false;

QString programName()
{
    const QStringList args = QCoreApplication::arguments();
    return args.isEmpty() ? QStringLiteral("bench") : QFileInfo(args.first()).fileName();
}

} // namespace

void fail(const QString& what)
{
    std::fprintf(stderr, "%s: %s\n", qPrintable(programName()), qPrintable(what));
    if (!failing && currentRun) {
        failing = true;
        currentRun->abandon();
    }
    std::exit(1);
}

void script(const QString& name, const QStringList& args, int timeoutMs)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.start(QStringLiteral(LT_SOURCE_DIR "/scripts/") + name, args);
    if (!p.waitForFinished(timeoutMs) || p.exitCode() != 0)
        fail(name + QStringLiteral(" failed"));
}

double ms(const QElapsedTimer& timer)
{
    return timer.nsecsElapsed() / 1e6;
}

double seconds(const QElapsedTimer& timer)
{
    return timer.nsecsElapsed() / 1e9;
}

ClientRun client(const QString& root, const QString& database, const QString& statements,
                 const QStringList& options, bool keepOutput)
{
    QElapsedTimer t;
    t.start();
    QProcess p;
    QStringList args = {QStringLiteral("client"), root};
    args << options;
    if (!database.isEmpty())
        args << database;
    p.start(QStringLiteral(LT_SOURCE_DIR "/scripts/db.sh"), args);
    QByteArray input = statements.trimmed().toUtf8();
    if (!input.endsWith(';'))
        input += ';';
    p.write(input + '\n');
    p.closeWriteChannel();
    QByteArray out;
    while (p.state() != QProcess::NotRunning) {
        p.waitForReadyRead(100);
        const QByteArray chunk = p.readAllStandardOutput();
        if (keepOutput)
            out += chunk;
    }
    out += p.readAllStandardOutput();
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        fail(QStringLiteral("mariadb client: ") + QString::fromLocal8Bit(p.readAllStandardError()));
    ClientRun run;
    run.ms = ms(t);
    if (keepOutput)
        run.output = QString::fromUtf8(out).trimmed();
    return run;
}

double bareClientMs(const QString& root, const QString& database, const QString& statements,
                    const QStringList& options)
{
    return client(root, database, statements, options, false).ms;
}

void startInstallation(const QString& root, const StartOptions& options)
{
    if (options.layOut)
        script(QStringLiteral("layout.sh"), {QStringLiteral(LT_BUILD_DIR), root});
    if (options.fast)
        qputenv("LANTROVE_DB_FAST", "1");
    script(QStringLiteral("db.sh"), {QStringLiteral("start"), root});
    startedRoot = root;
    Installation::useRoot(root);
    Installation::applyOdbcEnvironment();
}

void provision(db::Connection& log, db::Connection& config)
{
    QString why;
    if (!provisionLocal(log, config, &why))
        fail(QStringLiteral("cannot reach the private server: ") + why);
}

QCommandLineOption valueOption(const QString& name, const QString& description,
                               const QString& valueName, const QString& defaultValue)
{
    return QCommandLineOption(name, description, valueName, defaultValue);
}

void startAndProvision(const QString& root, db::Connection& log, db::Connection& config,
                       const StartOptions& options)
{
    startInstallation(root, options);
    provision(log, config);
}

void stopServer(const QString& root)
{
    script(QStringLiteral("db.sh"), {QStringLiteral("stop"), root});
}

SpawnArgs::SpawnArgs(const QStringList& command)
{
    for (const QString& a : command)
        bytes_.push_back(a.toLocal8Bit());
    for (QByteArray& a : bytes_)
        pointers_.push_back(a.data());
    pointers_.push_back(nullptr);
}

RunDirectory::RunDirectory()
    : rootOption_(QStringLiteral("root"), QStringLiteral("installation directory (kept)"),
                  QStringLiteral("DIR")),
      keepOption_(QStringLiteral("keep"), QStringLiteral("keep the installation and its server")),
      temporary_(QDir::tempPath() + QStringLiteral("/lantrove-bench-XXXXXX"))
{
    currentRun = this;
}

RunDirectory::~RunDirectory()
{
    if (currentRun == this)
        currentRun = nullptr;
}

void RunDirectory::abandon()
{
    // Not through script(): a stop that fails must not end the program before the directory goes.
    if (!keep_ && !root_.isEmpty() && root_ == startedRoot)
        QProcess::execute(QStringLiteral(LT_SOURCE_DIR "/scripts/db.sh"),
                          {QStringLiteral("stop"), root_});
    if (temporary_.autoRemove())
        temporary_.remove();
}

void RunDirectory::addOptions(QCommandLineParser& parser) const
{
    parser.addOptions({rootOption_, keepOption_});
}

void RunDirectory::process(QCommandLineParser& parser, const QCoreApplication& app,
                           const QList<QCommandLineOption>& options) const
{
    parser.addHelpOption();
    parser.addOptions(options);
    addOptions(parser);
    parser.process(app);
}

QString RunDirectory::root(const QCommandLineParser& parser)
{
    if (root_.isEmpty()) {
        const bool own = parser.isSet(rootOption_);
        root_ = own ? parser.value(rootOption_) : temporary_.path();
        // The throw-away directory goes unless it is the one kept.
        keep_ = keep(parser);
        temporary_.setAutoRemove(own || !keep_);
    }
    return root_;
}

bool RunDirectory::keep(const QCommandLineParser& parser) const
{
    return parser.isSet(keepOption_);
}

void RunDirectory::finish(const QCommandLineParser& parser) const
{
    if (!keep(parser) && !root_.isEmpty())
        stopServer(root_);
}

} // namespace lt::bench
