#pragma once
// "打印参数": the page range of a log printout and where it goes (a printer or a PDF file).
// DialogPt prints the previewed browse log, DialogPS the listed upload log; they differ only in
// what they print. The printout runs beside the window, page by page, with the progress bar;
// "预览" shows the printed pages of the range before they go to paper.

#include "common/beside.h"
#include "overseer/core/dialogbase.h"
#include "overseer/query/printrender.h"

#include <atomic>
#include <memory>

class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QPrinter;

namespace lt::overseer
{

class DialogPrint : public DialogBase
{
    Q_OBJECT
public:
    DialogPrint(ConsoleContext& context, LogPrintout::Kind kind);
    ~DialogPrint() override;

    // What to print: the records of the source (`records` of them, which give TotalPages), read
    // on a connection of the dialog's own.
    void setSource(const PrintSource& source, qint64 records, const QString& connectionString);
    int TotalPages = 0;

    QLabel* Label_纸张;
    QLabel* Label_方向;
    QLabel* Label_页数;
    QLineEdit* Text_起始;
    QLineEdit* Text_终止;
    QComboBox* Combo_打印机;
    QLabel* Label_打印机; // why only a PDF can be written
    QProgressBar* ProgressBar1;
    QPushButton* Command_Preview; // "预览"
    QPushButton* OKButton;
    QPushButton* CancelButton;

    void OKButton_Click();
    void Command_Preview_Click();
    void CancelButton_Click();
    bool printing() const { return printing_; }
    // The outcome of the last printout.
    const PrintOutcome& outcome() const { return outcome_; }

    void reject() override;

signals:
    void printed();

private:
    bool pageRange(int* first, int* last);
    std::optional<PrintTarget> chooseTarget();
    void printFinished();
    LogPrintout::Kind kind_;
    PrintSource source_;
    QString connection_;
    std::unique_ptr<QPrinter> printer_;
    bool printing_ = false;
    std::atomic<bool> cancel_{false};
    PrintOutcome outcome_;
    std::unique_ptr<WorkThread> work_; // last: gone first, after the printout in hand
};

class DialogPt : public DialogPrint
{
    Q_OBJECT
public:
    static constexpr char kName[] = "DialogPt";
    explicit DialogPt(ConsoleContext& context) : DialogPrint(context, LogPrintout::Kind::Browse) {}
};

class DialogPS : public DialogPrint
{
    Q_OBJECT
public:
    static constexpr char kName[] = "DialogPS";
    explicit DialogPS(ConsoleContext& context) : DialogPrint(context, LogPrintout::Kind::Upload) {}
};

} // namespace lt::overseer
