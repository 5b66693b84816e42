#pragma once
// Database work beside the window. Opening a connection to a slow or silent server takes up to
// the login timeout, and the window must keep answering meanwhile: the work runs on a thread of
// its own (common/beside.h), and every report it makes (status text, message, question) is
// carried to the window's thread and waited for there, so that reports keep their order and
// questions get their answers.

#include "common/beside.h"
#include "provisioner/operations.h"

#include <QObject>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

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
    // Runs report on this object's thread and waits for it; returns at once, without it,
    // once the work is abandoned.
    void deliver(const std::function<void()>& report);
    Reporter& target_;
    bool running_ = false;
    std::mutex mutex_;
    std::condition_variable delivered_;
    quint64 sent_ = 0; // reports handed to the window's thread, and those it made
    quint64 made_ = 0;
    bool abandoned_ = false;
    std::unique_ptr<WorkThread> thread_; // last: gone first, after the work in hand
};

} // namespace lt::prov
