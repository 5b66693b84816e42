#pragma once
// Named locks that every node of a database cluster sees: a row of `locktable` in the log
// database per lock, with its owner and the moment its lease runs out.
//
// The server's named locks (GET_LOCK) are held on one server only: on a Galera cluster two
// keepers on two nodes would both get "the" pruning lock and both prune. A lock row is taken in
// one statement that writes the row's key, so that of two nodes taking it at the same moment
// the cluster lets one commit and aborts the other (which, sent again, finds the row taken).
// A lease frees a lock whose holder died (a program killed, a machine gone); the holder renews
// it while it works. The table is made by the first lock taken in a log database; where that
// is refused (no right to create tables) the lock falls back to the server's GET_LOCK, which
// holds on a single server.

#include <QString>

namespace lt::db
{
class Connection;
}

namespace lt::db
{

inline const QString kLockTable = QStringLiteral("locktable");

// The table of the locks, in the log database.
QString lockTableSql();
// The statement that takes or renews lock `name` for `owner` for `leaseSeconds`: a free row, a
// row whose lease ran out or the owner's own row becomes the owner's; another owner's row with
// a running lease stays as it is.
QString takeLockSql(const QString& name, const QString& owner, int leaseSeconds);
QString releaseLockSql(const QString& name, const QString& owner);

class ClusterLock
{
public:
    enum class State {
        Taken,
        Held,  // by another owner whose lease runs
        Failed // the server's error is on the connection
    };

    // The owner is this program, its process and this object, so that two locks of one program
    // are two owners.
    ClusterLock(Connection& connection, QString name, int leaseSeconds);
    ~ClusterLock(); // releases a lock still held
    ClusterLock(const ClusterLock&) = delete;
    ClusterLock& operator=(const ClusterLock&) = delete;

    // One try.
    State tryTake();
    // Tries every half second for up to waitSeconds.
    State take(int waitSeconds);
    // Extends the lease of a lock held; false when it was lost meanwhile (its lease ran out and
    // another owner took it) or the server did not answer.
    bool renew();
    void release();

    bool held() const { return held_; }
    QString owner() const { return owner_; }
    // The owner that held the lock at the last failed try (for messages).
    QString holder() const { return holder_; }

private:
    State takeRow();
    State takeServerLock(int waitSeconds);
    Connection& c_;
    QString name_;
    int lease_;
    QString owner_;
    QString holder_;
    bool held_ = false;
    bool serverLock_ = false; // the fallback GET_LOCK is held
};

} // namespace lt::db
