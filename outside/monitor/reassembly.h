#pragma once
// One direction of a TCP connection put back in order: segments that arrive out of order wait
// (up to kMaxWaiting bytes) until the hole before them is filled, retransmitted and overlapping
// bytes are handed over once, and a hole that is never filled (a packet the capture lost)
// becomes a gap of known length so that the reader can skip or give up.

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

namespace lt::monitor
{

class StreamSink
{
public:
    virtual ~StreamSink() = default;
    virtual void data(const uint8_t* bytes, size_t length) = 0;
    virtual void gap(size_t length) = 0; // bytes that will never come
};

class Reassembler
{
public:
    // Out-of-order bytes kept per direction before the hole is given up.
    static constexpr size_t kMaxWaiting = 256 * 1024;
    // A segment further ahead than this is taken for garbage.
    static constexpr uint64_t kMaxAhead = 8u << 20;

    // The sequence number of the first data byte (the SYN's plus one).
    void start(uint32_t firstSeq);
    bool started() const { return started_; }

    // A segment of length bytes on the wire of which captured arrived.
    void segment(uint32_t seq, const uint8_t* data, uint32_t captured, uint32_t length,
                 StreamSink& sink);
    // The connection ends: what waits behind a hole is handed over after a gap.
    void finish(StreamSink& sink);
    // The reader wants no more bytes: nothing is kept from now on.
    void stopBuffering();

    uint64_t delivered() const { return next_; } // bytes handed over or skipped so far
    size_t waiting() const { return waitingBytes_; }

private:
    void deliver(uint64_t offset, const uint8_t* data, size_t captured, size_t length,
                 StreamSink& sink);
    void drain(StreamSink& sink);
    void skipToFirstWaiting(StreamSink& sink);

    bool started_ = false;
    bool buffering_ = true;
    uint32_t base_ = 0; // sequence number of offset 0
    uint64_t next_ = 0; // offset of the next byte wanted
    struct Waiting {
        std::string bytes; // captured bytes
        size_t length = 0; // on the wire (beyond the captured bytes: lost)
    };
    std::map<uint64_t, Waiting> waiting_;
    size_t waitingBytes_ = 0;
};

} // namespace lt::monitor
