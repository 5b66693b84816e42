#pragma once
// The statistics view: visit statistics ("显示访问统计", modes 0 to 2, 5000 rows a page, paged
// from the server) and traffic per terminal ("显示流量统计", mode 3). Its context menu "统计"
// opens the page of a row ("查看网页") and deletes the log rows of the selected pages
// ("删除记录"); the first column is the row's page (or terminal), which other commands of the
// menu read.

#include "overseer/core/consoleview.h"
#include "overseer/core/pagemodel.h"
#include "overseer/core/progressnotice.h"
#include "overseer/query/logquery.h"
#include "overseer/query/statistics.h"

#include <memory>

namespace lt::overseer
{

class ConsoleContext;
class StatsChannel;

class StatisticsView : public ConsoleView
{
    Q_OBJECT
public:
    StatisticsView(ConsoleContext& context, LogQueryState& conditions, QObject* parent = nullptr);
    ~StatisticsView() override;

    QString name() const override { return statsViewName(mode_); }
    QString title() const override { return title_; }
    QString menuName() const override { return menu::统计; }
    QAbstractItemModel* model() override { return &model_; }
    PageModel& pageModel() { return model_; }
    bool multiSelection() const override { return true; }
    void firstPage() override;
    void previousPage() override;
    void nextPage() override;
    void lastPage() override;
    QHash<QString, Handler> menuHandlers() override;
    ListEvents listEvents() override;

    // Toolbar "访问统计": the statistics dialog, then the statistic of the mode chosen.
    void 访问统计函数();
    // Traffic per terminal over CondStart..CondEnd.
    void 显示流量统计();
    void m统计查看();
    void m统计删除();

    StatsMode mode() const { return mode_; }
    qint64 total() const { return total_; }
    qint64 pageNo() const { return pageNo_; }
    bool requestOut() const { return request_ != 0; }
    // The connection strings of the worker; by default Cnn0's and Cnn1's.
    void setConnectionStrings(const QString& log, const QString& config);

signals:
    // An answer came (a page, the traffic, a delete, or a failure).
    void answered();

private:
    StatsChannel& channel();
    void startVisits(StatsMode mode);
    void requestPage(qint64 pageNo);
    void onPage(quint64 request, const QList<QStringList>& rows, qint64 total);
    void onTraffic(quint64 request, const QList<QStringList>& rows);
    void onFailed(quint64 request, const QString& message);
    void finishRequest();
    bool pageRows() const { return mode_ == StatsMode::Terminal || mode_ == StatsMode::AllPages; }

    ConsoleContext& context_;
    LogQueryState& conditions_;
    PageModel model_;
    std::unique_ptr<StatsChannel> channel_;
    QString logString_, configString_;
    ProgressNotice progress_;
    StatsMode mode_ = StatsMode::AllPages;
    QString title_;
    qint64 total_ = 0;
    qint64 pageNo_ = 0;
    quint64 request_ = 0;
    quint64 deleteRequest_ = 0;
    QList<int> deleting_;
};

} // namespace lt::overseer
