#pragma once
// Work beside the window: the one way the programs run anything that may take long (a
// statement against a slow or silent server, an export, a printout) without holding up the
// thread that draws the windows, and without running an event loop inside a handler.
//
// A WorkThread is a thread of its own that runs the jobs posted to it one after another, in the
// order posted. A job's completion ("done") is carried back to the thread the WorkThread lives
// on (the window's) and runs there, unless the object it was posted for is gone by then. Worker
// objects that keep state between jobs (a database connection) are adopted by the thread: they
// live on it and are deleted on it when it ends.
//
//     WorkThread work(QStringLiteral("export"));
//     work.post([=] { return exportLog(...); }, this, [this](ExportOutcome out) { show(out); });
//
// runBeside() is the one-off form: a job on a thread of its own, its completion on the owner's
// thread, the thread gone afterwards.

#include <QObject>
#include <QPointer>
#include <QThread>
#include <atomic>
#include <functional>
#include <memory>
#include <type_traits>
#include <utility>

namespace lt
{

class WorkThread : public QObject
{
    Q_OBJECT
public:
    explicit WorkThread(const QString& name, QObject* parent = nullptr);
    // Lets the job in progress run to its end, drops the jobs still queued and the completions
    // not yet delivered, then ends the thread.
    ~WorkThread() override;

    // Runs job on the thread.
    void post(std::function<void()> job);

    // Runs job on the thread, then done on this object's thread with job's result (or with
    // nothing, for a job that returns nothing). done is not called when receiver is gone.
    template <typename Job, typename Done> void post(Job job, QObject* receiver, Done done)
    {
        using Result = std::invoke_result_t<Job>;
        QPointer<QObject> alive(receiver);
        if constexpr (std::is_void_v<Result>) {
            post([this, job = std::move(job), alive, done = std::move(done)]() mutable {
                job();
                complete([alive, done = std::move(done)]() mutable {
                    if (alive)
                        done();
                });
            });
        } else {
            post([this, job = std::move(job), alive, done = std::move(done)]() mutable {
                auto result = std::make_shared<Result>(job());
                complete([alive, done = std::move(done), result]() mutable {
                    if (alive)
                        done(std::move(*result));
                });
            });
        }
    }

    // worker lives on the thread from now on and is deleted there when the thread ends. Its
    // slots and the functions invoked on it run on the thread.
    template <typename T> T* adopt(T* worker)
    {
        worker->moveToThread(&thread_);
        connect(&thread_, &QThread::finished, worker, &QObject::deleteLater);
        return worker;
    }

    // Whether the calling code runs on this thread.
    bool isCurrent() const { return QThread::currentThread() == &thread_; }

private:
    // Queues a completion to this object's thread; dropped when this object is gone first.
    void complete(std::function<void()> done);
    QThread thread_;
    QObject* context_; // lives on thread_: posted jobs are invoked on it
    std::atomic<bool> ending_{false};
};

// Runs work on a thread of its own, then done on owner's thread (not at all when owner is
// gone by then). The thread ends by itself afterwards.
void runBeside(QObject* owner, std::function<void()> work, std::function<void()> done);

} // namespace lt
