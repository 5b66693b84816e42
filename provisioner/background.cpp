#include "provisioner/background.h"

#include <QCoreApplication>

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
    if (!thread_.joinable())
        return;
    abandoned_ = true;
    // A report on its way waits for this thread: let it arrive (and be dropped).
    while (!workDone_)
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 20);
    thread_.join();
}

bool BackgroundWork::start(std::function<void(Reporter&)> work)
{
    if (running_)
        return false;
    if (thread_.joinable())
        thread_.join();
    running_ = true;
    workDone_ = false;
    thread_ = std::thread([this, work = std::move(work)] {
        Relay relay(*this);
        work(relay);
        workDone_ = true;
        QMetaObject::invokeMethod(
            this,
            [this] {
                thread_.join();
                running_ = false;
                emit finished();
            },
            Qt::QueuedConnection);
    });
    return true;
}

void BackgroundWork::deliver(const std::function<void()>& report)
{
    QMetaObject::invokeMethod(
        this,
        [this, &report] {
            if (!abandoned_)
                report();
        },
        Qt::BlockingQueuedConnection);
}

} // namespace lt::prov
