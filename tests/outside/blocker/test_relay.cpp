// The blocking module's relay on the loopback, without packet rules: the test tells it where
// each connection was going (a real server of the test's own) instead of the redirect's
// original destination. Real sockets, real clients (plain sockets, openssl s_client): pages
// and uploads come through intact, a blocked HTTP request gets the block page without the
// server ever being reached, a blocked later request on a kept-alive connection resets it, a
// blocked TLS server name gets a reset, a client that sends nothing is judged by address, and
// no descriptor is left behind when the connections have ended. The first bytes are read by
// the monitor's parsers, also when they come one byte at a time.

#include "outside/blocker/policy.h"
#include "outside/blocker/relay.h"

#include <QCryptographicHash>
#include <QDir>
#include <QProcess>
#include <QTest>
#include <arpa/inet.h>
#include <atomic>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

using namespace lt;
using namespace lt::blocker;

namespace
{

constexpr int kBig = 5 * 1024 * 1024;

QByteArray pattern(int size)
{
    QByteArray b(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        b[i] = char('a' + (i * 7 + i / 1000) % 26);
    return b;
}

bool sendAll(int fd, const QByteArray& bytes)
{
    qsizetype off = 0;
    while (off < bytes.size()) {
        const ssize_t n =
            ::send(fd, bytes.constData() + off, size_t(bytes.size() - off), MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        off += n;
    }
    return true;
}

// Reads until the peer closes or resets; *reset tells which.
QByteArray readToEnd(int fd, bool* reset = nullptr)
{
    QByteArray all;
    char buf[65536];
    for (;;) {
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n > 0) {
            all.append(buf, n);
            continue;
        }
        if (reset)
            *reset = n < 0 && errno == ECONNRESET;
        return all;
    }
}

// Reads one HTTP answer with a Content-Length: head and body.
QByteArray readAnswer(int fd)
{
    QByteArray all;
    char buf[65536];
    qsizetype need = -1;
    while (need < 0 || all.size() < need) {
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0)
            return all;
        all.append(buf, n);
        const qsizetype end = all.indexOf("\r\n\r\n");
        if (need < 0 && end >= 0) {
            const qsizetype at = all.indexOf("Content-Length: ");
            need = end + 4 + all.mid(at + 16, all.indexOf('\r', at) - at - 16).toLongLong();
        }
    }
    return all;
}

int connectTo(uint16_t port, const char* address = "127.0.0.1")
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    timeval tv{10, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    ::inet_pton(AF_INET, address, &a.sin_addr);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

int openDescriptors()
{
    return int(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::NoDotAndDotDot).size());
}

// A small HTTP/1.1 server with kept-alive connections: "/big" answers kBig bytes, "/echo"
// the SHA-1 of the request body, anything else "hello". A thread per connection.
class TestServer
{
public:
    TestServer()
    {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(fd_, 2048);
        socklen_t len = sizeof a;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
        acceptor_ = std::thread([this] { acceptLoop(); });
    }
    ~TestServer()
    {
        ::shutdown(fd_, SHUT_RDWR);
        acceptor_.join();
        ::close(fd_);
        std::vector<std::thread> threads;
        {
            std::lock_guard lock(mutex_);
            for (int fd : open_)
                ::shutdown(fd, SHUT_RDWR);
            threads.swap(threads_);
        }
        for (std::thread& t : threads)
            t.join(); // each takes the lock once more as it ends
    }
    uint16_t port() const { return port_; }
    int accepted() const { return accepted_; }
    // Speaks first: "220 ready\r\n", then echoes lines.
    void setGreeting(bool on) { greeting_ = on; }

private:
    void acceptLoop()
    {
        for (;;) {
            const int fd = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0)
                return;
            ++accepted_;
            std::lock_guard lock(mutex_);
            open_.push_back(fd);
            threads_.emplace_back([this, fd] { serve(fd); });
        }
    }
    void serve(int fd)
    {
        if (greeting_) {
            sendAll(fd, "220 ready\r\n");
            char buf[4096];
            for (ssize_t n; (n = ::recv(fd, buf, sizeof buf, 0)) > 0;)
                sendAll(fd, QByteArray(buf, n));
        } else {
            serveHttp(fd);
        }
        std::lock_guard lock(mutex_);
        open_.erase(std::find(open_.begin(), open_.end(), fd));
        ::close(fd);
    }
    void serveHttp(int fd)
    {
        QByteArray in;
        char buf[65536];
        for (;;) {
            const qsizetype end = in.indexOf("\r\n\r\n");
            if (end < 0) {
                const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
                if (n <= 0)
                    return;
                in.append(buf, n);
                continue;
            }
            const QByteArray head = in.left(end);
            qsizetype length = 0;
            const qsizetype at = head.indexOf("Content-Length: ");
            if (at >= 0)
                length = head.mid(at + 16, head.indexOf('\r', at) - at - 16).toLongLong();
            while (in.size() < end + 4 + length) {
                const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
                if (n <= 0)
                    return;
                in.append(buf, n);
            }
            const QByteArray body = in.mid(end + 4, length);
            in.remove(0, end + 4 + length);
            const QByteArray path = head.split(' ').value(1);
            QByteArray answer = "hello";
            if (path == "/big")
                answer = pattern(kBig);
            else if (path == "/echo")
                answer = QCryptographicHash::hash(body, QCryptographicHash::Sha1).toHex();
            if (!sendAll(fd, "HTTP/1.1 200 OK\r\nContent-Length: " +
                                 QByteArray::number(answer.size()) + "\r\n\r\n" + answer))
                return;
        }
    }

    int fd_ = -1;
    uint16_t port_ = 0;
    std::atomic<int> accepted_{0};
    std::atomic<bool> greeting_{false};
    std::thread acceptor_;
    std::mutex mutex_;
    std::vector<int> open_;
    std::vector<std::thread> threads_;
};

QByteArray get(const QByteArray& host, const QByteArray& path)
{
    return "GET " + path + " HTTP/1.1\r\nHost: " + host + "\r\nUser-Agent: t\r\n\r\n";
}

// A ClientHello as openssl sends it, caught by a plain listening socket.
QByteArray realClientHello(const QString& serverName)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(fd, 1);
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    QProcess client;
    client.start(QStringLiteral("openssl"),
                 {"s_client", "-connect", QStringLiteral("127.0.0.1:%1").arg(ntohs(a.sin_port)),
                  "-servername", serverName});
    client.waitForStarted();
    const int c = ::accept(fd, nullptr, nullptr);
    timeval tv{5, 0};
    ::setsockopt(c, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    QByteArray hello;
    char buf[4096];
    // A record header says how long the record is.
    while (hello.size() < 5 || hello.size() < 5 + (uchar(hello[3]) << 8 | uchar(hello[4]))) {
        const ssize_t n = ::recv(c, buf, sizeof buf, 0);
        if (n <= 0)
            break;
        hello.append(buf, n);
    }
    ::close(c);
    ::close(fd);
    client.kill();
    client.waitForFinished();
    return hello;
}

} // namespace

class RelayTest : public QObject
{
    Q_OBJECT
    std::unique_ptr<TestServer> server_;
    std::unique_ptr<Relay> relay_;
    std::mutex mutex_;
    QList<Asked> asked_;
    std::atomic<bool> direct_{false};
    uint16_t target_ = 0; // where the connections go

    QList<Asked> asked()
    {
        std::lock_guard lock(mutex_);
        return asked_;
    }

    void startRelay(int firstBytesMs = 5000)
    {
        Relay::Settings s;
        s.workers = 2;
        s.firstBytesMs = firstBytesMs;
        s.destination = [this](int, sockaddr_storage& to, socklen_t& length) {
            auto* a = reinterpret_cast<sockaddr_in*>(&to);
            *a = {};
            a->sin_family = AF_INET;
            a->sin_port = htons(target_);
            a->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            length = sizeof *a;
            return !direct_.load();
        };
        relay_ = std::make_unique<Relay>(s, [this](const Asked& a) {
            std::lock_guard lock(mutex_);
            asked_.append(a);
            const Request& r = a.request;
            const bool block =
                r.host.find("blocked") != std::string::npos || r.target.rfind("/forbidden", 0) == 0;
            Answer answer{block, {}};
            if (block && a.first && r.kind == Request::Kind::Http)
                answer.page = blockPage(QString::fromStdString(r.host));
            return answer;
        });
        QString error;
        QVERIFY2(relay_->listen(0, &error), qPrintable(error));
        relay_->start();
    }

private slots:
    // The relay runs in this process: like the module, it may use the descriptors the hard
    // limit allows (an ordinary user's soft limit of 1,024 is less than 300 relayed connections
    // with their pipes take).
    void initTestCase()
    {
        rlimit limit{};
        QVERIFY(::getrlimit(RLIMIT_NOFILE, &limit) == 0);
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }

    void init()
    {
        server_ = std::make_unique<TestServer>();
        target_ = server_->port();
        direct_ = false;
        asked_.clear();
    }

    void cleanup()
    {
        relay_.reset();
        server_.reset();
    }

    void firstBytesArriveInPieces()
    {
        const QByteArray hello = realClientHello(QStringLiteral("pieces.example.org"));
        QVERIFY(hello.size() > 100);
        FirstBytes tls;
        for (qsizetype i = 0; i < hello.size(); ++i) {
            const bool ready = tls.add(reinterpret_cast<const uint8_t*>(hello.constData() + i), 1);
            QCOMPARE(ready, i == hello.size() - 1);
        }
        std::vector<Request> r = tls.takeRequests();
        QCOMPARE(r.size(), size_t(1));
        QCOMPARE(r[0].kind, Request::Kind::Tls);
        QCOMPARE(r[0].host, std::string("pieces.example.org"));
        QCOMPARE(tls.bytes(), hello.toStdString()); // everything is sent on

        // Two pipelined requests split across reads: both heads are judged.
        const QByteArray two = get("a.cn", "/one") + get("a.cn", "/games/two");
        FirstBytes http;
        QVERIFY(!http.add(reinterpret_cast<const uint8_t*>(two.constData()), 20));
        QVERIFY(http.add(reinterpret_cast<const uint8_t*>(two.constData()) + 20,
                         size_t(two.size() - 20)));
        r = http.takeRequests();
        QCOMPARE(r.size(), size_t(2));
        QCOMPARE(r[1].target, std::string("/games/two"));

        // Neither HTTP nor TLS: the address decides; a silent client the same.
        FirstBytes other;
        QVERIFY(other.add(reinterpret_cast<const uint8_t*>("SSH-2.0-x\r\n"), 11));
        QCOMPARE(other.takeRequests().at(0).kind, Request::Kind::Other);
        FirstBytes silent;
        silent.giveUp();
        QVERIFY(silent.ready());
        QCOMPARE(silent.takeRequests().at(0).host, std::string());
    }

    // Pages come down and uploads go up intact, over a kept-alive connection; every request is
    // judged with its host and target.
    void relaysIntact()
    {
        startRelay();
        const int fd = connectTo(relay_->port());
        QVERIFY(fd >= 0);
        QVERIFY(sendAll(fd, get("www.allowed.cn", "/big")));
        const QByteArray big = readAnswer(fd);
        QVERIFY(big.endsWith(pattern(kBig).right(100)));
        QCOMPARE(big.size() - big.indexOf("\r\n\r\n") - 4, kBig);
        const QByteArray upload = pattern(3 * 1024 * 1024 + 17);
        QVERIFY(sendAll(fd, "POST /echo HTTP/1.1\r\nHost: www.allowed.cn\r\nContent-Length: " +
                                QByteArray::number(upload.size()) + "\r\n\r\n" + upload));
        QVERIFY(readAnswer(fd).endsWith(
            QCryptographicHash::hash(upload, QCryptographicHash::Sha1).toHex()));
        ::close(fd);
        const QList<Asked> seen = asked();
        QCOMPARE(seen.size(), 2);
        QCOMPARE(seen[0].request.host, std::string("www.allowed.cn"));
        QCOMPARE(seen[0].request.target, std::string("/big"));
        QVERIFY(seen[0].first);
        QCOMPARE(seen[1].request.target, std::string("/echo"));
        QVERIFY(!seen[1].first);
        QCOMPARE(QString::fromStdString(seen[0].client.text()), QStringLiteral("127.0.0.1"));
        QCOMPARE(seen[0].serverPort, server_->port());
    }

    void blockedHttpGetsThePage()
    {
        startRelay();
        const int fd = connectTo(relay_->port());
        QVERIFY(sendAll(fd, get("www.blocked.cn", "/")));
        bool reset = true;
        const QByteArray answer = readToEnd(fd, &reset);
        ::close(fd);
        QVERIFY(!reset); // the page, then an orderly close
        QVERIFY(answer.startsWith("HTTP/1.1 403 Forbidden\r\n"));
        QVERIFY(answer.contains(kBlockNotice.toUtf8()));
        QCOMPARE(server_->accepted(), 0); // the server was never reached
        QCOMPARE(relay_->stats().blocked, uint64_t(1));
        QCOMPARE(relay_->stats().relayed, uint64_t(0));
    }

    void blockedLaterRequestResets()
    {
        startRelay();
        const int fd = connectTo(relay_->port());
        QVERIFY(sendAll(fd, get("www.allowed.cn", "/")));
        QVERIFY(readAnswer(fd).endsWith("hello"));
        QVERIFY(sendAll(fd, get("www.allowed.cn", "/forbidden/page")));
        bool reset = false;
        QCOMPARE(readToEnd(fd, &reset), QByteArray());
        QVERIFY(reset);
        ::close(fd);
        QCOMPARE(relay_->stats().judged, uint64_t(2));
        QCOMPARE(relay_->stats().blocked, uint64_t(1));
    }

    void blockedTlsNameResets()
    {
        startRelay();
        const int fd = connectTo(relay_->port());
        QVERIFY(sendAll(fd, realClientHello(QStringLiteral("www.blocked.org"))));
        bool reset = false;
        QCOMPARE(readToEnd(fd, &reset), QByteArray());
        QVERIFY(reset);
        ::close(fd);
        QCOMPARE(asked().value(0).request.kind, Request::Kind::Tls);
        QCOMPARE(asked().value(0).request.host, std::string("www.blocked.org"));
        QCOMPARE(server_->accepted(), 0);
    }

    // A server that speaks first still works: a client that sends nothing is judged by its
    // server's address after the first-bytes time and connected.
    void silentClientJudgedByAddress()
    {
        server_->setGreeting(true);
        startRelay(200);
        const int fd = connectTo(relay_->port());
        char buf[64] = {};
        QCOMPARE(::recv(fd, buf, sizeof buf, 0), ssize_t(11));
        QCOMPARE(QByteArray(buf, 11), QByteArray("220 ready\r\n"));
        QVERIFY(sendAll(fd, "NOOP\r\n"));
        QCOMPARE(::recv(fd, buf, sizeof buf, 0), ssize_t(6));
        ::close(fd);
        QCOMPARE(asked().value(0).request.kind, Request::Kind::Other);
        QCOMPARE(asked().value(0).request.host, std::string());
    }

    // A client that sends its request and shuts its side still gets the whole answer.
    void halfClosedClientGetsTheAnswer()
    {
        startRelay();
        const int fd = connectTo(relay_->port());
        QVERIFY(sendAll(fd, get("www.allowed.cn", "/big")));
        ::shutdown(fd, SHUT_WR);
        QCOMPARE(readAnswer(fd).size() > kBig, true);
        ::close(fd);
    }

    void unreachableServerAndDirectConnections()
    {
        startRelay();
        target_ = 1; // nothing listens there
        int fd = connectTo(relay_->port());
        QVERIFY(sendAll(fd, get("www.allowed.cn", "/")));
        bool reset = false;
        readToEnd(fd, &reset);
        QVERIFY(reset);
        ::close(fd);
        QTRY_COMPARE(relay_->stats().failed, uint64_t(1));
        QVERIFY(relay_->lastError().contains(QStringLiteral("连接服务器")));

        direct_ = true; // not sent here by the rules
        fd = connectTo(relay_->port());
        readToEnd(fd);
        ::close(fd);
        QTRY_COMPARE(relay_->stats().refused, uint64_t(1));
    }

    // Many connections at once, each with its answer; when they have ended no connection,
    // socket or pipe is left.
    void manyConnectionsLeaveNothing()
    {
        startRelay();
        const int before = openDescriptors();
        constexpr int kCount = 300;
        std::vector<int> fds;
        for (int i = 0; i < kCount; ++i) {
            fds.push_back(connectTo(relay_->port()));
            QVERIFY(fds.back() >= 0);
            QVERIFY(sendAll(fds.back(), get("host" + QByteArray::number(i) + ".cn", "/")));
        }
        for (int fd : fds)
            QVERIFY(readAnswer(fd).endsWith("hello"));
        QTRY_COMPARE(relay_->stats().open, uint64_t(kCount));
        for (int fd : fds)
            ::close(fd);
        QTRY_COMPARE(relay_->stats().open, uint64_t(0));
        QCOMPARE(relay_->stats().relayed, uint64_t(kCount));
        // The pool keeps some empty pipes for the next connections, never more than its bound.
        QTRY_VERIFY(openDescriptors() <= before + 2 * 2 * 64);
        const int settled = openDescriptors();
        for (int round = 0; round < 3; ++round) {
            const int fd = connectTo(relay_->port());
            QVERIFY(sendAll(fd, get("again.cn", "/big")));
            readAnswer(fd);
            ::close(fd);
        }
        QTRY_COMPARE(relay_->stats().open, uint64_t(0));
        QTRY_COMPARE(openDescriptors(), settled);
    }
};

QTEST_GUILESS_MAIN(RelayTest)
#include "test_relay.moc"
