#pragma once
// The administration's changes of the configuration database and of the copies of names in the
// log database. Every change runs as one transaction on its connection, so a failure half-way
// leaves the tables as they were, and a failure is known to have changed nothing unless the
// connection broke while the server was committing: then the outcome is unknown and said to
// be. Every outcome carries the text the administrator is shown when it failed.

#include "common/dbmessages.h"
#include "common/odbc.h"

#include <QStringList>
#include <optional>

namespace lt
{
class CMySql;
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

// Whether a count statement found rows; nullopt when it failed (message set).
std::optional<bool> anyRows(db::Connection& connection, const QString& countStatement,
                            QString* message);

// The rows of a statement as trimmed texts, field by field; nullopt when it failed.
std::optional<QList<QStringList>> readRows(db::Connection& connection, const QString& statement,
                                           QString* message = nullptr);
// The trimmed first field of every row.
std::optional<QStringList> readColumn(db::Connection& connection, const QString& statement,
                                      QString* message = nullptr);

// The console's connections, or a failure message when there are none.
db::Connection* configConnection(CMySql* mySql);
db::Connection* logConnection(CMySql* mySql);
Outcome notConnected(const QString& what);

// Renames a terminal in usertable, then its copies in both log tables.
Outcome renameTerminal(CMySql& mySql, const QString& name, const QString& address);
// Renames a group and its members in one transaction, then the copies in logtable.
Outcome renameGroup(CMySql& mySql, const QString& name, const QString& old);

} // namespace lt::overseer::admin
