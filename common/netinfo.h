#pragma once
// The machine's network: its own address and the adapters the capture modules listen on.

#include <QByteArray>
#include <QList>
#include <QString>

namespace lt::net
{

// The first IPv4 address of an interface that is up and not the loopback; "127.0.0.1" when
// there is none.
QString ownIPv4();

struct Adapter {
    QString name;        // device path: "\Device\NPF_{GUID}", the GUID derived from the interface
    QString description; // what an administrator recognises: interface name and addresses
    QString interface;   // the system's interface name, e.g. "eth0"
};

// The capture adapters in a fixed order; adapter number N (1-based) is the N-th.
QList<Adapter> adapters();

// The adapter listing in the packet library's layout: the names as zero-terminated UTF-16
// strings, an empty string, then the descriptions as zero-terminated GBK strings, in order.
QByteArray adapterListing(const QList<Adapter>& list);
// Fills buffer with adapterListing(adapters()), at most *size bytes; false when it did not fit,
// *size then holds the size needed.
bool PacketGetAdapterNames(char* buffer, quint32* size);

} // namespace lt::net
