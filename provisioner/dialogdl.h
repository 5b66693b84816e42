#pragma once
// The login dialog: the administrator's name and password against the credential file.

#include <QDialog>

class QLineEdit;
class QPushButton;

namespace lt::prov
{

class DialogDL : public QDialog
{
    Q_OBJECT
public:
    explicit DialogDL(QWidget* parent = nullptr);

    // Checks the files the provisioner needs before it shows itself; a missing BlackName.dat
    // ends the dialog at once with the login refused.
    int exec() override;
    bool loginAccepted() const { return loginAccepted_; }

    QLineEdit* txtUserName;
    QLineEdit* txtPassword;
    QPushButton* cmdOK;
    QPushButton* cmdCancel;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void cmdOKClicked();
    void cmdCancelClicked();
    bool loginAccepted_ = false;
};

} // namespace lt::prov
