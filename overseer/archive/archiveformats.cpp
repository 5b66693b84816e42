#include "overseer/archive/archiveformats.h"

#include "common/clock.h"
#include "common/gbk.h"
#include "common/seqfile.h"

#include <QFileInfo>
#include <QStringDecoder>
#include <cstring>

namespace lt::overseer::archive
{

namespace
{

constexpr int kCellBytes = 22;
// No line of a backup or configuration file is longer than its widest column (URL, 150
// characters) written in four-byte characters, with its quotes: 602 bytes. A longer line is no
// line of such a file (a binary file, a wrong file); the cap leaves room for blanks a hand
// edited file may hold.
constexpr qint64 kLongestLine = 4096;

QString damaged(const QString& what)
{
    return QStringLiteral("文件已损坏（%1），数据库未改变。").arg(what);
}

std::optional<qint64> countField(SeqReader& reader)
{
    const std::optional<QString> field = reader.readField();
    if (!field || reader.lastInvalid())
        return std::nullopt;
    bool ok = false;
    const qint64 n = field->trimmed().toLongLong(&ok);
    if (!ok || n < 0)
        return std::nullopt;
    return n;
}

// Reads the fields of count rows of widths.size() values each into rows. The columns from
// exactFrom on must be exactly their width (a group's log levels and hour masks).
QString readRows(SeqReader& reader, qint64 count, const QList<int>& widths, const QString& noun,
                 QList<QStringList>& rows, int exactFrom)
{
    for (qint64 i = 1; i <= count; ++i) {
        QStringList row;
        for (int column = 0; column < widths.size(); ++column) {
            const std::optional<QString> field = reader.readField();
            if (!field)
                return damaged(QStringLiteral("第 %1 个%2的数据不全").arg(i).arg(noun));
            // A quoted field may run over a line end: no file the export writes holds one.
            if (reader.lastInvalid() || field->contains(QChar(0)) || field->contains(u'\r') ||
                field->contains(u'\n'))
                return damaged(QStringLiteral("第 %1 个%2含有无效的字符").arg(i).arg(noun));
            const QString value = field->trimmed();
            const int length = characterCount(value);
            if (length > widths[column])
                return damaged(QStringLiteral("第 %1 个%2的第 %3 项超过 %4 个字符")
                                   .arg(i)
                                   .arg(noun)
                                   .arg(column + 1)
                                   .arg(widths[column]));
            if (column >= exactFrom && length != widths[column])
                return damaged(QStringLiteral("第 %1 个%2的第 %3 项不是 %4 个字符")
                                   .arg(i)
                                   .arg(noun)
                                   .arg(column + 1)
                                   .arg(widths[column]));
            row << value;
        }
        rows << row;
    }
    return {};
}

bool onlyBlanksFollow(SeqReader& reader)
{
    while (const std::optional<QByteArray> line = reader.readLineBytes()) {
        if (!line->trimmed().isEmpty())
            return false;
    }
    return true;
}

} // namespace

QString fileValue(const QString& value, bool trim)
{
    if (!value.contains(u'\r') && !value.contains(u'\n'))
        return trim ? value.trimmed() : value;
    QString text = value;
    for (QChar& c : text) {
        if (c == u'\r' || c == u'\n')
            c = u' ';
    }
    return trim ? text.trimmed() : text;
}

int characterCount(const QString& text)
{
    int n = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (!(text[i].isLowSurrogate() && i > 0 && text[i - 1].isHighSurrogate()))
            ++n;
    }
    return n;
}

QString filledCell(const QString& labelled)
{
    const int width = gbk::byteWidthGb18030(labelled);
    return width >= kCellBytes ? labelled : labelled + QString(kCellBytes - width, u' ');
}

QString cell(const QString& labelled)
{
    return filledCell(labelled) + QStringLiteral("  ");
}

QString hyphens()
{
    return QString(100, u'-');
}

QString browseReportRecord(const QStringList& values)
{
    const auto v = [&](int i) { return fileValue(values.value(i)); };
    static const QString crlf = QStringLiteral("\r\n");
    return cell(QStringLiteral("终端：") + v(0)) + cell(QStringLiteral("地址：") + v(1)) +
           QStringLiteral("时间：") + v(2) + crlf + cell(QStringLiteral("组别：") + v(3)) +
           cell(QStringLiteral("类别：") + v(6)) + filledCell(QStringLiteral("结果：") + v(7)) +
           crlf + QStringLiteral("标题：") + fileValue(values.value(4), false) + crlf +
           QStringLiteral("域名：") + fileValue(values.value(5), false) + crlf + hyphens() + crlf;
}

QString uploadReportRecord(const QStringList& values)
{
    const auto v = [&](int i) { return fileValue(values.value(i)); };
    static const QString crlf = QStringLiteral("\r\n");
    return cell(QStringLiteral("发址：") + v(1)) + cell(QStringLiteral("终端：") + v(0)) +
           QStringLiteral("时间：") + v(3) + crlf + QStringLiteral("收址：") +
           fileValue(values.value(2), false) + crlf +
           cell(QStringLiteral("内容：") + fileValue(values.value(4), false)) + crlf + hyphens() +
           crlf;
}

QString backupRecord(const QStringList& values)
{
    QString text;
    appendBackupRecord(text, values);
    return text;
}

namespace
{

// The value that ends text from position `at` becomes a line of a file as fileValue() makes it:
// its line breaks blanks, trimmed, then CR LF. In place, so that a buffer is reused.
void endValueLine(QString& text, qsizetype at)
{
    QChar* begin = text.data() + at;
    QChar* end = text.data() + text.size();
    for (QChar* c = begin; c < end; ++c) {
        if (*c == u'\r' || *c == u'\n')
            *c = u' ';
    }
    const QChar* first = begin;
    while (first < end && first->isSpace())
        ++first;
    const QChar* last = end;
    while (last > first && (last - 1)->isSpace())
        --last;
    if (first != begin)
        std::memmove(begin, first, size_t(last - first) * sizeof(QChar));
    text.resize(at + (last - first));
    text += QLatin1String("\r\n");
}

} // namespace

void appendBackupRecord(QString& text, const QStringList& values)
{
    for (int i = 0; i < kLogColumns.size(); ++i) {
        const qsizetype at = text.size();
        text += values.value(i);
        endValueLine(text, at);
    }
}

QByteArrayView RecordBatch::value(qsizetype record, int column) const
{
    const qsizetype i = record * columns_ + column;
    const qsizetype from = i == 0 ? 0 : ends_[size_t(i - 1)];
    return QByteArrayView(bytes_).sliced(from, ends_[size_t(i)] - from);
}

QStringList RecordBatch::values(qsizetype record) const
{
    QStringList values;
    for (int c = 0; c < columns_; ++c)
        values << QString::fromUtf8(value(record, c));
    return values;
}

void appendBackupRecords(QString& text, const RecordBatch& batch)
{
    // UTF-16 takes no more units than UTF-8 takes bytes; each value adds its CR LF.
    text.reserve(text.size() + batch.bytes() + batch.records() * batch.columns() * 2);
    QStringDecoder utf8(QStringDecoder::Utf8, QStringConverter::Flag::Stateless);
    for (qsizetype r = 0; r < batch.records(); ++r) {
        for (int c = 0; c < kLogColumns.size(); ++c) {
            const QByteArrayView value = c < batch.columns() ? batch.value(r, c) : QByteArrayView();
            const qsizetype at = text.size();
            text.resize(at + value.size());
            const QChar* end = utf8.appendToBuffer(text.data() + at, value);
            text.resize(end - text.constData());
            endValueLine(text, at);
        }
    }
}

QString configValueLine(const QString& value)
{
    QString text = fileValue(value);
    if (text.contains(u',') || text.startsWith(u'"'))
        text = u'"' + text.replace(u'"', u'\'') + u'"';
    return text + QStringLiteral("\r\n");
}

QString configValueReadBack(const QString& value)
{
    // Read as the restore reads the file: field by field, each trimmed.
    SeqReader reader(gbk::encodeGb18030(configValueLine(value)));
    reader.setEncoding(SeqEncoding::Gb18030);
    return reader.readField().value_or(QString()).trimmed();
}

ConfigData readConfig(SeqReader& reader)
{
    ConfigData data;
    const std::optional<QString> header = reader.readField();
    if (!header || header->trimmed() != kFileHeader) {
        data.message = QStringLiteral("不是配置文件");
        return data;
    }
    const std::optional<qint64> users = countField(reader);
    if (!users) {
        data.message = damaged(QStringLiteral("终端数不是数字"));
        return data;
    }
    data.message =
        readRows(reader, *users, kUserWidths, QStringLiteral("终端"), data.users, INT_MAX);
    if (!data.ok())
        return data;
    const std::optional<qint64> groups = countField(reader);
    if (!groups) {
        data.message = damaged(QStringLiteral("组别数不是数字"));
        return data;
    }
    data.message = readRows(reader, *groups, kGroupWidths, QStringLiteral("组别"), data.groups, 1);
    if (data.ok() && !onlyBlanksFollow(reader))
        data.message = damaged(QStringLiteral("最后一个组别之后还有数据"));
    if (data.ok() && reader.readError())
        data.message = damaged(QStringLiteral("文件读取出错"));
    return data;
}

QString restoreFileProblem(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return QStringLiteral("文件 %1 不存在。").arg(path);
    if (!info.isFile())
        return QStringLiteral("%1 不是普通文件（而是文件夹、设备或管道），不能用来恢复。")
            .arg(path);
    return {};
}

qint64 firstLongLine(const QString& path, qint64 lines)
{
    SeqReader reader;
    if (!reader.open(path))
        return -1;
    for (qint64 i = 0; lines < 0 || i < lines; ++i) {
        const qint64 length = reader.skipLine(kLongestLine);
        if (length < 0)
            return -1;
        if (length > kLongestLine)
            return i;
    }
    return -1;
}

BackupHeader readBackupHeader(SeqReader& reader)
{
    BackupHeader header;
    const std::optional<QString> first = reader.readField();
    if (!first || first->trimmed() != kFileHeader) {
        header.message = QStringLiteral("日志备份文件");
        return header;
    }
    const std::optional<qint64> records = countField(reader);
    if (!records)
        header.message = damaged(QStringLiteral("记录数不是数字"));
    else
        header.records = *records;
    return header;
}

QString checkBackupBody(SeqReader& reader, qint64 records)
{
    for (qint64 record = 0; record < records; ++record) {
        for (int line = 0; line < kLogColumns.size(); ++line) {
            const qint64 length = reader.skipLine(kLongestLine);
            if (length < 0)
                return damaged(
                    QStringLiteral("文件声明 %1 条记录，只有 %2 条完整").arg(records).arg(record));
            if (length > kLongestLine)
                return damaged(QStringLiteral("第 %1 条记录有过长的行").arg(record + 1));
        }
    }
    qint64 length = 0;
    while ((length = reader.skipLine(kLongestLine)) >= 0) {
        if (length > 0)
            return damaged(QStringLiteral("文件中的记录多于声明的 %1 条").arg(records));
    }
    if (reader.readError())
        return damaged(QStringLiteral("文件读取出错"));
    return {};
}

std::optional<QStringList> readBackupRecord(SeqReader& reader, bool* invalid)
{
    QStringList values;
    for (int i = 0; i < kLogColumns.size(); ++i) {
        const std::optional<QString> line = reader.readLine();
        if (!line)
            return std::nullopt;
        if (reader.lastInvalid() && invalid)
            *invalid = true;
        values << *line;
    }
    return values;
}

QString backupRecordFault(const QStringList& values)
{
    for (int i = 0; i < kLogColumns.size(); ++i) {
        const QString& value = values.value(i);
        if (kLogWidths[i] == 0) {
            bool ok = value.trimmed().isEmpty();
            if (!ok)
                value.trimmed().toInt(&ok);
            if (!ok)
                return QStringLiteral("%1 不是数字").arg(kLogColumns[i]);
        } else if (characterCount(value) > kLogWidths[i]) {
            return QStringLiteral("%1 超过 %2 个字符").arg(kLogColumns[i]).arg(kLogWidths[i]);
        } else if (value.contains(QChar(0))) {
            return QStringLiteral("%1 含有空字符").arg(kLogColumns[i]);
        }
    }
    return {};
}

DeletionRange deletionRange(QDate startDate, QTime startTime, QDate endDate, QTime endTime)
{
    DeletionRange range;
    range.endDate = startDate == endDate ? endDate.addDays(1) : endDate;
    if (range.endDate > lastStampDate()) {
        // The next day's stamp would read "00-01-01", before every other stamp.
        range.endDate = lastStampDate();
        endTime = QTime(23, 59, 59);
    }
    range.start = acTime(QDateTime(startDate, startTime));
    range.end = acTime(QDateTime(range.endDate, endTime));
    range.reversed = QDateTime(startDate, startTime) > QDateTime(range.endDate, endTime);
    return range;
}

QStringList deletionStatements(bool browseLog, bool uploadLog, const DeletionRange& range)
{
    QStringList statements;
    const QString where = QStringLiteral(" WHERE AcTime>='") + range.start +
                          QStringLiteral("' AND AcTime<='") + range.end + u'\'';
    if (browseLog)
        statements << QStringLiteral("DELETE FROM logtable") + where;
    if (uploadLog)
        statements << QStringLiteral("DELETE FROM upsendtable") + where;
    return statements;
}

} // namespace lt::overseer::archive
