// The main window's side of the view contract: the views it is given, the one it shows, and
// what it forwards to it (paging, context-menu items, list events), with what every view
// shares (the context menu's enabled items, the column-click sort, Ctrl+A).

#include "overseer/core/controls.h"
#include "overseer/core/formmain.h"
#include "overseer/core/pagemodel.h"
#include "overseer/core/picturebox.h"
#include "overseer/core/windowmemory.h"

#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>
#include <QTreeView>

namespace lt::overseer
{

void FormMain::listKeyDown(QKeyEvent* event)
{
    event->ignore();
    if (current_) {
        if (const auto handler = current_->listEvents().keyDown)
            handler(event);
    }
    const bool rows = ListView1->model() && ListView1->model()->rowCount() > 0;
    // Exactly Ctrl: Ctrl+Shift+A and Ctrl+Alt+A select nothing.
    if (event->key() == Qt::Key_A && shiftState(event->modifiers()) == 2) {
        if (rows)
            ListView1->selectAll();
        event->accept();
    }
}

void FormMain::columnClicked(int column)
{
    if (current_) {
        if (const auto handler = current_->listEvents().columnClick)
            handler(column);
    }
    QAbstractItemModel* model = ListView1->model();
    if (!model)
        return;
    // The first click on a column sorts it descending and marks it; the next one ascending.
    // The mark is the column's own (its tag "P"): other columns keep theirs.
    const bool marked = sortMarks_.contains(column);
    const Qt::SortOrder order = marked ? Qt::AscendingOrder : Qt::DescendingOrder;
    if (marked)
        sortMarks_.remove(column);
    else
        sortMarks_.insert(column);
    model->sort(column, order);
    ListView1->header()->setSortIndicatorShown(true);
    ListView1->header()->setSortIndicator(column, order);
}

void FormMain::addView(ConsoleView* view)
{
    if (!view || views_.contains(view))
        return;
    views_ << view;
    connect(view, &ConsoleView::showRequested, this, [this, view] { showView(view); });
    connect(view, &ConsoleView::statusChanged, this, [this, view] {
        if (view == current_)
            showViewStatus();
    });
    connect(view, &ConsoleView::keyEnabledChanged, this, [this](const QString& key, bool on) {
        if (QAction* action = toolbarKey(key))
            action->setEnabled(on);
    });
    connect(view, &ConsoleView::editRequested, this, [this, view](const QModelIndex& index) {
        if (view == current_ && index.model() == ListView1->model())
            ListView1->edit(index);
    });
    connect(view, &ConsoleView::repaintRequested, this, [this, view] {
        if (view == current_)
            ListView1->viewport()->update();
    });
}

ConsoleView* FormMain::view(const QString& name) const
{
    for (ConsoleView* v : views_) {
        if (v->name() == name)
            return v;
    }
    return nullptr;
}

void FormMain::showView(ConsoleView* view)
{
    if (!view)
        return;
    if (current_ && current_ != view) {
        current_->cancelWork();
        current_->attach(nullptr, nullptr);
    }
    saveColumnMemory();
    current_ = view;
    context_.setCurrentView(view);
    CurrentView = view->name();
    Label2->setText(view->title());
    Picture_Face->hide();
    Picture_Title->show();
    showViewWidget(view->widget());
    Toolbar2->show();
    StatusBar1->show();
    显示标题函数();

    QAbstractItemModel* model = view->model();
    if (ListView1->model() != model) {
        ListView1->setModel(model);
        connect(model, &QAbstractItemModel::modelReset, ListView1, [this, model] {
            if (ListView1->model() == model)
                applyColumnWidths();
        });
    }
    sortMarks_.clear();
    ListView1->header()->setSortIndicatorShown(false);
    applyColumnWidths();
    ListView1->setSelectionMode(view->multiSelection() ? QAbstractItemView::ExtendedSelection
                                                       : QAbstractItemView::SingleSelection);
    view->attach(ListView1->selectionModel(), this);
    showViewStatus();
}

void FormMain::showViewWidget(QWidget* own)
{
    if (viewWidget_ && viewWidget_ != own)
        viewWidget_->hide();
    viewWidget_ = own;
    ListView1->setVisible(!own);
    if (!own)
        return;
    own->setParent(this);
    own->setGeometry(ListView1->geometry());
    own->show();
}

void FormMain::applyColumnWidths()
{
    QAbstractItemModel* model = ListView1->model();
    if (!model)
        return;
    const QList<int> remembered = rememberedWidths();
    const qreal dpi = logicalDpiX() > 0 ? logicalDpiX() : 96;
    // A row's icon stands in the first column beside its text: that column is widened by the
    // icon and its margins, so the text keeps the width its layout gives it.
    const int margin = style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, ListView1) + 1;
    const int iconWidth = style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, ListView1);
    applyingWidths_ = true;
    for (int c = 0; c < model->columnCount(); ++c) {
        const int twips = model->headerData(c, Qt::Horizontal, PageModel::kTwipsRole).toInt();
        const bool icons = model->headerData(c, Qt::Horizontal, PageModel::kHasIconsRole).toBool();
        if (!remembered.isEmpty())
            ListView1->setColumnWidth(c, remembered[c]);
        else if (twips > 0)
            ListView1->setColumnWidth(c, twipsToPixels(twips, dpi) +
                                             (icons ? iconWidth + 2 * margin : 0));
    }
    applyingWidths_ = false;
}

QString FormMain::columnMemoryKey() const
{
    QAbstractItemModel* model = ListView1->model();
    if (!current_ || !model || model->columnCount() == 0)
        return {};
    // One view may show several layouts (the statistics): the headers tell them apart.
    QStringList headers;
    for (int c = 0; c < model->columnCount(); ++c)
        headers << model->headerData(c, Qt::Horizontal).toString();
    return current_->name() + u':' + headers.join(u',');
}

QList<int> FormMain::rememberedWidths()
{
    const QString key = columnMemoryKey();
    if (key.isEmpty())
        return {};
    if (!columnMemory_.contains(key))
        columnMemory_.insert(key, memory::loadColumns(key, ListView1->model()->columnCount()));
    return columnMemory_.value(key);
}

void FormMain::rememberColumnWidths()
{
    const QString key = columnMemoryKey();
    if (key.isEmpty() || ListView1->isHidden())
        return;
    QList<int> widths;
    for (int c = 0; c < ListView1->model()->columnCount(); ++c)
        widths << ListView1->columnWidth(c);
    columnMemory_.insert(key, widths);
    columnsChanged_.insert(key);
}

void FormMain::restoreWindowPlace()
{
    const auto place = memory::loadWindow();
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!place || !screen)
        return;
    const QRect at = memory::placeOnScreen(place->rect, screen->availableGeometry(), minimumSize());
    resize(at.size());
    move(at.topLeft());
    if (place->maximized)
        setWindowState(windowState() | Qt::WindowMaximized);
}

void FormMain::saveColumnMemory()
{
    for (const QString& key : std::as_const(columnsChanged_))
        memory::saveColumns(key, columnMemory_.value(key));
    columnsChanged_.clear();
}

void FormMain::saveMemory()
{
    saveColumnMemory();
    if (!testAttribute(Qt::WA_WState_Created) || !isVisible())
        return;
    const bool maximized = isMaximized();
    const QRect normal = maximized ? normalGeometry() : QRect(pos(), size());
    memory::saveWindow({normal, maximized});
}

void FormMain::showViewStatus()
{
    const ViewStatus status = current_ ? current_->status() : ViewStatus{};
    for (int n = 1; n <= 4; ++n)
        setPanel(n, status.panels[n - 1]);
    const QList<QString> captions = allPagingCaptions();
    for (int i = 0; i < 4; ++i) {
        if (QAction* button = pagingButton(captions[i]))
            button->setEnabled(status.buttons[i]);
    }
    cmdCancelCount->setVisible(status.counting);
    if (status.busy != busyCursor_) {
        busyCursor_ = status.busy;
        if (busyCursor_)
            QApplication::setOverrideCursor(Qt::WaitCursor);
        else
            QApplication::restoreOverrideCursor();
    }
}

bool FormMain::runPaging(const QString& caption)
{
    if (!current_)
        return false;
    if (caption == paging::首页)
        current_->firstPage();
    else if (caption == paging::上页)
        current_->previousPage();
    else if (caption == paging::下页)
        current_->nextPage();
    else if (caption == paging::尾页)
        current_->lastPage();
    else
        return false;
    return true;
}

bool FormMain::runMenuItem(const MenuItem& item)
{
    if (current_ && current_->menuName() == item.menu) {
        if (const ConsoleView::Handler handler = current_->menuHandlers().value(item.caption)) {
            handler();
            return true;
        }
    }
    return dispatch_.runMenuItem(item.menu, item.caption);
}

void FormMain::popUpContextMenu(QPoint at)
{
    if (!current_ || current_->menuName().isEmpty())
        return;
    QMenu* m = menu(current_->menuName());
    if (!m)
        return;
    QAbstractItemModel* model = ListView1->model();
    const int rows = model ? model->rowCount() : 0;
    const QString firstHeader =
        model ? model->headerData(0, Qt::Horizontal, Qt::DisplayRole).toString() : QString();
    for (QAction* action : m->actions()) {
        if (!action->isSeparator())
            action->setEnabled(
                menuItemEnabled({m->objectName(), action->text()}, rows, firstHeader));
    }
    m->popup(ListView1->viewport()->mapToGlobal(at));
}

} // namespace lt::overseer
