#include "common/gbk.h"

#include <QStringDecoder>
#include <QStringEncoder>

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

qsizetype characterLength(QStringView text, qsizetype i)
{
    return text[i].isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
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

Decoded decodeStrict(QByteArrayView bytes)
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
