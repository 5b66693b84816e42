#include "outside/blocker/guard.h"

#include "outside/blocker/rules.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace lt::blocker
{

namespace
{

constexpr int kGuardFd = 3;

} // namespace

Guard::~Guard()
{
    stop();
}

bool Guard::start(const QString& executable, uint64_t handle)
{
    stop();
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        error_ = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    // dup2 onto the guard's descriptor clears close-on-exec only when the numbers differ.
    int readEnd = fds[0];
    if (readEnd == kGuardFd) {
        readEnd = ::fcntl(fds[0], F_DUPFD_CLOEXEC, kGuardFd + 1);
        ::close(fds[0]);
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, readEnd, kGuardFd);
    const QByteArray path = executable.toLocal8Bit();
    const QByteArray handleText = QByteArray::number(qulonglong(handle));
    char* argv[] = {const_cast<char*>(path.constData()), const_cast<char*>(kGuardOption),
                    const_cast<char*>(handleText.constData()), nullptr};
    pid_t pid = -1;
    const int rc = ::posix_spawn(&pid, path.constData(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(readEnd);
    if (rc != 0) {
        ::close(fds[1]);
        error_ = QString::fromLocal8Bit(std::strerror(rc));
        return false;
    }
    pid_ = pid;
    pipe_ = fds[1];
    error_.clear();
    return true;
}

void Guard::stop()
{
    if (pipe_ >= 0)
        ::close(pipe_);
    pipe_ = -1;
    if (pid_ > 0) {
        while (::waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
    pid_ = -1;
}

int runGuard(const char* handleText)
{
    std::signal(SIGTERM, SIG_IGN);
    std::signal(SIGINT, SIG_IGN);
    std::signal(SIGHUP, SIG_IGN);
    char* end = nullptr;
    const unsigned long long handle = std::strtoull(handleText ? handleText : "", &end, 10);
    if (!handleText || *end != '\0' || handle == 0)
        return 2;
    char byte;
    // Nothing is ever written: the read returns when the module's end of the pipe closes.
    for (;;) {
        const ssize_t n = ::read(kGuardFd, &byte, 1);
        if (n > 0 || (n < 0 && errno == EINTR))
            continue;
        break;
    }
    Nftables nft;
    return nft.exists(handle) && !nft.remove(handle) ? 1 : 0;
}

} // namespace lt::blocker
