#include "overseer/core/dialogpw.h"

#include "common/widgets/dialogform.h"

#include "common/sharedfiles.h"
#include "common/widgets/messages.h"
#include "overseer/core/consolecontext.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace lt::overseer
{

QString unstorableText(const QString& what, const QString& trimmed)
{
    using Kind = CredentialFieldProblem::Kind;
    const CredentialFieldProblem problem = credentialFieldProblem(trimmed);
    switch (problem.kind) {
    case Kind::None:
        return {};
    case Kind::Comma:
        return what + QStringLiteral("不能含有逗号“,”");
    case Kind::LeadingQuote:
        return what + QStringLiteral("不能以双引号“\"”开头");
    case Kind::LineBreak:
        return what + QStringLiteral("不能含有换行符");
    case Kind::NotGbk:
        return what + QStringLiteral("中的字符“") + problem.character +
               QStringLiteral("”无法保存，请换用其他字符");
    }
    return {};
}

PasswordChangeCheck checkPasswordChange(const QString& name, const QString& password,
                                        const QString& confirmation)
{
    using Focus = PasswordChangeCheck::Focus;
    if (name.trimmed().isEmpty())
        return {QStringLiteral("管理员名称不能为空"), Focus::Name};
    if (password.trimmed().isEmpty())
        return {QStringLiteral("口令不能为空"), Focus::Password};
    if (password.trimmed() != confirmation)
        return {QStringLiteral("两次输入口令不一致 "), Focus::Password};
    if (const QString why = unstorableText(QStringLiteral("管理员名称"), name.trimmed());
        !why.isEmpty())
        return {why, Focus::Name};
    if (const QString why = unstorableText(QStringLiteral("口令"), password.trimmed());
        !why.isEmpty())
        return {why, Focus::Password};
    return {};
}

DialogPW::DialogPW(ConsoleContext& context) : QDialog(&context.window()), context_(context)
{
    setWindowTitle(QStringLiteral("更改管理员名称和口令"));
    setModal(true);
    txtUserName = new QLineEdit(this);
    txtUserName->setObjectName(QStringLiteral("txtUserName"));
    txtPassword0 = new QLineEdit(this);
    txtPassword0->setObjectName(QStringLiteral("txtPassword(0)"));
    txtPassword1 = new QLineEdit(this);
    txtPassword1->setObjectName(QStringLiteral("txtPassword(1)"));
    for (QLineEdit* box : {txtUserName, txtPassword0, txtPassword1})
        box->setMaxLength(kMaxLength);
    txtPassword0->setEchoMode(QLineEdit::Password);
    txtPassword1->setEchoMode(QLineEdit::Password);
    OKButton = ui::makeButton(this, QStringLiteral("确定"), QStringLiteral("OKButton"), true);
    CancelButton = ui::makeButton(this, QStringLiteral("取消"), QStringLiteral("CancelButton"));

    auto* fields = ui::fieldGrid(this, {{QStringLiteral("名称："), txtUserName},
                                        {QStringLiteral("口令："), txtPassword0},
                                        {QStringLiteral("确认："), txtPassword1}});
    ui::layOutForm(this, fields, {OKButton, CancelButton});

    connect(OKButton, &QPushButton::clicked, this, &DialogPW::OKButton_Click);
    connect(CancelButton, &QPushButton::clicked, this, &DialogPW::CancelButton_Click);
}

void DialogPW::OKButton_Click()
{
    const PasswordChangeCheck check =
        checkPasswordChange(txtUserName->text(), txtPassword0->text(), txtPassword1->text());
    if (!check.ok()) {
        ui::message(this, check.message);
        if (check.focus == PasswordChangeCheck::Focus::Name)
            txtUserName->setFocus();
        else
            txtPassword0->setFocus();
        return;
    }
    if (context_.CredFilePath.isEmpty())
        context_.CredFilePath = credentialFilePath();
    if (!writeCredentialFile(context_.CredFilePath, txtUserName->text(), txtPassword0->text())) {
        // Saying nothing would leave the administrator believing in a password that was never
        // stored; the old name and password stay valid.
        ui::message(this, QStringLiteral("无法写入系统文件，管理员名称和口令没有改变"),
                    ui::Icon::Exclamation);
        return;
    }
    context_.unload(this);
}

void DialogPW::CancelButton_Click()
{
    context_.unload(this);
}

void DialogPW::reject()
{
    CancelButton_Click();
}

} // namespace lt::overseer
