// Text through the database layer on the shared test server, in a scratch database of this
// test: every CJK character of GBK read back exactly as stored (value by value and in blocks of
// bound buffers), long values, statements holding NUL never sent, rows read one by one and large
// tables read in chunks with ties.

#include "common/dbstream.h"
#include "common/gbk.h"
#include "common/installation.h"
#include "common/odbc.h"
#include "tests/support/privateserver.h"
#include "tests/support/testsupport.h"

#include <QRegularExpression>
#include <QTest>
#include <algorithm>

using namespace lt;

namespace
{

const QString kDatabase = QStringLiteral("lt_dbtext");
const QString kSource = QStringLiteral("DSN=LtText;uid=;pwd=;");

// Every character that a valid GBK double-byte code decodes to and that is a CJK unified
// ideograph.
QString gbkIdeographs()
{
    QString out;
    for (int lead = 0x81; lead <= 0xFE; ++lead)
        for (int trail = 0x40; trail <= 0xFE; ++trail) {
            if (trail == 0x7F)
                continue;
            const char bytes[2] = {char(lead), char(trail)};
            const QString c = gbk::decode(QByteArrayView(bytes, 2));
            if (c.size() != 1)
                continue;
            const char16_t u = c.at(0).unicode();
            if ((u >= 0x4E00 && u <= 0x9FFF) || (u >= 0x3400 && u <= 0x4DBF))
                out += c;
        }
    return out;
}

// Stores the values in table t (id, v) in order, several rows per statement.
bool store(db::Connection& c, const QStringList& values)
{
    if (!c.execute(QStringLiteral("DELETE FROM t")))
        return false;
    for (qsizetype first = 0; first < values.size(); first += 500) {
        QStringList rows;
        for (qsizetype i = first; i < std::min(values.size(), first + 500); ++i)
            rows << QStringLiteral("(%1,'%2')").arg(i).arg(db::sqlEscape(values.at(i)));
        if (!c.execute(QStringLiteral("INSERT INTO t VALUES ") + rows.join(u',')))
            return false;
    }
    return true;
}

// The values of table t, in order, as the layer reads them: into a recordset (value by value)
// and in blocks of bound buffers, which must agree.
QStringList readBack(db::Connection& c)
{
    const QString sql = QStringLiteral("SELECT v FROM t ORDER BY id");
    QStringList out;
    db::Recordset rs = c.query(sql);
    for (; !rs.eof(); rs.moveNext())
        out << rs.field(0).toString();
    QStringList blocks;
    qint64 rows = 0;
    int blockCount = 0;
    const bool ok = c.streamBlocks(
        sql,
        [&](const db::RowBlock& block) {
            ++blockCount;
            for (int r = 0; r < block.rowCount(); ++r)
                blocks << QString::fromUtf8(block.utf8(r, 0));
            return true;
        },
        &rows);
    if (!ok || rows != out.size() || blocks != out || (out.size() > 1100 && blockCount < 2))
        return {QStringLiteral("the blocks read %1 rows in %2 blocks, not as the recordset")
                    .arg(rows)
                    .arg(blockCount)};
    return out;
}

} // namespace

class DbText : public QObject
{
    Q_OBJECT
    test::TestInstallation install_;
    db::Connection c_;

private slots:
    void initTestCase();
    void cleanupTestCase();
    void everyGbkIdeographReadBackWhole();
    void longValuesAcrossTheBuffer();
    void blocksStopAndKeepNulls();
    void statementWithNulNeverSent();
    void selectedDatabase();
    void rowsOneByOne();
    void chunksWithTiesAtEveryBoundary();
    void chunksStopAndFail();
};

void DbText::initTestCase()
{
    QVERIFY2(test::serverAvailable(), "the private test server does not answer");
    test::sql(QStringLiteral("DROP DATABASE IF EXISTS %1; CREATE DATABASE %1 CHARACTER SET "
                             "utf8mb4; CREATE TABLE %1.t (id INT PRIMARY KEY, v LONGTEXT);"
                             "CREATE TABLE %1.log (Name CHAR(16), AcTime CHAR(17), n INT);"
                             "GRANT ALL ON %1.* TO '%2'@'localhost';")
                  .arg(kDatabase, qEnvironmentVariable("USER", QStringLiteral("root"))));
    test::SourceSettings source;
    source.database = kDatabase;
    source.socket = Installation::server().socket;
    source.port = Installation::server().port;
    test::registerSource(QStringLiteral("LtText"), source);
    QVERIFY2(c_.open(kSource), qPrintable(c_.lastError().message));
}

void DbText::cleanupTestCase()
{
    c_.close();
    test::sql(QStringLiteral("DROP DATABASE IF EXISTS %1").arg(kDatabase));
}

void DbText::everyGbkIdeographReadBackWhole()
{
    const QString all = gbkIdeographs();
    QVERIFY2(all.size() > 20000, qPrintable(QString::number(all.size())));
    // Each character alone and before ASCII (the driver's wide length came back short for
    // some, e.g. '付abc' as '付ab'), then the two texts of the fault report.
    QStringList values;
    for (QChar ch : all)
        values << QString(ch) + QStringLiteral("abc");
    values << QStringLiteral("在线付款") << QStringLiteral("付abc") << QStringLiteral("付付付abc");
    QVERIFY2(store(c_, values), qPrintable(c_.lastError().message));
    const QStringList back = readBack(c_);
    QCOMPARE(back.size(), values.size());
    QStringList wrong;
    for (qsizetype i = 0; i < values.size(); ++i)
        if (back.at(i) != values.at(i))
            wrong << values.at(i) + QStringLiteral(" -> ") + back.at(i);
    QVERIFY2(wrong.isEmpty(), qPrintable(QStringLiteral("%1 read back wrong, e.g. %2")
                                             .arg(wrong.size())
                                             .arg(wrong.mid(0, 5).join(QStringLiteral(", ")))));
    // The server holds the same text (what other clients see).
    QCOMPARE(
        test::sql(QStringLiteral("SELECT v FROM t WHERE id=%1").arg(values.size() - 3), kDatabase),
        QStringLiteral("在线付款\n"));
}

void DbText::longValuesAcrossTheBuffer()
{
    // The driver hands text over in pieces; a piece may end inside a character.
    const QString all = gbkIdeographs();
    QStringList values;
    for (const int ascii : {0, 1, 2, 8190, 8191, 8192, 8193})
        values << QString(ascii, u'x') + all.left(3000);
    values << all << all + QStringLiteral("😀end") << QString(70000, u'y');
    values << QString();
    QVERIFY2(store(c_, values), qPrintable(c_.lastError().message));
    const QStringList back = readBack(c_);
    QCOMPARE(back.size(), values.size());
    for (qsizetype i = 0; i < values.size(); ++i) {
        QCOMPARE(back.at(i).size(), values.at(i).size());
        QVERIFY2(back.at(i) == values.at(i), qPrintable(QString::number(i)));
    }
    // NULL stays NULL, an empty text stays a text.
    QVERIFY(c_.execute(QStringLiteral("INSERT INTO t VALUES (-1, NULL)")));
    db::Recordset rs = c_.query(QStringLiteral("SELECT v, v IS NULL FROM t WHERE id IN (-1, %1) "
                                               "ORDER BY id")
                                    .arg(values.size() - 1));
    QVERIFY(rs.field(0).isNull());
    rs.moveNext();
    QVERIFY(!rs.field(0).isNull());
    QCOMPARE(rs.field(0).toString(), QString());
}

void DbText::blocksStopAndKeepNulls()
{
    // Rows with a NULL, a text longer than any bound buffer, a short text, in turn.
    QVERIFY(c_.execute(QStringLiteral("DELETE FROM t")));
    QStringList rows;
    for (int i = 0; i < 3000; ++i)
        rows << (i % 3 == 0 ? QStringLiteral("(%1,NULL)").arg(i)
                            : QStringLiteral("(%1,'%2')")
                                  .arg(i)
                                  .arg(QString(i % 3 == 1 ? 9000 : 3, QChar(u'a' + i % 26))));
    QVERIFY(c_.execute(QStringLiteral("INSERT INTO t VALUES ") + rows.join(u',')));
    const auto rowIsRight = [](const db::RowBlock& block, int r, int textLength) {
        const int id = block.value(r, 0).toInt();
        const QByteArrayView v = block.utf8(r, 1);
        const int length = id % 3 == 0 ? 0 : id % 3 == 1 ? textLength : 3;
        return block.isNull(r, 1) == (id % 3 == 0) && v.size() == length &&
               v.toByteArray().count(char('a' + id % 26)) == length && !block.isNull(r, 2) &&
               block.value(r, 2).toString() == QStringLiteral("x%1").arg(id);
    };
    // Columns of known width come many rows a block; the handler stops after the first.
    int blocks = 0;
    int checked = 0;
    qint64 read = 0;
    QVERIFY(c_.streamBlocks(
        QStringLiteral("SELECT id, LEFT(v, 5), CONCAT('x', id) FROM t ORDER BY id"),
        [&](const db::RowBlock& block) {
            ++blocks;
            for (int r = 0; r < block.rowCount(); ++r)
                checked += block.value(r, 0).toInt() == checked && rowIsRight(block, r, 5);
            return false;
        },
        &read));
    QCOMPARE(blocks, 1);
    QVERIFY2(read > 1 && read < 3000, qPrintable(QString::number(read)));
    QCOMPARE(qint64(checked), read);
    // A LONGTEXT between them: every value whole, the NULLs NULL.
    checked = 0;
    QVERIFY(c_.streamBlocks(
        QStringLiteral("SELECT id, v, CONCAT('x', id) FROM t ORDER BY id"),
        [&](const db::RowBlock& block) {
            for (int r = 0; r < block.rowCount(); ++r)
                checked += block.value(r, 0).toInt() == checked && rowIsRight(block, r, 9000);
            return true;
        },
        &read));
    QCOMPARE(read, 3000);
    QCOMPARE(checked, 3000);
    // A failing statement reports its error.
    QVERIFY(!c_.streamBlocks(QStringLiteral("SELECT * FROM no_such_table"),
                             [](const db::RowBlock&) { return true; }));
    QCOMPARE(c_.lastError().sqlState, QStringLiteral("42S02"));
}

void DbText::statementWithNulNeverSent()
{
    QVERIFY(c_.execute(QStringLiteral("DELETE FROM t")));
    const auto questions = [&] {
        return c_.query(QStringLiteral("SHOW SESSION STATUS LIKE 'Questions'")).field(1).toInt();
    };
    QStringList failed;
    const int id = db::addStatementObserver([&](const db::StatementEvent& e) {
        if (!e.ok)
            failed << e.text;
    });
    const int before = questions();
    const QString value = QStringLiteral("a.example") + QChar(0) + QString(67000, u'z');
    const QString insert =
        QStringLiteral("INSERT INTO t VALUES (1,'") + db::sqlEscape(value) + QStringLiteral("')");
    QVERIFY(!c_.execute(insert));
    QCOMPARE(c_.lastError().sqlState, db::kStateNulInStatement);
    QVERIFY2(c_.lastError().message.contains(QStringLiteral("position 35")),
             qPrintable(c_.lastError().message));
    QVERIFY(!c_.query(QStringLiteral("SELECT '") + QChar(0) + QStringLiteral("'")).isOpen());
    QCOMPARE(c_.lastError().sqlState, db::kStateNulInStatement);
    db::removeStatementObserver(id);
    // Only the first status query reached the server in between, and nothing was stored.
    QCOMPARE(questions() - before, 1);
    QCOMPARE(failed.size(), 2);
    QCOMPARE(test::sql(QStringLiteral("SELECT COUNT(*) FROM t"), kDatabase), QStringLiteral("0\n"));
    // The connection goes on working.
    QVERIFY(c_.execute(QStringLiteral("INSERT INTO t VALUES (1,'ok')")));
}

void DbText::selectedDatabase()
{
    // The name is handed over terminated: the driver reads its length as characters.
    db::Connection c;
    QVERIFY(c.open(QStringLiteral("DSN=LtText;uid=;pwd=;DATABASE=;")));
    QVERIFY2(c.selectDatabase(kDatabase), qPrintable(c.lastError().message));
    QCOMPARE(c.query(QStringLiteral("SELECT DATABASE()")).field(0).toString(), kDatabase);
    QVERIFY(!c.selectDatabase(QStringLiteral("lt_no_such_database")));
    QCOMPARE(c.lastError().native, 1049);
    QCOMPARE(c.query(QStringLiteral("SELECT DATABASE()")).field(0).toString(), kDatabase);
}

void DbText::rowsOneByOne()
{
    QVERIFY(store(c_, {QStringLiteral("一"), QStringLiteral("二"), QStringLiteral("三")}));
    QStringList seen;
    qint64 rows = 0;
    QVERIFY(c_.stream(
        QStringLiteral("SELECT id, v AS 值, NULL AS n FROM t ORDER BY id"),
        [&](const db::Row& row) {
            seen << row.field(QStringLiteral("ID")).toString() +
                        row.field(QStringLiteral("值")).toString() +
                        (row.field(2).isNull() ? QStringLiteral("-") : QStringLiteral("?"));
            return true;
        },
        &rows));
    QCOMPARE(seen, (QStringList{"0一-", "1二-", "2三-"}));
    QCOMPARE(rows, 3);
    // The handler stops the reading; that is no failure.
    seen.clear();
    QVERIFY(c_.stream(QStringLiteral("SELECT v FROM t ORDER BY id"), [&](const db::Row& row) {
        seen << row.field(0).toString();
        return seen.size() < 2;
    }));
    QCOMPARE(seen, (QStringList{"一", "二"}));
    QVERIFY(!c_.stream(QStringLiteral("SELECT * FROM no_such_table"),
                       [](const db::Row&) { return true; }));
    QCOMPARE(c_.lastError().sqlState, QStringLiteral("42S02"));
    QVERIFY(
        c_.stream(QStringLiteral("DELETE FROM t WHERE id<0"), [](const db::Row&) { return true; }));
}

void DbText::chunksWithTiesAtEveryBoundary()
{
    // 1300 rows: groups of one second of 1 to 7 rows (ties straddle most boundaries), a run of
    // 260 rows of one second (longer than two chunks), rows alike in every column, NULL times.
    QStringList rows;
    int n = 0;
    for (int second = 0; n < 1300; ++second) {
        const int ties = second == 40 ? 260 : 1 + second % 7;
        for (int k = 0; k < ties && n < 1300; ++k, ++n) {
            const QString time = second % 50 == 49
                                     ? QStringLiteral("NULL")
                                     : QStringLiteral("'26-12-07 %1:%2:%3'")
                                           .arg(second / 3600, 2, 10, QLatin1Char('0'))
                                           .arg(second / 60 % 60, 2, 10, QLatin1Char('0'))
                                           .arg(second % 60, 2, 10, QLatin1Char('0'));
            const bool alike = second % 5 == 0 && k < 2;
            rows << QStringLiteral("('%1',%2,%3)")
                        .arg(alike ? QStringLiteral("twin") : QStringLiteral("r%1").arg(n))
                        .arg(time)
                        .arg(alike ? -1 : n);
        }
    }
    QVERIFY(c_.execute(QStringLiteral("DELETE FROM log")));
    QVERIFY(c_.execute(QStringLiteral("INSERT INTO log VALUES ") + rows.join(u',')));
    const auto all = [&](const QString& order) {
        QStringList out;
        c_.stream(QStringLiteral("SELECT Name,AcTime,n FROM log ") + order, [&](const db::Row& r) {
            out << r.field(0).toString() + u'|' + r.field(1).toString() + u'|' +
                       r.field(2).toString();
            return true;
        });
        return out;
    };
    QStringList expected = all({});
    expected.sort();
    QCOMPARE(expected.size(), 1300);

    for (const bool descending : {false, true})
        for (const int size : {100, 7, 500, 1300, 5000}) {
            db::ChunkedRead read;
            read.columns = QStringLiteral("Name,AcTime,n");
            read.table = QStringLiteral("log");
            read.chunkRows = size;
            read.descending = descending;
            QStringList got;
            QString previous;
            bool ordered = true;
            int largest = 0;
            const int id = db::addStatementObserver([&](const db::StatementEvent& e) {
                const auto m = QRegularExpression(QStringLiteral("LIMIT (\\d+)$")).match(e.text);
                largest = std::max(largest, m.captured(1).toInt());
            });
            const db::ChunkOutcome outcome = db::readInChunks(c_, read, [&](const db::Row& r) {
                const QString time = r.field(QStringLiteral("actime")).toString();
                if (!r.field(1).isNull() && !previous.isEmpty())
                    ordered = ordered && (descending ? time <= previous : time >= previous);
                if (!r.field(1).isNull())
                    previous = time;
                got << r.field(0).toString() + u'|' + time + u'|' + r.field(2).toString();
                return true;
            });
            db::removeStatementObserver(id);
            QVERIFY2(outcome.ok, qPrintable(outcome.error.message));
            QCOMPARE(outcome.rows, 1300);
            QVERIFY(ordered);
            // Each chunk reads at most its size plus the ties of its starting second.
            QVERIFY2(largest <= size + 260, qPrintable(QString::number(largest)));
            QVERIFY(outcome.chunks >= 1300 / (size + 260));
            got.sort();
            QCOMPARE(got, expected); // every row exactly once, the twins twice
        }

    // A condition narrows every chunk.
    db::ChunkedRead read;
    read.columns = QStringLiteral("Name,AcTime,n");
    read.table = QStringLiteral("log");
    read.condition = QStringLiteral("Name='twin' OR n<10");
    read.chunkRows = 3;
    QStringList got;
    QVERIFY(db::readInChunks(c_, read, [&](const db::Row& r) {
                got << r.field(0).toString();
                return true;
            }).ok);
    QCOMPARE(got.size(), all(QStringLiteral("WHERE Name='twin' OR n<10")).size());
}

void DbText::chunksStopAndFail()
{
    QStringList rows;
    for (int i = 0; i < 1000; ++i)
        rows << QStringLiteral("('s%1','26-12-07 10:%2:00',%1)")
                    .arg(i)
                    .arg(i % 60, 2, 10, QLatin1Char('0'));
    QVERIFY(c_.execute(QStringLiteral("DELETE FROM log")));
    QVERIFY(c_.execute(QStringLiteral("INSERT INTO log VALUES ") + rows.join(u',')));
    db::ChunkedRead read;
    read.columns = QStringLiteral("Name,AcTime");
    read.table = QStringLiteral("log");
    read.chunkRows = 100;
    int asked = 0;
    qint64 handed = 0;
    const db::ChunkOutcome cancelled = db::readInChunks(
        c_, read,
        [&](const db::Row&) {
            ++handed;
            return true;
        },
        [&] { return ++asked > 3; });
    QVERIFY(cancelled.ok && cancelled.cancelled);
    QCOMPARE(cancelled.chunks, 3);
    QCOMPARE(cancelled.rows, handed);
    // The handler stops it in the middle of a chunk.
    const db::ChunkOutcome stopped =
        db::readInChunks(c_, read, [&](const db::Row&) { return false; });
    QVERIFY(stopped.ok && stopped.cancelled);
    QCOMPARE(stopped.rows, 1);
    // A key that is not read, a table that does not exist.
    read.columns = QStringLiteral("Name");
    const db::ChunkOutcome noKey = db::readInChunks(c_, read, [](const db::Row&) { return true; });
    QVERIFY(!noKey.ok);
    QCOMPARE(noKey.error.sqlState, QStringLiteral("42S22"));
    read.columns = QStringLiteral("*");
    read.table = QStringLiteral("no_such_table");
    const db::ChunkOutcome failed = db::readInChunks(c_, read, [](const db::Row&) { return true; });
    QVERIFY(!failed.ok && !failed.cancelled);
    QCOMPARE(failed.error.sqlState, QStringLiteral("42S02"));
}

QTEST_GUILESS_MAIN(DbText)
#include "test_dbtext.moc"
