#include "overseer/core/logpaging.h"

#include "common/odbc.h"

#include <algorithm>

namespace lt::overseer
{

namespace
{

using Case = PagePlan::Case;
using Rows = QList<QStringList>;

QString bound(const char* op, const QString& stamp)
{
    return QStringLiteral(" and AcTime%1'%2'").arg(QLatin1String(op), db::sqlEscape(stamp));
}

QString newestFirst(int offset, int rows)
{
    return offset > 0 ? QStringLiteral(" ORDER BY AcTime DESC LIMIT %1,%2").arg(offset).arg(rows)
                      : QStringLiteral(" ORDER BY AcTime DESC LIMIT %1").arg(rows);
}

QString oldestFirst(int offset, int rows)
{
    return offset > 0 ? QStringLiteral(" ORDER BY AcTime LIMIT %1,%2").arg(offset).arg(rows)
                      : QStringLiteral(" ORDER BY AcTime LIMIT %1").arg(rows);
}

PagePlan plan(Case kind, const TieMark& from, QList<PagePart> parts)
{
    PagePlan p;
    p.kind = kind;
    p.stamp = from.stamp;
    p.ties = from.count;
    p.parts = std::move(parts);
    return p;
}

int countStamp(const Rows& rows, int field, const QString& stamp)
{
    return int(std::count_if(rows.begin(), rows.end(),
                             [&](const QStringList& row) { return row.value(field) == stamp; }));
}

} // namespace

LogTable browseLogTable()
{
    return {QStringLiteral("logtable"), QStringLiteral("AcTimeIndex"), 2};
}

LogTable uploadLogTable()
{
    return {QStringLiteral("upsendtable"), QStringLiteral("AcTimeSend"), 3};
}

namespace
{

QString withIndexHint(const QString& listSql, const LogTable& table, const char* hint)
{
    const QString from = QStringLiteral("FROM ") + table.table;
    const qsizetype at = listSql.indexOf(from, 0, Qt::CaseInsensitive);
    if (at < 0)
        return listSql;
    QString sql = listSql;
    sql.insert(at + from.size(),
               QStringLiteral(" %1 INDEX (%2)").arg(QLatin1String(hint), table.index));
    return sql;
}

} // namespace

QString withStampIndex(const QString& listSql, const LogTable& table)
{
    return withIndexHint(listSql, table, "FORCE");
}

PagePlan planFirstPage(const QString& listSql, const LogTable& table, int pageSize)
{
    return plan(Case::First, {}, {{withStampIndex(listSql, table) + newestFirst(0, pageSize)}});
}

PagePlan planSparseFirstPage(const QString& listSql, const LogTable& table, int pageSize,
                             int walkRows)
{
    PagePlan p = planFirstPage(listSql, table, pageSize);
    p.parts.first().sql += QStringLiteral(" ROWS EXAMINED %1").arg(walkRows);
    p.fallback = {{withIndexHint(listSql, table, "IGNORE") + newestFirst(0, pageSize)}};
    return p;
}

PagePlan planLastPage(const QString& listSql, const LogTable& table, int lastPageRows)
{
    return plan(Case::Last, {},
                {{withStampIndex(listSql, table) + oldestFirst(0, lastPageRows), true}});
}

PagePlan planNextPage(const QString& listSql, const LogTable& table, const PageMarks& shown,
                      int pageSize)
{
    const QString base = withStampIndex(listSql, table);
    const TieMark& b = shown.bottom;
    if (b.fromNewest)
        return plan(Case::NextSkip, b,
                    {{base + bound("<=", b.stamp) + newestFirst(b.count, pageSize)}});
    if (b.count <= 0)
        return plan(Case::NextStrict, b, {{base + bound("<", b.stamp) + newestFirst(0, pageSize)}});
    if (b.count >= pageSize)
        return plan(
            Case::NextTiesOnly, b,
            {{base + bound(">=", b.stamp) + oldestFirst(b.count - pageSize, pageSize), true}});
    return plan(Case::NextSplit, b,
                {{base + bound(">=", b.stamp) + oldestFirst(0, b.count), true},
                 {base + bound("<", b.stamp) + newestFirst(0, pageSize - b.count)}});
}

PagePlan planPreviousPage(const QString& listSql, const LogTable& table, const PageMarks& shown,
                          int pageSize)
{
    const QString base = withStampIndex(listSql, table);
    const TieMark& t = shown.top;
    if (!t.fromNewest)
        return plan(Case::PrevSkip, t,
                    {{base + bound(">=", t.stamp) + oldestFirst(t.count, pageSize), true}});
    if (t.count <= 0)
        return plan(Case::PrevStrict, t,
                    {{base + bound(">", t.stamp) + oldestFirst(0, pageSize), true}});
    if (t.count >= pageSize)
        return plan(Case::PrevTiesOnly, t,
                    {{base + bound("<=", t.stamp) + newestFirst(t.count - pageSize, pageSize)}});
    return plan(Case::PrevSplit, t,
                {{base + bound(">", t.stamp) + oldestFirst(0, pageSize - t.count), true},
                 {base + bound("<=", t.stamp) + newestFirst(0, t.count)}});
}

QList<QStringList> assemblePage(const PagePlan& plan, const QList<Rows>& parts)
{
    Rows page;
    for (qsizetype i = 0; i < plan.parts.size() && i < parts.size(); ++i) {
        if (plan.parts[i].oldestFirst)
            std::copy(parts[i].rbegin(), parts[i].rend(), std::back_inserter(page));
        else
            page += parts[i];
    }
    return page;
}

PageMarks marksAfter(const PagePlan& plan, const QList<Rows>& parts, const LogTable& table,
                     const PageMarks& from)
{
    const Rows page = assemblePage(plan, parts);
    if (page.isEmpty())
        return from;
    const int f = table.stampField;
    const QString top = page.first().value(f);
    const QString bottom = page.last().value(f);
    const int topRows = countStamp(page, f, top);
    const int bottomRows = countStamp(page, f, bottom);
    const int n = int(page.size());
    const QString& s = plan.stamp;
    const int k = plan.ties;
    const Rows none;
    const Rows& newer = parts.value(0);
    const Rows& older = parts.size() > 1 ? parts[1] : none;

    switch (plan.kind) {
    case Case::First:
    case Case::NextStrict:
        return {{top, 0, true}, {bottom, bottomRows, true}};
    case Case::Last:
    case Case::PrevStrict:
        return {{top, topRows, false}, {bottom, 0, false}};
    case Case::NextSkip:
        return {{top, top == s ? k : 0, true}, {bottom, bottomRows + (bottom == s ? k : 0), true}};
    case Case::NextTiesOnly:
        return {{s, k, false}, {s, std::max(k - n, 0), false}};
    case Case::NextSplit: {
        const TieMark t =
            newer.isEmpty() ? TieMark{top, 0, true} : TieMark{s, int(newer.size()), false};
        const TieMark b = older.isEmpty() ? TieMark{s, 0, false}
                                          : TieMark{bottom, countStamp(older, f, bottom), true};
        return {t, b};
    }
    case Case::PrevSkip:
        return {{top, topRows + (top == s ? k : 0), false}, {bottom, bottom == s ? k : 0, false}};
    case Case::PrevTiesOnly:
        return {{s, std::max(k - n, 0), true}, {s, k, true}};
    case Case::PrevSplit: {
        const TieMark t =
            newer.isEmpty() ? TieMark{s, 0, true} : TieMark{top, countStamp(newer, f, top), false};
        const TieMark b =
            older.isEmpty() ? TieMark{bottom, 0, false} : TieMark{s, int(older.size()), true};
        return {t, b};
    }
    }
    return from;
}

} // namespace lt::overseer
