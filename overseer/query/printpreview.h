#pragma once
// The print preview of the browse log ("日志打印预览"): the records chosen for printing, 21 to a
// page as they will be printed, paged from the server like the access log. A preview that
// holds records turns the toolbar key "日志打印" on; the print dialog prints what it shows.

#include "overseer/core/pagedlogview.h"
#include "overseer/query/logquery.h"

namespace lt::overseer
{

class ConsoleContext;

class PrintPreviewView : public PagedLogView
{
    Q_OBJECT
public:
    PrintPreviewView(ConsoleContext& context, LogQueryState& conditions, QObject* parent = nullptr);

    QString name() const override { return QStringLiteral("日志打印预览"); }
    QString title() const override { return QStringLiteral("日    志   打   印   预   览"); }

    // Menu "打印预览": the print conditions, then the first page of the records.
    void m打印预览();

    // The condition of the records previewed (after WHERE), and their number (-1 until the
    // count is in).
    const QString& condition() const { return condition_; }
    qint64 total() const { return store() ? store()->total() : -1; }

protected:
    // The log's columns as they are: the preview shows what will be printed.
    QStringList rowTexts(const QStringList& fields) const override;
    // Records to print: the print key goes on.
    void pageShown() override;

private:
    LogQueryState& conditions_;
    QString condition_;
};

} // namespace lt::overseer
