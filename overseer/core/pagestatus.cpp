#include "overseer/core/pagestatus.h"

namespace lt::overseer
{

QString recordsText(qint64 total)
{
    return QStringLiteral("共 %1 条记录").arg(total);
}

QString pagesText(qint64 pages)
{
    return QStringLiteral("共 %1 页").arg(pages);
}

QString pageNoText(qint64 page)
{
    return QStringLiteral("第 %1 页").arg(page);
}

QString pageRowsText(qint64 rows)
{
    return QStringLiteral("本页 %1 条").arg(rows);
}

LogPageFigures logPageFigures(qint64 total, int pageSize)
{
    LogPageFigures f;
    if (pageSize <= 0)
        return f;
    f.LogPageCount = total / pageSize;
    const int rest = int(total % pageSize);
    if (rest != 0) {
        ++f.LogPageCount;
        f.LogLastPageRows = rest;
    } else {
        f.LogLastPageRows = pageSize;
    }
    return f;
}

std::array<bool, 4> logPagingButtons(qint64 pageNo, qint64 pageCount, bool pageFull)
{
    const bool back = pageNo > 1;
    if (pageCount <= 0)
        return {back, back, pageFull, false};
    const bool forward = pageNo < pageCount;
    return {back, back, forward, forward};
}

} // namespace lt::overseer
