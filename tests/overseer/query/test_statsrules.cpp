// The statistics' and printouts' rules without a server: the fixed-width figures, the
// statements of each mode, the traffic figures of the monitor, the page counts and page range
// check, and the byte-width layout of the printed lines and pages.

#include "common/gbk.h"
#include "overseer/query/printing.h"
#include "overseer/query/statistics.h"
#include "overseer/query/traffic.h"

#include <QTest>

using namespace lt::overseer;

namespace
{

BrowseRecord browse(int i)
{
    return {QStringLiteral("终端%1").arg(i),
            QStringLiteral("10.0.0.%1").arg(i % 250),
            QStringLiteral("26-12-07 10:00:%1").arg(i % 60, 2, 10, QChar('0')),
            QStringLiteral("组"),
            QStringLiteral("标题%1").arg(i),
            QStringLiteral("www.a.cn/%1").arg(i),
            QStringLiteral("新闻"),
            QStringLiteral("放行")};
}

// Every text of a page, one line each, as a monospaced printout shows it.
QStringList texts(const PrintPage& page)
{
    QStringList lines;
    for (const PrintLine& line : page)
        lines << lineText(line);
    return lines;
}

} // namespace

class StatsRules : public QObject
{
    Q_OBJECT
private slots:
    void countsSortAsNumbers()
    {
        QCOMPARE(visitCountText("7"), QString(9, ' ') + "7");
        QCOMPARE(visitCountText(" 12 "), QString(8, ' ') + "12");
        QVERIFY(visitCountText("12") > visitCountText("9"));
        QCOMPARE(visitCountText("7.0"), QString(9, ' ') + "7");
        QCOMPARE(visitCountText("12345678901"), "12345678901"); // wider: not cut
    }

    void trafficFigures()
    {
        QCOMPARE(trafficText("1536"), QString(32, ' ') + "1.5");
        QCOMPARE(trafficText("1000"), QString(31, ' ') + "0.97");
        QCOMPARE(trafficText("1536", false), "1.5");
        QCOMPARE(trafficText("2048", false), "2");
        QCOMPARE(trafficText("1034", false), "1.00"); // 1.009765625: cut, not rounded
        QCOMPARE(trafficText("1535", false), "1.49"); // 1.4990234375
        QCOMPARE(trafficText("", false), "0");        // no log rows
        QCOMPARE(trafficText("3.0E6", false), "2929.68");
        QCOMPARE(trafficText("1536").size(), 35);
        QCOMPARE(kiloText(1536), "1.5");
        QCOMPARE(kiloText(-3), "0");
    }

    void pageCounts()
    {
        QCOMPARE(printPageCount(42), 2);
        QCOMPARE(printPageCount(43), 3);
        QCOMPARE(printPageCount(21), 1);
        QCOMPARE(printPageCount(0), 0);
        QCOMPARE(pageCountOf(5000, kStatsPageSize), 1);
        QCOMPARE(pageCountOf(5001, kStatsPageSize), 2);
        QCOMPARE(pageCountOf(0, kStatsPageSize), 0);
    }

    void visitStatements()
    {
        LogQueryState s;
        s.CondStart = "26-12-01 00:00:00";
        s.CondEnd = "26-12-07 23:59:59";
        s.CondTermIP = "10.0.0.1' OR '1'='1";
        QCOMPARE(visitStatsSql(StatsMode::Terminal, s),
                 "SELECT Title,URL,SUM(F) FROM logtable WHERE Trim(IP) = '10.0.0.1'' OR ''1''=''1'"
                 "AND AcTime>='26-12-01 00:00:00' AND AcTime<='26-12-07 23:59:59' GROUP BY URL "
                 "ORDER BY SUM(F) DESC");
        QCOMPARE(visitStatsSql(StatsMode::AllPages, s),
                 "SELECT Title,URL,SUM(F) FROM logtable WHERE AcTime>='26-12-01 00:00:00' AND "
                 "AcTime<='26-12-07 23:59:59' GROUP BY URL ORDER BY SUM(F) DESC");
        QCOMPARE(visitStatsSql(StatsMode::AllTerminals, s),
                 "SELECT Name,IP,SUM(F) FROM logtable WHERE AcTime>='26-12-01 00:00:00' AND "
                 "AcTime<='26-12-07 23:59:59' GROUP BY IP ORDER BY SUM(F) DESC");
        QCOMPARE(trafficSumsSql(s), "SELECT Trim(IP),SUM(nLength) FROM logtable WHERE "
                                    "AcTime>='26-12-01 00:00:00' AND AcTime<='26-12-07 23:59:59' "
                                    "GROUP BY Trim(IP)");
        QCOMPARE(statsDeleteSql("a'b\\c"), "DELETE FROM logtable WHERE URL='a''b\\\\c'");
        QCOMPARE(statsMode("3"), StatsMode::Traffic);
        QVERIFY(!statsMode("4"));
        s.CondTermName = "pc1";
        QCOMPARE(statsTitle(StatsMode::Terminal, s), "pc1_终端 访 问 统 计");
        QCOMPARE(statsLayout(StatsMode::AllTerminals).first().header, "终端");
        QCOMPARE(statsLayout(StatsMode::Traffic).last().header, "流量(MB)");
    }

    void statisticsRows()
    {
        QCOMPARE(visitStatsRow(StatsMode::AllPages, {"标题 ", " www.a.cn ", "3"}),
                 QStringList({"www.a.cn", "标题", QString(9, ' ') + "3"}));
        QCOMPARE(visitStatsRow(StatsMode::AllTerminals, {"pc1", "10.0.0.1", "12"}),
                 QStringList({"pc1", "10.0.0.1", QString(8, ' ') + "12"}));
        const QList<QStringList> rows =
            trafficRows({{" pc-a ", "10.0.0.1 "}, {"pc-b", "10.0.0.2"}}, {{"10.0.0.1", "1536"}});
        QCOMPARE(rows[0], QStringList({"pc-a", "10.0.0.1", trafficText("1536")}));
        QCOMPARE(rows[1][2].trimmed(), "0");
    }

    void pageRangeCheck()
    {
        QCOMPARE(checkPageRange("1", "3", 3), PageRange::Ok);
        QCOMPARE(checkPageRange("9", "10", 10), PageRange::Ok);
        QCOMPARE(checkPageRange("0", "2", 3), PageRange::Wrong);
        QCOMPARE(checkPageRange("1", "4", 3), PageRange::Wrong);
        QCOMPARE(checkPageRange("3", "2", 3), PageRange::Wrong);
        QCOMPARE(checkPageRange("", "2", 3), PageRange::NotNumeric);
        QCOMPARE(checkPageRange("1", "x", 3), PageRange::NotNumeric);
    }

    void browseLineByteWidths()
    {
        BrowseRecord r = browse(1);
        r.Name = "一二三四五六七八"; // 8 Chinese characters: "终端：" + name = 22 bytes
        const QString line = browseFieldLine(r);
        QVERIFY(line.startsWith("终端：一二三四五六七八  地址：10.0.0.1"));
        QCOMPARE(lt::gbk::byteWidth(line), 24 + 24 + 25 + 24 + 12 + 22);
        // The time starts at byte 48, the group at byte 73, whatever the widths of the names.
        const QByteArray bytes = lt::gbk::encode(line);
        QCOMPARE(lt::gbk::decode(bytes.mid(48, 6)), "时间：");
        QCOMPARE(lt::gbk::decode(bytes.mid(73, 6)), "组别：");
        QCOMPARE(padBytes("终端：pc", 22).size(), 3 + 2 + 14);
        QCOMPARE(padBytes(QString(30, 'x'), 22).size(), 30); // never cut
        QCOMPARE(longRule().size(), 66);
        QCOMPARE(lt::gbk::byteWidth(longRule()), kLineColumns);
        QCOMPARE(shortRule().size(), 58);
    }

    void longTitleCutAtTheColumn()
    {
        BrowseRecord r = browse(2);
        r.Title = QString(200, QChar(0x6807)); // 200 × "标"
        const QList<PrintLine> lines = browseRecordLines(r);
        const PrintLine fitted = fitLine(lines[1]);
        QCOMPARE(lt::gbk::byteWidth(lineText(fitted)), kLineColumns);
        QVERIFY(lineText(fitted).startsWith("标题：标标"));
        // An odd column left is not filled with half a character.
        QCOMPARE(lt::gbk::byteWidth(lineText(fitLine({{1, "x" + r.Title}}))), kLineColumns - 1);
        // Texts at a column after the end of the line are dropped.
        QCOMPARE(lineText(fitLine({{10, QString(140, 'a')}, {0, "b"}})).size(), kLineColumns);
    }

    void uploadLines()
    {
        UploadRecord r{"pc1", "10.0.0.1", "mail.a.cn", "26-12-07 10:00:00",
                       QString("第一行\r\n第二行\n") + QString(80, 'z')};
        const QList<PrintLine> lines = uploadRecordLines(r);
        QCOMPARE(lines.size(), 4);
        QCOMPARE(lineText(lines[0]),
                 QString(9, ' ') + "发地址：10.0.0.1终端：pc1时间：26-12-07 10:00:00");
        QCOMPARE(lineText(lines[1]), QString(9, ' ') + "收地址：mail.a.cn");
        // The first 55 characters of the content, line breaks as blanks.
        const QString content = lineText(lines[2]).mid(9);
        QVERIFY(content.startsWith("内  容：第一行 第二行 zzz"));
        QCOMPARE(content.size(), 5 + 55 - 1); // "\r\n" became one blank
        QCOMPARE(lineText(lines[3]), QString(9, ' ') + shortRule());
    }

    void contentInSlicesOf55()
    {
        const QString content = QString(55, 'a') + QString(55, 'b') + QString(10, 'c');
        QCOMPARE(contentSlices(content),
                 QStringList({QString(55, 'a'), QString(55, 'b'), QString(10, 'c')}));
        QCOMPARE(contentSlices(QString(110, 'x')).size(), 2);
        QVERIFY(contentSlices({}).isEmpty());
        const QList<PrintLine> lines =
            singleUploadLines("发地址：1", "终端：pc", "时间：t", "收地址：u", content);
        QCOMPARE(lineText(lines[0]), QString(54, ' ') + "终端上传数据");
        QCOMPARE(lineText(lines[2]), QString(9, ' ') + "发地址：1终端：pc时间：t");
        QCOMPARE(lines.size(), 6 + 3 * 2);
        QCOMPARE(lineText(lines.last()), QString(9, ' ') + QString(10, 'c'));
        QVERIFY(lines[10].isEmpty());
    }

    // 43 records: pages of 21, 21 and 1, each with its header and its footer.
    void browsePagesOf21()
    {
        QList<QStringList> pages;
        QList<int> numbers;
        LogPrintout p(LogPrintout::Kind::Browse, 1, 3, [&](const PrintPage& page, int n) {
            pages << texts(page);
            numbers << n;
            return true;
        });
        for (int i = 1; i <= 43; ++i)
            QVERIFY(p.addBrowse(browse(i)) || i == 43);
        p.finish();
        QCOMPARE(numbers, QList<int>({1, 2, 3}));
        QCOMPARE(pages[0].size(), kLinesPerPage);
        QCOMPARE(pages[0][0], QString(54, ' ') + "上网终端访问日志");
        QCOMPARE(pages[0][1], longRule());
        QVERIFY(pages[0][2].startsWith("终端：终端1 "));
        QCOMPARE(pages[0][3], "标题：标题1");
        QCOMPARE(pages[0][4], "域名：www.a.cn/1");
        QCOMPARE(pages[0][5], longRule());
        QCOMPARE(pages[0].last(), QString(49, ' ') + "第 1 页");
        QVERIFY(pages[1][2].startsWith("终端：终端22 "));
        QCOMPARE(pages[2].size(), 2 + 4 + 1);
        QCOMPARE(pages[2].last(), QString(49, ' ') + "第 3 页");
    }

    // Pages 2 to 2 of three: records 22 to 42, the footer "第 2 页", and no more is wanted.
    void oneMiddlePage()
    {
        QList<QStringList> pages;
        LogPrintout p(LogPrintout::Kind::Browse, 2, 2, [&](const PrintPage& page, int) {
            pages << texts(page);
            return true;
        });
        QCOMPARE(p.recordsBefore(), 21);
        int taken = 0;
        for (int i = 22; i <= 43 && p.addBrowse(browse(i)); ++i)
            ++taken;
        p.finish();
        QCOMPARE(taken, 20); // the 21st record ends the printout
        QCOMPARE(pages.size(), 1);
        QVERIFY(pages[0][2].startsWith("终端：终端22 "));
        QVERIFY(pages[0][2 + 20 * 4].startsWith("终端：终端42 "));
        QCOMPARE(pages[0].last(), QString(49, ' ') + "第 2 页");
    }

    void uploadHeaders()
    {
        QList<QStringList> pages;
        LogPrintout p(LogPrintout::Kind::Upload, 1, 2, [&](const PrintPage& page, int) {
            pages << texts(page);
            return true;
        });
        for (int i = 0; i < 30; ++i)
            p.addUpload({"pc", "1.1.1.1", "u", "t", "c"});
        p.finish();
        QCOMPARE(pages.size(), 2);
        QCOMPARE(pages[0][1], longRule());
        QCOMPARE(pages[1][0], QString(54, ' ') + "上网终端上传日志");
        QCOMPARE(pages[1][1], QString(9, ' ') + shortRule());
        QCOMPARE(pages[1].last(), QString(54, ' ') + "第 2 页");
    }

    // Records that run out right after a full page leave no empty page behind.
    void noEmptyLastPage()
    {
        int pages = 0;
        LogPrintout p(LogPrintout::Kind::Browse, 1, 3, [&](const PrintPage&, int) {
            ++pages;
            return true;
        });
        for (int i = 0; i < 42; ++i)
            p.addBrowse(browse(i));
        p.finish();
        QCOMPARE(pages, 2);
    }

    void monitorStatements()
    {
        const QDate day(2026, 12, 7);
        QCOMPARE(connectionsSql("uptable", "10.0.0.1'"),
                 "SELECT * FROM uptable where srcip='10.0.0.1'''");
        QCOMPARE(hourCounterSql("uptable", "10.0.0.1", day, 15),
                 "SELECT SUM(IFNULL(t15,0)) FROM uptable WHERE Trim(srcip)='10.0.0.1' AND "
                 "Trim(date)='2026-12-07'");
        QCOMPARE(hoursSum(22, 23), "IFNULL(t22,0)+IFNULL(t23,0)");
        QVERIFY(weekByDaySql("downtable", "a", day).contains("Trim(date)>='2026-12-01'"));
        QVERIFY(terminalsWeekSql("uptable", day).contains("GROUP BY Trim(srcip)"));
    }

    void connectionRowFillsEveryColumn()
    {
        ConnectionRow row{"10.0.0.1", "61.1.1.1", "2026-12-07",         "www.a.cn",
                          50123,      443,        QList<qint64>(24, 0), QList<qint64>(24, 0)};
        row.sent[15] = 1024;
        row.received[15] = 2048;
        const QStringList cells = connectionListRow(row, QDate(2026, 12, 7), 15);
        QCOMPARE(cells, QStringList({"2026-12-07 15时", "3", "活动", "50123→443", "HTTPS",
                                     "www.a.cn", "服务器 61.1.1.1，发送 1 K，接收 2 K"}));
        QCOMPARE(connectionListRow(row, QDate(2026, 12, 8), 15)[2], "结束");
    }
};

QTEST_GUILESS_MAIN(StatsRules)
#include "test_statsrules.moc"
