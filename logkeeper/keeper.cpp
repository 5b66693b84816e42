#include "logkeeper/keeper.h"

#include "common/clock.h"
#include "common/datasources.h"
#include "common/dbmessages.h"
#include "common/odbc.h"

namespace lt::keeper
{

namespace
{

// Both connections with the keeper's strings, and what became of them.
struct KeeperConnections {
    db::Connection log;
    db::Connection config;
    DatabaseStatus status;

    void open()
    {
        // The pruning DELETE may legitimately run long on a big log.
        log.setTimeouts(db::Connection::Timeouts::longStatements());
        config.setTimeouts(db::Connection::Timeouts::longStatements());
        log.open(dsn::kKeeperLogString);
        config.open(dsn::kKeeperConfigString);
        if (!log.isOpen())
            status.logError = db::describeFailure(log.lastError());
        if (!config.isOpen())
            status.configError = db::describeFailure(config.lastError());
        status.state = status.logError.isEmpty() && status.configError.isEmpty()
                           ? DatabaseStatus::Connected
                           : DatabaseStatus::Failed;
    }
};

} // namespace

Keeper::Keeper(const QString& appDir, QObject* parent)
    : QObject(parent), watchdog_(appDir), workerContext_(std::make_unique<QObject>())
{
    timer1_.setObjectName(QStringLiteral("Timer1"));
    timer1_.setInterval(kTimer1Interval);
    timer2_.setObjectName(QStringLiteral("Timer2"));
    timer2_.setInterval(kTimer2Interval);
    connect(&timer1_, &QTimer::timeout, this, &Keeper::Timer1_Timer);
    connect(&timer2_, &QTimer::timeout, this, &Keeper::Timer2_Timer);
    worker_.setObjectName(QStringLiteral("KeeperDatabase"));
    workerContext_->moveToThread(&worker_);
    worker_.start();
}

Keeper::~Keeper()
{
    worker_.quit();
    worker_.wait();
}

void Keeper::start()
{
    timer1_.start();
    timer2_.start();
    connectDatabases();
}

void Keeper::post(std::function<void()> job)
{
    QMetaObject::invokeMethod(workerContext_.get(), std::move(job), Qt::QueuedConnection);
}

void Keeper::setStatus(const DatabaseStatus& status)
{
    status_ = status;
    emit databaseStatusChanged();
}

void Keeper::connectDatabases()
{
    setStatus({DatabaseStatus::Connecting, {}, {}});
    post([this] {
        KeeperConnections c;
        c.open();
        QMetaObject::invokeMethod(
            this, [this, status = c.status] { setStatus(status); }, Qt::QueuedConnection);
    });
}

void Keeper::Timer1_Timer()
{
    if (!schedule_.due(Clock::now()))
        return;
    if (runPass())
        schedule_.markDone();
}

bool Keeper::runPass()
{
    if (passRunning_)
        return false;
    passRunning_ = true;
    const bool wasActive = timer1_.isActive();
    timer1_.stop();
    setStatus({DatabaseStatus::Connecting, {}, {}});
    emit passStarted();
    post([this, limits = limits_, wasActive] {
        KeeperConnections c;
        c.open();
        QMetaObject::invokeMethod(
            this, [this, status = c.status] { setStatus(status); }, Qt::QueuedConnection);
        const PassReport report = Pruner(c.log, c.config).runPass(limits);
        QMetaObject::invokeMethod(
            this,
            [this, report, status = c.status, wasActive] { finishPass(report, status, wasActive); },
            Qt::QueuedConnection);
    });
    return true;
}

void Keeper::finishPass(const PassReport& report, const DatabaseStatus& status, bool timerWasActive)
{
    lastPass_ = report;
    passRunning_ = false;
    if (timerWasActive)
        timer1_.start();
    setStatus(status);
    emit passFinished();
}

void Keeper::Timer2_Timer()
{
    watchdog_.tick();
    emit watchdogTicked();
}

} // namespace lt::keeper
