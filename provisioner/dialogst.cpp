#include "provisioner/dialogst.h"

#include "provisioner/texts.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

namespace lt::prov
{

DialogSt::DialogSt(std::function<void()> local, std::function<void()> remote, QWidget* parent)
    : QDialog(parent), local_(std::move(local)), remote_(std::move(remote))
{
    setObjectName(QStringLiteral("DialogSt"));
    setWindowTitle(text::kInitCaption);
    Check1_0 = new QCheckBox(text::kInitLogBox, this);
    Check1_0->setObjectName(QStringLiteral("Check1_0"));
    Check1_1 = new QCheckBox(text::kInitConfigBox, this);
    Check1_1->setObjectName(QStringLiteral("Check1_1"));
    OKButton = new QPushButton(text::kOk, this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    CancelButton = new QPushButton(text::kCancel, this);
    CancelButton->setObjectName(QStringLiteral("CancelButton"));

    auto* boxes = new QVBoxLayout;
    boxes->addWidget(Check1_0);
    boxes->addWidget(Check1_1);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(OKButton);
    buttons->addWidget(CancelButton);
    buttons->addStretch();
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(boxes, 1);
    layout->addLayout(buttons);
    setMinimumWidth(360);

    connect(OKButton, &QPushButton::clicked, this, [this] { okClicked(); });
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

void DialogSt::okClicked()
{
    const bool log = Check1_0->isChecked();
    const bool config = Check1_1->isChecked();
    if (!log && !config)
        return; // nothing chosen: the dialog stays
    if (log)
        local_();
    if (config)
        remote_();
    accept();
}

} // namespace lt::prov
