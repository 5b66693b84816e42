#pragma once
// The traffic of a busy LAN as a capture file, built from the conversations the capture tests
// use (pages with UTF-8 and GBK titles over several segments, objects, form uploads, HTTPS
// connections with their ClientHello), spread over many terminals and many sites, with many
// connections open at once.

#include <QString>
#include <cstdint>

namespace lt::bench
{

struct TrafficShape {
    int64_t packets = 1000000; // at least this many frames
    int terminals = 2000;
    int sites = 500;
    int concurrent = 400; // conversations interleaved at any time
    uint32_t seed = 7;
};

struct TrafficFile {
    int64_t packets = 0;
    int64_t bytes = 0;
    int64_t conversations = 0;
    int64_t pages = 0;   // HTTP pages and HTTPS connections: the browse-log rows to expect
    int64_t uploads = 0; // form posts
};

// Writes the file; the counts of what it holds.
TrafficFile writeTraffic(const QString& path, const TrafficShape& shape);

// 10,000 connections opened one after the other, each with a request answered in part, and
// all of them ended only at the end of the file.
TrafficFile writeOpenConnections(const QString& path, int connections);

} // namespace lt::bench
