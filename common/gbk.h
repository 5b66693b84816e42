#pragma once
// The ANSI code page of the system is code page 936 (GBK): byte widths of texts and every text
// file the programs read or write go through these functions.
//
// GB18030 is GBK plus four-byte sequences for every character GBK lacks (an emoji, a rare
// ideograph). Files that must not lose such characters are written with encodeGb18030: the
// bytes of every character GBK holds are exactly its GBK bytes, so a GBK reader reads them as
// before. decodeGb18030 and decodeStrictGb18030 read both: GBK text and GBK text with four-byte
// GB18030 sequences. decode and decodeStrict stay GBK alone: what they read, encode writes back.
// One exception, GB18030's own: about eighty two-byte codes that GBK reads as private-use
// characters stand in GB18030 for real characters (the ideographic description characters "⿰"
// to "⿻", CJK radicals, "ḿ"); the GB18030 functions write and read those characters under
// these codes and the private-use characters as four bytes.

#include <QByteArray>
#include <QString>

namespace lt::gbk
{

QByteArray encode(QStringView text);
QString decode(QByteArrayView bytes);
// GBK bytes for each character GBK holds, the four-byte GB18030 sequence for any other; nothing
// is lost (a lone surrogate, which no encoding holds, becomes "?").
QByteArray encodeGb18030(QStringView text);
// The same bytes, added to the end of bytes (a buffer a writer reuses).
void appendGb18030(QByteArray& bytes, QStringView text);

// Decoding that says whether the bytes were GBK text: a byte sequence that is not (a trail byte
// out of range, the byte 0xFF) becomes U+FFFD in text, as decode() does, a lead byte at the
// very end is dropped, and invalidAt gives the offset of the first byte at fault.
struct Decoded {
    QString text;
    qsizetype invalidAt = -1; // -1 when every byte was GBK text
    bool valid() const { return invalidAt < 0; }
};
Decoded decodeStrict(QByteArrayView bytes);
// The same accepting four-byte GB18030 sequences as characters.
QString decodeGb18030(QByteArrayView bytes);
Decoded decodeStrictGb18030(QByteArrayView bytes);

// The index of the first character of text that GBK cannot hold (encode() would write "?" for
// it, or a look-alike that reads back as another character); -1 when it holds all of them.
qsizetype unencodableAt(QStringView text);

// Width in bytes: an ASCII character counts one, a Chinese character two.
int byteWidth(QStringView text);
// Width in bytes as encodeGb18030 writes the text (a character GBK lacks counts four).
int byteWidthGb18030(QStringView text);
// The longest prefix of text whose width is at most bytes (a double-byte character is never cut).
QString leftBytes(QStringView text, int bytes);

} // namespace lt::gbk
