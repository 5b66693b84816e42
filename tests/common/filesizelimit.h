#pragma once
// A full disk without root rights: while a FileSizeLimit lives, this process cannot make a file
// longer than the given number of bytes. A write() that would pass the limit writes what fits
// and the next one fails with EFBIG, as a write fails with ENOSPC on a full disk (SIGXFSZ is
// ignored meanwhile so that the process is not killed). Pipes and terminals are not affected.

#include <csignal>
#include <sys/resource.h>

namespace lt::test
{

class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &saved_);
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        active_ = setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, oldHandler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;
    bool active() const { return active_; }

private:
    rlimit saved_{};
    void (*oldHandler_)(int) = nullptr;
    bool active_ = false;
};

} // namespace lt::test
