// A title search narrowed by the title dictionary lists exactly the rows of the plain statement
// and counts exactly as many: words no title holds, words of many titles, titles that differ
// only in letter case or accents, groups and results that are empty, ranges that start and end
// inside a day, a day summed only in part; and after a row arrives late, a row is deleted and a
// row's group changes, each on a summed day.

#include "common/datasources.h"
#include "common/logrows.h"
#include "common/logsummary.h"
#include "common/odbc.h"
#include "overseer/query/titlesearch.h"
#include "tests/support/logfill.h"
#include "tests/support/testsupport.h"

#include <QTest>

using namespace lt;
using namespace lt::overseer;

namespace
{

const QStringList kTitles = {"股票行情",  "股票",      "新闻首页",    "Café Menu",
                             "cafe menu", "CAFÉ menu", "体育 - 足球", "50%_off"};

// Rows over four days of June, several per second; now and then no title, group or result.
void fillDays(int rows)
{
    const auto row = [rows](int i) {
        const QString stamp = test::spreadStamp(QDate(2026, 6, 1), 4, i, rows);
        // The word "足球" only on the second day.
        QString title = kTitles[i % 7];
        if (stamp.startsWith("26-06-02") && i % 11 == 0)
            title = kTitles[6];
        const QString t = i % 13 == 0 ? "NULL" : "'" + db::sqlEscape(title) + "'";
        const QString team = i % 17 == 0 ? "NULL" : i % 2 ? "'教室A组'" : "'财务组'";
        const QString result = i % 19 == 0 ? "NULL" : i % 3 ? "'放行'" : "'阻断'";
        return QString("('PC%1','10.0.0.%1','%2',%3,%4,'www.s%5.cn','上网',%6,'100',1)")
            .arg(i % 4)
            .arg(stamp, team, t)
            .arg(i % 23)
            .arg(result);
    };
    test::sql("DELETE FROM logtable;DELETE FROM summarydays;" + test::rawLogSql(rows, row),
              "dovrik");
}

QStringList rowsOf(db::Connection& c, const QString& sql)
{
    QStringList rows;
    const bool ok = c.stream(sql, [&](const db::Row& row) {
        QStringList fields;
        for (int i = 0; i < row.fieldCount(); ++i)
            fields << (row.field(i).isNull() ? "<null>" : row.field(i).toString());
        rows << fields.join('|');
        return true;
    });
    if (!ok)
        qWarning("%s: %s", qPrintable(sql), qPrintable(c.lastError().message));
    rows.sort();
    return rows;
}

qint64 countOf(db::Connection& c, const QString& sql)
{
    const db::Recordset rs = c.query(sql);
    if (c.failed())
        qWarning("%s: %s", qPrintable(sql), qPrintable(c.lastError().message));
    return c.failed() ? -1 : rs.field(0).toLongLong();
}

} // namespace

class TitleSearch : public QObject
{
    Q_OBJECT
    test::TestInstallation install_;
    db::Connection log_;

    // Every code with a title, each word, each range: the narrowed statements against the plain
    // ones. Returns how many narrowed lists read fewer days than the plain ones.
    int compareAll(const QStringList& words)
    {
        const QList<QPair<QString, QString>> ranges = {
            {"26-06-01 00:00:00", "26-06-04 23:59:59"},
            {"26-06-01 12:00:00", "26-06-04 06:00:00"},
            {"26-06-02 00:00:00", "26-06-02 23:59:59"},
        };
        int narrowed = 0;
        for (const auto& [start, end] : ranges) {
            for (const char* code : {"00100", "00101", "01100", "01101"}) {
                for (const QString& word : words) {
                    LogQueryState s;
                    s.CondCode = code;
                    s.CondStart = start;
                    s.CondEnd = end;
                    s.CondTitle = word;
                    s.CondTeam = "教室a组"; // compared as the log compares: letter case aside
                    s.CondResult = "阻断";
                    const auto search = titleSearchStatements(log_, s);
                    const QString what = QString(code) + ' ' + word + ' ' + start + ".." + end;
                    if (!search) {
                        qWarning("no narrowed statements: %s", qPrintable(what));
                        return -1;
                    }
                    if (search->list != *logListSql(s))
                        ++narrowed;
                    const QStringList plain = rowsOf(log_, *logListSql(s));
                    if (rowsOf(log_, search->list) != plain ||
                        countOf(log_, search->count) != plain.size()) {
                        qWarning("differs: %s\n%s\n%s", qPrintable(what), qPrintable(search->list),
                                 qPrintable(search->count));
                        return -1;
                    }
                }
            }
        }
        return narrowed;
    }

    void foldAll()
    {
        const auto failure = summary::foldRange(log_, "26-06-01 00:00:00", "26-06-04 23:59:59");
        QVERIFY2(!failure, qPrintable(failure.value_or(QString())));
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(install_.useFreshDatabases(), "the private test server does not answer");
        QVERIFY(log_.open(dsn::chosenConnectionStrings().log));
    }

    void theStatementsFollowWhatTheDictionarySays()
    {
        LogQueryState s;
        s.CondCode = "00100";
        s.CondStart = "26-06-01 12:00:00";
        s.CondEnd = "26-06-03 23:59:59";
        s.CondTitle = "x'y";
        QCOMPARE(*titleDaysSql(s),
                 QString("SELECT s.Day,s.Upto,(SELECT IFNULL(SUM(t.N),0) FROM daytitles t WHERE "
                         "t.Day=s.Day AND Instr(t.Title,'x''y')>0) FROM summarydays s WHERE "
                         "s.Day>='26-06-02' AND s.Day<='26-06-03' ORDER BY s.Day"));
        // Nothing summed: the plain statements.
        auto plain = titleStatements(s, {});
        QCOMPARE(plain->list, *logListSql(s));
        // Both days summed, one holding 7 matches: the other is not read, neither is counted.
        // The second summed only up to 20:00:00: the rest of it is read and counted from the log.
        auto some = titleStatements(
            s, {{{"26-06-02", "26-06-02 23:59:59"}, {"26-06-03", "26-06-03 20:00:00"}},
                {"26-06-03"},
                7});
        QCOMPARE(some->list, *logListSql(s) +
                                 " AND ((AcTime>='26-06-01 12:00:00' AND AcTime<'26-06-02 "
                                 "00:00:00') OR (AcTime>'26-06-02 23:59:59' AND "
                                 "AcTime<='26-06-03 23:59:59'))");
        QVERIFY(some->count.startsWith("SELECT count(*)+7 FROM logtable IGNORE INDEX"));
        QVERIFY(some->count.endsWith(" AND ((AcTime>='26-06-01 12:00:00' AND AcTime<'26-06-02 "
                                     "00:00:00') OR (AcTime>'26-06-02 23:59:59' AND "
                                     "AcTime<'26-06-03 00:00:00') OR (AcTime>'26-06-03 20:00:00' "
                                     "AND AcTime<='26-06-03 23:59:59'))"));
        // A terminal's search, and codes without a title, are left to the plain statements.
        s.CondCode = "10100";
        QVERIFY(!titleDaysSql(s));
        s.CondCode = "01000";
        QVERIFY(!titleStatements(s, {}));
    }

    void narrowedSearchesGiveThePlainRows()
    {
        fillDays(6000);
        const QStringList words = {"不存在的词", "股票", "足球", "café", "CAFE", "%_", "é"};
        // Nothing summed yet: narrowing nothing, still exact.
        QCOMPARE(compareAll(words), 0);
        foldAll();
        const int narrowed = compareAll(words);
        QVERIFY(narrowed > 0);

        // A late row with the rare word on a summed day, a matching row deleted from another,
        // a row of a third day moved to the searched group.
        test::sql(
            "INSERT INTO logtable(" + logrows::kLogColumns +
                ") VALUES('PC9','10.0.0.9','26-06-03 10:00:00','教室A组',"
                "'足球直播','www.late.cn','上网','阻断','1',1);"
                "DELETE FROM logtable WHERE Title='体育 - 足球' AND AcTime<'26-06-02 06:00:00' "
                "AND AcTime>='26-06-02 00:00:00' LIMIT 1;"
                "UPDATE logtable SET Team='教室A组' WHERE Team='财务组' AND Title='股票' AND "
                "AcTime>='26-06-04 00:00:00' LIMIT 1",
            "dovrik");
        QVERIFY(compareAll(words) >= 0);
        foldAll();
        QVERIFY(compareAll(words) > 0);
        // The late word is found on its day, which held none before.
        LogQueryState s;
        s.CondCode = "00100";
        s.CondStart = "26-06-03 00:00:00";
        s.CondEnd = "26-06-03 23:59:59";
        s.CondTitle = "足球直播";
        QCOMPARE(countOf(log_, titleSearchStatements(log_, s)->count), qint64(1));
    }
};

QTEST_GUILESS_MAIN(TitleSearch)
#include "test_titlesearch.moc"
