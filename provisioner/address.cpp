#include "provisioner/address.h"

#include <QStringList>

namespace lt::prov
{

namespace
{

bool isAddressNumber(const QString& text, int* value)
{
    const QString t = text.trimmed();
    if (t.isEmpty())
        return false;
    for (const QChar c : t) {
        if (c < u'0' || c > u'9')
            return false;
    }
    bool ok = false;
    const int v = t.toInt(&ok);
    if (!ok || v > 255)
        return false;
    if (value)
        *value = v;
    return true;
}

} // namespace

QString addressPartAfterChange(const QString& text)
{
    return isAddressNumber(text, nullptr) ? text : QString();
}

AddressParts splitAddress(const QString& server)
{
    AddressParts parts;
    qsizetype from = 0;
    for (int i = 0; i < 3; ++i) {
        const qsizetype dot = server.indexOf(u'.', from);
        if (dot < 0) {
            parts[size_t(i)] = server.mid(from);
            return parts;
        }
        parts[size_t(i)] = server.mid(from, dot - from);
        from = dot + 1;
    }
    parts[3] = server.mid(from);
    return parts;
}

JoinedAddress joinAddress(const AddressParts& parts)
{
    JoinedAddress joined;
    QStringList numbers;
    for (int i = 0; i < 4; ++i) {
        int value = 0;
        if (!isAddressNumber(parts[size_t(i)], &value)) {
            joined.emptyPart = i;
            return joined;
        }
        numbers << QString::number(value);
    }
    joined.address = numbers.join(u'.');
    return joined;
}

AddressParts partsOfTypedAddress(const QString& address)
{
    AddressParts parts = splitAddress(address.trimmed());
    for (QString& part : parts)
        part = addressPartAfterChange(part);
    return parts;
}

AddressAndPort splitAddressAndPort(const QString& typed, const QString& defaultPort)
{
    const QString t = typed.trimmed();
    const qsizetype colon = t.lastIndexOf(u':');
    if (colon < 0)
        return {t, defaultPort};
    return {t.left(colon), t.mid(colon + 1)};
}

} // namespace lt::prov
