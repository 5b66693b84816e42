// The text of a printed PDF, as pdftotext (and a reader's search or copy) gets it back, is
// exactly what was printed: no look-alike radicals for 网, 日, 页, 门, 长, 见, and every
// character of GB2312 comes back as itself. Painted by the printouts' renderer on the offscreen
// platform.

#include "common/gbk.h"
#include "overseer/query/printfonts.h"
#include "overseer/query/printing.h"
#include "overseer/query/printrender.h"

#include <QGuiApplication>
#include <QPdfWriter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <random>

using namespace lt;
using namespace lt::overseer;

namespace
{

QString pdfText(const QString& path, const QStringList& options)
{
    QProcess p;
    p.start("pdftotext", options + QStringList{path, "-"});
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        return {};
    return QString::fromUtf8(p.readAllStandardOutput());
}

QString collapsed(const QString& text)
{
    return QString(text).replace(QRegularExpression(" +"), " ").trimmed();
}

// Renders the pages into a PDF file; false when the renderer failed.
bool render(const QString& path, const QList<PrintPage>& pages)
{
    QPdfWriter writer(path);
    writer.setPageLayout(printPageLayout());
    PageRenderer renderer(&writer);
    if (!renderer.begin())
        return false;
    for (const PrintPage& page : pages) {
        if (!renderer.page(page))
            return false;
    }
    return renderer.end();
}

// The characters of GB2312's two levels of Chinese characters (rows 16 to 87).
QString gb2312Hanzi()
{
    QByteArray bytes;
    for (int row = 0xB0; row <= 0xF7; ++row) {
        for (int cell = 0xA1; cell <= 0xFE; ++cell)
            bytes.append(char(row)).append(char(cell));
    }
    QString text;
    for (QChar c : gbk::decode(bytes)) {
        if (c.unicode() >= 0x4E00 && c.unicode() <= 0x9FFF) // not the unassigned end of row 55
            text += c;
    }
    return text;
}

} // namespace

class PrintText : public QObject
{
    Q_OBJECT
    QTemporaryDir dir_;

private slots:
    void initTestCase()
    {
        QVERIFY(dir_.isValid());
        if (QStandardPaths::findExecutable("pdftotext").isEmpty())
            QFAIL("pdftotext (poppler-utils) is not installed");
    }

    // A browse-log page whose titles and names hold the characters that share a glyph with a
    // radical in the CJK fonts: each line comes back as printed.
    void reportLinesComeBackAsPrinted()
    {
        QList<PrintPage> pages;
        LogPrintout printout(LogPrintout::Kind::Browse, 1, 1, [&](const PrintPage& page, int) {
            pages << page;
            return true;
        });
        const QList<BrowseRecord> records = {
            {"网管门卫室", "10.0.0.1", "26-12-07 15:00:00", "长见组", "新浪网 - 首页 日报",
             "www.sina.com.cn/日/页", "新闻", "放行"},
            {"机房终端12", "10.0.0.2", "26-12-07 14:59:59", "默认组", "见面：门户网站“长”页（2/3）",
             "http://a.cn/?q=网&p=1", "门户", "阻断"},
        };
        for (const BrowseRecord& r : records)
            printout.addBrowse(r);
        printout.finish();
        QCOMPARE(pages.size(), 1);
        const QString path = dir_.filePath("report.pdf");
        QVERIFY(render(path, pages));

        QStringList printed;
        for (const PrintLine& line : pages.first()) {
            const QString text = collapsed(lineText(line));
            if (!text.isEmpty())
                printed << text;
        }
        QStringList extracted;
        for (const QString& line : pdfText(path, {"-layout"}).split('\n')) {
            const QString text = collapsed(line);
            if (!text.isEmpty())
                extracted << text;
        }
        QCOMPARE(extracted, printed);
        QVERIFY(extracted.first().contains("上网终端访问日志"));
        QVERIFY(extracted.last().contains("第 1 页"));
    }

    // Every Chinese character of GB2312, in an order of no meaning to the fonts, comes back
    // as itself: none is named after a radical or another character sharing its glyph.
    void everyGb2312CharacterComesBack()
    {
        QString hanzi = gb2312Hanzi();
        QCOMPARE(hanzi.size(), 6763);
        std::mt19937 random(20261207);
        std::shuffle(hanzi.begin(), hanzi.end(), random);
        QList<PrintPage> pages;
        PrintPage page;
        for (qsizetype at = 0; at < hanzi.size(); at += 60) {
            page << PrintLine{{1, hanzi.mid(at, 60)}};
            if (page.size() == kLinesPerPage) {
                pages << page;
                page.clear();
            }
        }
        pages << page;
        const QString path = dir_.filePath("gb2312.pdf");
        QVERIFY(render(path, pages));
        QString extracted = pdfText(path, {"-nopgbrk"});
        extracted.remove(QRegularExpression("\\s"));
        QCOMPARE(extracted.size(), hanzi.size());
        for (qsizetype i = 0; i < hanzi.size(); ++i) {
            if (extracted[i] != hanzi[i])
                QFAIL(qPrintable(QStringLiteral("printed %1 (U+%2), extracted %3 (U+%4)")
                                     .arg(hanzi[i])
                                     .arg(hanzi[i].unicode(), 4, 16, QChar('0'))
                                     .arg(extracted[i])
                                     .arg(extracted[i].unicode(), 4, 16, QChar('0'))));
        }
    }

    // The characters of the report frame go to the font that names them rightly, and Chinese
    // characters all come from one typeface.
    void fontChoice()
    {
        const PrintFonts fonts(40);
        for (QChar c : QStringLiteral("网日页门长见终端")) {
            const int font = fonts.fontOf(c);
            QCOMPARE(fonts.font(font).family(), PrintFonts::wideFamily());
            QVERIFY(PrintFonts::namesRightly(PrintFonts::wideFamily(), c));
        }
        for (QChar c : QStringLiteral("aZ09:/.-")) {
            QCOMPARE(fonts.font(fonts.fontOf(c)).family(), PrintFonts::narrowFamily());
            QVERIFY(PrintFonts::namesRightly(PrintFonts::narrowFamily(), c));
        }
    }
};

QTEST_MAIN(PrintText)
#include "test_printtext.moc"
