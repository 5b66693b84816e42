#include "overseer/query/conditiondialogs.h"

#include "common/widgets/dialogform.h"

#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace lt::overseer
{

DialogFS::DialogFS(ConsoleContext& context) : DialogBase(context)
{
    setWindowTitle(QStringLiteral("日志查阅方式"));
    Frame1 = new QGroupBox(QStringLiteral("查阅条件"), this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    Option1 = new QRadioButton(QStringLiteral("当天日志"), Frame1);
    Option1->setObjectName(QStringLiteral("Option1"));
    Option1->setChecked(true);
    Option2 = new QRadioButton(QStringLiteral("其它日志"), Frame1);
    Option2->setObjectName(QStringLiteral("Option2"));
    auto* options = new QVBoxLayout(Frame1);
    options->setSpacing(10);
    options->addWidget(Option1);
    options->addWidget(Option2);
    OKButton = ui::makeButton(this, QStringLiteral("确定"), QStringLiteral("OKButton"), true);
    CancelButton = ui::makeButton(this, QStringLiteral("取消"), QStringLiteral("CancelButton"));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 16, 20, 14);
    layout->addWidget(Frame1);
    layout->addSpacing(8);
    layout->addLayout(ui::buttonRow({OKButton, CancelButton}));
    setMinimumWidth(280);

    connect(OKButton, &QPushButton::clicked, this, &DialogFS::OKButton_Click);
    connect(CancelButton, &QPushButton::clicked, this, [this] { cancel(); });
}

bool DialogFS::run(LogQueryState& conditions)
{
    conditions_ = &conditions;
    return DialogBase::run();
}

void DialogFS::OKButton_Click()
{
    if (conditions_)
        conditions_->TodayLog =
            Option1->isChecked() ? QStringLiteral("True") : QStringLiteral("False");
    confirm();
}

} // namespace lt::overseer
