#include "common/installation.h"

#include "common/layouttable.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
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

const layout::Row& row(const char* place)
{
    for (const layout::Row& r : layout::kRows) {
        if (qstrcmp(r.place, place) == 0)
            return r;
    }
    qFatal("the layout table has no place %s", place);
}

QString placeDir(const char* place)
{
    const layout::Row& r = row(place);
    if (Installation::installed())
        return QString::fromUtf8(r.installed);
    return Installation::root() + QLatin1Char('/') + QString::fromUtf8(r.tree);
}

} // namespace

bool Installation::isPackageProgramDir(const QString& dir)
{
    const QString canonical = QFileInfo(dir).canonicalFilePath();
    return !canonical.isEmpty() && canonical == QString::fromUtf8(row("programs").installed);
}

bool Installation::installed()
{
    if (!overriddenRoot().isEmpty() || !qgetenv("LANTROVE_ROOT").isEmpty())
        return false;
    // The program's directory is known once the application object exists.
    if (!QCoreApplication::instance())
        return false;
    static const bool fromPackage = isPackageProgramDir(QCoreApplication::applicationDirPath());
    return fromPackage;
}

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
    return placeDir("programs");
}
QString Installation::systemDir()
{
    return placeDir("config");
}
QString Installation::runDir()
{
    return placeDir("runtime");
}
QString Installation::dbDir()
{
    return placeDir("state");
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
    // The processes this one starts find the same tree; the package's programs find the
    // package's directories by themselves.
    if (!installed())
        qputenv("LANTROVE_ROOT", root().toLocal8Bit());
    applyOdbcEnvironment();
}

} // namespace lt
