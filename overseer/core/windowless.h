#pragma once
// What the console's commands without a window (the archive commands, --stats, --print-pdf)
// share: their exit codes, a line to a stream (flushed, so that a script sees it at once), a
// wrong command line said with the hint to --help, and the check of a --from/--to range.

#include <QString>
#include <cstdio>

namespace lt::overseer
{

// 0 when done, 1 on a failure, 2 on a wrong command line, 3 when the connection broke while a
// change was committed (the message says what to check).
enum ExitCode { kExitDone = 0, kExitFailed = 1, kExitUsage = 2, kExitUnknown = 3 };

void printLine(FILE* stream, const QString& text);

// Says why on the error output with the hint to --help; returns kExitUsage.
int usageError(const QString& why);

// Why a --from/--to range is wrong ("YY-MM-DD HH:MM:SS" each, from not after to); empty when
// it is right.
QString rangeError(const QString& from, const QString& to);

} // namespace lt::overseer
