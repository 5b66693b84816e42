#include "overseer/admin/dialogdk.h"

#include "common/dbmessages.h"
#include "common/widgets/dialogform.h"

#include "common/odbc.h"
#include "common/sharedfiles.h"
#include "common/widgets/messages.h"
#include "overseer/core/consolecontext.h"
#include "overseer/core/dbworker.h"
#include "overseer/core/startup.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>

namespace lt::overseer
{

QString portLookupStatement(const QString& item)
{
    if (item == QStringLiteral("本机"))
        return QStringLiteral("SELECT * FROM ServerIP");
    return QStringLiteral("SELECT * FROM ChatPort WHERE Trim(Class)='") + db::sqlEscape(item) +
           QStringLiteral("'");
}

int portColumn(const QString& item)
{
    // ServerIP(IP, Port); ChatPort(Port, Class, Flag).
    return item == QStringLiteral("本机") ? 1 : 0;
}

DialogDK::DialogDK(ConsoleContext& context) : QDialog(&context.window()), context_(context)
{
    setWindowTitle(QStringLiteral("修改系统使用端口号"));
    setModal(true);
    Text_类别 = new QComboBox(this);
    Text_类别->setObjectName(QStringLiteral("Text_类别"));
    Text_类别->addItems({QStringLiteral("本机"), QStringLiteral("游戏"), QStringLiteral("聊天")});
    Text_类别->setCurrentIndex(-1);
    Text_类别->setPlaceholderText(QStringLiteral("（查看数据库中的端口）"));
    Text_端口 = new QLineEdit(this);
    Text_端口->setObjectName(QStringLiteral("Text_端口"));
    Text_端口->setMaxLength(kMaxDigits);
    Text_端口->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), Text_端口));
    OKButton = ui::makeButton(this, QStringLiteral("确认"), QStringLiteral("OKButton"), true);
    CancelButton = ui::makeButton(this, QStringLiteral("取消"), QStringLiteral("CancelButton"));

    auto* fields = ui::fieldGrid(
        this, {{QStringLiteral("类别："), Text_类别}, {QStringLiteral("端口："), Text_端口}}, 12);
    ui::layOutForm(this, fields, {OKButton, CancelButton});

    connect(Text_类别, &QComboBox::textActivated, this, &DialogDK::Text_类别_Click);
    connect(OKButton, &QPushButton::clicked, this, &DialogDK::OKButton_Click);
    connect(CancelButton, &QPushButton::clicked, this, &DialogDK::CancelButton_Click);

    // The box starts from the file; a file that cannot be read leaves it empty, and so does a
    // damaged one, which the administrator is told about so that a new number is typed.
    const std::optional<LocalPortField> field = readLocalPortField(portFilePath());
    if (field && field->damaged)
        ui::message(this, kDamagedFileText, ui::Icon::Exclamation);
    else if (field)
        Text_端口->setText(field->value);
    Text_端口->setFocus();
    Text_端口->selectAll();
}

QString DialogDK::portFilePath() const
{
    const QString existing = lookUpInAppDir(context_.AppDir, QStringLiteral("LocalPort.txt"));
    return existing.isEmpty() ? context_.AppDir + QStringLiteral("/LocalPort.txt") : existing;
}

void DialogDK::Text_类别_Click(const QString& item)
{
    if (!context_.MySql)
        return;
    // Read beside the window; OK waits for the answer so that it keeps the number it shows.
    OKButton->setEnabled(false);
    const auto done = [this, item](const QList<Rows>& parts) {
        OKButton->setEnabled(true);
        if (!isVisible())
            return; // closed before the answer came
        const Rows& rows = parts.value(0);
        if (rows.isEmpty()) {
            ui::message(this, QStringLiteral("数据库中没有“") + item + QStringLiteral("”的端口号"),
                        ui::Icon::Exclamation);
            return;
        }
        Text_端口->setText(rows.first().value(portColumn(item)));
    };
    const auto failed = [this](const DbFailure& failure) {
        OKButton->setEnabled(true);
        if (!isVisible())
            return;
        // The database did not answer: not the same as a port that is not there.
        const db::Error error = failure.error();
        ui::message(this,
                    QStringLiteral("读取数据库中的端口号失败：") + db::failureReason(error) +
                        u'\n' + db::failureDetail(error),
                    ui::Icon::Exclamation);
    };
    readBeside(context_.configReads(), this, {portLookupStatement(item)}, done, failed);
}

void DialogDK::OKButton_Click()
{
    if (Text_端口->text().isEmpty()) {
        ui::message(this, QStringLiteral("请输入端口号"), ui::Icon::Exclamation);
        Text_端口->setFocus();
        return;
    }
    if (!writeLocalPortLine(portFilePath(), Text_端口->text())) {
        ui::message(this, QStringLiteral("写入文件 LocalPort.txt 失败，请检查程序目录是否可写"),
                    ui::Icon::Exclamation);
        return;
    }
    ui::message(this, QStringLiteral("重新开机后有效"));
    context_.unload(this);
}

void DialogDK::CancelButton_Click()
{
    context_.unload(this);
}

void DialogDK::reject()
{
    CancelButton_Click();
}

} // namespace lt::overseer
