#pragma once
// Paging a log table by its time stamp without losing the rows that share a page boundary.
//
// A log page is one bounded statement on the time stamp index: a page never scans from the
// start of the log. Rows with the same stamp are told apart by their place in the index, which
// the server reads in the same order every time (newest first, ties in index order, when it
// reads the index backwards; exactly the reverse when it reads forwards). The statements force
// the time stamp index, so the order does not depend on the optimiser's choice. Each page keeps,
// for its first and its last stamp, how many rows of that stamp lie on the side already passed,
// and the next page skips exactly those with a LIMIT offset that never exceeds the rows of one
// stamp. The tables have no key, so this is as close as paging can come to a key: rows that
// are identical in every column are interchangeable anyway.
//
// Plain functions without a server: a plan lists the statements of a page, the rows that come
// back give the page (newest first) and the marks of the next move.

#include <QList>
#include <QString>
#include <QStringList>

namespace lt::overseer
{

// The table being paged: its name, its time stamp index and the stamp's field number.
struct LogTable {
    QString table;
    QString index;
    int stampField = 0;
};
LogTable browseLogTable(); // logtable, AcTimeIndex, field 2
LogTable uploadLogTable(); // upsendtable, AcTimeSend, field 3

// The rows of one boundary stamp on the far side of a page edge, or through it.
struct TieMark {
    QString stamp;
    // Bottom edge: fromNewest = rows of the stamp, newest first, through the page's last row;
    // otherwise the rows of the stamp older than the page's last row.
    // Top edge: fromNewest = rows of the stamp newer than the page's first row; otherwise the
    // rows of the stamp, oldest first, through the page's first row.
    int count = 0;
    bool fromNewest = true;
    bool operator==(const TieMark&) const = default;
};
struct PageMarks {
    TieMark top;
    TieMark bottom;
    bool operator==(const PageMarks&) const = default;
};

// One statement of a page; oldestFirst: its rows come oldest first and are turned round.
struct PagePart {
    QString sql;
    bool oldestFirst = false;
};

struct PagePlan {
    enum class Case {
        First,
        Last,
        NextSkip,     // after the rows of the bottom stamp already shown
        NextStrict,   // below the bottom stamp
        NextTiesOnly, // still inside the bottom stamp
        NextSplit,    // the rest of the bottom stamp, then below it
        PrevSkip,
        PrevStrict,
        PrevTiesOnly,
        PrevSplit,
    };
    Case kind = Case::First;
    QString stamp;         // the edge stamp the move starts from
    int ties = 0;          // the count of its mark
    QList<PagePart> parts; // in page order: the newer rows first
    // Sent instead when the parts gave less than a page (a walk cut short): the same page read
    // another way.
    QList<PagePart> fallback;
};

// The list statement (without ordering) with the stamp index forced: "... FROM logtable FORCE
// INDEX (AcTimeIndex) WHERE ...".
QString withStampIndex(const QString& listSql, const LogTable& table);

// First page: listSql + " ORDER BY AcTime DESC LIMIT " + pageSize.
PagePlan planFirstPage(const QString& listSql, const LogTable& table, int pageSize);
// First page of a condition that may match few rows (a substring of the texts): the stamp
// index walked for at most `walkRows` rows, which finds the page at once when matches are
// common; short of a page, the fallback reads the table through without the stamp index and
// sorts the matches (500,000 uploads with 512 matches: 0.29 s against 0.76 s for the walk).
PagePlan planSparseFirstPage(const QString& listSql, const LogTable& table, int pageSize,
                             int walkRows);
// Last page: the `lastPageRows` oldest rows.
PagePlan planLastPage(const QString& listSql, const LogTable& table, int lastPageRows);
PagePlan planNextPage(const QString& listSql, const LogTable& table, const PageMarks& shown,
                      int pageSize);
PagePlan planPreviousPage(const QString& listSql, const LogTable& table, const PageMarks& shown,
                          int pageSize);

// The page, newest first, from the rows of each part (each in the order the server sent it).
QList<QStringList> assemblePage(const PagePlan& plan, const QList<QList<QStringList>>& parts);
// The marks of the page the plan fetched. An empty page keeps the marks it came from.
PageMarks marksAfter(const PagePlan& plan, const QList<QList<QStringList>>& parts,
                     const LogTable& table, const PageMarks& from);

} // namespace lt::overseer
