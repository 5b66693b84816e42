#include "overseer/archive/waitnotice.h"

#include "common/names.h"
#include "common/processes.h"
#include "common/windowdirectory.h"

#include <QDeadlineTimer>
#include <QThread>
#include <optional>

namespace lt::overseer::archive
{

namespace
{
// How long a notice just started may take to put up its window before it is given up.
constexpr int kWindowWaitMs = 3000;
} // namespace

void WaitNotice::start(const QString& programPath, const QString& word)
{
    close();
    started_ =
        !programPath.isEmpty() && proc::startProgram(programPath, {word}, proc::Show::Normal);
}

void WaitNotice::close()
{
    if (!started_)
        return;
    started_ = false;
    // The window may not be up yet when the work was quick: wait for it without running the
    // event loop, so that no handler of the console runs in between.
    const QDeadlineTimer deadline(kWindowWaitMs);
    std::optional<win::WindowInfo> window;
    while (!(window = win::findWindow(names::kProgressTitle)) && !deadline.hasExpired())
        QThread::msleep(20);
    if (window)
        win::close(window->id);
}

} // namespace lt::overseer::archive
