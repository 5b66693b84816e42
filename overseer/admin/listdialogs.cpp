#include "overseer/admin/listdialogs.h"

#include "common/cmysql.h"
#include "common/widgets/dialogform.h"
#include "common/widgets/messages.h"
#include "overseer/admin/adminrules.h"
#include "overseer/admin/adminstore.h"
#include "overseer/admin/adminviews.h"
#include "overseer/core/consolecontext.h"
#include "overseer/core/dbworker.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <functional>
#include <tuple>

namespace lt::overseer::admin
{

namespace
{

void warn(QWidget* parent, const QString& text, QWidget* focus = nullptr)
{
    ui::message(parent, text, ui::Icon::Exclamation);
    if (focus)
        focus->setFocus();
}

// The class names of classtable, trimmed, into a combo box, read beside the window: the box is
// empty and disabled until they come. A table that cannot be read is reported as lost, and
// lost() runs. "上网" is left out unless browse is true.
void fillClasses(QWidget* dialog, ConsoleContext& context, QComboBox* combo, bool browse,
                 std::function<void()> lost = {})
{
    const auto failed = [dialog, lost](const DbFailure&) {
        warn(dialog, kClassTableLost);
        if (lost)
            lost();
    };
    fillBeside(context.configReads(), combo, sql::classes(), failed,
               [browse](const QString& name) { return browse || name != QStringLiteral("上网"); });
}

Outcome putOnList(CMySql* mySql, const QStringList& statements, bool black)
{
    const QString what =
        black ? QStringLiteral("未能加入黑名单。") : QStringLiteral("未能加入白名单。");
    db::Connection* config = configConnection(mySql);
    return config ? runAll(*config, statements, what) : notConnected(what);
}

QLabel* label(QWidget* parent, const QString& name)
{
    auto* l = new QLabel(parent);
    l->setObjectName(name);
    l->setTextInteractionFlags(Qt::TextSelectableByMouse);
    l->setMinimumWidth(360);
    return l;
}

} // namespace

QString currentCell(ConsoleView& view, int column)
{
    QAbstractItemModel* model = view.model();
    const int row = view.currentRow();
    if (!model || row < 0)
        return {};
    return model->index(row, column).data().toString().trimmed();
}

// ---- add entry ----------------------------------------------------------------------------

DialogAd::DialogAd(ConsoleContext& context) : DialogBase(context)
{
    Text_域名 = new QLineEdit(this);
    Text_域名->setObjectName(QStringLiteral("Text_域名"));
    Text_域名->setMaxLength(kSiteChars);
    Text_标题 = new QLineEdit(this);
    Text_标题->setObjectName(QStringLiteral("Text_标题"));
    Text_标题->setMaxLength(kTitleChars);
    Text_类别 = new QComboBox(this);
    Text_类别->setObjectName(QStringLiteral("Text_类别"));
    OKButton = ui::makeButton(this, QStringLiteral("确认"), QStringLiteral("OKButton"), true);
    CancelButton = ui::makeButton(this, QStringLiteral("关闭"), QStringLiteral("CancelButton"));
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(ui::fieldGrid(this, {{QStringLiteral("域名："), Text_域名},
                                           {QStringLiteral("标题："), Text_标题},
                                           {QStringLiteral("类别："), Text_类别}}));
    layout->addLayout(ui::buttonRow({OKButton, CancelButton}));
    setMinimumWidth(460);
    connect(Text_域名, &QLineEdit::textChanged, this, &DialogAd::Text_域名_Change);
    connect(Text_类别, &QComboBox::activated, this, [this] { OKButton->setEnabled(true); });
    connect(OKButton, &QPushButton::clicked, this, &DialogAd::OKButton_Click);
    connect(CancelButton, &QPushButton::clicked, this, [this] { cancel(); });
}

bool DialogAd::run(SiteListView& view)
{
    view_ = &view;
    setWindowTitle(view.black() ? QStringLiteral("增加黑名单") : QStringLiteral("增加白名单"));
    OKButton->setEnabled(false);
    if (view.black()) {
        fillClasses(this, context(), Text_类别, true);
    } else {
        Text_类别->clear();
        Text_类别->setEnabled(true);
        Text_类别->addItems({QStringLiteral("记录日志"), QStringLiteral("不记日志")});
        Text_类别->setCurrentIndex(-1);
    }
    Text_域名->setFocus();
    return DialogBase::run();
}

void DialogAd::Text_域名_Change()
{
    const SiteEdit edit = siteRule(Text_域名->text());
    if (!edit.changed)
        return;
    Text_域名->setText(edit.text);
    if (edit.caretToEnd)
        Text_域名->setCursorPosition(int(Text_域名->text().size()));
    if (!edit.message.isEmpty())
        warn(this, edit.message);
}

void DialogAd::OKButton_Click()
{
    const QString site = Text_域名->text().trimmed();
    const QString title = Text_标题->text().trimmed();
    if (site.isEmpty())
        return warn(this, QStringLiteral("请填写域名"), Text_域名);
    if (title.isEmpty())
        return warn(this, QStringLiteral("请填写标题"), Text_标题);
    for (const auto& [field, box, text] : {std::tuple{QStringLiteral("域名"), Text_域名, site},
                                           std::tuple{QStringLiteral("标题"), Text_标题, title}}) {
        if (const QString why = refusedCharacterMessage(field, text); !why.isEmpty())
            return warn(this, why, box);
    }
    if (view_->listHas(0, site, Qt::CaseSensitive))
        return warn(this, QStringLiteral("域名不能重复"), Text_域名);
    const QString choice = Text_类别->currentText().trimmed();
    const auto answered = [this, site, title, choice](const QList<bool>& found) {
        if (found.value(0))
            return warn(this, QStringLiteral("域名不能重复"), Text_域名);
        add(site, title, choice);
    };
    countBeside(context(), this, OKButton,
                {sql::entryCount(view_->table(), site, sql::Match::Exact)}, answered,
                [this](const QString& why) {
                    warn(this, QStringLiteral("无法检查域名是否重复。\n") + why);
                });
}

void DialogAd::add(const QString& site, const QString& title, const QString& choice)
{
    const bool black = view_->black();
    const bool logged = choice == QStringLiteral("记录日志");
    const QStringList statements =
        black ? putOnBlackList(site, title, choice) : putOnWhiteList(site, title, logged);
    if (const Outcome done = putOnList(context().MySql.get(), statements, black); !done)
        return view_->reportFailure(this, done);
    if (black)
        view_->addRow({site, title, choice, QStringLiteral("S")});
    else
        view_->addRow({site, title, logged ? QStringLiteral("Y") : QStringLiteral("N")});
    Text_域名->clear();
    Text_标题->clear();
    Text_域名->setFocus();
}

// ---- allow --------------------------------------------------------------------------------

DialogBD::DialogBD(ConsoleContext& context) : DialogBase(context)
{
    L域名 = label(this, QStringLiteral("L域名"));
    L标题 = label(this, QStringLiteral("L标题"));
    OKButton = ui::makeButton(this, QStringLiteral("确定"), QStringLiteral("OKButton"), true);
    CancelButton = ui::makeButton(this, QStringLiteral("取消"), QStringLiteral("CancelButton"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(L域名);
    layout->addWidget(L标题);
    layout->addLayout(ui::buttonRow({OKButton, CancelButton}));
    connect(OKButton, &QPushButton::clicked, this, &DialogBD::OKButton_Click);
    connect(CancelButton, &QPushButton::clicked, this, [this] { cancel(); });
}

bool DialogBD::run(ConsoleView& view, AllowFrom from)
{
    from_ = from;
    const bool log = from == AllowFrom::LogRow;
    setWindowTitle(log ? QStringLiteral("将选择的网站/网页加入白名单")
                       : QStringLiteral("使选择的网站/网页加入白名单"));
    site = currentCell(view, log ? 5 : 0);
    title = currentCell(view, log ? 4 : 1);
    if (site.isEmpty()) {
        context().unload(this);
        return false;
    }
    L标题->setText(QStringLiteral("标题：") + title);
    L域名->setText(QStringLiteral("域名：") + site);
    return DialogBase::run();
}

void DialogBD::OKButton_Click()
{
    const bool logged = from_ == AllowFrom::LogRow;
    if (const Outcome done =
            putOnList(context().MySql.get(), putOnWhiteList(site, title, logged), false);
        !done)
        return warn(this, done.message);
    confirm();
}

// ---- block --------------------------------------------------------------------------------

DialogHD::DialogHD(ConsoleContext& context) : DialogBase(context)
{
    setWindowTitle(QStringLiteral("将选择的网站/网页加入黑名单"));
    L域名 = label(this, QStringLiteral("L域名"));
    L标题 = label(this, QStringLiteral("L标题"));
    Text_类别 = new QComboBox(this);
    Text_类别->setObjectName(QStringLiteral("Text_类别"));
    OKButton = ui::makeButton(this, QStringLiteral("确定"), QStringLiteral("OKButton"), true);
    CancelButton = ui::makeButton(this, QStringLiteral("取消"), QStringLiteral("CancelButton"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(L域名);
    layout->addWidget(L标题);
    layout->addLayout(ui::fieldGrid(this, {{QStringLiteral("类别："), Text_类别}}));
    layout->addLayout(ui::buttonRow({OKButton, CancelButton}));
    connect(OKButton, &QPushButton::clicked, this, &DialogHD::OKButton_Click);
    connect(CancelButton, &QPushButton::clicked, this, [this] { cancel(); });
}

bool DialogHD::run(ConsoleView& view)
{
    site = currentCell(view, 5);
    title = currentCell(view, 4);
    if (site.isEmpty()) {
        context().unload(this);
        return false;
    }
    OKButton->setEnabled(true);
    fillClasses(this, context(), Text_类别, false, [this] { OKButton->setEnabled(false); });
    L标题->setText(QStringLiteral("标题：") + title);
    L域名->setText(QStringLiteral("域名：") + site);
    return DialogBase::run();
}

void DialogHD::OKButton_Click()
{
    const QString className = Text_类别->currentText().trimmed();
    if (className.isEmpty())
        return warn(this, QStringLiteral("请选择类别"), Text_类别);
    if (const Outcome done =
            putOnList(context().MySql.get(), putOnBlackList(site, title, className, true), true);
        !done)
        return warn(this, done.message);
    confirm();
}

} // namespace lt::overseer::admin
