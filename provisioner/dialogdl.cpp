#include "provisioner/dialogdl.h"

#include "common/widgets/dialogform.h"

#include "common/widgets/messages.h"
#include "provisioner/provisioning.h"
#include "provisioner/texts.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace lt::prov
{

DialogDL::DialogDL(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("DialogDL"));
    setWindowTitle(text::kLoginCaption);

    txtUserName = new QLineEdit(this);
    txtUserName->setObjectName(QStringLiteral("txtUserName"));
    txtPassword = new QLineEdit(this);
    txtPassword->setObjectName(QStringLiteral("txtPassword"));
    txtPassword->setEchoMode(QLineEdit::Password);
    cmdOK = ui::makeButton(this, text::kOk, QStringLiteral("cmdOK"), true);
    cmdCancel = ui::makeButton(this, text::kCancel, QStringLiteral("cmdCancel"));

    auto* grid = ui::fieldGrid(
        this, {{text::kUserNameLabel, txtUserName}, {text::kPasswordLabel, txtPassword}});
    auto* buttons = ui::buttonRow({cmdOK, cmdCancel});
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);
    setMinimumWidth(320);

    connect(cmdOK, &QPushButton::clicked, this, [this] { cmdOKClicked(); });
    connect(cmdCancel, &QPushButton::clicked, this, [this] { cmdCancelClicked(); });
}

int DialogDL::exec()
{
    loginAccepted_ = false;
    if (!blackNameFilePresent()) {
        ui::message(nullptr, text::kBlackNameMissing, ui::Icon::Exclamation);
        return QDialog::Rejected;
    }
    return QDialog::exec();
}

void DialogDL::resizeEvent(QResizeEvent* event)
{
    loginAccepted_ = false; // only the button accepts, after the dialog has its size
    QDialog::resizeEvent(event);
}

void DialogDL::cmdOKClicked()
{
    switch (checkLogin(txtUserName->text(), txtPassword->text())) {
    case Login::Accepted:
        loginAccepted_ = true;
        accept();
        return;
    case Login::Invalid:
        ui::message(this, text::kInvalidLogin, ui::Icon::Exclamation);
        txtPassword->setFocus();
        txtPassword->selectAll();
        return;
    case Login::FileBroken:
        ui::message(this, text::kSystemFileBroken, ui::Icon::Exclamation);
        loginAccepted_ = false;
        reject();
        return;
    }
}

void DialogDL::cmdCancelClicked()
{
    loginAccepted_ = false;
    reject();
}

} // namespace lt::prov
