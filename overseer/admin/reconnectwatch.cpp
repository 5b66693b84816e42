#include "overseer/admin/reconnectwatch.h"

#include "overseer/core/dbworker.h"

namespace lt::overseer::admin
{

ReconnectWatch::ReconnectWatch(QObject* parent) : QObject(parent)
{
    retry_.setSingleShot(true);
    retry_.setInterval(kRetryMs);
    connect(&retry_, &QTimer::timeout, this, &ReconnectWatch::ask);
}

ReconnectWatch::~ReconnectWatch() = default;

void ReconnectWatch::start(const QString& connectionString, std::function<void()> whenBack)
{
    whenBack_ = std::move(whenBack);
    if (!channel_ || connectionString != connectionString_) {
        connectionString_ = connectionString;
        out_ = false;
        retry_.stop();
        channel_ = std::make_unique<DbChannel>(connectionString);
        connect(channel_->worker(), &DbWorker::pageReady, this, [this](quint64 id) {
            if (id != request_)
                return;
            out_ = false;
            if (auto back = std::exchange(whenBack_, {}))
                back();
        });
        connect(channel_->worker(), &DbWorker::failed, this, [this](quint64 id) {
            if (id != request_)
                return;
            out_ = false;
            if (whenBack_)
                retry_.start();
        });
    }
    // A try on its way, or one due, answers for this wait too.
    if (!out_ && !retry_.isActive())
        ask();
}

void ReconnectWatch::ask()
{
    out_ = true;
    request_ = channel_->fetch({QStringLiteral("SELECT 1")});
}

} // namespace lt::overseer::admin
