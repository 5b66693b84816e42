#include "overseer/core/progressnotice.h"

#include "common/names.h"
#include "common/processes.h"
#include "common/windowdirectory.h"

#include <QCoreApplication>
#include <QTimer>

namespace lt::overseer
{

namespace
{

bool closeWindow()
{
    const auto window = win::findWindow(names::kProgressTitle);
    if (!window)
        return false;
    win::close(window->id);
    return true;
}

void lookAgain(int triesLeft)
{
    if (closeWindow() || triesLeft <= 0 || !QCoreApplication::instance())
        return;
    QTimer::singleShot(ProgressNotice::kLookEveryMs, QCoreApplication::instance(),
                       [triesLeft] { lookAgain(triesLeft - 1); });
}

} // namespace

bool ProgressNotice::start(const QString& exePath, const QString& word)
{
    close();
    started_ = !exePath.isEmpty() && proc::startProgram(exePath, {word}, proc::Show::Normal);
    return started_;
}

void ProgressNotice::close()
{
    if (!started_)
        return;
    started_ = false;
    lookAgain(kLookForMs / kLookEveryMs);
}

} // namespace lt::overseer
