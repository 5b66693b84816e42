#pragma once
// The archive commands without a window, for cron and scripts:
//   overseer --backup FILE                 log backup (.bak) of logtable
//   overseer --restore-log FILE            the backup's records added to logtable
//   overseer --export-config FILE          configuration file (.cfg)
//   overseer --restore-config FILE         terminals and groups replaced by the file's
//   overseer --report browse|upload FILE   readable report of a log
//   overseer --delete-logs --from "YY-MM-DD HH:MM:SS" --to "YY-MM-DD HH:MM:SS" [--upload]
//                                          browse-log rows of the range deleted (both bounds
//                                          inclusive); with --upload the upload log's too, in
//                                          the same transaction
// They run the jobs of the export window and the restore and deletion dialogs. On a terminal a
// progress line is kept up to date on the error output; one line on the standard output says
// what was done. Exit codes as overseer/core/windowless.h says. The texts of --help are the
// console's (overseer/program.h).

#include "overseer/core/windowless.h"

#include <QStringList>

namespace lt::overseer::archive
{

// The arguments (program name first) name an archive command.
bool isArchiveCommand(const QStringList& arguments);

struct Command {
    enum Kind { Backup, RestoreLog, ExportConfig, RestoreConfig, Report, DeleteLogs };
    Kind kind = Backup;
    QString file;
    bool uploadLog = false; // --report upload, --delete-logs --upload
    QString from, to;
    QString error; // why the command line is wrong; empty when it is right
};
Command parseCommand(const QStringList& arguments);

// Runs the command on the installation's data sources; the exit code.
int runArchiveCommand(const QStringList& arguments);

} // namespace lt::overseer::archive
