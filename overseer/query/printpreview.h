#pragma once
// The print preview of the browse log ("日志打印预览"): the records chosen for printing, 21 to a
// page as they will be printed, paged from the server like the access log. A preview that
// holds records turns the toolbar key "日志打印" on; the print dialog prints what it shows.

#include "overseer/core/consoleview.h"
#include "overseer/core/logstore.h"
#include "overseer/core/pagemodel.h"
#include "overseer/query/logquery.h"

#include <memory>

namespace lt::overseer
{

class ConsoleContext;

class PrintPreviewView : public ConsoleView
{
    Q_OBJECT
public:
    PrintPreviewView(ConsoleContext& context, LogQueryState& conditions, QObject* parent = nullptr);
    ~PrintPreviewView() override;

    QString name() const override { return QStringLiteral("日志打印预览"); }
    QString title() const override { return QStringLiteral("日    志   打   印   预   览"); }
    QAbstractItemModel* model() override { return &model_; }
    void firstPage() override;
    void previousPage() override;
    void nextPage() override;
    void lastPage() override;

    // Menu "打印预览": the print conditions, then the first page of the records.
    void m打印预览();

    // The condition of the records previewed (after WHERE), and their number (-1 until the
    // count is in).
    const QString& condition() const { return condition_; }
    qint64 total() const { return store_ ? store_->total() : -1; }
    LogStore* store() const { return store_.get(); }
    // The connection string of the workers; by default Cnn0's.
    void setConnectionString(const QString& connectionString) { connection_ = connectionString; }
    QString connectionString() const;

private:
    LogStore& ensureStore();
    ConsoleContext& context_;
    LogQueryState& conditions_;
    PageModel model_;
    std::unique_ptr<LogStore> store_;
    QString connection_;
    QString condition_;
};

} // namespace lt::overseer
