#include "overseer/archive/jobsupport.h"
#include "overseer/archive/archivejobs.h"

#include "common/dbconnect.h"
#include "common/dbmessages.h"

#include <cerrno>
#include <cstring>

namespace lt::overseer::archive
{

QString fileFailure(int error)
{
    QString reason;
    switch (error) {
    case ENOSPC:
    case EDQUOT:
        reason = QStringLiteral("磁盘已满");
        break;
    case EFBIG:
        reason = QStringLiteral("文件超过了允许的大小");
        break;
    case EACCES:
    case EPERM:
        reason = QStringLiteral("没有写入这个文件夹的权限");
        break;
    case EROFS:
        reason = QStringLiteral("文件夹所在的磁盘只能读不能写");
        break;
    case ENOENT:
    case ENOTDIR:
        reason = QStringLiteral("文件夹不存在");
        break;
    default:
        reason = QStringLiteral("写入出错");
        break;
    }
    return QStringLiteral("无法写入文件（%1），原有的文件未改变。（详细信息：%2）")
        .arg(reason, QString::fromLocal8Bit(std::strerror(error != 0 ? error : EIO)));
}

Commit commitJob(db::Connection& c)
{
    const bool open = c.isOpen();
    if (c.commit())
        return Commit::Done;
    return open && db::connectionLost(c.lastError()) ? Commit::Unknown : Commit::NotCommitted;
}

QString unknownOutcome(const QString& what, const QString& check, const db::Error& error)
{
    return what +
           QStringLiteral("结果未知：提交时与数据库的连接中断，无法确定数据库是否已经改变。") +
           check + QStringLiteral("（详细信息：%1）").arg(db::failureDetail(error));
}

QString quoted(const QString& value)
{
    return u'\'' + db::sqlEscape(value) + u'\'';
}

QString dbFailure(const QString& what, const db::Error& error)
{
    return what + db::describeFailure(error);
}

// A connection that a failure left dead is opened again before a job uses it: the database
// layer reopens a lost connection for a single statement, but not inside the transaction a job
// is about to begin, so the job finds out first.
bool ready(db::Connection& c)
{
    if (c.isOpen() && c.execute(QStringLiteral("SELECT 1")))
        return true;
    const QString string = c.connectionString();
    if (string.isEmpty())
        return false;
    c.close();
    return c.open(string);
}

bool openJobConnection(db::Connection& connection, const QString& connectionString)
{
    connection.setTimeouts(db::ConnectionTimeouts::longStatements());
    return connection.open(connectionString);
}

} // namespace lt::overseer::archive
