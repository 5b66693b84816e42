#include "outside/monitor/reassembly.h"

#include <algorithm>

namespace lt::monitor
{

void Reassembler::start(uint32_t firstSeq)
{
    started_ = true;
    base_ = firstSeq;
    next_ = 0;
    waiting_.clear();
    waitingBytes_ = 0;
}

void Reassembler::stopBuffering()
{
    buffering_ = false;
    waiting_.clear();
    waitingBytes_ = 0;
}

void Reassembler::segment(uint32_t seq, const uint8_t* data, uint32_t captured, uint32_t length,
                          StreamSink& sink)
{
    if (length == 0)
        return;
    if (!started_)
        start(seq);
    // The offset of seq near next_, across the 32-bit wrap of sequence numbers.
    const uint32_t expected = uint32_t(base_ + next_);
    const int64_t delta = int32_t(seq - expected);
    if (delta < 0 && uint64_t(-delta) > next_)
        return; // before the start: garbage
    const uint64_t offset = uint64_t(int64_t(next_) + delta);
    if (offset > next_ + kMaxAhead)
        return;
    if (offset + length <= next_)
        return; // all of it handed over already (a retransmission)
    if (offset <= next_) {
        deliver(offset, data, captured, length, sink);
        drain(sink);
        return;
    }
    if (!buffering_) {
        // Nobody reads: the hole is skipped, only the position matters.
        next_ = offset + length;
        return;
    }
    Waiting& w = waiting_[offset];
    if (length > w.length) {
        waitingBytes_ -= w.bytes.size();
        waitingBytes_ += captured;
        w.bytes.assign(reinterpret_cast<const char*>(data), captured);
        w.length = length;
    }
    while (waitingBytes_ > kMaxWaiting && !waiting_.empty())
        skipToFirstWaiting(sink);
}

// Hands over the part of a segment beyond next_: its captured bytes, then what was not captured
// as a gap.
void Reassembler::deliver(uint64_t offset, const uint8_t* data, size_t captured, size_t length,
                          StreamSink& sink)
{
    const size_t skip = size_t(next_ - offset);
    if (skip >= length)
        return;
    next_ = offset + length;
    if (!buffering_)
        return;
    if (skip < captured)
        sink.data(data + skip, captured - skip);
    const size_t missingFrom = std::max(skip, captured);
    if (missingFrom < length)
        sink.gap(length - missingFrom);
}

void Reassembler::drain(StreamSink& sink)
{
    while (!waiting_.empty() && waiting_.begin()->first <= next_) {
        auto node = waiting_.extract(waiting_.begin());
        waitingBytes_ -= node.mapped().bytes.size();
        const Waiting& w = node.mapped();
        deliver(node.key(), reinterpret_cast<const uint8_t*>(w.bytes.data()), w.bytes.size(),
                w.length, sink);
    }
}

void Reassembler::skipToFirstWaiting(StreamSink& sink)
{
    const uint64_t first = waiting_.begin()->first;
    if (first > next_)
        sink.gap(size_t(first - next_));
    next_ = first;
    drain(sink);
}

void Reassembler::finish(StreamSink& sink)
{
    while (!waiting_.empty())
        skipToFirstWaiting(sink);
}

} // namespace lt::monitor
