// Titles and bodies as the monitor reads them: the charset from the header, a <meta> tag, a
// byte-order mark or the bytes themselves; GBK, GB18030, UTF-8 and Big5; character references;
// gzip and deflate bodies, also cut short; and which targets are objects of a page.

#include "outside/monitor/content.h"

#include <QStringEncoder>
#include <QTest>
#include <zlib.h>

using namespace lt::monitor;

namespace
{

std::string bytes(const QString& text, const char* charset)
{
    QStringEncoder encoder(charset);
    const QByteArray b = encoder(text);
    return b.toStdString();
}

std::string compressed(const std::string& data, int windowBits)
{
    z_stream z{};
    deflateInit2(&z, 6, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY);
    std::string out(data.size() + 256, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = uInt(data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = uInt(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

} // namespace

class ContentTest : public QObject
{
    Q_OBJECT

private slots:
    void titlesInTheirCharsets_data()
    {
        QTest::addColumn<QByteArray>("html");
        QTest::addColumn<QByteArray>("headerCharset");
        QTest::addColumn<QString>("title");
        const QString zh = QStringLiteral("网络管理员的主页");
        const auto page = [](const std::string& head, const std::string& title) {
            return QByteArray::fromStdString("<html><head>" + head + "<title>" + title +
                                             "</title></head><body>x</body></html>");
        };
        QTest::newRow("UTF-8, meta")
            << page("<meta charset=\"utf-8\">", zh.toStdString()) << QByteArray() << zh;
        QTest::newRow("GBK, meta charset")
            << page("<meta charset=gbk>", bytes(zh, "GBK")) << QByteArray() << zh;
        QTest::newRow("GB2312, http-equiv")
            << page("<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=gb2312\">",
                    bytes(zh, "GB18030"))
            << QByteArray() << zh;
        QTest::newRow("GB18030, four-byte character")
            << page("<meta charset=\"GB18030\">", bytes(QStringLiteral("𠀀字"), "GB18030"))
            << QByteArray() << QStringLiteral("𠀀字");
        QTest::newRow("Big5") << page("<meta charset=big5>",
                                      bytes(QStringLiteral("繁體中文"), "Big5"))
                              << QByteArray() << QStringLiteral("繁體中文");
        QTest::newRow("header over meta")
            << page("<meta charset=utf-8>", bytes(zh, "GBK")) << QByteArray("gbk") << zh;
        QTest::newRow("no charset, UTF-8 bytes")
            << page("", zh.toStdString()) << QByteArray() << zh;
        QTest::newRow("no charset, GBK bytes") << page("", bytes(zh, "GBK")) << QByteArray() << zh;
        QTest::newRow("byte-order mark")
            << QByteArray("\xEF\xBB\xBF") + page("", zh.toStdString()) << QByteArray("gbk") << zh;
        QTest::newRow("letter case, attributes, white space")
            << QByteArray("<HTML><TiTlE lang=\"zh\">\n  A \t  B\r\n</tItLe>") << QByteArray()
            << QStringLiteral("A B");
        QTest::newRow("references")
            << QByteArray("<title>&lt;R&amp;D&gt; &#20013;&#x6587; &nbsp;&copy;</title>")
            << QByteArray() << QStringLiteral("<R&D> 中文 ©");
        QTest::newRow("unknown reference kept") << QByteArray("<title>a &bogus; b&</title>")
                                                << QByteArray() << QStringLiteral("a &bogus; b&");
        QTest::newRow("no title") << QByteArray("<html><head></head><body>x</body>") << QByteArray()
                                  << QString();
        QTest::newRow("not a title tag") << QByteArray("<titles>x</titles><title>y</title>")
                                         << QByteArray() << QStringLiteral("y");
        QTest::newRow("cut before its end")
            << QByteArray("<title>partial") << QByteArray() << QStringLiteral("partial");
    }

    void titlesInTheirCharsets()
    {
        QFETCH(QByteArray, html);
        QFETCH(QByteArray, headerCharset);
        QFETCH(QString, title);
        QCOMPARE(pageTitle(html.toStdString(), headerCharset.toStdString()), title);
    }

    void charsetOfContentType()
    {
        QCOMPARE(charsetParameter("text/html; charset=GBK"), std::string("gbk"));
        QCOMPARE(charsetParameter("text/html;charset=\"UTF-8\""), std::string("utf-8"));
        QCOMPARE(charsetParameter("text/html"), std::string());
    }

    void compressedBodies()
    {
        const std::string html = "<title>压缩的页面</title>" + std::string(100000, 'a');
        QCOMPARE(decodeContent(compressed(html, 31), "gzip", 1 << 20), html);
        QCOMPARE(decodeContent(compressed(html, 15), "deflate", 1 << 20), html);
        QCOMPARE(decodeContent(compressed(html, -15), "deflate", 1 << 20), html);
        // The first 64 KB only; and the start of a body cut short still reads.
        QCOMPARE(decodeContent(compressed(html, 31), "gzip", 65536).size(), size_t(65536));
        const std::string gz = compressed(html, 31);
        const std::string start = decodeContent(gz.substr(0, gz.size() / 2), "gzip", 1 << 20);
        QVERIFY(start.size() > 100);
        QCOMPARE(QString::fromStdString(start.substr(0, 30)),
                 QStringLiteral("<title>压缩的页面</title>"));
        // A body that claims gzip but is not: nothing, and no crash.
        QVERIFY(decodeContent("plain text", "gzip", 100).empty());
    }

    void pagesAndObjects()
    {
        QVERIFY(isPageType("text/html; charset=utf-8"));
        QVERIFY(isPageType("application/xhtml+xml"));
        QVERIFY(!isPageType("image/png"));
        QVERIFY(!isPageType("application/json"));
        QVERIFY(isObjectPath("/static/app.JS?v=3"));
        QVERIFY(isObjectPath("/logo.png"));
        QVERIFY(!isObjectPath("/news/2024/index.html"));
        QVERIFY(!isObjectPath("/v1.2/page"));
        QVERIFY(!isObjectPath("/"));
    }
};

QTEST_GUILESS_MAIN(ContentTest)
#include "test_content.moc"
