#pragma once
// The blocking module's transparent proxy. The packet rules (outside/blocker/rules.h) send the
// terminals' new TCP connections to ports 80 and 443 here; for each one the relay reads the
// client's first bytes (outside/blocker/requestreader.h), asks the policy, and then either
//   - connects to where the client was going (the original destination, SO_ORIGINAL_DST) and
//     relays both ways with splice(2) through a pipe, so the bytes never enter user space, or
//   - turns the client away: an HTTP request gets a 403 page, anything else a TCP reset.
// On an HTTP connection the client's side is read in user space so that every later request
// is judged as well; a blocked one resets the connection. The server's side (the downloads) is
// spliced always.
//
// Workers: each has its own epoll loop and its own listening sockets on the same port
// (SO_REUSEPORT: the kernel spreads the connections). A connection belongs to one worker from
// accept to close; nothing is shared between workers but the counters and the policy callback.
// Pipes are taken from a small pool only while bytes wait in them, so an idle connection holds
// its two sockets and a few hundred bytes.

#include "outside/blocker/requestreader.h"
#include "outside/monitor/packet.h"

#include <QByteArray>
#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <sys/socket.h>

namespace lt::blocker
{

// One request for the policy.
struct Asked {
    monitor::IpAddress client;
    monitor::IpAddress server;
    uint16_t clientPort = 0;
    uint16_t serverPort = 0;
    Request request;
    bool first = false; // the connection's first request: nothing was relayed yet
};

struct Answer {
    bool block = false;
    // For a blocked HTTP request that is the connection's first: what the client is answered.
    QByteArray page;
};

class Relay
{
public:
    // Where a connection was going; false when it was not sent here by the rules (a direct
    // connection to the relay's port), which is then closed.
    using Destination = std::function<bool(int fd, sockaddr_storage& to, socklen_t& length)>;
    // Called on the workers' threads, for every request read.
    using Judge = std::function<Answer(const Asked&)>;

    struct Settings {
        int workers = 2;
        int firstBytesMs = 5000; // a client that sends nothing is judged by its server's address
        int connectMs = 10000;   // a server that does not answer: the client gets a reset
        Destination destination; // empty: the original destination of the redirect
    };

    struct Stats {
        uint64_t accepted = 0;  // connections taken
        uint64_t judged = 0;    // requests judged
        uint64_t blocked = 0;   // requests turned away
        uint64_t relayed = 0;   // connections connected through
        uint64_t open = 0;      // connections held now
        uint64_t failed = 0;    // servers that could not be reached
        uint64_t refused = 0;   // connections that did not come through the rules
        uint64_t bytesUp = 0;   // client to server
        uint64_t bytesDown = 0; // server to client
    };

    Relay(const Settings& settings, Judge judge);
    ~Relay(); // stop()
    Relay(const Relay&) = delete;
    Relay& operator=(const Relay&) = delete;

    // Listens on IPv4 and IPv6 (where the system has it) on port, 0 for any free port.
    bool listen(uint16_t port, QString* error);
    uint16_t port() const;
    void start();
    void stop(); // ends every connection
    Stats stats() const;
    QString lastError() const;

    struct Shared; // what the workers share
    class Worker;

private:
    std::unique_ptr<Shared> shared_;
    std::vector<std::unique_ptr<Worker>> workers_;
    uint16_t port_ = 0;
};

// The original destination of a connection that nftables redirected here.
bool originalDestination(int fd, sockaddr_storage& to, socklen_t& length);

} // namespace lt::blocker
