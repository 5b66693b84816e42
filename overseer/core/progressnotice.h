#pragma once
// The outside progress notice (TQProgress) while a long piece of work runs: the program is
// started with its one word ("提取", "更新", "删除") and its window, found by its title
// "Lantrove系统提示", is closed when the work is done. Where the program or its window is not
// there, the work goes on without it.
//
// How a notice is closed (the one policy): at once when its window is up; otherwise the
// notice registers its window a moment after its start, so the window is looked for every
// 200 ms for five seconds by a timer of the application, never by a sleep on the window's
// thread, and closed as soon as it shows up. The looking outlives the ProgressNotice object, so
// a notice held for the length of one function still goes.

#include <QString>

namespace lt::overseer
{

class ProgressNotice
{
public:
    ProgressNotice() = default;
    // Starts the notice at once.
    ProgressNotice(const QString& exePath, const QString& word) { start(exePath, word); }
    // Closes the notice still up.
    ~ProgressNotice() { close(); }
    ProgressNotice(const ProgressNotice&) = delete;
    ProgressNotice& operator=(const ProgressNotice&) = delete;

    // Starts the program (closing a notice of this object still up); false when it cannot be
    // started (empty path, no program).
    bool start(const QString& exePath, const QString& word);
    // Closes the notice as the policy says; nothing when none was started.
    void close();
    bool running() const { return started_; }

    // The policy's figures.
    static constexpr int kLookEveryMs = 200;
    static constexpr int kLookForMs = 5000;

private:
    bool started_ = false;
};

} // namespace lt::overseer
