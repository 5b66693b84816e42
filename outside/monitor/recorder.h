#pragma once
// Turns the packet path's events into the rows of the log tables, as the site's configuration
// says: the terminal's name and group by its address, the group's browse-log and upload-log
// levels, the class of the site's longest black-list entry, a white-list entry that is not to
// be logged, and visits that the blocking module turns away (it writes those rows itself).
//
// Levels (grouptable DnLog, UpLog): "全记" writes every page visit; "半记" writes a terminal's
// visit to a site only when its last recorded visit to that site is kRepeatSeconds or more
// ago; "不记" writes no browse-log and recent-visit rows (uploads: no upload rows). The traffic
// counters are written for every terminal whatever its levels.

#include "common/logrows.h"
#include "common/siteconfig.h"
#include "outside/monitor/engine.h"

#include <QHash>
#include <atomic>
#include <functional>
#include <memory>

namespace lt::monitor
{

// An address as the log's 16-character columns hold it: IPv4 and short IPv6 texts as they are,
// a longer IPv6 text as "*" and its last 15 characters (the terminal's own part).
QString addressColumn(const IpAddress& address);

class Recorder : public EventSink
{
public:
    static constexpr int64_t kRepeatSeconds = 600;
    inline static const QString kAllowed = QStringLiteral("放行");

    using ConfigSource = std::function<std::shared_ptr<const site::Snapshot>()>;
    Recorder(logrows::RowWriter& writer, ConfigSource config);

    void visit(const VisitEvent& event) override;
    void upload(const UploadEvent& event) override;
    void traffic(const TrafficEvent& event) override;

    // Whether the blocking module runs; its verdicts are then its own rows.
    void setBlockerRunning(bool running) { blocker_ = running; }

    struct Counters {
        std::atomic<uint64_t> visits{0};  // browse-log rows handed to the writer
        std::atomic<uint64_t> uploads{0}; // upload-log rows
        std::atomic<uint64_t> traffic{0}; // traffic counter updates
        std::atomic<uint64_t> leftOut{
            0}; // visits the levels, the white list or the blocker kept out
    };
    const Counters& counters() const { return counters_; }

private:
    QString timeText(int64_t micros);
    bool repeated(const QString& address, const std::string& host, int64_t seconds);

    logrows::RowWriter& writer_;
    ConfigSource config_;
    std::atomic<bool> blocker_{false};
    Counters counters_;
    int64_t cachedSecond_ = -1;
    QString cachedTime_;
    QHash<QString, int64_t> lastVisit_; // address and host -> seconds, for "半记"
};

} // namespace lt::monitor
