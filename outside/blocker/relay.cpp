#include "outside/blocker/worker.h"

#include <QStringList>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <unistd.h>

// <linux/netfilter_ipv4.h> and <linux/netfilter_ipv6/ip6_tables.h> define these; their other
// declarations clash with the C library's.
#ifndef SO_ORIGINAL_DST
#define SO_ORIGINAL_DST 80
#endif
#ifndef IP6T_SO_ORIGINAL_DST
#define IP6T_SO_ORIGINAL_DST 80
#endif

namespace lt::blocker
{

namespace
{

constexpr int kPipeBytes = 1024 * 1024; // room for several segments of a fast download
constexpr int kBacklog = 4096;
constexpr size_t kBufferBytes = 64 * 1024;
constexpr int kNice = -10;

QString systemError(const char* what, int error = errno)
{
    return QStringLiteral("%1：%2").arg(QString::fromLatin1(what),
                                        QString::fromLocal8Bit(std::strerror(error)));
}

int listeningSocket(int family, uint16_t port, QString* error)
{
    const int fd = ::socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        *error = systemError("socket");
        return -1;
    }
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEPORT, &on, sizeof on);
    // Inherited by every accepted socket: no call per connection.
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    // Accepted when the first bytes are there: the request is read in the same wake-up.
    const int deferSeconds = 2;
    ::setsockopt(fd, IPPROTO_TCP, TCP_DEFER_ACCEPT, &deferSeconds, sizeof deferSeconds);
    sockaddr_storage ss{};
    socklen_t length;
    if (family == AF_INET6) {
        ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on);
        auto* a = reinterpret_cast<sockaddr_in6*>(&ss);
        a->sin6_family = AF_INET6;
        a->sin6_addr = in6addr_any;
        a->sin6_port = htons(port);
        length = sizeof *a;
    } else {
        auto* a = reinterpret_cast<sockaddr_in*>(&ss);
        a->sin_family = AF_INET;
        a->sin_addr.s_addr = htonl(INADDR_ANY);
        a->sin_port = htons(port);
        length = sizeof *a;
    }
    if (::bind(fd, reinterpret_cast<sockaddr*>(&ss), length) != 0 || ::listen(fd, kBacklog) != 0) {
        *error = systemError("bind");
        ::close(fd);
        return -1;
    }
    return fd;
}

monitor::IpAddress toIpAddress(const sockaddr_storage& ss, uint16_t* port)
{
    monitor::IpAddress a;
    if (ss.ss_family == AF_INET6) {
        const auto* s6 = reinterpret_cast<const sockaddr_in6*>(&ss);
        a.family = 6;
        std::memcpy(a.bytes, &s6->sin6_addr, 16);
        *port = ntohs(s6->sin6_port);
    } else {
        const auto* s4 = reinterpret_cast<const sockaddr_in*>(&ss);
        a.family = 4;
        std::memcpy(a.bytes, &s4->sin_addr, 4);
        *port = ntohs(s4->sin_port);
    }
    return a;
}

uint16_t boundPort(int fd)
{
    sockaddr_storage ss{};
    socklen_t length = sizeof ss;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&ss), &length);
    return ss.ss_family == AF_INET6 ? ntohs(reinterpret_cast<sockaddr_in6*>(&ss)->sin6_port)
                                    : ntohs(reinterpret_cast<sockaddr_in*>(&ss)->sin_port);
}

} // namespace

int64_t monotonicMs()
{
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

bool originalDestination(int fd, sockaddr_storage& to, socklen_t& length)
{
    sockaddr_storage local{};
    socklen_t localLength = sizeof local;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &localLength) != 0)
        return false;
    to = {};
    length = sizeof to;
    const bool six = local.ss_family == AF_INET6;
    if (::getsockopt(fd, six ? SOL_IPV6 : SOL_IP, six ? IP6T_SO_ORIGINAL_DST : SO_ORIGINAL_DST, &to,
                     &length) != 0)
        return false;
    // Not translated: the client connected to this port itself.
    return !(length == localLength && std::memcmp(&to, &local, length) == 0);
}

void Relay::Shared::fail(const QString& error)
{
    std::lock_guard lock(errorMutex);
    lastError = error;
}

PipePool::~PipePool()
{
    for (Pipe& p : free_)
        close(p);
}

Pipe PipePool::get()
{
    if (!free_.empty()) {
        const Pipe p = free_.back();
        free_.pop_back();
        return p;
    }
    int fds[2];
    if (::pipe2(fds, O_NONBLOCK | O_CLOEXEC) != 0)
        return {};
    ::fcntl(fds[1], F_SETPIPE_SZ, kPipeBytes); // the default 64 KB where refused
    return {fds[0], fds[1]};
}

void PipePool::put(Pipe& pipe)
{
    if (!pipe.valid())
        return;
    if (free_.size() < kKeep)
        free_.push_back(pipe);
    else
        close(pipe);
    pipe = {};
}

void PipePool::close(Pipe& pipe)
{
    if (pipe.valid()) {
        ::close(pipe.read);
        ::close(pipe.write);
    }
    pipe = {};
}

Relay::Worker::Worker(Shared& shared)
    : shared_(shared), epoll_(::epoll_create1(EPOLL_CLOEXEC)),
      wake_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)),
      reserve_(::open("/dev/null", O_RDONLY | O_CLOEXEC)), buffer_(kBufferBytes)
{
    wakeTag_.fd = wake_;
    epoll_event ev{EPOLLIN, {.ptr = &wakeTag_}};
    ::epoll_ctl(epoll_, EPOLL_CTL_ADD, wake_, &ev);
}

Relay::Worker::~Worker()
{
    stop();
    closeAll();
    for (int fd : {epoll_, wake_, reserve_}) {
        if (fd >= 0)
            ::close(fd);
    }
}

bool Relay::Worker::listen(int family, uint16_t& port, QString* error)
{
    const int fd = listeningSocket(family, port, error);
    if (fd < 0)
        return false;
    port = boundPort(fd);
    listeners_.push_back(fd);
    listenerTags_.push_back(std::make_unique<Tag>(Tag{Tag::Kind::Listener, nullptr, fd}));
    epoll_event ev{EPOLLIN, {.ptr = listenerTags_.back().get()}};
    ::epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &ev);
    return true;
}

void Relay::Worker::closeAll()
{
    for (auto& [id, c] : connections_) {
        for (int fd : {c->client, c->server}) {
            if (fd >= 0)
                ::close(fd);
        }
        PipePool::close(c->up.pipe);
        PipePool::close(c->down.pipe);
    }
    shared_.counters.open -= connections_.size();
    connections_.clear();
    for (int fd : listeners_)
        ::close(fd);
    listeners_.clear();
}

void Relay::Worker::start()
{
    thread_ = std::thread([this] { run(); });
}

void Relay::Worker::stop()
{
    if (!thread_.joinable())
        return;
    stopping_ = true;
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(wake_, &one, sizeof one);
    thread_.join();
}

int Relay::Worker::timeoutMs() const
{
    int64_t next = -1;
    for (const auto* queue : {&firstBytesDue_, &connectDue_}) {
        if (!queue->empty() && (next < 0 || queue->front().at < next))
            next = queue->front().at;
    }
    if (next < 0)
        return -1;
    return int(std::max<int64_t>(0, next - monotonicMs() + 1));
}

void Relay::Worker::run()
{
    // Every web connection of the LAN waits on this thread: ahead of the gateway's other work
    // where the process may (CAP_SYS_NICE, root); as it is otherwise.
    ::setpriority(PRIO_PROCESS, pid_t(::gettid()), kNice);
    std::vector<epoll_event> events(256);
    while (!stopping_) {
        const int n = ::epoll_wait(epoll_, events.data(), int(events.size()),
                                   again_.empty() ? timeoutMs() : 0);
        if (n < 0 && errno != EINTR) {
            shared_.fail(systemError("epoll_wait"));
            break;
        }
        for (int i = 0; i < n; ++i)
            event(*static_cast<Tag*>(events[size_t(i)].data.ptr), events[size_t(i)].events);
        goOn();
        expire(firstBytesDue_, Connection::State::FirstBytes);
        expire(connectDue_, Connection::State::Connecting);
        finished_.clear();
    }
    closeAll();
}

void Relay::Worker::event(Tag& tag, uint32_t events)
{
    switch (tag.kind) {
    case Tag::Kind::Wake:
        return; // stopping_ ends the loop
    case Tag::Kind::Listener:
        accept(tag.fd);
        return;
    case Tag::Kind::Client:
    case Tag::Kind::Server:
        break;
    }
    Connection& c = *tag.connection;
    if (c.finished)
        return;
    const bool client = tag.kind == Tag::Kind::Client;
    // A connect's outcome, failed or not, is read by connected() (reading SO_ERROR clears it).
    if (c.state == Connection::State::Connecting && !client) {
        connected(c, events);
        return;
    }
    if (events & EPOLLERR) {
        finish(c, true);
        return;
    }
    switch (c.state) {
    case Connection::State::FirstBytes:
        if (client)
            readFirstBytes(c);
        return;
    case Connection::State::Connecting:
        return; // the client's bytes wait in its socket until the server is connected
    case Connection::State::Relaying: {
        // Only a direction one of whose sockets moved: the other waits for its own edge.
        const bool readable = events & (EPOLLIN | EPOLLRDHUP | EPOLLHUP);
        const bool writable = events & (EPOLLOUT | EPOLLHUP);
        progress(c, client ? readable : writable, client ? writable : readable);
        return;
    }
    }
}

void Relay::Worker::goOn()
{
    std::vector<uint64_t> ids;
    ids.swap(again_);
    for (uint64_t id : ids) {
        const auto it = connections_.find(id);
        if (it == connections_.end())
            continue;
        it->second->again = false;
        if (it->second->state == Connection::State::Relaying)
            progress(*it->second);
    }
}

void Relay::Worker::accept(int listener)
{
    for (int count = 0; count < 64; ++count) {
        sockaddr_storage peer{};
        socklen_t peerLength = sizeof peer;
        const int fd = ::accept4(listener, reinterpret_cast<sockaddr*>(&peer), &peerLength,
                                 SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EMFILE || errno == ENFILE) {
                // Out of descriptors: take the connection with the reserve and close it, or the
                // listener would wake the loop for it again and again.
                shared_.fail(systemError("accept"));
                ::close(reserve_);
                const int taken = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
                if (taken >= 0)
                    ::close(taken);
                reserve_ = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
            }
            return;
        }
        ++shared_.counters.accepted;
        auto c = std::make_unique<Connection>();
        c->client = fd;
        c->toLength = sizeof c->to;
        const Destination& destination = shared_.settings.destination;
        const bool known = destination ? destination(fd, c->to, c->toLength)
                                       : originalDestination(fd, c->to, c->toLength);
        if (!known) {
            ++shared_.counters.refused;
            ::close(fd);
            continue;
        }
        c->asked.client = toIpAddress(peer, &c->asked.clientPort);
        c->asked.server = toIpAddress(c->to, &c->asked.serverPort);
        c->id = nextId_++;
        c->first = std::make_unique<FirstBytes>();
        c->clientTag = {Tag::Kind::Client, c.get(), fd};
        c->serverTag = {Tag::Kind::Server, c.get(), -1};
        Connection& ref = *c;
        connections_.emplace(c->id, std::move(c));
        ++shared_.counters.open;
        firstBytesDue_.push_back({monotonicMs() + shared_.settings.firstBytesMs, ref.id});
        watch(fd, ref.clientTag);
        readFirstBytes(ref); // the request often came with the handshake's last packet
    }
}

void Relay::Worker::expire(std::deque<Deadline>& queue, Connection::State state)
{
    const int64_t now = monotonicMs();
    while (!queue.empty() && queue.front().at <= now) {
        const uint64_t id = queue.front().id;
        queue.pop_front();
        const auto it = connections_.find(id);
        if (it == connections_.end() || it->second->state != state)
            continue;
        Connection& c = *it->second;
        if (state == Connection::State::FirstBytes) {
            c.first->giveUp();
            decide(c);
        } else {
            ++shared_.counters.failed;
            shared_.fail(QStringLiteral("连接服务器超时：") +
                         QString::fromStdString(c.asked.server.text()));
            finish(c, true);
        }
    }
}

Relay::Relay(const Settings& settings, Judge judge) : shared_(std::make_unique<Shared>())
{
    shared_->settings = settings;
    shared_->judge = std::move(judge);
    for (int i = 0; i < std::max(settings.workers, 1); ++i)
        workers_.push_back(std::make_unique<Worker>(*shared_));
}

Relay::~Relay()
{
    stop();
}

bool Relay::listen(uint16_t port, QString* error)
{
    QString why;
    for (int attempt = 0; attempt < 20; ++attempt) {
        uint16_t chosen = port;
        bool ok = workers_[0]->listen(AF_INET, chosen, &why);
        uint16_t six = chosen;
        // A system without IPv6 keeps IPv4 alone; a port taken on IPv6 is tried anew.
        const bool sixOk = ok && workers_[0]->listen(AF_INET6, six, &why);
        if (ok && !sixOk && port == 0 && why.contains(QLatin1String("in use"))) {
            workers_[0] = std::make_unique<Worker>(*shared_);
            continue;
        }
        for (size_t i = 1; ok && i < workers_.size(); ++i) {
            uint16_t p = chosen;
            ok = workers_[i]->listen(AF_INET, p, &why);
            if (ok && sixOk)
                workers_[i]->listen(AF_INET6, p, &why);
        }
        if (ok) {
            port_ = chosen;
            return true;
        }
        break;
    }
    if (error)
        *error = why;
    return false;
}

uint16_t Relay::port() const
{
    return port_;
}

void Relay::start()
{
    for (auto& w : workers_)
        w->start();
}

void Relay::stop()
{
    for (auto& w : workers_)
        w->stop();
}

Relay::Stats Relay::stats() const
{
    const Shared::Counters& c = shared_->counters;
    return {c.accepted, c.judged,  c.blocked, c.relayed,  c.open,
            c.failed,   c.refused, c.bytesUp, c.bytesDown};
}

QString Relay::lastError() const
{
    std::lock_guard lock(shared_->errorMutex);
    return shared_->lastError;
}

} // namespace lt::blocker
