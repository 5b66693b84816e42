#pragma once
// The module watchdog: every tick reads the adapter number from localport.txt in the
// application directory and starts the monitor and blocking modules, hidden, when their
// windows are gone and no system service runs them (proc::runByService). It does not wait for a
// started module; one that fails to create its window is started again on the next tick.

#include <QString>
#include <QStringList>
#include <array>

namespace lt::keeper
{

struct Module {
    QString exeName; // as started: appDir + "/" + exeName + " -i " + adapter
    QString title;   // its top-level window
    QString caption; // how the keeper's window names it
};

const Module& monitorModule();
const Module& blockerModule();

class Watchdog
{
public:
    explicit Watchdog(QString appDir) : appDir_(std::move(appDir)) {}

    struct Tick {
        bool skipped = false; // localport.txt missing, unreadable or without an adapter number
        QString adapter;
        QStringList started;   // exe names started
        QStringList failed;    // exe names that could not be started
        QStringList byService; // exe names left to the system service that runs them
    };
    Tick tick();

    // Starts since the keeper began, per module (successful starts only), and failed starts.
    int starts(const Module& module) const;
    int failures(const Module& module) const;
    const Tick& lastTick() const { return last_; }

private:
    int index(const Module& module) const;
    QString appDir_;
    std::array<int, 2> starts_{};
    std::array<int, 2> failures_{};
    Tick last_;
};

} // namespace lt::keeper
