#pragma once
// The provisioner without a window, for scripted installation and headless servers:
//   provisioner --register ADDRESS[:PORT]   register both data sources (0.0.0.0: the local
//                                           server; another server on PORT, 3306 by default)
//   provisioner --init log|config|both --yes   initialise (erases!); refused without --yes
//   provisioner --upgrade                   add what the log database lacks (indexes), rows kept
//   provisioner --check log|config|both     whether the databases are completely initialised
//   provisioner --test                      test both connections
//   provisioner --list-adapters             the capture adapters, numbered
//   provisioner --adapter N                 store adapter N in LocalPort.txt
//   provisioner --help
// Several can be given at once; they run in the order above (so a fresh server is registered,
// then initialised, then tested) and stop at the first failure. It prints the texts the window
// shows and exits non-zero on failure; --check exits with ExitIncomplete when a database is
// missing or half-initialised and holds nothing an administrator put there (so initialising it
// loses nothing), with ExitIncompleteWithData when a half-initialised one does hold such data.

#include <QString>
#include <QStringList>

namespace lt::prov
{

// True when the program was started for the command line rather than the window.
bool isCommandLine(int argc, char** argv);

enum Exit {
    ExitOk = 0,
    ExitFailed = 1,
    ExitUsage = 2,
    ExitNotConfirmed = 3,
    ExitIncomplete = 4,
    ExitIncompleteWithData = 5,
};

struct CommandLine {
    bool help = false;
    bool doRegister = false;
    QString address;
    QString port; // of a remote server
    bool test = false;
    bool checkLog = false;
    bool checkConfig = false;
    bool initLog = false;
    bool initConfig = false;
    bool upgrade = false;
    bool yes = false;
    bool listAdapters = false;
    bool chooseAdapter = false;
    QString adapter;
    QString error; // what is wrong with the arguments
};
CommandLine parseCommandLine(const QStringList& arguments);

QString usageText();
// Runs the command line (arguments without the program name); returns the exit status.
int runCommandLine(const QStringList& arguments);

} // namespace lt::prov
