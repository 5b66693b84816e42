#pragma once
// The keeper's command line: no arguments starts the resident window; "--headless" runs the
// same keeper without a window (the system service); "--prune-now" runs one pruning pass (for
// maintenance from cron) and prints what it deleted per table; "--help".

#include "logkeeper/limits.h"

#include <QStringList>

class QTextStream;

namespace lt::keeper
{

struct CommandLine {
    enum Mode { Window, Headless, PruneNow, Help, Invalid };
    Mode mode = Window;
    Limits limits;     // the initial limits, or those given
    QStringList notes; // limits raised to their minimums
    QString error;     // what is wrong with an invalid command line
};

// arguments without the program name.
CommandLine parseCommandLine(const QStringList& arguments);
QString helpText();

// Runs the pass on the keeper's connections; prints one line per step to out, failures also to
// err. Returns 0 when every statement succeeded, 1 otherwise.
int runPruneNow(const Limits& limits, QTextStream& out, QTextStream& err);

// Help, a pass or the complaint about the command line; the exit code.
int runCommandLine(const CommandLine& commandLine);

} // namespace lt::keeper
