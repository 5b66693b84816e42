#include "overseer/admin/terminaldialogs.h"

#include "common/cmysql.h"
#include "common/gbk.h"
#include "common/widgets/dialogform.h"
#include "common/widgets/messages.h"
#include "overseer/admin/adminrules.h"
#include "overseer/admin/adminstore.h"
#include "overseer/admin/adminviews.h"
#include "overseer/core/consolecontext.h"
#include "overseer/core/dbworker.h"
#include "overseer/core/progressnotice.h"

#include <QApplication>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <functional>

namespace lt::overseer::admin
{

namespace
{

QLineEdit* lineEdit(QWidget* parent, const QString& name)
{
    auto* box = new QLineEdit(parent);
    box->setObjectName(name);
    return box;
}

QComboBox* comboBox(QWidget* parent, const QString& name, const QStringList& items = {})
{
    auto* box = new QComboBox(parent);
    box->setObjectName(name);
    box->addItems(items);
    return box;
}

void say(QWidget* parent, const QString& text, QWidget* focus = nullptr,
         ui::Icon icon = ui::Icon::None)
{
    ui::message(parent, text, icon);
    if (focus)
        focus->setFocus();
}

// The group names for a combo box, read beside the window: the box is empty and disabled until
// they come; a message when they cannot be read.
void fillGroups(QWidget* dialog, ConsoleContext& context, QComboBox* combo)
{
    fillBeside(context.configReads(), combo, sql::groupNames(), [dialog](const DbFailure& failure) {
        say(dialog, QStringLiteral("组别未能读取。\n") + describeFailure(failure), nullptr,
            ui::Icon::Exclamation);
    });
}

// A name the configuration file cannot carry is refused with the reason, the focus on its box.
bool refused(QWidget* dialog, const QString& field, QLineEdit* box, const QString& text)
{
    const QString why = refusedCharacterMessage(field, text);
    if (!why.isEmpty())
        say(dialog, why, box, ui::Icon::Exclamation);
    return !why.isEmpty();
}

// A name or address already in the table gets the dialog's own message and the focus on its box.
struct TakenCheck {
    QString count;
    QString message;
    QWidget* focus;
};

// Looks the names up in the table beside the window, OK held meanwhile; free() continues the
// action when none is taken. A failure is reported and nothing follows, the focus on the first
// box, so a name is never added unchecked.
void unlessTaken(QWidget* dialog, ConsoleContext& context, QPushButton* ok,
                 const QList<TakenCheck>& checks, std::function<void()> free,
                 ui::Icon icon = ui::Icon::None)
{
    QStringList counts;
    for (const TakenCheck& check : checks)
        counts << check.count;
    const auto answered = [dialog, checks, free, icon](const QList<bool>& found) {
        for (int i = 0; i < checks.size(); ++i) {
            if (found.value(i))
                return say(dialog, checks[i].message, checks[i].focus, icon);
        }
        free();
    };
    const auto failed = [dialog, focus = checks.value(0).focus](const QString& why) {
        say(dialog, QStringLiteral("无法检查名称是否重复。\n") + why, focus, ui::Icon::Exclamation);
    };
    countBeside(context, dialog, ok, counts, answered, failed);
}

} // namespace

void limitBytes(QLineEdit* box, int bytes)
{
    QObject::connect(box, &QLineEdit::textChanged, box, [box, bytes](const QString& text) {
        if (gbk::byteWidth(text) > bytes)
            box->setText(gbk::leftBytes(text, bytes));
    });
}

// ---- add terminal -------------------------------------------------------------------------

DialogZJ::DialogZJ(ConsoleContext& context) : DialogBase(context)
{
    setWindowTitle(QStringLiteral("增加终端"));
    Text_名称 = lineEdit(this, QStringLiteral("Text_名称"));
    limitBytes(Text_名称, kNameBytes);
    auto* address = new QHBoxLayout;
    address->setSpacing(2);
    for (int i = 0; i < 4; ++i) {
        Text_IP[i] = lineEdit(this, QStringLiteral("Text_IP%1").arg(i + 1));
        Text_IP[i]->setMaxLength(kOctetChars);
        Text_IP[i]->setFixedWidth(46);
        Text_IP[i]->setAlignment(Qt::AlignCenter);
        if (i)
            address->addWidget(new QLabel(QStringLiteral("．"), this));
        address->addWidget(Text_IP[i]);
        connect(Text_IP[i], &QLineEdit::textChanged, this, [this, i] { Text_IP_Change(i); });
    }
    address->addStretch();
    auto* addressField = new QWidget(this);
    addressField->setLayout(address);
    address->setContentsMargins(0, 0, 0, 0);
    Text_组别 = comboBox(this, QStringLiteral("Text_组别"));
    OKButton = ui::makeButton(this, QStringLiteral("增加"), QStringLiteral("OKButton"), true);
    CancelButton = ui::makeButton(this, QStringLiteral("关闭"), QStringLiteral("CancelButton"));

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(ui::fieldGrid(this, {{QStringLiteral("终端："), Text_名称},
                                           {QStringLiteral("ＩＰ："), addressField},
                                           {QStringLiteral("组别："), Text_组别}}));
    layout->addLayout(ui::buttonRow({OKButton, CancelButton}));
    setMinimumWidth(340);
    connect(OKButton, &QPushButton::clicked, this, &DialogZJ::OKButton_Click);
    connect(CancelButton, &QPushButton::clicked, this, [this] { cancel(); });
}

bool DialogZJ::run(AdminListView& view)
{
    view_ = &view;
    fillGroups(this, context(), Text_组别);
    Text_名称->setFocus();
    return DialogBase::run();
}

void DialogZJ::Text_IP_Change(int box)
{
    QLineEdit* edit = Text_IP[box];
    const OctetEdit result = octetRule(edit->text(), box == 3);
    if (result.changed) {
        edit->setText(result.text);
        edit->setFocus();
    }
    if (result.beep)
        QApplication::beep();
    if (result.advance)
        Text_IP[box + 1]->setFocus();
}

void DialogZJ::OKButton_Click()
{
    Text_名称->setText(Text_名称->text().trimmed());
    for (QLineEdit* octet : Text_IP)
        octet->setText(octet->text().trimmed());
    const QString name = Text_名称->text();
    const QString group = Text_组别->currentText().trimmed();
    if (name.isEmpty())
        return say(this, QStringLiteral("请填写终端"), Text_名称);
    if (group.isEmpty())
        return say(this, QStringLiteral("请填写组别"), Text_组别);
    QStringList octets;
    for (int i = 0; i < 4; ++i) {
        if (Text_IP[i]->text().isEmpty())
            return say(this, QStringLiteral("请填写ＩＰ%1").arg(i + 1), Text_IP[i]);
        octets << Text_IP[i]->text();
    }
    if (refused(this, QStringLiteral("终端名称"), Text_名称, name))
        return;
    const QString address = octets.join(u'.');
    for (const QStringList& row : view_->listModel().rows()) {
        if (row.value(0) == name)
            return say(this, QStringLiteral("名称不要重复"), Text_名称);
        if (row.value(1) == address)
            return say(this, QStringLiteral("地址不能重复"), Text_IP[0]);
    }
    unlessTaken(this, context(), OKButton,
                {{sql::terminalNameCount(name, sql::Match::Exact), QStringLiteral("名称不要重复"),
                  Text_名称},
                 {sql::terminalAddressCount(address), QStringLiteral("地址不能重复"), Text_IP[0]}},
                [this, name, address, group] { add(name, address, group); });
}

void DialogZJ::add(const QString& name, const QString& address, const QString& group)
{
    db::Connection* config = configConnection(context().MySql.get());
    const QString what = QStringLiteral("终端未能增加。");
    const Outcome added = config ? runOne(*config, sql::insertTerminal(name, address, group), what)
                                 : notConnected(what);
    if (!added)
        return view_->reportFailure(this, added);
    view_->addRow({name, address, group});
    Text_名称->clear();
    for (QLineEdit* octet : Text_IP)
        octet->clear();
    Text_名称->setFocus();
}

// ---- add group ----------------------------------------------------------------------------

DialogZb::DialogZb(ConsoleContext& context) : DialogBase(context)
{
    setWindowTitle(QStringLiteral("组别管理"));
    Text_组别 = lineEdit(this, QStringLiteral("Text_组别"));
    limitBytes(Text_组别, kNameBytes);
    Text_日志 = comboBox(this, QStringLiteral("Text_日志"), accessModeLabels());
    Text_上传 = comboBox(this, QStringLiteral("Text_上传"), uploadModeLabels());
    OKButton = ui::makeButton(this, QStringLiteral("增加"), QStringLiteral("OKButton"), true);
    CancelButton = ui::makeButton(this, QStringLiteral("关闭"), QStringLiteral("CancelButton"));
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(ui::fieldGrid(this, {{QStringLiteral("组别名称："), Text_组别},
                                           {QStringLiteral("访问日志："), Text_日志},
                                           {QStringLiteral("上传日志："), Text_上传}}));
    layout->addLayout(ui::buttonRow({OKButton, CancelButton}));
    setMinimumWidth(300);
    connect(OKButton, &QPushButton::clicked, this, &DialogZb::OKButton_Click);
    connect(CancelButton, &QPushButton::clicked, this, [this] { cancel(); });
}

bool DialogZb::run(AdminListView& view)
{
    view_ = &view;
    Text_日志->setCurrentText(QStringLiteral("全记"));
    Text_上传->setCurrentText(QStringLiteral("全记"));
    Text_组别->setFocus();
    return DialogBase::run();
}

void DialogZb::OKButton_Click()
{
    const QString name = Text_组别->text().trimmed();
    Text_组别->setText(name);
    if (name.isEmpty())
        return say(this, QStringLiteral("组名不能为空"), Text_组别);
    if (refused(this, QStringLiteral("组别名称"), Text_组别, name))
        return;
    if (view_->listHas(0, name, Qt::CaseSensitive))
        return say(this, QStringLiteral("组名不能重复"), Text_组别);
    unlessTaken(
        this, context(), OKButton,
        {{sql::groupNameCount(name, sql::Match::Exact), QStringLiteral("组名不能重复"), Text_组别}},
        [this, name] { add(name); });
}

void DialogZb::add(const QString& name)
{
    const QString access = Text_日志->currentText();
    const QString upload = Text_上传->currentText();
    db::Connection* config = configConnection(context().MySql.get());
    const QString what = QStringLiteral("组别未能增加。");
    const Outcome added =
        config ? runOne(*config, sql::insertGroup(name, logModeCode(access), logModeCode(upload)),
                        what)
               : notConnected(what);
    if (!added)
        return view_->reportFailure(this, added);
    view_->addRow({name, access, upload});
    Text_组别->clear();
    Text_组别->setFocus();
}

// ---- assign group -------------------------------------------------------------------------

DialogFP::DialogFP(ConsoleContext& context) : DialogBase(context)
{
    setWindowTitle(QStringLiteral("组别分配"));
    Combo_组别 = comboBox(this, QStringLiteral("Combo_组别"));
    OKButton = ui::makeButton(this, QStringLiteral("确认"), QStringLiteral("OKButton"), true);
    CancelButton = ui::makeButton(this, QStringLiteral("取消"), QStringLiteral("CancelButton"));
    OKButton->setEnabled(false);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(ui::fieldGrid(this, {{QStringLiteral("组别："), Combo_组别}}));
    layout->addLayout(ui::buttonRow({OKButton, CancelButton}));
    setMinimumWidth(280);
    connect(Combo_组别, &QComboBox::activated, this, [this] { OKButton->setEnabled(true); });
    connect(OKButton, &QPushButton::clicked, this, &DialogFP::OKButton_Click);
    connect(CancelButton, &QPushButton::clicked, this, [this] { cancel(); });
}

bool DialogFP::run(AdminListView& view)
{
    view_ = &view;
    fillGroups(this, context(), Combo_组别);
    OKButton->setEnabled(false);
    return DialogBase::run();
}

void DialogFP::OKButton_Click()
{
    const QString group = Combo_组别->currentText().trimmed();
    const QList<int> rows = view_->selectedRows();
    QStringList statements;
    for (int row : rows)
        statements << sql::assignGroup(group, view_->listModel().text(row, 1));
    if (!statements.isEmpty()) {
        db::Connection* config = configConnection(context().MySql.get());
        const QString what = QStringLiteral("终端未能分配到组别。");
        const Outcome done = config ? runAll(*config, statements, what) : notConnected(what);
        if (!done)
            return view_->reportFailure(this, done);
        for (int row : rows)
            view_->setRowText(row, 2, group);
    }
    confirm();
}

// ---- rename -------------------------------------------------------------------------------

DialogRN::DialogRN(ConsoleContext& context) : DialogBase(context)
{
    Text_Name = lineEdit(this, QStringLiteral("Text_Name"));
    limitBytes(Text_Name, kNameBytes);
    OKButton = ui::makeButton(this, QStringLiteral("确定"), QStringLiteral("OKButton"), true);
    CancelButton = ui::makeButton(this, QStringLiteral("取消"), QStringLiteral("CancelButton"));
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(ui::fieldGrid(this, {{QStringLiteral("名称："), Text_Name}}));
    layout->addLayout(ui::buttonRow({OKButton, CancelButton}));
    setMinimumWidth(280);
    connect(OKButton, &QPushButton::clicked, this, &DialogRN::OKButton_Click);
    connect(CancelButton, &QPushButton::clicked, this, [this] { cancel(); });
}

bool DialogRN::run(AdminListView& view, const QString& caption)
{
    view_ = &view;
    setWindowTitle(caption);
    Text_Name->setText(view.currentText().trimmed());
    Text_Name->selectAll();
    Text_Name->setFocus();
    return DialogBase::run();
}

void DialogRN::OKButton_Click()
{
    const QString name = Text_Name->text().trimmed();
    if (name.isEmpty())
        return Text_Name->setFocus();
    const bool terminal = view_->name() == QStringLiteral("显示终端配置");
    if (refused(this, terminal ? QStringLiteral("终端名称") : QStringLiteral("组别名称"), Text_Name,
                name))
        return;
    const QString taken = QStringLiteral("此名称已存在，不可重复使用！");
    if (view_->listHas(0, name, Qt::CaseSensitive, true))
        return say(this, taken, Text_Name, ui::Icon::Exclamation);
    const QString count = terminal ? sql::terminalNameCount(name, sql::Match::Exact)
                                   : sql::groupNameCount(name, sql::Match::Exact);
    unlessTaken(
        this, context(), OKButton, {{count, taken, Text_Name}},
        [this, name, row = view_->currentRow()] { rename(row, name); }, ui::Icon::Exclamation);
}

void DialogRN::rename(int row, const QString& name)
{
    if (row < 0 || !context().MySql)
        return say(this, db::kServerUnreachable, nullptr, ui::Icon::Exclamation);
    Outcome done;
    {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        ProgressNotice notice(context().ProgressExePath, QStringLiteral("更新"));
        if (view_->name() == QStringLiteral("显示终端配置"))
            done = renameTerminal(*context().MySql, name, view_->listModel().text(row, 1));
        else if (view_->name() == QStringLiteral("显示组别配置"))
            done = renameGroup(*context().MySql, name, view_->listModel().text(row, 0).trimmed());
        QApplication::restoreOverrideCursor();
    }
    if (done || done.partly)
        view_->setRowText(row, 0, name);
    if (!done) {
        view_->reportFailure(this, done);
        if (!done.partly)
            return;
    }
    confirm();
}

} // namespace lt::overseer::admin
