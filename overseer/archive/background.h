#pragma once
// Work on a thread of its own, then its completion on the thread that started it, so that a
// window stays responsive while a large table is read or written and no event loop is run
// inside a handler.

#include <QObject>
#include <QThread>
#include <functional>

namespace lt::overseer::archive
{

// work runs on a new thread; done runs afterwards on owner's thread (not at all when owner is
// gone by then: owners are windows that do not close while their work runs).
inline void runInBackground(QObject* owner, std::function<void()> work, std::function<void()> done)
{
    QThread* thread = QThread::create(std::move(work));
    QObject::connect(thread, &QThread::finished, owner, [thread, done = std::move(done)] {
        thread->wait();
        thread->deleteLater();
        done();
    });
    thread->start();
}

} // namespace lt::overseer::archive
