// The rules of the paged lists without a server or a window: the page statements and the marks
// they leave at tie stamps, the page figures and status texts, the page model, the context
// menus' enabled items and web addresses.

#include "overseer/core/columnlayouts.h"
#include "overseer/core/commands.h"
#include "overseer/core/controls.h"
#include "overseer/core/logpaging.h"
#include "overseer/core/pagemodel.h"
#include "overseer/core/pagestatus.h"
#include "overseer/core/resultpager.h"

#include <QAbstractItemModelTester>
#include <QTest>

using namespace lt::overseer;

namespace
{

const QString kList = QStringLiteral("SELECT * FROM logtable WHERE AcTime>='26-12-07 00:00:00' "
                                     "AND AcTime<='26-12-08 00:00:00'");
const QString kForced = QStringLiteral(
    "SELECT * FROM logtable FORCE INDEX (AcTimeIndex) WHERE AcTime>='26-12-07 00:00:00' AND "
    "AcTime<='26-12-08 00:00:00'");

// A logtable row whose only telling field is its stamp (field 2) and a serial in the title.
QStringList row(const QString& stamp, int serial)
{
    return {"PC", "10.0.0.1", stamp, "组", QString::number(serial), "u", "c", "r"};
}

QList<QStringList> rows(const QString& stamp, int from, int count)
{
    QList<QStringList> list;
    for (int i = 0; i < count; ++i)
        list << row(stamp, from + i);
    return list;
}

} // namespace

class PagingRules : public QObject
{
    Q_OBJECT
private slots:
    void firstAndLastPageStatements()
    {
        const LogTable t = browseLogTable();
        const PagePlan first = planFirstPage(kList, t, 500);
        QCOMPARE(first.parts.size(), 1);
        QCOMPARE(first.parts[0].sql, kForced + " ORDER BY AcTime DESC LIMIT 500");
        const PagePlan last = planLastPage(kList, t, 300);
        QCOMPARE(last.parts[0].sql, kForced + " ORDER BY AcTime LIMIT 300");
        QVERIFY(last.parts[0].oldestFirst);
        // The upload log forces its own index.
        QCOMPARE(withStampIndex("SELECT * FROM upsendtable WHERE AcTime>='a'", uploadLogTable()),
                 "SELECT * FROM upsendtable FORCE INDEX (AcTimeSend) WHERE AcTime>='a'");
    }

    void forwardSkipsTheTiesAlreadyShown()
    {
        const LogTable t = browseLogTable();
        // First page: 3 rows, the last two share the stamp B.
        const PagePlan first = planFirstPage(kList, t, 3);
        const QList<QList<QStringList>> got = {{row("26-12-07 10:00:03", 1),
                                                row("26-12-07 10:00:02", 2),
                                                row("26-12-07 10:00:02", 3)}};
        const PageMarks marks = marksAfter(first, got, t, {});
        QCOMPARE(marks.bottom, (TieMark{"26-12-07 10:00:02", 2, true}));
        QCOMPARE(marks.top, (TieMark{"26-12-07 10:00:03", 0, true}));
        const PagePlan next = planNextPage(kList, t, marks, 3);
        QCOMPARE(next.parts[0].sql,
                 kForced + " and AcTime<='26-12-07 10:00:02' ORDER BY AcTime DESC LIMIT 2,3");

        // A page entirely of the same stamp adds its rows to the count.
        const QList<QList<QStringList>> same = {rows("26-12-07 10:00:02", 4, 3)};
        const PageMarks after = marksAfter(next, same, t, marks);
        QCOMPARE(after.bottom, (TieMark{"26-12-07 10:00:02", 5, true}));
        QCOMPARE(after.top, (TieMark{"26-12-07 10:00:02", 2, true}));
        // Going back from there takes exactly the two newer ties and one row above them.
        const PagePlan back = planPreviousPage(kList, t, after, 3);
        QCOMPARE(back.kind, PagePlan::Case::PrevSplit);
        QCOMPARE(back.parts[0].sql,
                 kForced + " and AcTime>'26-12-07 10:00:02' ORDER BY AcTime LIMIT 1");
        QCOMPARE(back.parts[1].sql,
                 kForced + " and AcTime<='26-12-07 10:00:02' ORDER BY AcTime DESC LIMIT 2");
    }

    void backwardFromTheLastPage()
    {
        const LogTable t = browseLogTable();
        const PagePlan last = planLastPage(kList, t, 2);
        // Oldest first as the server sends them: both share the stamp A.
        const QList<QList<QStringList>> got = {rows("26-12-07 09:00:00", 1, 2)};
        const QList<QStringList> page = assemblePage(last, got);
        QCOMPARE(page[0][4], "2"); // newest first on the list
        const PageMarks marks = marksAfter(last, got, t, {});
        QCOMPARE(marks.top, (TieMark{"26-12-07 09:00:00", 2, false}));
        const PagePlan prev = planPreviousPage(kList, t, marks, 500);
        QCOMPARE(prev.parts[0].sql,
                 kForced + " and AcTime>='26-12-07 09:00:00' ORDER BY AcTime LIMIT 2,500");
        QVERIFY(prev.parts[0].oldestFirst);

        // Forward again from a page reached backwards: the rest of its bottom stamp, then below.
        const PageMarks reached{{"26-12-07 09:30:00", 1, false}, {"26-12-07 09:10:00", 2, false}};
        const PagePlan next = planNextPage(kList, t, reached, 500);
        QCOMPARE(next.kind, PagePlan::Case::NextSplit);
        QCOMPARE(next.parts[0].sql,
                 kForced + " and AcTime>='26-12-07 09:10:00' ORDER BY AcTime LIMIT 2");
        QCOMPARE(next.parts[1].sql,
                 kForced + " and AcTime<'26-12-07 09:10:00' ORDER BY AcTime DESC LIMIT 498");
        // Nothing of the stamp left below: strictly older rows.
        const PageMarks none{{}, {"26-12-07 09:10:00", 0, false}};
        QCOMPARE(planNextPage(kList, t, none, 500).parts[0].sql,
                 kForced + " and AcTime<'26-12-07 09:10:00' ORDER BY AcTime DESC LIMIT 500");
    }

    void boundaryStampsAreQuoted()
    {
        const PageMarks marks{{}, {"26-12-07 1'0\\0", 1, true}};
        const QString sql = planNextPage(kList, browseLogTable(), marks, 5).parts[0].sql;
        QVERIFY(sql.contains("AcTime<='26-12-07 1''0\\\\0'"));
    }

    void pageFiguresAndTexts()
    {
        QCOMPARE(logPageFigures(1300, 500).LogPageCount, 3);
        QCOMPARE(logPageFigures(1300, 500).LogLastPageRows, 300);
        QCOMPARE(logPageFigures(1000, 500).LogPageCount, 2);
        QCOMPARE(logPageFigures(1000, 500).LogLastPageRows, 500);
        QCOMPARE(logPageFigures(500, 500).LogPageCount, 1);
        QCOMPARE(logPageFigures(0, 500).LogPageCount, 0);
        QCOMPARE(recordsText(1200), "共 1200 条记录");
        QCOMPARE(pagesText(3), "共 3 页");
        QCOMPARE(pageNoText(1), "第 1 页");
        QCOMPARE(pageRowsText(500), "本页 500 条");
        using B = std::array<bool, 4>;
        QCOMPARE(logPagingButtons(1, 3, true), (B{false, false, true, true}));
        QCOMPARE(logPagingButtons(2, 3, true), (B{true, true, true, true}));
        QCOMPARE(logPagingButtons(3, 3, false), (B{true, true, false, false}));
        QCOMPARE(logPagingButtons(1, 1, true), (B{false, false, false, false}));
        // Before the count: on while the page is full, "尾页" waits for the count.
        QCOMPARE(logPagingButtons(1, 0, true), (B{false, false, true, false}));
        QCOMPARE(logPagingButtons(1, 0, false), (B{false, false, false, false}));
    }

    void pageModel()
    {
        PageModel model;
        QAbstractItemModelTester tester(&model,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.setLayout(ListviewHeadShow_日志());
        QCOMPARE(model.columnCount(), 8);
        QCOMPARE(model.headerData(5, Qt::Horizontal).toString(), "域名(网站/网页)");
        QCOMPARE(model.headerData(5, Qt::Horizontal, PageModel::kTwipsRole).toInt(), 9000);
        QCOMPARE(twipsToPixels(9000), 600);
        // Fields beyond the last column are not kept.
        model.setRows({{"b", "1", "t2", "g", "x", "u", "c", "r", "99", "1"}, row("t1", 7)});
        QCOMPARE(model.rowTexts(0).size(), 8);
        model.sort(2, Qt::DescendingOrder);
        QCOMPARE(model.text(0, 2), "t2");
        model.sort(2, Qt::AscendingOrder);
        QCOMPARE(model.text(0, 2), "t1");
        QVERIFY(model.removeRows(0, 1));
        QCOMPARE(model.rowCount(), 1);
        QVERIFY(!(model.flags(model.index(0, 0)) & Qt::ItemIsEditable));
        // The centred columns of the list layouts.
        QVERIFY(ListviewHeadShow_黑单()[2].centred && !ListviewHeadShow_黑单()[0].centred);
        QCOMPARE(ListviewHeadShow_终端()[1].header, "ＩＰ");
    }

    void contextMenuItemsOnEmptyAndFilledLists()
    {
        // Right-clicking an empty terminal list: only "增加" and "刷新" can be used.
        for (const MenuItem& it : allMenuItems()) {
            if (it.menu != menu::终端)
                continue;
            const bool expected = it == item::终端_增加 || it == item::终端_刷新;
            QCOMPARE(menuItemEnabled(it, 0, "终端"), expected);
            QVERIFY(menuItemEnabled(it, 3, "终端"));
        }
        QVERIFY(!menuItemEnabled(item::查看_删除日志, 0, "终端"));
        QVERIFY(menuItemEnabled(item::查看_刷新日志, 0, "终端"));
        QVERIFY(menuItemEnabled(item::访问_删除, 0, "域名(网站/网页)"));
        // Statistics by terminal have no web page; by web page they do.
        QVERIFY(!menuItemEnabled(item::统计_查看网页, 5, "终端"));
        QVERIFY(!menuItemEnabled(item::统计_删除记录, 5, "终端"));
        QVERIFY(menuItemEnabled(item::统计_查看网页, 5, "域名(网站/网页)"));
        QVERIFY(menuItemEnabled(item::统计_不送日志, 0, "终端"));
    }

    void resultSetPaging()
    {
        using B = std::array<bool, 4>;
        ResultPager pager;
        pager.start(rows("t", 0, 12), 5);
        QCOMPARE(pager.status().panels,
                 (std::array<QString, 4>{"共 12 条记录", "共 3 页", "第 1 页", "本页 5 条"}));
        QCOMPARE(pager.status().buttons, (B{false, false, true, true}));
        pager.显示下页数据();
        QCOMPARE(pager.status().panels[2], "第 2 页");
        QCOMPARE(pager.page().first()[4], "5");
        pager.显示下页数据();
        QCOMPARE(pager.status().panels[2], "第 3 页");
        QCOMPARE(pager.status().panels[3], "本页 2 条");
        QCOMPARE(pager.status().buttons, (B{true, true, false, false}));
        pager.显示上页数据();
        QCOMPARE(pager.status().panels[2], "第 2 页");
        QCOMPARE(pager.status().buttons, (B{true, true, true, true}));
        pager.显示上页数据();
        QCOMPARE(pager.status().panels[2], "第 1 页");
        QCOMPARE(pager.status().buttons, (B{false, false, true, true}));
        pager.显示尾页数据();
        QCOMPARE(pager.page().size(), 2);
        QCOMPARE(pager.status().panels[3], "本页 2 条");

        // A result of exactly one page: the counter stops at the page, "下页" stays off.
        pager.start(rows("t", 0, 5), 5);
        QCOMPARE(pager.status().panels[3], "本页 5 条");
        QCOMPARE(pager.status().buttons, (B{false, false, false, false}));
        // Two full pages: the second is the last.
        pager.start(rows("t", 0, 10), 5);
        pager.显示下页数据();
        QCOMPARE(pager.status().panels[3], "本页 5 条");
        QCOMPARE(pager.status().buttons, (B{true, true, false, false}));
        pager.start({}, 5);
        QCOMPARE(pager.status().panels[0], QString());
        QCOMPARE(pager.status().buttons, (B{false, false, false, false}));
    }

    void webAddresses()
    {
        QCOMPARE(webAddress(" www.example.cn/a "), "http://www.example.cn/a");
        QCOMPARE(webAddress("https://example.cn"), "https://example.cn");
        QCOMPARE(webAddress("   "), QString());
    }
};

QTEST_MAIN(PagingRules)
#include "test_pagingrules.moc"
