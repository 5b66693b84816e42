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
    QStringList notices;  // in Chinese: what was left undone on purpose, and what to do
    bool ok() const { return failures.isEmpty(); }
    bool complete = false; // marked complete (initialisations with marks only)
};

// Opens a connection for initialisation: on the given string, and when the server answers that
// the data source's database does not exist yet, on the same string with that database left out.
bool openForInitialisation(db::Connection& connection, const QString& connectionString);

// Sends the steps. After "Create Database X" the connection is switched to X, so the statements
// that follow reach the new database.
Outcome runSteps(db::Connection& connection, const std::vector<Step>& steps);

// How far an initialisation got. A database counts as complete when every table of its
// initialisation exists and the seed tables hold their seed rows (an administrator account; a
// server row, the twelve classes and a group); and, for a database initialised with marks,
// when its last step marked it complete. A database marked complete counts as complete without
// a look at its tables, so that what the administrator changed later never has it initialised
// (and its logs dropped) again. The marks live in the database's comment, so the
// tables that the console and the outside modules share stay exactly as they are; a database
// without a mark (initialised before there were marks) is judged by its tables and seeds.
// What an upgrade adds to the log database (reading indexes, day sums and their triggers) is
// not part of it: a log database without them is complete.
//
// An incomplete database may still hold what an administrator put there (a database marked
// complete that later lost a seed row, one initialised in a way that never marked it): `held`
// names it, so that nothing initialises such a database again without asking.
struct Completeness {
    enum State {
        Complete,
        Missing,    // the database does not exist
        Incomplete, // its initialisation did not finish
        Unknown,    // the server could not be asked
    };
    State state = Unknown;
    QStringList lacking; // what is missing, one entry each (table names, seeds, the mark)
    // What an incomplete database holds of the administrator's own, one entry per table: the
    // rows of the log tables and accounts other than the first administrator (ADM, 739);
    // terminals, groups other than the built-in one and the administrator's list entries.
    QStringList held;
    QString error; // the server's message when it could not be asked
    bool complete() const { return state == Complete; }
};
// Both look at the named database whatever database the connection has selected.
Completeness checkLogDatabase(db::Connection& connection);
Completeness checkConfigDatabase(db::Connection& connection);

inline const QString kMarkInitialising = QStringLiteral("lantrove: initialising");
inline const QString kMarkComplete = QStringLiteral("lantrove: complete");
// The mark in the database's comment; empty when there is none or it cannot be read.
QString initialisationMark(db::Connection& connection, const QString& database);

// With Marks, the database is marked as being initialised right after its creation and as
// complete at the very end, only when the check above finds it complete, no statement failed
// but a drop of a database not there yet, black list records skipped (refused by the server or
// not readable in the file) and, for the log database, the pieces an upgrade adds, and
// blacktable holds at least the records the import counted as stored.
enum class Marking { None, Marks };

Outcome initialiseLogDatabase(db::Connection& connection, Marking marking = Marking::None);

using BlackListProgress = std::function<void(int done, int total)>;
struct ConfigOutcome : Outcome {
    int blackListRecords = 0;  // records of the black list file
    int blackListDeclared = 0; // the record count its first line gives
    int blackListStored = -1;  // rows of blacktable afterwards; -1 when they could not be counted
    QStringList blackListSkipped; // records not imported, each named; not among the failures
};
// The whole remote initialisation: tables, the black list file, the seeds.
ConfigOutcome initialiseConfigDatabase(db::Connection& connection, const QString& blackNameFile,
                                       const QString& ownIp, const BlackListProgress& progress = {},
                                       Marking marking = Marking::None);

} // namespace lt::schema
