#pragma once
// The directory of top-level windows by title. The programs meet through window titles: a
// window that matters registers its title with its process in the installation's run
// directory; other processes find it by exact title, set its title, show or hide it and close
// it. Registrations of processes that have died are ignored. Works without a display.

#include <QList>
#include <QObject>
#include <QString>
#include <memory>
#include <optional>

namespace lt::win
{

struct WindowInfo {
    QString id; // registration id, unique per window
    qint64 pid = 0;
    QString title;
    bool visible = false;
};

QList<WindowInfo> windows(); // live registrations
std::optional<WindowInfo> findWindow(const QString& title);

// Requests to the window's owner; they return once the owner has carried them out (or false
// after kRequestTimeoutMs when it does not answer). A request to a window of this process is
// carried out at once.
constexpr int kRequestTimeoutMs = 2000;
bool setTitle(const QString& windowId, const QString& title);
bool setVisible(const QString& windowId, bool visible);
bool close(const QString& windowId); // the window's own close request

// The owner's side: registers a title for as long as the object lives and receives the
// requests of other processes through its signals. The requests reach it through the event
// loop of the thread that created the first registration (the main thread). A registration
// whose signal nobody is connected to takes the requested title or visibility itself.
class Registration : public QObject
{
    Q_OBJECT
public:
    explicit Registration(const QString& title, bool visible, QObject* parent = nullptr);
    ~Registration() override;

    QString id() const;
    QString title() const;
    bool isVisible() const;
    void setTitle(const QString& title);
    void setVisible(bool visible);

signals:
    void titleRequested(const QString& title);
    void visibilityRequested(bool visible);
    void closeRequested();

private:
    friend struct RequestRouter;
    bool deliver(const QString& op, const QString& argument);
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace lt::win
