#include "common/blacklist.h"

#include "common/gbk.h"
#include "common/seqfile.h"

#include <QFile>
#include <QFileInfo>

namespace lt::blacklist
{

namespace
{

// The count is read into a 16-bit number: what does not fit, or is not a number, counts 0.
int countOf(const QString& field)
{
    bool ok = false;
    const double value = field.trimmed().toDouble(&ok);
    if (!ok || !(value >= -32768.5 && value <= 32767.5)) // "nan" compares false both ways
        return 0;
    return int(qRound(value));
}

bool needsQuotes(const QString& value)
{
    return value.contains(u',') || value.startsWith(u'"');
}

// A value as a report shows it: control characters (NUL and line breaks among them) as blanks,
// and no longer than 60 bytes.
QString printable(QString value)
{
    for (QChar& c : value) {
        if (c.category() == QChar::Other_Control)
            c = u' ';
    }
    return gbk::leftBytes(value, 60);
}

// The delimited fields of one line: a final comma is followed by one more, empty field.
struct LineFields {
    QStringList values;
    bool invalid = false; // bytes that are not GBK text
};

LineFields fieldsOf(const QByteArray& line)
{
    SeqReader reader(line);
    LineFields out;
    for (;;) {
        const std::optional<QString> field = reader.readField();
        if (!field) {
            out.values << QString(); // an empty line, or nothing after a final comma
            break;
        }
        out.values << *field;
        out.invalid = out.invalid || reader.lastInvalid();
        if (!reader.endedAtComma())
            break;
    }
    return out;
}

// Reads the records of a file line by line, each line split into its fields.
class RecordReader
{
public:
    RecordReader(SeqReader& reader, const QString& fileName) : reader_(reader), file_(fileName) {}

    // Reads record number (1-based): taken into contents, or named in its problems. False
    // when the file ends before the record is complete.
    bool next(int number, Contents& contents)
    {
        const int firstLine = line_ + 1;
        std::vector<LineFields> lines;
        if (!take(lines))
            return false;
        const bool oneLine = lines[0].values.size() == 3; // the older form: all on one line
        if (!oneLine && !(take(lines) && take(lines)))
            return false;
        QStringList values;
        QString why;
        for (size_t i = 0; i < lines.size(); ++i) {
            const LineFields& l = lines[i];
            if (why.isEmpty() && !oneLine && l.values.size() != 1)
                why = QStringLiteral("第%1行含有%2个字段，应为1个")
                          .arg(firstLine + int(i))
                          .arg(l.values.size());
            else if (why.isEmpty() && l.invalid)
                why = QStringLiteral("第%1行含有无效的GBK字符").arg(firstLine + int(i));
            values << l.values;
        }
        for (const QString& v : std::as_const(values)) {
            if (why.isEmpty() && v.contains(QChar(0)))
                why = QStringLiteral("含有NUL字符");
        }
        if (why.isEmpty()) {
            contents.records.push_back({values[0], values[1], values[2]});
            return true;
        }
        contents.problems << QStringLiteral("%1 第%2条记录（第%3行，域名“%4”）：%5，未导入")
                                 .arg(file_)
                                 .arg(number)
                                 .arg(firstLine)
                                 .arg(printable(values.value(0)), why);
        return true;
    }

private:
    bool take(std::vector<LineFields>& lines)
    {
        const std::optional<QByteArray> bytes = reader_.readLineBytes();
        if (!bytes)
            return false;
        ++line_;
        lines.push_back(fieldsOf(*bytes));
        return true;
    }

    SeqReader& reader_;
    QString file_;
    int line_ = 1; // the count line has been read
};

} // namespace

Contents parse(const QByteArray& bytes, const QString& fileName)
{
    SeqReader reader(bytes);
    Contents contents;
    const QByteArray countLine = reader.readLineBytes().value_or(QByteArray());
    contents.declaredCount = countOf(fieldsOf(countLine).values.value(0));
    RecordReader records(reader, fileName);
    for (int i = 1; i <= contents.declaredCount; ++i) {
        if (!records.next(i, contents)) {
            contents.problems << QStringLiteral("%1 第1行的记录数为%2，文件在第%3条记录处结束")
                                     .arg(fileName)
                                     .arg(contents.declaredCount)
                                     .arg(i);
            break;
        }
    }
    return contents;
}

std::optional<Contents> read(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return parse(file.readAll(), QFileInfo(path).fileName());
}

QString unwritableReason(const QString& trimmed)
{
    if (trimmed.contains(u'\r') || trimmed.contains(u'\n'))
        return QStringLiteral("含有换行符");
    if (trimmed.contains(QChar(0)))
        return QStringLiteral("含有NUL字符");
    const qsizetype bad = gbk::unencodableAt(trimmed);
    if (bad >= 0) {
        const qsizetype len = trimmed[bad].isHighSurrogate() && bad + 1 < trimmed.size() ? 2 : 1;
        return QStringLiteral("含有GBK以外的字符“%1”").arg(trimmed.mid(bad, len));
    }
    if (trimmed.startsWith(u'"'))
        return QStringLiteral("以双引号开头");
    if (needsQuotes(trimmed) && trimmed.contains(u'"'))
        return QStringLiteral("同时含有逗号和双引号");
    return {};
}

QByteArray format(const std::vector<Record>& records, QStringList* refused)
{
    QByteArray lines;
    int written = 0;
    int number = 0;
    for (const Record& r : records) {
        ++number;
        const QStringList values{r.domain.trimmed(), r.title.trimmed(), r.className.trimmed()};
        static const QString kNames[] = {QStringLiteral("域名"), QStringLiteral("标题"),
                                         QStringLiteral("类别")};
        QString why;
        for (int i = 0; i < 3 && why.isEmpty(); ++i) {
            const QString reason = unwritableReason(values[i]);
            if (!reason.isEmpty())
                why = kNames[i] + reason;
        }
        if (!why.isEmpty()) {
            if (refused)
                *refused << QStringLiteral("第%1条记录（域名“%2”）：%3，未写入")
                                .arg(number)
                                .arg(printable(values[0]), why);
            continue;
        }
        for (const QString& v : values)
            lines += gbk::encode(needsQuotes(v) ? u'"' + v + u'"' : v) + "\r\n";
        ++written;
    }
    return SeqWriter::numberText(written) + "\r\n" + lines;
}

bool write(const QString& path, const std::vector<Record>& records, QStringList* refused)
{
    return replaceFile(path, format(records, refused));
}

} // namespace lt::blacklist
