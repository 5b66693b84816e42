#pragma once
// Changing the administrator's name and password: the credential file is written anew with the
// trimmed name and password. The database is not touched.

#include <QDialog>

class QLineEdit;
class QPushButton;

namespace lt::overseer
{

class FormMain;

// Why a change cannot be made, and which box gets the focus; an empty message means it can.
struct PasswordChangeCheck {
    enum class Focus { None, Name, Password };
    QString message;
    Focus focus = Focus::None;
    bool ok() const { return message.isEmpty(); }
};
PasswordChangeCheck checkPasswordChange(const QString& name, const QString& password,
                                        const QString& confirmation);

class DialogPW : public QDialog
{
    Q_OBJECT
public:
    static constexpr int kMaxLength = 16;
    explicit DialogPW(FormMain& form);

    QLineEdit* txtUserName;
    QLineEdit* txtPassword0; // object name "txtPassword(0)": the password
    QLineEdit* txtPassword1; // object name "txtPassword(1)": its confirmation
    QPushButton* OKButton;
    QPushButton* CancelButton;

    void OKButton_Click();
    void CancelButton_Click();
    void reject() override;

private:
    FormMain& form_;
};

} // namespace lt::overseer
