#include "logkeeper/keeperwindow.h"

#include "common/dbmessages.h"
#include "common/processes.h"
#include "common/widgets/messages.h"
#include "common/widgets/windowregistration.h"
#include "logkeeper/keeper.h"
#include "logkeeper/report.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFormLayout>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

namespace lt::keeper
{

KeeperWindow::KeeperWindow(Keeper& keeper, QWidget* parent) : QWidget(parent), keeper_(keeper)
{
    setObjectName(QStringLiteral("FormMain"));
    setWindowTitle(kWindowTitle);
    auto* layout = new QVBoxLayout(this);

    auto* heading =
        new QLabel(QStringLiteral("各日志表保留的最多行数（每天 03:00 清理最旧的记录）"), this);
    heading->setWordWrap(true);
    layout->addWidget(heading);
    auto* form = new QFormLayout;
    const Limits& limits = keeper.limits();
    Text_Lg = addLimitRow(form, "Text_Lg", QStringLiteral("浏览日志："), limits.log);
    Text_Up = addLimitRow(form, "Text_Up", QStringLiteral("上传日志："), limits.upload);
    Text_Wb = addLimitRow(form, "Text_Wb", QStringLiteral("最近访问："), limits.web);
    layout->addLayout(form);

    auto* buttons = new QHBoxLayout;
    Command1 = new QPushButton(QStringLiteral("确定"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setDefault(true);
    Command_Hide = new QPushButton(QStringLiteral("隐藏"), this);
    Command_Hide->setObjectName(QStringLiteral("Command_Hide"));
    buttons->addStretch();
    buttons->addWidget(Command1);
    buttons->addWidget(Command_Hide);
    layout->addLayout(buttons);

    auto* line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    layout->addWidget(line);
    Label_Database = new QLabel(this);
    Label_Database->setObjectName(QStringLiteral("Label_Database"));
    Label_Database->setWordWrap(true);
    Label_LastPass = new QLabel(this);
    Label_LastPass->setObjectName(QStringLiteral("Label_LastPass"));
    Label_LastPass->setWordWrap(true);
    Label_Modules = new QLabel(this);
    Label_Modules->setObjectName(QStringLiteral("Label_Modules"));
    Label_Modules->setWordWrap(true);
    layout->addWidget(Label_Database);
    layout->addWidget(Label_LastPass);
    layout->addWidget(Label_Modules);
    layout->addStretch();
    setMinimumWidth(520);

    connect(Command1, &QPushButton::clicked, this, &KeeperWindow::Command1_Click);
    connect(Command_Hide, &QPushButton::clicked, this, &KeeperWindow::Command_Hide_Click);
    connect(&keeper_, &Keeper::passStarted, this,
            [this] { Label_LastPass->setText(QStringLiteral("正在清理日志表……")); });
    connect(&keeper_, &Keeper::passFinished, this, &KeeperWindow::refreshPass);
    connect(&keeper_, &Keeper::databaseStatusChanged, this, &KeeperWindow::refreshDatabase);
    connect(&keeper_, &Keeper::watchdogTicked, this, &KeeperWindow::refreshModules);
    refreshPass();
    refreshDatabase();
    refreshModules();
}

QLineEdit* KeeperWindow::addLimitRow(QFormLayout* form, const char* name, const QString& label,
                                     qint32 value)
{
    auto* box = new QLineEdit(QString::number(value), this);
    box->setObjectName(QString::fromLatin1(name));
    // Digits only, as typed or pasted.
    box->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), box));
    auto* caption = new QLabel(label, this);
    caption->setObjectName(QStringLiteral("Label_") + QString::fromLatin1(name).mid(5));
    form->addRow(caption, box);
    return box;
}

void KeeperWindow::showAndRegister()
{
    // Shown before it registers, so that the directory never lists it hidden when it is not.
    if (!proc::startedHidden())
        show();
    ui::registerWindow(this);
}

LimitEntry KeeperWindow::applyBox(QLineEdit* box, qint32 minimum, qint32 previous)
{
    const LimitEntry entry = applyLimitText(box->text(), minimum, previous);
    if (entry.outcome != LimitEntry::Taken)
        box->setText(entry.text);
    return entry;
}

void KeeperWindow::Command1_Click()
{
    const Limits old = keeper_.limits();
    const LimitEntry lg = applyBox(Text_Lg, kMinLog, old.log);
    const LimitEntry up = applyBox(Text_Up, kMinUpload, old.upload);
    const LimitEntry wb = applyBox(Text_Wb, kMinWeb, old.web);
    keeper_.setLimits({lg.value, up.value, wb.value});

    QStringList kept;
    if (lg.outcome == LimitEntry::KeptPrevious)
        kept << QStringLiteral("浏览日志");
    if (up.outcome == LimitEntry::KeptPrevious)
        kept << QStringLiteral("上传日志");
    if (wb.outcome == LimitEntry::KeptPrevious)
        kept << QStringLiteral("最近访问");
    if (!kept.isEmpty())
        ui::message(this,
                    kept.join(QStringLiteral("、")) +
                        QStringLiteral("的行数超出范围（最大 2147483647），仍用原来的设置。"),
                    ui::Icon::Exclamation);
    hide();
}

void KeeperWindow::Command_Hide_Click()
{
    hide();
}

void KeeperWindow::closeEvent(QCloseEvent* event)
{
    event->accept();
    QCoreApplication::quit();
}

namespace
{

// The reasons in the label; the driver's words behind them in its tool tip.
void showReasons(QLabel* label, const QString& text)
{
    const db::MessageParts parts = db::splitDriverWords(text);
    label->setText(parts.text);
    label->setToolTip(parts.detail);
}

} // namespace

void KeeperWindow::refreshPass()
{
    const auto& pass = keeper_.lastPass();
    showReasons(Label_LastPass,
                pass ? passSummary(*pass) : QStringLiteral("上次清理：本次启动后尚未清理"));
}

void KeeperWindow::refreshDatabase()
{
    showReasons(Label_Database, databaseLine(keeper_.databaseStatus()));
}

void KeeperWindow::refreshModules()
{
    Label_Modules->setText(modulesSummary(keeper_.watchdog()));
}

} // namespace lt::keeper
