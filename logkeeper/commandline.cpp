#include "logkeeper/commandline.h"

#include "logkeeper/headless.h"
#include "logkeeper/keeper.h"
#include "logkeeper/pruning.h"
#include "logkeeper/report.h"

#include <QTextStream>
#include <cstdio>

namespace lt::keeper
{

namespace
{

struct LimitOption {
    const char* name;
    const char* caption;
    qint32 minimum;
    qint32 Limits::*member;
};

const LimitOption kLimitOptions[] = {
    {"--log", "浏览日志", kMinLog, &Limits::log},
    {"--upload", "上传日志", kMinUpload, &Limits::upload},
    {"--web", "最近访问", kMinWeb, &Limits::web},
};

const LimitOption* findOption(const QString& argument)
{
    for (const LimitOption& option : kLimitOptions) {
        if (argument == QLatin1String(option.name))
            return &option;
    }
    return nullptr;
}

// Reads "--log N" and the like; false with the error set when the value is not a limit.
bool takeLimit(const LimitOption& option, const QString& value, CommandLine& result)
{
    const QString caption = QString::fromUtf8(option.caption);
    const LimitEntry entry = applyLimitText(value, option.minimum, -1);
    if (value.trimmed().isEmpty() || entry.outcome == LimitEntry::KeptPrevious) {
        result.error = QStringLiteral("%1 的值“%2”不是 0 到 2147483647 之间的整数")
                           .arg(QLatin1String(option.name), value);
        return false;
    }
    if (entry.outcome == LimitEntry::RaisedToMinimum)
        result.notes << QStringLiteral("%1上限 %2 小于最小值，按 %3 清理")
                            .arg(caption, value.trimmed())
                            .arg(option.minimum);
    result.limits.*option.member = entry.value;
    return true;
}

} // namespace

CommandLine parseCommandLine(const QStringList& arguments)
{
    CommandLine result;
    bool limitsGiven = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& arg = arguments[i];
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h") ||
            arg == QLatin1String("/?")) {
            result.mode = CommandLine::Help;
            return result;
        }
        if (arg == QLatin1String("--prune-now")) {
            result.mode = CommandLine::PruneNow;
        } else if (arg == QLatin1String("--headless")) {
            if (arguments.size() != 1) {
                result.error = QStringLiteral("--headless 不能与其他参数一起使用");
                break;
            }
            result.mode = CommandLine::Headless;
        } else if (const LimitOption* option = findOption(arg)) {
            if (i + 1 >= arguments.size()) {
                result.error = QStringLiteral("%1 后面缺少行数").arg(arg);
                break;
            }
            if (!takeLimit(*option, arguments[++i], result))
                break;
            limitsGiven = true;
        } else {
            result.error = QStringLiteral("不认识的参数“%1”").arg(arg);
            break;
        }
    }
    if (result.error.isEmpty() && limitsGiven && result.mode != CommandLine::PruneNow)
        result.error = QStringLiteral("--log、--upload、--web 只能与 --prune-now 一起使用");
    if (!result.error.isEmpty())
        result.mode = CommandLine::Invalid;
    return result;
}

QString helpText()
{
    return QStringLiteral(
        "logkeeper：Lantrove系统的数据库维护程序\n"
        "\n"
        "用法：\n"
        "  logkeeper                 常驻运行：每天 03:00 清理日志表，每 10 "
        "秒看护监测模块和阻断模块\n"
        "  logkeeper --headless      同上，但不显示窗口（系统服务 lantrove-keeper 这样运行），\n"
        "                            所做的事逐行写到标准输出\n"
        "  logkeeper --prune-now [--log 行数] [--upload 行数] [--web 行数]\n"
        "                            立即清理一次，列出各表删除的行数后退出（可用于 cron）\n"
        "  logkeeper --help          显示本说明\n"
        "\n"
        "各表保留的最多行数（默认值，最小值）：\n"
        "  --log     浏览日志 logtable，默认 200000，最小 5000；达到上限加 50000 行时清理\n"
        "  --upload  上传日志 upsendtable，默认 10000，最小 1000；达到上限加 2000 行时清理\n"
        "  --web     最近访问 webtable，默认 500000，最小 10000；达到上限加 100000 行时先删未分类\n"
        "            的记录，再把全部记录删到上限加 50000 行\n"
        "\n"
        "退出码：0 清理成功（或无须清理），1 有语句失败，2 参数错误。\n");
}

int runPruneNow(const Limits& limits, QTextStream& out, QTextStream& err)
{
    out << QStringLiteral("清理日志表：浏览日志上限 %1，上传日志上限 %2，最近访问上限 %3\n")
               .arg(limits.log)
               .arg(limits.upload)
               .arg(limits.web);
    out.flush();
    const PassReport report = pruneOnce(limits);
    if (report.skipped) {
        out << report.note << '\n';
        out.flush();
        return 0;
    }
    const QStringList lines = passLines(report);
    const StageResult* stages[] = {&report.log, &report.webUnclassified, &report.webAll,
                                   &report.upload};
    for (int i = 0; i < lines.size(); ++i) {
        QTextStream& stream = stages[i]->failed() ? err : out;
        stream << lines[i] << '\n';
        stream.flush();
    }
    out << QStringLiteral("共删除 %1 行，用时 %2\n")
               .arg(report.log.deleted + report.webDeleted() + report.upload.deleted)
               .arg(durationText(report.durationMs()));
    out.flush();
    return report.failed() ? 1 : 0;
}

int runCommandLine(const CommandLine& commandLine)
{
    QTextStream out(stdout);
    QTextStream err(stderr);
    switch (commandLine.mode) {
    case CommandLine::Help:
        out << helpText();
        return 0;
    case CommandLine::Invalid:
        err << QStringLiteral("logkeeper：") << commandLine.error << '\n'
            << QStringLiteral("用 logkeeper --help 查看用法。\n");
        return 2;
    case CommandLine::PruneNow:
        for (const QString& note : commandLine.notes)
            out << note << '\n';
        return runPruneNow(commandLine.limits, out, err);
    case CommandLine::Headless:
        return runHeadless();
    case CommandLine::Window:
        break;
    }
    return 0;
}

} // namespace lt::keeper
