#pragma once
// The condition dialogs: how much of a log to look at (DialogFS), the access-log conditions
// (DialogTJ), the upload-log conditions (DialogSH) and the visit statistics options (DialogFW).
// They query no log: a confirmed dialog rewrites the query conditions it is run with, and the
// caller goes on only when run() returned true ("确定").
//
//     LogQueryState& conditions = ...;            // the console's one set
//     if (form.dialog<DialogFS>().run(conditions) && conditions.TodayLog != "True" &&
//         form.dialog<DialogTJ>().run(conditions)) ...

#include "overseer/core/dialogbase.h"
#include "overseer/query/conditionwidgets.h"
#include "overseer/query/logquery.h"

#include <QList>

class QComboBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QStatusBar;

namespace lt::overseer
{

// "日志查阅方式": today's log only, or other logs by conditions.
class DialogFS : public DialogBase
{
    Q_OBJECT
public:
    static constexpr char kName[] = "DialogFS";
    explicit DialogFS(ConsoleContext& context);
    // "确定" sets TodayLog to "True" (Option1) or "False".
    bool run(LogQueryState& conditions);

    QGroupBox* Frame1;
    QRadioButton* Option1; // "当天日志"
    QRadioButton* Option2; // "其它日志"
    QPushButton* OKButton;
    QPushButton* CancelButton;

    void OKButton_Click();

private:
    LogQueryState* conditions_ = nullptr;
};

// "日志查阅条件": terminal or group, title or class, result, and the time range.
class DialogTJ : public DialogBase
{
    Q_OBJECT
public:
    static constexpr char kName[] = "DialogTJ";
    explicit DialogTJ(ConsoleContext& context);
    // The group and class lists are read beside the window when it runs; they fill in when the
    // database has answered, the dialog answering meanwhile.
    bool run(LogQueryState& conditions);
    // Both lists have been read (or their reading failed and was reported).
    bool listsRead() const { return listsPending_ == 0; }

    QRadioButton* Option1; // terminal
    QLineEdit* Text_终端;
    QPushButton* Command_终端;
    QRadioButton* Option2; // group
    QComboBox* Combo_组别;
    QRadioButton* Option3; // title
    QLineEdit* Text_标题;
    QPushButton* Command_标题;
    QRadioButton* Option4; // class
    QComboBox* Combo_类别;
    QComboBox* Combo_结果;
    TimeRange Range;
    QPushButton* OKButton;
    QPushButton* CancelButton;

    void Option_Click();
    void Command_终端_Click();
    void Command_标题_Click();
    void OKButton_Click();

private:
    void fillLists();
    void fill(const QString& sql, QComboBox* box);
    void listAnswered();
    LogQueryState* conditions_ = nullptr;
    int listsPending_ = 0;
    QString listFailure_; // the first failure of the reading, reported once both answered
};

// "上传日志查阅条件": terminal and keyword of the upload log, and the time range.
class DialogSH : public DialogBase
{
    Q_OBJECT
public:
    static constexpr char kName[] = "DialogSH";
    explicit DialogSH(ConsoleContext& context);
    bool run(LogQueryState& conditions);

    QRadioButton* Option1; // terminal
    QLineEdit* Text_终端;
    QPushButton* Command_终端;
    QRadioButton* Option3; // keyword
    QLineEdit* Text_关键字;
    QPushButton* Command_关键字;
    TimeRange Range;
    QPushButton* OKButton;
    QPushButton* CancelButton;

    void Command_终端_Click();
    void Command_关键字_Click();
    void OKButton_Click();

private:
    LogQueryState* conditions_ = nullptr;
};

// "访问统计选项": the statistics mode (CondResult = the index of the option pressed) and the
// time range. Option 0 picks its terminal first.
class DialogFW : public DialogBase
{
    Q_OBJECT
public:
    static constexpr char kName[] = "DialogFW";
    explicit DialogFW(ConsoleContext& context);
    // Sets CondResult to "1" when it opens.
    bool run(LogQueryState& conditions);

    QList<QRadioButton*> Option_F; // Option_F(0) … Option_F(3)
    TimeRange Range;
    QStatusBar* StatusBar1;
    QPushButton* OKButton; // "确认"
    QPushButton* CancelButton;

    // A mouse press on option `index` (the keyboard sets the mode without the picker).
    void Option_F_MouseDown(int index);
    void OKButton_Click();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    LogQueryState* conditions_ = nullptr;
};

} // namespace lt::overseer
