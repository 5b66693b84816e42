#pragma once
// The guard: a second process of the blocking module that removes the module's rules when the
// module ends in any way, a SIGKILL or a crash included. The module holds the write end of a
// pipe whose read end the guard waits on; the kernel closes it when the module dies, and the
// guard then deletes the table by its handle (never a table a later module made) and ends.
//
// The guard is the module's own program started with "--guard HANDLE", so that it carries the
// program file's CAP_NET_ADMIN. It ignores SIGTERM, SIGINT and SIGHUP: stopping the module by
// name (the console's full exit, the keeper) reaches both processes, and the guard must still
// do its work after the module has gone.

#include <QString>
#include <cstdint>
#include <sys/types.h>

namespace lt::blocker
{

inline constexpr char kGuardOption[] = "--guard";

class Guard
{
public:
    Guard() = default;
    ~Guard(); // stop()
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;

    // Starts the guard for the table of handle; false (and error()) when it could not start.
    bool start(const QString& executable, uint64_t handle);
    // Lets the guard go (it finds the table already removed) and waits for it.
    void stop();
    bool running() const { return pid_ > 0; }
    QString error() const { return error_; }

private:
    pid_t pid_ = -1;
    int pipe_ = -1;
    QString error_;
};

// The guard's side, "qmlxblock --guard HANDLE": waits for the module's end on descriptor 3,
// removes the table, returns the exit code.
int runGuard(const char* handleText);

} // namespace lt::blocker
