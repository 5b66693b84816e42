#pragma once
// The parts every small dialog of the programs is built from: named buttons, labelled fields
// in a grid, a row of buttons at the right.

#include <QString>
#include <initializer_list>

class QGridLayout;
class QHBoxLayout;
class QLayout;
class QPushButton;
class QWidget;

namespace lt::ui
{

struct FormRow {
    QString label;
    QWidget* field = nullptr;
};

// A push button carrying its control name; the default button answers Enter.
QPushButton* makeButton(QWidget* parent, const QString& caption, const QString& objectName,
                        bool isDefault = false);
// One row per field: its label, then the field.
QGridLayout* fieldGrid(QWidget* parent, std::initializer_list<FormRow> rows,
                       int verticalSpacing = 10);
// The buttons at the right end of a row.
QHBoxLayout* buttonRow(std::initializer_list<QPushButton*> buttons);
// The whole of a small form dialog: the fields above the buttons at the right, with the margins
// and the least width the form dialogs share.
void layOutForm(QWidget* dialog, QLayout* fields, std::initializer_list<QPushButton*> buttons);

} // namespace lt::ui
