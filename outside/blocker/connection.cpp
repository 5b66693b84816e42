// The life of one relayed connection: its first bytes, the judgement, the connect to the
// original destination, and the relaying both ways until both sides have ended.

#include "outside/blocker/worker.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <unistd.h>

namespace lt::blocker
{

namespace
{

constexpr int kRounds = 32; // reads and writes of one direction per event, for fairness
constexpr size_t kSpliceBytes = 1024 * 1024;

bool wouldBlock()
{
    return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
}

void setOptions(int fd)
{
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
}

QString addressText(const Asked& a)
{
    return QString::fromStdString(a.server.text()) + QLatin1Char(':') +
           QString::number(a.serverPort);
}

} // namespace

void Relay::Worker::readFirstBytes(Connection& c)
{
    for (;;) {
        const ssize_t n = ::recv(c.client, buffer_.data(), buffer_.size(), MSG_DONTWAIT);
        if (n > 0) {
            if (c.first->add(reinterpret_cast<const uint8_t*>(buffer_.data()), size_t(n))) {
                decide(c);
                return;
            }
            continue;
        }
        if (n == 0) {
            if (c.first->bytes().empty()) {
                finish(c, false);
                return;
            }
            c.up.eof = true; // sent its request and closed its side: the answer still goes back
            c.first->giveUp();
            decide(c);
            return;
        }
        if (wouldBlock())
            return; // the next bytes raise the next edge
        finish(c, true);
        return;
    }
}

Answer Relay::Worker::judge(Connection& c, const Request& request, bool first)
{
    c.asked.request = request;
    c.asked.first = first;
    ++shared_.counters.judged;
    Answer answer = shared_.judge(c.asked);
    if (answer.block)
        ++shared_.counters.blocked;
    return answer;
}

void Relay::Worker::decide(Connection& c)
{
    std::vector<Request> requests = c.first->takeRequests();
    for (size_t i = 0; i < requests.size(); ++i) {
        const Answer answer = judge(c, requests[i], i == 0);
        if (answer.block) {
            turnAway(c, i == 0 ? answer.page : QByteArray());
            return;
        }
    }
    c.http = c.first->takeHttp();
    c.up.pending = std::move(c.first->bytes());
    c.up.sent = 0;
    c.first.reset();
    connectServer(c);
}

void Relay::Worker::turnAway(Connection& c, const QByteArray& page)
{
    if (page.isEmpty()) {
        finish(c, true);
        return;
    }
    // A few hundred bytes: the new socket's buffer takes them at once.
    [[maybe_unused]] const ssize_t n =
        ::send(c.client, page.constData(), size_t(page.size()), MSG_NOSIGNAL | MSG_DONTWAIT);
    // Closing a socket with unread bytes sends a reset, which may overtake the page.
    while (::recv(c.client, buffer_.data(), buffer_.size(), MSG_DONTWAIT) > 0) {
    }
    ::shutdown(c.client, SHUT_WR);
    finish(c, false);
}

void Relay::Worker::connectServer(Connection& c)
{
    const int fd = ::socket(c.to.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        shared_.fail(QStringLiteral("无法建立到服务器的连接：") +
                     QString::fromLocal8Bit(std::strerror(errno)));
        finish(c, true);
        return;
    }
    setOptions(fd);
    c.server = fd;
    c.serverTag.fd = fd;
    c.state = Connection::State::Connecting;
    const int rc = ::connect(fd, reinterpret_cast<const sockaddr*>(&c.to), c.toLength);
    if (rc != 0 && errno != EINPROGRESS) {
        ++shared_.counters.failed;
        shared_.fail(QStringLiteral("连接服务器 %1 失败：%2")
                         .arg(addressText(c.asked), QString::fromLocal8Bit(std::strerror(errno))));
        finish(c, true);
        return;
    }
    // Registered once connecting: a socket not yet connecting reports a hang-up at once.
    watch(fd, c.serverTag);
    connectDue_.push_back({monotonicMs() + shared_.settings.connectMs, c.id});
    if (rc == 0)
        connected(c, EPOLLIN);
}

void Relay::Worker::connected(Connection& c, uint32_t events)
{
    int error = 0;
    socklen_t length = sizeof error;
    ::getsockopt(c.server, SOL_SOCKET, SO_ERROR, &error, &length);
    if (error != 0) {
        // The client learns it as it would have without the module: a reset.
        ++shared_.counters.failed;
        shared_.fail(QStringLiteral("连接服务器 %1 失败：%2")
                         .arg(addressText(c.asked), QString::fromLocal8Bit(std::strerror(error))));
        finish(c, true);
        return;
    }
    c.state = Connection::State::Relaying;
    ++shared_.counters.relayed;
    progress(c, true, events & EPOLLIN); // the server has hardly spoken yet
}

// -1: the connection ends with a reset (a blocked request, an error); 0: nothing to read now;
// 1: read.
int Relay::Worker::readClientSide(Connection& c)
{
    const ssize_t n = ::recv(c.client, buffer_.data(), buffer_.size(), MSG_DONTWAIT);
    if (n == 0) {
        c.up.eof = true;
        return 1;
    }
    if (n < 0)
        return wouldBlock() ? 0 : -1;
    const auto* bytes = reinterpret_cast<const uint8_t*>(buffer_.data());
    c.http->feed(bytes, size_t(n));
    for (const Request& r : c.http->take()) {
        if (judge(c, r, false).block)
            return -1;
    }
    if (c.http->lost())
        c.http.reset(); // no HTTP any more (a switched protocol): spliced from now on
    ssize_t sent = ::send(c.server, bytes, size_t(n), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (sent < 0) {
        if (!wouldBlock())
            return -1;
        sent = 0;
    }
    shared_.counters.bytesUp += uint64_t(sent);
    if (sent < n) {
        c.up.pending.assign(buffer_.data() + sent, size_t(n - sent));
        c.up.sent = 0;
    }
    return 1;
}

// Moves what one direction has until a socket would block (the next edge of epoll comes when
// it can go on): 0. 1: it stopped to let other connections have their turn and must be taken
// up again. -1: the connection is to end with a reset.
int Relay::Worker::pump(Connection& c, bool upwards)
{
    Flow& f = upwards ? c.up : c.down;
    const int src = upwards ? c.client : c.server;
    const int dst = upwards ? c.server : c.client;
    std::atomic<uint64_t>& moved = upwards ? shared_.counters.bytesUp : shared_.counters.bytesDown;
    for (int round = 0; round < kRounds; ++round) {
        if (f.sent < f.pending.size()) {
            const ssize_t n = ::send(dst, f.pending.data() + f.sent, f.pending.size() - f.sent,
                                     MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n < 0)
                return wouldBlock() ? 0 : -1;
            f.sent += size_t(n);
            moved += uint64_t(n);
            if (f.sent == f.pending.size()) {
                std::string().swap(f.pending); // an idle connection keeps no buffer
                f.sent = 0;
            }
            continue;
        }
        if (f.held > 0) {
            const ssize_t n = ::splice(f.pipe.read, nullptr, dst, nullptr, f.held,
                                       SPLICE_F_MOVE | SPLICE_F_NONBLOCK);
            if (n < 0)
                return wouldBlock() ? 0 : -1;
            f.held -= size_t(n);
            moved += uint64_t(n);
            if (f.held == 0)
                pipes_.put(f.pipe);
            continue;
        }
        if (f.eof) {
            if (!f.shut) {
                ::shutdown(dst, SHUT_WR);
                f.shut = true;
            }
            return 0;
        }
        if (upwards && c.http) {
            const int r = readClientSide(c);
            if (r <= 0)
                return r;
            continue;
        }
        if (!f.pipe.valid()) {
            f.pipe = pipes_.get();
            if (!f.pipe.valid()) {
                shared_.fail(QStringLiteral("无法建立管道：") +
                             QString::fromLocal8Bit(std::strerror(errno)));
                return -1;
            }
        }
        const ssize_t n = ::splice(src, nullptr, f.pipe.write, nullptr, kSpliceBytes,
                                   SPLICE_F_MOVE | SPLICE_F_NONBLOCK);
        if (n == 0) {
            f.eof = true;
            pipes_.put(f.pipe);
            continue;
        }
        if (n < 0) {
            if (!wouldBlock())
                return -1;
            pipes_.put(f.pipe);
            return 0;
        }
        f.held += size_t(n);
    }
    return 1;
}

void Relay::Worker::progress(Connection& c, bool upwards, bool downwards)
{
    const int up = upwards ? pump(c, true) : 0;
    const int down = up < 0 ? -1 : downwards ? pump(c, false) : 0;
    if (up < 0 || down < 0) {
        finish(c, true);
        return;
    }
    if (c.up.shut && c.down.shut) {
        finish(c, false);
        return;
    }
    if ((up > 0 || down > 0) && !c.again) {
        c.again = true;
        again_.push_back(c.id);
    }
}

// Each socket is registered once, edge-triggered for both directions: the relay reads and
// writes until a socket would block and waits for the next edge, so nothing is registered
// anew as the bytes come and go, and a socket that hung up is reported once.
void Relay::Worker::watch(int fd, Tag& tag)
{
    epoll_event ev{EPOLLIN | EPOLLOUT | EPOLLRDHUP | EPOLLET, {.ptr = &tag}};
    ::epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &ev);
}

void Relay::Worker::finish(Connection& c, bool reset)
{
    if (c.finished)
        return;
    c.finished = true;
    for (int fd : {c.client, c.server}) {
        if (fd < 0)
            continue;
        if (reset) {
            const linger abort{1, 0};
            ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
        }
        ::close(fd); // leaves epoll with it
    }
    c.client = c.server = -1;
    for (Flow* f : {&c.up, &c.down}) {
        if (f->held > 0)
            PipePool::close(f->pipe); // bytes nobody will take
        else
            pipes_.put(f->pipe);
    }
    --shared_.counters.open;
    const auto it = connections_.find(c.id);
    if (it != connections_.end()) {
        finished_.push_back(std::move(it->second));
        connections_.erase(it);
    }
}

} // namespace lt::blocker
