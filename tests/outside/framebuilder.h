#pragma once
// Hand-made frames for what real clients rarely do (segments out of order, a title split across
// segments, a ClientHello in two pieces, VLAN tags, IPv6, frames cut short), and a writer of
// capture files in libpcap's format, so that tests and the capture benchmark replay them.

#include <QByteArray>
#include <QList>
#include <QString>
#include <arpa/inet.h>
#include <cstdint>
#include <pcap/pcap.h>

namespace lt::test
{

struct Frame {
    QByteArray bytes;
    int64_t time = 0;   // microseconds since the epoch
    int wireLength = 0; // 0: as captured
};

inline QByteArray ipv4(int a, int b, int c, int d)
{
    const char bytes[] = {char(a), char(b), char(c), char(d)};
    return QByteArray(bytes, 4);
}

inline QByteArray ipv6(const char* text)
{
    QByteArray out(16, '\0');
    inet_pton(AF_INET6, text, out.data());
    return out;
}

inline void put16(QByteArray& out, int v)
{
    out.append(char(v >> 8)).append(char(v));
}

inline void put32(QByteArray& out, uint32_t v)
{
    put16(out, int(v >> 16));
    put16(out, int(v & 0xFFFF));
}

// A TLS ClientHello handshake message (no record header) that names `name` in its server name
// extension, with the whole extensions `before` and `after` around that one.
inline QByteArray clientHelloMessage(const QByteArray& name, const QByteArray& before = {},
                                     const QByteArray& after = {})
{
    QByteArray sni;
    put16(sni, int(name.size() + 3));
    sni.append(char(0));
    put16(sni, int(name.size()));
    sni += name;
    QByteArray exts = before;
    put16(exts, 0);
    put16(exts, int(sni.size()));
    exts += sni + after;
    QByteArray body = QByteArray::fromHex("0303") + QByteArray(32, 'r');
    body.append(char(0)); // no session id
    put16(body, 2);
    body += QByteArray::fromHex("1301");
    body.append(char(1)).append(char(0));
    put16(body, int(exts.size()));
    body += exts;
    QByteArray hs = QByteArray::fromHex("0100");
    put16(hs, int(body.size()));
    return hs + body;
}

// The same in one handshake record, as a browser's first bytes.
inline QByteArray clientHelloRecord(const QByteArray& name, const QByteArray& before = {},
                                    const QByteArray& after = {})
{
    const QByteArray hs = clientHelloMessage(name, before, after);
    QByteArray record = QByteArray::fromHex("160301");
    put16(record, int(hs.size()));
    return record + hs;
}

// One TCP connection's frames, in the order the test lists them.
class Conversation
{
public:
    Conversation(QByteArray client, int clientPort, QByteArray server, int serverPort,
                 uint32_t clientIsn = 1000, uint32_t serverIsn = 500000)
        : client_(client), server_(server), clientPort_(clientPort),
          serverPort_(serverPort), seq_{clientIsn, serverIsn}
    {
    }
    QList<uint16_t> vlanTags;

    QByteArray syn() { return segment(0, 0x02, {}, true); }
    QByteArray synAck() { return segment(1, 0x12, {}, true); }
    QByteArray ack(int side = 0) { return segment(side, 0x10, {}, false); }
    QByteArray fin(int side) { return segment(side, 0x11, {}, true); }
    QByteArray rst(int side) { return segment(side, 0x04, {}, false); }
    // Data from the client (side 0) or the server (side 1), at the side's next sequence number.
    QByteArray data(int side, const QByteArray& payload)
    {
        return segment(side, 0x18, payload, true);
    }
    // Data at an offset from the side's first byte, without moving its sequence.
    QByteArray dataAt(int side, uint32_t offset, const QByteArray& payload)
    {
        return frame(side, 0x18, first(side) + offset, payload);
    }
    // The side's next sequence number moves past bytes sent out of order.
    void advance(int side, uint32_t bytes) { seq_[side] += bytes; }

private:
    uint32_t first(int side) const { return (side == 0 ? isn_[0] : isn_[1]) + 1; }
    QByteArray segment(int side, int flags, const QByteArray& payload, bool consumes)
    {
        if (!started_) {
            isn_[0] = seq_[0];
            isn_[1] = seq_[1];
            started_ = true;
        }
        QByteArray f = frame(side, flags, seq_[side], payload);
        seq_[side] += uint32_t(payload.size()) + ((flags & 0x03) && consumes ? 1 : 0);
        return f;
    }
    QByteArray frame(int side, int flags, uint32_t seq, const QByteArray& payload) const
    {
        const QByteArray& src = side == 0 ? client_ : server_;
        const QByteArray& dst = side == 0 ? server_ : client_;
        QByteArray tcp;
        put16(tcp, side == 0 ? clientPort_ : serverPort_);
        put16(tcp, side == 0 ? serverPort_ : clientPort_);
        put32(tcp, seq);
        put32(tcp, (flags & 0x10) ? seq_[1 - side] : 0);
        tcp.append(char(0x50)).append(char(flags));
        put16(tcp, 65535);
        put16(tcp, 0);
        put16(tcp, 0);
        tcp += payload;
        QByteArray ip;
        if (src.size() == 4) {
            ip.append(char(0x45)).append(char(0));
            put16(ip, 20 + int(tcp.size()));
            put16(ip, 1);
            put16(ip, 0x4000);
            ip.append(char(64)).append(char(6));
            put16(ip, 0);
        } else {
            put32(ip, 0x60000000);
            put16(ip, int(tcp.size()));
            ip.append(char(6)).append(char(64));
        }
        ip += src + dst + tcp;
        QByteArray eth = QByteArray::fromHex("020000000002020000000001");
        for (uint16_t tag : vlanTags) {
            put16(eth, 0x8100);
            put16(eth, tag);
        }
        put16(eth, src.size() == 4 ? 0x0800 : 0x86DD);
        return eth + ip;
    }

    QByteArray client_, server_;
    int clientPort_, serverPort_;
    uint32_t seq_[2];
    uint32_t isn_[2] = {0, 0};
    bool started_ = false;
};

// Frames one millisecond apart from start.
inline QList<Frame> timed(const QList<QByteArray>& frames, int64_t start, int64_t step = 1000)
{
    QList<Frame> out;
    for (const QByteArray& f : frames) {
        out.append({f, start, 0});
        start += step;
    }
    return out;
}

// Writes an Ethernet capture file; false when it cannot be written.
inline bool writeCapture(const QString& path, const QList<Frame>& frames)
{
    pcap_t* dead = pcap_open_dead(DLT_EN10MB, 65535);
    pcap_dumper_t* out = pcap_dump_open(dead, path.toLocal8Bit().constData());
    if (!out) {
        pcap_close(dead);
        return false;
    }
    for (const Frame& f : frames) {
        pcap_pkthdr h{};
        h.ts.tv_sec = f.time / 1000000;
        h.ts.tv_usec = f.time % 1000000;
        h.caplen = uint32_t(f.bytes.size());
        h.len = uint32_t(f.wireLength ? f.wireLength : f.bytes.size());
        pcap_dump(reinterpret_cast<u_char*>(out), &h,
                  reinterpret_cast<const u_char*>(f.bytes.constData()));
    }
    pcap_dump_close(out);
    pcap_close(dead);
    return true;
}

} // namespace lt::test
