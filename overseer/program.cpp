#include "overseer/program.h"
#include "common/names.h"

#include "common/processes.h"
#include "overseer/admin/administration.h"
#include "overseer/admin/dialogdk.h"
#include "overseer/archive/archivedialogs.h"
#include "overseer/core/formmain.h"
#include "overseer/core/startup.h"
#include "overseer/query/logquery.h"
#include "overseer/query/logviews.h"
#include "overseer/query/statsbinding.h"

#include <QApplication>

namespace lt::overseer
{

namespace
{

// The console's query conditions and its views, alive as long as the main window.
class ConsoleViews : public QObject
{
public:
    explicit ConsoleViews(FormMain& form)
        : QObject(&form), access(form, conditions, this), upload(form, conditions, this)
    {
        setObjectName(QStringLiteral("ConsoleViews"));
    }
    LogQueryState conditions;
    AccessLogView access;
    UploadLogView upload;
};

ConsoleViews* viewsOf(FormMain& form)
{
    return form.findChild<ConsoleViews*>(QStringLiteral("ConsoleViews"),
                                         Qt::FindDirectChildrenOnly);
}

} // namespace

void fillDispatch(FormMain& form)
{
    auto* views = new ConsoleViews(form);
    form.addView(&views->access);
    form.addView(&views->upload);
    bindStatistics(form, views->conditions);

    Dispatch& d = form.dispatch();
    d.onKey(key::日志管理, [views] { views->access.显示访问日志(); });
    d.onKey(key::上传数据, [views] { views->upload.显示上传数据(); });
    d.onKey(key::显示封面, [&form] { form.显示封面(); });
    d.onKey(key::测试连接, [&form] { form.测试连接函数(); });
    d.onKey(key::显示帮助, [&form] { form.显示帮助(); });
    d.onKey(key::关闭, [&form] { form.关闭(); });
    admin::bindAdministration(form);

    d.onMenuItem(menu::登录, item::登录_修改系统使用端口号.caption, [&form] {
        if (form.解锁())
            form.dialog<DialogDK>(QStringLiteral("DialogDK")).exec();
    });
    d.onMenuItem(menu::登录, item::登录_修改登录名称和口令.caption,
                 [&form] { form.修改口令函数(); });
    bindArchive(form);
}

AccessLogView* accessLogView(FormMain& form)
{
    ConsoleViews* views = viewsOf(form);
    return views ? &views->access : nullptr;
}

UploadLogView* uploadLogView(FormMain& form)
{
    ConsoleViews* views = viewsOf(form);
    return views ? &views->upload : nullptr;
}

QList<QString> pendingKeys()
{
    return {};
}

QList<MenuItem> pendingMenuItems()
{
    return {};
}

int runConsole(QApplication& app)
{
    proc::InstanceLock instance(names::kConsoleProgram);
    if (!instance.acquired())
        return 0;
    app.setQuitOnLastWindowClosed(false);
    FormMain form;
    fillDispatch(form);
    if (!runStartUp(form, ModuleStart::AfterCover))
        return 0;
    form.show();
    return app.exec();
}

} // namespace lt::overseer
