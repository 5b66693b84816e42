#include "overseer/core/connectiontest.h"

#include "common/widgets/messages.h"

#include <QApplication>
#include <QCursor>
#include <QTimer>

namespace lt::overseer
{

ConnectionTest::ConnectionTest(QList<ConnectionProbe> probes, QWidget* window)
    : probes_(std::move(probes)), window_(window)
{
}

ConnectionTest::~ConnectionTest()
{
    if (channel_)
        QApplication::restoreOverrideCursor();
}

void ConnectionTest::start()
{
    next();
}

void ConnectionTest::next()
{
    if (channel_) {
        channel_.reset();
        QApplication::restoreOverrideCursor();
    }
    if (++current_ >= probes_.size()) {
        emit finished();
        return;
    }
    const ConnectionProbe& probe = probes_[current_];
    if (probe.connectionString.isEmpty()) {
        // Answered from the event loop, as a probe on the server would be.
        request_ = 0;
        QTimer::singleShot(0, this, [this] { answer(0, false); });
        return;
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    channel_ = std::make_unique<DbChannel>(probe.connectionString);
    connect(channel_->worker(), &DbWorker::pageReady, this,
            [this](quint64 request, const QList<Rows>&) { answer(request, true); });
    connect(channel_->worker(), &DbWorker::failed, this,
            [this](quint64 request, const DbFailure&) { answer(request, false); });
    request_ = channel_->fetch({probe.sql});
}

void ConnectionTest::answer(quint64 request, bool ok)
{
    if (request != request_)
        return;
    if (channel_) {
        QApplication::restoreOverrideCursor();
        // The thread ends once the message is answered; its request is done.
        channel_.reset();
    }
    const ConnectionProbe& probe = probes_[current_];
    ui::message(window_, ok ? probe.working : probe.failed, ui::Icon::Exclamation);
    next();
}

} // namespace lt::overseer
