#pragma once
// What the tests share: a throw-away installation per test process, the private test server,
// and small helpers to wait for things that happen in other processes.

#include <QString>
#include <QStringList>
#include <functional>

namespace lt::db
{
class Connection;
}

namespace lt::test
{

// Lays out an installation in a temporary directory (scripts/layout.sh from the build), points
// this process at it (LANTROVE_ROOT, unixODBC's ini files) and uses the private test server.
// One per test process: unixODBC keeps the first ini directory it is given. On destruction the
// processes started from its app/ directory are ended and the directory removed.
class TestInstallation
{
public:
    TestInstallation();
    ~TestInstallation();
    QString root() const { return root_; }
    QString appDir() const;
    QString systemDir() const;
    // Data sources registered for the local private server ("0.0.0.0").
    void registerLocal();
    // The usual opening of a test that uses the server: the local data sources registered and
    // both databases recreated. False (nothing done) when the private test server does not answer.
    bool useFreshDatabases();

private:
    QString root_;
};

QString buildDir();
QString sourceDir();
// True when the private test server answers (the CTest fixture starts it).
bool serverAvailable();
// Runs the mariadb client as the server's superuser (the OS user that created it); returns its
// output (tab-separated rows, no header). Fails the test through qFatal when the client cannot run.
QString sql(const QString& statements, const QString& database = {});
// The same on the server behind another socket (a server of a test's own).
QString sqlOnSocket(const QString& socket, const QString& statements, const QString& database = {});

// Drops and recreates both databases through the system's own initialisation.
void initialiseDatabases();
// Opens log and config on the chosen data sources; false with the driver's message in why.
bool openDatabases(db::Connection& log, db::Connection& config, QString* why);

// Waits up to timeoutMs, letting events run, until condition() is true.
bool waitFor(const std::function<bool()>& condition, int timeoutMs = 5000);

QByteArray readFile(const QString& path);
void writeFile(const QString& path, const QByteArray& bytes);

} // namespace lt::test
