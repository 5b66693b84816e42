// The administration's rules without a server or widgets: the octet and site typing rules, the
// byte limits, the logging-mode codes, the hour masks and the statements with quoted values;
// and the list model of the views under Qt's model tester.

#include "overseer/admin/adminrules.h"
#include "overseer/admin/rowicons.h"
#include "overseer/core/pagemodel.h"

#include <QAbstractItemModelTester>
#include <QTest>

using namespace lt::overseer::admin;

class AdminRules : public QObject
{
    Q_OBJECT
private slots:
    void octetRule_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("last");
        QTest::addColumn<QString>("after");
        QTest::addColumn<bool>("beep");
        QTest::addColumn<bool>("advance");
        QTest::newRow("too large") << "256" << false << "" << false << false;
        QTest::newRow("not a number") << "12a" << false << "" << false << false;
        QTest::newRow("decimal") << "1.5" << false << "15" << true << false;
        QTest::newRow("sign") << "-1" << false << "1" << true << false;
        QTest::newRow("blank") << " 7" << false << "7" << true << false;
        QTest::newRow("three digits") << "192" << false << "192" << false << true;
        QTest::newRow("fourth box stays") << "192" << true << "192" << false << false;
        QTest::newRow("leading zeros kept") << "007" << false << "007" << false << true;
        QTest::newRow("two digits") << "25" << false << "25" << false << false;
        QTest::newRow("empty") << "" << false << "" << false << false;
        QTest::newRow("255") << "255" << false << "255" << false << true;
        QTest::newRow("infinity") << "inf" << false << "" << false << false;
    }
    void octetRule()
    {
        QFETCH(QString, typed);
        QFETCH(bool, last);
        QFETCH(QString, after);
        QFETCH(bool, beep);
        QFETCH(bool, advance);
        const OctetEdit edit = lt::overseer::admin::octetRule(typed, last);
        QCOMPARE(edit.text, after);
        QCOMPARE(edit.changed, typed != after);
        QCOMPARE(edit.beep, beep);
        QCOMPARE(edit.advance, advance);
    }

    void siteRule_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("after");
        QTest::addColumn<QString>("message");
        QTest::newRow("http") << "http:"
                              << ""
                              << "不需要 http:";
        QTest::newRow("www") << "www."
                             << ""
                             << "不需要 www.";
        QTest::newRow("slashes") << "//"
                                 << ""
                                 << "不需要 //";
        QTest::newRow("slash") << "/"
                               << ""
                               << "";
        QTest::newRow("backslash") << "\\"
                                   << ""
                                   << "";
        QTest::newRow("two backslashes") << "\\\\"
                                         << ""
                                         << "";
        QTest::newRow("apostrophe") << "'"
                                    << ""
                                    << "";
        QTest::newRow("trailing apostrophe") << "sina.com'"
                                             << "sina.com"
                                             << "";
        QTest::newRow("trailing backslash") << "sina.com\\"
                                            << "sina.com"
                                            << "";
        QTest::newRow("pasted whole") << "www.sina.com"
                                      << "www.sina.com"
                                      << "";
        QTest::newRow("inner apostrophe") << "o'neil.cn"
                                          << "o'neil.cn"
                                          << "";
    }
    void siteRule()
    {
        QFETCH(QString, typed);
        QFETCH(QString, after);
        QFETCH(QString, message);
        const SiteEdit edit = lt::overseer::admin::siteRule(typed);
        QCOMPARE(edit.text, after);
        QCOMPARE(edit.message, message);
        QCOMPARE(edit.changed, typed != after);
    }

    void namesAreMeasuredInGbkBytes()
    {
        QVERIFY(!tooLong("中文中文中文中文", kNameBytes));  // 16 bytes
        QVERIFY(tooLong("中文中文中文中文a", kNameBytes));  // 17
        QVERIFY(!tooLong("abcdef中文中文中", kNameBytes));  // 6 + 10
        QVERIFY(tooLong("中文中文中文中文中", kNameBytes)); // 18
        QVERIFY(!tooLong(QString(100, 'x'), kEntryRenameBytes));
        QVERIFY(tooLong(QString(99, 'x') + "中", kEntryRenameBytes));
    }

    // What the configuration file cannot carry is refused where it is typed, naming the field
    // and the character; everything else is kept as typed.
    void charactersTheConfigurationFileCannotCarry_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("message");
        const QString why = QStringLiteral("：导出的配置文件无法原样保存这个字符。");
        QTest::newRow("quote") << "终端名称"
                               << "PC\"1"
                               << "终端名称不能含有双引号（\"）" + why;
        QTest::newRow("leading quote") << "标题"
                                       << "\"x\""
                                       << "标题不能含有双引号（\"）" + why;
        QTest::newRow("line break") << "域名"
                                    << "a\nb.cn"
                                    << "域名不能含有换行符" + why;
        QTest::newRow("return") << "域名"
                                << "a\rb.cn"
                                << "域名不能含有换行符" + why;
        QTest::newRow("tab") << "组别名称"
                             << "a\tb"
                             << "组别名称不能含有制表符" + why;
        QTest::newRow("NUL") << "组别名称" << QString("a") + QChar(0)
                             << "组别名称不能含有控制字符（U+0000）" + why;
        QTest::newRow("DEL") << "标题" << QString("a") + QChar(0x7f)
                             << "标题不能含有控制字符（U+007F）" + why;
        for (const char* fine : {"O'Brien\\pc", "a,b", "中文,标题", "emoji😀", "CAFÉ-01", "'"})
            QTest::newRow(fine) << "标题" << QString::fromUtf8(fine) << QString();
    }

    void charactersTheConfigurationFileCannotCarry()
    {
        QFETCH(QString, field);
        QFETCH(QString, typed);
        QFETCH(QString, message);
        QCOMPARE(refusedCharacterMessage(field, typed), message);
    }

    void logModes()
    {
        QCOMPARE(logModeLabel("0"), "全记");
        QCOMPARE(logModeLabel("1"), "半记");
        QCOMPARE(logModeLabel("2"), "不记");
        QCOMPARE(logModeLabel("3"), "");
        QCOMPARE(logModeLabel(""), "");
        for (const QString& label : accessModeLabels())
            QCOMPARE(logModeLabel(logModeCode(label)), label);
        QCOMPARE(uploadModeLabels(), QStringList({"全记", "不记"}));
    }

    void hourMasks()
    {
        const QStringList hours = hourCaptions();
        QCOMPARE(hours.size(), 24);
        QCOMPARE(hours.first(), "01-02");
        QCOMPARE(hours[22], "23-00");
        QCOMPARE(hours.last(), "00-01");
        QCOMPARE(quickMask(QuickSelect::Half), "000000011111111111100000");
        QCOMPARE(quickMask(QuickSelect::All), QString(24, '1'));
        QCOMPARE(quickMask(QuickSelect::None), kEmptyMask);
        QVERIFY(hourOn(setHour(kEmptyMask, 24, true), 24));
        QCOMPARE(setHour(QString(), 1, true), "1" + QString(23, '0'));
        QVERIFY(!hourOn("1", 2)); // a missing character is off
        QCOMPARE(policyColumns().join(""), "ABCDEFGHIJKL");
        QCOMPARE(classTabCaptions().value(4), "成人话题");
    }

    void statementsQuoteTheirValues()
    {
        QCOMPARE(sql::insertTerminal("O'B", "1.2.3.4", "a\\b"),
                 "INSERT INTO usertable VALUES('O''B','1.2.3.4','a\\\\b')");
        QCOMPARE(sql::renameGroup("新", "旧'"),
                 "UPDATE grouptable SET Team='新' WHERE BINARY Trim(Team)='旧'''");
        QCOMPARE(sql::renameGroupInLog("新", "旧"),
                 "UPDATE logtable SET Team='新' WHERE Team='旧' AND BINARY Team='旧'");
        QCOMPARE(sql::deleteTerminal("10.0.0.1"),
                 "DELETE FROM usertable WHERE Trim(IP) ='10.0.0.1'");
        QCOMPARE(sql::moveMembersToBuiltIn("g"),
                 "UPDATE usertable Set Team='临时工作组' WHERE BINARY Trim(Team) ='g'");
        QCOMPARE(sql::blackList(), "SELECT * FROM blacktable WHERE S='S' ORDER BY Name ");
        QCOMPARE(sql::whiteList(),
                 "SELECT Name,Title,SF FROM whitetable WHERE S='S' ORDER BY Name ");
        QCOMPARE(sql::deleteVisit("a.cn"),
                 "DELETE FROM webtable WHERE URL = 'a.cn' AND BINARY URL='a.cn'");
        QCOMPARE(sql::renameEntry("whitetable", "b", "a"),
                 "UPDATE whitetable SET Name='b' WHERE Name='a' AND BINARY Name='a'");
        QCOMPARE(putOnWhiteList("s'", "t", false),
                 QStringList({"DELETE FROM blacktable WHERE BINARY Trim(Name)='s'''",
                              "DELETE FROM whitetable WHERE BINARY Trim(Name)='s'''",
                              "INSERT INTO whitetable VALUES('s''','t','S','N')"}));
        QCOMPARE(putOnBlackList("s", "t", "游戏", true),
                 QStringList({"DELETE FROM whitetable WHERE BINARY Trim(Name)='s'",
                              "DELETE FROM blacktable WHERE BINARY Trim(Name)='s'",
                              "INSERT INTO blacktable VALUES('s','t','游戏','S')"}));
        QCOMPARE(sql::terminalNameCount("Pc", sql::Match::IgnoreCase),
                 "SELECT count(*) FROM usertable WHERE LOWER(Trim(Name))=LOWER('Pc')");
        QCOMPARE(sql::entryCount("blacktable", "a", sql::Match::Exact),
                 "SELECT count(*) FROM blacktable WHERE BINARY Trim(Name)='a' AND S='S'");
    }

    void listModelKeepsTheModelContract()
    {
        lt::overseer::PageModel model;
        model.setKeepsHiddenTexts(true);
        model.setIcons([](const QStringList& texts) { return texts.value(2) == "x" ? 15 : 2; },
                       rowIcon);
        QAbstractItemModelTester tester(&model,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.setLayout({{"终端", 1200}, {"ＩＰ", 1550}, {"组别", 1550}});
        model.setRows({{"b", "1", "x"}, {"a", "2", "y"}, {"c", "3", "y"}});
        QCOMPARE(model.headerData(1, Qt::Horizontal, lt::overseer::PageModel::kTwipsRole).toInt(),
                 1550);
        QVERIFY(!(model.flags(model.index(0, 0)) & Qt::ItemIsEditable));
        model.setLabelsEditable(true);
        QVERIFY(model.setData(model.index(1, 0), "aa"));
        QVERIFY(!model.setData(model.index(1, 1), "9")); // only the row text is edited in place
        model.appendRow({"d", "4", "x"});
        model.sort(0, Qt::DescendingOrder);
        QCOMPARE(model.text(0, 0), "d");
        QCOMPARE(model.iconIndex(0), 15);
        model.setText(0, 2, "y");
        QCOMPARE(model.iconIndex(0), 2);
        QVERIFY(model.removeRows(1, 2));
        QCOMPARE(model.rowCount(), 2);
        QVERIFY(!model.removeRows(1, 5));
        QVERIFY(!model.data(model.index(0, 0), Qt::DecorationRole).isNull());
    }

    void thePolicyIsOneStatementWithoutNamelessColumns()
    {
        QCOMPARE(
            sql::writePolicy("g", {{"A", "1"}, {"", "0"}, {"C", "0"}}, "0", "2"),
            "UPDATE grouptable SET A='1',C='0',DnLog='0',UpLog='2'  WHERE BINARY Trim(Team)='g'");
    }
};

QTEST_MAIN(AdminRules)
#include "test_adminrules.moc"
