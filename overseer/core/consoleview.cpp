#include "overseer/core/consoleview.h"

#include "common/widgets/messages.h"

#include <QItemSelectionModel>
#include <QWidget>
#include <algorithm>

namespace lt::overseer
{

void ConsoleView::attach(QItemSelectionModel* selection, QWidget* window)
{
    selection_ = selection;
    window_ = window;
}

QList<int> ConsoleView::selectedRows() const
{
    QList<int> rows;
    if (!selection_)
        return rows;
    for (const QModelIndex& index : selection_->selectedRows())
        rows << index.row();
    std::sort(rows.begin(), rows.end());
    return rows;
}

bool ConsoleView::confirm(const QString& question) const
{
    return ui::message(window(), question, ui::Icon::Question, ui::Buttons::OkCancel) ==
           ui::Answer::Ok;
}

int ConsoleView::currentRow() const
{
    if (!selection_ || !selection_->currentIndex().isValid())
        return -1;
    return selection_->currentIndex().row();
}

void ConsoleView::setStatus(const ViewStatus& status)
{
    status_ = status;
    emit statusChanged();
}

} // namespace lt::overseer
