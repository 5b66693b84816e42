#pragma once
// How the database layer talks to the driver when it connects: the string it actually hands
// over, the check of the driver library named by a data source, and which failures mean that
// the connection was lost. Plain functions, so that their rules are tested without a server.

#include "common/odbc.h"

#include <QString>
#include <optional>

namespace lt::db
{

// The string handed to the driver for a connection string and the optional account of
// Connection::open:
// - pairs UID= and PWD= with an empty value are left out, so that an empty user and password
//   mean the data source's own account (the driver takes an explicit empty one over it);
// - a user or password given to open() is added as UID and PWD when not empty;
// - the text is read as UTF-8 on a utf8mb4 connection (CHARSET), unless the string says otherwise;
// - the read and write timeouts of the profile are added.
// Every other pair keeps its text and order.
QString driverConnectionString(const QString& connectionString, const QString& user,
                               const QString& password, const Connection::Timeouts& timeouts);

// The value of one key of a connection string (case-insensitive; the last one wins), or no
// value when the key is absent.
std::optional<QString> connectionStringValue(const QString& connectionString, const QString& key);

// Why the driver named by a connection string cannot be loaded, or the empty text when it can
// (or when the driver manager will report the problem itself, e.g. an unknown data source).
// The driver is the string's DRIVER value, else the value Driver of its data source in odbc.ini;
// a path must name an existing regular file, a name must be registered in odbcinst.ini with a
// library that is one. unixODBC aborts the whole program on a library path that is a directory.
QString driverProblem(const QString& connectionString);

// True when the statement or transaction that failed is worth sending again unchanged: a
// Galera cluster aborted it in favour of a concurrent one of another node (a certification
// failure, reported as a deadlock, 1213), the node was not ready for a moment (1047, while it
// rejoins or has lost the cluster), or InnoDB chose it as the victim of a deadlock. Each time the
// server has already undone it whole.
bool retryable(const Error& error);
// How often a retryable failure is sent again before it is reported, and how long to wait
// before the attempt that follows `failures` failures (growing, with a random part, so that
// two nodes that collided do not collide again at once).
constexpr int kRetryAttempts = 6;
int retryDelayMs(int failures);

// True when a failure says that the connection to the server is gone (server restarted or
// stopped, network cut, read or write timeout), as opposed to a statement the server refused.
bool connectionLost(const Error& error);

} // namespace lt::db
