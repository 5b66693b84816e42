#include "overseer/core/consolecontext.h"

#include "common/widgets/messages.h"
#include "overseer/core/consoleview.h"
#include "overseer/core/controls.h"
#include "overseer/core/dbworker.h"

#include <QDesktopServices>

namespace lt::overseer
{

ConsoleContext::ConsoleContext(QWidget& window) : window_(window)
{
    OpenUrl = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
}

ConsoleContext::~ConsoleContext()
{
    for (const QPointer<QDialog>& dialog : std::as_const(dialogs_))
        delete dialog.data();
    MySql.reset(); // closes rst0, rst1, rst2, then Cnn0, Cnn1, Cnn2
}

QString ConsoleContext::logConnectionString() const
{
    return MySql ? MySql->Cnn0.connectionString() : QString();
}

QString ConsoleContext::configConnectionString() const
{
    return MySql ? MySql->Cnn1.connectionString() : QString();
}

ConsoleView* ConsoleContext::currentView() const
{
    return currentView_;
}

void ConsoleContext::setCurrentView(ConsoleView* view)
{
    currentView_ = view;
}

DbChannel* ConsoleContext::channelFor(std::unique_ptr<DbChannel>& channel,
                                      const QString& connectionString)
{
    if (connectionString.isEmpty())
        return nullptr;
    if (!channel || channel->property("connection").toString() != connectionString) {
        channel = std::make_unique<DbChannel>(connectionString);
        channel->setProperty("connection", connectionString);
    }
    return channel.get();
}

DbChannel* ConsoleContext::configReads()
{
    return channelFor(configReads_, configConnectionString());
}

DbChannel* ConsoleContext::logReads()
{
    return channelFor(logReads_, logConnectionString());
}

bool ConsoleContext::openWebPage(const QString& address)
{
    const QString text = webAddress(address);
    if (text.isEmpty())
        return false;
    if (OpenUrl(QUrl(text)))
        return true;
    ui::message(&window_, QStringLiteral("本机没有可用的网页浏览器，无法打开网页：") + text,
                ui::Icon::Exclamation);
    return false;
}

void ConsoleContext::unload(QDialog* dialog)
{
    if (!dialog)
        return;
    dialogs_.remove(dialog->objectName());
    if (dialog->isVisible())
        dialog->done(dialog->result());
    dialog->deleteLater();
}

void ConsoleContext::unloadNow(const QStringList& names)
{
    for (const QString& name : names)
        delete dialogs_.take(name).data();
}

} // namespace lt::overseer
