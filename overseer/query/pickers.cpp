#include "overseer/query/pickers.h"

#include "overseer/core/consolecontext.h"
#include "overseer/core/dbworker.h"
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

// Read beside the window: the picker opens at once and its rows come when the server answers.
void FormXZZD::fill()
{
    ListView1->clear();
    reading_ = false;
    if (!context().MySql)
        return;
    reading_ = true;
    readBeside(
        context().configReads(), this, {kTerminalPickerSql},
        [this](const QList<Rows>& parts) {
            reading_ = false;
            QList<QTreeWidgetItem*> rows;
            for (const QStringList& fields : parts.value(0)) {
                auto* row = new QTreeWidgetItem({fields.value(0), fields.value(1)});
                row->setData(0, Qt::UserRole, fields.value(1));
                rows << row;
            }
            ListView1->addTopLevelItems(rows);
        },
        [this](const DbFailure& failure) {
            reading_ = false;
            tellDatabaseFailure(this, failure.error());
        });
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
// any size of log. Both reads run beside the window, the second once the first has answered.
void FormXZWY::fill()
{
    ListView1->clear();
    reading_ = false;
    if (!context().MySql)
        return;
    reading_ = true;
    const auto failed = [this](const DbFailure& failure) {
        reading_ = false;
        tellDatabaseFailure(this, failure.error());
    };
    DbChannel* reads = context().logReads();
    readBeside(
        reads, this, {webPickerHorizonSql()},
        [this, reads, failed](const QList<Rows>& horizon) {
            std::optional<QString> since;
            if (!horizon.value(0).isEmpty())
                since = horizon.value(0).first().value(0);
            readBeside(
                reads, this, {webPickerSql(since)},
                [this](const QList<Rows>& parts) {
                    reading_ = false;
                    QList<QTreeWidgetItem*> rows;
                    for (const QStringList& fields : parts.value(0).mid(0, kWebPickerPages))
                        rows << new QTreeWidgetItem(
                            {fields.value(1), fields.value(0)}); // URL, Title
                    ListView1->addTopLevelItems(rows);
                },
                failed);
        },
        failed);
}

void FormXZWY::done(int result)
{
    if (QTreeWidgetItem* row = selectedRow(ListView1))
        PickedUrl = row->text(0);
    DialogBase::done(result);
}

} // namespace lt::overseer
