// The statement texts of the log query builder, without a server: the 18 browse-log and 4
// upload-log condition shapes, values with quotes, backslashes, '%', '_' and long texts, codes
// outside the tables, and the default range by the clock.

#include "common/clock.h"
#include "overseer/query/logquery.h"

#include <QTest>

using namespace lt;
using namespace lt::overseer;

namespace
{

// Values that have broken statements before: quotes, backslashes, LIKE wildcards.
LogQueryState hostile(const QString& code)
{
    LogQueryState s;
    s.CondCode = code;
    s.CondStart = "26-12-07 00:00:00";
    s.CondEnd = "26-12-08 00:00:00";
    s.CondTermIP = "10.0.0.'7";
    s.CondTeam = "组'A\\";
    s.CondTitle = "it's 50%_off \\'x";
    s.CondClass = "色情'";
    s.CondResult = "阻断\\";
    return s;
}

// The same values as they must stand between the quotes of a statement.
QString expand(QString shape)
{
    shape.replace("{S}", "26-12-07 00:00:00");
    shape.replace("{E}", "26-12-08 00:00:00");
    shape.replace("{I}", "10.0.0.''7");
    shape.replace("{G}", "组''A\\\\");
    shape.replace("{T}", "it''s 50%_off \\\\''x");
    shape.replace("{C}", "色情''");
    shape.replace("{R}", "阻断\\\\");
    return shape;
}

// Reads the SQL text literal that starts at `from` (an opening quote) as the server would.
QString literalAt(const QString& sql, qsizetype from)
{
    QString value;
    for (qsizetype i = from + 1; i < sql.size(); ++i) {
        if (sql[i] == '\\' && i + 1 < sql.size()) {
            value += sql[++i];
        } else if (sql[i] == '\'') {
            if (i + 1 < sql.size() && sql[i + 1] == '\'')
                value += sql[++i];
            else
                return value;
        } else {
            value += sql[i];
        }
    }
    return QStringLiteral("<unterminated>");
}

} // namespace

class LogQueryTexts : public QObject
{
    Q_OBJECT

private slots:
    void browseLogShapes_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("shape");
        const QString r = "AcTime>='{S}' AND AcTime<='{E}'";
        QTest::newRow("00000") << "00000" << r;
        QTest::newRow("00001") << "00001" << r + " AND Result='{R}'";
        QTest::newRow("00010") << "00010" << r + " AND Class =  '{C}'";
        QTest::newRow("00011") << "00011" << r + " AND Class='{C}' AND Trim(Result)='{R}'";
        QTest::newRow("00100") << "00100" << r + " AND Instr(Title,'{T}')>0";
        QTest::newRow("00101") << "00101" << r + " AND Instr(Title,'{T}')>0 AND Result='{R}'";
        QTest::newRow("01000") << "01000" << r + " AND Team = '{G}'";
        QTest::newRow("01001") << "01001" << r + " AND Team='{G}' AND Result='{R}'";
        QTest::newRow("01010") << "01010" << r + " AND Team='{G}' AND Class='{C}'";
        QTest::newRow("01011") << "01011" << r + " AND Team='{G}' AND Class='{C}' AND Result='{R}'";
        QTest::newRow("01100") << "01100" << r + " AND Team='{G}' AND Instr(Title,'{T}')>0";
        QTest::newRow("01101") << "01101"
                               << r + " AND Team='{G}' AND Instr(Title,'{T}')>0 AND Result ='{R}'";
        QTest::newRow("10000") << "10000" << r + " AND IP='{I}'";
        QTest::newRow("10001") << "10001" << r + " AND IP='{I}' AND Result='{R}'";
        QTest::newRow("10010") << "10010" << r + " AND IP='{I}' AND Class='{C}'";
        QTest::newRow("10011") << "10011" << r + " AND IP='{I}' AND Class='{C}' AND Result='{R}'";
        QTest::newRow("10100") << "10100" << r + " AND IP='{I}' AND Instr(Title,'{T}')>0";
        QTest::newRow("10101") << "10101"
                               << r + " AND IP='{I}' AND Instr(Title,'{T}')>0 AND Result ='{R}'";
    }

    // Each code has its one shape; the count, the list and the print query share it.
    void browseLogShapes()
    {
        QFETCH(QString, code);
        QFETCH(QString, shape);
        LogQueryState s = hostile(code);
        const QString where = expand(shape);
        QCOMPARE(logCondition(s).value_or("<none>"), where);
        QCOMPARE(logCountSql(s).value_or("<none>"), "SELECT count(*) FROM logtable WHERE " + where);
        QCOMPARE(终端日志条件(s).value_or("<none>"),
                 "SELECT * FROM logtable WHERE " + where + " ORDER BY AcTime DESC");
        QVERIFY(显示_终端日志条件(s));
        QCOMPARE(s.LogQuerySql, "SELECT * FROM logtable WHERE " + where);
        QVERIFY(!uploadCondition(s) || code == "00000" || code == "00100" || code == "10000" ||
                code == "10100");
    }

    void uploadLogShapes_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("shape");
        const QString r = "AcTime>='{S}' AND AcTime<='{E}'";
        QTest::newRow("00000") << "00000" << r;
        QTest::newRow("00100") << "00100" << r + " AND Instr(UpSendTxt,'{T}')>0";
        QTest::newRow("10000") << "10000" << r + " AND IP='{I}'";
        QTest::newRow("10100") << "10100" << r + " AND IP='{I}' AND Instr(UpSendTxt,'{T}')>0";
    }

    // The keyword searches the uploaded content, never a title.
    void uploadLogShapes()
    {
        QFETCH(QString, code);
        QFETCH(QString, shape);
        LogQueryState s = hostile(code);
        QCOMPARE(uploadCondition(s).value_or("<none>"), expand(shape));
        QVERIFY(显示_上传日志条件(s));
        QCOMPARE(s.LogQuerySql, "SELECT * FROM upsendtable WHERE " + expand(shape));
        QVERIFY(!s.LogQuerySql.contains("Title"));
    }

    void codesOutsideTheTables_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<bool>("upload");
        for (const char* c : {"", "0000", "000000", "11000", "00110", "1111 ", "0000a"})
            QTest::newRow(*c ? c : "empty") << QString(c) << false;
        for (const char* c : {"01000", "00001", "00010", "10101"})
            QTest::newRow((QByteArray("upload ") + c).constData()) << QString(c) << true;
    }

    // A code no dialog produces selects nothing and leaves the last statement in place.
    void codesOutsideTheTables()
    {
        QFETCH(QString, code);
        QFETCH(bool, upload);
        LogQueryState s = hostile(code);
        s.LogQuerySql = "SELECT * FROM logtable WHERE AcTime>='x'";
        if (upload) {
            QVERIFY(!uploadCondition(s));
            QVERIFY(!显示_上传日志条件(s));
        } else {
            QVERIFY(!logCondition(s));
            QVERIFY(!logCountSql(s));
            QVERIFY(!终端日志条件(s));
            QVERIFY(!显示_终端日志条件(s));
        }
        QCOMPARE(s.LogQuerySql, "SELECT * FROM logtable WHERE AcTime>='x'");
    }

    void valuesReachTheServerAsTyped_data()
    {
        QTest::addColumn<QString>("title");
        QTest::newRow("quote") << "'";
        QTest::newRow("backslash at the end") << "abc\\";
        QTest::newRow("backslash before quote") << "\\'";
        QTest::newRow("wildcards") << "100%_done";
        QTest::newRow("comment and semicolon") << "x'); DROP TABLE logtable; -- ";
        QTest::newRow("200 characters") << QString("a'\\%_中").repeated(40);
    }

    // Read back as the server reads a literal, every quoted value is the value typed.
    void valuesReachTheServerAsTyped()
    {
        QFETCH(QString, title);
        LogQueryState s = hostile("10101");
        s.CondTitle = title;
        s.CondTermIP = title;
        s.CondResult = title;
        const QString where = logCondition(s).value();
        const qsizetype ip = where.indexOf("IP='") + 3;
        const qsizetype instr = where.indexOf("Instr(Title,'") + 12;
        const qsizetype result = where.indexOf("Result ='") + 8;
        QCOMPARE(literalAt(where, ip), title);
        QCOMPARE(literalAt(where, instr), title);
        QCOMPARE(literalAt(where, result), title);
        // Nothing follows the last value but its closing quote.
        QVERIFY(where.endsWith('\''));
        QCOMPARE(where.size(), result + 1 + db::sqlEscape(title).size() + 1);
    }

    // After a terminal query, a group query ignores the terminal still stored (and vice versa).
    void staleValuesAreIgnored()
    {
        LogQueryState s = hostile("10100");
        s.CondCode = "01010";
        const QString where = logCondition(s).value();
        QVERIFY(!where.contains("IP="));
        QVERIFY(!where.contains("Instr"));
        s.CondCode = "00001";
        QVERIFY(!logCondition(s).value().contains("Team"));
    }

    void defaultRangeIsTodayToTomorrow_data()
    {
        QTest::addColumn<QDateTime>("now");
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("end");
        QTest::newRow("afternoon")
            << QDateTime(QDate(2026, 12, 7), QTime(15, 4, 5)) << "26-12-07 00:00:00"
            << "26-12-08 00:00:00";
        QTest::newRow("last second of a month")
            << QDateTime(QDate(2024, 2, 29), QTime(23, 59, 59)) << "24-02-29 00:00:00"
            << "24-03-01 00:00:00";
        QTest::newRow("new year's eve")
            << QDateTime(QDate(2009, 12, 31), QTime(0, 0)) << "09-12-31 00:00:00"
            << "10-01-01 00:00:00";
    }

    void defaultRangeIsTodayToTomorrow()
    {
        QFETCH(QDateTime, now);
        QFETCH(QString, start);
        QFETCH(QString, end);
        Clock::setNow(now);
        const LogQueryState s;
        Clock::reset();
        QCOMPARE(s.CondStart, start);
        QCOMPARE(s.CondEnd, end);
        QCOMPARE(s.CondCode, "00000");
        QCOMPARE(logCondition(s).value(), "AcTime>='" + start + "' AND AcTime<='" + end + "'");
    }

    void todayOnlyRange()
    {
        QCOMPARE(todayCondition(QDate(2026, 1, 2)),
                 "AcTime>='26-01-02 00:00:00' AND AcTime<='26-01-02 23:59:59'");
    }
};

QTEST_GUILESS_MAIN(LogQueryTexts)
#include "test_logquery.moc"
