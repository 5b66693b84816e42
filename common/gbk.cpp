#include "common/gbk.h"

#include <QHash>
#include <QStringDecoder>
#include <QStringEncoder>
#include <algorithm>
#include <cstring>
#include <vector>

namespace lt::gbk
{

namespace
{

// The converters are made once per thread: opening one costs more than converting a field.
QStringDecoder& decoder()
{
    thread_local QStringDecoder d("GBK", QStringConverter::Flag::Stateless);
    d.resetState();
    return d;
}

QStringEncoder& encoder()
{
    thread_local QStringEncoder e("GBK", QStringConverter::Flag::Stateless);
    e.resetState();
    return e;
}

QStringDecoder& decoder18030()
{
    thread_local QStringDecoder d("GB18030", QStringConverter::Flag::Stateless);
    d.resetState();
    return d;
}

QStringEncoder& encoder18030()
{
    thread_local QStringEncoder e("GB18030", QStringConverter::Flag::Stateless);
    e.resetState();
    return e;
}

// Two-byte codes that GBK reads as private-use characters where GB18030 has since given real
// characters that GBK lacks (the ideographic description characters, CJK radicals, "ḿ" ...):
// the private-use character of each such code and the real one. GB18030 writes the real
// character under the code and the private-use one as four bytes, so a GB18030 file reads the
// code as the real character. Taken from the two converters themselves.
const QHash<char16_t, char16_t>& reassigned()
{
    static const QHash<char16_t, char16_t> table = [] {
        QHash<char16_t, char16_t> t;
        QStringDecoder gbk("GBK", QStringConverter::Flag::Stateless);
        QStringDecoder gb18030("GB18030", QStringConverter::Flag::Stateless);
        QStringEncoder gbkOut("GBK", QStringConverter::Flag::Stateless);
        for (int lead = 0x81; lead <= 0xFE; ++lead) {
            for (int trail = 0x40; trail <= 0xFE; ++trail) {
                const char two[2] = {char(lead), char(trail)};
                const QString old = gbk.decode(QByteArrayView(two, 2));
                const QString now = gb18030.decode(QByteArrayView(two, 2));
                if (old.size() == 1 && now.size() == 1 && old != now &&
                    old[0].category() == QChar::Other_PrivateUse &&
                    gbk.decode(QByteArray(gbkOut.encode(now))) != now)
                    t.insert(old[0].unicode(), now[0].unicode());
            }
        }
        return t;
    }();
    return table;
}

bool mayBeReassigned(QChar c)
{
    return c.unicode() >= 0xE000 && c.unicode() <= 0xF8FF && reassigned().contains(c.unicode());
}

// GBK text of a GB18030 file: the reassigned codes read as their real characters.
QString realCharacters(QString text)
{
    for (QChar& c : text) {
        if (mayBeReassigned(c))
            c = QChar(reassigned().value(c.unicode()));
    }
    return text;
}

bool between(char c, int low, int high)
{
    return uchar(c) >= low && uchar(c) <= high;
}

bool leadByte(char c)
{
    return between(c, 0x81, 0xFE);
}

// A four-byte GB18030 sequence starts at i: lead, digit, lead, digit.
bool fourBytesAt(QByteArrayView bytes, qsizetype i)
{
    return i + 3 < bytes.size() && leadByte(bytes[i]) && between(bytes[i + 1], 0x30, 0x39) &&
           leadByte(bytes[i + 2]) && between(bytes[i + 3], 0x30, 0x39);
}

// Whether a lead byte is followed by a digit anywhere, stepping character by character as
// GBK does: only then can the bytes hold a four-byte sequence. GBK text never does.
bool mayHoldFourBytes(QByteArrayView bytes)
{
    for (qsizetype i = 0; i < bytes.size();) {
        if (!leadByte(bytes[i])) {
            ++i;
            continue;
        }
        if (i + 1 < bytes.size() && between(bytes[i + 1], 0x30, 0x39))
            return true;
        i += 2;
    }
    return false;
}

bool isAscii(QByteArrayView bytes)
{
    for (const char c : bytes) {
        if (uchar(c) >= 0x80)
            return false;
    }
    return true;
}

// True when bytes are whole GBK characters that read back as written. 0xFF is neither a lead
// nor a trail byte of GBK, although the converter maps it to a private-use character.
bool exactBytes(QByteArrayView bytes, QString* text = nullptr)
{
    if (isAscii(bytes)) {
        if (text)
            *text = QString::fromLatin1(bytes);
        return true;
    }
    // Whatever the converter could not take (replaced by U+FFFD, or a lead byte at the end
    // left out) makes the bytes written back differ. Its error flag is no help: Qt 6.4 keeps it
    // set across resetState().
    QString decoded = decoder().decode(bytes);
    const bool ok = !bytes.contains(char(0xFF)) && encode(decoded) == bytes;
    if (text)
        *text = std::move(decoded);
    return ok;
}

// What encodeGb18030 writes for each character of the Basic Multilingual Plane that GBK holds
// exactly (it reads back as itself, is not one of the reassigned codes, has no byte 0xFF): its
// GBK code, one byte (below 0x100) or two (lead byte high); 0 for every other character. Made
// once (some 30 ms), so that a text costs a look-up per character instead of a conversion and
// a check by decoding it back.
std::vector<quint16> gbkCodes()
{
    QStringEncoder gbkOut("GBK", QStringConverter::Flag::Stateless);
    QStringDecoder gbkIn("GBK", QStringConverter::Flag::Stateless);
    std::vector<quint16> codes(0x10000, 0);
    for (char32_t u = 0x80; u <= 0xFFFF; ++u) {
        const QChar c{char16_t(u)};
        if (c.isSurrogate() || mayBeReassigned(c))
            continue;
        const QByteArray bytes = gbkOut.encode(QStringView(&c, 1));
        const QString back = gbkIn.decode(bytes);
        if (back.size() != 1 || back[0] != c || bytes.contains(char(0xFF)))
            continue;
        if (bytes.size() == 1)
            codes[u] = uchar(bytes[0]);
        else if (bytes.size() == 2)
            codes[u] = quint16(uchar(bytes[0]) << 8 | uchar(bytes[1]));
    }
    return codes;
}

const std::vector<quint16>& gbkCode()
{
    static const std::vector<quint16> codes = gbkCodes();
    return codes;
}

qsizetype characterLength(QStringView text, qsizetype i)
{
    return text[i].isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
}

Decoded gbkStrict(QByteArrayView bytes)
{
    Decoded out;
    if (exactBytes(bytes, &out.text))
        return out;
    // Only damaged input gets here: find the first sequence that is not one whole character.
    qsizetype i = 0;
    while (i < bytes.size()) {
        if (uchar(bytes[i]) < 0x80) {
            ++i;
        } else if (i + 1 < bytes.size() && exactBytes(bytes.sliced(i, 2))) {
            i += 2;
        } else if (exactBytes(bytes.sliced(i, 1))) {
            ++i;
        } else {
            break;
        }
    }
    out.invalidAt = std::min(i, bytes.size() - 1);
    return out;
}

// Text of GBK runs between four-byte GB18030 sequences; each run is judged as GBK text.
Decoded mixedStrict(QByteArrayView bytes)
{
    Decoded out;
    qsizetype runStart = 0;
    const auto endRun = [&](qsizetype end) {
        if (end <= runStart)
            return;
        Decoded run = gbkStrict(bytes.sliced(runStart, end - runStart));
        if (!run.valid() && out.valid())
            out.invalidAt = runStart + run.invalidAt;
        out.text += realCharacters(std::move(run.text));
    };
    qsizetype i = 0;
    while (i < bytes.size()) {
        if (!fourBytesAt(bytes, i)) {
            i += leadByte(bytes[i]) && i + 1 < bytes.size() ? 2 : 1;
            continue;
        }
        const QByteArrayView four = bytes.sliced(i, 4);
        // A sequence the converter cannot take reads as U+FFFD, whose own four bytes differ.
        const QString one = decoder18030().decode(four);
        if (QByteArray(encoder18030().encode(one)) != four) {
            i += 2; // not a character: the GBK judgement of the run says so
            continue;
        }
        endRun(i);
        out.text += one;
        i += 4;
        runStart = i;
    }
    endRun(bytes.size());
    return out;
}

} // namespace

QByteArray encode(QStringView text)
{
    return encoder().encode(text);
}

QString decode(QByteArrayView bytes)
{
    return decoder().decode(bytes);
}

QString decodeGb18030(QByteArrayView bytes)
{
    if (mayHoldFourBytes(bytes))
        return mixedStrict(bytes).text;
    return realCharacters(decoder().decode(bytes));
}

QByteArray encodeGb18030(QStringView text)
{
    QByteArray bytes;
    appendGb18030(bytes, text);
    return bytes;
}

void appendGb18030(QByteArray& bytes, QStringView text)
{
    qsizetype at = bytes.size();
    bytes.resize(at + text.size() * 2); // two bytes a character; a four-byte one grows it
    char* out = bytes.data();
    for (qsizetype i = 0; i < text.size();) {
        const char16_t c = text[i].unicode();
        if (c < 0x80) {
            out[at++] = char(c);
            ++i;
            continue;
        }
        const quint16 code = QChar::isSurrogate(c) ? 0 : gbkCode()[c];
        if (code >= 0x100) {
            out[at++] = char(code >> 8);
            out[at++] = char(code);
            ++i;
        } else if (code != 0) {
            out[at++] = char(code);
            ++i;
        } else {
            // Outside GBK (or a lone surrogate, which becomes "?"): GB18030's own bytes.
            const qsizetype len = characterLength(text, i);
            const QByteArray four = encoder18030().encode(text.mid(i, len));
            i += len;
            bytes.resize(at + four.size() + (text.size() - i) * 2);
            out = bytes.data();
            std::memcpy(out + at, four.constData(), size_t(four.size()));
            at += four.size();
        }
    }
    bytes.resize(at);
}

Decoded decodeStrict(QByteArrayView bytes)
{
    return gbkStrict(bytes);
}

Decoded decodeStrictGb18030(QByteArrayView bytes)
{
    if (mayHoldFourBytes(bytes))
        return mixedStrict(bytes);
    Decoded out = gbkStrict(bytes);
    out.text = realCharacters(std::move(out.text));
    return out;
}

qsizetype unencodableAt(QStringView text)
{
    // A character without a GBK code is written as "?", which reads back as another one.
    if (decode(encode(text)) == text)
        return -1;
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype len = characterLength(text, i);
        const QStringView one = text.mid(i, len);
        if (decode(encode(one)) != one)
            return i;
        i += len;
    }
    return -1; // each character fits; only their sequence did not read back (not seen in GBK)
}

int byteWidth(QStringView text)
{
    return int(encode(text).size());
}

int byteWidthGb18030(QStringView text)
{
    return int(encodeGb18030(text).size());
}

QString leftBytes(QStringView text, int bytes)
{
    int width = 0;
    qsizetype i = 0;
    while (i < text.size()) {
        const qsizetype len = characterLength(text, i);
        const int w = byteWidth(text.mid(i, len));
        if (width + w > bytes)
            break;
        width += w;
        i += len;
    }
    return text.left(i).toString();
}

} // namespace lt::gbk
