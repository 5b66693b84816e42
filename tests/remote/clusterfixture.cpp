#include "tests/remote/clusterfixture.h"

#include "common/datasources.h"
#include "common/registry.h"
#include "tests/support/testsupport.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

namespace lt::test
{

ClusterFixture::ClusterFixture()
{
    QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/lantrove-cluster-XXXXXX"));
    dir.setAutoRemove(false);
    dir_ = dir.path();
}

ClusterFixture::~ClusterFixture()
{
    stop();
    QDir(dir_).removeRecursively();
}

bool ClusterFixture::script(const QStringList& arguments, int timeoutMs)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LANTROVE_DB_FAST"), QStringLiteral("1"));
    env.insert(QStringLiteral("LANTROVE_DB_POOL_MB"), QStringLiteral("64"));
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(sourceDir() + QStringLiteral("/scripts/cluster.sh"), arguments);
    const bool finished = p.waitForFinished(timeoutMs);
    output_ = QString::fromUtf8(p.readAll());
    return finished && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

bool ClusterFixture::start(int nodes)
{
    if (!script({QStringLiteral("start"), dir_, QString::number(nodes)}))
        return false;
    const bool listed = script({QStringLiteral("ports"), dir_});
    ports_ = output_.split(u'\n', Qt::SkipEmptyParts);
    return listed && ports_.size() == nodes;
}

void ClusterFixture::stop()
{
    if (!ports_.isEmpty())
        script({QStringLiteral("stop"), dir_});
    ports_.clear();
}

bool ClusterFixture::stopNode(int node)
{
    return script({QStringLiteral("node-stop"), dir_, QString::number(node)});
}

bool ClusterFixture::startNode(int node)
{
    return script({QStringLiteral("node-start"), dir_, QString::number(node)});
}

QString ClusterFixture::port(int node) const
{
    return ports_.value(node - 1);
}

QString ClusterFixture::socket(int node) const
{
    return dir_ + QStringLiteral("/node%1/run/mariadb.sock").arg(node);
}

QString ClusterFixture::logDsn(int node)
{
    return node == 3 ? dsn::kLogDsn : QStringLiteral("ClusterLog%1").arg(node);
}

QString ClusterFixture::configDsn(int node)
{
    return node == 3 ? dsn::kConfigDsn : QStringLiteral("ClusterConfig%1").arg(node);
}

void ClusterFixture::registerInstallations()
{
    for (int node = 1; node <= int(ports_.size()); ++node) {
        // Its own node first, then the next ones round: the driver tries them in turn.
        QStringList servers;
        for (int i = 0; i < int(ports_.size()); ++i)
            servers << QStringLiteral("127.0.0.1:") + ports_[(node - 1 + i) % ports_.size()];
        const QString server = servers.join(u',');
        for (const bool log : {true, false}) {
            const QString key = reg::kOdbcIni + u'\\' + (log ? logDsn(node) : configDsn(node));
            reg::createKey(key);
            reg::setValue(key, QStringLiteral("Driver"), dsn::driverLibrary());
            reg::setValue(key, QStringLiteral("Database"),
                          log ? QStringLiteral("dovrik") : QStringLiteral("ipdata"));
            reg::setValue(key, QStringLiteral("User"), dsn::kRemoteUser);
            reg::setValue(key, QStringLiteral("Password"), dsn::kRemotePassword);
            reg::setValue(key, QStringLiteral("Server"), server);
            reg::setValue(key, QStringLiteral("Port"), port(node));
            reg::setValue(key, QStringLiteral("Socket"), QString());
        }
    }
}

QString ClusterFixture::sql(int node, const QString& statements, const QString& database) const
{
    QString out = sqlOnSocket(
        socket(node), QStringLiteral("SET SESSION wsrep_sync_wait=1;\n") + statements, database);
    if (out.endsWith(u'\n'))
        out.chop(1);
    return out;
}

qint64 ClusterFixture::count(int node, const QString& statement) const
{
    bool ok = false;
    const qint64 n = sql(node, statement, QStringLiteral("dovrik")).trimmed().toLongLong(&ok);
    return ok ? n : -1;
}

} // namespace lt::test
