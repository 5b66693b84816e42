#pragma once
// After a change whose outcome is unknown (the connection broke while the server was
// committing): waits beside the window, on a connection of its own, until the database answers
// again, then calls back once on the window's thread, so that a list can be read again and show
// what the server really holds. The window goes on working meanwhile; a new wait replaces the
// one before.

#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>

namespace lt::overseer
{
class DbChannel;
}

namespace lt::overseer::admin
{

class ReconnectWatch : public QObject
{
    Q_OBJECT
public:
    explicit ReconnectWatch(QObject* parent = nullptr);
    ~ReconnectWatch() override;

    void start(const QString& connectionString, std::function<void()> whenBack);
    bool waiting() const { return bool(whenBack_); }

    // How long a failed try waits before the next one.
    static constexpr int kRetryMs = 1000;

private:
    void ask();
    std::unique_ptr<DbChannel> channel_;
    QString connectionString_;
    quint64 request_ = 0;
    bool out_ = false; // a try is on its way
    std::function<void()> whenBack_;
    QTimer retry_;
};

} // namespace lt::overseer::admin
