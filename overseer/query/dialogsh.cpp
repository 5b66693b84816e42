#include "overseer/query/conditiondialogs.h"

#include "common/widgets/dialogform.h"
#include "common/widgets/messages.h"
#include "overseer/core/consolecontext.h"
#include "overseer/query/conditionrules.h"
#include "overseer/query/pickers.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace lt::overseer
{

namespace
{

QGroupBox* optionFrame(QWidget* parent, const QString& caption, QRadioButton* option,
                       QLineEdit* box, QPushButton* button)
{
    auto* frame = new QGroupBox(caption, parent);
    auto* row = new QHBoxLayout(frame);
    for (QWidget* w : {static_cast<QWidget*>(option), static_cast<QWidget*>(box),
                       static_cast<QWidget*>(button)}) {
        w->setParent(frame);
        row->addWidget(w);
    }
    row->setStretch(1, 1);
    return frame;
}

} // namespace

DialogSH::DialogSH(ConsoleContext& context) : DialogBase(context)
{
    setWindowTitle(QStringLiteral("上传日志查阅条件"));
    Option1 = new QRadioButton(QStringLiteral("终   端："), this);
    Option1->setObjectName(QStringLiteral("Option1"));
    Option1->setChecked(true);
    Text_终端 = new QLineEdit(this);
    Text_终端->setObjectName(QStringLiteral("Text_终端"));
    Text_终端->setReadOnly(true);
    Command_终端 = ui::makeButton(this, QStringLiteral("......"), QStringLiteral("Command_终端"));
    Option3 = new QRadioButton(QStringLiteral("关键字："), this);
    Option3->setObjectName(QStringLiteral("Option3"));
    Option3->setChecked(true);
    Text_关键字 = new QLineEdit(this);
    Text_关键字->setObjectName(QStringLiteral("Text_关键字"));
    makeLowerCase(Text_关键字);
    Command_关键字 =
        ui::makeButton(this, QStringLiteral("......"), QStringLiteral("Command_关键字"));
    Range = TimeRange::create(this, QStringLiteral("截止时间"));
    OKButton = ui::makeButton(this, QStringLiteral("确定"), QStringLiteral("OKButton"), true);
    CancelButton = ui::makeButton(this, QStringLiteral("取消"), QStringLiteral("CancelButton"));

    auto* times = new QHBoxLayout;
    times->addWidget(Range.startFrame);
    times->addWidget(Range.endFrame);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(18, 14, 18, 12);
    layout->addWidget(
        optionFrame(this, QStringLiteral("终端条件"), Option1, Text_终端, Command_终端));
    layout->addWidget(
        optionFrame(this, QStringLiteral("关键字条件"), Option3, Text_关键字, Command_关键字));
    layout->addLayout(times);
    layout->addLayout(ui::buttonRow({OKButton, CancelButton}));
    setMinimumWidth(420);

    // Each option only enables its own field again; both start enabled.
    connect(Option1, &QRadioButton::clicked, this, [this] {
        Text_终端->setEnabled(true);
        Command_终端->setEnabled(true);
    });
    connect(Option3, &QRadioButton::clicked, this, [this] {
        Text_关键字->setEnabled(true);
        Command_关键字->setEnabled(true);
    });
    connect(Command_终端, &QPushButton::clicked, this, &DialogSH::Command_终端_Click);
    connect(Command_关键字, &QPushButton::clicked, this, &DialogSH::Command_关键字_Click);
    connect(OKButton, &QPushButton::clicked, this, &DialogSH::OKButton_Click);
    connect(CancelButton, &QPushButton::clicked, this, [this] { cancel(); });
}

bool DialogSH::run(LogQueryState& conditions)
{
    conditions_ = &conditions;
    return DialogBase::run();
}

void DialogSH::Command_终端_Click()
{
    if (!conditions_)
        return;
    context().dialog<FormXZZD>().run(*conditions_);
    Text_终端->setText(conditions_->CondTermIP);
}

void DialogSH::Command_关键字_Click()
{
    FormXZWY& picker = context().dialog<FormXZWY>();
    if (picker.pick())
        Text_关键字->setText(picker.PickedUrl);
}

void DialogSH::OKButton_Click()
{
    UploadConditionChoice c;
    if (Range.refused(this, QStringLiteral("截止时间")))
        return;
    c.start = Range.start();
    c.end = Range.end();
    c.terminal = Text_终端->text();
    c.keyword = Text_关键字->text();
    if (conditions_)
        applyUploadChoice(c, *conditions_);
    confirm();
}

} // namespace lt::overseer
