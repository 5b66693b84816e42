#pragma once
// The server address as the operator types it into four boxes, one per part.

#include <QString>
#include <array>

namespace lt::prov
{

using AddressParts = std::array<QString, 4>;

// What an address box keeps after a change of its text: a whole number from 0 to 255 written
// in decimal digits (blanks around them allowed) stays, anything else empties the box.
QString addressPartAfterChange(const QString& text);

// A registered server address split into the boxes: the text before the first dot, between
// the first and second, between the second and third, and the rest. Parts beyond the last dot
// found are empty.
AddressParts splitAddress(const QString& server);

struct JoinedAddress {
    int emptyPart = -1; // index of the first empty box, or -1
    QString address;    // the four numbers joined by dots when no box is empty
};
// Checks the boxes in order; a part is written as its number ("010" gives "10").
JoinedAddress joinAddress(const AddressParts& parts);

// The address given on the command line, read as if typed into the four boxes.
AddressParts partsOfTypedAddress(const QString& address);

// "ADDRESS[:PORT]" of the command line: the address and the port after its last colon, or
// defaultPort when there is none.
struct AddressAndPort {
    QString address;
    QString port;
};
AddressAndPort splitAddressAndPort(const QString& typed, const QString& defaultPort);

} // namespace lt::prov
