#pragma once
// Where the main window's parts go when it is resized. All sizes are in pixels; the gaps (40, 30,
// 20, 50) are part of the design. The design sizes (strip widths and heights) come in, the
// positions come out.

#include <QRect>

namespace lt::overseer
{

struct LayoutInput {
    QSize inner;            // the window's inner size
    int faceTop = 0;        // Picture_Face top
    int buttonWidth = 0;    // Picture_Button width
    int titleHeight = 0;    // Picture_Title height
    int label2Width = 0;    // the view title's width
    int statusHeight = 0;   // StatusBar1 height
    int toolbar2Height = 0; // Toolbar2 height
    int toolbar1Height = 0; // Toolbar1 height
    bool operator==(const LayoutInput&) const = default;
};

struct MainLayout {
    QRect face;     // Picture_Face
    QRect button;   // Picture_Button
    QRect toolbar1; // Toolbar1, in Picture_Button
    QRect title;    // Picture_Title
    int label2Left; // Label2, in Picture_Title
    QRect list;     // ListView1
    QRect status;   // StatusBar1
    QRect toolbar2; // Toolbar2
};

// Negative widths and heights of a window too small for the design come out as zero.
MainLayout computeLayout(const LayoutInput& in);

} // namespace lt::overseer
