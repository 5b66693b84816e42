#include "provisioner/adapters.h"

#include "common/gbk.h"
#include "common/netinfo.h"
#include "common/sharedfiles.h"

namespace lt::prov
{

namespace
{

// 1-based position of needle in text at or after the 1-based position from; 0 when absent.
int positionOf(const QString& text, QStringView needle, int from)
{
    const qsizetype at = text.indexOf(needle, qsizetype(from) - 1);
    return at < 0 ? 0 : int(at) + 1;
}

// The buffer as UTF-16 text in lower case, one character for every two bytes (a case change
// never alters the length, so positions stay those of the buffer).
QString lowerCaseText(const QByteArray& buffer)
{
    const qsizetype n = buffer.size() / 2;
    QString text(n, Qt::Uninitialized);
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t unit = char16_t(uchar(buffer[2 * i]) | (uchar(buffer[2 * i + 1]) << 8));
        text[i] = QChar(QChar::toLower(unit));
    }
    return text;
}

// Characters up to and including the "}" that closes the last adapter name; 0 when no name was
// found. A name whose closing brace is missing ends the search there, with nothing found.
int endOfNames(const QString& lower)
{
    int p = positionOf(lower, u"device", 1);
    int q = 0;
    while (p > 0) {
        q = positionOf(lower, u"}", p);
        if (q == 0)
            break;
        p = positionOf(lower, u"device", q);
    }
    return q;
}

} // namespace

QByteArray readAdapterBuffer()
{
    QByteArray buffer(kAdapterBufferBytes, '\0');
    quint32 size = kAdapterBufferSize;
    net::PacketGetAdapterNames(buffer.data(), &size); // what it answers is not needed
    return buffer;
}

QStringList adapterDescriptions(const QByteArray& buffer)
{
    const QString lower = lowerCaseText(buffer);
    const qsizetype q = endOfNames(lower);
    const QByteArray rest = buffer.mid(2 * q, 2 * (lower.size() - q));
    QStringList entries;
    qsizetype i = 0;
    while (i < rest.size()) {
        if (rest[i] == '\0') {
            ++i;
            continue;
        }
        qsizetype end = i;
        while (end < rest.size() && rest[end] != '\0')
            ++end;
        if (end - i != 1)
            entries << gbk::decode(QByteArrayView(rest).sliced(i, end - i));
        i = end;
    }
    return entries;
}

bool writeAdapterChoice(int index)
{
    return writeLocalPortDigits(localPortPath(), QString::number(index + 1));
}

} // namespace lt::prov
