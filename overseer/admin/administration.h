#pragma once
// The administration's part of the console: its views and the keys and menu items bound to
// them, created once by the program's root.

#include "overseer/admin/adminviews.h"

#include <QObject>

namespace lt::overseer
{
class FormMain;
}

namespace lt::overseer::admin
{

class Administration : public QObject
{
    Q_OBJECT
public:
    explicit Administration(FormMain& form);
    ListEditing editing;
    TerminalView terminals;
    GroupView groups;
    SiteListView blackList;
    SiteListView whiteList;
    RecentVisitsView recentVisits;
};

// Creates the views, adds them to the main window and binds the keys "终端配置", "组别配置",
// "显示黑单", "显示白单" and the items that put a selected row's site on a list from the
// access-log and statistics views.
void bindAdministration(FormMain& form);
// The administration of a main window; null before bindAdministration.
Administration* administration(FormMain& form);

} // namespace lt::overseer::admin
