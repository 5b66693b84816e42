#include "overseer/core/dialogak.h"
#include "common/names.h"

#include "common/widgets/dialogform.h"

#include "common/processes.h"
#include "common/windowdirectory.h"
#include "overseer/core/consolecontext.h"

#include <QDeadlineTimer>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QThread>
#include <QVBoxLayout>

namespace lt::overseer
{

void stopMonitoringSystem()
{
    if (const auto analyser = win::findWindow(kAnalyserTitle)) {
        win::setTitle(analyser->id, names::kExitTitle);
        const QDeadlineTimer deadline(kAnalyserExitWaitMs);
        while (win::findWindow(names::kExitTitle) && !deadline.hasExpired())
            QThread::msleep(20);
    }
    // Each kill waits for its processes to end before the next program is stopped.
    proc::killProcess(names::kKeeperExe);
    proc::killProcess(names::kMonitorExe);
    proc::killProcess(names::kBlockerExe);
}

DialogAK::DialogAK(ConsoleContext& context) : DialogBase(context)
{
    setWindowTitle(QStringLiteral("Lantrove系统"));
    Option1 = new QRadioButton(kQuitConsoleOnly, this);
    Option1->setObjectName(QStringLiteral("Option1"));
    Option1->setChecked(true);
    Option2 = new QRadioButton(kQuitEverything, this);
    Option2->setObjectName(QStringLiteral("Option2"));
    Label1 = new QLabel(this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->hide();
    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->hide();
    OKButton = ui::makeButton(this, QStringLiteral("确定"), QStringLiteral("OKButton"), true);
    CancelButton = ui::makeButton(this, QStringLiteral("取消"), QStringLiteral("CancelButton"));

    auto* options = new QVBoxLayout;
    options->setSpacing(10);
    options->addWidget(Option1);
    options->addWidget(Option2);
    auto* buttons = ui::buttonRow({OKButton, CancelButton});
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 20, 24, 16);
    layout->addLayout(options);
    layout->addWidget(Label1);
    layout->addWidget(ProgressBar1);
    layout->addSpacing(12);
    layout->addLayout(buttons);
    setMinimumWidth(320);

    connect(OKButton, &QPushButton::clicked, this, &DialogAK::OKButton_Click);
    connect(CancelButton, &QPushButton::clicked, this, &DialogAK::CancelButton_Click);
}

bool DialogAK::AskQuit()
{
    return run();
}

bool DialogAK::AskReset(std::function<void(DialogAK&)> procedure)
{
    Option1->setText(QStringLiteral("恢复日志数据"));
    Option2->setText(QStringLiteral("恢复终端设置"));
    Option1->setChecked(true);
    Label1->setText(QStringLiteral("正在恢复日志文件，请稍等．．．"));
    restoreProcedure = std::move(procedure);
    return run();
}

void DialogAK::OKButton_Click()
{
    if (restoring_)
        return;
    if (Option1->text() == kQuitConsoleOnly) {
        if (Option2->isChecked())
            stopMonitoringSystem();
    } else if (restoreProcedure) {
        restoring_ = true;
        OKButton->setEnabled(false);
        CancelButton->setEnabled(false);
        restoreProcedure(*this);
        return;
    }
    confirm();
}

void DialogAK::restoreFinished()
{
    restoring_ = false;
    confirm();
}

void DialogAK::reject()
{
    if (!restoring_)
        DialogBase::reject();
}

void DialogAK::CancelButton_Click()
{
    if (!restoring_)
        cancel();
}

} // namespace lt::overseer
