#pragma once
// A MariaDB server of one test's own (scripts/db.sh on a temporary directory), for tests that
// stop, restart, freeze or reconfigure their server: the tests that share the fixture's server
// go on undisturbed. It can carry both data sources of the test's installation for a while
// (registerDataSources, undone when it ends), and data sources of any name in the test
// installation's odbc.ini (registerSource).

#include "common/installation.h"

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
    // program through qFatal when it cannot, since none of its cases could run.
    PrivateServer();
    // Continues a frozen server, points the installation's data sources back where they
    // pointed before registerDataSources, stops the server and removes its directory.
    ~PrivateServer();
    PrivateServer(const PrivateServer&) = delete;
    PrivateServer& operator=(const PrivateServer&) = delete;

    QString socket() const;
    QString port() const;
    // The server as the installation's server settings name it (port and socket).
    ServerSettings settings() const;
    // A data source on this server: over its socket, or over TCP.
    SourceSettings source(const QString& database, bool tcp = false) const;

    // Both data sources of this process's installation, registered for this server.
    void registerDataSources();

    // Whether the server answers now (scripts/db.sh status).
    bool ready() const;
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
    bool db(const QString& command, const QStringList& more = {}) const;
    qint64 pid() const;
    QString root_;
    bool frozen_ = false;
    bool registered_ = false;
    ServerSettings previous_;
};

} // namespace lt::test
