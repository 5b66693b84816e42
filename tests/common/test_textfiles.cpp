// The sequential text files, the code page and the quoting of values: what the programs read
// from and write to LocalPort.txt, the credential file and BlackName.dat, byte for byte.

#include "common/blacklist.h"
#include "common/gbk.h"
#include "common/odbc.h"
#include "common/seqfile.h"
#include "common/sharedfiles.h"
#include "tests/support/testsupport.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace lt;

class TextFiles : public QObject
{
    Q_OBJECT
    QTemporaryDir dir_;
    QString path(const char* name) const { return dir_.filePath(QString::fromLatin1(name)); }

private slots:
    void delimitedFields_data();
    void delimitedFields();
    void lineInputAndEnd();
    void numbersAndLinesWritten();
    void gbkWidths();
    void quoting();
    void localPort_data();
    void localPort();
    void localPortWriters();
    void credentialFile_data();
    void credentialFile();
    void credentialWriter();
    void blackListReading_data();
    void blackListReading();
    void blackListRoundTrip();
};

void TextFiles::delimitedFields_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("fields");
    QTest::newRow("two lines CRLF") << QByteArray("ADM\r\n739\r\n") << QStringList{"ADM", "739"};
    QTest::newRow("comma") << QByteArray("ADM,739") << QStringList{"ADM", "739"};
    QTest::newRow("leading blanks skipped, trailing kept")
        << QByteArray("   ADM  \r\n\t739") << QStringList{"ADM  ", "739"};
    QTest::newRow("quoted field loses quotes and keeps its comma")
        << QByteArray("\"a, b\"  tail,c\n") << QStringList{"a, b", "c"};
    QTest::newRow("unterminated quote runs to the end")
        << QByteArray("\"abc") << QStringList{"abc"};
    QTest::newRow("lone LF and lone CR end fields")
        << QByteArray("1\n2\r3") << QStringList{"1", "2", "3"};
    QTest::newRow("empty line gives an empty field")
        << QByteArray("a\r\n\r\nb") << QStringList{"a", "", "b"};
    QTest::newRow("GBK text") << lt::gbk::encode(u"上网,临时工作组\r\n")
                              << QStringList{"上网", "临时工作组"};
    QTest::newRow("number written with blanks") << QByteArray(" 2 \r\n") << QStringList{"2 "};
}

void TextFiles::delimitedFields()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, fields);
    SeqReader reader(bytes);
    QStringList read;
    while (auto field = reader.readField())
        read << *field;
    QCOMPARE(read, fields);
    QVERIFY(!reader.readField().has_value()); // past the end: no value, no crash
}

void TextFiles::lineInputAndEnd()
{
    SeqReader reader(QByteArray("first, with comma\r\n\r\nlast"));
    QCOMPARE(reader.readLine().value(), QStringLiteral("first, with comma"));
    QCOMPARE(reader.readLine().value(), QString());
    QCOMPARE(reader.readLine().value(), QStringLiteral("last"));
    QVERIFY(reader.atEnd());
    QVERIFY(!reader.readLine());
    SeqReader missing;
    QVERIFY(!missing.open(path("does-not-exist")));
    QVERIFY(!missing.readField());
}

void TextFiles::numbersAndLinesWritten()
{
    SeqWriter writer;
    QVERIFY(writer.open(path("numbers.txt")));
    writer.printNumber(2);
    writer.printNumber(-7);
    writer.printNumber(0);
    writer.printLine(u"终端");
    writer.print(u"x");
    QVERIFY(writer.close());
    QCOMPARE(test::readFile(path("numbers.txt")),
             QByteArray(" 2 \r\n-7 \r\n 0 \r\n") + gbk::encode(u"终端") + "\r\nx");
    QVERIFY(writer.open(path("numbers.txt"), SeqWriter::Mode::Append));
    writer.printLine(u"y");
    QVERIFY(writer.close());
    QVERIFY(test::readFile(path("numbers.txt")).endsWith("xy\r\n"));
    SeqWriter nowhere;
    QVERIFY(!nowhere.open(path("no/such/dir/file.txt")));
}

void TextFiles::gbkWidths()
{
    QCOMPARE(gbk::byteWidth(u"ADM"), 3);
    QCOMPARE(gbk::byteWidth(u"临时工作组"), 10);
    QCOMPARE(gbk::byteWidth(u"财务-01"), 7);
    QCOMPARE(gbk::decode(gbk::encode(u"访问日志，ＡＢＣ")), QStringLiteral("访问日志，ＡＢＣ"));
    QCOMPARE(gbk::leftBytes(u"临时工作组", 5), QStringLiteral("临时")); // never half a character
    QCOMPARE(gbk::leftBytes(u"ab临时", 3), QStringLiteral("ab"));
    QCOMPARE(gbk::leftBytes(u"ab临时", 4), QStringLiteral("ab临"));
}

void TextFiles::quoting()
{
    QCOMPARE(db::sqlEscape(u"plain 中文"), QStringLiteral("plain 中文"));
    QCOMPARE(db::sqlEscape(u"O'Brien"), QStringLiteral("O''Brien"));
    QCOMPARE(db::sqlEscape(u"C:\\dir\\"), QStringLiteral("C:\\\\dir\\\\"));
    QCOMPARE(db::sqlEscape(u"\\'"), QStringLiteral("\\\\''"));
}

void TextFiles::localPort_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("value");
    QTest::newRow("digit with CR LF") << QByteArray("2\r\n") << "2";
    QTest::newRow("digit alone") << QByteArray("2") << "2";
    QTest::newRow("blanks around") << QByteArray("  3  \r\n") << "3  ";
    QTest::newRow("empty file") << QByteArray() << "";
    QTest::newRow("only blanks") << QByteArray("   ") << "";
    QTest::newRow("comma ends the field") << QByteArray("12,7\r\n") << "12";
    QTest::newRow("quoted") << QByteArray("\"4\"\r\n") << "4";
    QTest::newRow("GBK text") << gbk::encode(u"网卡二\r\n") << "网卡二";
}

void TextFiles::localPort()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, value);
    test::writeFile(path("LocalPort.txt"), bytes);
    QCOMPARE(readLocalPort(path("LocalPort.txt")).value(), value);
    QVERIFY(!readLocalPort(path("missing.txt")).has_value());
}

void TextFiles::localPortWriters()
{
    const QString file = path("LocalPort.txt");
    test::writeFile(file, "12\r\n");
    QVERIFY(writeLocalPortDigits(file, QStringLiteral("3")));
    QCOMPARE(test::readFile(file), QByteArray("3"));
    QVERIFY(writeLocalPortLine(file, QStringLiteral("2")));
    QCOMPARE(test::readFile(file), QByteArray("2\r\n"));
    QCOMPARE(readLocalPort(file).value(), QStringLiteral("2"));
    // A replacing writer leaves the old content in place until it has written the new one.
    SeqWriter writer;
    QVERIFY(writer.open(file, SeqWriter::Mode::Replace));
    writer.printLine(u"5");
    QCOMPARE(test::readFile(file), QByteArray("2\r\n"));
    QVERIFY(writer.close());
    QCOMPARE(test::readFile(file), QByteArray("5\r\n"));
    QVERIFY(!writeLocalPortLine(path("no/such/dir/LocalPort.txt"), QStringLiteral("1")));
}

void TextFiles::credentialFile_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("readable");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("password");
    QTest::newRow("two lines") << QByteArray("ADM\r\n739\r\n") << true << "ADM"
                               << "739";
    QTest::newRow("trailing blanks trimmed") << QByteArray("ADM   \r\n 739 \r\n") << true << "ADM"
                                             << "739";
    QTest::newRow("comma-separated") << QByteArray("ADM,739") << true << "ADM"
                                     << "739";
    QTest::newRow("quoted with blanks inside")
        << QByteArray("\" A D M \",\"7,39\"") << true << "A D M"
        << "7,39";
    QTest::newRow("GBK name") << gbk::encode(u"管理员\r\n口令\r\n") << true << "管理员"
                              << "口令";
    QTest::newRow("empty file") << QByteArray() << false << ""
                                << "";
    QTest::newRow("name only") << QByteArray("ADM\r\n") << false << ""
                               << "";
}

void TextFiles::credentialFile()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, readable);
    QFETCH(QString, name);
    QFETCH(QString, password);
    test::writeFile(path("cred"), bytes);
    const auto creds = readCredentialFile(path("cred"));
    QCOMPARE(creds.has_value(), readable);
    if (readable) {
        QCOMPARE(creds->name, name);
        QCOMPARE(creds->password, password);
    }
}

void TextFiles::credentialWriter()
{
    const QString file = path("KVRTMQLP.DLL");
    QVERIFY(!readCredentialFile(file).has_value());
    QVERIFY(writeCredentialFile(file, QStringLiteral(" 新管理员 "), QStringLiteral("pw1 ")));
    QCOMPARE(test::readFile(file), gbk::encode(u"新管理员") + "\r\npw1\r\n");
    QCOMPARE(QFile::permissions(file) & (QFile::ReadGroup | QFile::ReadOther),
             QFile::Permissions());
    const Credentials stored = readCredentialFile(file).value();
    QVERIFY(credentialsMatch(stored, QStringLiteral("新管理员"), QStringLiteral("pw1")));
    QVERIFY(!credentialsMatch(stored, QStringLiteral("新管理员 "), QStringLiteral("pw1")));
    QVERIFY(!credentialsMatch(stored, QStringLiteral(" 新管理员"), QStringLiteral("pw1")));
    QVERIFY(!credentialsMatch({"ADM", "739"}, QStringLiteral("adm"), QStringLiteral("739")));
}

void TextFiles::blackListReading_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("declared");
    QTest::addColumn<int>("records");
    const QByteArray two = gbk::encode(u"a.com\r\n甲\r\n色情\r\nb.com\r\n乙\r\n游戏\r\n");
    QTest::newRow("count with blanks") << QByteArray(" 2 \r\n") + two << 2 << 2;
    QTest::newRow("count larger than the records") << QByteArray(" 5 \r\n") + two << 5 << 2;
    QTest::newRow("count smaller") << QByteArray(" 1 \r\n") + two << 1 << 1;
    QTest::newRow("negative count") << QByteArray("-3\r\n") + two << -3 << 0;
    QTest::newRow("count not a number") << QByteArray("many\r\n") + two << 0 << 0;
    QTest::newRow("count above 32767") << QByteArray("40000\r\n") + two << 0 << 0;
    QTest::newRow("count nan") << QByteArray("nan\r\n") + two << 0 << 0;
    QTest::newRow("count -inf") << QByteArray("-inf\r\n") + two << 0 << 0;
    QTest::newRow("empty file") << QByteArray() << 0 << 0;
    QTest::newRow("commas split a line into fields")
        << QByteArray(" 2 \r\nx.com,title,class\r\ny.com\r\nt\r\nc\r\n") << 2 << 2;
}

void TextFiles::blackListReading()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, declared);
    QFETCH(int, records);
    test::writeFile(path("BlackName.dat"), bytes);
    const auto contents = blacklist::read(path("BlackName.dat"));
    QVERIFY(contents.has_value());
    QCOMPARE(contents->declaredCount, declared);
    QCOMPARE(int(contents->records.size()), records);
    QVERIFY(!blacklist::read(path("none.dat")).has_value());
}

void TextFiles::blackListRoundTrip()
{
    const std::vector<blacklist::Record> records = {
        {"www.a.example", "赌场,娱乐城", "游戏"},
        {"b.example", "\"引号\"开头", "其它"},
        {"c.example", "O'Brien's", "色情"},
        {" d.example ", "", "其它"},
    };
    QStringList refused;
    QVERIFY(blacklist::write(path("out.dat"), records, &refused));
    const QByteArray bytes = test::readFile(path("out.dat"));
    // The comma is protected by quotes; a leading quote cannot be carried: that record is left
    // out and named instead of being read back without its quotes.
    QVERIFY(bytes.startsWith(" 3 \r\nwww.a.example\r\n\""));
    QCOMPARE(refused, QStringList{"第2条记录（域名“b.example”）：标题以双引号开头，未写入"});
    const auto back = blacklist::read(path("out.dat")).value();
    QCOMPARE(back.records.size(), size_t(3));
    QCOMPARE(back.records[0], records[0]);
    QCOMPARE(back.records[1], records[2]);
    QCOMPARE(back.records[2].domain, QStringLiteral("d.example"));
    QVERIFY(blacklist::write(path("empty.dat"), {}));
    QCOMPARE(test::readFile(path("empty.dat")), QByteArray(" 0 \r\n"));
}

QTEST_GUILESS_MAIN(TextFiles)
#include "test_textfiles.moc"
