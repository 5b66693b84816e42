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

} // namespace

QIcon rowIcon(int index)
{
    static QHash<int, QIcon> icons;
    if (const auto it = icons.constFind(index); it != icons.cend())
        return *it;
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    {
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        const IconLook look = lookOf(index);
        painter.setBrush(look.colour);
        painter.setPen(look.colour.darker(130));
        painter.drawRoundedRect(QRectF(0.5, 0.5, 15, 15), 3, 3);
        QFont font = painter.font();
        font.setPixelSize(11);
        painter.setFont(font);
        painter.setPen(Qt::white);
        painter.drawText(QRect(0, 0, 16, 16), Qt::AlignCenter, look.letter);
    }
    return icons.insert(index, QIcon(pixmap)).value();
}

} // namespace lt::overseer::admin
