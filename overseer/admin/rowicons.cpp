#include "overseer/admin/rowicons.h"

#include <QHash>
#include <QPainter>
#include <QPixmap>

namespace lt::overseer::admin
{

namespace
{

struct IconLook {
    QColor colour;
    QString letter;
};

IconLook lookOf(int index)
{
    switch (index) {
    case 2:
        return {QColor(48, 110, 190), QStringLiteral("终")};
    case 15:
        return {QColor(226, 140, 30), QStringLiteral("临")};
    case 3:
        return {QColor(40, 150, 90), QStringLiteral("组")};
    case 8:
        return {QColor(40, 40, 40), QStringLiteral("黑")};
    case 9:
        return {QColor(150, 160, 175), QStringLiteral("白")};
    case 10:
        return {QColor(120, 80, 170), QStringLiteral("访")};
    default:
        return {QColor(128, 128, 128), QString()};
    }
}

QPixmap drawIcon(const IconLook& look, int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 16.0, size / 16.0);
    painter.setBrush(look.colour);
    painter.setPen(look.colour.darker(130));
    painter.drawRoundedRect(QRectF(0.5, 0.5, 15, 15), 3, 3);
    QFont font = painter.font();
    font.setPixelSize(11);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(QRect(0, 0, 16, 16), Qt::AlignCenter, look.letter);
    return pixmap;
}

} // namespace

QIcon rowIcon(int index)
{
    static QHash<int, QIcon> icons;
    if (const auto it = icons.constFind(index); it != icons.cend())
        return *it;
    // Drawn at twice the size too, so that a screen scaled by 2 shows it sharp.
    QIcon icon;
    for (const int size : {16, 32})
        icon.addPixmap(drawIcon(lookOf(index), size));
    return icons.insert(index, icon).value();
}

} // namespace lt::overseer::admin
