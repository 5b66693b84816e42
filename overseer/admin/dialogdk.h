#pragma once
// The port dialog: shows and replaces the capture adapter number kept in LocalPort.txt, and
// looks up, as an aid, the ports the configuration database keeps for the server and for the
// game and chat classes. A new number counts from the console's next start.

#include <QDialog>

class QComboBox;
class QLineEdit;
class QPushButton;

namespace lt::overseer
{

class ConsoleContext;

// The statement that looks up the port of a class of the dialog's list ("本机": the server).
QString portLookupStatement(const QString& item);
// The field of that statement's row that holds the port.
int portColumn(const QString& item);

class DialogDK : public QDialog
{
    Q_OBJECT
public:
    static constexpr int kMaxDigits = 5;
    // Shown at opening when LocalPort.txt holds bytes that are not GBK text.
    static inline const QString kDamagedFileText =
        QStringLiteral("LocalPort.txt 已损坏（含有无效的GBK字符），请重新输入端口号");
    explicit DialogDK(ConsoleContext& context);

    QComboBox* Text_类别;
    QLineEdit* Text_端口;
    QPushButton* OKButton;     // "确认"
    QPushButton* CancelButton; // "取消"

    void Text_类别_Click(const QString& item);
    void OKButton_Click();
    void CancelButton_Click();
    void reject() override;

private:
    QString portFilePath() const;
    ConsoleContext& context_;
};

} // namespace lt::overseer
