#pragma once
// Changing the administrator's name and password: the credential file is written anew with the
// trimmed name and password. The database is not touched.

#include <QDialog>

class QLineEdit;
class QPushButton;

namespace lt::overseer
{

class ConsoleContext;

// Why a change cannot be made, and which box gets the focus; an empty message means it can.
struct PasswordChangeCheck {
    enum class Focus { None, Name, Password };
    QString message;
    Focus focus = Focus::None;
    bool ok() const { return message.isEmpty(); }
};
// After the empty and confirmation checks, a name or password that the credential file cannot
// keep as typed (a comma, a leading double quote, a line break, a character outside GBK) is
// refused: written anyway it would read back as another one and lock the administrator out.
PasswordChangeCheck checkPasswordChange(const QString& name, const QString& password,
                                        const QString& confirmation);
// The message for a trimmed name or password that cannot be kept, what being "管理员名称" or
// "口令"; empty when it can be kept.
QString unstorableText(const QString& what, const QString& trimmed);

class DialogPW : public QDialog
{
    Q_OBJECT
public:
    static constexpr int kMaxLength = 16;
    explicit DialogPW(ConsoleContext& context);

    QLineEdit* txtUserName;
    QLineEdit* txtPassword0; // object name "txtPassword(0)": the password
    QLineEdit* txtPassword1; // object name "txtPassword(1)": its confirmation
    QPushButton* OKButton;
    QPushButton* CancelButton;

    void OKButton_Click();
    void CancelButton_Click();
    void reject() override;

private:
    ConsoleContext& context_;
};

} // namespace lt::overseer
