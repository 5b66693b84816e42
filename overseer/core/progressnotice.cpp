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

NoticeHost* theHost = nullptr;

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
    const QString centre = centreVariable();
    started_ = !exePath.isEmpty() &&
               proc::startProgram(exePath, {word}, proc::Show::Normal,
                                  centre.isEmpty() ? QStringList() : QStringList{centre});
    return started_;
}

void ProgressNotice::close()
{
    if (showingRows_ && theHost)
        theHost->endRowsDone();
    showingRows_ = false;
    if (!started_)
        return;
    started_ = false;
    lookAgain(kLookForMs / kLookEveryMs);
}

void ProgressNotice::progress(qint64 done, qint64 total)
{
    if (!theHost || total <= 0)
        return;
    showingRows_ = true;
    theHost->showRowsDone(done, total);
}

void ProgressNotice::setHost(NoticeHost* host)
{
    theHost = host;
}

NoticeHost* ProgressNotice::host()
{
    return theHost;
}

QString ProgressNotice::centreVariable()
{
    if (!theHost)
        return {};
    const QPoint centre = theHost->noticeArea().center();
    return QStringLiteral("%1=%2,%3")
        .arg(QLatin1String(names::kNoticeCentreVariable))
        .arg(centre.x())
        .arg(centre.y());
}

} // namespace lt::overseer
