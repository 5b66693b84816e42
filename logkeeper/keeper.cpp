#include "logkeeper/keeper.h"

#include "common/clock.h"
#include "common/datasources.h"
#include "common/dbmessages.h"
#include "common/odbc.h"

#include <QElapsedTimer>

namespace lt::keeper
{

namespace
{

// Opens the connection on the keeper's string unless it is open and answers; why not, in
// Chinese with the driver's words as the detail, or empty.
QString ensureOpen(db::Connection& connection, const QString& connectionString)
{
    if (connection.isOpen()) {
        connection.query(QStringLiteral("SELECT 1"));
        if (!connection.failed())
            return {};
        // Gone (a server restart, an idle timeout): a new connection, or why there is none.
        connection.close();
    }
    connection.clearError();
    if (connection.open(connectionString))
        return {};
    return db::describeFailure(connection.lastError());
}

DatabaseStatus statusOf(const QString& logError, const QString& configError)
{
    DatabaseStatus status;
    status.logError = logError;
    status.configError = configError;
    status.state = logError.isEmpty() && configError.isEmpty() ? DatabaseStatus::Connected
                                                               : DatabaseStatus::Failed;
    return status;
}

} // namespace

PassReport pruneOnce(const Limits& limits,
                     const std::function<void(const DatabaseStatus&)>& connected)
{
    const QDateTime started = Clock::now();
    QElapsedTimer clock;
    clock.start();
    db::Connection log;
    db::Connection config;
    // The pruning DELETE may legitimately run long on a big log.
    log.setTimeouts(db::Connection::Timeouts::longStatements());
    config.setTimeouts(db::Connection::Timeouts::longStatements());
    const DatabaseStatus status = statusOf(ensureOpen(log, dsn::kKeeperLogString),
                                           ensureOpen(config, dsn::kKeeperConfigString));
    if (connected)
        connected(status);
    PassReport report = Pruner(log, config).runPass(limits);
    report.started = started;
    report.elapsedMs = clock.elapsed();
    return report;
}

// The connections the status checks keep open between checks.
struct Keeper::Probe {
    db::Connection log;
    db::Connection config;
    DatabaseStatus check()
    {
        return statusOf(ensureOpen(log, dsn::kKeeperLogString),
                        ensureOpen(config, dsn::kKeeperConfigString));
    }
};

Keeper::Keeper(const QString& appDir, QObject* parent)
    : QObject(parent), watchdog_(appDir), workerContext_(std::make_unique<QObject>()),
      probe_(std::make_unique<Probe>())
{
    timer1_.setObjectName(QStringLiteral("Timer1"));
    timer1_.setInterval(kTimer1Interval);
    timer2_.setObjectName(QStringLiteral("Timer2"));
    timer2_.setInterval(kTimer2Interval);
    connect(&timer1_, &QTimer::timeout, this, &Keeper::Timer1_Timer);
    connect(&timer2_, &QTimer::timeout, this, &Keeper::Timer2_Timer);
    statusTimer_.setObjectName(QStringLiteral("StatusTimer"));
    statusTimer_.setInterval(kStatusInterval);
    connect(&statusTimer_, &QTimer::timeout, this, &Keeper::checkDatabases);
    worker_.setObjectName(QStringLiteral("KeeperDatabase"));
    workerContext_->moveToThread(&worker_);
    worker_.start();
}

Keeper::~Keeper()
{
    worker_.quit();
    worker_.wait();
    probe_.reset(); // its connections close on this thread once the worker has ended
}

void Keeper::start()
{
    timer1_.start();
    timer2_.start();
    statusTimer_.start();
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
    postCheck();
}

void Keeper::checkDatabases()
{
    if (checkRunning_ || passRunning_)
        return;
    postCheck();
}

void Keeper::postCheck()
{
    checkRunning_ = true;
    post([this] {
        const DatabaseStatus status = probe_->check();
        QMetaObject::invokeMethod(
            this,
            [this, status] {
                checkRunning_ = false;
                // A pass started meanwhile says what it found itself.
                if (!passRunning_)
                    setStatus(status);
            },
            Qt::QueuedConnection);
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
        DatabaseStatus status;
        const PassReport report = pruneOnce(limits, [&](const DatabaseStatus& opened) {
            status = opened;
            QMetaObject::invokeMethod(
                this, [this, opened] { setStatus(opened); }, Qt::QueuedConnection);
        });
        QMetaObject::invokeMethod(
            this, [this, report, status, wasActive] { finishPass(report, status, wasActive); },
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
