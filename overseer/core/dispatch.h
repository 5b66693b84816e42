#pragma once
// The console's dispatch table: from the keys of the command toolbar, and the context-menu items
// that belong to no view (the "登录" menu of the cover), to the procedures that carry them out.
// The main window only looks procedures up here; the program's root fills the table, so a new
// view never edits the main window. Paging, the other menus and the list's events go to the
// view shown (ConsoleView).

#include <QHash>
#include <QString>
#include <functional>

namespace lt::overseer
{

class Dispatch
{
public:
    using Procedure = std::function<void()>;

    void onKey(const QString& key, Procedure procedure);
    void onMenuItem(const QString& menu, const QString& caption, Procedure procedure);

    bool hasKey(const QString& key) const;
    // Each runs the bound procedure and returns true; a key, caption or item without one does
    // nothing and returns false.
    bool runKey(const QString& key) const;
    bool runMenuItem(const QString& menu, const QString& caption) const;
    bool hasMenuItem(const QString& menu, const QString& caption) const;

private:
    static bool run(const QHash<QString, Procedure>& table, const QString& name);
    QHash<QString, Procedure> keys_;
    QHash<QString, Procedure> menuItems_;
};

} // namespace lt::overseer
