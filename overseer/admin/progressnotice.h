#pragma once
// The outside progress notice while a long change runs: started with its one word ("更新",
// "提取") and closed by its window title when the change is done. The notice registers its
// window a moment after it starts; a close asked before that is retried for a few seconds, so
// that a quick change does not leave the notice up.

#include <QString>

namespace lt::overseer::admin
{

class ProgressNotice
{
public:
    ProgressNotice(const QString& exePath, const QString& word);
    ~ProgressNotice();
    ProgressNotice(const ProgressNotice&) = delete;
    ProgressNotice& operator=(const ProgressNotice&) = delete;

private:
    bool started_ = false;
};

} // namespace lt::overseer::admin
