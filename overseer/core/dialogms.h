#pragma once
// "终端上传数据概览": one upload of the upload log, its terminal, addresses, time and content.

#include "overseer/core/dialogbase.h"

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
    explicit DialogMS(FormMain& form);

    void setRecord(const QString& terminal, const QString& ip, const QString& time,
                   const QString& url, const QString& content);

    QLabel* Label_ZD;
    QLabel* Label_IP;
    QLabel* Label_RQ;
    QLabel* LabelURL;
    QPlainTextEdit* Text_Up;
    QPushButton* Command_Print;  // "打印": printing the record comes with the printouts
    QPushButton* Command_Cancel; // "取消"
};

} // namespace lt::overseer
