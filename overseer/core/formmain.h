#pragma once
// The console's main window. It shows the cover or one view at a time and owns what every view
// shares: the list, the paging toolbar, the status panels, the title strip, the current view's
// name and the database connections. It knows no view by name: the program's root adds the
// views (ConsoleView) and binds the toolbar keys; the paging buttons, the items of the context
// menu and the list's events go to the view shown. What belongs to every view is done here:
// the context menu's enabled items, the column-click sort, Ctrl+A.
//
// The console's program-wide state is the main window's context (ConsoleContext), which the
// views and dialogs are given; the controls stay the main window's own.

#include "overseer/core/consolecontext.h"
#include "overseer/core/consoleview.h"
#include "overseer/core/dispatch.h"
#include "overseer/core/layout.h"
#include "overseer/core/progressnotice.h"

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
class QProgressBar;
class QPushButton;
class QMenu;
class QAction;
class QStatusBar;
class QToolBar;
class QTreeView;

namespace lt::overseer
{

class PictureBox;

class FormMain : public QWidget, public NoticeHost
{
    Q_OBJECT
public:
    explicit FormMain(QWidget* parent = nullptr);
    ~FormMain() override;
    // While the login dialog waits for the administrator: the hidden window polished, its
    // native window made, its controls laid out and the cover drawn, so that showing it after
    // the login is only showing it.
    void prepareFirstShow();

    // The program-wide state and the dialog loader, handed to the views and dialogs.
    ConsoleContext& context() { return context_; }
    // "显示封面" or the name of the view shown (read only).
    QString CurrentView;

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

    // The progress notice's host: the notice is centred over the window, and the rows done of
    // a long action show in the status bar (shown for that time also over the cover).
    QRect noticeArea() const override;
    void showRowsDone(qint64 done, qint64 total) override;
    void endRowsDone() override;

    // How the console ends. By default the application's event loop quits; tests observe it.
    std::function<void()> EndConsole;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
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
    QProgressBar* ProgressRows;  // rows done of a long action
    QStatusBar* StatusBar1;
    int ListMouseX = 0; // last mouse-down position over the list
    qint16 ListMouseY = 0;

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
    // The remembered widths of the shown list's layout (empty when none), and the widths the
    // administrator set by hand kept for the next run.
    QString columnMemoryKey() const;
    QList<int> rememberedWidths();
    void rememberColumnWidths();
    void restoreWindowPlace();
    void saveColumnMemory();
    void saveMemory(); // the columns and the window's place
    void columnClicked(int column);
    void listKeyDown(QKeyEvent* event);
    void showHelpWindow(const QString& path);
    // A view's own widget where the list is, or the list (own null).
    void showViewWidget(QWidget* own);
    int minimumHeightForKeys() const;

    ConsoleContext context_;
    Dispatch dispatch_;
    QList<ConsoleView*> views_;
    QPointer<ConsoleView> current_;
    QPointer<QWidget> viewWidget_; // the shown view's own widget, if it has one
    bool busyCursor_ = false;
    QSet<int> sortMarks_; // columns sorted descending last (the tag "P")
    QHash<QString, QMenu*> menus_;
    bool ending_ = false;
    QPointer<QObject> connectionTest_; // the connection test in progress
    bool applyingWidths_ = false;
    bool resizingByHand_ = false;             // a mouse button is down on the list's header
    QHash<QString, QList<int>> columnMemory_; // by columnMemoryKey, loaded on first use
    QSet<QString> columnsChanged_;            // keys changed by hand since the last save
};

// The names of the console's dialogs in the order they are unloaded at the end.
QStringList consoleDialogNames();

} // namespace lt::overseer
