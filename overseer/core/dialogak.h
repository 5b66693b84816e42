#pragma once
// The quit dialog: close the console alone, or leave the whole monitoring system (the content
// analyser is told to exit, the keeper and the two capture modules are ended). The same dialog
// serves the restore choice with other captions (AskReset); the restore command gives it the
// procedure that "确定" runs. A restore may go on beside the dialog's own event loop: the dialog
// stays up, its buttons disabled and Escape ignored, until the procedure calls restoreFinished().

#include "common/names.h"
#include "overseer/core/dialogbase.h"

#include <functional>

class QLabel;
class QProgressBar;
class QPushButton;
class QRadioButton;

namespace lt::overseer
{

class ConsoleContext;

// The window titles and programs the console looks for or stops.
inline const QString kAnalyserTitle = names::kAnalyserTitle;
inline const QString kKeeperTitle = names::kKeeperTitle;
inline const QString kFilterTitle = names::kFilterTitle;
inline const QString kQuitConsoleOnly = QStringLiteral("关闭系统控制界面");
inline const QString kQuitEverything = QStringLiteral("完全退出控制系统");

// The analyser's window gets the title "ExitMyProc"; then logkeeper.exe, qmlxsn.exe and
// qmlxblock.exe are ended in that order. An absent window or process is skipped. The analyser
// is given a moment (at most kAnalyserExitWaitMs) to close its window before the modules go;
// the wait runs no event loop, so no handler of the console runs in between.
constexpr int kAnalyserExitWaitMs = 1000;
void stopMonitoringSystem();

class DialogAK : public DialogBase
{
    Q_OBJECT
public:
    static constexpr char kName[] = "DialogAK";
    explicit DialogAK(ConsoleContext& context);

    QRadioButton* Option1;
    QRadioButton* Option2;
    QPushButton* OKButton;
    QPushButton* CancelButton;
    QLabel* Label1;
    QProgressBar* ProgressBar1;

    // Carries out "确定" when the dialog is opened for restoring (Option1 not captioned for
    // quitting); it calls restoreFinished() when done, at once or later.
    std::function<void(DialogAK&)> restoreProcedure;

    // The restore use: captions "恢复日志数据" and "恢复终端设置", Option1 selected, shown
    // modally; "确定" runs the procedure.
    bool AskReset(std::function<void(DialogAK&)> procedure);
    // The end of a restore: the dialog closes as confirmed.
    void restoreFinished();
    bool restoring() const { return restoring_; }
    // While a restore runs, Escape and the close box do nothing.
    void reject() override;

    // Shows the dialog in its quit use; true when the administrator confirmed.
    bool AskQuit();

    void OKButton_Click();
    void CancelButton_Click();

private:
    bool restoring_ = false;
};

} // namespace lt::overseer
