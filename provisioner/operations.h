#pragma once
// The database work of the provisioner: the connection test and the two initialisations. The
// window and the command line run the same code and differ only in how they report.

#include "common/schema.h"
#include "provisioner/provisioning.h"

#include <QString>
#include <QStringList>

namespace lt::prov
{

class Reporter
{
public:
    virtual ~Reporter() = default;
    virtual void status(const QString& text) = 0;      // progress text; empty clears it
    virtual void busy(bool on) = 0;                    // the hourglass while a step runs
    virtual void notice(const QString& text) = 0;      // a message with the exclamation icon
    virtual void detail(const QString& text) = 0;      // what lies behind a failure
    virtual bool confirm(const QString& question) = 0; // Yes or No, No preferred
    virtual void progress(int done, int total);        // black list import; shown as status
};

// Opens connection one on the log database and connection two on the configuration database
// with the strings of the server mode, reporting each outcome; closes both. True when both
// opened.
bool testConnections(Databases& dbs, Reporter& reporter);

enum class InitStatus {
    Declined,     // the operator answered No
    NotConnected, // the server could not be reached
    Done,
    Failed,     // statements failed, yet the database is complete (e.g. a record refused)
    Incomplete, // the database is not complete (e.g. the connection was lost half-way)
};

struct InitResult {
    InitStatus status = InitStatus::Declined;
    QStringList failures; // statements that failed, with the server's message
    int imported = 0;     // black list rows stored, as counted afterwards; -1 when not countable
    int records = 0;      // records of the black list file
    int declared = 0;     // the record count its first line gives
    // Records of the black list passed over (refused by the server, not readable in the file),
    // each named; they cost only themselves and are no failure of the initialisation.
    QStringList skipped;
    bool ok() const { return status == InitStatus::Done; }
};

// The failures that matter: dropping a database that is not there yet is no failure (the
// creation that follows fails when the drop mattered).
QStringList significantFailures(const schema::Outcome& outcome);

// Asks first; then creates and seeds the log database on connection one. Both initialisations
// mark the database complete as their very last step (see schema::Completeness).
InitResult initialiseLogDatabase(Databases& dbs, Reporter& reporter);
// Asks first; then creates the configuration database on connection two, imports
// BlackName.dat and seeds the server row with ownIp, the classes and the built-in group.
InitResult initialiseConfigDatabase(Databases& dbs, Reporter& reporter, const QString& ownIp);

// Adds what the log database lacks of the indexes that serve the console's views, keeping every
// row; the capture modules go on inserting meanwhile. Reports each index as it is built. True
// when nothing is missing afterwards.
bool upgradeLogDatabase(Reporter& reporter);

struct CheckResult {
    schema::Completeness log;
    schema::Completeness config;
};
// How complete the two databases are (each only when asked for), reported as one line each;
// an unreachable server is reported like a failed connection test. An incomplete database
// that holds the administrator's data is reported with that data and the advice not to
// initialise it before a backup.
CheckResult checkDatabases(bool log, bool config, Reporter& reporter);

} // namespace lt::prov
