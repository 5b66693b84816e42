#include "common/processes.h"

#include "common/installation.h"
#include "common/sharedfiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QSocketNotifier>
#include <QThread>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace lt::proc
{

namespace
{

// Tells a started program to keep its window hidden.
constexpr char kWindowVariable[] = "LANTROVE_WINDOW";

QString baseName(const QString& path)
{
    const qsizetype cut =
        std::max(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QLatin1Char('\\')));
    return path.mid(cut + 1);
}

// The name as the matching sees it: lower case, without a trailing ".exe".
QString comparable(const QString& fileName)
{
    QString name = baseName(fileName).toLower();
    if (name.endsWith(QLatin1String(".exe")))
        name.chop(4);
    return name;
}

QMap<int, StartObserver>& observers()
{
    static QMap<int, StartObserver> map;
    return map;
}

void notifyStart(const StartEvent& event)
{
    const QMap<int, StartObserver> copy = observers();
    for (const StartObserver& observer : copy)
        observer(event);
}

QString commandLine(const QString& path, const QStringList& arguments)
{
    if (arguments.isEmpty())
        return path;
    return path + QLatin1Char(' ') + arguments.join(QLatin1Char(' '));
}

// Fields of /proc/<pid>/stat after the command name: [0] state ... [19] start time.
QList<QByteArray> statFields(qint64 pid)
{
    QFile file(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray text = file.readAll();
    const qsizetype close = text.lastIndexOf(')');
    if (close < 0)
        return {};
    return text.mid(close + 2).split(' ');
}

struct Candidate {
    qint64 pid = 0;
    qint64 startTime = 0;
};

QString firstArgument(qint64 pid)
{
    QFile file(QStringLiteral("/proc/%1/cmdline").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray all = file.readAll();
    return QFile::decodeName(all.left(all.indexOf('\0')));
}

// The executable of a process: /proc/<pid>/exe, or argv[0] when that cannot be read.
QString executableOf(qint64 pid)
{
    QString exe = QFile::symLinkTarget(QStringLiteral("/proc/%1/exe").arg(pid));
    if (exe.endsWith(QLatin1String(" (deleted)")))
        exe.chop(10);
    return exe.isEmpty() ? firstArgument(pid) : exe;
}

bool matches(qint64 pid, const QString& exeName, const QString& appDir)
{
    const QString exe = executableOf(pid);
    if (exe.isEmpty() || QFileInfo(exe).absolutePath() != appDir)
        return false;
    return exeNameMatches(exe, exeName) || exeNameMatches(firstArgument(pid), exeName);
}

QList<Candidate> findProcesses(const QString& exeName)
{
    const QString appDir = QFileInfo(Installation::appDir()).canonicalFilePath();
    QList<Candidate> found;
    if (appDir.isEmpty())
        return found;
    const qint64 self = QCoreApplication::applicationPid();
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString& entry : entries) {
        bool numeric = false;
        const qint64 pid = entry.toLongLong(&numeric);
        if (!numeric || pid == self)
            continue;
        const qint64 start = processStartTime(pid);
        if (start != 0 && matches(pid, exeName, appDir))
            found.append({pid, start});
    }
    return found;
}

// Waits up to timeoutMs for the processes to end; returns those still running.
QList<Candidate> waitForEnd(QList<Candidate> running, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (true) {
        running.removeIf([](const Candidate& c) { return processStartTime(c.pid) != c.startTime; });
        if (running.isEmpty() || clock.elapsed() >= timeoutMs)
            return running;
        QThread::msleep(20);
    }
}

// The environment of a started program: ours, with the window variable set for a hidden start
// and removed otherwise.
std::vector<QByteArray> childEnvironment(Show show, const QStringList& extra)
{
    const QByteArray prefix = QByteArray(kWindowVariable) + '=';
    std::vector<QByteArray> env;
    for (char** e = environ; e && *e; ++e) {
        if (!QByteArray::fromRawData(*e, qsizetype(strlen(*e))).startsWith(prefix))
            env.emplace_back(*e);
    }
    if (show == Show::Hidden)
        env.push_back(prefix + "hidden");
    for (const QString& variable : extra)
        env.push_back(variable.toLocal8Bit());
    return env;
}

std::vector<char*> pointers(std::vector<QByteArray>& texts)
{
    std::vector<char*> list;
    for (QByteArray& text : texts)
        list.push_back(text.data());
    list.push_back(nullptr);
    return list;
}

// Starts the program as a process of its own session, with nothing of ours but the
// environment: its standard files are /dev/null (a test runner would otherwise wait for the
// child's end on a pipe) and no other descriptor is passed on. posix_spawn holds the caller only
// until the exec (a vfork), where a fork of a large window program copies its page tables and
// QProcess waits on a pipe for the grandchild; an exec that fails is still reported. A thread
// reaps the child when it ends, so a resident starter leaves no zombie behind.
bool spawnDetached(const QString& program, const QStringList& arguments, Show show,
                   const QStringList& extraEnvironment)
{
    std::vector<QByteArray> argv{QFile::encodeName(program)};
    for (const QString& argument : arguments)
        argv.push_back(argument.toLocal8Bit());
    std::vector<QByteArray> env = childEnvironment(show, extraEnvironment);
    std::vector<char*> argvList = pointers(argv);
    std::vector<char*> envList = pointers(env);

    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&files, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&files, 2, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addclosefrom_np(&files, 3);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes,
                             POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    pid_t pid = 0;
    const int failure =
        posix_spawn(&pid, argvList[0], &files, &attributes, argvList.data(), envList.data());
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&files);
    if (failure != 0)
        return false;
    std::thread([pid] {
        while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
        }
    }).detach();
    return true;
}

} // namespace

bool exeNameMatches(const QString& fileName, const QString& wanted)
{
    const QString name = comparable(fileName);
    return !name.isEmpty() && name == comparable(wanted);
}

QString resolveExecutable(const QString& path)
{
    return resolveFileName(path, exeNameMatches);
}

bool startProgram(const QString& path, const QStringList& arguments, Show show,
                  const QStringList& environment)
{
    StartEvent event;
    event.commandLine = commandLine(path, arguments);
    event.arguments = arguments;
    event.environment = environment;
    event.show = show;
    const QString program = resolveExecutable(path);
    if (!program.isEmpty())
        event.started = spawnDetached(program, arguments, show, environment);
    notifyStart(event);
    return event.started;
}

bool startedHidden()
{
    return qgetenv(kWindowVariable) == "hidden";
}

QStringList moduleArguments(const QString& adapterText)
{
    return QStringList{QStringLiteral("-i")} +
           adapterText.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

QString serviceMarkerPath(const QString& exeName)
{
    return Installation::runDir() + QLatin1Char('/') + comparable(exeName) +
           QStringLiteral(".service");
}

bool runByService(const QString& exeName)
{
    return QFileInfo::exists(serviceMarkerPath(exeName));
}

int addStartObserver(StartObserver observer)
{
    static int next = 0;
    observers().insert(++next, std::move(observer));
    return next;
}

void removeStartObserver(int id)
{
    observers().remove(id);
}

InstanceLock::InstanceLock(const QString& programName)
{
    const QString dir = Installation::runDir();
    QDir().mkpath(dir);
    const QString path = dir + QLatin1Char('/') + comparable(programName) + ".lock";
    const QByteArray name = QFile::encodeName(path);
    fd_ = ::open(name.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    // The lock file of another user (a service's account sharing the run directory) can still
    // be locked through a descriptor open for reading; without this the program would take
    // the unopenable file for a running instance and never start.
    if (fd_ < 0 && errno == EACCES)
        fd_ = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
    if (fd_ >= 0 && ::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

InstanceLock::~InstanceLock()
{
    if (fd_ >= 0)
        ::close(fd_);
}

bool InstanceLock::acquired() const
{
    return fd_ >= 0;
}

int killProcess(const QString& exeName)
{
    const QList<Candidate> found = findProcesses(exeName);
    for (const Candidate& c : found)
        ::kill(pid_t(c.pid), SIGTERM);
    const QList<Candidate> stubborn = waitForEnd(found, 1000);
    for (const Candidate& c : stubborn)
        ::kill(pid_t(c.pid), SIGKILL);
    waitForEnd(stubborn, 1000);
    return int(found.size());
}

qint64 processStartTime(qint64 pid)
{
    const QList<QByteArray> fields = statFields(pid);
    if (fields.size() < 20 || fields[0] == "Z" || fields[0] == "X")
        return 0;
    return fields[19].toLongLong();
}

namespace
{

int stopPipe[2] = {-1, -1};

void onStopSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(stopPipe[1], &byte, 1);
}

} // namespace

void quitOnStopSignals(QObject* owner)
{
    if (stopPipe[0] >= 0 || ::pipe2(stopPipe, O_CLOEXEC) != 0)
        return;
    auto* notifier = new QSocketNotifier(stopPipe[0], QSocketNotifier::Read, owner);
    QObject::connect(notifier, &QSocketNotifier::activated, owner,
                     [] { QCoreApplication::quit(); });
    std::signal(SIGTERM, onStopSignal);
    std::signal(SIGINT, onStopSignal);
}

} // namespace lt::proc
