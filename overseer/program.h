#pragma once
// The console's root: the one place that knows every view. It creates the views, binds the
// toolbar keys and the cover's "登录" menu, and runs the console. It also holds the console's
// command line: the commands that run without a window and without a display (for cron and
// scripts), which --help lists. A new command adds its entry to consoleCommands().

#include "overseer/core/commands.h"

#include <QList>
#include <QString>
#include <QStringList>

class QApplication;

namespace lt::overseer
{

class FormMain;
class AccessLogView;
class UploadLogView;

// Creates the views (owned by the main window) and fills the dispatch table.
void fillDispatch(FormMain& form);

// The views created by fillDispatch.
AccessLogView* accessLogView(FormMain& form);
UploadLogView* uploadLogView(FormMain& form);

// Keys and menu items whose views or dialogs come later (statistics, printing, administration,
// archive); everything else has a handler.
QList<QString> pendingKeys();
QList<MenuItem> pendingMenuItems();

// The whole run: previous-instance test, start-up, the main window until the console ends.
// Returns the process's exit code.
int runConsole(QApplication& app);

// One command of the command line.
struct ConsoleCommand {
    QStringList options; // the first arguments that name it ("--help", "-h")
    QString synopsis;    // its arguments as --help shows them after the first
    QString description; // what it does, in Chinese; a line break starts a new line of it
    // Runs it on the whole argument list (program name first); the exit code.
    int (*run)(const QStringList& arguments);
};
// Every command, in the order --help lists them.
const QList<ConsoleCommand>& consoleCommands();
QString commandLineHelp();
// The command the arguments name; null when they name none (the console's window then starts).
const ConsoleCommand* commandOf(const QStringList& arguments);

} // namespace lt::overseer
