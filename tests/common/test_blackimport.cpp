// The black list import against the private server: a failed record costs only itself on a
// transactional table and on one whose rollback undoes nothing (MyISAM), values arrive as the
// export wrote them, the export of the master list leaves out and names what the file cannot
// carry, and the provisioner finds BlackName.dat whatever the case of its name.

#include "common/blacklist.h"
#include "common/datasources.h"
#include "common/gbk.h"
#include "common/odbc.h"
#include "provisioner/blackexport.h"
#include "provisioner/provisioning.h"
#include "tests/provisioner/support.h"
#include "tests/support/testsupport.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

using namespace lt;
using blacklist::Record;

namespace
{

const QString kDatabase = QStringLiteral("lt_blackimport");

void createTable(const QString& engine)
{
    test::sql(QStringLiteral("DROP TABLE IF EXISTS blacktable; CREATE TABLE blacktable(Name "
                             "CHAR(150),Title CHAR(100),Class CHAR(10),S CHAR(1)) ENGINE=%1")
                  .arg(engine),
              kDatabase);
}

QString randomValue(QRandomGenerator& random, int maxLength)
{
    static const QStringList pieces = {"a",
                                       "Z",
                                       "0",
                                       ".",
                                       "-",
                                       " ",
                                       ",",
                                       "\"",
                                       "'",
                                       "\\",
                                       "%",
                                       "_",
                                       "中",
                                       "付",
                                       "€",
                                       "\t",
                                       "'; DROP TABLE x; --",
                                       "在线付款",
                                       "\u3000",
                                       "Ä"};
    QString value;
    const int n = int(random.bounded(8));
    for (int i = 0; i < n; ++i)
        value += pieces[int(random.bounded(pieces.size()))];
    return value.left(maxLength);
}

QString hexRow(const QString& name, const QString& title, const QString& className)
{
    const auto hex = [](const QString& v) { return QString::fromLatin1(v.toUtf8().toHex()); };
    return hex(name) + u'\t' + hex(title) + u'\t' + hex(className);
}

} // namespace

class BlackImport : public QObject
{
    Q_OBJECT
    test::TestInstallation install_;
    QTemporaryDir dir_;
    db::Connection config_;
    QString file() const { return dir_.filePath("BlackName.dat"); }

private slots:
    void initTestCase()
    {
        QVERIFY2(install_.useFreshDatabases(), "the private test server does not answer");
        test::sql("DROP DATABASE IF EXISTS " + kDatabase + "; CREATE DATABASE " + kDatabase);
        QVERIFY(config_.open(dsn::chosenConnectionStrings().config));
        QVERIFY(config_.execute("USE " + kDatabase));
    }

    void cleanupTestCase()
    {
        config_.close();
        test::sql("DROP DATABASE IF EXISTS " + kDatabase);
    }

    void goodRecordsExactlyOnce_data()
    {
        QTest::addColumn<QString>("engine");
        QTest::newRow("InnoDB") << "InnoDB";
        QTest::newRow("MyISAM, no rollback") << "MyISAM";
    }

    void goodRecordsExactlyOnce()
    {
        QFETCH(QString, engine);
        createTable(engine);
        const QList<int> bad = {10, 300, 301, 599};
        QByteArray bytes = " 600 \r\n";
        for (int i = 0; i < 600; ++i) {
            const QByteArray domain =
                bad.contains(i) ? QByteArray(200, 'd') : "r" + QByteArray::number(i);
            bytes += domain + "\r\n" + gbk::encode(u"标题\r\n其它\r\n");
        }
        test::writeFile(file(), bytes);
        int lastDone = 0;
        const blacklist::ImportResult r =
            blacklist::import(config_, file(), [&](int done, int) { lastDone = done; });
        QCOMPARE(r.inserted, 596);
        QCOMPARE(r.failures.size(), 4);
        for (const QString& failure : r.failures)
            QVERIFY(failure.startsWith("INSERT INTO blacktable VALUES('ddd"));
        QCOMPARE(lastDone, 600);
        QCOMPARE(test::sql("SELECT COUNT(*), COUNT(DISTINCT Name), MAX(LENGTH(Name)) FROM "
                           "blacktable",
                           kDatabase),
                 QStringLiteral("596\t596\t4\n"));
    }

    void valuesArriveAsWritten()
    {
        createTable("InnoDB");
        QRandomGenerator random(20261207);
        std::vector<Record> records;
        for (int i = 0; i < 500; ++i)
            records.push_back(
                {randomValue(random, 150), randomValue(random, 100), randomValue(random, 10)});
        QStringList refused;
        QVERIFY(blacklist::write(file(), records, &refused));
        const blacklist::ImportResult r = blacklist::import(config_, file());
        QCOMPARE(r.failures, QStringList());
        QCOMPARE(r.inserted, int(records.size()) - int(refused.size()));
        QVERIFY(!refused.isEmpty()); // the generator does make values the file cannot carry

        QStringList expected;
        const blacklist::Contents written = blacklist::read(file()).value();
        for (const Record& rec : written.records)
            expected << hexRow(rec.domain.trimmed(), rec.title.trimmed(), rec.className.trimmed());
        QCOMPARE(int(expected.size()), r.inserted);
        QStringList stored =
            test::sql("SELECT HEX(Name), HEX(Title), HEX(Class) FROM blacktable", kDatabase)
                .toLower()
                .split(u'\n', Qt::SkipEmptyParts);
        expected.sort();
        stored.sort();
        QCOMPARE(stored, expected);
    }

    void valuesHoldingNulNeverReachTheServer()
    {
        createTable("InnoDB");
        test::writeFile(file(), QByteArray(" 2 \r\na.example\r\nt") + '\0' +
                                    "x\r\nc\r\nb.example\r\nt\r\nc\r\n");
        const blacklist::ImportResult r = blacklist::import(config_, file());
        QCOMPARE(r.inserted, 1);
        QCOMPARE(r.failures, QStringList{"BlackName.dat 第1条记录（第2行，域名“a.example”）："
                                         "含有NUL字符，未导入"});
        QCOMPARE(test::sql("SELECT Name FROM blacktable", kDatabase),
                 QStringLiteral("b.example\n"));
    }

    void exportRefusesWhatTheFileCannotCarry()
    {
        test::setUpMasterList({});
        test::sql("INSERT INTO 黑名单 VALUES ('a.example','line\\none','其它'),"
                  "('b.example','\"q\" first','其它'),('c.example','he said \"x\", ok','其它'),"
                  "('d.example','甲, 乙','色情'),('e.example','O''Brien \"x\"','游戏')",
                  "lt_master");
        db::Connection master;
        const prov::ExportResult e = prov::exportMasterBlackList(master, file());
        test::dropMasterList();
        QVERIFY(e.read && e.written);
        QCOMPARE(e.records, 5);
        QCOMPARE(e.recordsWritten, 2);
        QCOMPARE(e.refused, (QStringList{"第1条记录（域名“a.example”）：标题含有换行符，未写入",
                                         "第2条记录（域名“b.example”）：标题以双引号开头，未写入",
                                         "第3条记录（域名“c.example”）：标题同时含有逗号和双引号，"
                                         "未写入"}));
        QVERIFY(prov::refusedMessage(e.refused).startsWith(prov::kExportRefused.arg(3) + u'\n'));

        createTable("InnoDB");
        const blacklist::ImportResult r = blacklist::import(config_, file());
        QCOMPARE(r.failures, QStringList());
        QCOMPARE(test::sql("SELECT Name, Title, Class FROM blacktable ORDER BY Name", kDatabase),
                 QStringLiteral("d.example\t甲, 乙\t色情\ne.example\tO'Brien \"x\"\t游戏\n"));
    }

    void fileFoundWhateverTheCase()
    {
        const QString delivered = install_.appDir() + "/BlackName.dat";
        const QString lower = install_.appDir() + "/blackname.dat";
        QVERIFY(QFile::rename(delivered, lower));
        const bool present = prov::blackNameFilePresent();
        const QString found = prov::blackNameFilePath();
        QVERIFY(QFile::rename(lower, delivered));
        QVERIFY(present);
        QCOMPARE(found, lower);
    }
};

QTEST_GUILESS_MAIN(BlackImport)
#include "test_blackimport.moc"
