// The commands of the terminal and group views: their context menus, in-place renaming and
// deleting.

#include "common/cmysql.h"
#include "common/widgets/messages.h"
#include "overseer/admin/adminrules.h"
#include "overseer/admin/adminstore.h"
#include "overseer/admin/adminviews.h"
#include "overseer/admin/policydialog.h"
#include "overseer/admin/terminaldialogs.h"
#include "overseer/core/consolecontext.h"

#include <QTreeView>

namespace lt::overseer::admin
{

namespace
{

void warn(QWidget* parent, const QString& text)
{
    ui::message(parent, text, ui::Icon::Exclamation);
}

// A new name the configuration file cannot carry is refused, with the reason.
bool refused(QWidget* parent, const QString& field, const QString& text)
{
    const QString why = refusedCharacterMessage(field, text);
    if (!why.isEmpty())
        warn(parent, why);
    return !why.isEmpty();
}

const QString kNameUnchecked = QStringLiteral("无法检查名称是否重复。");

} // namespace

QHash<QString, ConsoleView::Handler> TerminalView::menuHandlers()
{
    return {
        {item::终端_增加.caption,
         [this] {
             context().dialog<DialogZJ>().run(*this);
             requestRepaint();
         }},
        {item::终端_分组.caption,
         [this] {
             if (selectedRows().isEmpty())
                 return;
             context().dialog<DialogFP>().run(*this);
             requestRepaint();
         }},
        {item::终端_更名.caption,
         [this] {
             if (currentRow() >= 0)
                 context().dialog<DialogRN>().run(*this, QStringLiteral("终端更名"));
         }},
        {item::终端_删除.caption, [this] { deleteSelected(); }},
        {item::终端_刷新.caption, [this] { 显示终端配置(); }},
    };
}

void TerminalView::renameInPlace(int row, const QString& text)
{
    if (tooLong(text, kNameBytes))
        return void(ui::message(window(), QStringLiteral("终端名称太长")));
    if (refused(window(), QStringLiteral("终端名称"), text))
        return;
    const QString address = listModel().text(row, 1);
    renameUnlessFree(row, text, sql::terminalNameCount(text, sql::Match::IgnoreCase),
                     kNameUnchecked, [this, text, address] {
                         CMySql* mySql = context().MySql.get();
                         return mySql ? renameTerminal(*mySql, text, address)
                                      : notConnected(QStringLiteral("终端未能更名。"));
                     });
}

void TerminalView::deleteSelected()
{
    const QList<int> rows = selectedRows();
    if (rows.isEmpty())
        return;
    if (!confirm(QStringLiteral("确定删除所选终端吗？")))
        return;
    QStringList statements;
    for (int row : rows)
        statements << sql::deleteTerminal(listModel().text(row, 1));
    db::Connection* config = configConnection(context().MySql.get());
    const QString what = QStringLiteral("终端未能删除。");
    const Outcome done = config ? runAll(*config, statements, what) : notConnected(what);
    if (!done)
        return reportFailure(window(), done);
    for (auto it = rows.rbegin(); it != rows.rend(); ++it)
        removeRow(*it);
}

QHash<QString, ConsoleView::Handler> GroupView::menuHandlers()
{
    return {
        {item::组别_增加.caption,
         [this] {
             context().dialog<DialogZb>().run(*this);
             requestRepaint();
         }},
        {item::组别_配置.caption,
         [this] {
             if (currentRow() >= 0)
                 context().dialog<DialogSt>().run(*this);
         }},
        {item::组别_更名.caption, [this] { renameSelected(); }},
        {item::组别_删除.caption, [this] { deleteSelected(); }},
    };
}

void GroupView::renameSelected()
{
    if (currentRow() < 0)
        return;
    if (currentText() == kBuiltInGroup) {
        warn(window(), QStringLiteral("临时工作组不允许更名！"));
        return;
    }
    context().dialog<DialogRN>().run(*this, QStringLiteral("组别更名"));
}

void GroupView::renameInPlace(int row, const QString& text)
{
    // The built-in group takes the members of every deleted group: it keeps its name.
    if (listModel().text(row, 0).trimmed() == kBuiltInGroup)
        return warn(window(), QStringLiteral("临时工作组不允许更名！"));
    if (tooLong(text, kNameBytes))
        return void(ui::message(window(), QStringLiteral("组别名称太长")));
    if (refused(window(), QStringLiteral("组别名称"), text))
        return;
    const QString old = listModel().text(row, 0);
    renameUnlessFree(row, text, sql::groupNameCount(text, sql::Match::IgnoreCase), kNameUnchecked,
                     [this, text, old] {
                         CMySql* mySql = context().MySql.get();
                         return mySql ? renameGroup(*mySql, text, old)
                                      : notConnected(QStringLiteral("组别未能更名。"));
                     });
}

void GroupView::deleteSelected()
{
    const int row = currentRow();
    if (row < 0)
        return;
    const QString group = listModel().text(row, 0);
    if (group.trimmed() == kBuiltInGroup) {
        ui::message(window(), QStringLiteral("系统用工作组不能删除！"));
        return;
    }
    if (!confirm(QStringLiteral("确定删除所选组别吗？")))
        return;
    db::Connection* config = configConnection(context().MySql.get());
    const QString what = QStringLiteral("组别未能删除。");
    const Outcome done =
        config ? runAll(*config, {sql::moveMembersToBuiltIn(group), sql::deleteGroup(group)}, what)
               : notConnected(what);
    if (!done)
        return reportFailure(window(), done);
    removeRow(row);
}

} // namespace lt::overseer::admin
