#pragma once
// The console's main window. It shows the cover or one view at a time and owns what every view
// shares: the list, the paging toolbar, the status panels, the title strip, the current view's
// name and the database connections. It knows no view by name: the program's root adds the
// views (ConsoleView) and binds the toolbar keys; the paging buttons, the items of the context
// menu and the list's events go to the view shown. What belongs to every view is done here:
// the context menu's enabled items, the column-click sort, Ctrl+A.
//
// The console's program-wide state lives here too, one main window per run.

#include "common/cmysql.h"
#include "overseer/core/consoleview.h"
#include "overseer/core/dispatch.h"
#include "overseer/core/layout.h"

#include <QDialog>
#include <QHash>
#include <QPointer>
#include <QSet>
#include <QUrl>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

class QLabel;
class QPushButton;
class QMenu;
class QAction;
class QStatusBar;
class QToolBar;
class QTreeView;

namespace lt::overseer
{

class PictureBox;

class FormMain : public QWidget
{
    Q_OBJECT
public:
    explicit FormMain(QWidget* parent = nullptr);
    ~FormMain() override;
    // While the login dialog waits for the administrator: the hidden window polished, its
    // native window made, its controls laid out and the cover drawn, so that showing it after
    // the login is only showing it.
    void prepareFirstShow();

    // Program-wide state.
    bool LoginPassed = false;
    QString AppDir;                // application directory, no trailing separator
    QString ProgressExePath;       // AppDir + "/TQProgress.exe"
    QString LocalPortText;         // the capture adapter number read at start-up
    QString CurrentView;           // "显示封面" or the name of the view shown (read only)
    QString CredFilePath;          // the credential file
    std::unique_ptr<CMySql> MySql; // from the login dialog's load to the end

    // The start-up page size; each view sets its own (the log views page by 500).
    qint16 PageSize = 500;
    int ListMouseX = 0; // last mouse-down position over the list
    qint16 ListMouseY = 0;

    // Controls.
    QWidget* Picture_Button;
    QToolBar* Toolbar1;
    PictureBox* Picture_Title;
    QLabel* Label2;
    PictureBox* Picture_Face;
    QLabel* Label1;
    QLabel* Label3;
    QTreeView* ListView1;
    QToolBar* Toolbar2;
    QPushButton* cmdCancelCount; // stops a count in flight
    QStatusBar* StatusBar1;

    Dispatch& dispatch() { return dispatch_; }
    // The views: the program's root adds each once; a view asks to be shown with its
    // showRequested signal.
    void addView(ConsoleView* view);
    void showView(ConsoleView* view);
    ConsoleView* currentView() const { return current_; }
    ConsoleView* view(const QString& name) const;
    const QList<ConsoleView*>& views() const { return views_; }
    // Pops up the current view's context menu at a point of the list's viewport, its items
    // enabled by the rows of the list.
    void popUpContextMenu(QPoint at);
    // Runs a context-menu item: the view shown first, then the items bound in the dispatch.
    bool runMenuItem(const MenuItem& item);
    // A paging button: the view shown pages.
    bool runPaging(const QString& caption);
    QAction* toolbarKey(const QString& key) const;       // a key of Toolbar1
    QAction* pagingButton(const QString& caption) const; // a button of Toolbar2
    QMenu* menu(const QString& name) const;              // a context menu
    QAction* menuItem(const QString& menu, const QString& caption) const;
    QLabel* panel(int number) const; // status panel 1 to 4
    void setPanel(int number, const QString& text);

    // The console's dialogs are loaded on first use and unloaded by their own buttons (or at
    // the end). A dialog class takes the main window in its constructor and names itself once
    // (its kName, see DialogBase).
    template <typename T> T& dialog() { return dialog<T>(QString::fromLatin1(T::kName)); }
    template <typename T> bool isLoaded() const { return isLoaded(QString::fromLatin1(T::kName)); }
    // The same for a dialog that has no kName yet.
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

    // Procedures that belong to no view.
    void 显示封面();
    void 显示名称();
    void 显示标题函数();
    void 测试连接函数();
    void 显示帮助();
    void 修改口令函数();
    // The unlock dialog with its caller's caption; true when the administrator was accepted.
    bool 解锁();
    void 关闭(); // the toolbar key "关闭": the quit question, and the end when it is confirmed
    bool AskQuit();
    void UnloadAllAndEnd();
    void Picture_Face_MouseDown(Qt::MouseButton button, int shift, QPoint at);
    // Opens a web address in the user's browser (an address without a scheme gets http://).
    // Where the machine has no browser, says so; false then.
    bool openWebPage(const QString& address);
    // How a web address is opened; by default the desktop's browser. Tests observe it.
    std::function<bool(const QUrl&)> OpenUrl;

    // How the console ends. By default the application's event loop quits; tests observe it.
    std::function<void()> EndConsole;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createControls();
    void createToolbars();
    void createMenus();
    void createList();
    void layOut();
    LayoutInput layoutInput() const;
    std::optional<LayoutInput> laidOutFor_;
    void toolbar1Clicked(QAction* action);
    void setWindowsVisible(bool visible);
    void showViewStatus();
    void applyColumnWidths();
    void columnClicked(int column);
    void listKeyDown(QKeyEvent* event);
    void showHelpWindow(const QString& path);
    int minimumHeightForKeys() const;

    Dispatch dispatch_;
    QList<ConsoleView*> views_;
    QPointer<ConsoleView> current_;
    bool busyCursor_ = false;
    QSet<int> sortMarks_; // columns sorted descending last (the tag "P")
    QHash<QString, QPointer<QDialog>> dialogs_;
    QHash<QString, QMenu*> menus_;
    bool ending_ = false;
    QPointer<QObject> connectionTest_; // the connection test in progress
};

// The names of the console's dialogs in the order they are unloaded at the end.
QStringList consoleDialogNames();

} // namespace lt::overseer
