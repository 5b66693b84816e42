#pragma once
// The two databases: the statements that create and seed them, in the order initialisation
// sends them, and the routines that send them.
//
// Initialisation sends every statement whatever became of the one before (dropping a database
// that does not exist yet fails and is passed over). The checks for an empty table keep a
// repeated run from adding a second administrator, server row or class list.

#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

namespace lt::db
{
class Connection;
}

namespace lt::schema
{

inline const QString kLogDatabase = QStringLiteral("dovrik");
inline const QString kConfigDatabase = QStringLiteral("ipdata");
inline const QString kBuiltInGroup = QStringLiteral("临时工作组");
inline const QString kServerPort = QStringLiteral("5677");

// One step: a statement, or a check and the statements sent only when the check finds no rows.
struct Step {
    QString check; // a SELECT; empty for an unconditional step
    QStringList statements;
};

struct ClassRow {
    QString name;
    QString code;
};
const std::vector<ClassRow>& seededClasses(); // 上网 A … 其它 L

std::vector<Step> localSteps();
// The remote steps up to and including the creation of downtable.
std::vector<Step> remoteTableSteps();
// What follows the black list import: the server row with ownIp, the classes, the built-in group.
std::vector<Step> remoteSeedSteps(const QString& ownIp);
QString blackListInsert(const QString& domain, const QString& title, const QString& className);

struct Outcome {
    int sent = 0;
    QStringList failures; // "statement: message" for each statement that failed
    bool ok() const { return failures.isEmpty(); }
};

// Opens a connection for initialisation: on the given string, and when the server answers that
// the data source's database does not exist yet, on the same string with that database left out.
bool openForInitialisation(db::Connection& connection, const QString& connectionString);

// Sends the steps. After "Create Database X" the connection is switched to X, so the statements
// that follow reach the new database.
Outcome runSteps(db::Connection& connection, const std::vector<Step>& steps);

Outcome initialiseLogDatabase(db::Connection& connection);

using BlackListProgress = std::function<void(int done, int total)>;
// The whole remote initialisation: tables, the black list file, the seeds.
Outcome initialiseConfigDatabase(db::Connection& connection, const QString& blackNameFile,
                                 const QString& ownIp, const BlackListProgress& progress = {});

} // namespace lt::schema
