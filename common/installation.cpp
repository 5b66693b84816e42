#include "common/installation.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <csignal>

namespace lt
{

namespace
{

QString& overriddenRoot()
{
    static QString root;
    return root;
}

} // namespace

QString Installation::root()
{
    if (!overriddenRoot().isEmpty())
        return overriddenRoot();
    const QByteArray env = qgetenv("LANTROVE_ROOT");
    if (!env.isEmpty())
        return QDir(QString::fromLocal8Bit(env)).absolutePath();
    QDir dir(QCoreApplication::applicationDirPath());
    dir.cdUp();
    return dir.absolutePath();
}

QString Installation::appDir()
{
    return root() + QStringLiteral("/app");
}
QString Installation::systemDir()
{
    return root() + QStringLiteral("/system");
}
QString Installation::runDir()
{
    return root() + QStringLiteral("/run");
}
QString Installation::dbDir()
{
    return root() + QStringLiteral("/db");
}

void Installation::useRoot(const QString& root)
{
    overriddenRoot() = QDir(root).absolutePath();
    qputenv("LANTROVE_ROOT", overriddenRoot().toLocal8Bit());
}

void Installation::applyOdbcEnvironment()
{
    const QByteArray dir = systemDir().toLocal8Bit();
    qputenv("ODBCSYSINI", dir);
    qputenv("ODBCINI", dir + "/odbc.ini");
}

ServerSettings Installation::server()
{
    ServerSettings settings;
    const QString path = systemDir() + QStringLiteral("/server.ini");
    if (!QFile::exists(path))
        return settings;
    QSettings ini(path, QSettings::IniFormat);
    settings.port = ini.value(QStringLiteral("server/port"), settings.port).toString();
    settings.socket = ini.value(QStringLiteral("server/socket")).toString();
    return settings;
}

bool Installation::writeServerSettings(const ServerSettings& settings)
{
    QSettings ini(systemDir() + QStringLiteral("/server.ini"), QSettings::IniFormat);
    ini.setValue(QStringLiteral("server/port"), settings.port);
    ini.setValue(QStringLiteral("server/socket"), settings.socket);
    ini.sync();
    return ini.status() == QSettings::NoError;
}

void Installation::initialiseProcess()
{
    std::signal(SIGXFSZ, SIG_IGN);
    const QString r = root();
    qputenv("LANTROVE_ROOT", r.toLocal8Bit());
    applyOdbcEnvironment();
}

} // namespace lt
