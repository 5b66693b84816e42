#pragma once
// Database servers for the tests of the database layer: a MariaDB server of the test's own
// (which a test may stop, restart, freeze or reconfigure without disturbing other tests), and
// data sources registered in the test installation's odbc.ini for any server.

#include <QString>
#include <QStringList>

namespace lt::test
{

struct SourceSettings {
    QString database;
    QString user;     // stored in the data source
    QString password; // stored in the data source
    QString socket;   // the server's socket; empty: TCP on 127.0.0.1
    QString port;
};

// Writes (or rewrites) a data source of the MariaDB driver into odbc.ini.
void registerSource(const QString& dsn, const SourceSettings& settings);

class PrivateServer
{
public:
    // Creates and starts the server in a temporary directory (about 3 s); fails the whole test
    // program through qFatal when it cannot.
    PrivateServer();
    ~PrivateServer(); // continues, stops and removes it
    PrivateServer(const PrivateServer&) = delete;
    PrivateServer& operator=(const PrivateServer&) = delete;

    QString socket() const;
    QString port() const;
    // A data source on this server: over its socket, or over TCP.
    SourceSettings source(const QString& database, bool tcp = false) const;

    bool start();
    bool stop();
    // Stops the server, adds the lines to the [mysqld] section of its configuration (such as
    // "log-bin=binlog") and starts it again.
    bool restartWith(const QStringList& settings);
    // Sets the server up to serve other machines on address (scripts/db.sh serve): it then
    // has the account of remote registrations.
    bool serve(const QString& address);
    // SIGSTOP and SIGCONT to the server process.
    bool freeze();
    bool thaw();

    // Runs the mariadb client as the server's superuser; the output as tab-separated rows.
    QString sql(const QString& statements, const QString& database = {}) const;

private:
    QString db(const QString& command, const QStringList& more = {}) const;
    qint64 pid() const;
    QString root_;
    bool frozen_ = false;
};

} // namespace lt::test
