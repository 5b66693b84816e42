#include "overseer/admin/policydialog.h"

#include "common/cmysql.h"
#include "common/widgets/dialogform.h"
#include "common/widgets/messages.h"
#include "overseer/admin/adminrules.h"
#include "overseer/admin/adminstore.h"
#include "overseer/admin/adminviews.h"
#include "overseer/core/consolecontext.h"
#include "overseer/core/dbworker.h"

#include <QAction>
#include <QActionGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QTabBar>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace lt::overseer::admin
{

namespace
{

constexpr int kCaptionWidth = 72;
constexpr int kCell = 18;
constexpr int kHeader = 18;
const QColor kOn(46, 160, 67);
const QColor kOff(232, 235, 240);

QGroupBox* frame(const QString& caption, QWidget* content, QWidget* parent)
{
    auto* box = new QGroupBox(caption, parent);
    auto* layout = new QVBoxLayout(box);
    layout->addWidget(content);
    return box;
}

QToolBar* modeBar(const QString& name, const QStringList& labels, QWidget* parent, QString* tag)
{
    auto* bar = new QToolBar(parent);
    bar->setObjectName(name);
    auto* group = new QActionGroup(bar);
    group->setExclusive(true);
    for (const QString& label : labels) {
        QAction* action = bar->addAction(label);
        action->setCheckable(true);
        action->setData(label);
        group->addAction(action);
        QObject::connect(action, &QAction::triggered, bar, [tag, label] { *tag = label; });
    }
    return bar;
}

} // namespace

// ---- the overview grid --------------------------------------------------------------------

PolicyGrid::PolicyGrid(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("Grid"));
    setMinimumSize(sizeHint());
    setToolTip(QStringLiteral("绿色为选中的时段；点击一行选择该类别"));
}

void PolicyGrid::setMasks(const QStringList& captions, const QStringList& masks, int selected)
{
    captions_ = captions;
    masks_ = masks;
    selected_ = selected;
    update();
}

QSize PolicyGrid::sizeHint() const
{
    return {kCaptionWidth + kHours * kCell + 2, kHeader + kClasses * kCell + 2};
}

QRect PolicyGrid::cell(int row, int column) const
{
    return {kCaptionWidth + column * kCell, kHeader + row * kCell, kCell - 1, kCell - 1};
}

void PolicyGrid::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    QFont small = font();
    small.setPixelSize(10);
    p.setFont(small);
    const QStringList hours = hourCaptions();
    for (int j = 0; j < kHours; ++j)
        p.drawText(QRect(kCaptionWidth + j * kCell, 0, kCell, kHeader), Qt::AlignCenter,
                   hours[j].left(2));
    for (int i = 0; i < captions_.size() && i < kClasses; ++i) {
        p.setPen(palette().color(QPalette::WindowText));
        p.drawText(QRect(0, kHeader + i * kCell, kCaptionWidth - 4, kCell),
                   Qt::AlignRight | Qt::AlignVCenter, captions_[i]);
        for (int j = 1; j <= kHours; ++j)
            p.fillRect(cell(i, j - 1), hourOn(masks_.value(i), j) ? kOn : kOff);
    }
    if (selected_ >= 0 && selected_ < kClasses) {
        p.setPen(QPen(QColor(24, 48, 112), 2));
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRect(1, kHeader + selected_ * kCell - 1, kCaptionWidth + kHours * kCell - 1,
                         kCell + 1));
    }
}

void PolicyGrid::mousePressEvent(QMouseEvent* event)
{
    const int row = (int(event->position().y()) - kHeader) / kCell;
    if (event->position().y() >= kHeader && row >= 0 && row < captions_.size())
        emit classPicked(row);
}

// ---- the dialog ---------------------------------------------------------------------------

DialogSt::DialogSt(ConsoleContext& context) : DialogBase(context)
{
    TabStrip_类别 = new QTabBar(this);
    TabStrip_类别->setObjectName(QStringLiteral("TabStrip_类别"));
    TabStrip_类别->setExpanding(false);
    TabStrip_类别->addTab(QStringLiteral("类别"));

    Toolbar_时间 = new QWidget(this);
    Toolbar_时间->setObjectName(QStringLiteral("Toolbar_时间"));
    Toolbar_时间->setStyleSheet(QStringLiteral(
        "QToolButton { background: #e8ebf0; border: 1px solid #c3c9d2; border-radius: 3px;"
        " padding: 4px 2px; min-width: 46px; color: #4a5563; }"
        "QToolButton:checked { background: #2ea043; border-color: #1f7a32; color: white;"
        " font-weight: bold; }"));
    auto* hoursGrid = new QGridLayout(Toolbar_时间);
    hoursGrid->setSpacing(3);
    const QStringList hours = hourCaptions();
    for (int j = 0; j < kHours; ++j) {
        auto* button = new QToolButton(Toolbar_时间);
        button->setObjectName(QStringLiteral("Hour_") + hours[j]);
        button->setText(hours[j]);
        button->setToolTip(QStringLiteral("选中的时段禁止访问该类网站"));
        button->setCheckable(true);
        hoursGrid->addWidget(button, j / 12, j % 12);
        hourButtons << button;
        connect(button, &QToolButton::clicked, this, [this] { 保存选择时间(); });
    }

    Toolbar_快速选择 = new QToolBar(this);
    Toolbar_快速选择->setObjectName(QStringLiteral("Toolbar_快速选择"));
    const QList<std::pair<QString, QuickSelect>> quick = {
        {QStringLiteral("全选"), QuickSelect::All},
        {QStringLiteral("半选"), QuickSelect::Half},
        {QStringLiteral("不选"), QuickSelect::None}};
    for (const auto& [caption, select] : quick) {
        connect(Toolbar_快速选择->addAction(caption), &QAction::triggered, this,
                [this, select = select] {
                    const QString mask = quickMask(select);
                    for (int j = 1; j <= kHours; ++j)
                        hourButtons[j - 1]->setChecked(hourOn(mask, j));
                    保存选择时间();
                });
    }
    Toolbar_日志 = modeBar(QStringLiteral("Toolbar_日志"), accessModeLabels(), this, &accessTag);
    Toolbar_上传 = modeBar(QStringLiteral("Toolbar_上传"), uploadModeLabels(), this, &uploadTag);

    Grid = new PolicyGrid(this);
    OKButton = ui::makeButton(this, QStringLiteral("确定"), QStringLiteral("OKButton"), true);
    CancelButton = ui::makeButton(this, QStringLiteral("取消"), QStringLiteral("CancelButton"));

    auto* modes = new QHBoxLayout;
    modes->addWidget(frame(QStringLiteral("访问日志"), Toolbar_日志, this));
    modes->addWidget(frame(QStringLiteral("上传日志"), Toolbar_上传, this));
    modes->addStretch();
    auto* classes = new QWidget(this);
    auto* classRows = new QVBoxLayout(classes);
    classRows->setContentsMargins(0, 0, 0, 0);
    classRows->addWidget(TabStrip_类别);
    classRows->addWidget(Grid);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(frame(QStringLiteral("类别选择"), classes, this));
    auto* hoursBox = new QWidget(this);
    auto* hoursRows = new QVBoxLayout(hoursBox);
    hoursRows->setContentsMargins(0, 0, 0, 0);
    hoursRows->addWidget(Toolbar_时间);
    hoursRows->addWidget(Toolbar_快速选择);
    layout->addWidget(frame(QStringLiteral("时间选择"), hoursBox, this));
    layout->addLayout(modes);
    layout->addLayout(ui::buttonRow({OKButton, CancelButton}));

    connect(TabStrip_类别, &QTabBar::currentChanged, this, [this] { TabStrip_类别_Click(); });
    connect(Grid, &PolicyGrid::classPicked, TabStrip_类别, &QTabBar::setCurrentIndex);
    connect(OKButton, &QPushButton::clicked, this, &DialogSt::OKButton_Click);
    connect(CancelButton, &QPushButton::clicked, this, [this] { cancel(); });
}

bool DialogSt::run(AdminListView& view)
{
    view_ = &view;
    group = view.currentText();
    setWindowTitle(group + QStringLiteral("浏览类别和时间配置"));
    unreadable_ = false;
    opening_ = true;
    load();
    opening_ = false;
    if (unreadable_) { // told at once: no connection to read on
        context().unload(this);
        return false;
    }
    return DialogBase::run();
}

void DialogSt::load()
{
    setLoading(true);
    const auto done = [this](const QList<Rows>& parts) {
        if (parts.value(1).isEmpty())
            return loadFailed(QStringLiteral("该组别已不在数据库中。"));
        showPolicy(int(parts.value(0).size()), parts.value(1).first());
        setLoading(false);
    };
    readBeside(context().configReads(), this, {sql::classes(), sql::policyOf(group)}, done,
               [this](const DbFailure& failure) { loadFailed(describeFailure(failure)); });
}

void DialogSt::setLoading(bool loading)
{
    for (QWidget* part :
         std::initializer_list<QWidget*>{TabStrip_类别, Toolbar_时间, Toolbar_快速选择,
                                         Toolbar_日志, Toolbar_上传, Grid, OKButton})
        part->setEnabled(!loading);
}

void DialogSt::loadFailed(const QString& why)
{
    if (!opening_ && !isVisible())
        return; // closed before the answer came
    unreadable_ = true;
    ui::message(this, QStringLiteral("组别配置未能读取。\n") + why, ui::Icon::Exclamation);
    if (isVisible())
        cancel();
}

void DialogSt::showPolicy(int classCount, const QStringList& row)
{
    const int bound = std::min(classCount, kClasses);
    const QSignalBlocker quiet(TabStrip_类别);
    while (TabStrip_类别->count() > 0)
        TabStrip_类别->removeTab(0);
    tabKeys.clear();
    tabMasks.clear();
    for (const QString& caption : classTabCaptions())
        TabStrip_类别->addTab(caption);
    // The row is Team, DnLog, UpLog, then the class columns in the order of policyColumns().
    const QStringList columns = policyColumns();
    for (int i = 1; i <= kClasses; ++i) {
        // A tab without a class row has no column and is written nowhere.
        const bool hasClass = i <= bound && i + 2 < row.size();
        tabKeys << (hasClass ? columns.value(i - 1) : QString());
        tabMasks << (hasClass ? row.value(i + 2) : QString());
    }
    TabStrip_类别->setCurrentIndex(0);
    storedAccess_ = row.value(1);
    storedUpload_ = row.value(2);
    accessTag = logModeLabel(storedAccess_);
    uploadTag = logModeLabel(storedUpload_);
    pressMode(Toolbar_日志, accessTag);
    pressMode(Toolbar_上传, uploadTag);
    showMask();
}

void DialogSt::pressMode(QToolBar* bar, const QString& label)
{
    for (QAction* action : bar->actions())
        action->setChecked(action->data().toString() == label);
}

void DialogSt::showMask()
{
    const int tab = std::max(0, TabStrip_类别->currentIndex());
    const QString mask = tabMasks.value(tab);
    for (int j = 1; j <= kHours; ++j)
        hourButtons[j - 1]->setChecked(hourOn(mask, j));
    Grid->setMasks(classTabCaptions(), tabMasks, tab);
}

void DialogSt::TabStrip_类别_Click()
{
    showMask();
}

void DialogSt::保存选择时间()
{
    const int tab = TabStrip_类别->currentIndex();
    if (tab < 0 || tab >= tabMasks.size())
        return;
    QString mask;
    for (QToolButton* button : hourButtons)
        mask += button->isChecked() ? u'1' : u'0';
    tabMasks[tab] = mask;
    Grid->setMasks(classTabCaptions(), tabMasks, tab);
}

void DialogSt::OKButton_Click()
{
    QList<sql::ColumnMask> masks;
    for (int i = 0; i < tabKeys.size(); ++i)
        masks << sql::ColumnMask{tabKeys[i], tabMasks.value(i)};
    const QString access = accessTag.isEmpty() ? storedAccess_ : logModeCode(accessTag);
    const QString upload = uploadTag.isEmpty() ? storedUpload_ : logModeCode(uploadTag);
    const QString statement = sql::writePolicy(group, masks, access, upload);
    db::Connection* config = configConnection(context().MySql.get());
    const QString what = QStringLiteral("组别配置未能保存。");
    const Outcome done = config ? runOne(*config, statement, what) : notConnected(what);
    if (!done)
        return view_->reportFailure(this, done);
    const int row = view_->currentRow();
    view_->setRowText(row, 1, accessTag);
    view_->setRowText(row, 2, uploadTag);
    confirm();
}

} // namespace lt::overseer::admin
