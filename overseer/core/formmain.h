#pragma once
// The console's main window. It shows the cover or one view at a time and owns what every view
// shares: the list, the paging toolbar, the status panels, the title strip, the current view's
// name, the page size and the database connections. It knows no view: toolbar keys, paging
// buttons, menu items and list events are looked up in the dispatch table that the program's
// root fills.
//
// The console's program-wide state lives here too, one main window per run.

#include "common/cmysql.h"
#include "overseer/core/dispatch.h"

#include <QDialog>
#include <QHash>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>

class QLabel;
class QMenu;
class QAction;
class QStatusBar;
class QToolBar;
class QTreeWidget;

namespace lt::overseer
{

class PictureBox;

class FormMain : public QWidget
{
    Q_OBJECT
public:
    explicit FormMain(QWidget* parent = nullptr);
    ~FormMain() override;

    // Program-wide state.
    bool LoginPassed = false;
    QString AppDir;                // application directory, no trailing separator
    QString ProgressExePath;       // AppDir + "/TQProgress.exe"
    QString ProgressWnd;           // window id of the progress notice while a long operation runs
    QString LocalPortText;         // the capture adapter number read at start-up
    QString CurrentView;           // "显示封面" or the name of the view shown
    QString CredFilePath;          // the credential file
    QString DlgResult;             // "确定" or "取消", left behind by the console's dialogs
    std::unique_ptr<CMySql> MySql; // from the login dialog's load to the end

    // Members shared by the views.
    qint16 PageSize = 500;
    qint16 RowIcon = 0;
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
    QTreeWidget* ListView1;
    QToolBar* Toolbar2;
    QStatusBar* StatusBar1;

    Dispatch& dispatch() { return dispatch_; }
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
    // Opens a web address in the desktop's browser.
    static void openWebPage(const QString& address);

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
    void toolbar1Clicked(QAction* action);
    void setWindowsVisible(bool visible);

    Dispatch dispatch_;
    QHash<QString, QPointer<QDialog>> dialogs_;
    QHash<QString, QMenu*> menus_;
    bool ending_ = false;
};

// The names of the console's dialogs in the order they are unloaded at the end.
QStringList consoleDialogNames();

} // namespace lt::overseer
