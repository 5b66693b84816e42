#pragma once
// The two log views: the access log ("显示访问日志", logtable) and the upload log
// ("显示上传统计", upsendtable). Each first asks how much to show (today only, or by
// conditions), then shows the newest rows first, one page at a time from the server; the
// administrator can delete the selected rows, open an accessed page, and look at one upload in
// its record dialog.

#include "overseer/core/columnlayouts.h"
#include "overseer/core/pagedlogview.h"
#include "overseer/query/logquery.h"

namespace lt::overseer
{

class ConsoleContext;

// What the two views share beside the paging: their conditions, starting the list, deleting
// the selected rows.
class LogView : public PagedLogView
{
    Q_OBJECT
public:
    LogView(ConsoleContext& context, LogQueryState& conditions, LogTable table,
            QObject* parent = nullptr);

    bool multiSelection() const override { return true; }

protected:
    // The statement that deletes one row of the page.
    virtual QString deleteStatement(const QStringList& texts) const = 0;
    // Shows the view and its first page: the layout, then the list, read along `index` (empty:
    // the time stamp index); sparse: a condition that may match few rows (LogStore::start).
    void startList(const ColumnLayout& layout, const QString& listSql, const QString& countSql,
                   const QString& index = {}, bool sparse = false);
    // Asks, then deletes the selected rows.
    void deleteSelected();
    QString currentText(int column) const;

    LogQueryState& conditions_;
};

class AccessLogView : public LogView
{
    Q_OBJECT
public:
    AccessLogView(ConsoleContext& context, LogQueryState& conditions, QObject* parent = nullptr);
    QString name() const override { return QStringLiteral("显示访问日志"); }
    QString title() const override { return QStringLiteral("访    问    日    志"); }
    QString menuName() const override { return menu::查看; }
    QHash<QString, Handler> menuHandlers() override;
    ListEvents listEvents() override;

    // The view's procedure: toolbar "日志管理", menu items "查看日志" and "刷新日志".
    void 显示访问日志();
    // Opens the web address (sub-item 5) of the selected row.
    void 查看网页();

protected:
    QStringList rowTexts(const QStringList& fields) const override;
    QString deleteStatement(const QStringList& texts) const override;

private:
    void startTitleSearch(const QString& listSql, const QString& countSql, const QString& index);
};

class UploadLogView : public LogView
{
    Q_OBJECT
public:
    UploadLogView(ConsoleContext& context, LogQueryState& conditions, QObject* parent = nullptr);
    QString name() const override { return QStringLiteral("显示上传统计"); }
    QString title() const override { return QStringLiteral("上    传    日    志"); }
    QString menuName() const override { return menu::上传; }
    QHash<QString, Handler> menuHandlers() override;
    ListEvents listEvents() override;

    // The view's procedure: toolbar "上传数据".
    void 显示上传数据();
    // The record dialog of the selected row.
    void showRecord();

protected:
    QStringList rowTexts(const QStringList& fields) const override;
    QString deleteStatement(const QStringList& texts) const override;
};

// The delete statements of the two views, values quoted.
QString accessLogDeleteSql(const QString& ip, const QString& acTime);
QString uploadLogDeleteSql(const QString& ip, const QString& acTime);
// The today-only count of the access log, as the view sends it.
QString todayLogCountSql(const QDate& day);

} // namespace lt::overseer
