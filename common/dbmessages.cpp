#include "common/dbmessages.h"

#include "common/odbc.h"

#include <QRegularExpression>

namespace lt::db
{

bool serverUnreachable(const Error& error)
{
    switch (error.native) {
    case 2002: // cannot connect through the socket
    case 2003: // cannot connect over TCP
    case 2005: // unknown host
    case 2006: // server has gone away
    case 2013: // lost connection during a statement (also a read timeout)
    case 2055: // lost connection while reading
    case 5013: // read error
    case 5014: // write error ("Broken pipe")
        return true;
    default:
        break;
    }
    // SQLSTATE class 08 is the connection's; HYT00/HYT01 a login or statement without answer.
    return error.sqlState.startsWith(QLatin1String("08")) ||
           error.sqlState.startsWith(QLatin1String("HYT")) ||
           error.message.contains(QLatin1String("Broken pipe")) ||
           error.message.contains(QLatin1String("gone away")) ||
           error.message.contains(QLatin1String("Can't connect"));
}

QString failureReason(const Error& error)
{
    // What a database cluster answers; the layer has sent the work again several times first.
    if (error.native == 1213)
        return QStringLiteral("数据库集群中的其他节点同时修改了相同的数据，重试多次仍然冲突，"
                              "操作没有完成，请稍后再试。");
    if (error.native == 1047)
        return QStringLiteral("所连接的数据库节点暂时不能使用（正在加入数据库集群，或与集群失去"
                              "联系），重试多次仍未恢复，请稍后再试。");
    if (serverUnreachable(error))
        return kServerUnreachable;
    if (error.native == 1045 || error.sqlState == QLatin1String("28000"))
        return QStringLiteral("数据库服务器拒绝登录，请检查数据源的用户名和口令。");
    if (error.native == 1049)
        return QStringLiteral("数据库不存在，请先初始化数据库。");
    if (error.native == 1146 || error.sqlState == QLatin1String("42S02"))
        return QStringLiteral("数据表不存在，请先初始化数据库。");
    if (error.sqlState == QLatin1String("IM002"))
        return QStringLiteral("数据源没有登记，请先配置数据源。");
    return QStringLiteral("数据库操作失败。");
}

QString failureDetail(const Error& error)
{
    if (!error.set && error.message.isEmpty())
        return {};
    const QString message = error.message.trimmed();
    return error.sqlState.isEmpty() ? message
                                    : QStringLiteral("[%1] %2").arg(error.sqlState, message);
}

QString describeFailure(const Error& error)
{
    const QString detail = failureDetail(error);
    if (detail.isEmpty())
        return failureReason(error);
    return failureReason(error) + QStringLiteral("（详细信息：") + detail + QStringLiteral("）");
}

namespace
{

const QString kDetailOpen = QStringLiteral("（详细信息：");
const QString kDetailLine = QStringLiteral("详细信息：");

// A line the driver manager or the driver wrote, or our "[SQLSTATE] message" form of it.
bool isDriverLine(const QString& line)
{
    if (line.startsWith(QLatin1String("[ma-")) || line.startsWith(QLatin1String("[unixODBC]")) ||
        line.startsWith(QLatin1String("[MySQL]")) || line.startsWith(QLatin1String("[MariaDB]")))
        return true;
    static const QRegularExpression sqlState(QStringLiteral("^\\[[0-9A-Z]{5}\\] "));
    return sqlState.match(line).hasMatch();
}

} // namespace

MessageParts splitDriverWords(const QString& message)
{
    QStringList text;
    QStringList detail;
    for (QString line : message.split(u'\n')) {
        if (line.startsWith(kDetailLine)) {
            detail << line.mid(kDetailLine.size()).trimmed();
            continue;
        }
        if (isDriverLine(line)) {
            detail << line.trimmed();
            continue;
        }
        const qsizetype open = line.indexOf(kDetailOpen);
        if (open >= 0 && line.endsWith(u'）')) {
            detail << line.mid(open + kDetailOpen.size()).chopped(1).trimmed();
            line.truncate(open);
        }
        text << line;
    }
    while (!text.isEmpty() && text.last().trimmed().isEmpty())
        text.removeLast();
    detail.removeAll(QString());
    if (text.join(QString()).trimmed().isEmpty())
        return {message, {}};
    return {text.join(u'\n'), detail.join(u'\n')};
}

} // namespace lt::db
