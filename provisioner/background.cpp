#include "provisioner/background.h"

#include <QMetaObject>

namespace lt::prov
{

// The reporter the work sees: each report is made by the target on the window's thread.
class BackgroundWork::Relay : public Reporter
{
public:
    explicit Relay(BackgroundWork& owner) : owner_(owner) {}
    void status(const QString& text) override
    {
        owner_.deliver([&] { owner_.target_.status(text); });
    }
    void busy(bool on) override
    {
        owner_.deliver([&] { owner_.target_.busy(on); });
    }
    void notice(const QString& text) override
    {
        owner_.deliver([&] { owner_.target_.notice(text); });
    }
    void detail(const QString& text) override
    {
        owner_.deliver([&] { owner_.target_.detail(text); });
    }
    bool confirm(const QString& question) override
    {
        bool yes = false; // what an abandoned question answers: nothing is erased
        owner_.deliver([&] { yes = owner_.target_.confirm(question); });
        return yes;
    }
    void progress(int done, int total) override
    {
        owner_.deliver([&] { owner_.target_.progress(done, total); });
    }

private:
    BackgroundWork& owner_;
};

BackgroundWork::BackgroundWork(Reporter& target, QObject* parent) : QObject(parent), target_(target)
{
}

BackgroundWork::~BackgroundWork()
{
    {
        std::lock_guard lock(mutex_);
        abandoned_ = true;
    }
    // A report on its way waits no more; the thread, destroyed next, waits for the work.
    delivered_.notify_all();
    thread_.reset();
}

bool BackgroundWork::start(std::function<void(Reporter&)> work)
{
    if (running_)
        return false;
    if (!thread_)
        thread_ = std::make_unique<WorkThread>(QStringLiteral("provisioning"));
    running_ = true;
    thread_->post(
        [this, work = std::move(work)] {
            Relay relay(*this);
            work(relay);
        },
        this,
        [this] {
            running_ = false;
            emit finished();
        });
    return true;
}

void BackgroundWork::deliver(const std::function<void()>& report)
{
    std::unique_lock lock(mutex_);
    if (abandoned_)
        return;
    const quint64 number = ++sent_;
    // The report is made on this object's thread; an abandoned object drops it unmade (Qt
    // drops events for a deleted object, and report, on the waiting thread's stack, is then
    // never touched).
    QMetaObject::invokeMethod(
        this,
        [this, &report, number] {
            report();
            std::lock_guard made(mutex_);
            made_ = number;
            delivered_.notify_all();
        },
        Qt::QueuedConnection);
    delivered_.wait(lock, [&] { return made_ >= number || abandoned_; });
}

} // namespace lt::prov
