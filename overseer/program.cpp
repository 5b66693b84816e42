#include "overseer/program.h"

#include "common/processes.h"
#include "overseer/admin/dialogdk.h"
#include "overseer/core/formmain.h"
#include "overseer/core/startup.h"

#include <QApplication>

namespace lt::overseer
{

void fillDispatch(FormMain& form)
{
    Dispatch& d = form.dispatch();
    d.onKey(QStringLiteral("显示封面"), [&form] { form.显示封面(); });
    d.onKey(QStringLiteral("测试连接"), [&form] { form.测试连接函数(); });
    d.onKey(QStringLiteral("显示帮助"), [&form] { form.显示帮助(); });
    d.onKey(QStringLiteral("关闭"), [&form] { form.关闭(); });

    d.onMenuItem(QStringLiteral("登录"), QStringLiteral("修改系统使用端口号"), [&form] {
        if (form.解锁())
            form.dialog<DialogDK>(QStringLiteral("DialogDK")).exec();
    });
    d.onMenuItem(QStringLiteral("登录"), QStringLiteral("修改登录名称和口令"),
                 [&form] { form.修改口令函数(); });
}

int runConsole(QApplication& app)
{
    proc::InstanceLock instance(QStringLiteral("overseer"));
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
