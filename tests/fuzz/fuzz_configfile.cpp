// The configuration file (.cfg) as the restore reads it: header, counts and fields, GB18030.
// Beyond not crashing: a file that passes gives values within their columns' widths (a group's
// log levels and masks exactly), none holding a damaged byte, a NUL or a line break; and the
// file the export writes of those values is read back value for value as configValueReadBack
// says, which is how the export tells the administrator what it could not keep.

#include "common/gbk.h"
#include "common/seqfile.h"
#include "overseer/archive/archiveformats.h"
#include "tests/fuzz/fuzzsupport.h"

using namespace lt;
using namespace lt::overseer::archive;

namespace
{

void checkRows(const QList<QStringList>& rows, const QList<int>& widths, int exactFrom)
{
    for (const QStringList& row : rows) {
        FUZZ_CHECK(row.size() == widths.size());
        for (int i = 0; i < row.size(); ++i) {
            const QString& v = row[i];
            FUZZ_CHECK(characterCount(v) <= widths[i]);
            FUZZ_CHECK(i < exactFrom || characterCount(v) == widths[i]);
            FUZZ_CHECK(!v.contains(QChar(0)) && !v.contains(u'\r') && !v.contains(u'\n'));
            FUZZ_CHECK(v == v.trimmed());
        }
    }
}

QString written(const QList<QStringList>& rows)
{
    QString text = QString::fromLatin1(SeqWriter::numberText(rows.size())) + QStringLiteral("\r\n");
    for (const QStringList& row : rows) {
        for (const QString& v : row)
            text += configValueLine(v);
    }
    return text;
}

QList<QStringList> readBack(QList<QStringList> rows)
{
    for (QStringList& row : rows) {
        for (QString& v : row)
            v = configValueReadBack(v);
    }
    return rows;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    SeqReader reader(fuzz::bytesOf(data, size));
    reader.setEncoding(SeqEncoding::Gb18030);
    const ConfigData config = readConfig(reader);
    if (!config.ok())
        return 0;
    checkRows(config.users, kUserWidths, INT_MAX);
    checkRows(config.groups, kGroupWidths, 1);

    const QString text =
        kFileHeader + QStringLiteral("\r\n") + written(config.users) + written(config.groups);
    SeqReader again(gbk::encodeGb18030(text));
    again.setEncoding(SeqEncoding::Gb18030);
    const ConfigData back = readConfig(again);
    FUZZ_CHECK(back.ok());
    FUZZ_CHECK(back.users == readBack(config.users));
    FUZZ_CHECK(back.groups == readBack(config.groups));
    return 0;
}
