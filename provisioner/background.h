#pragma once
// Database work beside the window. Opening a connection to a slow or silent server takes up to
// the login timeout, and the window must keep answering meanwhile: the work runs on a thread of
// its own, and every report it makes (status text, message, question) is carried to the
// window's thread and waited for there, so that reports keep their order and questions get
// their answers.

#include "provisioner/operations.h"

#include <QObject>
#include <atomic>
#include <functional>
#include <thread>

namespace lt::prov
{

class BackgroundWork : public QObject
{
    Q_OBJECT
public:
    // Reports reach target on the thread this object lives on.
    explicit BackgroundWork(Reporter& target, QObject* parent = nullptr);
    // Waits for work still running; its reports are dropped and its questions answered No.
    ~BackgroundWork() override;

    // Starts work on its own thread; false (and nothing started) while other work runs.
    bool start(std::function<void(Reporter&)> work);
    bool running() const { return running_; }

signals:
    void finished();

private:
    class Relay;
    void deliver(const std::function<void()>& report);
    Reporter& target_;
    std::thread thread_;
    bool running_ = false;
    std::atomic<bool> workDone_{false};
    std::atomic<bool> abandoned_{false};
};

} // namespace lt::prov
