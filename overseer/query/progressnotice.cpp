#include "overseer/query/progressnotice.h"

#include "common/names.h"
#include "common/processes.h"
#include "common/windowdirectory.h"

namespace lt::overseer
{

bool ProgressNotice::start(const QString& exePath, const QString& word)
{
    retry_.stop();
    started_ = !exePath.isEmpty() && proc::startProgram(exePath, {word}, proc::Show::Normal);
    return started_;
}

bool ProgressNotice::closeWindow()
{
    const auto window = win::findWindow(names::kProgressTitle);
    if (!window)
        return false;
    win::close(window->id);
    return true;
}

void ProgressNotice::close()
{
    if (!started_)
        return;
    started_ = false;
    if (closeWindow())
        return;
    tries_ = 0;
    retry_.setInterval(200);
    disconnect(&retry_, nullptr, this, nullptr);
    connect(&retry_, &QTimer::timeout, this, [this] {
        // About five seconds: a notice that never came up is not waited for longer.
        if (closeWindow() || ++tries_ >= 25)
            retry_.stop();
    });
    retry_.start();
}

} // namespace lt::overseer
