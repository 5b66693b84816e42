#pragma once
// The layers below TCP: a captured frame (Ethernet with any number of VLAN tags, Linux cooked
// capture, raw IP, BSD loopback) down to its IPv4 or IPv6 packet and the TCP segment in it.
// Plain code over bytes, without allocation, since it runs for every packet.
//
// A frame cut short by the capture (its snapshot length) still gives the headers it holds; the
// segment then says how much of its payload was captured. Fragments after the first and
// packets of other protocols give no segment.

#include <cstddef>
#include <cstdint>
#include <string>

namespace lt::monitor
{

struct IpAddress {
    uint8_t family = 0; // 4 or 6; 0 when unset
    uint8_t bytes[16] = {};
    bool operator==(const IpAddress& o) const;
    bool operator<(const IpAddress& o) const;
    // Dotted IPv4, or the shortest IPv6 text (an IPv4-mapped address as dotted IPv4).
    std::string text() const;
};

namespace tcp
{
constexpr uint8_t kFin = 0x01;
constexpr uint8_t kSyn = 0x02;
constexpr uint8_t kRst = 0x04;
constexpr uint8_t kAck = 0x10;
} // namespace tcp

struct Segment {
    IpAddress src;
    IpAddress dst;
    uint16_t srcPort = 0;
    uint16_t dstPort = 0;
    uint32_t seq = 0;
    uint32_t ack = 0;
    uint8_t flags = 0;
    const uint8_t* payload = nullptr;
    uint32_t payloadLength = 0; // as the IP header says (on the wire)
    uint32_t captured = 0;      // of it in the capture (less when the frame was cut short)
    uint32_t ipLength = 0;      // the IP packet's length on the wire, headers included
};

enum class Decoded { Tcp, NotTcp, Malformed };

// Link-layer types of libpcap (DLT_*) that decode() reads.
bool linkTypeSupported(int linkType);

// Reads one frame of the link-layer type; data holds captured bytes of a frame that had
// wireLength bytes on the wire.
Decoded decode(int linkType, const uint8_t* data, size_t captured, size_t wireLength, Segment& out);

} // namespace lt::monitor
