#include "overseer/core/dialogak.h"
#include "common/names.h"

#include "common/widgets/dialogform.h"

#include "common/processes.h"
#include "common/windowdirectory.h"
#include "overseer/core/formmain.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace lt::overseer
{

void stopMonitoringSystem()
{
    if (const auto analyser = win::findWindow(kAnalyserTitle))
        win::setTitle(analyser->id, names::kExitTitle);
    proc::killProcess(names::kKeeperExe);
    QCoreApplication::processEvents();
    proc::killProcess(names::kMonitorExe);
    QCoreApplication::processEvents();
    proc::killProcess(names::kBlockerExe);
}

DialogAK::DialogAK(FormMain& form) : DialogBase(form)
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

void DialogAK::OKButton_Click()
{
    if (Option1->text() == kQuitConsoleOnly) {
        if (Option2->isChecked())
            stopMonitoringSystem();
    } else if (restoreProcedure) {
        restoreProcedure(*this);
    }
    confirm();
}

void DialogAK::CancelButton_Click()
{
    cancel();
}

} // namespace lt::overseer
