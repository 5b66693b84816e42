#pragma once
// The pickers the condition dialogs open: a terminal of the register (FormXZZD) and a page of
// the browse log (FormXZWY). A double click on a row closes a picker; closing it by any means
// takes the selected row, and with no row selected nothing changes.

#include "overseer/core/dialogbase.h"
#include "overseer/query/logquery.h"

class QTreeWidget;

namespace lt::overseer
{

// "选择终端": every terminal of usertable, by name, read on the configuration connection.
class FormXZZD : public DialogBase
{
    Q_OBJECT
public:
    static constexpr char kName[] = "FormXZZD";
    explicit FormXZZD(ConsoleContext& context);
    // On closing, CondTermName and CondTermIP are the selected terminal's; true when one was.
    bool run(LogQueryState& conditions);

    QTreeWidget* ListView1; // "终端", "地址"; the row's tag (Qt::UserRole) is its address

    void done(int result) override;
    // The rows have come (or their read failed).
    bool rowsRead() const { return !reading_; }

private:
    void fill();
    bool reading_ = false;
    LogQueryState* conditions_ = nullptr;
    bool picked_ = false;
};

// "选择网站/网页": the pages of the newest browse-log rows (at most kWebPickerPages of them, the
// most recently visited first), read on the second log connection.
class FormXZWY : public DialogBase
{
    Q_OBJECT
public:
    static constexpr char kName[] = "FormXZWY";
    explicit FormXZWY(ConsoleContext& context);
    // On closing, PickedUrl is the selected page; true when one was.
    bool pick();

    QTreeWidget* ListView1; // "域名(网站/网页)", "标题"
    QString PickedUrl;

    void done(int result) override;
    // The rows have come (or their read failed).
    bool rowsRead() const { return !reading_; }

private:
    void fill();
    bool reading_ = false;
};

} // namespace lt::overseer
