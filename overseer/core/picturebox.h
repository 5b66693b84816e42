#pragma once
// A picture box that keeps what is drawn on it: a background, and above it a drawing surface
// that Cls clears and Print draws text on. Labels placed in it stay on top of the drawing.
//
// The cover and the title strip draw their texts with an extruded shadow: the caption printed
// many times in the shadow colour, each copy one step further from the label, then once at the
// label's own place. A step is one twip (1/15 pixel), the unit the cover was designed in.

#include <QColor>
#include <QImage>
#include <QWidget>
#include <functional>

class QLabel;

namespace lt::overseer
{

constexpr qreal kTwip = 1.0 / 15.0;

class PictureBox : public QWidget
{
    Q_OBJECT
public:
    using Background = std::function<void(QPainter&, const QRect&)>;
    explicit PictureBox(QWidget* parent = nullptr);

    void setBackground(Background paint);
    void Cls();
    void setForeColor(const QColor& color) { foreColor_ = color; }
    QColor foreColor() const { return foreColor_; }
    // Prints text with the font and alignment given in the rectangle; the second form prints it
    // in each of the rectangles, in order.
    void Print(const QString& text, const QFont& font, const QRectF& rect, Qt::Alignment align);
    void Print(const QString& text, const QFont& font, const QList<QRectF>& rects,
               Qt::Alignment align);
    // The drawing alone (transparent where nothing was drawn).
    const QImage& drawing() const { return drawing_; }

signals:
    // Button, shift state (1 Shift, 2 Ctrl, 4 Alt), position.
    void mouseDown(Qt::MouseButton button, int shift, QPoint at);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    Background background_;
    QImage drawing_;
    QColor foreColor_ = Qt::black;
};

// Prints the label's caption at the label's place moved by i * step (i = steps .. 1), then at
// the label's own place, in the picture's drawing colour; once per device pixel reached.
void printExtruded(PictureBox& picture, const QLabel& label, int steps, QPointF step);

// The shift state of the keyboard modifiers: Shift 1, Ctrl 2, Alt 4.
int shiftState(Qt::KeyboardModifiers modifiers);

// What a mouse-down on the cover asks for.
enum class CoverGesture { None, LoginMenu, HideWindows, ShowWindows };
CoverGesture coverGesture(Qt::MouseButton button, int shift);

} // namespace lt::overseer
