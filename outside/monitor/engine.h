#pragma once
// The monitor's packet path: the table of TCP connections, each direction put back in order,
// what each connection carries told apart (HTTP, TLS, anything else), and what the log wants
// from it handed on as events: a page visit (an HTTP request and its answer, or a TLS
// connection's server name), an upload (the body of a POST or PUT) and the connection's bytes
// per hour. Times are the packets' own (microseconds since the epoch), so a capture file gives
// the same events whenever it is read.
//
// No Qt container and no allocation per packet on the common path; texts are made per event.

#include "outside/monitor/packet.h"

#include <QString>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>

namespace lt::monitor
{

struct VisitEvent {
    int64_t time = 0; // of the request (HTTP) or the ClientHello (HTTPS)
    IpAddress client;
    IpAddress server;
    uint16_t clientPort = 0;
    uint16_t serverPort = 0;
    bool https = false;
    std::string host;   // Host header or server name; the server's address when neither
    std::string target; // the request target; "/" for HTTPS
    std::string method;
    QString title;
    uint64_t length = 0; // bytes of the answer on the wire (HTTPS: all the server sent)
};

struct UploadEvent {
    int64_t time = 0;
    IpAddress client;
    std::string host;
    std::string target;
    QString text;
};

struct TrafficEvent {
    int64_t hourStart = 0; // the local hour the bytes belong to, seconds since the epoch
    IpAddress client;
    IpAddress server;
    uint16_t clientPort = 0;
    uint16_t serverPort = 0;
    std::string host; // the site when known
    uint64_t up = 0;  // IP bytes from the terminal
    uint64_t down = 0;
    bool fresh = false; // the connection's first bytes handed on, and its start was seen
    bool last = false;  // the connection has ended
};

class EventSink
{
public:
    virtual ~EventSink() = default;
    virtual void visit(const VisitEvent& event) = 0;
    virtual void upload(const UploadEvent& event) = 0;
    virtual void traffic(const TrafficEvent& event) = 0;
};

// The start of the local hour that holds the time (seconds since the epoch).
int64_t localHourStart(int64_t seconds);

class Engine
{
public:
    struct Limits {
        int64_t idleSeconds = 300;      // an established connection silent this long has ended
        int64_t openingSeconds = 30;    // a connection that never got past its SYN
        int64_t httpsVisitSeconds = 10; // an HTTPS visit is written this long after its hello
        int64_t trafficSeconds = 60;    // a long connection's bytes are handed on this often
        size_t maxConnections = 200000; // about 300 MB at most
    };

    struct Stats {
        uint64_t packets = 0;
        uint64_t bytes = 0;
        uint64_t tcp = 0;
        uint64_t malformed = 0;
        uint64_t connections = 0; // seen in all
        uint64_t open = 0;        // in the table now
        uint64_t visits = 0;
        uint64_t uploads = 0;
        uint64_t overflow = 0; // connections not followed because the table was full
    };

    explicit Engine(EventSink& sink);
    Engine(EventSink& sink, const Limits& limits);
    ~Engine();

    // One captured frame of the link-layer type, at time (microseconds since the epoch).
    void frame(int linkType, const uint8_t* data, size_t captured, size_t wireLength, int64_t time);
    void segment(const Segment& segment, int64_t time);
    // Lets time pass without packets (a quiet network): ends idle connections, hands on what
    // is due. frame() does the same as packet time goes by.
    void tick(int64_t time);
    // Ends every connection: the end of a capture file, or the module closing.
    void finish();

    const Stats& stats() const { return stats_; }

    struct Flow;
    struct FlowKey {
        IpAddress a, b;
        uint16_t portA = 0, portB = 0;
        bool operator==(const FlowKey& o) const;
    };
    struct FlowHash {
        size_t operator()(const FlowKey& key) const;
    };

private:
    void sweep(int64_t time);
    void close(Flow& flow, int64_t time);
    void handOnTraffic(Flow& flow, bool last);
    // An HTTPS visit, its bytes from the server so far: once its time has come or at the end.
    void handOnHello(Flow& flow);
    Flow* lookup(const Segment& s, int64_t time);

    EventSink& sink_;
    Limits limits_;
    Stats stats_;
    std::unordered_map<FlowKey, std::unique_ptr<Flow>, FlowHash> flows_;
    int64_t lastSweep_ = 0;
    int64_t now_ = 0;
    friend struct FlowSink;
};

} // namespace lt::monitor
