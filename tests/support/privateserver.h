#pragma once
// A database server of one test's own (scripts/db.sh on a directory of its own), for tests that
// stop and start the server: the tests that share the fixture's server go on undisturbed. While
// it is in use, both data sources of the test's installation point at it; afterwards they
// point at the server they pointed at before.

#include "common/datasources.h"
#include "common/installation.h"
#include "tests/support/testsupport.h"

#include <QDir>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>

namespace lt::test
{

class PrivateServer
{
public:
    PrivateServer() : dir_(QDir::tempPath() + QStringLiteral("/lantrove-server-XXXXXX"))
    {
        ready_ = run(QStringLiteral("init"));
    }
    ~PrivateServer()
    {
        if (registered_) {
            Installation::writeServerSettings(previous_);
            dsn::registerDataSources(dsn::kLocalAddress);
        }
        run(QStringLiteral("stop"));
    }
    PrivateServer(const PrivateServer&) = delete;
    PrivateServer& operator=(const PrivateServer&) = delete;

    bool ready() const { return ready_; }
    bool start() { return run(QStringLiteral("start")); }
    bool stop() { return run(QStringLiteral("stop")); }

    ServerSettings settings() const
    {
        QSettings ini(dir_.path() + QStringLiteral("/system/server.ini"), QSettings::IniFormat);
        ServerSettings s;
        s.port = ini.value(QStringLiteral("server/port")).toString();
        s.socket = ini.value(QStringLiteral("server/socket")).toString();
        return s;
    }

    // Both data sources of this process's installation, registered for this server.
    void registerDataSources()
    {
        if (!registered_)
            previous_ = Installation::server();
        registered_ = true;
        Installation::writeServerSettings(settings());
        dsn::registerDataSources(dsn::kLocalAddress);
    }

private:
    bool run(const QString& command)
    {
        QProcess db;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("LANTROVE_DB_FAST"), QStringLiteral("1"));
        db.setProcessEnvironment(env);
        db.start(sourceDir() + QStringLiteral("/scripts/db.sh"), {command, dir_.path()});
        if (!db.waitForFinished(120000))
            return false;
        if (db.exitCode() != 0)
            qWarning("db.sh %s: %s", qPrintable(command), db.readAllStandardError().constData());
        return db.exitCode() == 0;
    }

    QTemporaryDir dir_;
    bool ready_ = false;
    bool registered_ = false;
    ServerSettings previous_;
};

} // namespace lt::test
