// BlackName.dat written and read back: every value the export writes reads back exactly, what
// the format cannot carry is refused and named, and a record that does not fit the format is
// reported without shifting the records after it.

#include "common/blacklist.h"
#include "common/gbk.h"
#include "tests/support/testsupport.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

using namespace lt;
using blacklist::Record;

namespace
{

// Values built from pieces that the format finds hard: separators, quotes, blanks, line breaks,
// NUL, characters outside GBK and characters whose read-back the driver once cut short.
QString randomValue(QRandomGenerator& random)
{
    // Mostly pieces the format carries (a comma or a quote alone among them), some it cannot.
    static const QStringList plain = {"a", "Z",  "0", ".",      "-",  " ",        "\t",
                                      ",", "\"", "'", "\\",     "中", "付",       "在线付款",
                                      "€", "%",  "_", "\u3000", "·",  "w.example"};
    static const QStringList hostile = {"\r", "\n", "\r\n", QString(QChar(0)), "Ä", "\U00020000"};
    QString value;
    const int n = int(random.bounded(10));
    for (int i = 0; i < n; ++i) {
        const QStringList& from = random.bounded(100) < 95 ? plain : hostile;
        value += from[int(random.bounded(from.size()))];
    }
    return value;
}

// What the format can carry, judged by the test on its own: one line, GBK throughout, and
// quotable when it needs quotes (a comma or a leading quote) - quotes cannot hold a quote.
bool carried(const QString& value)
{
    const QString v = value.trimmed();
    if (v.contains(u'\r') || v.contains(u'\n') || v.contains(QChar(0)))
        return false;
    if (gbk::decode(gbk::encode(v)) != v)
        return false;
    return !v.startsWith(u'"') && !(v.contains(u',') && v.contains(u'"'));
}

Record trimmed(const Record& r)
{
    return {r.domain.trimmed(), r.title.trimmed(), r.className.trimmed()};
}

QByteArray lines(std::initializer_list<const char*> texts)
{
    QByteArray out;
    for (const char* t : texts)
        out += QByteArray(t) + "\r\n";
    return out;
}

} // namespace

class BlackListFile : public QObject
{
    Q_OBJECT
    QTemporaryDir dir_;
    QString file() const { return dir_.filePath("BlackName.dat"); }

private slots:
    void generatedValuesReadBackExactly_data()
    {
        QTest::addColumn<quint32>("seed");
        for (quint32 seed : {1u, 2u, 3u, 4u, 5u, 6u, 7u, 8u})
            QTest::newRow(qPrintable(QString::number(seed))) << seed;
    }

    void generatedValuesReadBackExactly()
    {
        QFETCH(quint32, seed);
        QRandomGenerator random(seed);
        std::vector<Record> records;
        std::vector<Record> expected;
        QList<int> refusedNumbers;
        for (int i = 0; i < 400; ++i) {
            Record r{randomValue(random), randomValue(random), randomValue(random)};
            records.push_back(r);
            if (carried(r.domain) && carried(r.title) && carried(r.className))
                expected.push_back(trimmed(r));
            else
                refusedNumbers << i + 1;
        }
        QStringList refused;
        QVERIFY(blacklist::write(file(), records, &refused));
        qInfo("%d of %d records carried, %d refused", int(expected.size()), int(records.size()),
              int(refused.size()));
        QCOMPARE(refused.size(), refusedNumbers.size());
        for (int i = 0; i < refused.size(); ++i)
            QVERIFY2(refused[i].startsWith(QStringLiteral("第%1条记录（").arg(refusedNumbers[i])),
                     qPrintable(refused[i]));
        const blacklist::Contents back = blacklist::read(file()).value();
        QCOMPARE(back.problems, QStringList());
        QCOMPARE(back.declaredCount, int(expected.size()));
        QCOMPARE(back.records.size(), expected.size());
        for (size_t i = 0; i < expected.size(); ++i)
            QCOMPARE(back.records[i], expected[i]);
    }

    void longAndQuotedValues()
    {
        const QString cjk = QStringLiteral("在线付款").repeated(25); // 100 characters, 200 bytes
        const std::vector<Record> records = {
            {"a.example", cjk, "其它"},
            {"b.example", "赌场,娱乐城", "游戏"},
            {"c.example", "他说\"好\"", "其它"},
            {"d.example", ",", "\"x"},
            {"e.example", "", ""},
        };
        QStringList refused;
        QVERIFY(blacklist::write(file(), records, &refused));
        QCOMPARE(refused, QStringList{"第4条记录（域名“d.example”）：类别以双引号开头，未写入"});
        QCOMPARE(test::readFile(file()),
                 QByteArray(" 4 \r\n") +
                     gbk::encode(QStringLiteral("a.example\r\n") + cjk +
                                 QStringLiteral(
                                     "\r\n其它\r\nb.example\r\n\"赌场,娱乐城\"\r\n游戏\r\n"
                                     "c.example\r\n他说\"好\"\r\n其它\r\ne.example\r\n\r\n\r\n")));
        const auto back = blacklist::read(file()).value();
        QCOMPARE(back.records,
                 (std::vector<Record>{records[0], records[1], records[2], records[4]}));
    }

    void recordsThatDoNotFitAreReported()
    {
        QByteArray bytes = " 300 \r\n";
        for (int i = 1; i <= 300; ++i) {
            const QByteArray n = QByteArray::number(i);
            if (i == 100) // one unquoted comma in a title
                bytes += lines({"r100.example", "title, with comma", "c100"});
            else if (i == 150)
                bytes += QByteArray("r150") + '\0' + ".example\r\nt150\r\nc150\r\n";
            else if (i == 200)
                bytes += lines({"r200.example", "t200", "c\x81\x30"});
            else if (i == 250) // the older form: all three fields on one line
                bytes += "r250.example,t250,c250\r\n";
            else
                bytes += "r" + n + ".example\r\nt" + n + "\r\nc" + n + "\r\n";
        }
        test::writeFile(file(), bytes);
        const blacklist::Contents back = blacklist::read(file()).value();
        QCOMPARE(back.declaredCount, 300);
        QCOMPARE(back.records.size(), size_t(297));
        for (const Record& r : back.records) {
            const QString n = r.domain.mid(1, r.domain.indexOf(u'.') - 1);
            QCOMPARE(r, (Record{"r" + n + ".example", "t" + n, "c" + n})); // no record shifted
        }
        QCOMPARE(
            back.problems,
            (QStringList{
                "BlackName.dat 第100条记录（第299行，域名“r100.example”）："
                "第300行含有2个字段，应为1个，未导入",
                "BlackName.dat 第150条记录（第449行，域名“r150 .example”）：含有NUL字符，未导入",
                "BlackName.dat 第200条记录（第599行，域名“r200.example”）："
                "第601行含有无效的GBK字符，未导入"}));
    }

    void fileShorterThanItsCount()
    {
        test::writeFile(file(), " 3 \r\n" + lines({"a.example", "t", "c", "b.example", "t"}));
        const blacklist::Contents back = blacklist::read(file()).value();
        QCOMPARE(back.records, (std::vector<Record>{{"a.example", "t", "c"}}));
        QCOMPARE(back.problems,
                 QStringList{"BlackName.dat 第1行的记录数为3，文件在第2条记录处结束"});
        // A count that is no number reads no records and reports nothing else.
        test::writeFile(file(), "many\r\n" + lines({"a.example", "t", "c"}));
        QCOMPARE(blacklist::read(file())->problems, QStringList());
    }
};

QTEST_GUILESS_MAIN(BlackListFile)
#include "test_blacklistfile.moc"
