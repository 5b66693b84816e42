#include "common/beside.h"

#include <QMetaObject>

namespace lt
{

WorkThread::WorkThread(const QString& name, QObject* parent)
    : QObject(parent), context_(new QObject)
{
    thread_.setObjectName(name);
    adopt(context_);
    thread_.start();
}

WorkThread::~WorkThread()
{
    // The thread's loop may still hand over events already queued before it sees the quit.
    ending_ = true;
    thread_.quit();
    thread_.wait();
}

void WorkThread::post(std::function<void()> job)
{
    QMetaObject::invokeMethod(context_, [this, job = std::move(job)] {
        if (!ending_)
            job();
    });
}

void WorkThread::complete(std::function<void()> done)
{
    // Posted to this object: Qt drops the event when the object is deleted before it arrives,
    // and the destructor waits for the thread, so `this` is alive while a job calls this.
    QMetaObject::invokeMethod(this, std::move(done), Qt::QueuedConnection);
}

void runBeside(QObject* owner, std::function<void()> work, std::function<void()> done)
{
    auto* thread = new WorkThread(QStringLiteral("beside"));
    thread->post(std::move(work), owner, [thread, done = std::move(done)] {
        done();
        thread->deleteLater();
    });
    // An owner gone before the work ended: the thread still ends and goes with it.
    QObject::connect(owner, &QObject::destroyed, thread, [thread] { thread->deleteLater(); });
}

} // namespace lt
