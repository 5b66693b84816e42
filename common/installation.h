#pragma once
// Where an installation lives. An installation is one directory tree:
//   app/     the programs, the stand-ins of the outside modules, LocalPort.txt, HELP.HTM,
//            BlackName.dat
//   system/  the credential file, odbc.ini and odbcinst.ini, the store of other registry keys,
//            server.ini (how to reach the private database server, when there is one)
//   run/     window registrations, instance locks, the private server's socket
//   db/      the private server's data directory
// A program finds its installation from its own location (the parent of the directory that
// holds it); the environment variable LANTROVE_ROOT overrides that.
//
// The Debian package spreads the same parts over the system's directories (programs in
// /usr/lib/lantrove, the system directory in /etc/lantrove, the run directory in /run/lantrove,
// and so on, as packaging/layout.txt lists them): a program started from the package's program
// directory, without LANTROVE_ROOT, uses those. The package links LocalPort.txt, HELP.HTM and
// BlackName.dat into the program directory, so everything found in app/ is found there too.

#include <QString>

namespace lt
{

struct ServerSettings {
    QString port = QStringLiteral("3306"); // TCP port of the database server
    QString socket;                        // unix socket of a private local server, or empty
};

class Installation
{
public:
    static QString root();
    static QString appDir();
    static QString systemDir();
    static QString runDir();
    static QString dbDir();

    // Whether this process uses the package's directories rather than a tree.
    static bool installed();
    // Whether dir (a program's directory) is the package's program directory.
    static bool isPackageProgramDir(const QString& dir);

    // Point this process (and the processes it starts) at another installation.
    static void useRoot(const QString& root);

    // Makes unixODBC read and write the installation's odbc.ini and odbcinst.ini. unixODBC
    // remembers the first directory it was given, so this must run before any ODBC call.
    static void applyOdbcEnvironment();

    // system/server.ini: [server] port=..., socket=...
    static ServerSettings server();
    static bool writeServerSettings(const ServerSettings& settings);

    // Every program calls this first thing in main() (the window programs through
    // ui::prepareApplication). It also ignores SIGXFSZ: past a file size limit (ulimit -f) a
    // write then fails with EFBIG and is reported like a full disk, instead of the signal
    // ending the program with its temporary file left behind.
    static void initialiseProcess();
};

} // namespace lt
