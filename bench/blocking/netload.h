#pragma once
// Load for the blocking benchmark, made by threads that enter the test's network namespaces
// (setns affects the calling thread alone): a server that answers whatever it reads at once
// and keeps its connections open, a loop of connections that times each one's first answered
// byte, and a holder of many open connections.

#include <QByteArray>
#include <QString>
#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

namespace lt::bench
{

// Puts the calling thread into the named namespace (/run/netns/NAME).
bool enterNamespace(const QString& ns);

// On each port: accepts, answers every read with a short HTTP answer, never closes first.
class AnswerServer
{
public:
    AnswerServer(const QString& ns, const std::vector<uint16_t>& ports);
    ~AnswerServer();
    bool ready() const { return ready_; }
    int open() const { return open_; }

private:
    void run(const QString& ns, std::vector<uint16_t> ports);
    int wake_ = -1;
    std::atomic<bool> ready_{false};
    std::atomic<bool> failed_{false};
    std::atomic<int> open_{0};
    std::thread thread_;
};

struct Timings {
    std::vector<double> micros; // connect to first answered byte, each connection
    double seconds = 0;         // the whole loop
    int failures = 0;
    double percentile(double p) const; // of micros, p in [0, 1]
};

// threads loops, count connections in all: connect, send request, wait for the first byte
// of the answer, close. refused: the connection is expected to be turned away; its time is
// until the reset (or the close after a block page).
Timings connectLoop(const QString& ns, const QString& address, uint16_t port,
                    const QByteArray& request, int count, int threads, bool refused = false);

// Opens count connections (each sends request and reads its answer) and keeps them open.
class ConnectionHolder
{
public:
    ~ConnectionHolder();
    // Adds connections until count are open; false when one could not be opened.
    bool fill(const QString& ns, const QString& address, uint16_t port, const QByteArray& request,
              int count);
    void closeAll();
    int size() const { return int(fds_.size()); }

private:
    std::vector<int> fds_;
};

// Raises this process's descriptor limit to at least n; false when it could not.
bool allowDescriptors(int n);

} // namespace lt::bench
