#include "common/widgets/dialogform.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

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

} // namespace lt::ui
