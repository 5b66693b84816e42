#include "tests/provisioner/support.h"

#include "common/datasources.h"
#include "common/installation.h"
#include "common/registry.h"
#include "tests/support/testsupport.h"

#include <QFile>

namespace lt::test
{

QStringList RecordingReporter::of(const QString& kind) const
{
    QStringList texts;
    const QString prefix = kind + QStringLiteral(": ");
    for (const QString& e : events) {
        if (e.startsWith(prefix))
            texts << e.mid(prefix.size());
    }
    return texts;
}

void setUpMasterList(const QList<QStringList>& rows)
{
    QString statements = QStringLiteral(
        "DROP DATABASE IF EXISTS lt_master; CREATE DATABASE lt_master; USE lt_master;"
        "CREATE TABLE 黑名单(域名 CHAR(150), 标题 CHAR(100), 类别 CHAR(10));");
    for (const QStringList& row : rows)
        statements += QStringLiteral("INSERT INTO 黑名单 VALUES('%1','%2','%3');")
                          .arg(row.value(0), row.value(1), row.value(2));
    sql(statements);

    const QString key = reg::kOdbcIni + QStringLiteral("\\blacktable");
    const ServerSettings server = Installation::server();
    reg::createKey(reg::kOdbcIni + QStringLiteral("\\ODBC Data Sources"));
    reg::setValue(reg::kOdbcIni + QStringLiteral("\\ODBC Data Sources"),
                  QStringLiteral("blacktable"), dsn::kDriverDescription);
    reg::createKey(key);
    reg::setValue(key, QStringLiteral("Driver"), dsn::driverLibrary());
    reg::setValue(key, QStringLiteral("Server"), QStringLiteral("localhost"));
    reg::setValue(key, QStringLiteral("Database"), QStringLiteral("lt_master"));
    reg::setValue(key, QStringLiteral("Port"), server.port);
    reg::setValue(key, QStringLiteral("Socket"), server.socket);
}

void dropMasterList()
{
    sql(QStringLiteral("DROP DATABASE IF EXISTS lt_master;"));
}

QStringList odbcIniSection(const QString& section)
{
    QFile file(Installation::systemDir() + QStringLiteral("/odbc.ini"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList lines;
    bool inSection = false;
    for (const QByteArray& raw : file.readAll().split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.startsWith(u'['))
            inSection = line == u'[' + section + u']';
        else if (inSection && !line.isEmpty())
            lines << line;
    }
    return lines;
}

RemoteAccount::RemoteAccount()
{
    created_ = sql(QStringLiteral("SELECT COUNT(*) FROM mysql.global_priv WHERE "
                                  "User='qmlxdovrik'")) == QStringLiteral("0\n");
    if (!created_)
        return;
    QString statements;
    for (const char* host : {"%", "localhost"}) {
        statements += QStringLiteral("CREATE USER 'qmlxdovrik'@'%1' IDENTIFIED BY '%2';")
                          .arg(QLatin1String(host), dsn::kRemotePassword);
        for (const char* database : {"dovrik", "ipdata"})
            statements += QStringLiteral("GRANT ALL PRIVILEGES ON %1.* TO 'qmlxdovrik'@'%2';")
                              .arg(QLatin1String(database), QLatin1String(host));
    }
    sql(statements + QStringLiteral("FLUSH PRIVILEGES;"));
}

RemoteAccount::~RemoteAccount()
{
    if (created_)
        sql(QStringLiteral("DROP USER 'qmlxdovrik'@'%'; DROP USER 'qmlxdovrik'@'localhost';"));
}

QString serverPort()
{
    return Installation::server().port;
}

} // namespace lt::test
