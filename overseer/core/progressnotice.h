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
//
// The notice belongs to the console's main window (its host): it is started centred over it,
// and work that knows how many rows it has done shows that count in the host's status bar
// (progress), until the notice is closed.

#include <QRect>
#include <QString>

namespace lt::overseer
{

class NoticeHost
{
public:
    virtual ~NoticeHost() = default;
    // The screen area the notice is centred over (device-independent pixels).
    virtual QRect noticeArea() const = 0;
    virtual void showRowsDone(qint64 done, qint64 total) = 0;
    virtual void endRowsDone() = 0;
};

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
    // Closes the notice as the policy says, and takes the rows done off the host's status bar;
    // nothing when neither is up.
    void close();
    bool running() const { return started_; }
    // Rows done of the work, shown by the host until close (also after the notice's window
    // was closed early, when the work went on with a progress of its own).
    void progress(qint64 done, qint64 total);

    // The main window; null (no centring, no status bar) until it is set and after it is gone.
    static void setHost(NoticeHost* host);
    static NoticeHost* host();
    // The environment entry that tells the notice where to centre itself; empty without a host.
    static QString centreVariable();

    // The policy's figures.
    static constexpr int kLookEveryMs = 200;
    static constexpr int kLookForMs = 5000;

private:
    bool started_ = false;
    bool showingRows_ = false;
};

} // namespace lt::overseer
