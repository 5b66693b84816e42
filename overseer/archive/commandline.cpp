#include "overseer/archive/commandline.h"

#include "common/clock.h"
#include "common/datasources.h"
#include "common/dbmessages.h"
#include "common/odbc.h"
#include "overseer/archive/archivejobs.h"
#include "overseer/core/windowless.h"

#include <QElapsedTimer>
#include <cstdio>
#include <unistd.h>

namespace lt::overseer::archive
{

namespace
{

const QStringList kCommands = {
    QStringLiteral("--backup"),        QStringLiteral("--restore-log"),
    QStringLiteral("--export-config"), QStringLiteral("--restore-config"),
    QStringLiteral("--report"),        QStringLiteral("--delete-logs")};

// The progress line on a terminal: rewritten at most ten times a second.
class ProgressLine
{
public:
    explicit ProgressLine(QString verb) : verb_(std::move(verb)), shown_(isatty(2) == 1)
    {
        clock_.start();
    }
    ~ProgressLine()
    {
        if (drawn_)
            std::fprintf(stderr, "\n");
    }
    Progress callback()
    {
        if (!shown_)
            return {};
        return [this](qint64 done, qint64 total) {
            if (done != total && clock_.elapsed() < last_ + 100)
                return;
            last_ = clock_.elapsed();
            drawn_ = true;
            std::fprintf(stderr, "\r%s %lld / %lld", verb_.toLocal8Bit().constData(),
                         static_cast<long long>(done), static_cast<long long>(total));
            std::fflush(stderr);
        };
    }

private:
    QString verb_;
    bool shown_;
    bool drawn_ = false;
    QElapsedTimer clock_;
    qint64 last_ = -1000;
};

int failed(const QString& message)
{
    printLine(stderr, message);
    return kExitFailed;
}

int unknown(const QString& message)
{
    printLine(stderr, message);
    return kExitUnknown;
}

int restored(const RestoreOutcome& out, const QString& done)
{
    switch (out.status) {
    case RestoreOutcome::Done:
        printLine(stdout, done);
        return out.failed == 0 ? kExitDone : kExitFailed;
    case RestoreOutcome::Unknown:
        return unknown(out.message);
    default:
        return failed(out.message);
    }
}

int deleted(const DeletionOutcome& out, bool uploadLog)
{
    if (out.unknown)
        return unknown(out.message);
    if (!out.ok)
        return failed(out.message);
    QString line = QStringLiteral("日志删除完毕：删除 %1 条记录").arg(out.deleted);
    if (uploadLog)
        line += QStringLiteral("（浏览日志 %1 条，上传日志 %2 条）")
                    .arg(out.deletedBy.value(0))
                    .arg(out.deletedBy.value(1));
    printLine(stdout, line);
    return kExitDone;
}

int runExport(db::Connection& log, ExportKind kind, const QString& file)
{
    ProgressLine line(QStringLiteral("写入"));
    const ExportOutcome out = exportLog(log, kind, file, line.callback());
    switch (out.status) {
    case ExportOutcome::Done:
        printLine(stdout, QStringLiteral("%1：写入 %2 条记录到 %3")
                              .arg(doneMessage(kind))
                              .arg(out.rows)
                              .arg(file));
        return kExitDone;
    case ExportOutcome::NoRows:
        printLine(stdout, noRowsMessage(kind) + QStringLiteral("，未写入文件"));
        return kExitDone;
    default:
        return failed(out.message);
    }
}

int runCommand(const Command& c, const dsn::ConnectionStrings& strings)
{
    db::Connection connection;
    const bool config = c.kind == Command::ExportConfig || c.kind == Command::RestoreConfig;
    if (!openJobConnection(connection, config ? strings.config : strings.log))
        return failed(QStringLiteral("无法连接数据库。") +
                      db::describeFailure(connection.lastError()));
    switch (c.kind) {
    case Command::Backup:
        return runExport(connection, ExportKind::LogBackup, c.file);
    case Command::Report:
        return runExport(connection,
                         c.uploadLog ? ExportKind::UploadReport : ExportKind::BrowseReport, c.file);
    case Command::ExportConfig: {
        const ConfigExportOutcome out = exportConfig(connection, c.file);
        if (!out.ok)
            return failed(out.message);
        printLine(stdout, QStringLiteral("配置数据导出完毕：%1 个终端，%2 个组别写入 %3")
                              .arg(out.users)
                              .arg(out.groups)
                              .arg(c.file));
        if (!out.changes.isEmpty())
            printLine(stderr, configExportedMessage(out).section(u'\n', 1));
        return kExitDone;
    }
    case Command::RestoreLog: {
        ProgressLine line(QStringLiteral("恢复"));
        const RestoreOutcome out = restoreLog(connection, c.file, line.callback());
        return restored(out, logRestoredMessage(out).replace(u'\n', QStringLiteral("：")));
    }
    case Command::RestoreConfig: {
        const RestoreOutcome out = restoreConfig(connection, c.file);
        return restored(out, QStringLiteral("配置数据恢复完毕：恢复 %1 条记录").arg(out.restored));
    }
    case Command::DeleteLogs: {
        DeletionRange range;
        range.start = c.from;
        range.end = c.to;
        return deleted(deleteLogs(connection, deletionStatements(true, c.uploadLog, range)),
                       c.uploadLog);
    }
    }
    return kExitFailed;
}

} // namespace

bool isArchiveCommand(const QStringList& arguments)
{
    return arguments.size() > 1 && kCommands.contains(arguments[1]);
}

Command parseCommand(const QStringList& arguments)
{
    Command c;
    const QStringList a = arguments.mid(1);
    const auto wrong = [&c](const QString& why) {
        c.error = why;
        return c;
    };
    if (a.isEmpty() || !kCommands.contains(a[0]))
        return wrong(QStringLiteral("未知的命令"));
    c.kind = Command::Kind(kCommands.indexOf(a[0]));
    if (c.kind == Command::Report) {
        if (a.size() != 3 || (a[1] != QLatin1String("browse") && a[1] != QLatin1String("upload")))
            return wrong(QStringLiteral("--report 需要 browse 或 upload 和一个文件"));
        c.uploadLog = a[1] == QLatin1String("upload");
        c.file = a[2];
    } else if (c.kind != Command::DeleteLogs) {
        if (a.size() != 2 || a[1].isEmpty())
            return wrong(a[0] + QStringLiteral(" 需要一个文件"));
        c.file = a[1];
    } else {
        for (int i = 1; i < a.size(); ++i) {
            if (a[i] == QLatin1String("--upload"))
                c.uploadLog = true;
            else if (a[i] == QLatin1String("--from") && i + 1 < a.size())
                c.from = a[++i];
            else if (a[i] == QLatin1String("--to") && i + 1 < a.size())
                c.to = a[++i];
            else
                return wrong(QStringLiteral("无法理解的参数 ") + a[i]);
        }
        if (const QString why = rangeError(c.from, c.to); !why.isEmpty())
            return wrong(why);
    }
    return c;
}

int runArchiveCommand(const QStringList& arguments)
{
    const Command c = parseCommand(arguments);
    if (!c.error.isEmpty())
        return usageError(c.error);
    return runCommand(c, dsn::chosenConnectionStrings());
}

} // namespace lt::overseer::archive
