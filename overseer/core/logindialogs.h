#pragma once
// The administrator's login at start-up (DialogDL) and the unlock before a protected setting
// (DialogKL). Both compare the typed name and password with the credential file; the login
// dialog also opens the console's connections and checks its companion files when it loads.

#include <QDialog>

class QLineEdit;
class QPushButton;

namespace lt::overseer
{

class ConsoleContext;

class LoginDialog : public QDialog
{
    Q_OBJECT
public:
    explicit LoginDialog(ConsoleContext& context);

    QLineEdit* txtUserName;
    QLineEdit* txtPassword;
    QPushButton* cmdOK;
    QPushButton* cmdCancel;

    void cmdCancel_Click();
    void reject() override; // Escape and the close box: as "取消"

protected:
    // Reads the credential file and compares; on a match the administrator is accepted and the
    // dialog unloads, otherwise the reason is shown and the dialog stays.
    void checkCredentials();
    virtual void cmdOK_Click() = 0;
    ConsoleContext& context_;
};

class DialogDL : public LoginDialog
{
    Q_OBJECT
public:
    explicit DialogDL(ConsoleContext& context);
    // Opens the three connections and checks the companion files. False when the console
    // cannot go on: the reason has been shown and the login is refused.
    bool load();
    void cmdOK_Click() override;

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
};

class DialogKL : public LoginDialog
{
    Q_OBJECT
public:
    explicit DialogKL(ConsoleContext& context);
    void cmdOK_Click() override;
};

} // namespace lt::overseer
