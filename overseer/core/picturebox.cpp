#include "overseer/core/picturebox.h"

#include <QLabel>
#include <QMouseEvent>
#include <QPainter>

namespace lt::overseer
{

PictureBox::PictureBox(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void PictureBox::setBackground(Background paint)
{
    background_ = std::move(paint);
    update();
}

void PictureBox::Cls()
{
    const qreal ratio = devicePixelRatioF();
    drawing_ = QImage((QSizeF(size()) * ratio).toSize(), QImage::Format_ARGB32_Premultiplied);
    drawing_.setDevicePixelRatio(ratio);
    drawing_.fill(Qt::transparent);
    update();
}

void PictureBox::Print(const QString& text, const QFont& font, const QRectF& rect,
                       Qt::Alignment align)
{
    Print(text, font, QList<QRectF>{rect}, align);
}

void PictureBox::Print(const QString& text, const QFont& font, const QList<QRectF>& rects,
                       Qt::Alignment align)
{
    if (rects.isEmpty())
        return;
    if (drawing_.isNull() || drawing_.deviceIndependentSize() != QSizeF(size()))
        Cls();
    QPainter painter(&drawing_);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setFont(font);
    painter.setPen(foreColor_);
    for (const QRectF& rect : rects)
        painter.drawText(rect, int(align), text);
    update();
}

void PictureBox::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (background_)
        background_(painter, rect());
    else
        painter.fillRect(rect(), palette().window());
    if (!drawing_.isNull())
        painter.drawImage(QPointF(0, 0), drawing_);
}

void PictureBox::mousePressEvent(QMouseEvent* event)
{
    emit mouseDown(event->button(), shiftState(event->modifiers()), event->position().toPoint());
    QWidget::mousePressEvent(event);
}

void printExtruded(PictureBox& picture, const QLabel& label, int steps, QPointF step)
{
    // The steps are a fraction of a pixel: many copies fall on the same device pixel and
    // would paint the same glyphs again. One copy per pixel reached gives the same picture.
    const qreal ratio = picture.devicePixelRatioF();
    const QRectF place = label.geometry();
    QList<QPoint> reached;
    QList<QRectF> places;
    for (int i = steps; i >= 0; --i) {
        const QPointF offset = step * i;
        const QPoint pixel((offset * ratio).toPoint());
        if (reached.contains(pixel))
            continue;
        reached << pixel;
        places << place.translated(QPointF(pixel) / ratio);
    }
    picture.Print(label.text(), label.font(), places, label.alignment());
}

int shiftState(Qt::KeyboardModifiers modifiers)
{
    int shift = 0;
    if (modifiers & Qt::ShiftModifier)
        shift |= 1;
    if (modifiers & Qt::ControlModifier)
        shift |= 2;
    if (modifiers & Qt::AltModifier)
        shift |= 4;
    return shift;
}

CoverGesture coverGesture(Qt::MouseButton button, int shift)
{
    if (button != Qt::LeftButton)
        return CoverGesture::LoginMenu;
    if (shift == 3)
        return CoverGesture::HideWindows;
    if (shift == 6)
        return CoverGesture::ShowWindows;
    return CoverGesture::None;
}

} // namespace lt::overseer
