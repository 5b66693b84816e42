#pragma once
// The initialisation dialog: which of the two databases to create anew.

#include <QDialog>
#include <functional>

class QCheckBox;
class QPushButton;

namespace lt::prov
{

class DialogSt : public QDialog
{
    Q_OBJECT
public:
    // local and remote run the initialisation of the log and of the configuration database.
    DialogSt(std::function<void()> local, std::function<void()> remote, QWidget* parent = nullptr);

    QCheckBox* Check1_0; // the log database
    QCheckBox* Check1_1; // the configuration database
    QPushButton* OKButton;
    QPushButton* CancelButton;

private:
    void okClicked();
    std::function<void()> local_;
    std::function<void()> remote_;
};

} // namespace lt::prov
