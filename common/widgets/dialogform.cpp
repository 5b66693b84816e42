#include "common/widgets/dialogform.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace lt::ui
{

QPushButton* makeButton(QWidget* parent, const QString& caption, const QString& objectName,
                        bool isDefault)
{
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(objectName);
    button->setDefault(isDefault);
    return button;
}

QGridLayout* fieldGrid(QWidget* parent, std::initializer_list<FormRow> rows, int verticalSpacing)
{
    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(verticalSpacing);
    int row = 0;
    for (const FormRow& r : rows) {
        grid->addWidget(new QLabel(r.label, parent), row, 0);
        grid->addWidget(r.field, row, 1);
        ++row;
    }
    return grid;
}

QHBoxLayout* buttonRow(std::initializer_list<QPushButton*> buttons)
{
    auto* row = new QHBoxLayout;
    row->addStretch();
    for (QPushButton* button : buttons)
        row->addWidget(button);
    return row;
}

void layOutForm(QWidget* dialog, QLayout* fields, std::initializer_list<QPushButton*> buttons)
{
    auto* layout = new QVBoxLayout(dialog);
    layout->setContentsMargins(26, 22, 26, 18);
    layout->addLayout(fields);
    layout->addSpacing(14);
    layout->addLayout(buttonRow(buttons));
    dialog->setMinimumWidth(340);
}

} // namespace lt::ui
