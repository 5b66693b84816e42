#pragma once
// The log printout without a window and without a display, for cron and scripts:
//   overseer --print-pdf FILE.pdf --from "YY-MM-DD HH:MM:SS" --to "YY-MM-DD HH:MM:SS"
//                        [--ip ADDRESS] [--upload]
// writes the printout of the browse log of that range (with --upload, of the upload log), of one
// terminal with --ip, every page of it, to a PDF: the pages "日志打印" prints, by the same
// renderer on the same paper. The file is written beside its target and takes its place only
// when complete, readable by its owner alone (0600). One line on the standard output says what
// was written. Exit codes as the archive commands: 0 done (also when the range holds no record:
// then no file is written), 1 failed, 2 wrong command line.

#include "overseer/query/logquery.h"
#include "overseer/query/printrender.h"

#include <QStringList>

namespace lt::overseer
{

struct PrintCommand {
    QString file;
    LogQueryState state; // CondStart, CondEnd, and CondTermIP with code "10000" for --ip
    bool upload = false;
    QString error; // why the command line is wrong; empty when it is right
};
PrintCommand parsePrintCommand(const QStringList& arguments);

// The arguments (program name first) name the print command; it needs a paint engine and
// fonts, so the program starts it in a GUI application on the offscreen platform.
bool isPrintCommand(const QStringList& arguments);

// What the command prints: the log table and the condition of its range.
PrintSource printSourceOf(const PrintCommand& command);

// Runs it on the installation's data sources; the exit code.
int runPrintCommand(const QStringList& arguments);

} // namespace lt::overseer
