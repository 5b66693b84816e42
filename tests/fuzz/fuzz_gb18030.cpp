// The GB18030 reader and writer of the log backups and the configuration files. Beyond not
// crashing: bytes the strict reader takes as text are written back byte for byte, the lenient
// reader reads the same text, and any text (the input read as UTF-16, lone surrogates left
// out) is written and read back whole: by the converter, and by the file writer and reader as
// a line and as a number.

#include "common/gbk.h"
#include "common/seqfile.h"
#include "tests/fuzz/fuzzsupport.h"

#include <algorithm>
#include <cstring>

using namespace lt;

namespace
{

// The input as UTF-16 code units, without the halves of pairs that stand alone (no encoding
// holds those: the writer puts "?" for them, as its header says).
QString textOf(const QByteArray& bytes)
{
    QString raw(bytes.size() / 2, Qt::Uninitialized);
    std::memcpy(raw.data(), bytes.constData(), size_t(raw.size()) * 2);
    QString text;
    for (qsizetype i = 0; i < raw.size(); ++i) {
        const QChar c = raw[i];
        if (c.isHighSurrogate() && i + 1 < raw.size() && raw[i + 1].isLowSurrogate()) {
            text += c;
            text += raw[++i];
        } else if (!c.isSurrogate()) {
            text += c;
        }
    }
    return text;
}

void fileRoundTrip(const QString& line, qint64 number)
{
    const QString path = Installation::appDir() + QStringLiteral("/round.txt");
    SeqWriter writer;
    writer.setEncoding(SeqEncoding::Gb18030);
    // Written in place: the replacing writer's flushes to the disk would leave the fuzzer a few
    // inputs a second; what reaches the file is the same.
    FUZZ_CHECK(writer.open(path));
    writer.printLine(line);
    writer.printNumber(number);
    FUZZ_CHECK(writer.close());
    SeqReader reader;
    reader.setEncoding(SeqEncoding::Gb18030);
    FUZZ_CHECK(reader.open(path));
    FUZZ_CHECK(reader.readLine() == line);
    FUZZ_CHECK(!reader.lastInvalid());
    const std::optional<QString> field = reader.readField();
    FUZZ_CHECK(field && field->trimmed().toLongLong() == number);
    FUZZ_CHECK(reader.atEnd());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::useScratchInstallation();
    const QByteArray bytes = fuzz::bytesOf(data, size);
    const gbk::Decoded strict = gbk::decodeStrictGb18030(bytes);
    FUZZ_CHECK(strict.text == gbk::decodeGb18030(bytes));
    FUZZ_CHECK(strict.valid() || strict.invalidAt < bytes.size());
    if (strict.valid())
        FUZZ_CHECK(gbk::encodeGb18030(strict.text) == bytes);

    const QString text = textOf(bytes);
    const QByteArray written = gbk::encodeGb18030(text);
    FUZZ_CHECK(gbk::decodeStrictGb18030(written).valid());
    FUZZ_CHECK(gbk::decodeGb18030(written) == text);
    FUZZ_CHECK(gbk::byteWidthGb18030(text) == written.size());
    // A character GBK holds keeps its GBK bytes, so a GBK reader reads such text as before.
    // Private-use characters are the exception: GBK's table gives some of them codes that
    // GB18030 uses for real characters, and GB18030 writes them in four bytes of their own.
    const bool privateUse = std::any_of(text.begin(), text.end(), [](QChar c) {
        return c.unicode() >= 0xE000 && c.unicode() <= 0xF8FF;
    });
    if (gbk::unencodableAt(text) < 0 && !privateUse)
        FUZZ_CHECK(written == gbk::encode(text));

    QString line = text;
    line.replace(u'\r', u' ').replace(u'\n', u' ');
    qint64 number = 0;
    std::memcpy(&number, bytes.constData(), std::min<size_t>(size, sizeof number));
    if (number == std::numeric_limits<qint64>::min())
        number = 0; // the runtime's print has no such number
    fileRoundTrip(line, number);
    return 0;
}
