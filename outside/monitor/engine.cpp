#include "outside/monitor/engine.h"

#include "outside/monitor/content.h"
#include "outside/monitor/http.h"
#include "outside/monitor/reassembly.h"
#include "outside/monitor/tls.h"

#include <cstring>
#include <ctime>
#include <deque>

namespace lt::monitor
{

namespace
{

constexpr int64_t kMicro = 1000000;
constexpr size_t kKeepUpload = 256 * 1024; // of an upload's body
constexpr size_t kKeepPage = 64 * 1024;    // of a page's body, where its title is
constexpr size_t kDetectBytes = 16;        // the client's first bytes that tell the protocol

struct PendingRequest {
    int64_t time = 0;
    std::string method;
    std::string target;
    std::string host;
};

} // namespace

int64_t localHourStart(int64_t seconds)
{
    thread_local int64_t start = 1, end = 0;
    if (seconds >= start && seconds < end)
        return start;
    const time_t t = time_t(seconds);
    tm local{};
    localtime_r(&t, &local);
    local.tm_min = 0;
    local.tm_sec = 0;
    start = int64_t(mktime(&local));
    if (start > seconds) // a clock change inside the hour
        start = seconds - seconds % 3600;
    end = start + 3600;
    return start;
}

struct HttpState {
    HttpStream requests;
    HttpStream responses;
    std::deque<PendingRequest> pending;
    bool tunnel = false; // a CONNECT was answered: what follows is no HTTP
    HttpState(HttpStream::Handlers r, HttpStream::Handlers s)
        : requests(true, std::move(r)), responses(false, std::move(s))
    {
    }
};

struct Engine::Flow {
    enum class Proto { Unknown, Http, Tls, Other };
    FlowKey key;
    IpAddress client, server;
    uint16_t clientPort = 0, serverPort = 0;
    bool synSeen = false;
    uint32_t clientIsn = 0;
    bool established = false;
    Proto proto = Proto::Unknown;
    Reassembler stream[2]; // 0: from the client, 1: from the server
    std::string early;     // the client's first bytes; the TLS hello while it is incomplete
    std::unique_ptr<HttpState> http;
    std::string host;
    bool helloPending = false;
    int64_t helloTime = 0;
    uint64_t payload[2] = {0, 0};
    int64_t hourStart = 0;
    uint64_t up = 0, down = 0;
    bool handedOn = false;
    int64_t lastHandOn = 0;
    int64_t last = 0;
    uint8_t fins = 0;

    std::string serverText() const { return server.text(); }
    std::string site() const { return host.empty() ? serverText() : host; }
};

// Where the reassembled bytes of one direction go.
struct FlowSink final : StreamSink {
    Engine& engine;
    Engine::Flow& flow;
    int dir;
    FlowSink(Engine& e, Engine::Flow& f, int d) : engine(e), flow(f), dir(d) {}
    void data(const uint8_t* bytes, size_t length) override;
    void gap(size_t length) override;
    void detect(const uint8_t* bytes, size_t length);
    void tls(const uint8_t* bytes, size_t length);
    void giveUp();
    void startHttp();
};

void FlowSink::giveUp()
{
    flow.proto = Engine::Flow::Proto::Other;
    flow.early.clear();
    flow.early.shrink_to_fit();
    flow.http.reset();
    flow.stream[0].stopBuffering();
    flow.stream[1].stopBuffering();
}

void FlowSink::data(const uint8_t* bytes, size_t length)
{
    using P = Engine::Flow::Proto;
    switch (flow.proto) {
    case P::Unknown:
        if (dir == 1)
            giveUp(); // the server spoke first: neither HTTP nor TLS
        else
            detect(bytes, length);
        break;
    case P::Http:
        (dir == 0 ? flow.http->requests : flow.http->responses).data(bytes, length);
        if (flow.http->tunnel || (flow.http->requests.lost() && flow.http->responses.lost()))
            giveUp();
        break;
    case P::Tls:
        if (dir == 0)
            tls(bytes, length);
        break;
    case P::Other:
        break;
    }
}

void FlowSink::gap(size_t length)
{
    using P = Engine::Flow::Proto;
    if (flow.proto == P::Http)
        (dir == 0 ? flow.http->requests : flow.http->responses).gap(length);
    else if (flow.proto == P::Unknown || (flow.proto == P::Tls && dir == 0))
        giveUp();
}

void FlowSink::detect(const uint8_t* bytes, size_t length)
{
    const size_t take = std::min(length, kDetectBytes - std::min(kDetectBytes, flow.early.size()));
    flow.early.append(reinterpret_cast<const char*>(bytes), take);
    const auto* head = reinterpret_cast<const uint8_t*>(flow.early.data());
    const int http = looksLikeRequest(head, flow.early.size());
    const int tlsHello = looksLikeTls(head, flow.early.size());
    if (http == 1) {
        startHttp();
        std::string early = std::move(flow.early);
        flow.early.clear();
        flow.http->requests.data(reinterpret_cast<const uint8_t*>(early.data()), early.size());
        if (flow.http)
            flow.http->requests.data(bytes + take, length - take);
    } else if (tlsHello == 1) {
        flow.proto = Engine::Flow::Proto::Tls;
        std::string early = std::move(flow.early);
        flow.early.clear();
        tls(reinterpret_cast<const uint8_t*>(early.data()), early.size());
        if (flow.proto == Engine::Flow::Proto::Tls)
            tls(bytes + take, length - take);
    } else if ((http == 0 && tlsHello == 0) || flow.early.size() >= kDetectBytes) {
        giveUp();
    }
}

void FlowSink::tls(const uint8_t* bytes, size_t length)
{
    flow.early.append(reinterpret_cast<const char*>(bytes), length);
    std::string name;
    const HelloResult r = readClientHello(reinterpret_cast<const uint8_t*>(flow.early.data()),
                                          flow.early.size(), name);
    if (r == HelloResult::NeedMore && flow.early.size() <= kMaxHelloBytes)
        return;
    if (r == HelloResult::Found) {
        flow.host = name;
        flow.helloPending = true;
        flow.helloTime = engine.now_;
    }
    // Whatever follows the hello is encrypted: only its bytes are counted.
    giveUp();
    flow.proto = r == HelloResult::Found ? Engine::Flow::Proto::Tls : Engine::Flow::Proto::Other;
}

void FlowSink::startHttp()
{
    Engine& e = engine;
    Engine::Flow& f = flow;
    flow.proto = Engine::Flow::Proto::Http;
    HttpStream::Handlers requests, responses;
    requests.keepBody = [](const HttpMessage& m) {
        return m.method == "POST" || m.method == "PUT" ? kKeepUpload : size_t(0);
    };
    requests.message = [&e, &f](HttpMessage&& m) {
        PendingRequest p{e.now_, m.method, m.target, m.host};
        // An absolute target (through a proxy) carries the host itself.
        if (p.target.rfind("http://", 0) == 0) {
            const size_t slash = p.target.find('/', 7);
            if (p.host.empty())
                p.host = p.target.substr(7, slash == std::string::npos ? slash : slash - 7);
            p.target = slash == std::string::npos ? "/" : p.target.substr(slash);
        }
        if (p.host.empty())
            p.host = f.serverText();
        if (f.host.empty())
            f.host = p.host;
        if ((m.method == "POST" || m.method == "PUT") && m.bodyBytes > 0) {
            UploadEvent u{e.now_, f.client, p.host, p.target, uploadText(m)};
            ++e.stats_.uploads;
            e.sink_.upload(u);
        }
        f.http->pending.push_back(std::move(p));
    };
    responses.keepBody = [](const HttpMessage& m) {
        return m.contentType.empty() || isPageType(m.contentType) ? kKeepPage : size_t(0);
    };
    responses.answersHead = [&f] {
        return !f.http->pending.empty() && f.http->pending.front().method == "HEAD";
    };
    responses.message = [&e, &f](HttpMessage&& m) {
        if (f.http->pending.empty())
            return;
        PendingRequest p = std::move(f.http->pending.front());
        f.http->pending.pop_front();
        const bool tunnel = p.method == "CONNECT";
        const bool page =
            m.contentType.empty() ? !isObjectPath(p.target) && !tunnel : isPageType(m.contentType);
        if (page) {
            VisitEvent v{p.time, f.client, f.server, f.clientPort, f.serverPort, false,
                         p.host, p.target, p.method, {},           m.wireBytes};
            if (!m.body.empty()) {
                const std::string html = decodeContent(m.body, m.contentEncoding, kKeepPage);
                v.title = pageTitle(html, charsetParameter(m.contentType));
            }
            ++e.stats_.visits;
            e.sink_.visit(v);
        }
        if (tunnel && m.status >= 200 && m.status < 300) {
            // What goes through the tunnel is the terminal's business with the site: usually
            // TLS to the host it named.
            const size_t colon = p.target.rfind(':');
            f.host = p.target.substr(0, colon);
            f.helloPending = true;
            f.helloTime = e.now_;
            f.http->tunnel = true; // given up once the stream hands back control
        }
    };
    flow.http = std::make_unique<HttpState>(std::move(requests), std::move(responses));
}

bool Engine::FlowKey::operator==(const FlowKey& o) const
{
    return portA == o.portA && portB == o.portB && a == o.a && b == o.b;
}

size_t Engine::FlowHash::operator()(const FlowKey& k) const
{
    // FNV-1a over the addresses and ports.
    uint64_t h = 1469598103934665603ull;
    auto mix = [&h](const uint8_t* p, size_t n) {
        for (size_t i = 0; i < n; ++i)
            h = (h ^ p[i]) * 1099511628211ull;
    };
    const size_t n = k.a.family == 4 ? 4 : 16;
    mix(k.a.bytes, n);
    mix(k.b.bytes, n);
    const uint8_t ports[4] = {uint8_t(k.portA), uint8_t(k.portA >> 8), uint8_t(k.portB),
                              uint8_t(k.portB >> 8)};
    mix(ports, 4);
    return size_t(h);
}

Engine::Engine(EventSink& sink) : Engine(sink, Limits{}) {}

Engine::Engine(EventSink& sink, const Limits& limits) : sink_(sink), limits_(limits) {}

Engine::~Engine() = default;

void Engine::frame(int linkType, const uint8_t* data, size_t captured, size_t wireLength,
                   int64_t time)
{
    ++stats_.packets;
    stats_.bytes += wireLength;
    Segment s;
    const Decoded d = decode(linkType, data, captured, wireLength, s);
    if (d == Decoded::Malformed)
        ++stats_.malformed;
    if (d == Decoded::Tcp)
        segment(s, time);
    else
        tick(time);
}

void Engine::tick(int64_t time)
{
    now_ = std::max(now_, time);
    if (now_ - lastSweep_ >= kMicro)
        sweep(now_);
}

Engine::Flow* Engine::lookup(const Segment& s, int64_t time)
{
    const bool srcFirst = s.src < s.dst || (s.src == s.dst && s.srcPort <= s.dstPort);
    FlowKey key = srcFirst ? FlowKey{s.src, s.dst, s.srcPort, s.dstPort}
                           : FlowKey{s.dst, s.src, s.dstPort, s.srcPort};
    const bool syn = (s.flags & tcp::kSyn) && !(s.flags & tcp::kAck);
    auto it = flows_.find(key);
    if (it != flows_.end()) {
        Flow& f = *it->second;
        // The ports used again for a new connection.
        const bool reused = syn && (!f.synSeen || s.seq != f.clientIsn);
        if (!reused)
            return &f;
        close(f, time);
        flows_.erase(it);
    }
    if (!(s.flags & tcp::kSyn) && s.payloadLength == 0)
        return nullptr; // the last packets of a connection already ended
    if (flows_.size() >= limits_.maxConnections) {
        ++stats_.overflow;
        return nullptr;
    }
    auto flow = std::make_unique<Flow>();
    Flow& f = *flow;
    f.key = key;
    bool srcIsClient = s.srcPort > s.dstPort || (s.srcPort == s.dstPort);
    if (s.flags & tcp::kSyn) {
        srcIsClient = syn;
        f.synSeen = true;
        f.clientIsn = syn ? s.seq : s.ack - 1;
    }
    f.client = srcIsClient ? s.src : s.dst;
    f.clientPort = srcIsClient ? s.srcPort : s.dstPort;
    f.server = srcIsClient ? s.dst : s.src;
    f.serverPort = srcIsClient ? s.dstPort : s.srcPort;
    f.hourStart = localHourStart(time / kMicro);
    f.lastHandOn = time;
    ++stats_.connections;
    ++stats_.open;
    return flows_.emplace(key, std::move(flow)).first->second.get();
}

void Engine::segment(const Segment& s, int64_t time)
{
    ++stats_.tcp;
    tick(time);
    Flow* f = lookup(s, now_);
    if (!f)
        return;
    const int dir = (s.src == f->client && s.srcPort == f->clientPort) ? 0 : 1;
    f->last = now_;
    const int64_t hour = localHourStart(now_ / kMicro);
    if (hour != f->hourStart) {
        handOnTraffic(*f, false);
        f->hourStart = hour;
    }
    (dir == 0 ? f->up : f->down) += s.ipLength;
    uint32_t seq = s.seq;
    if (s.flags & tcp::kSyn) {
        if (!f->stream[dir].started())
            f->stream[dir].start(s.seq + 1);
        if ((s.flags & tcp::kAck) && !f->stream[1 - dir].started())
            f->stream[1 - dir].start(s.ack);
        if (s.flags & tcp::kAck)
            f->established = true;
        seq = s.seq + 1; // data on a SYN (TCP Fast Open) follows it
    }
    if (s.payloadLength > 0) {
        f->established = true;
        f->payload[dir] += s.payloadLength;
        FlowSink sink(*this, *f, dir);
        f->stream[dir].segment(seq, s.payload, s.captured, s.payloadLength, sink);
    }
    if (s.flags & tcp::kFin)
        f->fins |= uint8_t(1 << dir);
    if ((s.flags & tcp::kRst) || f->fins == 3) {
        const FlowKey key = f->key;
        close(*f, now_);
        flows_.erase(key);
    }
}

void Engine::handOnTraffic(Flow& f, bool last)
{
    // A connection that never carried a byte of data (a refused one, a scan) is no traffic.
    if (f.payload[0] + f.payload[1] == 0)
        return;
    if (f.up == 0 && f.down == 0 && !(last && f.handedOn))
        return;
    TrafficEvent t{f.hourStart,  f.client,     f.server,
                   f.clientPort, f.serverPort, f.site(),
                   f.up,         f.down,       !f.handedOn && f.synSeen,
                   last};
    f.up = f.down = 0;
    f.handedOn = true;
    f.lastHandOn = now_;
    sink_.traffic(t);
}

void Engine::close(Flow& f, int64_t)
{
    if (f.proto != Flow::Proto::Other) {
        for (int dir : {0, 1}) {
            FlowSink sink(*this, f, dir);
            f.stream[dir].finish(sink);
        }
    }
    if (f.http) {
        f.http->requests.end();
        if (f.http)
            f.http->responses.end();
    }
    if (f.http) {
        // Requests the connection ended before answering: pages by their address.
        for (const PendingRequest& p : f.http->pending) {
            if (isObjectPath(p.target) || p.method == "CONNECT")
                continue;
            ++stats_.visits;
            sink_.visit({p.time,
                         f.client,
                         f.server,
                         f.clientPort,
                         f.serverPort,
                         false,
                         p.host,
                         p.target,
                         p.method,
                         {},
                         0});
        }
        f.http.reset();
    }
    if (f.helloPending)
        handOnHello(f);
    handOnTraffic(f, true);
    --stats_.open;
}

void Engine::handOnHello(Flow& f)
{
    f.helloPending = false;
    ++stats_.visits;
    sink_.visit({f.helloTime,
                 f.client,
                 f.server,
                 f.clientPort,
                 f.serverPort,
                 true,
                 f.site(),
                 "/",
                 {},
                 {},
                 f.payload[1]});
}

void Engine::sweep(int64_t time)
{
    lastSweep_ = time;
    for (auto it = flows_.begin(); it != flows_.end();) {
        Flow& f = *it->second;
        const int64_t limit =
            (f.established ? limits_.idleSeconds : limits_.openingSeconds) * kMicro;
        if (time - f.last > limit) {
            close(f, time);
            it = flows_.erase(it);
            continue;
        }
        if (f.helloPending && time - f.helloTime >= limits_.httpsVisitSeconds * kMicro)
            handOnHello(f);
        if ((f.up || f.down) && time - f.lastHandOn >= limits_.trafficSeconds * kMicro)
            handOnTraffic(f, false);
        ++it;
    }
}

void Engine::finish()
{
    for (auto& [key, flow] : flows_)
        close(*flow, now_);
    flows_.clear();
}

} // namespace lt::monitor
