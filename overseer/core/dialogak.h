#pragma once
// The quit dialog: close the console alone, or leave the whole monitoring system (the content
// analyser is told to exit, the keeper and the two capture modules are ended). The same dialog
// serves the restore choice with other captions; its handler is then set by the restore command.

#include "common/names.h"
#include "overseer/core/dialogbase.h"

#include <functional>

class QLabel;
class QProgressBar;
class QPushButton;
class QRadioButton;

namespace lt::overseer
{

class FormMain;

// The window titles and programs the console looks for or stops.
inline const QString kAnalyserTitle = names::kAnalyserTitle;
inline const QString kKeeperTitle = names::kKeeperTitle;
inline const QString kFilterTitle = names::kFilterTitle;
inline const QString kQuitConsoleOnly = QStringLiteral("关闭系统控制界面");
inline const QString kQuitEverything = QStringLiteral("完全退出控制系统");

// The analyser's window gets the title "ExitMyProc"; then logkeeper.exe, qmlxsn.exe and
// qmlxblock.exe are ended in that order. Nothing is looked at: an absent window or process is
// skipped.
void stopMonitoringSystem();

class DialogAK : public DialogBase
{
    Q_OBJECT
public:
    static constexpr char kName[] = "DialogAK";
    explicit DialogAK(FormMain& form);

    QRadioButton* Option1;
    QRadioButton* Option2;
    QPushButton* OKButton;
    QPushButton* CancelButton;
    QLabel* Label1;
    QProgressBar* ProgressBar1;

    // Carries out "确定" when the dialog is opened for restoring (Option1 not captioned for
    // quitting).
    std::function<void(DialogAK&)> restoreProcedure;

    // Shows the dialog in its quit use; true when the administrator confirmed.
    bool AskQuit();

    void OKButton_Click();
    void CancelButton_Click();
};

} // namespace lt::overseer
