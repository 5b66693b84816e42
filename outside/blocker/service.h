#pragma once
// The blocking module at work: the relay (outside/blocker/relay.h) judging with the site's
// configuration (common/siteconfig.h, checked for changes every ten seconds and read again at
// each hour's turn), the rows of blocked visits through the shared row writer, the packet rules
// with their heartbeat and their guard, and the Chinese status the window shows.
//
// The LAN side is the adapter the module is started with ("-i N", the N-th adapter of the
// provisioner's list, as the monitor reads it): on a gateway that is the interface towards the
// terminals. The module sets its rules only when that interface forwards (the machine routes
// the terminals' traffic) and the process holds CAP_NET_ADMIN; otherwise it blocks nothing and
// says why, and tries again every kRetrySeconds (not for a missing right, which only a new
// start can bring).

#include "common/logrows.h"
#include "outside/blocker/relay.h"

#include <QDateTime>
#include <QString>
#include <memory>
#include <optional>

namespace lt::blocker
{

struct BlockerStatus {
    QString adapter; // "网卡 1：eth1"
    bool installed = false;
    bool permissionMissing = false;
    QString problem; // why the rules are not set (Chinese); empty while they are
    uint16_t port = 0;
    Relay::Stats relay;
    uint64_t rowsKeptOut = 0; // blocked visits the group's level or a retry kept out of the log
    logrows::RowWriter::Stats writer;
    bool configLoaded = false;
    int terminals = 0, groups = 0, black = 0, white = 0;
    QString configError;
    QString lastError;
    QDateTime now; // the module's clock
    bool clockSet = false;
};

QString statusText(const BlockerStatus& status);

class BlockerService
{
public:
    static constexpr int kRetrySeconds = 30;
    static constexpr int kRefreshMs = 10000;

    struct Options {
        std::optional<int> adapter; // "-i N"
        qint64 clockOffsetMs = 0;   // "--now": the module's clock runs this far from the system's
        bool clockSet = false;
        QString executable; // this program, for the guard and the hint on a missing right
        int workers = 2;
    };

    explicit BlockerService(const Options& options);
    ~BlockerService(); // removes the rules, then ends every connection and writes what waits

    // Sets the rules up when the machine allows it; false (and the status says why) otherwise.
    bool engage();
    // Called every second: sets the rules up again when they went missing, tries again when
    // they could not be set.
    void tick();
    BlockerStatus status() const;
    QDateTime now() const;

private:
    struct State;
    std::unique_ptr<State> d;
};

} // namespace lt::blocker
