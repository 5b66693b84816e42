#pragma once
// "终端上传数据概览": one upload of the upload log, its terminal, addresses, time and content.

#include "overseer/core/dialogbase.h"

#include <functional>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace lt::overseer
{

class DialogMS : public DialogBase
{
    Q_OBJECT
public:
    static constexpr char kName[] = "DialogMS";
    explicit DialogMS(ConsoleContext& context);

    void setRecord(const QString& terminal, const QString& ip, const QString& time,
                   const QString& url, const QString& content);

    QLabel* Label_ZD;
    QLabel* Label_IP;
    QLabel* Label_RQ;
    QLabel* LabelURL;
    QPlainTextEdit* Text_Up;
    QPushButton* Command_Print;  // "打印"
    QPushButton* Command_Cancel; // "取消"

    // How "打印" prints the record shown; the console's printing sets it (without it the
    // button stays off).
    using Printer = std::function<void(DialogMS& dialog)>;
    static void setPrinter(Printer printer);
    void Command_Print_Click();

private:
    static Printer& printer();
};

} // namespace lt::overseer
