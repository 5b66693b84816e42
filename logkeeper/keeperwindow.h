#pragma once
// The keeper's window "Lantrove系统——数据库维护": the three limit boxes, "确定" and "隐藏",
// and what the keeper has done since it started (the last pruning pass, module restarts). The
// labels give reasons in Chinese; the database driver's words are their tool tips.
// The console finds it by its title, hides and shows it.

#include "common/names.h"
#include "logkeeper/limits.h"

#include <QWidget>

class QFormLayout;
class QLabel;
class QLineEdit;
class QPushButton;

namespace lt::keeper
{

class Keeper;

inline const QString kWindowTitle = names::kKeeperTitle;

class KeeperWindow : public QWidget
{
    Q_OBJECT
public:
    explicit KeeperWindow(Keeper& keeper, QWidget* parent = nullptr);

    // Shows the window unless the program was started hidden, then registers its title.
    void showAndRegister();

    void Command1_Click();     // "确定": applies the limits and hides the window
    void Command_Hide_Click(); // "隐藏"

protected:
    // Closing the window ends the keeper, also when the window is hidden.
    void closeEvent(QCloseEvent* event) override;

private:
    QLineEdit* addLimitRow(QFormLayout* form, const char* name, const QString& label, qint32 value);
    LimitEntry applyBox(QLineEdit* box, qint32 minimum, qint32 previous);
    void refreshPass();
    void refreshDatabase();
    void refreshModules();

    Keeper& keeper_;
    QLineEdit* Text_Lg;
    QLineEdit* Text_Up;
    QLineEdit* Text_Wb;
    QPushButton* Command1;
    QPushButton* Command_Hide;
    QLabel* Label_Database;
    QLabel* Label_LastPass;
    QLabel* Label_Modules;
};

} // namespace lt::keeper
