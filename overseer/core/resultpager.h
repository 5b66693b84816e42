#pragma once
// The paging of a view that holds its whole, small result (terminals, groups, the lists, the
// statistics): pages of PageSize rows over rows held in memory, the page fill's counter
// (`显示此页数据`: the rows added, or PageSize + 1 for a full page with rows still following) and
// the status texts and button states of each move.

#include "overseer/core/consoleview.h"

#include <QList>
#include <QStringList>

namespace lt::overseer
{

class ResultPager
{
public:
    // The first page of a new result; an empty result shows nothing and disables every button.
    void start(QList<QStringList> rows, int pageSize);
    void 显示首页数据();
    void 显示上页数据();
    void 显示下页数据();
    void 显示尾页数据();

    const QList<QStringList>& page() const { return page_; }
    const ViewStatus& status() const { return status_; }
    int pageCount() const;

private:
    // Fills the page from the current row on and returns the counter.
    int 显示此页数据();
    bool atEnd() const { return pos_ >= rows_.size(); }
    int absolutePage() const { return atEnd() ? 0 : int(pos_ / pageSize_) + 1; }
    void setPage(int page) { pos_ = qBound(0, (page - 1) * pageSize_, int(rows_.size())); }
    int rowsShown(int counter) const { return counter > pageSize_ ? counter - 1 : counter; }
    void setButtons(bool back, bool forward);

    QList<QStringList> rows_;
    QList<QStringList> page_;
    int pageSize_ = 500;
    int pos_ = 0;
    ViewStatus status_;
};

} // namespace lt::overseer
