#pragma once
// The administration's views of the main window: terminals ("显示终端配置"), groups
// ("显示组别配置"), the black and white lists ("显示黑名单", "显示白名单") and the recently visited
// sites ("显示最近访问"). Each reads its whole, small table from the configuration database,
// shows it a page at a time and keeps the list in step with every change the database accepts.

#include "overseer/admin/adminstore.h"
#include "overseer/admin/reconnectwatch.h"
#include "overseer/core/columnlayouts.h"
#include "overseer/core/consoleview.h"
#include "overseer/core/dbworker.h"
#include "overseer/core/pagemodel.h"
#include "overseer/core/progressnotice.h"
#include "overseer/core/resultpager.h"

#include <functional>
#include <memory>

namespace lt::overseer
{
class ConsoleContext;
}

namespace lt::overseer::admin
{

// The icon of a terminal row (name, address, group): its own for the built-in group.
int terminalIcon(const QStringList& texts);

// What the administration views share: the list's label editing, automatic until an in-place
// rename switches it to manual.
struct ListEditing {
    bool manual = false;
};

class AdminListView : public ConsoleView
{
    Q_OBJECT
public:
    AdminListView(ConsoleContext& context, ListEditing& editing, QObject* parent);

    QAbstractItemModel* model() override { return &model_; }
    PageModel& listModel() { return model_; }
    ConsoleContext& context() const { return context_; }

    void firstPage() override;
    void previousPage() override;
    void nextPage() override;
    void lastPage() override;
    ListEvents listEvents() override;

    // The view's procedure: shows the view, then, once its table is read beside the window,
    // the first page of it.
    void showList();
    // The table is being read.
    bool reading() const;
    void cancelWork() override;
    // The row text of the current row; empty when there is none.
    QString currentText(int column = 0) const;
    // Starts an in-place edit of the current row's text while label editing is automatic.
    void editLabel();
    ListEditing& editing() { return editing_; }
    // Whether a row of the list holds `text` in `column` (optionally trimmed before comparing).
    bool listHas(int column, const QString& text, Qt::CaseSensitivity cs,
                 bool trimRows = false) const;
    // Changes the database has taken, shown at once; the result the pages are cut from follows
    // them, so paging neither loses an added row nor brings a deleted one back.
    void addRow(const QStringList& texts);
    void removeRow(int row);
    void setRowText(int row, int column, const QString& text);
    // Label editing goes manual: no in-place edit starts any more.
    void setLabelEditingManual();
    // An in-place rename waits for the table's answer whether the name is free.
    bool renaming() const { return renaming_; }
    // Shows why a change failed; after a change whose outcome is unknown the list is read
    // again as soon as the database answers, so that it shows what the server holds.
    void reportFailure(QWidget* parent, const Outcome& outcome);

protected:
    virtual ColumnLayout columns() const = 0;
    virtual QString listSql() const = 0;
    virtual int pageSize() const { return 5000; }
    virtual bool disablesPrintKey() const { return true; }
    virtual bool editableLabels() const { return false; }
    // The texts of a row from the trimmed fields of a table row.
    virtual QStringList rowTexts(const QStringList& fields) const { return fields; }
    virtual int iconOf(const QStringList& texts) const = 0;
    // In-place rename: refuses the new text with a message, or checks it further with
    // renameUnlessFree. The list shows the old text until the database has taken the new one.
    virtual void renameInPlace(int row, const QString& text);
    // Asks beside the window whether count finds the new name; a name taken gets "名称不能重复",
    // a failed check `unchecked` and the reason. Otherwise rename() makes the change; a failure
    // is reported, and the list takes the text when the change was made (also when only the
    // log's copies could not follow). Nothing follows when the row has changed or another view
    // is shown by the time the answer comes.
    void renameUnlessFree(int row, const QString& text, const QString& count,
                          const QString& unchecked, std::function<Outcome()> rename);
    virtual void beforeQuery() {}
    virtual void afterQuery() {}
    void showPage();

signals:
    // The table has been read and its first page is shown.
    void listRead();

private:
    void showRead(const QList<QStringList>& fields);
    void readFailed(const QString& why);
    void readEnded();
    // The result again after a change, at the page shown, without redrawing the list.
    void resync();
    // The new text goes in, then label editing turns manual (the list then refuses edits).
    void takeRename(int row, const QString& text);
    ConsoleContext& context_;
    ListEditing& editing_;
    PageModel model_;
    ReconnectWatch reread_;
    ResultPager pager_;
    QList<QStringList> result_; // every row of the table, in the order read
    int page_ = 1;
    quint64 read_ = 0; // the read whose answer is waited for
    bool renaming_ = false;
};

class TerminalView : public AdminListView
{
    Q_OBJECT
public:
    TerminalView(ConsoleContext& context, ListEditing& editing, QObject* parent);
    QString name() const override { return QStringLiteral("显示终端配置"); }
    QString title() const override { return QStringLiteral("终    端    配    置"); }
    QString menuName() const override { return menu::终端; }
    bool multiSelection() const override { return true; }
    QHash<QString, Handler> menuHandlers() override;

    void 显示终端配置() { showList(); }
    // Asks, then deletes the selected terminals.
    void deleteSelected();

protected:
    ColumnLayout columns() const override { return ListviewHeadShow_终端(); }
    QString listSql() const override;
    bool editableLabels() const override { return true; }
    void renameInPlace(int row, const QString& text) override;
    int iconOf(const QStringList& texts) const override { return terminalIcon(texts); }
};

class GroupView : public AdminListView
{
    Q_OBJECT
public:
    GroupView(ConsoleContext& context, ListEditing& editing, QObject* parent);
    QString name() const override { return QStringLiteral("显示组别配置"); }
    QString title() const override { return QStringLiteral("组    别    配    置"); }
    QString menuName() const override { return menu::组别; }
    QHash<QString, Handler> menuHandlers() override;

    void 显示组别配置() { showList(); }
    // Refuses the built-in group, then the rename dialog.
    void renameSelected();
    // Asks, then deletes the selected group; its members go to the built-in group.
    void deleteSelected();

protected:
    ColumnLayout columns() const override { return ListviewHeadShow_组别(); }
    QString listSql() const override;
    bool editableLabels() const override { return true; }
    QStringList rowTexts(const QStringList& fields) const override;
    void renameInPlace(int row, const QString& text) override;
    int iconOf(const QStringList&) const override { return 3; }
};

// The black and white lists: the administrator's entries of blacktable or whitetable.
class SiteListView : public AdminListView
{
    Q_OBJECT
public:
    SiteListView(ConsoleContext& context, ListEditing& editing, bool black, QObject* parent);
    QString name() const override;
    QString title() const override;
    QString menuName() const override { return menu::名单; }
    QHash<QString, Handler> menuHandlers() override;
    bool black() const { return black_; }
    QString table() const;

    void 显示黑名单() { showList(); }
    void 显示白名单() { showList(); }
    // Asks, then deletes the selected entry.
    void deleteSelected();

protected:
    ColumnLayout columns() const override;
    QString listSql() const override;
    bool disablesPrintKey() const override { return black_; }
    bool editableLabels() const override { return true; }
    void renameInPlace(int row, const QString& text) override;
    int iconOf(const QStringList&) const override { return black_ ? 8 : 9; }

private:
    bool black_;
};

class RecentVisitsView : public AdminListView
{
    Q_OBJECT
public:
    RecentVisitsView(ConsoleContext& context, ListEditing& editing, QObject* parent);
    QString name() const override { return QStringLiteral("显示最近访问"); }
    QString title() const override { return QStringLiteral("显    示    最    近    访    问"); }
    QString menuName() const override { return menu::访问; }
    bool multiSelection() const override { return true; }
    QHash<QString, Handler> menuHandlers() override;

    void 显示最近访问() { showList(); }
    // Asks, then deletes the selected visits.
    void deleteSelected();

protected:
    ColumnLayout columns() const override { return ListviewHeadShow_访问(); }
    QString listSql() const override;
    int pageSize() const override { return 500; }
    void beforeQuery() override;
    void afterQuery() override;
    int iconOf(const QStringList&) const override { return 10; }

private:
    ProgressNotice notice_;
};

} // namespace lt::overseer::admin
