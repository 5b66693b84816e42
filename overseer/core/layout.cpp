#include "overseer/core/layout.h"

#include <algorithm>

namespace lt::overseer
{

namespace
{

QRect box(int left, int top, int width, int height)
{
    return QRect(left, top, std::max(width, 0), std::max(height, 0));
}

} // namespace

MainLayout computeLayout(const LayoutInput& in)
{
    MainLayout out;
    const int faceWidth = in.inner.width() - in.buttonWidth;
    const int faceHeight = in.inner.height() - in.faceTop;
    out.face = box(in.buttonWidth, in.faceTop, faceWidth, faceHeight);

    // The title strip spans the picture, 40 below its top, right of the command strip.
    const int titleTop = in.faceTop + 40;
    const int titleLeft = in.buttonWidth;
    out.title = box(titleLeft, titleTop, faceWidth, in.titleHeight);
    out.button = box(0, 0, in.buttonWidth, in.inner.height());
    out.label2Left = (faceWidth - in.label2Width) / 2;

    const int listTop = in.titleHeight + 40;
    const int listWidth = faceWidth - 30;
    const int listHeight =
        faceHeight - in.titleHeight - 30 - in.statusHeight - in.toolbar2Height - 30;
    out.list = box(titleLeft, listTop, listWidth, listHeight);

    const int statusLeft = titleLeft + 30;
    const int statusWidth = listWidth - 40;
    out.toolbar1 = box(0, -50, in.buttonWidth, in.toolbar1Height);

    const int toolbar2Top = in.inner.height() - in.toolbar2Height - 30;
    out.toolbar2 = box(statusLeft, toolbar2Top, listWidth, in.toolbar2Height);
    // The status bar reaches 20 under the paging toolbar's top edge.
    out.status = box(statusLeft, toolbar2Top - in.statusHeight + 20, statusWidth, in.statusHeight);
    return out;
}

} // namespace lt::overseer
