#pragma once
// The ANSI code page of the system is code page 936 (GBK): byte widths of texts and every text
// file the programs read or write go through these functions.

#include <QByteArray>
#include <QString>

namespace lt::gbk
{

QByteArray encode(QStringView text);
QString decode(QByteArrayView bytes);
// Width in bytes: an ASCII character counts one, a Chinese character two.
int byteWidth(QStringView text);
// The longest prefix of text whose width is at most bytes (a double-byte character is never cut).
QString leftBytes(QStringView text, int bytes);

} // namespace lt::gbk
