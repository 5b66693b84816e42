#pragma once
// The dialogs that put sites on the black or white list: the add-entry dialog of the list views
// ("增加黑名单", "增加白名单"), and the allow and block dialogs that take the site and title
// from the selected row of the view shown (an access-log row, a recent visit, a statistics
// row). A site stands on at most one list: taking it out of both and putting it on one is one
// transaction.

#include "overseer/core/dialogbase.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace lt::overseer
{
class ConsoleView;
}

namespace lt::overseer::admin
{

class SiteListView;

inline const QString kClassTableLost = QStringLiteral("类表丢失，请初始化数据采集监控系统。");

class DialogAd : public DialogBase
{
    Q_OBJECT
public:
    static constexpr char kName[] = "DialogAd";
    explicit DialogAd(ConsoleContext& context);
    // Opens for the list view shown; it stays open for one entry after another.
    bool run(SiteListView& view);

    QLineEdit* Text_域名;
    QLineEdit* Text_标题;
    QComboBox* Text_类别;
    QPushButton* OKButton;     // "确认"
    QPushButton* CancelButton; // "关闭"

    void Text_域名_Change();
    void OKButton_Click();

private:
    // Once the site is known not to be on the list.
    void add(const QString& site, const QString& title, const QString& choice);
    SiteListView* view_ = nullptr;
};

// Where the allow dialog takes the site and the title from, and what it stores.
enum class AllowFrom {
    LogRow, // "将选择的网站/网页加入白名单": sub-items 5 and 4, visits still logged
    SiteRow, // "使选择的网站/网页加入白名单": the row text and sub-item 1, visits not logged
};

class DialogBD : public DialogBase
{
    Q_OBJECT
public:
    static constexpr char kName[] = "DialogBD";
    explicit DialogBD(ConsoleContext& context);
    // Opens for the current row of the view; false without one.
    bool run(ConsoleView& view, AllowFrom from);

    QLabel* L域名;
    QLabel* L标题;
    QPushButton* OKButton;     // "确定"
    QPushButton* CancelButton; // "取消"
    QString site;
    QString title;

    void OKButton_Click();

private:
    AllowFrom from_ = AllowFrom::LogRow;
};

class DialogHD : public DialogBase
{
    Q_OBJECT
public:
    static constexpr char kName[] = "DialogHD";
    explicit DialogHD(ConsoleContext& context);
    // Opens for the current access-log row of the view; false without one.
    bool run(ConsoleView& view);

    QLabel* L域名;
    QLabel* L标题;
    QComboBox* Text_类别;
    QPushButton* OKButton;     // "确定"
    QPushButton* CancelButton; // "取消"
    QString site;
    QString title;

    void OKButton_Click();
};

// The trimmed text of a cell of the view's current row; empty when there is none.
QString currentCell(ConsoleView& view, int column);

} // namespace lt::overseer::admin
