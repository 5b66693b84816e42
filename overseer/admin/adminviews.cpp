#include "overseer/admin/adminviews.h"

#include "common/widgets/messages.h"
#include "overseer/admin/adminrules.h"
#include "overseer/admin/adminstore.h"
#include "overseer/admin/rowicons.h"
#include "overseer/core/consolecontext.h"

#include <QKeyEvent>
#include <QTreeView>
#include <algorithm>

namespace lt::overseer::admin
{

int terminalIcon(const QStringList& texts)
{
    return texts.value(2).trimmed() == kBuiltInGroup ? 15 : 2;
}

AdminListView::AdminListView(ConsoleContext& context, ListEditing& editing, QObject* parent)
    : context_(context), editing_(editing)
{
    setParent(parent);
    // The statements of a row read its sub-items without a column too (a list entry's S).
    model_.setKeepsHiddenTexts(true);
    model_.setIcons([this](const QStringList& texts) { return iconOf(texts); }, rowIcon);
}

void AdminListView::showList()
{
    emit showRequested();
    model_.setLayout(columns());
    model_.setLabelsEditable(editableLabels() && !editing_.manual);
    context_.PageSize = qint16(pageSize());
    if (disablesPrintKey())
        emit keyEnabledChanged(key::日志打印, false);
    setStatus({});
    const quint64 read = ++read_; // an answer to an earlier read is dropped
    // Before the login there is no session to read with, nor anyone to tell.
    if (!context_.MySql)
        return;
    DbChannel* reads = context_.configReads();
    if (!reads) {
        readFailed(db::kServerUnreachable);
        return;
    }
    ViewStatus waiting;
    waiting.busy = true;
    setStatus(waiting);
    beforeQuery();
    // The table is read beside the window, which keeps answering meanwhile.
    reads->fetch(
        {listSql()}, this,
        [this, read](const QList<Rows>& parts) {
            if (read == read_)
                showRead(parts.value(0));
        },
        [this, read](const DbFailure& failure) {
            if (read == read_)
                readFailed(describeFailure(failure));
        });
}

void AdminListView::readEnded()
{
    afterQuery();
    setStatus({});
}

void AdminListView::readFailed(const QString& why)
{
    readEnded();
    ui::message(window(), QStringLiteral("数据未能读取。\n") + why, ui::Icon::Exclamation);
}

void AdminListView::showRead(const QList<QStringList>& fields)
{
    readEnded();
    QList<QStringList> rows;
    rows.reserve(fields.size());
    for (const QStringList& f : fields)
        rows << rowTexts(f);
    result_ = std::move(rows);
    pager_.start(result_, pageSize());
    page_ = 1;
    showPage();
    emit listRead();
}

void AdminListView::cancelWork()
{
    if (!reading())
        return;
    // Another view is shown: the answer is not waited for any more.
    ++read_;
    readEnded();
}

bool AdminListView::reading() const
{
    return status().busy;
}

void AdminListView::addRow(const QStringList& texts)
{
    model_.appendRow(texts);
    result_ << model_.rows().last(); // as the model keeps it, so that it is found again
    resync();
}

void AdminListView::removeRow(int row)
{
    const QStringList texts = model_.rows().value(row);
    if (!model_.removeRows(row, 1))
        return;
    if (const qsizetype at = result_.indexOf(texts); at >= 0)
        result_.remove(at);
    resync();
}

void AdminListView::setRowText(int row, int column, const QString& text)
{
    const QStringList before = model_.rows().value(row);
    model_.setText(row, column, text);
    if (const qsizetype at = result_.indexOf(before); at >= 0)
        result_[at] = model_.rows().value(row);
}

void AdminListView::resync()
{
    pager_.start(result_, pageSize());
    page_ = std::clamp(page_, 1, std::max(1, pager_.pageCount()));
    for (int p = 1; p < page_; ++p)
        pager_.显示下页数据();
    setStatus(pager_.status());
}

void AdminListView::showPage()
{
    model_.setRows(pager_.page());
    setStatus(pager_.status());
}

void AdminListView::firstPage()
{
    page_ = 1;
    pager_.显示首页数据();
    showPage();
}

void AdminListView::previousPage()
{
    page_ = std::max(1, page_ - 1);
    pager_.显示上页数据();
    showPage();
}

void AdminListView::nextPage()
{
    page_ = std::min(pager_.pageCount(), page_ + 1);
    pager_.显示下页数据();
    showPage();
}

void AdminListView::lastPage()
{
    page_ = pager_.pageCount();
    pager_.显示尾页数据();
    showPage();
}

QString AdminListView::currentText(int column) const
{
    return model_.text(currentRow(), column);
}

bool AdminListView::listHas(int column, const QString& text, Qt::CaseSensitivity cs,
                            bool trimRows) const
{
    for (const QStringList& row : model_.rows()) {
        const QString value = trimRows ? row.value(column).trimmed() : row.value(column);
        if (QString::compare(value, text, cs) == 0)
            return true;
    }
    return false;
}

void AdminListView::setLabelEditingManual()
{
    editing_.manual = true;
    model_.setLabelsEditable(false);
}

void AdminListView::reportFailure(QWidget* parent, const Outcome& outcome)
{
    ui::message(parent, outcome.message, ui::Icon::Exclamation);
    db::Connection* config = configConnection(context_.MySql.get());
    if (!outcome.unknown || !config)
        return;
    reread_.start(config->connectionString(), [this] {
        // Another view shown meanwhile reads its own table when it is shown again.
        if (context_.currentView() == this)
            showList();
    });
}

void AdminListView::editLabel()
{
    const int row = currentRow();
    if (row < 0 || editing_.manual || renaming_ || !model_.labelsEditable())
        return;
    requestEdit(model_.index(row, 0));
}

void AdminListView::renameInPlace(int row, const QString& text)
{
    takeRename(row, text);
}

void AdminListView::takeRename(int row, const QString& text)
{
    setRowText(row, 0, text);
    setLabelEditingManual();
}

void AdminListView::renameUnlessFree(int row, const QString& text, const QString& count,
                                     const QString& unchecked, std::function<Outcome()> rename)
{
    renaming_ = true;
    const QStringList before = model_.rows().value(row);
    const auto stale = [this, row, before] {
        renaming_ = false;
        return context_.currentView() != this || model_.rows().value(row) != before;
    };
    const auto answered = [this, row, text, stale, rename](const QList<bool>& found) {
        if (stale())
            return;
        if (found.value(0))
            return void(ui::message(window(), QStringLiteral("名称不能重复")));
        const Outcome done = rename();
        if (!done)
            reportFailure(window(), done);
        if (done || done.partly)
            takeRename(row, text);
    };
    const auto failed = [this, stale, unchecked](const QString& why) {
        if (!stale())
            ui::message(window(), unchecked + u'\n' + why, ui::Icon::Exclamation);
    };
    countBeside(context_, this, nullptr, {count}, answered, failed);
}

ListEvents AdminListView::listEvents()
{
    ListEvents events;
    // The edit itself never takes the text: it goes in once the database has taken it.
    events.afterLabelEdit = [this](const QModelIndex& index, const QString& text) {
        if (renaming_)
            return false;
        if (text.isEmpty()) {
            setLabelEditingManual();
            return false;
        }
        if (listHas(0, text, Qt::CaseInsensitive)) {
            ui::message(window(), QStringLiteral("名称不能重复"));
            return false;
        }
        renameInPlace(index.row(), text);
        return false;
    };
    events.doubleClick = [this] { editLabel(); };
    events.keyDown = [this](QKeyEvent* event) {
        if (event->key() == Qt::Key_F2)
            editLabel();
    };
    return events;
}

// ---- the views' tables --------------------------------------------------------------------

TerminalView::TerminalView(ConsoleContext& context, ListEditing& editing, QObject* parent)
    : AdminListView(context, editing, parent)
{
}

QString TerminalView::listSql() const
{
    return sql::terminals();
}

GroupView::GroupView(ConsoleContext& context, ListEditing& editing, QObject* parent)
    : AdminListView(context, editing, parent)
{
}

QString GroupView::listSql() const
{
    return sql::groups();
}

QStringList GroupView::rowTexts(const QStringList& fields) const
{
    return {fields.value(0), logModeLabel(fields.value(1)), logModeLabel(fields.value(2))};
}

SiteListView::SiteListView(ConsoleContext& context, ListEditing& editing, bool black,
                           QObject* parent)
    : AdminListView(context, editing, parent), black_(black)
{
}

QString SiteListView::name() const
{
    return black_ ? QStringLiteral("显示黑名单") : QStringLiteral("显示白名单");
}

QString SiteListView::title() const
{
    return black_ ? QStringLiteral("黑   名   单   管   理")
                  : QStringLiteral("白   名   单   管   理");
}

QString SiteListView::table() const
{
    return black_ ? QStringLiteral("blacktable") : QStringLiteral("whitetable");
}

ColumnLayout SiteListView::columns() const
{
    return black_ ? ListviewHeadShow_黑单() : ListviewHeadShow_白单();
}

QString SiteListView::listSql() const
{
    return black_ ? sql::blackList() : sql::whiteList();
}

RecentVisitsView::RecentVisitsView(ConsoleContext& context, ListEditing& editing, QObject* parent)
    : AdminListView(context, editing, parent)
{
}

QString RecentVisitsView::listSql() const
{
    return sql::recentVisits();
}

void RecentVisitsView::beforeQuery()
{
    notice_.start(context().ProgressExePath, QStringLiteral("提取"));
}

void RecentVisitsView::afterQuery()
{
    notice_.close();
}

} // namespace lt::overseer::admin
