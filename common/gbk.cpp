#include "common/gbk.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace lt::gbk
{

QByteArray encode(QStringView text)
{
    QStringEncoder encoder("GBK");
    return encoder.encode(text);
}

QString decode(QByteArrayView bytes)
{
    QStringDecoder decoder("GBK");
    return decoder.decode(bytes);
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
        const qsizetype len = text[i].isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        const int w = byteWidth(text.mid(i, len));
        if (width + w > bytes)
            break;
        width += w;
        i += len;
    }
    return text.left(i).toString();
}

} // namespace lt::gbk
