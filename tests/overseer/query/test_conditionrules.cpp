// How a confirmed condition dialog rewrites the query conditions, and the range check, without
// widgets: the codes of every choice, values kept when their criterion is not chosen.

#include "overseer/query/conditionrules.h"

#include <QTest>

using namespace lt;
using namespace lt::overseer;

namespace
{
LogConditionChoice untouched()
{
    LogConditionChoice c;
    c.start = "26-12-07 00:00:00";
    c.end = "26-12-08 00:00:00";
    return c;
}
} // namespace

class ConditionRules : public QObject
{
    Q_OBJECT

private slots:
    void logCodes_data()
    {
        QTest::addColumn<bool>("byTerminal");
        QTest::addColumn<QString>("terminal");
        QTest::addColumn<QString>("group");
        QTest::addColumn<bool>("byTitle");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("cls");
        QTest::addColumn<QString>("result");
        QTest::addColumn<QString>("code");
        QTest::newRow("untouched") << true << ""
                                   << "" << true << ""
                                   << ""
                                   << ""
                                   << "00000";
        QTest::newRow("group mode, no group, a class") << false << ""
                                                       << "" << false << ""
                                                       << "上网"
                                                       << ""
                                                       << "00010";
        QTest::newRow("terminal, title, result") << true << "10.0.0.7"
                                                 << "" << true << "news"
                                                 << ""
                                                 << "阻断"
                                                 << "10101";
        QTest::newRow("group, class, result") << false << ""
                                              << "组A" << false << ""
                                              << "游戏"
                                              << "放行"
                                              << "01011";
        // The field of the mode not chosen does not count, even when it holds text.
        QTest::newRow("text in the disabled fields") << true << ""
                                                     << "组A" << true << ""
                                                     << "游戏"
                                                     << ""
                                                     << "00000";
        QTest::newRow("group and title") << false << "10.0.0.7"
                                         << "组A" << true << "x"
                                         << ""
                                         << ""
                                         << "01100";
    }

    void logCodes()
    {
        QFETCH(bool, byTerminal);
        QFETCH(QString, terminal);
        QFETCH(QString, group);
        QFETCH(bool, byTitle);
        QFETCH(QString, title);
        QFETCH(QString, cls);
        QFETCH(QString, result);
        QFETCH(QString, code);
        LogConditionChoice c = untouched();
        c.byTerminal = byTerminal;
        c.terminal = terminal;
        c.group = group;
        c.byTitle = byTitle;
        c.title = title;
        c.className = cls;
        c.result = result;
        LogQueryState s;
        applyLogChoice(c, s);
        QCOMPARE(s.CondCode, code);
        QCOMPARE(s.CondStart, c.start);
        QCOMPARE(s.CondEnd, c.end);
        QVERIFY(logCondition(s).has_value());
    }

    // Values of criteria not chosen keep their old contents; chosen ones are rewritten.
    void valuesNotChosenAreKept()
    {
        LogQueryState s;
        s.CondTeam = "旧组";
        s.CondTitle = "old";
        s.CondClass = "旧类";
        s.CondResult = "积累";
        s.CondTermIP = "10.0.0.1";
        LogConditionChoice c = untouched();
        c.terminal = "10.0.0.1";
        c.title = "it's \\ 100%_";
        applyLogChoice(c, s);
        QCOMPARE(s.CondCode, "10100");
        QCOMPARE(s.CondTermName, "10.0.0.1");
        QCOMPARE(s.CondTitle, "it's \\ 100%_");
        QCOMPARE(s.CondTeam, "旧组");
        QCOMPARE(s.CondClass, "旧类");
        QCOMPARE(s.CondResult, "积累");
    }

    void uploadCodes_data()
    {
        QTest::addColumn<QString>("terminal");
        QTest::addColumn<QString>("keyword");
        QTest::addColumn<QString>("code");
        QTest::newRow("nothing") << ""
                                 << ""
                                 << "00000";
        QTest::newRow("keyword") << ""
                                 << "密码"
                                 << "00100";
        QTest::newRow("terminal") << "10.0.0.7"
                                  << ""
                                  << "10000";
        QTest::newRow("terminal and keyword") << "10.0.0.7"
                                              << "密码"
                                              << "10100";
    }

    // Always one of the four upload codes.
    void uploadCodes()
    {
        QFETCH(QString, terminal);
        QFETCH(QString, keyword);
        QFETCH(QString, code);
        LogQueryState s;
        s.CondTitle = "kept";
        applyUploadChoice({"26-12-07 00:00:00", "26-12-08 00:00:00", terminal, keyword}, s);
        QCOMPARE(s.CondCode, code);
        QCOMPARE(s.CondTitle, keyword.isEmpty() ? QString("kept") : keyword);
        QVERIFY(uploadCondition(s).has_value());
    }

    void rangeCheck()
    {
        QCOMPARE(rangeProblem("26-12-08 00:00:00", "26-12-07 23:59:59", "截止时间"),
                 "起始时间不能晚于截止时间！");
        QCOMPARE(rangeProblem("26-12-08 00:00:01", "26-12-08 00:00:00", "截至时间"),
                 "起始时间不能晚于截至时间！");
        QCOMPARE(rangeProblem("26-12-08 00:00:00", "26-12-08 00:00:00", "截止时间"), "");
        // The last second of 2009 is before the first of 2010.
        QCOMPARE(rangeProblem("09-12-31 23:59:59", "10-01-01 00:00:00", "截止时间"), "");
    }

    void stampOfThePickers()
    {
        QCOMPARE(stampOf(QDate(2026, 3, 4), QTime(5, 6, 7)), "26-03-04 05:06:07");
    }
};

QTEST_GUILESS_MAIN(ConditionRules)
#include "test_conditionrules.moc"
