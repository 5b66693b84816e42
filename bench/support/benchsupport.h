#pragma once
// What every benchmark program shares: failing with a message, running the scripts of the
// source tree, the figures (milliseconds, medians), the bare mariadb client that the console's
// times are set beside, and the opening of a run: a throw-away installation laid out from the
// build, its private server started and both databases provisioned.

#include <QCommandLineOption>
#include <QElapsedTimer>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <algorithm>
#include <vector>

namespace lt::db
{
class Connection;
}

class QCommandLineParser;
class QCoreApplication;

namespace lt::bench
{

// Prints "PROGRAM: what" on the standard error and ends the program with 1, after stopping the
// private server the run started and removing its throw-away directory (unless --keep).
[[noreturn]] void fail(const QString& what);

// Runs scripts/NAME of the source tree with args, its error output passed on; fails the program
// when it fails or takes longer than timeoutMs.
void script(const QString& name, const QStringList& args, int timeoutMs = 3600000);

// An option that takes a value: --name VALUE, with its default.
QCommandLineOption valueOption(const QString& name, const QString& description,
                               const QString& valueName, const QString& defaultValue);

double ms(const QElapsedTimer& timer);
double seconds(const QElapsedTimer& timer);

// The middle value (the upper one of an even count); 0 for none.
template <typename List> double median(List values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

struct ClientRun {
    QString output; // trimmed; empty unless kept
    double ms = 0;  // the whole run of the client, its own start included
};

// The bare mariadb client on the private server of the installation at root (scripts/db.sh
// client), as the server's superuser, sending statements on its standard input. Its output is
// read while it runs (a large result never fills the pipe) and kept only when asked, so that
// keeping it costs nothing in a measured run. Fails the program when the client fails.
ClientRun client(const QString& root, const QString& database, const QString& statements,
                 const QStringList& options = {QStringLiteral("--batch")}, bool keepOutput = true);
// The same, for its time alone.
double bareClientMs(const QString& root, const QString& database, const QString& statements,
                    const QStringList& options = {QStringLiteral("--batch")});

struct StartOptions {
    bool layOut = true; // false: the installation at root is laid out already (a rerun on it)
    bool fast = true;   // relaxed durability (LANTROVE_DB_FAST): all but the disk-bound runs
};
// Lays out an installation at root from the build (scripts/layout.sh), starts its private
// server and points this process at it (installation root, unixODBC's ini files).
void startInstallation(const QString& root, const StartOptions& options = {});
// Registers both data sources for the local server and initialises both databases (erasing
// them), leaving log and config open on them; fails the program when the server cannot be
// reached.
void provision(db::Connection& log, db::Connection& config);
// Both steps: the server of the installation at root started, both databases provisioned.
void startAndProvision(const QString& root, db::Connection& log, db::Connection& config,
                       const StartOptions& options = {});
// Stops the private server of the installation at root.
void stopServer(const QString& root);

// A command's arguments as posix_spawn takes them (for a child whose own time and memory are
// measured), valid while the object lives.
class SpawnArgs
{
public:
    explicit SpawnArgs(const QStringList& command);
    char** argv() { return pointers_.data(); }

private:
    std::vector<QByteArray> bytes_;
    std::vector<char*> pointers_;
};

// The options --root DIR (an installation of one's own, kept) and --keep (keep the throw-away
// installation and its server running) that the benchmarks take, and the directory they choose.
class RunDirectory
{
public:
    RunDirectory();
    ~RunDirectory();
    void addOptions(QCommandLineParser& parser) const;
    // The usual command line of a benchmark: --help, these options and the run directory's,
    // processed (a wrong command line ends the program with Qt's message).
    void process(QCommandLineParser& parser, const QCoreApplication& app,
                 const QList<QCommandLineOption>& options) const;
    // After the command line is processed: DIR, or a throw-away directory, removed at the end
    // unless --keep.
    QString root(const QCommandLineParser& parser);
    bool keep(const QCommandLineParser& parser) const;
    // Stops the server unless --keep.
    void finish(const QCommandLineParser& parser) const;
    // For fail(): stops the server this run started and removes the throw-away directory,
    // unless --keep.
    void abandon();

private:
    QCommandLineOption rootOption_;
    QCommandLineOption keepOption_;
    QTemporaryDir temporary_;
    QString root_;
    bool keep_ = false;
};

} // namespace lt::bench
