#include "common/widgets/windowregistration.h"

#include "common/windowdirectory.h"

#include <QEvent>
#include <QPointer>
#include <QWidget>

namespace lt::ui
{

namespace
{

const char kBindingName[] = "lt_window_registration";

// Keeps a widget's registration in step with the widget, and carries other processes'
// requests out on it. A child of the widget, so it ends with it.
class WindowBinding : public QObject
{
public:
    explicit WindowBinding(QWidget* window)
        : QObject(window), window_(window),
          registration_(window->windowTitle(), window->isVisible(), this)
    {
        setObjectName(QString::fromLatin1(kBindingName));
        window->installEventFilter(this);
        connect(&registration_, &win::Registration::titleRequested, window,
                &QWidget::setWindowTitle);
        connect(&registration_, &win::Registration::visibilityRequested, window,
                &QWidget::setVisible);
        connect(&registration_, &win::Registration::closeRequested, window, &QWidget::close);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == window_) {
            switch (event->type()) {
            case QEvent::WindowTitleChange:
                registration_.setTitle(window_->windowTitle());
                break;
            case QEvent::Show:
            case QEvent::Hide:
                registration_.setVisible(window_->isVisible());
                break;
            default:
                break;
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QPointer<QWidget> window_;
    win::Registration registration_;
};

} // namespace

void registerWindow(QWidget* window)
{
    if (window &&
        !window->findChild<QObject*>(QString::fromLatin1(kBindingName), Qt::FindDirectChildrenOnly))
        new WindowBinding(window);
}

} // namespace lt::ui
