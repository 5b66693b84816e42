#include "logkeeper/keeper.h"

#include "common/clock.h"
#include "common/datasources.h"

namespace lt::keeper
{

Keeper::Keeper(const QString& appDir, QObject* parent) : QObject(parent), watchdog_(appDir)
{
    log_.open(dsn::kKeeperLogString);
    config_.open(dsn::kKeeperConfigString);
    timer1_.setObjectName(QStringLiteral("Timer1"));
    timer1_.setInterval(kTimer1Interval);
    timer2_.setObjectName(QStringLiteral("Timer2"));
    timer2_.setInterval(kTimer2Interval);
    connect(&timer1_, &QTimer::timeout, this, &Keeper::Timer1_Timer);
    connect(&timer2_, &QTimer::timeout, this, &Keeper::Timer2_Timer);
}

void Keeper::start()
{
    timer1_.start();
    timer2_.start();
}

void Keeper::Timer1_Timer()
{
    if (!schedule_.due(Clock::now()))
        return;
    runPass();
    schedule_.markDone();
}

PassReport Keeper::runPass()
{
    const bool wasActive = timer1_.isActive();
    timer1_.stop();
    reopenClosed();
    PassReport report = Pruner(log_, config_).runPass(limits_);
    // A connection that failed (the server went away, say) is opened afresh for the next pass.
    if (report.log.failed() || report.upload.failed())
        log_.close();
    if (report.webUnclassified.failed() || report.webAll.failed())
        config_.close();
    lastPass_ = report;
    if (wasActive)
        timer1_.start();
    emit passFinished();
    return report;
}

void Keeper::reopenClosed()
{
    if (!log_.isOpen())
        log_.open(dsn::kKeeperLogString);
    if (!config_.isOpen())
        config_.open(dsn::kKeeperConfigString);
}

void Keeper::Timer2_Timer()
{
    watchdog_.tick();
    emit watchdogTicked();
}

} // namespace lt::keeper
