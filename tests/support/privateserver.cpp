#include "tests/support/privateserver.h"

#include "common/datasources.h"
#include "common/registry.h"
#include "tests/support/testsupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QSettings>
#include <QTemporaryDir>
#include <QThread>
#include <csignal>

namespace lt::test
{

void registerSource(const QString& dsn, const SourceSettings& s)
{
    const QString key = reg::kOdbcIni + u'\\' + dsn;
    reg::createKey(key);
    reg::setValue(key, QStringLiteral("Driver"), dsn::driverLibrary());
    reg::setValue(key, QStringLiteral("Database"), s.database);
    reg::setValue(key, QStringLiteral("User"), s.user);
    reg::setValue(key, QStringLiteral("Password"), s.password);
    reg::setValue(key, QStringLiteral("Server"),
                  s.socket.isEmpty() ? QStringLiteral("127.0.0.1") : QStringLiteral("localhost"));
    reg::setValue(key, QStringLiteral("Port"), s.port);
    reg::setValue(key, QStringLiteral("Socket"), s.socket);
}

PrivateServer::PrivateServer()
{
    QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/lantrove-server-XXXXXX"));
    dir.setAutoRemove(false);
    root_ = dir.path();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LANTROVE_DB_FAST"), QStringLiteral("1"));
    // A port outside the range the other servers of a test run pick from; another process may
    // still take it between the check and the start, so a few tries.
    QByteArray why;
    for (int attempt = 0; attempt < 4; ++attempt) {
        QDir(root_).removeRecursively();
        const QString port = QString::number(20000 + QRandomGenerator::global()->bounded(20000));
        QProcess init;
        init.setProcessEnvironment(env);
        init.start(sourceDir() + QStringLiteral("/scripts/db.sh"),
                   {QStringLiteral("init"), root_, port});
        if (init.waitForFinished(120000) && init.exitCode() == 0)
            return;
        why = init.readAllStandardError();
    }
    qFatal("cannot start a private server: %s", why.constData());
}

PrivateServer::~PrivateServer()
{
    thaw();
    if (registered_) {
        Installation::writeServerSettings(previous_);
        dsn::registerDataSources(dsn::kLocalAddress);
    }
    stop();
    QDir(root_).removeRecursively();
}

ServerSettings PrivateServer::settings() const
{
    ServerSettings s;
    s.port = port();
    s.socket = socket();
    return s;
}

void PrivateServer::registerDataSources()
{
    if (!registered_)
        previous_ = Installation::server();
    registered_ = true;
    Installation::writeServerSettings(settings());
    dsn::registerDataSources(dsn::kLocalAddress);
}

bool PrivateServer::db(const QString& command, const QStringList& more) const
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LANTROVE_DB_FAST"), QStringLiteral("1"));
    p.setProcessEnvironment(env);
    p.start(sourceDir() + QStringLiteral("/scripts/db.sh"), QStringList{command, root_} + more);
    if (!p.waitForFinished(120000)) {
        qWarning("db.sh %s: no answer in two minutes", qPrintable(command));
        return false;
    }
    // "status" fails quietly when the server is down: that is its answer, not a fault.
    if (p.exitCode() != 0 && command != QLatin1String("status"))
        qWarning("db.sh %s: %s", qPrintable(command), p.readAllStandardError().constData());
    return p.exitCode() == 0;
}

QString PrivateServer::socket() const
{
    return root_ + QStringLiteral("/run/mariadb.sock");
}

QString PrivateServer::port() const
{
    QSettings ini(root_ + QStringLiteral("/system/server.ini"), QSettings::IniFormat);
    return ini.value(QStringLiteral("server/port")).toString();
}

SourceSettings PrivateServer::source(const QString& database, bool tcp) const
{
    SourceSettings s;
    s.database = database;
    s.socket = tcp ? QString() : socket();
    s.port = port();
    return s;
}

bool PrivateServer::ready() const
{
    return db(QStringLiteral("status"));
}

bool PrivateServer::start()
{
    return db(QStringLiteral("start"));
}

bool PrivateServer::restartWith(const QStringList& settings)
{
    if (!stop())
        return false;
    QFile cnf(root_ + QStringLiteral("/system/my.cnf"));
    if (!cnf.open(QIODevice::ReadOnly))
        return false;
    QByteArray text = cnf.readAll();
    cnf.close();
    text.replace("[mysqld]\n", "[mysqld]\n" + settings.join(u'\n').toUtf8() + '\n');
    if (!cnf.open(QIODevice::WriteOnly | QIODevice::Truncate) || cnf.write(text) != text.size())
        return false;
    cnf.close();
    return start();
}

bool PrivateServer::serve(const QString& address)
{
    return db(QStringLiteral("serve"), {address});
}

bool PrivateServer::stop()
{
    return db(QStringLiteral("stop"));
}

qint64 PrivateServer::pid() const
{
    QFile file(root_ + QStringLiteral("/run/mariadb.pid"));
    return file.open(QIODevice::ReadOnly) ? file.readAll().trimmed().toLongLong() : 0;
}

namespace
{
// Whether every thread of the process has stopped: a thread that had just woken for a request
// when SIGSTOP came still answers it before it stops.
bool allThreadsStopped(qint64 pid)
{
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile stat(tasks.filePath(task) + QStringLiteral("/stat"));
        if (!stat.open(QIODevice::ReadOnly))
            continue; // the thread has ended
        const QByteArray line = stat.readAll();
        const qsizetype after = line.lastIndexOf(')'); // the name may hold blanks
        const char state = after >= 0 && after + 2 < line.size() ? line[after + 2] : '?';
        if (state != 'T' && state != 't')
            return false;
    }
    return true;
}
} // namespace

bool PrivateServer::freeze()
{
    const qint64 p = pid();
    frozen_ = p > 0 && ::kill(pid_t(p), SIGSTOP) == 0;
    for (int i = 0; frozen_ && i < 200 && !allThreadsStopped(p); ++i)
        QThread::msleep(10);
    return frozen_;
}

bool PrivateServer::thaw()
{
    if (!frozen_)
        return true;
    const qint64 p = pid();
    frozen_ = !(p > 0 && ::kill(pid_t(p), SIGCONT) == 0);
    return !frozen_;
}

QString PrivateServer::sql(const QString& statements, const QString& database) const
{
    return sqlOnSocket(socket(), statements, database);
}

} // namespace lt::test
