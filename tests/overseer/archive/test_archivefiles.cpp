// The files of the export window and the restores, byte for byte against files built by hand:
// the report cells, the configuration file and the backup, what the restores refuse, the
// date range of a deletion, and characters outside GBK.

#include "common/gbk.h"
#include "common/seqfile.h"
#include "overseer/archive/archiveformats.h"

#include <QTest>

using namespace lt;
using namespace lt::overseer::archive;

namespace
{

QByteArray bytes(QStringView text)
{
    return gbk::encodeGb18030(text);
}

const QStringList kRecord = {"abc",  "10.0.0.1",       "26-12-07 08:00:00",
                             "组A",  "标题, \"引号\"", "http://x.example/",
                             "上网", "放行",           "1024",
                             "3"};

QByteArray configFile(const QByteArray& body)
{
    return "HNQMLXDOVRIKXT\r\n" + body;
}

} // namespace

class ArchiveFiles : public QObject
{
    Q_OBJECT

private slots:
    void browseReportCells()
    {
        const QByteArray got = bytes(browseReportRecord(kRecord));
        // "终端：abc" is 9 bytes, "地址：10.0.0.1" 14: both cells are 24 bytes.
        const QByteArray line1 = bytes(u"终端：abc") + QByteArray(13, ' ') + "  " +
                                 bytes(u"地址：10.0.0.1") + QByteArray(8, ' ') + "  " +
                                 bytes(u"时间：26-12-07 08:00:00") + "\r\n";
        const QByteArray line2 = bytes(u"组别：组A") + QByteArray(13, ' ') + "  " +
                                 bytes(u"类别：上网") + QByteArray(12, ' ') + "  " +
                                 bytes(u"结果：放行") + QByteArray(12, ' ') + "\r\n";
        const QByteArray expected = line1 + line2 + bytes(u"标题：标题, \"引号\"\r\n") +
                                    bytes(u"域名：http://x.example/\r\n") + QByteArray(100, '-') +
                                    "\r\n";
        QCOMPARE(got, expected);
        QCOMPARE(line1.indexOf(bytes(u"地址")), 24);
        QCOMPARE(line1.indexOf(bytes(u"时间")), 48);
    }

    void cellsOfFullAndLongTexts()
    {
        // Eight Chinese characters after "终端：" fill the 22 bytes exactly: only two blanks.
        QCOMPARE(bytes(cell(u"终端：一二三四五六七八"_qs)), bytes(u"终端：一二三四五六七八  "));
        QCOMPARE(bytes(cell(u"终端：一二三四五六七八九"_qs)), bytes(u"终端：一二三四五六七八九  "));
        QCOMPARE(filledCell(u"结果：一二三四五六七八"_qs), u"结果：一二三四五六七八"_qs);
        // An emoji takes four bytes in the file, and the cell is filled by what is written.
        QCOMPARE(bytes(cell(u"终端：😀"_qs)).size(), 24);
    }

    void uploadReport()
    {
        const QStringList upload = {"pc1", "10.0.0.2", "http://m.example/", "26-12-07 12:00:00",
                                    "a=1\r\nb=2"};
        const QByteArray expected =
            bytes(u"发址：10.0.0.2") + QByteArray(8, ' ') + "  " + bytes(u"终端：pc1") +
            QByteArray(13, ' ') + "  " + bytes(u"时间：26-12-07 12:00:00\r\n") +
            bytes(u"收址：http://m.example/\r\n") + bytes(u"内容：a=1  b=2") +
            QByteArray(22 - 14, ' ') + "  \r\n" + QByteArray(100, '-') + "\r\n";
        QCOMPARE(bytes(uploadReportRecord(upload)), expected);
    }

    void backupRecordKeepsOneValuePerLine()
    {
        QStringList values = kRecord;
        values[4] = "第一行\r\n第二行\n第三行";
        values[9] = "";
        const QString text = backupRecord(values);
        QCOMPARE(text.count(QStringLiteral("\r\n")), 10);
        QVERIFY(text.contains(QStringLiteral("第一行  第二行 第三行\r\n")));
        QVERIFY(text.endsWith(QStringLiteral("放行\r\n1024\r\n\r\n")));
    }

    void configFileOfTwoTerminalsAndOneGroup()
    {
        // What the export writes, line by line: 2 + 3 x 2 + 1 + 15 = 24 lines after the header.
        QString text = kFileHeader + QStringLiteral("\r\n");
        QByteArray expected = "HNQMLXDOVRIKXT\r\n 2 \r\n";
        text += QString::fromLatin1(SeqWriter::numberText(2)) + QStringLiteral("\r\n");
        for (const QStringList& user :
             {QStringList{"pc1", "10.0.0.1", "组A"}, QStringList{"pc,2", "10.0.0.2", "组A"}}) {
            for (const QString& v : user)
                text += configValueLine(v);
        }
        expected += "pc1\r\n10.0.0.1\r\n" + bytes(u"组A\r\n") + "\"pc,2\"\r\n10.0.0.2\r\n" +
                    bytes(u"组A\r\n");
        text += QString::fromLatin1(SeqWriter::numberText(1)) + QStringLiteral("\r\n");
        expected += " 1 \r\n";
        QStringList group = {"组A", "0", "1"};
        for (int i = 0; i < 12; ++i)
            group << QString(24, QChar(u'0' + i % 2));
        for (const QString& v : group)
            text += configValueLine(v);
        expected += bytes(u"组A\r\n") + "0\r\n1\r\n";
        for (int i = 0; i < 12; ++i)
            expected += QByteArray(24, char('0' + i % 2)) + "\r\n";
        QCOMPARE(bytes(text), expected);
        QCOMPARE(expected.count("\r\n"), 24);

        SeqReader reader(expected);
        const ConfigData data = readConfig(reader);
        QVERIFY2(data.ok(), qPrintable(data.message));
        QCOMPARE(data.users.size(), 2);
        QCOMPARE(data.users[1], (QStringList{"pc,2", "10.0.0.2", "组A"}));
        QCOMPARE(data.groups.size(), 1);
        QCOMPARE(data.groups[0], group);
    }

    void configValuesTheFileCannotCarry_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("readBack");
        QTest::newRow("plain") << "pc1"
                               << "pc1";
        QTest::newRow("comma, quoted") << "pc,2"
                                       << "pc,2";
        QTest::newRow("quote inside an unquoted value") << "a\"b"
                                                        << "a\"b";
        QTest::newRow("quote inside a quoted value") << "a\"b,c"
                                                     << "a'b,c";
        QTest::newRow("leading quote") << "\"abc\""
                                       << "'abc'";
        QTest::newRow("line break") << "a\r\nb"
                                    << "a  b";
        QTest::newRow("blanks around") << "  pc "
                                       << "pc";
        QTest::newRow("outside GBK") << "emoji😀"
                                     << "emoji😀";
    }

    void configValuesTheFileCannotCarry()
    {
        QFETCH(QString, value);
        QFETCH(QString, readBack);
        QCOMPARE(configValueReadBack(value), readBack);
        // What the restore reads from the exported line.
        SeqReader reader(bytes(kFileHeader + "\r\n 1 \r\n" + configValueLine(value) +
                               "10.0.0.1\r\nt\r\n 0 \r\n"));
        reader.setEncoding(SeqEncoding::Gb18030);
        const ConfigData data = readConfig(reader);
        QVERIFY2(data.ok(), qPrintable(data.message));
        QCOMPARE(data.users.value(0).value(0), readBack);
    }

    void damagedConfigFilesAreRefused_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("reason");
        const QByteArray user = "pc1\r\n10.0.0.1\r\n" + bytes(u"组A\r\n");
        QByteArray group = bytes(u"组A\r\n") + "0\r\n0\r\n";
        for (int i = 0; i < 12; ++i)
            group += QByteArray(24, '0') + "\r\n";
        QTest::newRow("empty") << QByteArray() << "不是配置文件";
        QTest::newRow("binary") << QByteArray("\x7f\x45LF\x02\x01\x00\x00", 8) << "不是配置文件";
        QTest::newRow("backup header only in a later line")
            << QByteArray("x\r\nHNQMLXDOVRIKXT\r\n") << "不是配置文件";
        QTest::newRow("no count") << configFile("") << "终端数不是数字";
        QTest::newRow("count not a number") << configFile("two\r\n") << "终端数不是数字";
        QTest::newRow("negative count") << configFile(" -1 \r\n") << "终端数不是数字";
        QTest::newRow("truncated in the terminals")
            << configFile(" 2 \r\n" + user + "pc2\r\n") << "第 2 个终端的数据不全";
        QTest::newRow("no group count") << configFile(" 1 \r\n" + user) << "组别数不是数字";
        QTest::newRow("truncated in the group")
            << configFile(" 1 \r\n" + user + " 1 \r\n" + group.left(group.size() - 30))
            << "第 1 个组别的第 14 项不是 24 个字符";
        QTest::newRow("group missing its last masks")
            << configFile(" 1 \r\n" + user + " 1 \r\n" + group.left(group.size() - 52))
            << "第 1 个组别的数据不全";
        QTest::newRow("count smaller than the groups")
            << configFile(" 1 \r\n" + user + " 1 \r\n" + group + group)
            << "最后一个组别之后还有数据";
        QTest::newRow("name wider than its column")
            << configFile(" 1 \r\n" + QByteArray(17, 'n') + "\r\n1\r\nt\r\n 0 \r\n")
            << "第 1 个终端的第 1 项超过 16 个字符";
        QTest::newRow("mask wider than its column")
            << configFile(" 0 \r\n 1 \r\n" +
                          QByteArray(group).replace(QByteArray(24, '0'), QByteArray(25, '0')))
            << "第 1 个组别的第 4 项超过 24 个字符";
        QTest::newRow("last mask cut short")
            << configFile(" 0 \r\n 1 \r\n" + group.left(group.size() - 10))
            << "第 1 个组别的第 15 项不是 24 个字符";
        QTest::newRow("bytes that are no text")
            << configFile(" 1 \r\npc\xff\r\n1\r\nt\r\n 0 \r\n") << "第 1 个终端含有无效的字符";
    }

    void damagedConfigFilesAreRefused()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, reason);
        SeqReader reader(file);
        const ConfigData data = readConfig(reader);
        QVERIFY(!data.ok());
        QVERIFY2(data.message.contains(reason), qPrintable(data.message));
    }

    void backupChecks_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("reason"); // empty: the file is sound
        const QByteArray record = bytes(backupRecord(kRecord));
        const QByteArray head = "HNQMLXDOVRIKXT\r\n 2 \r\n";
        QTest::newRow("sound") << head + record + record << "";
        QTest::newRow("blank lines after the records") << head + record + record + "\r\n\r\n"
                                                       << "";
        QTest::newRow("empty") << QByteArray() << "日志备份文件";
        QTest::newRow("configuration header is no backup")
            << QByteArray("HNQMLXDOVRIKX\r\n") << "日志备份文件";
        QTest::newRow("binary") << QByteArray("\x00\x01\x02\x03", 4) << "日志备份文件";
        QTest::newRow("count not a number")
            << QByteArray("HNQMLXDOVRIKXT\r\nmany\r\n") << "记录数不是数字";
        QTest::newRow("truncated") << head + record + record.left(40) << "只有 1 条完整";
        QTest::newRow("count larger than the records") << head + record << "只有 1 条完整";
        QTest::newRow("count smaller than the records")
            << head + record + record + record << "多于声明的 2 条";
        QTest::newRow("a line no record has")
            << head + record + QByteArray(5000, 'x') + "\r\n" + record.mid(record.indexOf('\n') + 1)
            << "过长的行";
    }

    void backupChecks()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, reason);
        SeqReader reader(file);
        const BackupHeader header = readBackupHeader(reader);
        const QString message =
            header.ok() ? checkBackupBody(reader, header.records) : header.message;
        if (reason.isEmpty())
            QVERIFY2(message.isEmpty(), qPrintable(message));
        else
            QVERIFY2(message.contains(reason), qPrintable(message));
    }

    void backupRecordsReadBackAsWritten()
    {
        QStringList values = kRecord;
        values[4] = "逗号,引号'\"反斜杠\\ 😀";
        SeqReader reader(bytes(kFileHeader + "\r\n 1 \r\n" + backupRecord(values)));
        reader.setEncoding(SeqEncoding::Gb18030);
        QVERIFY(readBackupHeader(reader).ok());
        bool invalid = false;
        const std::optional<QStringList> back = readBackupRecord(reader, &invalid);
        QVERIFY(back && !invalid);
        QCOMPARE(*back, values);
        QVERIFY(backupRecordFault(*back).isEmpty());
        values[9] = "x";
        QVERIFY(backupRecordFault(values).contains("F"));
        values[9] = "";
        values[7] = "12345";
        QVERIFY(backupRecordFault(values).contains("Result"));
    }

    void everyCharacterSurvivesTheFile_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("bytes"); // as written
        // The converter writes "?" for a character GBK lacks, so a text that is ASCII apart
        // from such characters gives ASCII bytes: those must not be taken for the whole text.
        QTest::newRow("ASCII and an emoji") << u"ab😀"_qs << 2 + 4;
        QTest::newRow("a group name") << u"emoji😀"_qs << 5 + 4;
        QTest::newRow("English title with emoji") << u"Live stream 🎉🎉"_qs << 12 + 8;
        QTest::newRow("Korean") << u"한국어 뉴스"_qs << 5 * 4 + 1;
        QTest::newRow("Thai") << u"ข่าว"_qs << 4 * 4;
        QTest::newRow("Latin letters GBK lacks") << u"Ä ö"_qs << 4 + 1 + 4;
        QTest::newRow("Chinese and an emoji") << u"中文😀"_qs << 4 + 4;
        QTest::newRow("plain ASCII") << u"http://x.example/"_qs << 17;
        // GB18030 writes these real characters under codes GBK reads as private-use ones, and
        // the private-use characters as four bytes.
        QTest::newRow("ideographic description, radical, ḿ") << u"⿷⺁ḿ"_qs << 2 + 2 + 2;
        QTest::newRow("private use GBK holds") << u"\uE7EF\uE7C7"_qs << 4 + 4;
        // GBK's converter writes U+F8F5 as the byte 0xFF, which no reader takes as text.
        QTest::newRow("private use written as 0xFF") << u"a\uF8F5"_qs << 1 + 4;
    }

    void everyCharacterSurvivesTheFile()
    {
        QFETCH(QString, text);
        QFETCH(int, bytes);
        const QByteArray written = gbk::encodeGb18030(text);
        QCOMPARE(written.size(), bytes);
        QVERIFY(!written.contains('?'));
        QCOMPARE(gbk::decodeGb18030(written), text);
        QVERIFY(gbk::decodeStrictGb18030(written).valid());
        QCOMPARE(gbk::byteWidthGb18030(text), bytes);
        // Through a backup record and back.
        QStringList values = kRecord;
        values[4] = text;
        SeqReader reader(gbk::encodeGb18030(kFileHeader + "\r\n 1 \r\n" + backupRecord(values)));
        reader.setEncoding(SeqEncoding::Gb18030);
        QVERIFY(readBackupHeader(reader).ok());
        bool invalid = false;
        QCOMPARE(readBackupRecord(reader, &invalid).value_or(QStringList()), values);
        QVERIFY(!invalid);
    }

    void outsideGbkNothingIsLost()
    {
        // GBK characters keep their GBK bytes; an emoji gets its four GB18030 bytes.
        const QString text = u"中文€·😀𠀀"_qs;
        const QByteArray written = gbk::encodeGb18030(text);
        QVERIFY(written.startsWith(gbk::encode(u"中文€·")));
        QCOMPARE(written.size(), 7 + 4 + 4); // € is the one byte 0x80 in GBK
        QCOMPARE(gbk::decodeGb18030(written), text);
        QVERIFY(gbk::decodeStrictGb18030(written).valid());
        // The GBK readers of the other files (LocalPort.txt, the credential file) still take
        // GBK alone: what they read, their GBK writers write back.
        QVERIFY(!gbk::decodeStrict(written).valid());
        // A plain GBK file reads as before; a broken four-byte sequence is no text.
        QCOMPARE(gbk::decode(gbk::encode(u"上网")), u"上网"_qs);
        QVERIFY(!gbk::decodeStrictGb18030(QByteArray("\x81\x30\x81", 3)).valid());
    }

    void everyCharacterOfThePlaneAlone()
    {
        // Each character on its own and all of them in one text: the same bytes, read back as
        // written; a character GBK holds exactly keeps its GBK bytes.
        QString all;
        QByteArray joined;
        for (char32_t u = 1; u < 0x10000; u += (u == 0xD7FF ? 0x801 : 1)) {
            const QString one{QChar(char16_t(u))};
            const QByteArray written = gbk::encodeGb18030(one);
            QVERIFY2(written.size() == 1 || written.size() == 2 || written.size() == 4,
                     qPrintable(QString::number(uint(u), 16)));
            QVERIFY2(gbk::decodeStrictGb18030(written).text == one,
                     qPrintable(QString::number(uint(u), 16)));
            if (written.size() <= 2 && gbk::decode(gbk::encode(one)) == one)
                QCOMPARE(written, gbk::encode(one));
            all += one;
            joined += written;
        }
        all += u"😀𠀀𪚥"_qs;
        joined += gbk::encodeGb18030(u"😀𠀀𪚥");
        QCOMPARE(gbk::encodeGb18030(all), joined);
        QByteArray appended("head");
        gbk::appendGb18030(appended, all);
        QCOMPARE(appended, "head" + joined);
        QCOMPARE(gbk::decodeGb18030(joined), all);
    }

    void batchesWriteWhatRecordsWrite()
    {
        // Values as the server sends them (UTF-8) in one batch: the lines are those of the
        // records, with line breaks as blanks and blanks of every kind trimmed.
        const QList<QStringList> records = {
            kRecord,
            {"", "  10.0.0.2\t", "26-12-07 08:00:01", "\u3000组B\u00A0", "第一行\r\n第二行\n",
             "\r\nhttp://y.example/a,b", "😀", "'\"", "\\", ""},
            {QString(16, u'终'), QString(16, u'9'), "26-12-07 08:00:02", "\u2003",
             QString(u"😀"_qs).repeated(100), QString(150, u'網'), "c", "r", "0", "-7"},
        };
        RecordBatch batch(int(kLogColumns.size()));
        QString expected;
        for (const QStringList& values : records) {
            for (const QString& v : values)
                batch.add(v.toUtf8());
            expected += backupRecord(values);
        }
        QCOMPARE(batch.records(), qsizetype(records.size()));
        QCOMPARE(batch.values(1), records[1]);
        QString text = QStringLiteral("kept\r\n");
        appendBackupRecords(text, batch);
        QCOMPARE(text, "kept\r\n" + expected);
        const QStringList lines = text.split(QStringLiteral("\r\n"));
        QCOMPARE(lines.size(), 1 + 30 + 1);
        QCOMPARE(lines[1 + 10 + 1], QStringLiteral("10.0.0.2"));
        QCOMPARE(lines[1 + 10 + 3], QStringLiteral("组B"));
        QCOMPARE(lines[1 + 10 + 4], QStringLiteral("第一行  第二行"));
        QCOMPARE(lines[1 + 10 + 5], QStringLiteral("http://y.example/a,b"));
        QCOMPARE(lines[1 + 20 + 3], QString());
        QCOMPARE(lines[1 + 20 + 4], QString(u"😀"_qs).repeated(100));
    }

    void deletionRangeAndStatements()
    {
        const QDate day(2026, 12, 7);
        DeletionRange r = deletionRange(day, QTime(0, 0), day, QTime(0, 0));
        QCOMPARE(r.start, u"26-12-07 00:00:00"_qs);
        QCOMPARE(r.end, u"26-12-08 00:00:00"_qs);
        QCOMPARE(r.endDate, day.addDays(1));
        QVERIFY(!r.reversed);
        QCOMPARE(deletionStatements(true, true, r),
                 (QStringList{"DELETE FROM logtable WHERE AcTime>='26-12-07 00:00:00' AND "
                              "AcTime<='26-12-08 00:00:00'",
                              "DELETE FROM upsendtable WHERE AcTime>='26-12-07 00:00:00' AND "
                              "AcTime<='26-12-08 00:00:00'"}));
        QCOMPARE(deletionStatements(false, true, r).size(), 1);
        r = deletionRange(day, QTime(13, 5, 9), day.addDays(3), QTime(23, 59, 59));
        QCOMPARE(r.start, u"26-12-07 13:05:09"_qs);
        QCOMPARE(r.end, u"26-12-10 23:59:59"_qs);
        QVERIFY(deletionRange(day, QTime(0, 0), day.addDays(-1), QTime(0, 0)).reversed);
        // The last day a two-digit year names: the end stays on it rather than "00-01-01".
        const QDate last(2099, 12, 31);
        r = deletionRange(last, QTime(0, 0), last, QTime(0, 0));
        QCOMPARE(r.end, u"99-12-31 23:59:59"_qs);
        QCOMPARE(r.endDate, last);
        QVERIFY(!r.reversed);
        QCOMPARE(
            deletionRange(QDate(2000, 2, 29), QTime(0, 0), QDate(2000, 3, 1), QTime(0, 0)).start,
            u"00-02-29 00:00:00"_qs);
        QVERIFY(deletionRange(day, QTime(12, 0), day.addDays(1), QTime(11, 0)).reversed == false);
    }
};

QTEST_GUILESS_MAIN(ArchiveFiles)
#include "test_archivefiles.moc"
