#include "overseer/program.h"
#include "common/names.h"

#include "common/processes.h"
#include "overseer/admin/dialogdk.h"
#include "overseer/archive/archivedialogs.h"
#include "overseer/core/formmain.h"
#include "overseer/core/startup.h"
#include "overseer/query/logquery.h"
#include "overseer/query/logviews.h"

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

    Dispatch& d = form.dispatch();
    d.onKey(key::日志管理, [views] { views->access.显示访问日志(); });
    d.onKey(key::上传数据, [views] { views->upload.显示上传数据(); });
    d.onKey(key::显示封面, [&form] { form.显示封面(); });
    d.onKey(key::测试连接, [&form] { form.测试连接函数(); });
    d.onKey(key::显示帮助, [&form] { form.显示帮助(); });
    d.onKey(key::关闭, [&form] { form.关闭(); });

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
    using namespace key;
    return {终端配置, 组别配置, 显示黑单, 显示白单, 访问统计, 日志打印, 流量统计};
}

QList<MenuItem> pendingMenuItems()
{
    using namespace item;
    return {查看_禁止浏览, 查看_允许浏览, 查看_打印预览, 终端_增加,     终端_分组,
            终端_更名,     终端_删除,     终端_刷新,     组别_增加,     组别_配置,
            组别_更名,     组别_删除,     名单_增加,     名单_删除,     名单_查看,
            访问_删除,     统计_删除记录, 统计_查看网页, 统计_不送日志, 上传_打印};
}

int runConsole(QApplication& app)
{
    proc::InstanceLock instance(names::kConsoleProgram);
    if (!instance.acquired())
        return 0;
    app.setQuitOnLastWindowClosed(false);
    FormMain form;
    fillDispatch(form);
    if (!runStartUp(form))
        return 0;
    form.show();
    return app.exec();
}

} // namespace lt::overseer
