#pragma once
// The access policy of one group: for each of the twelve content classes the hours of the day
// selected, and the two logging modes. The class tabs hold their masks until OK, which writes
// the whole policy in one statement; Cancel writes nothing. Beside the tabs an overview grid
// shows every class's hours at once.

#include "overseer/core/dialogbase.h"

#include <QStringList>

class QActionGroup;
class QTabBar;
class QToolBar;
class QPushButton;
class QToolButton;

namespace lt::overseer::admin
{

class AdminListView;

// The twelve classes by the 24 hours, a cell filled where the hour is selected; the selected
// class is framed. A click on a row picks that class.
class PolicyGrid : public QWidget
{
    Q_OBJECT
public:
    explicit PolicyGrid(QWidget* parent = nullptr);
    void setMasks(const QStringList& captions, const QStringList& masks, int selected);
    QSize sizeHint() const override;

signals:
    void classPicked(int index);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    QRect cell(int row, int column) const;
    QStringList captions_;
    QStringList masks_;
    int selected_ = 0;
};

class DialogSt : public DialogBase
{
    Q_OBJECT
public:
    static constexpr char kName[] = "DialogSt";
    explicit DialogSt(ConsoleContext& context);
    // Opens for the selected row of the group view. The policy is read beside the window, the
    // dialog held (OK disabled) until it comes; false when it cannot be read.
    bool run(AdminListView& view);

    QTabBar* TabStrip_类别;
    QWidget* Toolbar_时间;
    QList<QToolButton*> hourButtons; // in the order of hourCaptions()
    QToolBar* Toolbar_快速选择;
    QToolBar* Toolbar_日志;
    QToolBar* Toolbar_上传;
    PolicyGrid* Grid;
    QPushButton* OKButton;     // "确定"
    QPushButton* CancelButton; // "取消"

    // Each tab's column (its key) and mask (its tag), in tab order.
    QStringList tabKeys;
    QStringList tabMasks;
    QString accessTag; // the chosen mode labels
    QString uploadTag;
    QString group;

    void TabStrip_类别_Click();
    void 保存选择时间();
    void OKButton_Click();

private:
    void load();
    void setLoading(bool loading);
    // The classes read (their number) and the group's row: Team, DnLog, UpLog, the masks.
    void showPolicy(int classCount, const QStringList& row);
    void loadFailed(const QString& why);
    void showMask();
    void pressMode(QToolBar* bar, const QString& label);
    AdminListView* view_ = nullptr;
    QString storedAccess_; // the codes read, written back when no label stands for them
    QString storedUpload_;
    bool opening_ = false;    // run() has not shown the dialog yet
    bool unreadable_ = false; // the policy could not be read
};

} // namespace lt::overseer::admin
