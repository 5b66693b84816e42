#pragma once
// The administration's changes of the configuration database and of the copies of names in the
// log database. Every change runs as one transaction on its connection, so a failure half-way
// leaves the tables as they were, and a failure is known to have changed nothing unless the
// connection broke while the server was committing: then the outcome is unknown and said to
// be. Every outcome carries the text the administrator is shown when it failed. The lookups
// before a change (is the name free?) are asked beside the window.

#include "common/dbmessages.h"
#include "common/odbc.h"

#include <QStringList>
#include <functional>

class QObject;
class QPushButton;

namespace lt
{
class CMySql;
}

namespace lt::overseer
{
class ConsoleContext;
}

namespace lt::overseer::admin
{

// What the administrator is told of a change whose COMMIT got no answer (the driver's words
// follow on a line of their own).
inline const QString kOutcomeUnknown =
    QStringLiteral("操作结果未知：与数据库的连接在提交时中断，修改可能已经生效，也可能没有。"
                   "连接恢复后请刷新列表查看是否已生效。");

struct Outcome {
    bool ok = true;
    QString message;      // the failure as shown: what was not done, then the database's reason
    bool partly = false;  // the main change was made, a copy of it in the log database was not
    bool unknown = false; // the change may have been made (message says so)
    explicit operator bool() const { return ok; }
};

// The statements in one transaction on the connection; on a failure everything is rolled back
// and `what` (e.g. "终端未能增加。") leads the message, unless the outcome is unknown.
Outcome runAll(db::Connection& connection, const QStringList& statements, const QString& what);
// One statement, in a transaction of its own: sent without one, a statement whose answer is
// lost might still be carried out by the server later.
Outcome runOne(db::Connection& connection, const QString& statement, const QString& what);

// Whether each count statement finds rows, asked beside the window on the configuration
// channel, so that a server that does not answer leaves the window answering. `hold` (when
// given) stays disabled until the answer, so a second click sends nothing. Answered on
// receiver's thread with one flag per statement, or failed with the reason as the
// administrator reads it; neither once receiver is gone, nor once a dialog receiving it is
// closed.
void countBeside(ConsoleContext& context, QObject* receiver, QPushButton* hold,
                 const QStringList& counts, std::function<void(const QList<bool>& found)> answered,
                 std::function<void(const QString& why)> failed);

// The console's connections, or a failure message when there are none.
db::Connection* configConnection(CMySql* mySql);
db::Connection* logConnection(CMySql* mySql);
Outcome notConnected(const QString& what);

// Renames a terminal in usertable, then its copies in both log tables.
Outcome renameTerminal(CMySql& mySql, const QString& name, const QString& address);
// Renames a group and its members in one transaction, then the copies in logtable.
Outcome renameGroup(CMySql& mySql, const QString& name, const QString& old);

} // namespace lt::overseer::admin
