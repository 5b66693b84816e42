#pragma once
// The adapter dialog: the capture adapters of the packet library, one of them checked, its
// number stored in LocalPort.txt.

#include "provisioner/adapters.h"

#include <QDialog>
#include <functional>

class QListWidget;
class QListWidgetItem;
class QPushButton;

namespace lt::prov
{

class DialogWK : public QDialog
{
    Q_OBJECT
public:
    using BufferSource = std::function<QByteArray()>;
    // The list is filled from the buffer that source gives (the packet library by default).
    explicit DialogWK(BufferSource source = readAdapterBuffer, QWidget* parent = nullptr);

    int chosenIndex() const { return index_; }

    QListWidget* List1;
    QPushButton* Command1;

private:
    void itemCheckChanged(QListWidgetItem* item);
    void command1Clicked();
    qint16 index_ = 0; // the checked entry; 0 when none has been checked yet
    bool changing_ = false;
};

} // namespace lt::prov
