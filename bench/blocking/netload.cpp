#include "bench/blocking/netload.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <mutex>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sched.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <unistd.h>

namespace lt::bench
{

namespace
{

const char kAnswer[] = "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello";

int connectTo(const QString& address, uint16_t port)
{
    sockaddr_storage ss{};
    socklen_t length;
    const QByteArray text = address.toLatin1();
    if (address.contains(QLatin1Char(':'))) {
        auto* a = reinterpret_cast<sockaddr_in6*>(&ss);
        a->sin6_family = AF_INET6;
        a->sin6_port = htons(port);
        ::inet_pton(AF_INET6, text.constData(), &a->sin6_addr);
        length = sizeof *a;
    } else {
        auto* a = reinterpret_cast<sockaddr_in*>(&ss);
        a->sin_family = AF_INET;
        a->sin_port = htons(port);
        ::inet_pton(AF_INET, text.constData(), &a->sin_addr);
        length = sizeof *a;
    }
    const int fd = ::socket(ss.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    timeval tv{10, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&ss), length) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Sends the request and waits for the answer's first byte (refused: for the end of the
// connection, a reset or a close, instead).
bool ask(int fd, const QByteArray& request, bool refused = false)
{
    if (::send(fd, request.constData(), size_t(request.size()), MSG_NOSIGNAL) != request.size())
        return false;
    char buf[4096];
    if (!refused)
        return ::recv(fd, buf, sizeof buf, 0) > 0;
    for (ssize_t n; (n = ::recv(fd, buf, sizeof buf, 0)) != 0;) {
        if (n < 0)
            return errno == ECONNRESET;
    }
    return true;
}

} // namespace

bool enterNamespace(const QString& ns)
{
    const int fd = ::open(("/run/netns/" + ns.toLocal8Bit()).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::setns(fd, CLONE_NEWNET) == 0;
    ::close(fd);
    return ok;
}

bool allowDescriptors(int n)
{
    rlimit limit{rlim_t(n), rlim_t(n)};
    rlimit now{};
    ::getrlimit(RLIMIT_NOFILE, &now);
    if (now.rlim_cur >= rlim_t(n))
        return true;
    return ::setrlimit(RLIMIT_NOFILE, &limit) == 0;
}

AnswerServer::AnswerServer(const QString& ns, const std::vector<uint16_t>& ports)
    : wake_(::eventfd(0, EFD_CLOEXEC))
{
    thread_ = std::thread([this, ns, ports] { run(ns, ports); });
    while (!ready_ && !failed_)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

AnswerServer::~AnswerServer()
{
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(wake_, &one, sizeof one);
    thread_.join();
    ::close(wake_);
}

void AnswerServer::run(const QString& ns, std::vector<uint16_t> ports)
{
    if (!enterNamespace(ns)) {
        failed_ = true;
        return;
    }
    const int ep = ::epoll_create1(EPOLL_CLOEXEC);
    std::vector<int> listeners;
    epoll_event wake{EPOLLIN, {.fd = wake_}};
    ::epoll_ctl(ep, EPOLL_CTL_ADD, wake_, &wake);
    for (uint16_t port : ports) {
        const int fd = ::socket(AF_INET6, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        const int off = 0, on = 1;
        ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &off, sizeof off);
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in6 a{};
        a.sin6_family = AF_INET6;
        a.sin6_port = htons(port);
        if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd, 4096) != 0) {
            failed_ = true;
            return;
        }
        listeners.push_back(fd);
        epoll_event ev{EPOLLIN, {.fd = fd}};
        ::epoll_ctl(ep, EPOLL_CTL_ADD, fd, &ev);
    }
    ready_ = true;
    std::vector<epoll_event> events(512);
    std::vector<int> accepted;
    char buf[65536];
    for (;;) {
        const int n = ::epoll_wait(ep, events.data(), int(events.size()), -1);
        for (int i = 0; i < n; ++i) {
            const int fd = events[size_t(i)].data.fd;
            if (fd == wake_) {
                ::close(ep);
                for (int l : listeners)
                    ::close(l);
                for (int c : accepted) {
                    if (c >= 0)
                        ::close(c);
                }
                return;
            }
            if (std::find(listeners.begin(), listeners.end(), fd) != listeners.end()) {
                for (int c;
                     (c = ::accept4(fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC)) >= 0;) {
                    epoll_event ev{EPOLLIN, {.fd = c}};
                    ::epoll_ctl(ep, EPOLL_CTL_ADD, c, &ev);
                    if (size_t(c) >= accepted.size())
                        accepted.resize(size_t(c) + 1, -1);
                    accepted[size_t(c)] = c;
                    ++open_;
                }
                continue;
            }
            const ssize_t got = ::recv(fd, buf, sizeof buf, 0);
            if (got > 0) {
                [[maybe_unused]] const ssize_t s =
                    ::send(fd, kAnswer, sizeof kAnswer - 1, MSG_NOSIGNAL | MSG_DONTWAIT);
            } else {
                ::close(fd);
                accepted[size_t(fd)] = -1;
                --open_;
            }
        }
    }
}

double Timings::percentile(double p) const
{
    if (micros.empty())
        return 0;
    std::vector<double> sorted = micros;
    std::sort(sorted.begin(), sorted.end());
    return sorted[std::min(sorted.size() - 1, size_t(p * double(sorted.size())))];
}

Timings connectLoop(const QString& ns, const QString& address, uint16_t port,
                    const QByteArray& request, int count, int threads, bool refused)
{
    Timings t;
    std::mutex mutex;
    std::vector<std::thread> workers;
    const auto start = std::chrono::steady_clock::now();
    for (int w = 0; w < threads; ++w) {
        workers.emplace_back([&, w] {
            std::vector<double> mine;
            int failed = 0;
            if (!enterNamespace(ns))
                failed = count;
            for (int i = w; i < count && failed < count; i += threads) {
                const auto t0 = std::chrono::steady_clock::now();
                const int fd = connectTo(address, port);
                const bool ok = fd >= 0 && ask(fd, request, refused);
                const auto t1 = std::chrono::steady_clock::now();
                if (fd >= 0)
                    ::close(fd);
                if (!ok) {
                    ++failed;
                    continue;
                }
                mine.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
            }
            std::lock_guard lock(mutex);
            t.micros.insert(t.micros.end(), mine.begin(), mine.end());
            t.failures += failed;
        });
    }
    for (std::thread& w : workers)
        w.join();
    t.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return t;
}

ConnectionHolder::~ConnectionHolder()
{
    closeAll();
}

bool ConnectionHolder::fill(const QString& ns, const QString& address, uint16_t port,
                            const QByteArray& request, int count)
{
    bool ok = true;
    std::thread opener([&] {
        if (!enterNamespace(ns)) {
            ok = false;
            return;
        }
        while (int(fds_.size()) < count) {
            const int fd = connectTo(address, port);
            if (fd < 0 || !ask(fd, request)) {
                if (fd >= 0)
                    ::close(fd);
                ok = false;
                return;
            }
            fds_.push_back(fd);
        }
    });
    opener.join();
    return ok;
}

void ConnectionHolder::closeAll()
{
    for (int fd : fds_)
        ::close(fd);
    fds_.clear();
}

} // namespace lt::bench
