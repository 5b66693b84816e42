#include "overseer/program.h"
#include "common/names.h"

#include "common/gbk.h"
#include "common/processes.h"
#include "overseer/admin/administration.h"
#include "overseer/admin/dialogdk.h"
#include "overseer/archive/archivedialogs.h"
#include "overseer/archive/commandline.h"
#include "overseer/core/formmain.h"
#include "overseer/core/startup.h"
#include "overseer/query/logquery.h"
#include "overseer/query/logviews.h"
#include "overseer/query/printcommand.h"
#include "overseer/query/statsbinding.h"
#include "overseer/query/statscommand.h"

#include <QApplication>
#include <cstdio>

namespace lt::overseer
{

namespace
{

// The console's query conditions and its views, alive as long as the main window.
class ConsoleViews : public QObject
{
public:
    explicit ConsoleViews(FormMain& form)
        : QObject(&form), access(form.context(), conditions, this),
          upload(form.context(), conditions, this)
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
            form.context().dialog<DialogDK>(QStringLiteral("DialogDK")).exec();
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

namespace
{

int printHelp(const QStringList&)
{
    std::fputs(commandLineHelp().toLocal8Bit().constData(), stdout);
    return 0;
}

} // namespace

const QList<ConsoleCommand>& consoleCommands()
{
    using archive::runArchiveCommand;
    static const QList<ConsoleCommand> commands = {
        {{QStringLiteral("--backup")},
         QStringLiteral("文件"),
         QStringLiteral("把浏览日志（logtable）备份到文件（.bak）"),
         runArchiveCommand},
        {{QStringLiteral("--restore-log")},
         QStringLiteral("文件"),
         QStringLiteral("把日志备份文件中的记录加入浏览日志（原有的记录保留）"),
         runArchiveCommand},
        {{QStringLiteral("--export-config")},
         QStringLiteral("文件"),
         QStringLiteral("把终端和组别导出到配置文件（.cfg）"),
         runArchiveCommand},
        {{QStringLiteral("--restore-config")},
         QStringLiteral("文件"),
         QStringLiteral("用配置文件中的终端和组别替换现有的全部终端和组别"),
         runArchiveCommand},
        {{QStringLiteral("--report")},
         QStringLiteral("browse|upload 文件"),
         QStringLiteral("把浏览日志（browse）或上传日志（upload）导出为文本报告（.txt）"),
         runArchiveCommand},
        {{QStringLiteral("--delete-logs")},
         QStringLiteral("--from \"YY-MM-DD HH:MM:SS\" --to \"YY-MM-DD HH:MM:SS\" [--upload]"),
         QStringLiteral("删除这段时间（含起止两端）的浏览日志；加 --upload 时同时删除上传日志，\n"
                        "两者一起删除或都不删除"),
         runArchiveCommand},
        {{QStringLiteral("--stats")},
         QStringLiteral(
             "visits|terminals|traffic --from 时间 --to 时间 [--ip 地址] [--limit 行数]"),
         QStringLiteral("时间为 \"YY-MM-DD HH:MM:SS\"。打印这段时间（含起止两端）的访问统计：\n"
                        "visits 所有网页（加 --ip 时为该终端访问的网页），\n"
                        "terminals 所有终端，traffic 各终端的流量；第一行为列名，每行一条记录，\n"
                        "各列以制表符分隔（UTF-8），顺序与统计窗口相同"),
         runStatsCommand},
        {{QStringLiteral("--print-pdf")},
         QStringLiteral("文件 --from 时间 --to 时间 [--ip 地址] [--upload]"),
         QStringLiteral("把这段时间（含起止两端）的浏览日志（加 --upload 时为上传日志，加 --ip "
                        "时\n只含该终端）按“日志打印”的格式全部打印到 PDF 文件"),
         runPrintCommand},
        {{QStringLiteral("--help"), QStringLiteral("-h")},
         QString(),
         QStringLiteral("显示本说明"),
         printHelp},
    };
    return commands;
}

QString commandLineHelp()
{
    // Descriptions start in one column; a longer command puts its description below it. Widths
    // are those of a terminal, where a Chinese character takes two columns.
    constexpr int kColumn = 34;
    QString text =
        QStringLiteral("用法：overseer [命令]\n"
                       "不带命令时显示管理控制台的窗口（需要管理员登录）。下面的命令不显示窗口，\n"
                       "也不需要图形界面，可以在 cron 和脚本中使用：\n\n");
    for (const ConsoleCommand& c : consoleCommands()) {
        QString head = QStringLiteral("  ") + c.options.join(QStringLiteral(", "));
        if (!c.synopsis.isEmpty())
            head += u' ' + c.synopsis;
        const QStringList lines = c.description.split(u'\n');
        const int width = gbk::byteWidth(head);
        if (width + 2 > kColumn)
            text += head + u'\n' + QString(kColumn, u' ') + lines[0] + u'\n';
        else
            text += head + QString(kColumn - width, u' ') + lines[0] + u'\n';
        for (const QString& more : lines.mid(1))
            text += QString(kColumn, u' ') + more + u'\n';
    }
    text += QStringLiteral(
        "\n时间中的两位年份表示 2000 至 2099 年。导出的文件只有文件的所有者能读写。\n"
        "退出码：0 完成，1 失败，2 命令有误，3 结果未知（提交时与数据库的连接中断，\n"
        "        请按提示查看数据库）。\n");
    return text;
}

const ConsoleCommand* commandOf(const QStringList& arguments)
{
    if (arguments.size() < 2)
        return nullptr;
    for (const ConsoleCommand& c : consoleCommands()) {
        if (c.options.contains(arguments[1]))
            return &c;
    }
    return nullptr;
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
