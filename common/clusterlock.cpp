#include "common/clusterlock.h"

#include "common/odbc.h"
#include "common/schema.h"

#include <QCoreApplication>
#include <QRandomGenerator>
#include <QSysInfo>
#include <QThread>

namespace lt::db
{

namespace
{

constexpr int kNoSuchTable = 1146;

QString table()
{
    return schema::kLogDatabase + u'.' + kLockTable;
}

QString quoted(const QString& value)
{
    return u'\'' + sqlEscape(value) + u'\'';
}

QString newOwner()
{
    const QString host = QSysInfo::machineHostName().left(32);
    return QStringLiteral("%1:%2:%3")
        .arg(host.isEmpty() ? QStringLiteral("host") : host)
        .arg(QCoreApplication::applicationPid())
        .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
}

} // namespace

QString lockTableSql()
{
    return QStringLiteral("CREATE TABLE IF NOT EXISTS ") + table() +
           QStringLiteral("(Name CHAR(32) NOT NULL PRIMARY KEY,Owner CHAR(64) NOT NULL,"
                          "Expires DATETIME NOT NULL) ENGINE=InnoDB");
}

// The assignments run left to right: Expires sees the Owner just decided.
QString takeLockSql(const QString& name, const QString& owner, int leaseSeconds)
{
    const QString me = quoted(owner);
    return QStringLiteral("INSERT INTO ") + table() +
           QStringLiteral("(Name,Owner,Expires) VALUES(") + quoted(name) + u',' + me +
           QStringLiteral(",UTC_TIMESTAMP()+INTERVAL %1 SECOND) ON DUPLICATE KEY UPDATE "
                          "Owner=IF(Expires<UTC_TIMESTAMP() OR Owner=%2,%2,Owner),"
                          "Expires=IF(Owner=%2,VALUES(Expires),Expires)")
               .arg(leaseSeconds)
               .arg(me);
}

QString releaseLockSql(const QString& name, const QString& owner)
{
    return QStringLiteral("DELETE FROM ") + table() + QStringLiteral(" WHERE Name=") +
           quoted(name) + QStringLiteral(" AND Owner=") + quoted(owner);
}

ClusterLock::ClusterLock(Connection& connection, QString name, int leaseSeconds)
    : c_(connection), name_(std::move(name)), lease_(leaseSeconds), owner_(newOwner())
{
}

ClusterLock::~ClusterLock()
{
    release();
}

ClusterLock::State ClusterLock::takeRow()
{
    if (!c_.execute(takeLockSql(name_, owner_, lease_)))
        return State::Failed;
    const Recordset rs = c_.query(QStringLiteral("SELECT Owner FROM ") + table() +
                                  QStringLiteral(" WHERE Name=") + quoted(name_));
    if (c_.failed())
        return State::Failed;
    holder_ = rs.eof() ? QString() : rs.field(0).toString().trimmed();
    held_ = holder_ == owner_;
    return held_ ? State::Taken : State::Held;
}

// A log database not yet upgraded is on one server, where its named locks serve.
ClusterLock::State ClusterLock::takeServerLock(int waitSeconds)
{
    c_.clearError();
    const Recordset r =
        c_.query(QStringLiteral("SELECT GET_LOCK(%1,%2)").arg(quoted(name_)).arg(waitSeconds));
    if (c_.failed() || r.eof() || r.field(0).isNull())
        return State::Failed;
    held_ = serverLock_ = r.field(0).toInt() == 1;
    return held_ ? State::Taken : State::Held;
}

ClusterLock::State ClusterLock::tryTake()
{
    return take(0);
}

ClusterLock::State ClusterLock::take(int waitSeconds)
{
    const int tries = 1 + waitSeconds * 2;
    for (int i = 0; i < tries; ++i) {
        if (i > 0)
            QThread::msleep(500);
        State state = takeRow();
        if (state == State::Failed && c_.lastError().native == kNoSuchTable) {
            // The first lock of a log database made before there were lock rows.
            if (!c_.execute(lockTableSql()))
                return takeServerLock(waitSeconds);
            state = takeRow();
        }
        if (state != State::Held)
            return state;
    }
    return State::Held;
}

bool ClusterLock::renew()
{
    if (!held_)
        return false;
    if (serverLock_)
        return true;
    return takeRow() == State::Taken;
}

void ClusterLock::release()
{
    if (!held_)
        return;
    held_ = false;
    if (serverLock_) {
        serverLock_ = false;
        c_.query(QStringLiteral("SELECT RELEASE_LOCK(%1)").arg(quoted(name_)));
    } else {
        c_.execute(releaseLockSql(name_, owner_));
    }
    c_.clearError();
}

} // namespace lt::db
