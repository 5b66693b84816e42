#pragma once
// The resident keeper: its limits, Timer1 (the daily pruning check, every 60 s) and Timer2 (the
// module watchdog, every 10 s).
//
// The database work runs beside the window on a thread of its own, so that a server that does
// not answer never freezes the window (opening a connection to an unreachable host waits for
// the login timeout). Whether both databases can be reached is checked at start and then every
// kStatusInterval on two connections kept for that alone (reopened when the server dropped
// them), so that the window never says the databases answer while the server is down. Every
// pruning pass opens both connections afresh and closes them after it: a connection kept open
// from one 03:00 to the next would be dropped by the server's idle timeout or lost when the
// server restarts, and the pass would fail. The jobs run one after another, so a pass never runs
// on a connection that is still being opened; results come back to the window's thread by
// queued calls. Timer1 is stopped while a pass is out, so passes never overlap; the watchdog
// goes on meanwhile.

#include "logkeeper/limits.h"
#include "logkeeper/pruning.h"
#include "logkeeper/schedule.h"
#include "logkeeper/watchdog.h"

#include <QObject>
#include <QThread>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>

namespace lt::keeper
{

// Whether the keeper's two databases can be reached, as the last connection attempt found.
struct DatabaseStatus {
    enum State { NotChecked, Connecting, Connected, Failed };
    State state = NotChecked;
    QString logError;    // why the log database did not open (Chinese, with the detail)
    QString configError; // the same for the configuration database
};

// One pruning pass on both connections opened for it (with the keeper's strings) and closed
// after it, as the daily pass and --prune-now run it. The pass's time counts from before the
// connections open: a server that does not answer costs its login timeout. connected (when
// given) hears whether they opened before the pass starts.
PassReport pruneOnce(const Limits& limits,
                     const std::function<void(const DatabaseStatus&)>& connected = {});

class Keeper : public QObject
{
    Q_OBJECT
public:
    static constexpr int kTimer1Interval = 60000;
    static constexpr int kTimer2Interval = 10000;
    static constexpr int kStatusInterval = 15000;

    // Nothing is opened here; start() connects beside the window.
    explicit Keeper(const QString& appDir, QObject* parent = nullptr);
    // Waits for the database job in hand (a pass is not cut short).
    ~Keeper() override;

    // Starts both timers and the first connection attempt.
    void start();
    // Opens both connections beside the window to see whether they can be reached.
    void connectDatabases();
    // Asks the kept connections whether the server still answers (every kStatusInterval); does
    // nothing while a check or a pass is out.
    void checkDatabases();

    const Limits& limits() const { return limits_; }
    void setLimits(const Limits& limits) { limits_ = limits; }

    void Timer1_Timer(); // one daily check
    void Timer2_Timer(); // one watchdog tick
    // Starts one pruning pass now, beside the window, with Timer1 stopped until it has ended
    // (passFinished). False when a pass is already out.
    bool runPass();
    bool passRunning() const { return passRunning_; }

    QTimer& timer1() { return timer1_; }
    QTimer& timer2() { return timer2_; }
    QTimer& statusTimer() { return statusTimer_; }
    bool doneToday() const { return schedule_.doneToday(); }
    const std::optional<PassReport>& lastPass() const { return lastPass_; }
    const DatabaseStatus& databaseStatus() const { return status_; }
    const Watchdog& watchdog() const { return watchdog_; }

signals:
    void passStarted();
    void passFinished();
    void databaseStatusChanged();
    void watchdogTicked();

private:
    void post(std::function<void()> job);
    void postCheck();
    void setStatus(const DatabaseStatus& status);
    void finishPass(const PassReport& report, const DatabaseStatus& status, bool timerWasActive);

    Limits limits_;
    DailySchedule schedule_;
    Watchdog watchdog_;
    std::optional<PassReport> lastPass_;
    DatabaseStatus status_;
    bool passRunning_ = false;
    bool checkRunning_ = false;
    QTimer timer1_;
    QTimer timer2_;
    QTimer statusTimer_;
    QThread worker_;
    std::unique_ptr<QObject> workerContext_; // lives in worker_; jobs are posted to it
    struct Probe;
    std::unique_ptr<Probe> probe_; // used by the jobs on worker_ alone
};

} // namespace lt::keeper
