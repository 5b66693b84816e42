#include "logkeeper/report.h"

#include "common/clock.h"
#include "logkeeper/keeper.h"
#include "logkeeper/watchdog.h"

namespace lt::keeper
{

QString stageLine(const QString& caption, const StageResult& r)
{
    const QString head = QStringLiteral("%1（%2）：").arg(caption, r.table);
    if (r.rows < 0)
        return head + QStringLiteral("失败，") + r.error;
    QString line = head + QStringLiteral("共 %1 行，").arg(r.rows);
    if (r.rows < r.start)
        return line + QStringLiteral("未到清理行数 %1，不删除").arg(r.start);
    if (r.cut.isEmpty())
        return line + QStringLiteral("未找到截止时间，不删除");
    if (r.failed())
        return line + QStringLiteral("删除截至 %1 的记录失败，").arg(r.cut) + r.error;
    return line + QStringLiteral("删除 %1 行（截至 %2）").arg(r.deleted).arg(r.cut);
}

QStringList passLines(const PassReport& report)
{
    return {stageLine(QStringLiteral("浏览日志"), report.log),
            stageLine(QStringLiteral("最近访问·未分类"), report.webUnclassified),
            stageLine(QStringLiteral("最近访问·全部"), report.webAll),
            stageLine(QStringLiteral("上传日志"), report.upload)};
}

QString durationText(qint64 ms)
{
    return QStringLiteral("%1 秒").arg(ms / 1000.0, 0, 'f', 1);
}

QString passSummary(const PassReport& report)
{
    QString head = QStringLiteral("上次清理：%1，用时 %2")
                       .arg(acTime(report.started), durationText(report.durationMs()));
    if (report.skipped)
        return head + QLatin1Char('\n') + report.note;
    if (report.failed())
        head += QStringLiteral("（有错误，明天 03:00 再次清理）");
    return head + QLatin1Char('\n') + passLines(report).join(QLatin1Char('\n'));
}

QString databaseLine(const DatabaseStatus& status)
{
    switch (status.state) {
    case DatabaseStatus::NotChecked:
        return QStringLiteral("数据库：尚未连接");
    case DatabaseStatus::Connecting:
        return QStringLiteral("数据库：正在连接……");
    case DatabaseStatus::Connected:
        return QStringLiteral("数据库：连接正常");
    case DatabaseStatus::Failed:
        break;
    }
    QStringList lines;
    lines << (status.logError.isEmpty()
                  ? QStringLiteral("数据库：日志数据库连接正常")
                  : QStringLiteral("数据库：日志数据库连接失败，") + status.logError);
    lines << (status.configError.isEmpty()
                  ? QStringLiteral("配置数据库连接正常")
                  : QStringLiteral("配置数据库连接失败，") + status.configError);
    return lines.join(QLatin1Char('\n'));
}

QString modulesSummary(const Watchdog& watchdog)
{
    QStringList parts;
    for (const Module* module : {&monitorModule(), &blockerModule()}) {
        QString part =
            QStringLiteral("%1重新启动 %2 次").arg(module->caption).arg(watchdog.starts(*module));
        if (watchdog.failures(*module) > 0)
            part += QStringLiteral("，启动失败 %1 次").arg(watchdog.failures(*module));
        parts << part;
    }
    QString text = QStringLiteral("模块看护：") + parts.join(QStringLiteral("；"));
    if (watchdog.lastTick().skipped)
        text += QStringLiteral("\nLocalPort.txt 缺失、无法读取或没有网卡编号，本次未检查模块");
    return text;
}

} // namespace lt::keeper
