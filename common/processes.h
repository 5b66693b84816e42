#pragma once
// Processes: starting programs without waiting, the previous-instance test, ending processes by
// executable name. Executable names are matched as the system's file names are meant: without
// regard to case, with or without the ".exe" ending ("qmlxblock.EXE" finds app/qmlxblock).

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

class QObject;

namespace lt::proc
{

enum class Show { Hidden, Normal };

// True when fileName names the executable wanted (case-insensitive, ".exe" optional on either).
bool exeNameMatches(const QString& fileName, const QString& wanted);
// The existing file that path names, matched as above in its directory; empty when none.
QString resolveExecutable(const QString& path);

// Starts the program detached, without waiting. A hidden start tells the program to keep its
// window hidden. False when the program does not exist or cannot be started.
// `environment` ("NAME=value" each) is added to the environment the program inherits.
bool startProgram(const QString& path, const QStringList& arguments, Show show,
                  const QStringList& environment = {});
// In a started program: whether it was asked to start hidden.
bool startedHidden();

// The arguments a capture module is started with for the adapter text of LocalPort.txt: "-i"
// followed by the words of the text, as the command line "-i " + text splits into words ("2"
// gives "-i", "2"; " 1 2 " gives "-i", "1", "2"; an empty text gives "-i" alone). The console
// and the keeper both start the modules with these.
QStringList moduleArguments(const QString& adapterText);

// One supervisor per module. A system service that runs a module (lantrove-monitor.service,
// lantrove-blocker.service) keeps the file RUNDIR/NAME.service (NAME: the program's name in
// lower case without ".exe", e.g. "qmlxsn.service") from its start until it is stopped on
// purpose, restarts included; while it is there the console and the keeper start no copy of
// their own, even in the moment between a crash and the service's restart when the module's
// window is gone. Without it they supervise the module as before.
QString serviceMarkerPath(const QString& exeName);
bool runByService(const QString& exeName);

// The command line as the observers see it: the program's path, then the arguments,
// blank-separated.
struct StartEvent {
    QString commandLine;
    QStringList arguments;   // as the program receives them
    QStringList environment; // added to the inherited environment
    Show show = Show::Normal;
    bool started = false;
};
using StartObserver = std::function<void(const StartEvent&)>;
int addStartObserver(StartObserver observer);
void removeStartObserver(int id);

// Held for the life of a program: the first instance acquires it, later ones do not. A lock
// left by a process that died is free again.
class InstanceLock
{
public:
    explicit InstanceLock(const QString& programName);
    ~InstanceLock();
    bool acquired() const;

private:
    int fd_ = -1;
};

// Ends every process of this installation (its executable lies in the application directory)
// whose executable is named exeName, never the calling process; returns how many. A process
// that does not end within a second of SIGTERM gets SIGKILL.
int killProcess(const QString& exeName);

// The start time of a live process (clock ticks since boot, from /proc/<pid>/stat); 0 when no
// such process runs or it is a zombie. A pid together with its start time names one process
// even when the pid is reused later.
qint64 processStartTime(qint64 pid);

// SIGTERM (the console's and the keeper's stop, systemctl stop) and SIGINT end the event loop
// (through a pipe, the one safe way out of a signal handler), so that a program gives back what
// it holds and writes what waits before it ends. Once per process; owner keeps the notifier.
void quitOnStopSignals(QObject* owner);

} // namespace lt::proc
