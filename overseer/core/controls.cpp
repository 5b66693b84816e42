#include "overseer/core/controls.h"

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

QStringList toolbarKeys()
{
    QStringList keys;
    for (const KeyLook& look : kKeys)
        keys << QString::fromUtf8(look.key);
    return keys;
}

QStringList pagingCaptions()
{
    return {QStringLiteral("首页"), QStringLiteral("上页"), QStringLiteral("下页"),
            QStringLiteral("尾页")};
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
    const auto items = [](std::initializer_list<const char*> captions) {
        QStringList list;
        for (const char* caption : captions)
            list << QString::fromUtf8(caption);
        return list;
    };
    return {
        {QStringLiteral("查看"), items({"查看日志", "刷新日志", "查看网页", "禁止浏览", "允许浏览",
                                        "删除日志", "打印预览"})},
        {QStringLiteral("终端"), items({"增加", "分组", "更名", "删除", "刷新"})},
        {QStringLiteral("组别"), items({"增加", "配置", "更名", "删除"})},
        {QStringLiteral("名单"), items({"增加", "删除", "查看"})},
        {QStringLiteral("登录"), items({"修改系统使用端口号", "修改登录名称和口令"})},
        {QStringLiteral("访问"), items({"增加", "删除"})},
        {QStringLiteral("统计"), items({"删除记录", "查看网页", "不送日志"})},
        {QStringLiteral("上传"), items({"打印", "删除"})},
        {QStringLiteral("文件"), items({"保存", "关闭"})},
    };
}

QString menuItemObjectName(const QString& menu, const QString& caption)
{
    if (menu == QStringLiteral("登录")) {
        if (caption == QStringLiteral("修改系统使用端口号"))
            return QStringLiteral("m修改系统端口");
        if (caption == QStringLiteral("修改登录名称和口令"))
            return QStringLiteral("m修改用户名称");
    }
    return QStringLiteral("m") + caption + menu;
}

} // namespace lt::overseer
