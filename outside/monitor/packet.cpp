#include "outside/monitor/packet.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cstring>

namespace lt::monitor
{

namespace
{

// libpcap's link-layer types.
constexpr int kNull = 0;
constexpr int kEthernet = 1;
constexpr int kRawA = 12;
constexpr int kRawB = 14;
constexpr int kLoop = 108;
constexpr int kRaw = 101;
constexpr int kLinuxSll = 113;
constexpr int kIpv4 = 228;
constexpr int kIpv6 = 229;
constexpr int kLinuxSll2 = 276;

constexpr uint16_t kTypeIpv4 = 0x0800;
constexpr uint16_t kTypeIpv6 = 0x86DD;
constexpr uint16_t kTypeVlan = 0x8100;
constexpr uint16_t kTypeQinQ = 0x88A8;
constexpr uint16_t kTypeQinQOld = 0x9100;
constexpr int kMaxTags = 8;

constexpr uint8_t kProtoTcp = 6;

uint16_t be16(const uint8_t* p)
{
    return uint16_t(p[0] << 8 | p[1]);
}

uint32_t be32(const uint8_t* p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

// What is left of the frame after the headers read so far.
struct Cursor {
    const uint8_t* p;
    size_t left;     // captured bytes
    size_t wireLeft; // bytes on the wire
    bool take(size_t n)
    {
        if (left < n)
            return false;
        p += n;
        left -= n;
        wireLeft = wireLeft >= n ? wireLeft - n : 0;
        return true;
    }
};

Decoded tcpSegment(Cursor c, uint32_t tcpLength, Segment& out)
{
    if (c.left < 20)
        return Decoded::Malformed;
    const size_t header = size_t(c.p[12] >> 4) * 4;
    if (header < 20 || header > tcpLength || c.left < header)
        return Decoded::Malformed;
    out.srcPort = be16(c.p);
    out.dstPort = be16(c.p + 2);
    out.seq = be32(c.p + 4);
    out.ack = be32(c.p + 8);
    out.flags = c.p[13];
    c.take(header);
    out.payload = c.p;
    out.payloadLength = uint32_t(tcpLength - header);
    out.captured = uint32_t(std::min<size_t>(c.left, out.payloadLength));
    return Decoded::Tcp;
}

Decoded ipv4(Cursor c, Segment& out)
{
    if (c.left < 20 || (c.p[0] >> 4) != 4)
        return Decoded::Malformed;
    const size_t header = size_t(c.p[0] & 0x0F) * 4;
    // A segment the sending host's offload merged may carry 0 here: the frame's length holds.
    const size_t total = be16(c.p + 2) ? be16(c.p + 2) : c.wireLeft;
    if (header < 20 || total < header || c.left < header)
        return Decoded::Malformed;
    const uint16_t fragment = be16(c.p + 6);
    const uint8_t protocol = c.p[9];
    out.src.family = out.dst.family = 4;
    std::memcpy(out.src.bytes, c.p + 12, 4);
    std::memcpy(out.dst.bytes, c.p + 16, 4);
    out.ipLength = uint32_t(total);
    // A fragment after the first holds no TCP header; a first fragment is read as far as it goes.
    if (protocol != kProtoTcp || (fragment & 0x1FFF) != 0)
        return Decoded::NotTcp;
    c.take(header);
    return tcpSegment(c, uint32_t(total - header), out);
}

Decoded ipv6(Cursor c, Segment& out)
{
    if (c.left < 40 || (c.p[0] >> 4) != 6)
        return Decoded::Malformed;
    uint32_t payload = be16(c.p + 4);
    uint8_t next = c.p[6];
    out.src.family = out.dst.family = 6;
    std::memcpy(out.src.bytes, c.p + 8, 16);
    std::memcpy(out.dst.bytes, c.p + 24, 16);
    out.ipLength = payload + 40;
    c.take(40);
    // Extension headers: hop-by-hop, routing, fragment, destination options, authentication.
    for (int guard = 0; guard < 16; ++guard) {
        if (next == kProtoTcp)
            return tcpSegment(c, payload, out);
        size_t length = 0;
        if (next == 0 || next == 43 || next == 60) {
            if (c.left < 2)
                return Decoded::Malformed;
            length = (size_t(c.p[1]) + 1) * 8;
        } else if (next == 44) {
            if (c.left < 8)
                return Decoded::Malformed;
            if ((be16(c.p + 2) & 0xFFF8) != 0)
                return Decoded::NotTcp; // not the first fragment
            length = 8;
        } else if (next == 51) {
            if (c.left < 2)
                return Decoded::Malformed;
            length = (size_t(c.p[1]) + 2) * 4;
        } else {
            return Decoded::NotTcp;
        }
        if (length > payload || c.left < length)
            return Decoded::Malformed;
        next = c.p[0];
        payload -= uint32_t(length);
        c.take(length);
    }
    return Decoded::Malformed;
}

Decoded byEtherType(uint16_t type, Cursor c, Segment& out)
{
    for (int tags = 0; type == kTypeVlan || type == kTypeQinQ || type == kTypeQinQOld; ++tags) {
        if (tags == kMaxTags || c.left < 4)
            return Decoded::Malformed;
        type = be16(c.p + 2);
        c.take(4);
    }
    if (type == kTypeIpv4)
        return ipv4(c, out);
    if (type == kTypeIpv6)
        return ipv6(c, out);
    return Decoded::NotTcp;
}

Decoded byVersion(Cursor c, Segment& out)
{
    if (c.left < 1)
        return Decoded::Malformed;
    const int version = c.p[0] >> 4;
    if (version == 4)
        return ipv4(c, out);
    if (version == 6)
        return ipv6(c, out);
    return Decoded::Malformed;
}

} // namespace

bool IpAddress::operator==(const IpAddress& o) const
{
    return family == o.family && std::memcmp(bytes, o.bytes, family == 4 ? 4 : 16) == 0;
}

bool IpAddress::operator<(const IpAddress& o) const
{
    if (family != o.family)
        return family < o.family;
    return std::memcmp(bytes, o.bytes, family == 4 ? 4 : 16) < 0;
}

std::string IpAddress::text() const
{
    char buffer[INET6_ADDRSTRLEN] = {};
    static const uint8_t mapped[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
    if (family == 4)
        inet_ntop(AF_INET, bytes, buffer, sizeof buffer);
    else if (family == 6 && std::memcmp(bytes, mapped, 12) == 0)
        inet_ntop(AF_INET, bytes + 12, buffer, sizeof buffer);
    else if (family == 6)
        inet_ntop(AF_INET6, bytes, buffer, sizeof buffer);
    return buffer;
}

bool linkTypeSupported(int linkType)
{
    switch (linkType) {
    case kNull:
    case kLoop:
    case kEthernet:
    case kRaw:
    case kRawA:
    case kRawB:
    case kLinuxSll:
    case kLinuxSll2:
    case kIpv4:
    case kIpv6:
        return true;
    default:
        return false;
    }
}

Decoded decode(int linkType, const uint8_t* data, size_t captured, size_t wireLength, Segment& out)
{
    out = Segment{};
    Cursor c{data, captured, std::max(wireLength, captured)};
    switch (linkType) {
    case kEthernet:
        if (!c.take(12) || c.left < 2)
            return Decoded::Malformed;
        {
            const uint16_t type = be16(c.p);
            c.take(2);
            return byEtherType(type, c, out);
        }
    case kLinuxSll:
        if (c.left < 16)
            return Decoded::Malformed;
        {
            const uint16_t type = be16(c.p + 14);
            c.take(16);
            return byEtherType(type, c, out);
        }
    case kLinuxSll2:
        if (c.left < 20)
            return Decoded::Malformed;
        {
            const uint16_t type = be16(c.p);
            c.take(20);
            return byEtherType(type, c, out);
        }
    case kNull:
    case kLoop:
        return c.take(4) ? byVersion(c, out) : Decoded::Malformed;
    case kRaw:
    case kRawA:
    case kRawB:
    case kIpv4:
    case kIpv6:
        return byVersion(c, out);
    default:
        return Decoded::NotTcp;
    }
}

} // namespace lt::monitor
