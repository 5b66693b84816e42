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
    QStringDecoder& d = decoder();
    QString decoded = d.decode(bytes);
    const bool ok = !d.hasError() && !bytes.contains(char(0xFF)) && encode(decoded) == bytes;
    if (text)
        *text = std::move(decoded);
    return ok;
}

// The encoding of text, and whether every character of it had one.
QByteArray encodeChecked(QStringView text, bool& ok)
{
    QStringEncoder& e = encoder();
    QByteArray bytes = e.encode(text);
    ok = !e.hasError();
    return bytes;
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
    bool ok = false;
    const QByteArray bytes = encodeChecked(text, ok);
    if (ok && decode(bytes) == text)
        return -1;
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype len = characterLength(text, i);
        const QStringView one = text.mid(i, len);
        const QByteArray b = encodeChecked(one, ok);
        if (!ok || decode(b) != one)
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
