#include "overseer/core/resultpager.h"

#include "overseer/core/pagestatus.h"

namespace lt::overseer
{

int ResultPager::pageCount() const
{
    return int((rows_.size() + pageSize_ - 1) / pageSize_);
}

void ResultPager::setButtons(bool back, bool forward)
{
    status_.buttons = {back, back, forward, forward};
}

int ResultPager::显示此页数据()
{
    page_.clear();
    for (int i = 1; i <= pageSize_; ++i) {
        if (atEnd())
            return i - 1;
        page_ << rows_[pos_++];
        if (atEnd())
            return i;
    }
    return pageSize_ + 1;
}

void ResultPager::start(QList<QStringList> rows, int pageSize)
{
    rows_ = std::move(rows);
    pageSize_ = std::max(pageSize, 1);
    pos_ = 0;
    page_.clear();
    status_ = {};
    if (rows_.isEmpty())
        return;
    const int counter = 显示此页数据();
    status_.panels = {recordsText(rows_.size()), pagesText(pageCount()), pageNoText(1),
                      pageRowsText(rowsShown(counter))};
    setButtons(false, counter > pageSize_);
}

void ResultPager::显示首页数据()
{
    setPage(1);
    status_.panels[2] = pageNoText(absolutePage());
    const int counter = 显示此页数据();
    setButtons(false, !atEnd());
    status_.panels[3] = pageRowsText(rowsShown(counter));
}

void ResultPager::显示上页数据()
{
    // After a fill the position already points at the following page.
    setPage(atEnd() ? pageCount() - 1 : absolutePage() - 2);
    status_.panels[2] = pageNoText(absolutePage());
    const int counter = 显示此页数据();
    status_.panels[3] = pageRowsText(rowsShown(counter));
    setButtons(absolutePage() != 2, true);
}

void ResultPager::显示下页数据()
{
    status_.panels[2] = pageNoText(absolutePage());
    const int counter = 显示此页数据();
    status_.panels[3] = pageRowsText(rowsShown(counter));
    setButtons(true, !atEnd());
}

void ResultPager::显示尾页数据()
{
    setPage(pageCount());
    status_.panels[2] = pageNoText(absolutePage());
    const int counter = 显示此页数据();
    status_.panels[3] = pageRowsText(counter);
    setButtons(true, false);
}

} // namespace lt::overseer
