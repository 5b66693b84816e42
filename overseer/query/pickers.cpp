#include "overseer/query/pickers.h"

#include "overseer/core/consolecontext.h"
#include "overseer/query/conditionrules.h"
#include "overseer/query/conditionwidgets.h"

#include <QHeaderView>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace lt::overseer
{

namespace
{

QTreeWidget* pickerList(QDialog* parent, const QStringList& headers)
{
    auto* list = new QTreeWidget(parent);
    list->setObjectName(QStringLiteral("ListView1"));
    list->setHeaderLabels(headers);
    list->setRootIsDecorated(false);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setAllColumnsShowFocus(true);
    list->header()->setSortIndicatorShown(false);
    sortOnHeaderClick(list);
    auto* layout = new QVBoxLayout(parent);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(list);
    return list;
}

QTreeWidgetItem* selectedRow(QTreeWidget* list)
{
    const QList<QTreeWidgetItem*> rows = list->selectedItems();
    return rows.isEmpty() ? nullptr : rows.first();
}

} // namespace

FormXZZD::FormXZZD(ConsoleContext& context) : DialogBase(context)
{
    setWindowTitle(QStringLiteral("选择终端"));
    ListView1 = pickerList(this, {QStringLiteral("终端"), QStringLiteral("地址")});
    ListView1->setColumnWidth(0, 160);
    resize(360, 420);
    connect(ListView1, &QTreeWidget::itemDoubleClicked, this, [this] { confirm(); });
}

bool FormXZZD::run(LogQueryState& conditions)
{
    conditions_ = &conditions;
    picked_ = false;
    fill();
    DialogBase::run();
    return picked_;
}

void FormXZZD::fill()
{
    ListView1->clear();
    if (!context().MySql)
        return;
    db::Connection& config = context().MySql->Cnn1;
    config.clearError();
    db::Recordset rs = config.query(kTerminalPickerSql);
    if (config.failed()) {
        tellDatabaseFailure(this, config.lastError());
        return;
    }
    for (; !rs.eof(); rs.moveNext()) {
        const QString ip = rs.field(QStringLiteral("IP")).toString().trimmed();
        auto* row = new QTreeWidgetItem(
            ListView1, {rs.field(QStringLiteral("Name")).toString().trimmed(), ip});
        row->setData(0, Qt::UserRole, ip);
    }
}

void FormXZZD::done(int result)
{
    if (QTreeWidgetItem* row = selectedRow(ListView1); row && conditions_) {
        conditions_->CondTermName = row->text(0);
        conditions_->CondTermIP = row->data(0, Qt::UserRole).toString();
        picked_ = true;
    }
    DialogBase::done(result);
}

FormXZWY::FormXZWY(ConsoleContext& context) : DialogBase(context)
{
    setWindowTitle(QStringLiteral("选择网站/网页"));
    ListView1 = pickerList(this, {QStringLiteral("域名(网站/网页)"), QStringLiteral("标题")});
    ListView1->setColumnWidth(0, 300);
    resize(620, 460);
    connect(ListView1, &QTreeWidget::itemDoubleClicked, this, [this] { confirm(); });
}

bool FormXZWY::pick()
{
    PickedUrl.clear();
    fill();
    DialogBase::run();
    return !PickedUrl.isEmpty();
}

// Grouping the whole log by page took ever longer as the log grew; the pages of the newest rows
// are what an administrator picks from, and reaching them by the time index costs the same on
// any size of log.
void FormXZWY::fill()
{
    ListView1->clear();
    if (!context().MySql)
        return;
    db::Connection& log = context().MySql->Cnn2;
    log.clearError();
    const db::Recordset horizon = log.query(webPickerHorizonSql());
    std::optional<QString> since;
    if (!horizon.eof())
        since = horizon.field(0).toString();
    db::Recordset rs;
    if (!log.failed())
        rs = log.query(webPickerSql(since));
    if (log.failed()) {
        tellDatabaseFailure(this, log.lastError());
        return;
    }
    QList<QTreeWidgetItem*> rows;
    for (; !rs.eof() && rows.size() < kWebPickerPages; rs.moveNext())
        rows << new QTreeWidgetItem({rs.field(QStringLiteral("URL")).toString().trimmed(),
                                     rs.field(QStringLiteral("Title")).toString().trimmed()});
    ListView1->addTopLevelItems(rows);
}

void FormXZWY::done(int result)
{
    if (QTreeWidgetItem* row = selectedRow(ListView1))
        PickedUrl = row->text(0);
    DialogBase::done(result);
}

} // namespace lt::overseer
