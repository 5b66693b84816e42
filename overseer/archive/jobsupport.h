#pragma once
// What the export, restore and deletion jobs share: quoting of values, the wording of a
// database failure and of a file that cannot be written, a connection made ready for a job, and
// the commit of a job's transaction, whose outcome may be unknown.

#include "common/odbc.h"

#include <QString>

namespace lt::overseer::archive
{

// A value between single quotes, quoted by the one quoting function.
QString quoted(const QString& value);
// what, followed by the Chinese reason and the driver's words.
QString dbFailure(const QString& what, const db::Error& error);
// The connection answers, opened again when a failure left it dead.
bool ready(db::Connection& c);

// How the commit of a job's transaction ended. NotCommitted: the server refused the commit, or
// the connection was lost before it (the server rolls back what a lost connection left
// uncommitted): the database is as it was. Unknown: the connection broke or timed out while
// the commit was on its way, and the server may have carried it out or not.
enum class Commit { Done, NotCommitted, Unknown };
Commit commitJob(db::Connection& c);
// The message of an unknown outcome: what (e.g. "日志删除"), "结果未知", why, what to check,
// then the driver's words.
QString unknownOutcome(const QString& what, const QString& check, const db::Error& error);
// The reason a file cannot be written, in Chinese, with the system's words after it.
QString fileFailure(int error);

} // namespace lt::overseer::archive
