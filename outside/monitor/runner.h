#pragma once
// The monitor at work: live on an interface (a capture thread, a thread that keeps the site's
// configuration fresh, the row writer's thread) or over a capture file (qmlxsn -r), and the
// Chinese status its window shows.

#include "common/logrows.h"

#include <QString>
#include <QTextStream>
#include <memory>

namespace lt::monitor
{

struct MonitorStatus {
    QString adapter; // "网卡 1：eth0 …"
    bool capturing = false;
    bool permissionMissing = false;
    QString captureError; // why the capture does not run; empty while it does
    uint64_t packets = 0;
    uint64_t bytes = 0;
    uint64_t connections = 0;
    uint64_t open = 0;
    uint64_t visits = 0;
    uint64_t uploads = 0;
    uint64_t traffic = 0;
    uint64_t leftOut = 0;
    uint64_t kernelDrops = 0;    // libpcap: the kernel's ring was full
    uint64_t interfaceDrops = 0; // libpcap: dropped by the interface
    logrows::RowWriter::Stats writer;
    bool configLoaded = false;
    int terminals = 0, groups = 0, black = 0, white = 0;
    QString configError;
};

// The window's text: what is captured, what was written, what was lost, the last error.
QString statusText(const MonitorStatus& status);
// One line for the end of a live capture: packets, drops, rows written.
QString closingLine(const MonitorStatus& status);

class LiveMonitor
{
public:
    // interface: the system's name of the adapter; adapter: how the window names it;
    // executable: this program's path, for the hint on a missing right to capture.
    LiveMonitor(const QString& interface, const QString& adapter, const QString& executable);
    ~LiveMonitor(); // stop()
    LiveMonitor(const LiveMonitor&) = delete;
    LiveMonitor& operator=(const LiveMonitor&) = delete;

    // Stops capturing, ends every connection and writes what waits; status() then gives the
    // final figures.
    void stop();
    MonitorStatus status() const;

private:
    struct State;
    std::unique_ptr<State> d;
};

// qmlxsn -r: reads the file, writes its rows, prints one summary line. The exit code: 0 when
// every row was written, 1 when the file could not be read, 2 when rows could not be written.
int replayFile(const QString& path, QTextStream& out, QTextStream& err);

} // namespace lt::monitor
