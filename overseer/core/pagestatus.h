#pragma once
// The texts of the four status panels and the page figures of a log view.

#include <QString>
#include <array>

namespace lt::overseer
{

QString recordsText(qint64 total); // "共 " + total + " 条记录"
QString pagesText(qint64 pages);   // "共 " + pages + " 页"
QString pageNoText(qint64 page);   // "第 " + page + " 页"
QString pageRowsText(qint64 rows); // "本页 " + rows + " 条"

// The pages of a log of `total` matching rows and the rows on its last page: total div
// pageSize pages, one more for a remainder, which is then the last page's rows.
struct LogPageFigures {
    qint64 LogPageCount = 0;
    int LogLastPageRows = 0;
};
LogPageFigures logPageFigures(qint64 total, int pageSize);

// "首页", "上页", "下页", "尾页" for page `pageNo` of `pageCount`: the first two off on the first
// page, the last two off on the last page. While the count is not in (pageCount 0) "尾页" waits
// for it and "下页" goes on as long as the page shown is full.
std::array<bool, 4> logPagingButtons(qint64 pageNo, qint64 pageCount, bool pageFull);

} // namespace lt::overseer
