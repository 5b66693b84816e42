#include "overseer/query/conditiondialogs.h"

#include "common/widgets/dialogform.h"
#include "common/widgets/messages.h"
#include "overseer/core/consolecontext.h"
#include "overseer/core/dbworker.h"
#include "overseer/query/conditionrules.h"
#include "overseer/query/pickers.h"

#include <QComboBox>
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

QComboBox* comboBox(QWidget* parent, const QString& name)
{
    auto* box = new QComboBox(parent);
    box->setObjectName(name);
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    return box;
}

QPushButton* pickButton(QWidget* parent, const QString& name)
{
    return ui::makeButton(parent, QStringLiteral("......"), name);
}

QRadioButton* option(QWidget* parent, const QString& caption, const QString& name)
{
    auto* button = new QRadioButton(caption, parent);
    button->setObjectName(name);
    return button;
}

// One frame with two option rows: option, field, optional button.
QGroupBox* frame(QWidget* parent, const QString& caption,
                 std::initializer_list<std::initializer_list<QWidget*>> rows)
{
    auto* box = new QGroupBox(caption, parent);
    auto* grid = new QGridLayout(box);
    int r = 0;
    for (const auto& row : rows) {
        int c = 0;
        for (QWidget* w : row) {
            w->setParent(box);
            grid->addWidget(w, r, c++);
        }
        ++r;
    }
    grid->setColumnStretch(1, 1);
    return box;
}

} // namespace

DialogTJ::DialogTJ(ConsoleContext& context) : DialogBase(context)
{
    setWindowTitle(QStringLiteral("日志查阅条件"));
    Option1 = option(this, QStringLiteral("终端："), QStringLiteral("Option1"));
    Text_终端 = new QLineEdit(this);
    Text_终端->setObjectName(QStringLiteral("Text_终端"));
    Text_终端->setReadOnly(true);
    Command_终端 = pickButton(this, QStringLiteral("Command_终端"));
    Option2 = option(this, QStringLiteral("组别："), QStringLiteral("Option2"));
    Combo_组别 = comboBox(this, QStringLiteral("Combo_组别"));
    Option3 = option(this, QStringLiteral("标题："), QStringLiteral("Option3"));
    Text_标题 = new QLineEdit(this);
    Text_标题->setObjectName(QStringLiteral("Text_标题"));
    makeLowerCase(Text_标题);
    Command_标题 = pickButton(this, QStringLiteral("Command_标题"));
    Option4 = option(this, QStringLiteral("类别："), QStringLiteral("Option4"));
    Combo_类别 = comboBox(this, QStringLiteral("Combo_类别"));
    Combo_结果 = comboBox(this, QStringLiteral("Combo_结果"));
    Combo_结果->addItems({QStringLiteral("放行"), QStringLiteral("阻断"), QStringLiteral("积累")});
    Combo_结果->setCurrentIndex(-1);
    Range = TimeRange::create(this, QStringLiteral("截止时间"));
    OKButton = ui::makeButton(this, QStringLiteral("确定"), QStringLiteral("OKButton"), true);
    CancelButton = ui::makeButton(this, QStringLiteral("取消"), QStringLiteral("CancelButton"));

    auto* result = new QGroupBox(QStringLiteral("处理结果"), this);
    (new QVBoxLayout(result))->addWidget(Combo_结果);
    auto* times = new QHBoxLayout;
    times->addWidget(Range.startFrame);
    times->addWidget(Range.endFrame);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(18, 14, 18, 12);
    layout->addWidget(frame(this, QStringLiteral("终端条件"),
                            {{Option1, Text_终端, Command_终端}, {Option2, Combo_组别}}));
    layout->addWidget(frame(this, QStringLiteral("类别条件"),
                            {{Option3, Text_标题, Command_标题}, {Option4, Combo_类别}}));
    layout->addWidget(result);
    layout->addLayout(times);
    layout->addLayout(ui::buttonRow({OKButton, CancelButton}));
    setMinimumWidth(420);

    Option1->setChecked(true);
    Option3->setChecked(true);
    Option_Click();
    for (QRadioButton* o : {Option1, Option2, Option3, Option4})
        connect(o, &QRadioButton::toggled, this, &DialogTJ::Option_Click);
    connect(Command_终端, &QPushButton::clicked, this, &DialogTJ::Command_终端_Click);
    connect(Command_标题, &QPushButton::clicked, this, &DialogTJ::Command_标题_Click);
    connect(OKButton, &QPushButton::clicked, this, &DialogTJ::OKButton_Click);
    connect(CancelButton, &QPushButton::clicked, this, [this] { cancel(); });
}

bool DialogTJ::run(LogQueryState& conditions)
{
    conditions_ = &conditions;
    fillLists();
    return DialogBase::run();
}

void DialogTJ::fillLists()
{
    Combo_组别->clear();
    Combo_类别->clear();
    listsPending_ = 0;
    listFailure_.clear();
    if (!context().MySql)
        return;
    // Team and Class are the first columns of their tables.
    fill(kGroupListSql, Combo_组别);
    fill(kClassListSql, Combo_类别);
}

void DialogTJ::fill(const QString& sql, QComboBox* box)
{
    DbChannel* reads = context().configReads();
    if (!reads)
        return;
    ++listsPending_;
    reads->fetch(
        {sql}, this,
        [this, box](const QList<Rows>& parts) {
            for (const QStringList& row : parts.value(0))
                box->addItem(row.value(0));
            box->setCurrentIndex(-1);
            listAnswered();
        },
        [this](const DbFailure& failure) {
            if (listFailure_.isEmpty())
                listFailure_ = failure.message.isEmpty() ? QStringLiteral(" ") : failure.message;
            listAnswered();
        });
}

void DialogTJ::listAnswered()
{
    if (--listsPending_ > 0 || listFailure_.isEmpty())
        return;
    db::Error error;
    error.set = true;
    error.message = listFailure_.trimmed();
    tellDatabaseFailure(this, error);
}

void DialogTJ::Option_Click()
{
    const bool byTerminal = Option1->isChecked();
    Text_终端->setEnabled(byTerminal);
    Command_终端->setEnabled(byTerminal);
    Combo_组别->setEnabled(!byTerminal);
    const bool byTitle = Option3->isChecked();
    Text_标题->setEnabled(byTitle);
    Command_标题->setEnabled(byTitle);
    Combo_类别->setEnabled(!byTitle);
}

void DialogTJ::Command_终端_Click()
{
    if (!conditions_)
        return;
    context().dialog<FormXZZD>().run(*conditions_);
    Text_终端->setText(conditions_->CondTermIP);
}

void DialogTJ::Command_标题_Click()
{
    FormXZWY& picker = context().dialog<FormXZWY>();
    if (picker.pick())
        Text_标题->setText(picker.PickedUrl);
}

void DialogTJ::OKButton_Click()
{
    LogConditionChoice c;
    if (Range.refused(this, QStringLiteral("截止时间")))
        return;
    c.start = Range.start();
    c.end = Range.end();
    c.byTerminal = Text_终端->isEnabled();
    c.terminal = Text_终端->text();
    c.group = Combo_组别->currentText();
    c.byTitle = Text_标题->isEnabled();
    c.title = Text_标题->text();
    c.className = Combo_类别->currentText();
    c.result = Combo_结果->currentText();
    if (conditions_)
        applyLogChoice(c, *conditions_);
    confirm();
}

} // namespace lt::overseer
