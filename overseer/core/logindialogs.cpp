#include "overseer/core/logindialogs.h"

#include "common/widgets/dialogform.h"

#include "common/datasources.h"
#include "common/dbmessages.h"
#include "common/names.h"
#include "common/sharedfiles.h"
#include "common/widgets/messages.h"
#include "common/widgets/windowregistration.h"
#include "overseer/core/consolecontext.h"
#include "overseer/core/recordsets.h"
#include "overseer/core/startup.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

namespace lt::overseer
{

LoginDialog::LoginDialog(ConsoleContext& context) : QDialog(&context.window()), context_(context)
{
    setModal(true);
    // Topmost, so that no other window hides the question.
    setWindowFlag(Qt::WindowStaysOnTopHint);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    txtUserName = new QLineEdit(this);
    txtUserName->setObjectName(QStringLiteral("txtUserName"));
    txtPassword = new QLineEdit(this);
    txtPassword->setObjectName(QStringLiteral("txtPassword"));
    txtPassword->setEchoMode(QLineEdit::Password);
    cmdOK = ui::makeButton(this, QStringLiteral("确定"), QStringLiteral("cmdOK"), true);
    cmdCancel = ui::makeButton(this, QStringLiteral("取消"), QStringLiteral("cmdCancel"));

    auto* fields = ui::fieldGrid(this,
                                 {{QStringLiteral("管理员名称："), txtUserName},
                                  {QStringLiteral("管理员口令："), txtPassword}},
                                 12);
    auto* buttons = ui::buttonRow({cmdOK, cmdCancel});
    auto* banner = new QLabel(QStringLiteral("Lantrove上网监控系统"), this);
    QFont bannerFont = banner->font();
    bannerFont.setPixelSize(20);
    bannerFont.setBold(true);
    banner->setFont(bannerFont);
    banner->setFixedHeight(56);
    banner->setContentsMargins(22, 0, 22, 0);
    banner->setStyleSheet(QStringLiteral(
        "QLabel { color: #ffd666; background: qlineargradient(x1:0, y1:0, x2:1, y2:1, "
        "stop:0 #0e2854, stop:1 #16487a); }"));
    auto* body = new QVBoxLayout;
    body->setContentsMargins(26, 20, 26, 18);
    body->addLayout(fields);
    body->addSpacing(14);
    body->addLayout(buttons);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(banner);
    layout->addLayout(body);
    setMinimumWidth(380);

    connect(cmdOK, &QPushButton::clicked, this, [this] { cmdOK_Click(); });
    connect(cmdCancel, &QPushButton::clicked, this, &LoginDialog::cmdCancel_Click);
}

void LoginDialog::cmdCancel_Click()
{
    context_.LoginPassed = false;
    context_.unload(this);
}

void LoginDialog::reject()
{
    cmdCancel_Click();
}

void LoginDialog::checkCredentials()
{
    context_.CredFilePath = credentialFilePath();
    const std::optional<Credentials> stored = readCredentialFile(context_.CredFilePath);
    if (!stored) {
        // A missing or broken file admits nobody.
        ui::message(this, QStringLiteral("系统文件被破坏!"), ui::Icon::Exclamation);
        return;
    }
    if (credentialsMatch(*stored, txtUserName->text(), txtPassword->text())) {
        context_.LoginPassed = true;
        context_.unload(this);
        return;
    }
    ui::message(this, QStringLiteral("无效的用户名或密码，请重试!"), ui::Icon::Exclamation);
    txtPassword->setFocus();
    txtPassword->setCursorPosition(0);
    txtPassword->cursorForward(true, int(txtPassword->text().size()));
}

DialogDL::DialogDL(ConsoleContext& context) : LoginDialog(context)
{
    setWindowTitle(names::kConsoleLoginTitle);
}

bool DialogDL::load()
{
    const dsn::ConnectionStrings strings = dsn::chosenConnectionStrings();
    context_.MySql = std::make_unique<CMySql>();
    CMySql& db = *context_.MySql;
    std::optional<QString> refusal;
    if (!db.Cnn0.open(strings.log))
        refusal = QStringLiteral("安全控制中心数据库连接失败");
    else if (!db.Cnn1.open(strings.config))
        refusal = QStringLiteral("数据采集监控系统连接失败");
    if (refusal) {
        ui::message(nullptr, *refusal);
        context_.LoginPassed = false;
        return false;
    }
    db.Cnn2.open(strings.log);
    if (const std::optional<QString> missing = missingCompanionMessage(context_.AppDir)) {
        ui::message(nullptr, *missing, ui::Icon::Exclamation);
        context_.LoginPassed = false;
        return false;
    }
    return true;
}

void DialogDL::cmdOK_Click()
{
    CMySql* db = context_.MySql.get();
    bool initialised = false;
    if (db) {
        db->Cnn0.clearError();
        initialised =
            executeInto(db->rst0, db->Cnn0, QStringLiteral("SELECT * FROM passwordtable"));
    }
    if (!initialised) {
        // A server that cannot be reached is not a database that was never initialised.
        if (db && db::serverUnreachable(db->Cnn0.lastError()))
            ui::message(this,
                        db::kServerUnreachable + QStringLiteral("\n详细信息：") +
                            db::failureDetail(db->Cnn0.lastError()),
                        ui::Icon::Exclamation);
        else
            ui::message(this, QStringLiteral("安全控制中心数据库没有初始化！"),
                        ui::Icon::Exclamation);
        return;
    }
    checkCredentials();
}

void DialogDL::showEvent(QShowEvent* event)
{
    context_.LoginPassed = false;
    QDialog::showEvent(event);
    // Registered once shown: scripts wait for this title to know the console is ready.
    ui::registerWindow(this);
}

void DialogDL::resizeEvent(QResizeEvent* event)
{
    context_.LoginPassed = false;
    QDialog::resizeEvent(event);
}

DialogKL::DialogKL(ConsoleContext& context) : LoginDialog(context) {}

void DialogKL::cmdOK_Click()
{
    checkCredentials();
}

} // namespace lt::overseer
