#pragma once
// What the console's views and dialogs may reach of the program, instead of the main window:
// the database connections, the paths of the installation, the login state, the page size of
// the view shown, opening a web page, the window that dialogs and messages belong to, and the
// dialog loader. One context per run, owned by the main window; the main window's controls
// stay its own.
//
// The console's dialogs are loaded on first use and unloaded by their own buttons (or at the
// end). A dialog class takes the context in its constructor and names itself once (its kName,
// see DialogBase):
//
//     if (context.dialog<DialogTJ>().run(conditions)) ...

#include "common/cmysql.h"

#include <QDialog>
#include <QHash>
#include <QPointer>
#include <QString>
#include <QUrl>
#include <functional>
#include <memory>

class QWidget;

namespace lt::overseer
{

class ConsoleView;
class DbChannel;

class ConsoleContext
{
public:
    // window: the console's main window, parent of its dialogs and messages.
    explicit ConsoleContext(QWidget& window);
    // Unloads the dialogs still loaded (some hold on to the connections), then closes the
    // connections.
    ~ConsoleContext();
    ConsoleContext(const ConsoleContext&) = delete;
    ConsoleContext& operator=(const ConsoleContext&) = delete;

    // Program-wide state.
    bool LoginPassed = false;
    QString AppDir;                // application directory, no trailing separator
    QString ProgressExePath;       // AppDir + "/TQProgress.exe"
    QString LocalPortText;         // the capture adapter number read at start-up
    QString CredFilePath;          // the credential file
    std::unique_ptr<CMySql> MySql; // from the login dialog's load to the end
    // The page size of the view shown; each view sets its own (the log views page by 500).
    qint16 PageSize = 500;

    // The connection strings of the log and the configuration database, as the login opened
    // them; empty before it.
    QString logConnectionString() const;
    QString configConnectionString() const;
    // Reads beside the window (DbChannel), each on a connection of its own to the database the
    // login opened; null before the login. The channel follows the console's connection: a new
    // login gets a new one.
    DbChannel* configReads();
    DbChannel* logReads();

    QWidget& window() const { return window_; }
    // The view the main window shows; null on the cover.
    ConsoleView* currentView() const;
    void setCurrentView(ConsoleView* view);

    // Opens a web address in the user's browser (an address without a scheme gets http://).
    // Where the machine has no browser, says so; false then.
    bool openWebPage(const QString& address);
    // How a web address is opened; by default the desktop's browser. Tests observe it.
    std::function<bool(const QUrl&)> OpenUrl;

    // The dialog loader: the dialog of that type, loaded now if it is not yet.
    template <typename T> T& dialog() { return dialog<T>(QString::fromLatin1(T::kName)); }
    template <typename T> bool isLoaded() const { return isLoaded(QString::fromLatin1(T::kName)); }
    // The same for a dialog that has no kName.
    template <typename T> T& dialog(const QString& name)
    {
        if (auto* loaded = qobject_cast<T*>(dialogs_.value(name).data()))
            return *loaded;
        T* created = new T(*this);
        created->setObjectName(name);
        dialogs_.insert(name, created);
        return *created;
    }
    bool isLoaded(const QString& name) const { return dialogs_.value(name) != nullptr; }
    // A dialog's own unload: closed, forgotten, deleted when control returns to the event loop.
    void unload(QDialog* dialog);
    // The end: the dialogs of these names deleted now, in this order.
    void unloadNow(const QStringList& names);

private:
    QWidget& window_;
    DbChannel* channelFor(std::unique_ptr<DbChannel>& channel, const QString& connectionString);
    QPointer<ConsoleView> currentView_;
    std::unique_ptr<DbChannel> configReads_;
    std::unique_ptr<DbChannel> logReads_;
    QHash<QString, QPointer<QDialog>> dialogs_;
};

} // namespace lt::overseer
