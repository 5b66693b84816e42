#pragma once
// The console's dispatch table: from the keys of the command toolbar, the captions of the paging
// toolbar, the items of the context menus and the events of the list to the procedures that
// carry them out. The main window only looks procedures up here; the program's root fills the
// table, so a new view never edits the main window.

#include <QHash>
#include <QPoint>
#include <QString>
#include <functional>

class QKeyEvent;
class QTreeWidgetItem;

namespace lt::overseer
{

// Handlers of the list's events; an empty one ignores its event.
struct ListEvents {
    // After an in-place edit of a row's text: false cancels the edit (the old text stays).
    std::function<bool(QTreeWidgetItem* item, const QString& newText)> afterLabelEdit;
    std::function<void(int column)> columnClick;
    std::function<void(QKeyEvent* event)> keyDown;
    // Button, shift state (1 Shift, 2 Ctrl, 4 Alt) and position in the list's viewport.
    std::function<void(Qt::MouseButton button, int shift, QPoint at)> mouseDown;
    std::function<void()> doubleClick;
};

class Dispatch
{
public:
    using Procedure = std::function<void()>;

    void onKey(const QString& key, Procedure procedure);
    void onPaging(const QString& caption, Procedure procedure);
    void onMenuItem(const QString& menu, const QString& caption, Procedure procedure);

    bool hasKey(const QString& key) const;
    // Each runs the bound procedure and returns true; a key, caption or item without one does
    // nothing and returns false.
    bool runKey(const QString& key) const;
    bool runPaging(const QString& caption) const;
    bool runMenuItem(const QString& menu, const QString& caption) const;

    ListEvents list;

private:
    static bool run(const QHash<QString, Procedure>& table, const QString& name);
    QHash<QString, Procedure> keys_;
    QHash<QString, Procedure> paging_;
    QHash<QString, Procedure> menuItems_;
};

} // namespace lt::overseer
