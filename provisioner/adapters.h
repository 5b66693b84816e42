#pragma once
// The capture adapters as the packet library lists them, and the choice the modules read from
// LocalPort.txt.

#include <QByteArray>
#include <QStringList>

namespace lt::prov
{

// The packet library's buffer: 8197 zeroed bytes, filled through a size of 8196.
constexpr int kAdapterBufferBytes = 8197;
constexpr quint32 kAdapterBufferSize = 8196;
QByteArray readAdapterBuffer();

// The adapter descriptions found in the buffer, in adapter order. The buffer is read as UTF-16
// text; after the "}" that closes the last name containing "device" (case ignored) every run
// of non-zero bytes longer than one byte is a description in the ANSI code page.
QStringList adapterDescriptions(const QByteArray& buffer);

// Stores the 0-based index of the chosen entry as adapter number index + 1: the digits alone,
// replacing what LocalPort.txt held.
bool writeAdapterChoice(int index);

} // namespace lt::prov
