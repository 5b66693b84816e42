#pragma once
// The fixed parts of the main window's controls: the keys of the command toolbar and their
// icons, the captions of the paging toolbar, the context menus and their items.

#include <QIcon>
#include <QList>
#include <QString>
#include <QStringList>

namespace lt::overseer
{

// A web address as the browser is given it: trimmed, "http://" put before an address without
// a scheme; empty for an empty text.
QString webAddress(const QString& text);

// The sixteen keys of Toolbar1, top to bottom; each button is captioned with its key.
QStringList toolbarKeys();
// The paging buttons of Toolbar2, keyed and captioned alike.
QStringList pagingCaptions();
// A drawn badge for a key: the key's first character on a coloured tile.
QIcon keyIcon(const QString& key);

struct MenuDefinition {
    QString name;
    QStringList items;
};
// The context menus, with their items in order (a separator between two items).
QList<MenuDefinition> contextMenus();
// Object name of a menu item: "m" + caption + menu ("m删除终端"); the two items of "登录"
// have names of their own ("m修改系统端口", "m修改用户名称").
QString menuItemObjectName(const QString& menu, const QString& caption);

} // namespace lt::overseer
