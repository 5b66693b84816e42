#include "overseer/query/printfonts.h"

#include "common/gbk.h"

#include <QHash>
#include <QMutex>
#include <QRawFont>
#include <QVector>

namespace lt::overseer
{

namespace
{

// Per family, for every BMP code point: whether the font has it and whether its glyph is also
// the glyph of a lower code point. Built once, from one lookup of the whole plane.
struct CodePoints {
    QVector<bool> has;
    QVector<bool> shadowed;
};

CodePoints scan(const QString& family)
{
    CodePoints points;
    points.has.fill(false, 0x10000);
    points.shadowed.fill(false, 0x10000);
    QFont font(family);
    font.setPixelSize(64);
    const QRawFont raw = QRawFont::fromFont(font);
    if (!raw.isValid() || raw.familyName() != family)
        return points; // not installed: nothing is named rightly
    QString plane;
    plane.reserve(0x10000);
    for (char32_t c = 0; c < 0x10000; ++c)
        plane += QChar::isSurrogate(c) ? QChar(u' ') : QChar(char16_t(c));
    QVector<quint32> glyphs(plane.size());
    int count = int(glyphs.size());
    if (!raw.glyphIndexesForChars(plane.constData(), int(plane.size()), glyphs.data(), &count))
        return points;
    QHash<quint32, bool> seen;
    for (int c = 1; c < count; ++c) {
        const quint32 glyph = glyphs[c];
        if (glyph == 0 || QChar::isSurrogate(char32_t(c)))
            continue;
        points.has[c] = true;
        if (seen.contains(glyph))
            points.shadowed[c] = true;
        else
            seen.insert(glyph, true);
    }
    return points;
}

const CodePoints& codePoints(const QString& family)
{
    // Printouts run beside the window too: the table is built once, under a lock.
    static QMutex mutex;
    static QHash<QString, CodePoints> tables;
    QMutexLocker lock(&mutex);
    auto it = tables.find(family);
    if (it == tables.end())
        it = tables.insert(family, scan(family));
    return it.value();
}

} // namespace

QString PrintFonts::narrowFamily()
{
    return QStringLiteral("Noto Sans Mono CJK SC");
}

QString PrintFonts::wideFamily()
{
    return QStringLiteral("WenQuanYi Micro Hei");
}

bool PrintFonts::namesRightly(const QString& family, QChar c)
{
    const CodePoints& points = codePoints(family);
    const char16_t u = c.unicode();
    return points.has[u] && !points.shadowed[u];
}

PrintFonts::PrintFonts(int pixelSize)
{
    for (const QString& family : {narrowFamily(), wideFamily()}) {
        QFont font(family);
        font.setStyleHint(QFont::TypeWriter);
        font.setPixelSize(pixelSize);
        fonts_ << font;
    }
}

int PrintFonts::fontOf(QChar c) const
{
    const int preferred = gbk::byteWidth(QString(c)) == 1 ? 0 : 1;
    const int other = 1 - preferred;
    if (namesRightly(fonts_[preferred].family(), c))
        return preferred;
    if (namesRightly(fonts_[other].family(), c))
        return other;
    return preferred;
}

} // namespace lt::overseer
