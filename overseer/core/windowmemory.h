#pragma once
// What the console remembers between runs, in the installation's registry store: the main
// window's place and size, and the column widths of each list the administrator has widened or
// narrowed (by the view's name). Everything is kept in device-independent pixels, so a screen
// scaled by 2 shows the layout it showed at scale 1, neither cut nor tiny.
//
// The rules (the texts stored, where a remembered window may go) are plain functions; the main
// window reads and writes through load/save.

#include <QList>
#include <QRect>
#include <QString>
#include <optional>

namespace lt::overseer::memory
{

inline const QString kWindowKey = QStringLiteral("Software\\Lantrove\\Overseer\\Window");
inline const QString kColumnsKey = QStringLiteral("Software\\Lantrove\\Overseer\\Columns");

// Column widths as stored: "80,103,103".
QString widthsText(const QList<int>& widths);
// The widths of a stored text for a list of `columns` columns; empty when the text does not
// hold exactly that many widths of 1 to 4000 pixels (a layout changed since, a damaged store).
QList<int> widthsFrom(const QString& text, int columns);

// Where a remembered window goes on the screen's free area: its size cut to the free area
// (never below `minimum`), moved inside it; centred when less than a quarter of it would be
// seen (a screen that went away, a smaller screen).
QRect placeOnScreen(const QRect& saved, const QRect& available, const QSize& minimum);

struct WindowPlace {
    QRect rect; // top-left of the frame, size of the window's inside
    bool maximized = false;
};

std::optional<WindowPlace> loadWindow();
void saveWindow(const WindowPlace& place);
QList<int> loadColumns(const QString& viewName, int columns);
void saveColumns(const QString& viewName, const QList<int>& widths);

} // namespace lt::overseer::memory
