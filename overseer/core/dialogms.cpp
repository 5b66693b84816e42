#include "overseer/core/dialogms.h"

#include "common/widgets/dialogform.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace lt::overseer
{

namespace
{

QLabel* namedLabel(QWidget* parent, const char* name)
{
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

} // namespace

DialogMS::DialogMS(ConsoleContext& context) : DialogBase(context)
{
    setWindowTitle(QStringLiteral("终端上传数据概览"));
    Label_ZD = namedLabel(this, "Label_ZD");
    Label_IP = namedLabel(this, "Label_IP");
    Label_RQ = namedLabel(this, "Label_RQ");
    LabelURL = namedLabel(this, "LabelURL");
    LabelURL->setWordWrap(true);
    Text_Up = new QPlainTextEdit(this);
    Text_Up->setObjectName(QStringLiteral("Text_Up"));
    Text_Up->setReadOnly(true);
    Command_Print = ui::makeButton(this, QStringLiteral("打印"), QStringLiteral("Command_Print"));
    Command_Print->setEnabled(bool(printer()));
    Command_Cancel =
        ui::makeButton(this, QStringLiteral("取消"), QStringLiteral("Command_Cancel"), true);

    auto* layout = new QVBoxLayout(this);
    for (QLabel* label : {Label_ZD, Label_IP, Label_RQ, LabelURL})
        layout->addWidget(label);
    layout->addWidget(Text_Up, 1);
    layout->addLayout(ui::buttonRow({Command_Print, Command_Cancel}));
    resize(560, 420);
    connect(Command_Cancel, &QPushButton::clicked, this, [this] { cancel(); });
    connect(Command_Print, &QPushButton::clicked, this, &DialogMS::Command_Print_Click);
}

DialogMS::Printer& DialogMS::printer()
{
    static Printer p;
    return p;
}

void DialogMS::setPrinter(Printer p)
{
    printer() = std::move(p);
}

void DialogMS::Command_Print_Click()
{
    if (printer())
        printer()(*this);
}

void DialogMS::setRecord(const QString& terminal, const QString& ip, const QString& time,
                         const QString& url, const QString& content)
{
    Label_ZD->setText(QStringLiteral("终端：") + terminal);
    Label_IP->setText(QStringLiteral("发地址：") + ip);
    Label_RQ->setText(QStringLiteral("时间：") + time);
    LabelURL->setText(QStringLiteral("收地址：") + url);
    Text_Up->setPlainText(content);
}

} // namespace lt::overseer
