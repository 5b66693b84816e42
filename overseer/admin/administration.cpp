#include "overseer/admin/administration.h"

#include "overseer/admin/listdialogs.h"
#include "overseer/core/formmain.h"

namespace lt::overseer::admin
{

namespace
{
const QString kObjectName = QStringLiteral("Administration");
} // namespace

Administration::Administration(FormMain& form)
    : QObject(&form), terminals(form.context(), editing, this),
      groups(form.context(), editing, this), blackList(form.context(), editing, true, this),
      whiteList(form.context(), editing, false, this), recentVisits(form.context(), editing, this)
{
    setObjectName(kObjectName);
}

Administration* administration(FormMain& form)
{
    return form.findChild<Administration*>(kObjectName, Qt::FindDirectChildrenOnly);
}

void bindAdministration(FormMain& form)
{
    auto* a = new Administration(form);
    for (ConsoleView* view : std::initializer_list<ConsoleView*>{
             &a->terminals, &a->groups, &a->blackList, &a->whiteList, &a->recentVisits})
        form.addView(view);

    Dispatch& d = form.dispatch();
    d.onKey(key::终端配置, [a] { a->terminals.显示终端配置(); });
    d.onKey(key::组别配置, [a] { a->groups.显示组别配置(); });
    d.onKey(key::显示黑单, [a] { a->blackList.显示黑名单(); });
    d.onKey(key::显示白单, [a] { a->whiteList.显示白名单(); });
    d.onMenuItem(menu::名单, item::名单_显示最近访问.caption,
                 [a] { a->recentVisits.显示最近访问(); });

    // Rows of other folders' views: the access log (site in sub-item 5, title in 4) and the
    // visit statistics by web page (site as the row text, title in sub-item 1).
    d.onMenuItem(menu::查看, item::查看_禁止浏览.caption, [&form] {
        if (ConsoleView* view = form.currentView())
            form.context().dialog<DialogHD>().run(*view);
    });
    d.onMenuItem(menu::查看, item::查看_允许浏览.caption, [&form] {
        if (ConsoleView* view = form.currentView())
            form.context().dialog<DialogBD>().run(*view, AllowFrom::LogRow);
    });
    d.onMenuItem(menu::统计, item::统计_不送日志.caption, [&form] {
        if (ConsoleView* view = form.currentView())
            form.context().dialog<DialogBD>().run(*view, AllowFrom::SiteRow);
    });
}

} // namespace lt::overseer::admin
