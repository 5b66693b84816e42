#include "overseer/core/formmain.h"
#include "common/names.h"

#include "common/installation.h"
#include "common/widgets/windowregistration.h"
#include "overseer/core/controls.h"
#include "overseer/core/layout.h"
#include "overseer/core/pagemodel.h"
#include "overseer/core/picturebox.h"
#include "overseer/core/windowmemory.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QStyledItemDelegate>
#include <QToolBar>
#include <QTreeView>

namespace lt::overseer
{

namespace
{

// Design sizes of the strips; the layout derives every position from them.
constexpr int kButtonStripWidth = 148;
constexpr int kTitleHeight = 64;
constexpr int kStatusPanelsHeight = 24;
// The status bar reaches 20 under the paging toolbar; its panels keep clear of that part.
constexpr int kStatusHeight = kStatusPanelsHeight + 20;
constexpr int kToolbar1TopMargin = 50 + 16;

void paintCover(QPainter& painter, const QRect& area)
{
    QLinearGradient sky(area.topLeft(), area.bottomRight());
    sky.setColorAt(0, QColor(14, 40, 84));
    sky.setColorAt(0.55, QColor(22, 72, 122));
    sky.setColorAt(1, QColor(8, 28, 58));
    painter.fillRect(area, sky);
    // A faint network of lines: the LAN the system watches over.
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(255, 255, 255, 22), 1));
    const int step = 48;
    for (int x = area.left() - area.height(); x < area.right(); x += step)
        painter.drawLine(x, area.bottom(), x + area.height(), area.top());
    painter.setPen(QPen(QColor(255, 255, 255, 14), 1));
    for (int y = area.top() + step / 2; y < area.bottom(); y += step)
        painter.drawLine(area.left(), y, area.right(), y);
}

void paintTitleStrip(QPainter& painter, const QRect& area)
{
    QLinearGradient band(area.topLeft(), area.bottomLeft());
    band.setColorAt(0, QColor(250, 250, 244));
    band.setColorAt(1, QColor(226, 231, 238));
    painter.fillRect(area, band);
    painter.setPen(QColor(180, 188, 200));
    painter.drawLine(area.bottomLeft(), area.bottomRight());
}

void paintButtonStrip(QPainter& painter, const QRect& area)
{
    QLinearGradient strip(area.topLeft(), area.topRight());
    strip.setColorAt(0, QColor(30, 36, 48));
    strip.setColorAt(1, QColor(44, 52, 68));
    painter.fillRect(area, strip);
}

class ButtonStrip : public QWidget
{
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        paintButtonStrip(painter, rect());
    }
};

// Hands an in-place edit of a row's text to the view's after-edit handler, which may refuse it.
class LabelEditDelegate : public QStyledItemDelegate
{
public:
    LabelEditDelegate(QTreeView* list, const QPointer<ConsoleView>& view)
        : QStyledItemDelegate(list), view_(view)
    {
    }

    void setModelData(QWidget* editor, QAbstractItemModel* model,
                      const QModelIndex& index) const override
    {
        auto* line = qobject_cast<QLineEdit*>(editor);
        const auto handler = view_ ? view_->listEvents().afterLabelEdit : nullptr;
        if (line && handler && index.column() == 0 && !handler(index, line->text()))
            return;
        QStyledItemDelegate::setModelData(editor, model, index);
    }

private:
    const QPointer<ConsoleView>& view_;
};

QFont pixelFont(int pixels, bool bold)
{
    QFont font = QApplication::font();
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

QLabel* transparentLabel(const QString& name, const QString& text, const QFont& font,
                         const QColor& colour, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setFont(font);
    label->setAttribute(Qt::WA_TranslucentBackground);
    label->setAttribute(Qt::WA_TransparentForMouseEvents);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
    label->adjustSize();
    return label;
}

} // namespace

QStringList consoleDialogNames()
{
    return {QStringLiteral("DialogAd"), QStringLiteral("DialogBD"), QStringLiteral("DialogDK"),
            QStringLiteral("DialogDL"), QStringLiteral("DialogFP"), QStringLiteral("DialogFS"),
            QStringLiteral("DialogFW"), QStringLiteral("DialogHD"), QStringLiteral("DialogKL"),
            QStringLiteral("DialogLX"), QStringLiteral("DialogMS"), QStringLiteral("DialogPS"),
            QStringLiteral("DialogPt"), QStringLiteral("DialogPW"), QStringLiteral("DialogRN"),
            QStringLiteral("DialogSC"), QStringLiteral("DialogSt"), QStringLiteral("DialogTJ"),
            QStringLiteral("DialogZb"), QStringLiteral("DialogZJ"), QStringLiteral("FormSave"),
            QStringLiteral("FormXZWY"), QStringLiteral("FormXZZD")};
}

FormMain::FormMain(QWidget* parent) : QWidget(parent), context_(*this)
{
    setObjectName(QStringLiteral("FormMain"));
    setWindowTitle(names::kConsoleTitle);
    context_.AppDir = Installation::appDir();
    context_.ProgressExePath = context_.AppDir + u'/' + names::kProgressExe;
    CurrentView = QStringLiteral("显示封面");
    EndConsole = [this] {
        hide();
        QCoreApplication::exit(0);
    };
    createControls();
    // Every key of the command strip stays reachable at the smallest size.
    setMinimumSize(760, std::max(560, minimumHeightForKeys()));
    resize(1180, 800);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect free = screen->availableGeometry();
        resize(std::min(width(), free.width()), std::min(height(), free.height()));
        move(free.center() - rect().center());
    }
    restoreWindowPlace();
    显示封面();
    ui::registerWindow(this);
    ProgressNotice::setHost(this);
}

// The context, a member, unloads the dialogs still loaded before the connections close.
FormMain::~FormMain()
{
    if (ProgressNotice::host() == this)
        ProgressNotice::setHost(nullptr);
}

void FormMain::createControls()
{
    Picture_Face = new PictureBox(this);
    Picture_Face->setObjectName(QStringLiteral("Picture_Face"));
    Picture_Face->setBackground(paintCover);
    Label1 = transparentLabel(QStringLiteral("Label1"), QStringLiteral("Lantrove上网监控系统"),
                              pixelFont(52, true), QColor(255, 214, 102), Picture_Face);
    Label3 = transparentLabel(QStringLiteral("Label3"),
                              QStringLiteral("局域网上网行为监控与过滤  ·  管理控制台"),
                              pixelFont(22, false), QColor(236, 242, 250), Picture_Face);
    connect(Picture_Face, &PictureBox::mouseDown, this, &FormMain::Picture_Face_MouseDown);

    Picture_Button = new ButtonStrip(this);
    Picture_Button->setObjectName(QStringLiteral("Picture_Button"));

    Picture_Title = new PictureBox(this);
    Picture_Title->setObjectName(QStringLiteral("Picture_Title"));
    Picture_Title->setBackground(paintTitleStrip);
    Label2 = transparentLabel(QStringLiteral("Label2"), QString(), pixelFont(28, true),
                              QColor(24, 48, 112), Picture_Title);
    Label2->setAlignment(Qt::AlignCenter);

    createList();
    createToolbars();
    createMenus();
}

void FormMain::createList()
{
    ListView1 = new QTreeView(this);
    ListView1->setObjectName(QStringLiteral("ListView1"));
    ListView1->setRootIsDecorated(false);
    ListView1->setUniformRowHeights(true);
    ListView1->setAlternatingRowColors(true);
    ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListView1->setItemDelegate(new LabelEditDelegate(ListView1, current_));
    ListView1->header()->setSectionsClickable(true);
    ListView1->header()->setStretchLastSection(false);
    ListView1->viewport()->installEventFilter(this);
    ListView1->installEventFilter(this);
    connect(ListView1->header(), &QHeaderView::sectionClicked, this, &FormMain::columnClicked);
    // Only widths the administrator drags are remembered, not those a new layout sets.
    ListView1->header()->viewport()->installEventFilter(this);
    connect(ListView1->header(), &QHeaderView::sectionResized, this, [this] {
        if (resizingByHand_ && !applyingWidths_)
            rememberColumnWidths();
    });
}

int FormMain::minimumHeightForKeys() const
{
    // Toolbar1 starts 50 above the strip; its last key must end inside the window.
    return Toolbar1->sizeHint().height() - 50 + 8;
}

void FormMain::createToolbars()
{
    Toolbar1 = new QToolBar(Picture_Button);
    Toolbar1->setObjectName(QStringLiteral("Toolbar1"));
    Toolbar1->setOrientation(Qt::Vertical);
    Toolbar1->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    Toolbar1->setIconSize(QSize(26, 26));
    // The toolbar starts 50 above the strip; its first button keeps clear of that part.
    auto* topGap = new QWidget(Toolbar1);
    topGap->setFixedSize(1, kToolbar1TopMargin);
    topGap->setAttribute(Qt::WA_TranslucentBackground);
    Toolbar1->addWidget(topGap);
    Toolbar1->setStyleSheet(QStringLiteral(
        "QToolBar { background: transparent; border: none; spacing: 3px; }"
        "QToolButton { color: #e8edf5; padding: 3px 6px; border-radius: 4px; min-width: 118px; }"
        "QToolButton:hover { background: rgba(255,255,255,40); }"
        "QToolButton:pressed { background: rgba(255,255,255,70); }"
        // A key that cannot be used now greys its caption as Qt greys its icon.
        "QToolButton:disabled { color: #6f7a8c; }"));
    Toolbar1->setIconSize(QSize(22, 22));
    for (const QString& key : toolbarKeys()) {
        QAction* action = Toolbar1->addAction(keyIcon(key), key);
        action->setData(key);
        action->setToolTip(key);
    }
    connect(Toolbar1, &QToolBar::actionTriggered, this, &FormMain::toolbar1Clicked);

    Toolbar2 = new QToolBar(this);
    Toolbar2->setObjectName(QStringLiteral("Toolbar2"));
    Toolbar2->setToolButtonStyle(Qt::ToolButtonTextOnly);
    Toolbar2->setStyleSheet(QStringLiteral(
        "QToolBar { background: #e3e9f1; border: none; padding: 2px 8px; spacing: 6px; }"
        "QToolButton { color: #1d2733; padding: 3px 12px; }"
        "QToolButton:disabled { color: #9aa4b1; }"));
    for (const QString& caption : pagingCaptions()) {
        QAction* action = Toolbar2->addAction(caption);
        action->setData(caption);
        action->setEnabled(false);
    }
    connect(Toolbar2, &QToolBar::actionTriggered, this,
            [this](QAction* action) { runPaging(action->data().toString()); });

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setSizeGripEnabled(false);
    StatusBar1->setStyleSheet(QStringLiteral(
        "QStatusBar { background: #eef2f7; } QStatusBar QLabel { color: #1d2733; }"));
    StatusBar1->setContentsMargins(0, 0, 0, kStatusHeight - kStatusPanelsHeight);
    for (int number = 1; number <= 4; ++number) {
        auto* label = new QLabel(StatusBar1);
        label->setObjectName(QStringLiteral("Panel%1").arg(number));
        label->setFrameShape(QFrame::StyledPanel);
        label->setFrameShadow(QFrame::Sunken);
        label->setMinimumWidth(120);
        StatusBar1->addWidget(label, 1);
    }
    // A count over millions of rows may take a while; the administrator may stop it and go on
    // paging without the totals.
    cmdCancelCount = new QPushButton(QStringLiteral("停止计数"), StatusBar1);
    cmdCancelCount->setObjectName(QStringLiteral("cmdCancelCount"));
    cmdCancelCount->setToolTip(QStringLiteral("停止统计记录总数（尾页需要记录总数）"));
    cmdCancelCount->hide();
    StatusBar1->addPermanentWidget(cmdCancelCount);
    ProgressRows = new QProgressBar(StatusBar1);
    ProgressRows->setObjectName(QStringLiteral("ProgressRows"));
    ProgressRows->setRange(0, 1000);
    ProgressRows->hide();
    StatusBar1->addPermanentWidget(ProgressRows);
    connect(cmdCancelCount, &QPushButton::clicked, this, [this] {
        if (current_)
            current_->cancelWork();
    });
    // The paging toolbar lies over the status bar's lower part.
    Toolbar2->raise();
}

void FormMain::createMenus()
{
    for (const MenuDefinition& definition : contextMenus()) {
        auto* menu = new QMenu(definition.name, this);
        menu->setObjectName(definition.name);
        for (const QString& caption : definition.items) {
            if (!menu->actions().isEmpty())
                menu->addSeparator();
            QAction* item = menu->addAction(caption);
            item->setObjectName(menuItemObjectName(definition.name, caption));
            const MenuItem id{definition.name, caption};
            connect(item, &QAction::triggered, this, [this, id] { runMenuItem(id); });
        }
        menus_.insert(definition.name, menu);
    }
}

QAction* FormMain::toolbarKey(const QString& key) const
{
    for (QAction* action : Toolbar1->actions()) {
        if (action->data().toString() == key)
            return action;
    }
    return nullptr;
}

QAction* FormMain::pagingButton(const QString& caption) const
{
    for (QAction* action : Toolbar2->actions()) {
        if (action->data().toString() == caption)
            return action;
    }
    return nullptr;
}

QMenu* FormMain::menu(const QString& name) const
{
    return menus_.value(name);
}

QAction* FormMain::menuItem(const QString& menuName, const QString& caption) const
{
    QMenu* m = menu(menuName);
    if (!m)
        return nullptr;
    for (QAction* action : m->actions()) {
        if (!action->isSeparator() && action->text() == caption)
            return action;
    }
    return nullptr;
}

QLabel* FormMain::panel(int number) const
{
    return StatusBar1->findChild<QLabel*>(QStringLiteral("Panel%1").arg(number));
}

void FormMain::setPanel(int number, const QString& text)
{
    if (QLabel* label = panel(number))
        label->setText(text);
}

void FormMain::toolbar1Clicked(QAction* action)
{
    // The key is drawn released before its command runs; no events are let through here, so
    // no second command can start inside this one.
    Toolbar1->repaint();
    dispatch_.runKey(action->data().toString());
}

bool FormMain::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == ListView1->header()->viewport()) {
        if (event->type() == QEvent::MouseButtonPress ||
            event->type() == QEvent::MouseButtonDblClick)
            resizingByHand_ = true;
        else if (event->type() == QEvent::MouseButtonRelease)
            resizingByHand_ = false;
        return QWidget::eventFilter(watched, event);
    }
    if (watched == ListView1->viewport() && event->type() == QEvent::MouseButtonPress) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        const QPoint at = mouse->position().toPoint();
        ListMouseX = at.x();
        ListMouseY = qint16(at.y());
        if (current_) {
            if (const auto handler = current_->listEvents().mouseDown)
                handler(mouse->button(), shiftState(mouse->modifiers()), at);
        }
        if (mouse->button() == Qt::RightButton) {
            // The row under the pointer becomes the selected one unless it already is.
            const QModelIndex index = ListView1->indexAt(at);
            if (index.isValid() && !ListView1->selectionModel()->isRowSelected(index.row()))
                ListView1->setCurrentIndex(index);
            popUpContextMenu(at);
            return true;
        }
    } else if (watched == ListView1->viewport() && event->type() == QEvent::MouseButtonDblClick) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        // A double click on a row: the view's handler, with that row the current one.
        const QModelIndex index = ListView1->indexAt(mouse->position().toPoint());
        if (current_ && index.isValid()) {
            ListView1->selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
            if (const auto handler = current_->listEvents().doubleClick)
                handler();
        }
    } else if (watched == ListView1 && event->type() == QEvent::KeyPress) {
        listKeyDown(static_cast<QKeyEvent*>(event));
        if (event->isAccepted() && static_cast<QKeyEvent*>(event)->key() == Qt::Key_A)
            return true;
    }
    return QWidget::eventFilter(watched, event);
}

void FormMain::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    layOut();
    raise();
    activateWindow();
}

void FormMain::prepareFirstShow()
{
    if (isVisible())
        return;
    ensurePolished();
    winId(); // the native window, made now rather than when it is first shown
    layOut();
}

LayoutInput FormMain::layoutInput() const
{
    LayoutInput in;
    in.inner = size();
    in.buttonWidth = kButtonStripWidth;
    in.titleHeight = kTitleHeight;
    in.label2Width = Label2->width();
    in.statusHeight = kStatusHeight;
    in.toolbar2Height = Toolbar2->sizeHint().height();
    in.toolbar1Height = Toolbar1->sizeHint().height();
    return in;
}

void FormMain::layOut()
{
    const LayoutInput in = layoutInput();
    // The controls and the cover's drawing depend on nothing else: laid out for the same
    // figures already (before the first show, see prepareFirstShow), they stay as they are.
    if (laidOutFor_ == in)
        return;
    laidOutFor_ = in;
    const MainLayout out = computeLayout(in);

    Picture_Face->setGeometry(out.face);
    Picture_Title->setGeometry(out.title);
    Picture_Button->setGeometry(out.button);
    Label2->move(out.label2Left, (out.title.height() - Label2->height()) / 2);
    ListView1->setGeometry(out.list);
    if (viewWidget_)
        viewWidget_->setGeometry(out.list);
    StatusBar1->setGeometry(out.status);
    Toolbar1->setGeometry(out.toolbar1);
    Toolbar2->setGeometry(out.toolbar2);

    // The cover texts stay centred on the picture.
    const QRect face = Picture_Face->rect();
    Label1->move((face.width() - Label1->width()) / 2, face.height() * 34 / 100);
    Label3->move((face.width() - Label3->width()) / 2, Label1->geometry().bottom() + 36);
    Picture_Face->Cls();
    显示名称();
    // The title's shadow is drawn on the strip, not carried by the label: drawn again whole at
    // the new size, or the shadow of the old place would stay beside the moved caption.
    if (!Label2->text().isEmpty())
        显示标题函数();
}

QRect FormMain::noticeArea() const
{
    return frameGeometry();
}

void FormMain::showRowsDone(qint64 done, qint64 total)
{
    done = std::clamp<qint64>(done, 0, total);
    const QLocale chinese(QLocale::Chinese);
    const QString text =
        QStringLiteral("已处理 %1 / %2 条").arg(chinese.toString(done), chinese.toString(total));
    ProgressRows->setValue(int(done * 1000 / std::max<qint64>(total, 1)));
    ProgressRows->setFormat(text);
    // Wide enough for the figures of the whole run, so the text is never cut.
    const QString widest = QStringLiteral("已处理 %1 / %1 条").arg(chinese.toString(total));
    ProgressRows->setMinimumWidth(ProgressRows->fontMetrics().horizontalAdvance(widest) + 32);
    ProgressRows->show();
    StatusBar1->show();
}

void FormMain::endRowsDone()
{
    ProgressRows->hide();
    ProgressRows->reset();
    if (!current_)
        StatusBar1->hide(); // the cover has no status bar of its own
}

void FormMain::closeEvent(QCloseEvent* event)
{
    if (ending_) {
        event->accept();
        return;
    }
    event->ignore();
    if (AskQuit())
        UnloadAllAndEnd();
}

} // namespace lt::overseer
