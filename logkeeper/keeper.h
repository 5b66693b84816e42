#pragma once
// The resident keeper: its two connections, its limits, Timer1 (the daily pruning check, every
// 60 s) and Timer2 (the module watchdog, every 10 s). Everything runs on the main thread, so a
// pruning pass holds up the watchdog while it runs.

#include "common/odbc.h"
#include "logkeeper/limits.h"
#include "logkeeper/pruning.h"
#include "logkeeper/schedule.h"
#include "logkeeper/watchdog.h"

#include <QObject>
#include <QTimer>
#include <optional>

namespace lt::keeper
{

class Keeper : public QObject
{
    Q_OBJECT
public:
    static constexpr int kTimer1Interval = 60000;
    static constexpr int kTimer2Interval = 10000;

    // Opens both connections with the keeper's connection strings; the outcome is not checked
    // here (a pass reopens a connection that is not open).
    explicit Keeper(const QString& appDir, QObject* parent = nullptr);

    void start(); // starts both timers

    const Limits& limits() const { return limits_; }
    void setLimits(const Limits& limits) { limits_ = limits; }

    void Timer1_Timer(); // one daily check
    void Timer2_Timer(); // one watchdog tick
    // One pruning pass now, with Timer1 stopped while it runs.
    PassReport runPass();

    QTimer& timer1() { return timer1_; }
    QTimer& timer2() { return timer2_; }
    bool doneToday() const { return schedule_.doneToday(); }
    const std::optional<PassReport>& lastPass() const { return lastPass_; }
    const Watchdog& watchdog() const { return watchdog_; }
    db::Connection& logConnection() { return log_; }
    db::Connection& configConnection() { return config_; }

signals:
    void passFinished();
    void watchdogTicked();

private:
    void reopenClosed();
    db::Connection log_;
    db::Connection config_;
    Limits limits_;
    DailySchedule schedule_;
    Watchdog watchdog_;
    std::optional<PassReport> lastPass_;
    QTimer timer1_;
    QTimer timer2_;
};

} // namespace lt::keeper
