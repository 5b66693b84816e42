// Frames of any link type, and segments of one TCP connection in any order with any flags,
// through the monitor's whole packet path. Beyond not crashing: a decoded segment lies inside
// the frame, and after the end no connection is left open.

#include "outside/monitor/engine.h"
#include "tests/fuzz/fuzzsupport.h"

#include <vector>

using namespace lt::monitor;

namespace
{

struct Sink final : EventSink {
    void visit(const VisitEvent& e) override { FUZZ_CHECK(!e.host.empty()); }
    void upload(const UploadEvent&) override {}
    void traffic(const TrafficEvent& e) override { FUZZ_CHECK(e.up > 0 || e.down > 0 || e.last); }
};

const int kLinkTypes[] = {0, 1, 12, 14, 101, 108, 113, 228, 229, 276};

// Ethernet, IPv4 10.0.0.2:40000 <-> 10.0.0.1:80, one segment.
std::vector<uint8_t> segmentFrame(bool fromServer, uint8_t flags, uint32_t seq,
                                  const uint8_t* payload, size_t length)
{
    std::vector<uint8_t> f = {2, 0, 0, 0, 0, 2, 2, 0, 0, 0, 0, 1, 0x08, 0x00};
    const size_t total = 40 + length;
    const uint8_t a[4] = {10, 0, 0, 2}, b[4] = {10, 0, 0, 1};
    const uint8_t* src = fromServer ? b : a;
    const uint8_t* dst = fromServer ? a : b;
    const uint16_t sp = fromServer ? 80 : 40000, dp = fromServer ? 40000 : 80;
    const uint8_t ip[20] = {0x45,
                            0,
                            uint8_t(total >> 8),
                            uint8_t(total),
                            0,
                            1,
                            0x40,
                            0,
                            64,
                            6,
                            0,
                            0,
                            src[0],
                            src[1],
                            src[2],
                            src[3],
                            dst[0],
                            dst[1],
                            dst[2],
                            dst[3]};
    f.insert(f.end(), ip, ip + 20);
    const uint8_t tcp[20] = {uint8_t(sp >> 8),
                             uint8_t(sp),
                             uint8_t(dp >> 8),
                             uint8_t(dp),
                             uint8_t(seq >> 24),
                             uint8_t(seq >> 16),
                             uint8_t(seq >> 8),
                             uint8_t(seq),
                             0,
                             0,
                             0,
                             0,
                             0x50,
                             flags,
                             0xFF,
                             0xFF,
                             0,
                             0,
                             0,
                             0};
    f.insert(f.end(), tcp, tcp + 20);
    f.insert(f.end(), payload, payload + length);
    return f;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Sink sink;
    Engine engine(sink);
    int64_t time = int64_t(1700000000) * 1000000;
    size_t pos = 0;
    while (pos + 4 <= size) {
        const uint8_t kind = data[pos];
        const size_t length =
            std::min<size_t>((size_t(data[pos + 1]) << 8 | data[pos + 2]), size - pos - 3);
        const uint8_t* body = data + pos + 3;
        pos += 3 + length;
        time += int64_t(kind & 0x0F) * 250000; // now and then past a sweep
        if (kind & 0x80) {
            // A segment of the one connection: direction, flags and a sequence near the start.
            const uint8_t flags = uint8_t(kind & 0x17) | ((kind & 0x20) ? 0x10 : 0);
            const uint32_t seq = 1000 + uint32_t(length ? body[0] : 0) * 7;
            const std::vector<uint8_t> f = segmentFrame(
                kind & 0x40, flags, seq, body + (length ? 1 : 0), length ? length - 1 : 0);
            engine.frame(1, f.data(), f.size(), f.size(), time);
            continue;
        }
        const int linkType = kLinkTypes[kind % std::size(kLinkTypes)];
        Segment s;
        if (decode(linkType, body, length, length + (kind & 0x40 ? 100 : 0), s) == Decoded::Tcp) {
            FUZZ_CHECK(s.captured <= s.payloadLength);
            FUZZ_CHECK(s.payload >= body && s.payload + s.captured <= body + length);
        }
        engine.frame(linkType, body, length, length, time);
    }
    engine.finish();
    FUZZ_CHECK(engine.stats().open == 0);
    return 0;
}
