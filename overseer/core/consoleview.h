#pragma once
// The contract between the main window and a view. The main window shows one view at a time:
// it puts the view's model into the list, its title into the title strip, its status texts and
// button states into the status bar and the paging toolbar, and forwards the paging buttons,
// the items of the view's context menu and the list's events to it. A view never reaches into
// the main window; it tells what it wants shown through its status and its signals. A view that
// shows its rows otherwise than in the list (a chart, a form) hands over its own widget, which
// the main window puts where the list is.

#include "overseer/core/commands.h"

#include <QHash>
#include <QModelIndexList>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <array>
#include <functional>

class QAbstractItemModel;
class QItemSelectionModel;
class QKeyEvent;
class QModelIndex;

namespace lt::overseer
{

// Handlers of the list's events; an empty one ignores its event.
struct ListEvents {
    // After an in-place edit of a row's text: false cancels the edit (the old text stays).
    std::function<bool(const QModelIndex& row, const QString& newText)> afterLabelEdit;
    std::function<void(int column)> columnClick;
    std::function<void(QKeyEvent* event)> keyDown;
    // Button, shift state (1 Shift, 2 Ctrl, 4 Alt) and position in the list's viewport.
    std::function<void(Qt::MouseButton button, int shift, QPoint at)> mouseDown;
    std::function<void()> doubleClick;
};

// What the status bar and the paging toolbar show for a view.
struct ViewStatus {
    std::array<QString, 4> panels; // panels 1 to 4
    // "首页", "上页", "下页", "尾页": clickable or not.
    std::array<bool, 4> buttons{false, false, false, false};
    bool busy = false;     // the hourglass while a request is out
    bool counting = false; // a count is running and may be stopped (cancelWork)
};

class ConsoleView : public QObject
{
    Q_OBJECT
public:
    using Handler = std::function<void()>;

    // Its CurrentView text, e.g. "显示访问日志".
    virtual QString name() const = 0;
    // The text of the title strip.
    virtual QString title() const = 0;
    // The context menu the list pops up in this view; empty for none.
    virtual QString menuName() const { return {}; }
    virtual QAbstractItemModel* model() = 0;
    // The view's own widget, shown instead of the list; null: the list shows model().
    virtual QWidget* widget() { return nullptr; }
    // Multi-selection in the list.
    virtual bool multiSelection() const { return false; }

    virtual void firstPage() {}
    virtual void previousPage() {}
    virtual void nextPage() {}
    virtual void lastPage() {}
    // Stops the view's long work in flight (a count); the page shown stays.
    virtual void cancelWork() {}

    // The handlers of the context-menu items, by caption.
    virtual QHash<QString, Handler> menuHandlers() { return {}; }
    virtual ListEvents listEvents() { return {}; }

    const ViewStatus& status() const { return status_; }

    // The main window hands the list's selection and the window for messages over while the
    // view is shown.
    void attach(QItemSelectionModel* selection, QWidget* window);
    // The rows selected in the list, in list order.
    QList<int> selectedRows() const;
    // The current row of the list, -1 when there is none.
    int currentRow() const;

signals:
    // The view wants to be shown (its procedure has passed its dialogs).
    void showRequested();
    void statusChanged();
    // A toolbar key that the view turns on or off ("日志打印").
    void keyEnabledChanged(const QString& key, bool enabled);
    // An in-place edit of a row's text in the list (the view's own model index).
    void editRequested(const QModelIndex& index);
    // The list draws its rows again after a dialog that changed them.
    void repaintRequested();

protected:
    void setStatus(const ViewStatus& status);
    ViewStatus& editStatus() { return status_; }
    void publishStatus() { emit statusChanged(); }
    void requestEdit(const QModelIndex& index) { emit editRequested(index); }
    void requestRepaint() { emit repaintRequested(); }
    QWidget* window() const { return window_; }
    // Asks the question with OK and Cancel; true when the administrator chose OK.
    bool confirm(const QString& question) const;

private:
    ViewStatus status_;
    QPointer<QItemSelectionModel> selection_;
    QPointer<QWidget> window_;
};

} // namespace lt::overseer
