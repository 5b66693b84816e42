#include "overseer/core/windowmemory.h"

#include "common/registry.h"

#include <QStringList>

namespace lt::overseer::memory
{

namespace
{

constexpr int kWidestColumn = 4000;

const QString kLeft = QStringLiteral("Left");
const QString kTop = QStringLiteral("Top");
const QString kWidth = QStringLiteral("Width");
const QString kHeight = QStringLiteral("Height");
const QString kMaximized = QStringLiteral("Maximized");

std::optional<int> number(const QString& name)
{
    bool ok = false;
    const int value = reg::readValue(kWindowKey, name).toInt(&ok);
    return ok ? std::optional<int>(value) : std::nullopt;
}

} // namespace

QString widthsText(const QList<int>& widths)
{
    QStringList parts;
    for (const int w : widths)
        parts << QString::number(w);
    return parts.join(u',');
}

QList<int> widthsFrom(const QString& text, int columns)
{
    const QStringList parts = text.split(u',');
    if (columns <= 0 || parts.size() != columns)
        return {};
    QList<int> widths;
    for (const QString& part : parts) {
        bool ok = false;
        const int w = part.trimmed().toInt(&ok);
        if (!ok || w < 1 || w > kWidestColumn)
            return {};
        widths << w;
    }
    return widths;
}

QRect placeOnScreen(const QRect& saved, const QRect& available, const QSize& minimum)
{
    QRect place(saved.topLeft(), saved.size().boundedTo(available.size()).expandedTo(minimum));
    const QRect seen = place.intersected(available);
    const qint64 seenArea = qint64(seen.width()) * seen.height();
    const qint64 placeArea = qint64(place.width()) * place.height();
    if (seen.isEmpty() || seenArea * 4 < placeArea) {
        place.moveCenter(available.center());
        return place;
    }
    // Partly off the free area: moved in, the top-left corner first so the caption stays reachable.
    place.moveRight(std::min(place.right(), available.right()));
    place.moveBottom(std::min(place.bottom(), available.bottom()));
    place.moveLeft(std::max(place.left(), available.left()));
    place.moveTop(std::max(place.top(), available.top()));
    return place;
}

std::optional<WindowPlace> loadWindow()
{
    const auto left = number(kLeft), top = number(kTop);
    const auto width = number(kWidth), height = number(kHeight);
    if (!left || !top || !width || !height || *width <= 0 || *height <= 0)
        return std::nullopt;
    return WindowPlace{QRect(*left, *top, *width, *height), number(kMaximized).value_or(0) != 0};
}

void saveWindow(const WindowPlace& place)
{
    reg::createKey(kWindowKey);
    reg::setValue(kWindowKey, kLeft, QString::number(place.rect.left()));
    reg::setValue(kWindowKey, kTop, QString::number(place.rect.top()));
    reg::setValue(kWindowKey, kWidth, QString::number(place.rect.width()));
    reg::setValue(kWindowKey, kHeight, QString::number(place.rect.height()));
    reg::setValue(kWindowKey, kMaximized,
                  place.maximized ? QStringLiteral("1") : QStringLiteral("0"));
}

QList<int> loadColumns(const QString& viewName, int columns)
{
    return widthsFrom(reg::readValue(kColumnsKey, viewName), columns);
}

void saveColumns(const QString& viewName, const QList<int>& widths)
{
    reg::createKey(kColumnsKey);
    reg::setValue(kColumnsKey, viewName, widthsText(widths));
}

} // namespace lt::overseer::memory
