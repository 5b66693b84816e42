#include "overseer/admin/progressnotice.h"

#include "common/names.h"
#include "common/processes.h"
#include "common/windowdirectory.h"

#include <QCoreApplication>
#include <QTimer>

namespace lt::overseer::admin
{

namespace
{

constexpr int kRetryMs = 200;
constexpr int kRetries = 25;

void closeNotice(int retriesLeft)
{
    if (const auto window = win::findWindow(names::kProgressTitle)) {
        win::close(window->id);
        return;
    }
    if (retriesLeft > 0 && QCoreApplication::instance())
        QTimer::singleShot(kRetryMs, QCoreApplication::instance(),
                           [retriesLeft] { closeNotice(retriesLeft - 1); });
}

} // namespace

ProgressNotice::ProgressNotice(const QString& exePath, const QString& word)
{
    started_ = proc::startProgram(exePath, {word}, proc::Show::Normal);
}

ProgressNotice::~ProgressNotice()
{
    if (started_)
        closeNotice(kRetries);
}

} // namespace lt::overseer::admin
