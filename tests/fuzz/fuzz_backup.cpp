// The log backup (.bak) as the restore reads it: the header check, the check of the whole body
// (with lines capped at what a record can hold), the record reader and the check of each record
// against logtable's columns, GB18030. Beyond not crashing: a file that passes yields exactly
// the records it announces, no value holding a line break; and the records written again by
// the backup's writer read back as that writer keeps them (trimmed), in the same order.

#include "common/gbk.h"
#include "common/seqfile.h"
#include "overseer/archive/archiveformats.h"
#include "tests/fuzz/fuzzsupport.h"

using namespace lt;
using namespace lt::overseer::archive;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes = fuzz::bytesOf(data, size);
    SeqReader check(bytes);
    check.setEncoding(SeqEncoding::Gb18030);
    const BackupHeader header = readBackupHeader(check);
    if (!header.ok())
        return 0;
    FUZZ_CHECK(header.records >= 0);
    if (!checkBackupBody(check, header.records).isEmpty())
        return 0;

    SeqReader reader(bytes);
    reader.setEncoding(SeqEncoding::Gb18030);
    FUZZ_CHECK(readBackupHeader(reader).records == header.records);
    QString again = kFileHeader + QStringLiteral("\r\n") +
                    QString::fromLatin1(SeqWriter::numberText(header.records)) +
                    QStringLiteral("\r\n");
    QList<QStringList> expected;
    bool damaged = false;
    for (qint64 i = 0; i < header.records; ++i) {
        bool invalid = false;
        const std::optional<QStringList> record = readBackupRecord(reader, &invalid);
        FUZZ_CHECK(record && record->size() == kLogColumns.size());
        damaged = damaged || invalid;
        QStringList kept;
        for (const QString& v : *record) {
            FUZZ_CHECK(!v.contains(u'\r') && !v.contains(u'\n'));
            kept << v.trimmed();
        }
        backupRecordFault(*record);
        appendBackupRecord(again, *record);
        expected << kept;
    }
    if (damaged)
        return 0; // the restore refuses the file
    SeqReader back(gbk::encodeGb18030(again));
    back.setEncoding(SeqEncoding::Gb18030);
    FUZZ_CHECK(readBackupHeader(back).records == header.records);
    FUZZ_CHECK(checkBackupBody(back, header.records).isEmpty());
    SeqReader records(gbk::encodeGb18030(again));
    records.setEncoding(SeqEncoding::Gb18030);
    readBackupHeader(records);
    for (const QStringList& values : expected) {
        bool invalid = false;
        FUZZ_CHECK(readBackupRecord(records, &invalid) == values);
        FUZZ_CHECK(!invalid);
    }
    return 0;
}
