#pragma once
// Which font draws each character of a printout, so that the printout's text (copied, searched
// or read by pdftotext) holds exactly the characters printed.
//
// Qt's PDF writer names every glyph in the text layer by the lowest code point the font maps to
// that glyph. Noto Sans CJK draws many ideographs with the glyph of the look-alike Kangxi radical
// or radical supplement character (网 and ⽹ U+2F79, 页 and ⻚ U+2EDA), so a printout set in it
// reads "上⽹终端访问⽇志" and a search for "网" finds nothing. Each character is therefore drawn
// with a font whose glyph for it no lower code point shares:
// - narrow characters (one GBK byte: Latin, digits, blanks) with "Noto Sans Mono CJK SC", exactly
//   one column wide;
// - wide characters with "WenQuanYi Micro Hei", whose ideographs are exactly two columns wide
//   and which has no radical code points;
// the other font where the preferred one lacks the character or shares its glyph, and the
// preferred one where neither can name it (such a character is still drawn).

#include <QFont>
#include <QList>
#include <QString>

namespace lt::overseer
{

class PrintFonts
{
public:
    // The two families at the given pixel size.
    explicit PrintFonts(int pixelSize);

    // The index of the font (into fonts()) that draws c.
    int fontOf(QChar c) const;
    const QList<QFont>& fonts() const { return fonts_; }
    const QFont& font(int index) const { return fonts_.at(index); }

    static QString narrowFamily(); // "Noto Sans Mono CJK SC"
    static QString wideFamily();   // "WenQuanYi Micro Hei"

    // Whether the installed font of the family has c with a glyph that no lower code point of
    // the Basic Multilingual Plane shares (what the PDF's text layer needs).
    static bool namesRightly(const QString& family, QChar c);

private:
    QList<QFont> fonts_;
};

} // namespace lt::overseer
