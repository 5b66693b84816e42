#pragma once
// Inside the relay (outside/blocker/relay.h): one worker's epoll loop and the connections it
// holds. Only relay.cpp and connection.cpp include this.

#include "outside/blocker/relay.h"

#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

namespace lt::blocker
{

struct Relay::Shared {
    Settings settings;
    Judge judge;
    struct Counters {
        std::atomic<uint64_t> accepted{0}, judged{0}, blocked{0}, relayed{0}, open{0}, failed{0},
            refused{0}, bytesUp{0}, bytesDown{0};
    } counters;
    mutable std::mutex errorMutex;
    QString lastError;
    void fail(const QString& error);
};

struct Pipe {
    int read = -1;
    int write = -1;
    bool valid() const { return read >= 0; }
};

// Empty pipes waiting for a connection that has bytes to move.
class PipePool
{
public:
    ~PipePool();
    Pipe get();           // invalid when the system gives no more pipes
    void put(Pipe& pipe); // an empty pipe: kept for the next one, or closed
    static void close(Pipe& pipe);

private:
    static constexpr size_t kKeep = 64;
    std::vector<Pipe> free_;
};

// One direction of a relayed connection.
struct Flow {
    Pipe pipe;
    size_t held = 0;     // bytes in the pipe
    std::string pending; // bytes from user space not sent yet (first bytes, HTTP read so far)
    size_t sent = 0;     // of pending
    bool eof = false;    // the source ended
    bool shut = false;   // the destination's writing side was shut after it
    bool waiting() const { return held > 0 || sent < pending.size(); }
};

struct Connection;

// What an epoll event points at.
struct Tag {
    enum class Kind { Listener, Wake, Client, Server };
    Kind kind;
    Connection* connection = nullptr;
    int fd = -1;
};

struct Connection {
    enum class State { FirstBytes, Connecting, Relaying };
    uint64_t id = 0;
    State state = State::FirstBytes;
    int client = -1;
    int server = -1;
    Tag clientTag{Tag::Kind::Client};
    Tag serverTag{Tag::Kind::Server};
    bool again = false;    // in the list of connections to go on with (a direction had more)
    bool finished = false; // closed; freed after the events of the current round
    sockaddr_storage to{};
    socklen_t toLength = 0;
    Asked asked; // addresses and ports; the request is filled in for each judgement
    std::unique_ptr<FirstBytes> first;
    std::unique_ptr<HttpRequests> http; // the client's side is read for every request
    Flow up;                            // client to server
    Flow down;                          // server to client
};

class Relay::Worker
{
public:
    explicit Worker(Shared& shared);
    ~Worker();
    bool listen(int family, uint16_t& port, QString* error);
    void start();
    void stop();

private:
    struct Deadline {
        int64_t at;
        uint64_t id;
    };

    void run();
    void closeAll();
    void accept(int listener);
    void goOn();
    void expire(std::deque<Deadline>& queue, Connection::State state);
    int timeoutMs() const;
    void event(Tag& tag, uint32_t events);

    // connection.cpp: the life of one connection.
    void readFirstBytes(Connection& c);
    void decide(Connection& c);
    Answer judge(Connection& c, const Request& request, bool first);
    void turnAway(Connection& c, const QByteArray& page);
    void connectServer(Connection& c);
    void connected(Connection& c, uint32_t events);
    int pump(Connection& c, bool upwards);
    int readClientSide(Connection& c);
    // Moves the bytes of the directions asked for; ends the connection when both are done.
    void progress(Connection& c, bool upwards = true, bool downwards = true);
    void watch(int fd, Tag& tag);
    void finish(Connection& c, bool reset);

    Shared& shared_;
    int epoll_ = -1;
    int wake_ = -1;
    int reserve_ = -1; // a descriptor given up when accept finds none left
    std::vector<int> listeners_;
    std::vector<std::unique_ptr<Tag>> listenerTags_;
    Tag wakeTag_{Tag::Kind::Wake};
    std::unordered_map<uint64_t, std::unique_ptr<Connection>> connections_;
    std::vector<std::unique_ptr<Connection>> finished_; // freed after the round's events
    uint64_t nextId_ = 1;
    std::deque<Deadline> firstBytesDue_; // one timeout for all: the queues stay in order
    std::deque<Deadline> connectDue_;
    std::vector<uint64_t> again_; // connections that stopped for fairness, not for a full socket
    PipePool pipes_;
    std::vector<char> buffer_;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

int64_t monotonicMs();

} // namespace lt::blocker
