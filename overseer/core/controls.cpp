#include "overseer/core/controls.h"

#include "overseer/core/commands.h"

#include <QApplication>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace lt::overseer
{

namespace
{

struct KeyLook {
    const char* key;
    QRgb colour;
};

// Keys that work on the same things share a colour family.
const KeyLook kKeys[] = {
    {"日志管理", 0x1f6fb2}, {"终端配置", 0x2e8b57}, {"组别配置", 0x3c9d6b}, {"显示黑单", 0x3a3a3a},
    {"显示白单", 0x8a9aa8}, {"上传数据", 0x2a82c9}, {"访问统计", 0x7b4fb0}, {"测试连接", 0x1d9aa0},
    {"日志导出", 0xc77d1a}, {"恢复设置", 0xb8860b}, {"删除日志", 0xc0392b}, {"显示封面", 0xd2402e},
    {"日志打印", 0x556b8d}, {"显示帮助", 0x2f7fd8}, {"流量统计", 0x8e44ad}, {"关闭", 0x7f1d1d},
};

QPixmap badge(const QString& glyph, const QColor& colour, int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath tile;
    tile.addRoundedRect(QRectF(1, 1, size - 2, size - 2), size * 0.22, size * 0.22);
    QLinearGradient shade(0, 0, 0, size);
    shade.setColorAt(0, colour.lighter(135));
    shade.setColorAt(1, colour.darker(115));
    painter.fillPath(tile, shade);
    painter.setPen(QPen(colour.darker(160), 1));
    painter.drawPath(tile);
    QFont font = QApplication::font();
    font.setPixelSize(int(size * 0.62));
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(QRectF(0, 0, size, size), Qt::AlignCenter, glyph);
    return pixmap;
}

} // namespace

QString webAddress(const QString& text)
{
    const QString address = text.trimmed();
    if (address.isEmpty() || address.contains(QStringLiteral("://")))
        return address;
    return QStringLiteral("http://") + address;
}

QStringList toolbarKeys()
{
    return allKeys();
}

QStringList pagingCaptions()
{
    return allPagingCaptions();
}

QIcon keyIcon(const QString& key)
{
    QColor colour(Qt::darkGray);
    for (const KeyLook& look : kKeys) {
        if (key == QString::fromUtf8(look.key))
            colour = QColor::fromRgb(look.colour);
    }
    // The tile shows the character that tells the key apart from its neighbours.
    QString glyph = key.left(1);
    if (key.startsWith(QStringLiteral("显示")) || key.startsWith(QStringLiteral("日志")))
        glyph = key.mid(2, 1);
    if (key == QStringLiteral("日志管理"))
        glyph = QStringLiteral("日");
    QIcon icon;
    for (const int size : {16, 24, 32, 48})
        icon.addPixmap(badge(glyph, colour, size));
    return icon;
}

QList<MenuDefinition> contextMenus()
{
    QList<MenuDefinition> menus;
    for (const QString& name : allMenus())
        menus << MenuDefinition{name, {}};
    for (const MenuItem& item : allMenuItems()) {
        for (MenuDefinition& m : menus) {
            if (m.name == item.menu)
                m.items << item.caption;
        }
    }
    return menus;
}

QString menuItemObjectName(const QString& menu, const QString& caption)
{
    if (MenuItem{menu, caption} == item::登录_修改系统使用端口号)
        return QStringLiteral("m修改系统端口");
    if (MenuItem{menu, caption} == item::登录_修改登录名称和口令)
        return QStringLiteral("m修改用户名称");
    return QStringLiteral("m") + caption + menu;
}

} // namespace lt::overseer
