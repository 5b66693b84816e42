#include "common/netinfo.h"

#include "common/gbk.h"

#include <QNetworkInterface>
#include <QUuid>
#include <algorithm>
#include <cstring>

namespace lt::net
{

namespace
{

// Namespace of the adapter GUIDs: the same interface name gives the same GUID on every run.
const QUuid kAdapterNamespace(QStringLiteral("{6c3f2a8e-52d4-4b8e-9a61-0d7f3c5e9b14}"));

QString firstIPv4(const QNetworkInterface& iface)
{
    const QList<QNetworkAddressEntry> entries = iface.addressEntries();
    for (const QNetworkAddressEntry& entry : entries) {
        if (entry.ip().protocol() == QAbstractSocket::IPv4Protocol)
            return entry.ip().toString();
    }
    return {};
}

QString describe(const QNetworkInterface& iface)
{
    QStringList parts{iface.humanReadableName()};
    const QString ip = firstIPv4(iface);
    parts.append(ip.isEmpty() ? QStringLiteral("无IPv4地址") : ip);
    const QString mac = iface.hardwareAddress();
    if (!mac.isEmpty())
        parts.append(mac);
    return parts.join(QStringLiteral(" - "));
}

void appendUtf16(QByteArray& out, const QString& text)
{
    for (const QChar c : text) {
        out.append(char(c.unicode() & 0xFF));
        out.append(char(c.unicode() >> 8));
    }
    out.append(2, '\0');
}

} // namespace

QString ownIPv4()
{
    const QList<QNetworkInterface> all = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface& iface : all) {
        const auto flags = iface.flags();
        if (!flags.testFlag(QNetworkInterface::IsUp) ||
            !flags.testFlag(QNetworkInterface::IsRunning) ||
            flags.testFlag(QNetworkInterface::IsLoopBack))
            continue;
        const QString ip = firstIPv4(iface);
        if (!ip.isEmpty())
            return ip;
    }
    return QStringLiteral("127.0.0.1");
}

QList<Adapter> adapters()
{
    QList<QNetworkInterface> all = QNetworkInterface::allInterfaces();
    // The system's own numbering of the interfaces: the order they were created in.
    std::stable_sort(all.begin(), all.end(),
                     [](const auto& a, const auto& b) { return a.index() < b.index(); });
    QList<Adapter> list;
    for (const QNetworkInterface& iface : all) {
        if (iface.flags().testFlag(QNetworkInterface::IsLoopBack))
            continue;
        const QUuid guid = QUuid::createUuidV5(kAdapterNamespace, iface.name());
        Adapter adapter;
        adapter.name =
            QStringLiteral("\\Device\\NPF_") + guid.toString(QUuid::WithBraces).toUpper();
        adapter.description = describe(iface);
        adapter.interface = iface.name();
        list.append(adapter);
    }
    return list;
}

QByteArray adapterListing(const QList<Adapter>& list)
{
    QByteArray out;
    for (const Adapter& adapter : list)
        appendUtf16(out, adapter.name);
    appendUtf16(out, QString()); // the empty name that ends the names
    for (const Adapter& adapter : list) {
        out.append(gbk::encode(adapter.description));
        out.append('\0');
    }
    return out;
}

bool PacketGetAdapterNames(char* buffer, quint32* size)
{
    if (!size)
        return false;
    const QByteArray listing = adapterListing(adapters());
    if (!buffer || quint32(listing.size()) > *size) {
        *size = quint32(listing.size());
        return false;
    }
    std::memcpy(buffer, listing.constData(), size_t(listing.size()));
    return true;
}

} // namespace lt::net
