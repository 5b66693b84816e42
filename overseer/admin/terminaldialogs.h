#pragma once
// The dialogs of the terminal and group views: add terminals ("增加终端"), add groups
// ("组别管理"), assign the selected terminals to a group, rename a terminal or a group
// ("终端更名", "组别更名"). Each checks its input against the list shown and against the table
// (asked beside the window, OK held until it answers), and changes the list only once the
// database has taken the change.

#include "overseer/core/dialogbase.h"

#include <array>

class QComboBox;
class QLineEdit;
class QPushButton;

namespace lt::overseer::admin
{

class AdminListView;

// Keeps a box's text within a width in GBK bytes (a Chinese character counts two).
void limitBytes(QLineEdit* box, int bytes);

class DialogZJ : public DialogBase
{
    Q_OBJECT
public:
    static constexpr char kName[] = "DialogZJ";
    explicit DialogZJ(ConsoleContext& context);
    // Opens for the terminal view shown; it stays open for one terminal after another.
    bool run(AdminListView& view);

    QLineEdit* Text_名称;
    std::array<QLineEdit*, 4> Text_IP; // Text_IP1 … Text_IP4
    QComboBox* Text_组别;
    QPushButton* OKButton;     // "增加"
    QPushButton* CancelButton; // "关闭"

    void OKButton_Click();
    void Text_IP_Change(int box);

private:
    // Once the name and the address are known to be free.
    void add(const QString& name, const QString& address, const QString& group);
    AdminListView* view_ = nullptr;
};

class DialogZb : public DialogBase
{
    Q_OBJECT
public:
    static constexpr char kName[] = "DialogZb";
    explicit DialogZb(ConsoleContext& context);
    bool run(AdminListView& view);

    QLineEdit* Text_组别;
    QComboBox* Text_日志;
    QComboBox* Text_上传;
    QPushButton* OKButton;     // "增加"
    QPushButton* CancelButton; // "关闭"

    void OKButton_Click();

private:
    // Once the name is known to be free.
    void add(const QString& name);
    AdminListView* view_ = nullptr;
};

// Assigns the selected terminals to a group.
class DialogFP : public DialogBase
{
    Q_OBJECT
public:
    static constexpr char kName[] = "DialogFP";
    explicit DialogFP(ConsoleContext& context);
    bool run(AdminListView& view);

    QComboBox* Combo_组别;
    QPushButton* OKButton;     // "确认"
    QPushButton* CancelButton; // "取消"

    void OKButton_Click();

private:
    AdminListView* view_ = nullptr;
};

// Renames the selected terminal or group; the caption says which.
class DialogRN : public DialogBase
{
    Q_OBJECT
public:
    static constexpr char kName[] = "DialogRN";
    explicit DialogRN(ConsoleContext& context);
    bool run(AdminListView& view, const QString& caption);

    QLineEdit* Text_Name;
    QPushButton* OKButton;     // "确定"
    QPushButton* CancelButton; // "取消"

    void OKButton_Click();

private:
    // Once the name is known to be free.
    void rename(int row, const QString& name);
    AdminListView* view_ = nullptr;
};

} // namespace lt::overseer::admin
