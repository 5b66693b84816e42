#include "overseer/archive/archivejobs.h"
#include "overseer/archive/jobsupport.h"

#include "common/beside.h"
#include "common/dbconnect.h"
#include "common/dbmessages.h"
#include "common/dbstream.h"
#include "common/odbc.h"
#include "common/seqfile.h"

#include <QSemaphore>
#include <atomic>
#include <cstring>
#include <vector>

namespace lt::overseer::archive
{

namespace
{

// Exports, reports and backups are their owner's alone: a backup is the site's browsing history.
const QFileDevice::Permissions kOwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

QString recordText(ExportKind kind, const QStringList& values)
{
    switch (kind) {
    case ExportKind::BrowseReport:
        return browseReportRecord(values);
    case ExportKind::UploadReport:
        return uploadReportRecord(values);
    default:
        return backupRecord(values);
    }
}

const QStringList& columnsOf(ExportKind kind)
{
    return kind == ExportKind::UploadReport ? kUploadColumns : kLogColumns;
}

// Remembers what an export handed over, newest first.
void note(ExportedRows& exported, const db::RowBlock& block, int row, int keyIndex)
{
    ++exported.rows;
    if (block.isNull(row, keyIndex)) {
        ++exported.nullKeys;
        return;
    }
    if (exported.rows == 1)
        exported.newestKey = QString::fromUtf8(block.utf8(row, keyIndex));
    if (exported.newest.size() + 1 == exported.rows &&
        QString::fromUtf8(block.utf8(row, keyIndex)) == exported.newestKey) {
        ExportedRow kept;
        for (int c = 0; c < block.fieldCount(); ++c) {
            kept.values << block.value(row, c).toString();
            kept.isNull << block.isNull(row, c);
        }
        exported.newest << kept;
    }
}

// "Name='x' AND IP IS NULL AND ..." for one row as read.
QString sameRow(const QStringList& columns, const ExportedRow& row)
{
    QStringList parts;
    for (int i = 0; i < columns.size(); ++i) {
        parts << (row.isNull.value(i) ? columns[i] + QStringLiteral(" IS NULL")
                                      : columns[i] + u'=' + quoted(row.values.value(i)));
    }
    return parts.join(QStringLiteral(" AND "));
}

// Rows per chunk of an export: large enough that the statements are few, small enough that the
// driver's copy of one result stays a few megabytes. Uploads carry their whole content (a
// LONGTEXT), so they come in smaller chunks.
constexpr int kExportChunk = 20000;
constexpr int kUploadChunk = 1000;

// Turns records into file text and writes them on a thread of its own, so that this work
// overlaps with reading the next rows from the server. Records travel in batches of their raw
// bytes; the text of a batch is made in one buffer the thread reuses. At most kDepth batches
// wait.
class RecordWriter
{
public:
    RecordWriter(SeqWriter& writer, ExportKind kind)
        : writer_(writer), kind_(kind), columns_(int(columnsOf(kind).size())), batch_(columns_)
    {
    }
    ~RecordWriter() { cancel(); }

    void add(const db::RowBlock& block, int row)
    {
        for (int c = 0; c < columns_; ++c)
            batch_.add(c < block.fieldCount() ? block.utf8(row, c) : QByteArrayView());
        if (batch_.records() >= kBatch)
            hand();
    }
    // False once something failed to reach the file.
    bool ok() const { return !failed_.load(); }
    // Everything handed over is written when it returns.
    void finish() { end(false); }
    // What waits is dropped.
    void cancel() { end(true); }

private:
    static constexpr int kBatch = 1000;
    static constexpr int kDepth = 8;

    void hand()
    {
        free_.acquire(); // a batch's place in the queue: the reader waits while kDepth do
        const qsizetype bytes = batch_.bytes();
        thread_.post([this, batch = std::move(batch_)] {
            if (!dropping_ && !failed_)
                write(batch);
            free_.release();
        });
        batch_ = RecordBatch(columns_);
        batch_.reserve(kBatch, bytes + bytes / 4);
    }
    void end(bool drop)
    {
        if (ended_)
            return;
        ended_ = true;
        dropping_ = drop;
        if (!drop && batch_.records() > 0)
            hand();
        free_.acquire(kDepth); // every batch handed over has been written (or dropped)
        free_.release(kDepth);
    }
    void write(const RecordBatch& batch)
    {
        text_.resize(0); // keeps its capacity
        if (kind_ == ExportKind::LogBackup) {
            appendBackupRecords(text_, batch);
        } else {
            for (qsizetype r = 0; r < batch.records(); ++r)
                text_ += recordText(kind_, batch.values(r));
        }
        writer_.print(text_);
        if (writer_.failed())
            failed_ = true;
    }

    SeqWriter& writer_;
    const ExportKind kind_;
    const int columns_;
    RecordBatch batch_;
    QString text_; // used by the writing thread alone
    QSemaphore free_{kDepth};
    bool ended_ = false;
    std::atomic<bool> dropping_{false};
    std::atomic<bool> failed_{false};
    WorkThread thread_{QStringLiteral("RecordWriter")};
};

// The upload log's text or the browse log's, for the kind of export.
QString ofLog(ExportKind kind, const QString& upload, const QString& browse)
{
    return kind == ExportKind::UploadReport ? upload : browse;
}

} // namespace

QString logTable(ExportKind kind)
{
    return ofLog(kind, QStringLiteral("upsendtable"), QStringLiteral("logtable"));
}

QString noRowsMessage(ExportKind kind)
{
    return ofLog(kind, QStringLiteral("没有上传日志"), QStringLiteral("没有浏览日志"));
}

QString doneMessage(ExportKind kind)
{
    switch (kind) {
    case ExportKind::BrowseReport:
        return QStringLiteral("浏览日志导出完毕");
    case ExportKind::UploadReport:
        return QStringLiteral("上传日志导出完毕");
    case ExportKind::Config:
        return QStringLiteral("配置数据导出完毕");
    default:
        return QStringLiteral("日志备份文件导出完毕");
    }
}

QString clearQuestion(ExportKind kind)
{
    return ofLog(kind, QStringLiteral("确定清空上传日志数据库码?"),
                 QStringLiteral("确定清空浏览日志数据库码?"));
}

QString clearedMessage(ExportKind kind)
{
    return ofLog(kind, QStringLiteral("上传日志数据库已清空"),
                 QStringLiteral("浏览日志数据库已清空"));
}

ExportOutcome exportLog(db::Connection& log, ExportKind kind, const QString& path,
                        const Progress& progress, const std::atomic<bool>* stop)
{
    ExportOutcome out;
    const QString table = logTable(kind);
    if (!ready(log)) {
        out.message = dbFailure(QStringLiteral("无法读取日志。"), log.lastError());
        return out;
    }
    // The count and every chunk read the same snapshot of the table.
    log.execute(QStringLiteral("SET SESSION TRANSACTION ISOLATION LEVEL REPEATABLE READ"));
    if (!log.beginTransaction()) {
        out.message = dbFailure(QStringLiteral("无法读取日志。"), log.lastError());
        return out;
    }
    struct EndRead {
        db::Connection& c;
        ~EndRead()
        {
            if (c.inTransaction())
                c.rollback();
        }
    } endRead{log};
    const db::Recordset count = log.query(QStringLiteral("SELECT count(*) FROM ") + table);
    if (log.failed() || count.eof()) {
        out.message = dbFailure(QStringLiteral("无法读取日志。"), log.lastError());
        return out;
    }
    const qint64 total = count.field(0).toLongLong();
    if (total == 0) {
        out.status = ExportOutcome::NoRows;
        return out;
    }
    SeqWriter writer;
    writer.setEncoding(SeqWriter::Encoding::Gb18030);
    if (!writer.open(path, SeqWriter::Mode::Replace, kOwnerOnly)) {
        out.message = fileFailure(writer.error());
        return out;
    }
    if (kind == ExportKind::LogBackup) {
        writer.printLine(kFileHeader);
        writer.printNumber(total);
    }
    db::ChunkedRead read;
    read.columns = columnsOf(kind).join(u',');
    read.table = table;
    read.descending = true;
    read.chunkRows = kind == ExportKind::UploadReport ? kUploadChunk : kExportChunk;
    const int keyIndex = int(columnsOf(kind).indexOf(QStringLiteral("AcTime")));
    bool stopped = false;
    RecordWriter records(writer, kind);
    const auto take = [&](const db::RowBlock& block, std::span<const int> rows) {
        // The stop request is examined after each record, as the window promises.
        for (const int row : rows) {
            note(out.exported, block, row, keyIndex);
            records.add(block, row);
            if (progress)
                progress(out.exported.rows, total);
            if (stop && stop->load()) {
                stopped = true;
                return false;
            }
            if (out.exported.rows >= total)
                return false;
        }
        return records.ok();
    };
    const db::ChunkOutcome chunks = db::readBlocksInChunks(log, read, take);
    if (stopped || !chunks.ok)
        records.cancel();
    else
        records.finish();
    out.rows = out.exported.rows;
    if (stopped) {
        writer.abandon();
        out.status = ExportOutcome::Stopped;
        out.message = QStringLiteral("导出已停止，原有的文件未改变。");
    } else if (!chunks.ok) {
        writer.abandon();
        out.message = dbFailure(QStringLiteral("读取日志时出错，导出未完成，原有的文件未改变。"),
                                chunks.error);
    } else if (writer.failed()) {
        const int error = writer.error();
        writer.abandon();
        out.message = fileFailure(error);
    } else if (out.rows != total) {
        writer.abandon();
        out.message = QStringLiteral("读到的日志记录数（%1）与统计的（%2）不符，导出未完成。")
                          .arg(out.rows)
                          .arg(total);
    } else if (!writer.close()) {
        out.message = fileFailure(writer.error());
    } else {
        out.status = ExportOutcome::Done;
    }
    return out;
}

ConfigExportOutcome exportConfig(db::Connection& config, const QString& path)
{
    ConfigExportOutcome out;
    ready(config);
    config.execute(QStringLiteral("SET SESSION TRANSACTION ISOLATION LEVEL REPEATABLE READ"));
    const bool snapshot = config.beginTransaction();
    db::Recordset users = config.query(QStringLiteral("SELECT * FROM usertable"));
    const bool usersRead = !config.failed();
    db::Recordset groups = config.query(QStringLiteral("SELECT * FROM grouptable"));
    const bool groupsRead = !config.failed();
    const db::Error error = config.lastError();
    if (snapshot)
        config.rollback();
    if (!usersRead || !groupsRead) {
        out.message = dbFailure(QStringLiteral("无法读取配置数据。"), error);
        return out;
    }
    SeqWriter writer;
    writer.setEncoding(SeqWriter::Encoding::Gb18030);
    if (!writer.open(path, SeqWriter::Mode::Replace, kOwnerOnly)) {
        out.message = fileFailure(writer.error());
        return out;
    }
    writer.printLine(kFileHeader);
    const auto writeTable = [&](db::Recordset& rs, const QString& table, int fields, qint64& rows) {
        rows = std::max(rs.recordCount(), 0);
        writer.printNumber(rows);
        for (qint64 row = 1; !rs.eof(); rs.moveNext(), ++row) {
            QString text;
            for (int i = 0; i < std::min(fields, rs.fieldCount()); ++i) {
                const db::Value value = rs.field(i);
                const QString stored = value.toString();
                text += configValueLine(stored);
                const QString written = configValueReadBack(stored);
                if (value.isNull() || written != stored)
                    out.changes << ConfigChange{table,          row,    rs.fieldName(i), stored,
                                                value.isNull(), written};
            }
            writer.print(text);
        }
    };
    writeTable(users, QStringLiteral("usertable"), int(kUserWidths.size()), out.users);
    writeTable(groups, QStringLiteral("grouptable"), groups.fieldCount(), out.groups);
    if (!writer.close()) {
        out.message = fileFailure(writer.error());
        return out;
    }
    out.ok = true;
    return out;
}

QString configChangesText(const QList<ConfigChange>& changes)
{
    // One message box: the first rows, and how many more there are.
    constexpr int kListed = 20;
    // A line break of a value shows as \n, so that each value keeps to its line.
    const auto shown = [](QString v) {
        return v.replace(u'\r', QStringLiteral("\\r")).replace(u'\n', QStringLiteral("\\n"));
    };
    QStringList lines;
    for (const ConfigChange& c : changes.mid(0, kListed)) {
        const QString stored = c.storedNull ? QStringLiteral("空值（NULL）")
                                            : QStringLiteral("“%1”").arg(shown(c.stored));
        lines << QStringLiteral("%1 第 %2 行 %3：数据库中为%4，文件中为“%5”")
                     .arg(c.table)
                     .arg(c.row)
                     .arg(c.column, stored, c.written);
    }
    if (changes.size() > kListed)
        lines << QStringLiteral("……另有 %1 个数值").arg(changes.size() - kListed);
    return lines.join(u'\n');
}

QString configExportedMessage(const ConfigExportOutcome& outcome)
{
    const QString done = doneMessage(ExportKind::Config);
    if (outcome.changes.isEmpty())
        return done;
    return done +
           QStringLiteral("\n以下 %1 个数值无法按原样写入配置文件（配置文件中不能有双引号的"
                          "字段里的双引号、换行和前后的空白，也没有空值），文件中已改写，"
                          "恢复后将是文件中的值：\n")
               .arg(outcome.changes.size()) +
           configChangesText(outcome.changes);
}

ClearOutcome clearExported(db::Connection& log, ExportKind kind, const ExportedRows& exported)
{
    ClearOutcome out;
    const QString table = logTable(kind);
    const QStringList& columns = columnsOf(kind);
    const QString changed =
        QStringLiteral("导出之后日志有了变化，为免删除未导出的记录，数据库未清空。");
    if (!ready(log) || !log.beginTransaction()) {
        out.message = dbFailure(QStringLiteral("无法清空日志。"), log.lastError());
        return out;
    }
    const auto step = [&](const QString& sql, qint64 expected) {
        qint64 affected = 0;
        if (!log.execute(sql, &affected)) {
            out.message =
                dbFailure(QStringLiteral("无法清空日志，数据库未改变。"), log.lastError());
            return false;
        }
        if (affected != expected) {
            out.message = changed;
            return false;
        }
        out.deleted += affected;
        return true;
    };
    bool ok = true;
    if (exported.older() > 0)
        ok = step(
            QStringLiteral("DELETE FROM %1 WHERE AcTime<%2").arg(table, quoted(exported.newestKey)),
            exported.older());
    for (const ExportedRow& row : exported.newest) {
        if (!ok)
            break;
        ok = step(
            QStringLiteral("DELETE FROM %1 WHERE %2 LIMIT 1").arg(table, sameRow(columns, row)), 1);
    }
    if (ok && exported.nullKeys > 0)
        ok = step(QStringLiteral("DELETE FROM %1 WHERE AcTime IS NULL").arg(table),
                  exported.nullKeys);
    if (ok) {
        switch (commitJob(log)) {
        case Commit::Done:
            break;
        case Commit::Unknown:
            out.message =
                unknownOutcome(QStringLiteral("清空日志的"),
                               QStringLiteral("请在连接恢复后查阅日志，看导出的记录是否已经删除。"),
                               log.lastError());
            out.deleted = 0;
            return out;
        case Commit::NotCommitted:
            ok = false;
            out.message =
                dbFailure(QStringLiteral("无法清空日志，数据库未改变。"), log.lastError());
            break;
        }
    }
    if (!ok) {
        log.rollback();
        out.deleted = 0;
        return out;
    }
    out.ok = true;
    return out;
}

} // namespace lt::overseer::archive
