#pragma once
// What the export and the restore jobs share: quoting of values, the wording of a database
// failure, and a connection made ready for a job.

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

} // namespace lt::overseer::archive
