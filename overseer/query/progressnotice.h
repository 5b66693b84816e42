#pragma once
// The outside progress notice while a long statement runs: the program is started with one word
// ("提取") and its window, found by its title, is closed when the work is done. The window may
// register a moment after the start, so a close that does not find it yet looks again for a
// few seconds.

#include <QObject>
#include <QString>
#include <QTimer>

namespace lt::overseer
{

class ProgressNotice : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    // Starts the program; false when it cannot be started (the work goes on without it).
    bool start(const QString& exePath, const QString& word);
    // Closes its window, now or as soon as it shows up.
    void close();
    bool running() const { return started_; }

private:
    bool closeWindow();
    bool started_ = false;
    int tries_ = 0;
    QTimer retry_;
};

} // namespace lt::overseer
