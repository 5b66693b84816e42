#pragma once
// The outside wait notice (TQProgress.exe) shown while a long statement runs: started with one
// word ("提取", "删除"), closed through its window "Lantrove系统提示". Where the program or its
// window is not there, the work goes on without it.

#include <QString>

namespace lt::overseer::archive
{

class WaitNotice
{
public:
    WaitNotice() = default;
    ~WaitNotice() { close(); }
    WaitNotice(const WaitNotice&) = delete;
    WaitNotice& operator=(const WaitNotice&) = delete;

    void start(const QString& programPath, const QString& word);
    // Closes the notice's window (its own close request); nothing when none was started.
    void close();
    bool started() const { return started_; }

private:
    bool started_ = false;
};

} // namespace lt::overseer::archive
