#include "common/dbconnect.h"
#include "common/logrows.h"
#include "common/logsummary.h"
#include "common/odbc.h"
#include "common/seqfile.h"
#include "overseer/archive/archivejobs.h"
#include "overseer/archive/jobsupport.h"

#include <QSet>

namespace lt::overseer::archive
{

namespace
{

// Rows per INSERT statement of a restore: the statement stays far below the server's packet
// limit and the round trips stay few.
constexpr int kInsertBatch = 500;

QString logValues(const QStringList& values)
{
    QStringList parts;
    for (int i = 0; i < kLogColumns.size(); ++i) {
        const QString& v = values.value(i);
        parts << (kLogWidths[i] == 0 && v.trimmed().isEmpty() ? QStringLiteral("NULL") : quoted(v));
    }
    return u'(' + parts.join(u',') + u')';
}

QString rowValues(const QStringList& values)
{
    QStringList parts;
    for (const QString& v : values)
        parts << quoted(v);
    return u'(' + parts.join(u',') + u')';
}

// Inserts the records of one batch into logtable; a batch the server refuses goes in record by
// record, so that only the records at fault are left out. False when the transaction is lost.
bool insertLogBatch(db::Connection& log, const QList<QStringList>& batch, RestoreOutcome& out)
{
    if (batch.isEmpty())
        return true;
    QStringList rows;
    for (const QStringList& values : batch)
        rows << logValues(values);
    const QString insert = logrows::insertHead(logrows::Table::Log);
    if (log.execute(insert + rows.join(u','))) {
        out.restored += batch.size();
        return true;
    }
    if (db::connectionLost(log.lastError()))
        return false;
    for (const QString& row : rows) {
        if (log.execute(insert + row))
            ++out.restored;
        else if (db::connectionLost(log.lastError()))
            return false;
        else
            ++out.failed;
    }
    return true;
}

// The day sums of the statistics do not see rows added to days they already summed: the
// restored days are forgotten in the restore's own transaction, to be summed again. A log
// without day sums has nothing to forget.
bool forgetRestoredDays(db::Connection& log, const QSet<QString>& days)
{
    if (days.isEmpty() || summary::forgetDays(log, days.values()))
        return true;
    if (log.lastError().native != 1146)
        return false;
    log.clearError();
    return true;
}

RestoreOutcome refused(const QString& message)
{
    RestoreOutcome out;
    out.status = RestoreOutcome::Refused;
    out.message = message;
    return out;
}

// Commits a restore's transaction; the outcome says what became of it.
RestoreOutcome& committed(db::Connection& c, RestoreOutcome& out, const QString& what,
                          const QString& check)
{
    switch (commitJob(c)) {
    case Commit::Done:
        out.status = RestoreOutcome::Done;
        break;
    case Commit::Unknown:
        out.status = RestoreOutcome::Unknown;
        out.message = unknownOutcome(what, check, c.lastError());
        break;
    case Commit::NotCommitted:
        out.status = RestoreOutcome::Failed;
        out.message = dbFailure(what + QStringLiteral("失败，数据库未改变。"), c.lastError());
        out.restored = 0;
        break;
    }
    return out;
}

} // namespace

RestoreOutcome restoreLog(db::Connection& log, const QString& path, const Progress& progress)
{
    // First the whole file is checked, without a statement.
    if (const QString problem = restoreFileProblem(path); !problem.isEmpty())
        return refused(problem);
    switch (firstLongLine(path, 2)) {
    case 0:
        return refused(QStringLiteral("日志备份文件"));
    case 1:
        return refused(QStringLiteral("文件已损坏（记录数不是数字），数据库未改变。"));
    default:
        break;
    }
    {
        SeqReader check;
        check.setEncoding(SeqEncoding::Gb18030);
        if (!check.open(path))
            return refused(QStringLiteral("无法打开文件 %1。").arg(path));
        const BackupHeader header = readBackupHeader(check);
        if (!header.ok())
            return refused(header.message);
        const QString fault = checkBackupBody(check, header.records);
        if (!fault.isEmpty())
            return refused(fault);
    }
    SeqReader reader;
    reader.setEncoding(SeqEncoding::Gb18030);
    if (!reader.open(path))
        return refused(QStringLiteral("无法打开文件 %1。").arg(path));
    const BackupHeader header = readBackupHeader(reader);
    if (!header.ok())
        return refused(header.message);
    RestoreOutcome out;
    const QString unchanged = QStringLiteral("日志数据恢复失败，数据库未改变。");
    if (!ready(log) || !log.beginTransaction()) {
        out.message = dbFailure(unchanged, log.lastError());
        return out;
    }
    QList<QStringList> batch;
    QSet<QString> days;
    bool lost = false;
    for (qint64 i = 1; i <= header.records && !lost; ++i) {
        bool invalid = false;
        const std::optional<QStringList> values = readBackupRecord(reader, &invalid);
        if (!values || invalid || reader.readError()) {
            log.rollback();
            return refused(
                QStringLiteral("文件已损坏（第 %1 条记录含有无效的字符或读取出错），数据库未改变。")
                    .arg(i));
        }
        if (backupRecordFault(*values).isEmpty()) {
            batch << *values;
            days.insert(values->value(2).trimmed().left(8));
        } else
            ++out.failed;
        if (batch.size() >= kInsertBatch) {
            lost = !insertLogBatch(log, batch, out);
            batch.clear();
        }
        if (progress)
            progress(i, header.records);
    }
    if (!lost)
        lost = !insertLogBatch(log, batch, out) || !forgetRestoredDays(log, days);
    if (lost) {
        out.message = dbFailure(unchanged, log.lastError());
        log.rollback();
        out.restored = 0;
        return out;
    }
    return committed(log, out, QStringLiteral("日志数据恢复"),
                     QStringLiteral("请在连接恢复后查阅备份中那些日期的日志，看 %1 条记录是否已经"
                                    "加入，再决定是否重新恢复（已加入时重新恢复会使记录重复）。")
                         .arg(out.restored));
}

QString logRestoredMessage(const RestoreOutcome& outcome)
{
    return QStringLiteral("日志数据恢复完毕\n恢复 %1 条记录，失败 %2 条。")
        .arg(outcome.restored)
        .arg(outcome.failed);
}

RestoreOutcome restoreConfig(db::Connection& config, const QString& path)
{
    if (const QString problem = restoreFileProblem(path); !problem.isEmpty())
        return refused(problem);
    if (const qint64 line = firstLongLine(path); line >= 0)
        return refused(
            line == 0 ? QStringLiteral("不是配置文件")
                      : QStringLiteral("文件已损坏（第 %1 行过长），数据库未改变。").arg(line + 1));
    SeqReader reader;
    reader.setEncoding(SeqEncoding::Gb18030);
    if (!reader.open(path))
        return refused(QStringLiteral("无法打开文件 %1。").arg(path));
    const ConfigData data = readConfig(reader);
    if (!data.ok())
        return refused(data.message);
    RestoreOutcome out;
    const QString unchanged = QStringLiteral("配置数据恢复失败，数据库未改变。");
    if (!ready(config) || !config.beginTransaction()) {
        out.message = dbFailure(unchanged, config.lastError());
        return out;
    }
    const auto fail = [&](const QString& message) {
        out.message = dbFailure(message, config.lastError());
        config.rollback();
        return out;
    };
    if (!config.execute(QStringLiteral("DELETE FROM usertable")))
        return fail(QStringLiteral("用户表丢失，请初始化数据采集监控系统。"));
    if (!config.execute(QStringLiteral("DELETE FROM grouptable")))
        return fail(unchanged);
    const auto insertAll = [&](const QString& table, const QList<QStringList>& rows) {
        for (qsizetype from = 0; from < rows.size(); from += kInsertBatch) {
            QStringList values;
            for (qsizetype i = from; i < std::min(rows.size(), from + kInsertBatch); ++i)
                values << rowValues(rows[i]);
            if (!config.execute(QStringLiteral("INSERT INTO %1 Values").arg(table) +
                                values.join(u',')))
                return false;
        }
        return true;
    };
    if (!insertAll(QStringLiteral("usertable"), data.users) ||
        !insertAll(QStringLiteral("grouptable"), data.groups))
        return fail(unchanged);
    out.restored = data.users.size() + data.groups.size();
    return committed(config, out, QStringLiteral("配置数据恢复"),
                     QStringLiteral("请在连接恢复后查看终端和组别列表，看是否已经换成文件中的 "
                                    "%1 个终端和 %2 个组别；没有换成时再恢复一次即可。")
                         .arg(data.users.size())
                         .arg(data.groups.size()));
}

DeletionOutcome deleteLogs(db::Connection& log, const QStringList& statements)
{
    DeletionOutcome out;
    const QString unchanged = QStringLiteral("删除日志时出错，数据库未改变。");
    if (!ready(log) || !log.beginTransaction()) {
        out.message = dbFailure(unchanged, log.lastError());
        return out;
    }
    for (const QString& sql : statements) {
        qint64 affected = 0;
        if (!log.execute(sql, &affected)) {
            out.message = dbFailure(unchanged, log.lastError());
            log.rollback();
            out.deleted = 0;
            out.deletedBy.clear();
            return out;
        }
        out.deleted += affected;
        out.deletedBy << affected;
    }
    switch (commitJob(log)) {
    case Commit::Done:
        out.ok = true;
        break;
    case Commit::Unknown:
        out.unknown = true;
        out.message = unknownOutcome(
            QStringLiteral("日志删除"),
            QStringLiteral("请在连接恢复后查阅该时间段的日志，看记录是否已经删除；仍在时再删除"
                           "一次即可。"),
            log.lastError());
        break;
    case Commit::NotCommitted:
        out.message = dbFailure(unchanged, log.lastError());
        out.deleted = 0;
        out.deletedBy.clear();
        break;
    }
    return out;
}

} // namespace lt::overseer::archive
