#include "provisioner/dialogwk.h"

#include "provisioner/texts.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace lt::prov
{

DialogWK::DialogWK(BufferSource source, QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("DialogWK"));
    setWindowTitle(text::kAdapterCaption);
    List1 = new QListWidget(this);
    List1->setObjectName(QStringLiteral("List1"));
    Command1 = new QPushButton(text::kOk, this);
    Command1->setObjectName(QStringLiteral("Command1"));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(text::kAdapterPrompt, this));
    layout->addWidget(List1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Command1);
    layout->addLayout(buttons);
    resize(420, 260);

    for (const QString& description : adapterDescriptions(source())) {
        auto* item = new QListWidgetItem(description, List1);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Unchecked);
    }
    connect(List1, &QListWidget::itemChanged, this,
            [this](QListWidgetItem* item) { itemCheckChanged(item); });
    connect(Command1, &QPushButton::clicked, this, [this] { command1Clicked(); });
}

void DialogWK::itemCheckChanged(QListWidgetItem* item)
{
    if (changing_)
        return;
    changing_ = true;
    if (QListWidgetItem* previous = List1->item(index_))
        previous->setCheckState(Qt::Unchecked);
    item->setCheckState(Qt::Checked);
    index_ = qint16(List1->row(item));
    changing_ = false;
}

void DialogWK::command1Clicked()
{
    writeAdapterChoice(index_);
    accept();
}

} // namespace lt::prov
