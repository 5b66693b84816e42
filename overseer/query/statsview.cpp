#include "overseer/query/statsview.h"

#include "common/datasources.h"
#include "common/widgets/messages.h"
#include "overseer/core/consolecontext.h"
#include "overseer/core/pagestatus.h"
#include "overseer/query/conditiondialogs.h"
#include "overseer/query/statsworker.h"

namespace lt::overseer
{

namespace
{

const QString kExtract = QStringLiteral("提取");
const QString kFailed = QStringLiteral("统计失败，请检查与安全控制中心数据库的连接。");
const QString kDeleteFailed =
    QStringLiteral("删除日志记录失败，请检查与安全控制中心数据库的连接。");

QString withDetail(const QString& text, const QString& detail)
{
    return detail.isEmpty() ? text : text + u'\n' + detail;
}

} // namespace

StatisticsView::StatisticsView(ConsoleContext& context, LogQueryState& conditions, QObject* parent)
    : context_(context), conditions_(conditions)
{
    setParent(parent);
    model_.setLayout(statsLayout(mode_));
}

StatisticsView::~StatisticsView() = default;

void StatisticsView::setConnectionStrings(const QString& log, const QString& config)
{
    logString_ = log;
    configString_ = config;
    channel_.reset();
}

StatsChannel& StatisticsView::channel()
{
    QString log = logString_, config = configString_;
    if (log.isEmpty() && context_.MySql)
        log = context_.MySql->Cnn0.connectionString();
    if (config.isEmpty() && context_.MySql)
        config = context_.MySql->Cnn1.connectionString();
    const dsn::ConnectionStrings chosen = dsn::chosenConnectionStrings();
    if (log.isEmpty())
        log = chosen.log;
    if (config.isEmpty())
        config = chosen.config;
    const QString key = log + u'\n' + config;
    if (channel_ && channel_->property("key").toString() == key)
        return *channel_;
    channel_ = std::make_unique<StatsChannel>(log, config);
    channel_->setProperty("key", key);
    StatsWorker* w = channel_->worker();
    connect(w, &StatsWorker::pageReady, this, &StatisticsView::onPage);
    connect(w, &StatsWorker::trafficReady, this, &StatisticsView::onTraffic);
    connect(w, &StatsWorker::failed, this, &StatisticsView::onFailed);
    connect(w, &StatsWorker::executed, this, [this](quint64 request, const QList<int>& done) {
        if (request != deleteRequest_)
            return;
        deleteRequest_ = 0;
        const QList<int> rows = std::exchange(deleting_, {});
        for (auto it = done.rbegin(); it != done.rend(); ++it)
            model_.removeRows(rows.value(*it), 1);
        emit answered();
    });
    return *channel_;
}

void StatisticsView::访问统计函数()
{
    if (!context_.dialog<DialogFW>().run(conditions_))
        return;
    const auto mode = statsMode(conditions_.CondResult);
    if (!mode)
        return;
    context_.PageSize = kStatsPageSize;
    if (*mode == StatsMode::Traffic) {
        显示流量统计();
        return;
    }
    startVisits(*mode);
}

void StatisticsView::startVisits(StatsMode mode)
{
    mode_ = mode;
    title_ = statsTitle(mode, conditions_);
    model_.setLayout(statsLayout(mode));
    total_ = 0;
    pageNo_ = 0;
    emit keyEnabledChanged(key::日志打印, false);
    setStatus(ViewStatus{});
    emit showRequested();
    progress_.start(context_.ProgressExePath, kExtract);
    requestPage(1);
}

void StatisticsView::requestPage(qint64 pageNo)
{
    pageNo_ = pageNo;
    request_ = channel().visitPage(conditions_, mode_, pageNo, kStatsPageSize);
    editStatus().busy = true;
    editStatus().buttons = {false, false, false, false};
    publishStatus();
}

void StatisticsView::onPage(quint64 request, const QList<QStringList>& rows, qint64 total)
{
    if (request != request_)
        return;
    const qint64 pages = pageCountOf(total, kStatsPageSize);
    // A page asked for beyond the end (rows deleted meanwhile) shows the last one.
    if (rows.isEmpty() && total > 0 && pageNo_ > pages) {
        requestPage(pages);
        return;
    }
    finishRequest();
    total_ = total;
    model_.setRows(rows);
    model_.sort(2, Qt::DescendingOrder);
    ViewStatus& s = editStatus();
    s.panels = {recordsText(total), pagesText(pages), pageNoText(pageNo_),
                pageRowsText(rows.size())};
    s.buttons = {pageNo_ > 1, pageNo_ > 1, pageNo_ < pages, pageNo_ < pages};
    publishStatus();
    emit answered();
}

void StatisticsView::显示流量统计()
{
    mode_ = StatsMode::Traffic;
    title_ = statsTitle(mode_, conditions_);
    model_.setLayout(statsLayout(mode_));
    total_ = 0;
    pageNo_ = 0;
    emit keyEnabledChanged(key::日志打印, false);
    ViewStatus s;
    s.panels = {QStringLiteral("起始：") + conditions_.CondStart,
                QStringLiteral("截至：") + conditions_.CondEnd, QString(), QString()};
    s.busy = true;
    setStatus(s);
    emit showRequested();
    progress_.start(context_.ProgressExePath, kExtract);
    request_ = channel().traffic(conditions_);
}

void StatisticsView::onTraffic(quint64 request, const QList<QStringList>& rows)
{
    if (request != request_)
        return;
    finishRequest();
    total_ = rows.size();
    model_.setRows(rows);
    model_.sort(0, Qt::AscendingOrder);
    // The last terminal of the list stays in the conditions, as the statistic leaves them.
    if (!rows.isEmpty()) {
        conditions_.CondTermName = rows.last().value(0);
        conditions_.CondTermIP = rows.last().value(1);
    }
    publishStatus();
    emit answered();
}

void StatisticsView::onFailed(quint64 request, const QString& message)
{
    if (request == deleteRequest_) {
        ui::message(window(), withDetail(kDeleteFailed, message), ui::Icon::Exclamation);
        return;
    }
    if (request != request_)
        return;
    finishRequest();
    publishStatus();
    ui::message(window(), withDetail(kFailed, message), ui::Icon::Exclamation);
    emit answered();
}

void StatisticsView::finishRequest()
{
    request_ = 0;
    editStatus().busy = false;
    progress_.close();
    if (QWidget* w = window())
        w->activateWindow();
}

void StatisticsView::firstPage()
{
    if (pageRows() || mode_ == StatsMode::AllTerminals) {
        requestPage(1);
    }
}

void StatisticsView::previousPage()
{
    if (mode_ != StatsMode::Traffic && pageNo_ > 1)
        requestPage(pageNo_ - 1);
}

void StatisticsView::nextPage()
{
    if (mode_ != StatsMode::Traffic && pageNo_ < pageCountOf(total_, kStatsPageSize))
        requestPage(pageNo_ + 1);
}

void StatisticsView::lastPage()
{
    if (mode_ != StatsMode::Traffic && total_ > 0) {
        requestPage(pageCountOf(total_, kStatsPageSize));
    }
}

void StatisticsView::m统计查看()
{
    // The current row when it is selected, else the first one selected; none: nothing.
    const QList<int> rows = selectedRows();
    if (!pageRows() || rows.isEmpty())
        return;
    const int row = rows.contains(currentRow()) ? currentRow() : rows.first();
    context_.openWebPage(model_.text(row, 0));
}

void StatisticsView::m统计删除()
{
    // The rows of the terminal statistics are terminals, not pages.
    const QList<int> rows = selectedRows();
    if (!pageRows() || rows.isEmpty() || deleteRequest_ != 0)
        return;
    if (!confirm(QStringLiteral("确定删除所选记录吗？")))
        return;
    QStringList statements;
    for (int row : rows)
        statements << statsDeleteSql(model_.text(row, 0));
    deleting_ = rows;
    deleteRequest_ = channel().execute(statements);
}

QHash<QString, ConsoleView::Handler> StatisticsView::menuHandlers()
{
    return {
        {item::统计_查看网页.caption, [this] { m统计查看(); }},
        {item::统计_删除记录.caption, [this] { m统计删除(); }},
    };
}

ListEvents StatisticsView::listEvents()
{
    ListEvents events;
    events.doubleClick = [this] { m统计查看(); };
    return events;
}

} // namespace lt::overseer
