// The commands of the black-list, white-list and recent-visits views: their context menus,
// in-place renaming of an entry and deleting.

#include "common/widgets/messages.h"
#include "overseer/admin/adminrules.h"
#include "overseer/admin/adminstore.h"
#include "overseer/admin/adminviews.h"
#include "overseer/admin/listdialogs.h"
#include "overseer/core/consolecontext.h"

namespace lt::overseer::admin
{

QHash<QString, ConsoleView::Handler> SiteListView::menuHandlers()
{
    return {
        {item::名单_增加.caption, [this] { context().dialog<DialogAd>().run(*this); }},
        {item::名单_删除.caption, [this] { deleteSelected(); }},
        {item::名单_查看.caption,
         [this] {
             if (currentRow() >= 0)
                 context().openWebPage(currentText());
         }},
    };
}

void SiteListView::renameInPlace(int row, const QString& text)
{
    if (tooLong(text, kEntryRenameBytes)) {
        ui::message(window(), QStringLiteral("域名太长"));
        if (!black_)
            setLabelEditingManual();
        return;
    }
    if (const QString why = refusedCharacterMessage(QStringLiteral("域名"), text); !why.isEmpty())
        return void(ui::message(window(), why, ui::Icon::Exclamation));
    const QString old = listModel().text(row, 0);
    renameUnlessFree(row, text, sql::entryCount(table(), text, sql::Match::IgnoreCase),
                     QStringLiteral("无法检查域名是否重复。"), [this, text, old] {
                         db::Connection* config = configConnection(context().MySql.get());
                         const QString what = QStringLiteral("名单未能更名。");
                         return config ? runOne(*config, sql::renameEntry(table(), text, old), what)
                                       : notConnected(what);
                     });
}

void SiteListView::deleteSelected()
{
    const int row = currentRow();
    if (row < 0)
        return;
    if (!confirm(QStringLiteral("确定删除所选记录吗？")))
        return;
    const QString site = listModel().text(row, 0);
    db::Connection* config = configConnection(context().MySql.get());
    const QString what = QStringLiteral("名单未能删除。");
    const QString statement = black_ ? sql::deleteBlack(site) : sql::deleteWhite(site);
    const Outcome done = config ? runOne(*config, statement, what) : notConnected(what);
    if (!done)
        return reportFailure(window(), done);
    removeRow(row);
}

QHash<QString, ConsoleView::Handler> RecentVisitsView::menuHandlers()
{
    return {{item::访问_删除.caption, [this] { deleteSelected(); }}};
}

void RecentVisitsView::deleteSelected()
{
    const QList<int> rows = selectedRows();
    if (rows.isEmpty())
        return;
    if (!confirm(QStringLiteral("确定删除所选的最近访问记录吗？")))
        return;
    QStringList statements;
    for (int row : rows)
        statements << sql::deleteVisit(listModel().text(row, 0));
    db::Connection* config = configConnection(context().MySql.get());
    const QString what = QStringLiteral("最近访问记录未能删除。");
    const Outcome done = config ? runAll(*config, statements, what) : notConnected(what);
    if (!done)
        return reportFailure(window(), done);
    for (auto it = rows.rbegin(); it != rows.rend(); ++it)
        removeRow(*it);
}

} // namespace lt::overseer::admin
