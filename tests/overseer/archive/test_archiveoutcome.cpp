// What the restores and the date-range deletion say when the server stops answering, on a
// server of the test's own that is frozen (SIGSTOP) at a chosen statement: frozen before the
// commit, the database is known to be unchanged and the message says so; frozen while the
// commit is on its way, nobody can know, and the message says that instead of "数据库未改变".

#include "common/gbk.h"
#include "common/odbc.h"
#include "common/schema.h"
#include "overseer/archive/archivejobs.h"
#include "tests/support/logfill.h"
#include "tests/support/privateserver.h"
#include "tests/support/testsupport.h"

#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

using namespace lt;
using namespace lt::overseer::archive;

namespace
{

const QString kLogSource = QStringLiteral("DSN=LtFrozenLog;uid=;pwd=;");
const QString kConfigSource = QStringLiteral("DSN=LtFrozenConfig;uid=;pwd=;");

QString mask(char c)
{
    return QString(24, QChar::fromLatin1(c));
}

} // namespace

class ArchiveOutcome : public QObject
{
    Q_OBJECT
    test::TestInstallation install_;
    std::unique_ptr<test::PrivateServer> server_;
    QTemporaryDir dir_;
    int observer_ = -1;
    QString freezeAt_; // the server is frozen once a statement starting with this has run

    QString path(const QString& name) const { return dir_.filePath(name); }

    // A connection that gives up on a frozen server after a few seconds.
    void openShort(db::Connection& c, const QString& source)
    {
        QVERIFY(c.setTimeouts({3, 3}));
        QVERIFY2(c.open(source), qPrintable(c.lastError().message));
    }

    // Waits until the server has ended the connection of id (after the thaw it learns that the
    // client gave up, and rolls back what was not committed).
    bool connectionGone(const QString& id)
    {
        return test::waitFor(
            [&] {
                return server_
                           ->sql("SELECT count(*) FROM information_schema.PROCESSLIST WHERE ID=" +
                                 id)
                           .trimmed() == "0";
            },
            20000);
    }

    QString users() const
    {
        return server_->sql("SELECT * FROM usertable ORDER BY Name", "ipdata");
    }

    void writeConfigFile(const QString& file)
    {
        QString text = kFileHeader + "\r\n 2 \r\n";
        for (const char* v : {"新1", "10.1.0.1", "新组", "新2", "10.1.0.2", "新组"})
            text += configValueLine(v);
        text += " 1 \r\n" + configValueLine("新组") + "0\r\n1\r\n";
        for (int i = 0; i < 12; ++i)
            text += mask('1') + "\r\n";
        test::writeFile(file, gbk::encodeGb18030(text));
    }

private slots:
    void initTestCase()
    {
        server_ = std::make_unique<test::PrivateServer>();
        test::registerSource("LtFrozenLog", server_->source("dovrik"));
        test::registerSource("LtFrozenConfig", server_->source("ipdata"));
        db::Connection log, config;
        QVERIFY(schema::openForInitialisation(log, kLogSource));
        schema::runSteps(log, schema::localSteps());
        QVERIFY(schema::openForInitialisation(config, kConfigSource));
        schema::runSteps(config, schema::remoteTableSteps());
        observer_ = db::addStatementObserver([this](const db::StatementEvent& e) {
            if (!freezeAt_.isEmpty() && e.kind == db::StatementEvent::Statement &&
                e.text.startsWith(freezeAt_)) {
                freezeAt_.clear();
                server_->freeze();
            }
        });
    }

    void cleanupTestCase() { db::removeStatementObserver(observer_); }

    void init()
    {
        server_->thaw();
        server_->sql("DELETE FROM usertable; DELETE FROM grouptable;"
                     "INSERT INTO usertable VALUES('旧','10.0.0.1','旧组')",
                     "ipdata");
        server_->sql("DELETE FROM logtable; DELETE FROM upsendtable;" +
                         test::insertSql(QList<logrows::LogRow>{
                             {"pc", "1", "26-12-07 08:00:00", "g", "t", "u", "c", "r", 1}}) +
                         test::insertSql(
                             QList<logrows::UploadRow>{{"pc", "1", "u", "26-12-07 08:00:00", "x"}}),
                     "dovrik");
    }

    void cleanup()
    {
        freezeAt_.clear();
        server_->thaw();
    }

    void configRestoreFrozenBeforeTheCommit()
    {
        writeConfigFile(path("new.cfg"));
        const QString before = users();
        db::Connection c;
        openShort(c, kConfigSource);
        const QString id = c.query("SELECT CONNECTION_ID()").field(0).toString();
        freezeAt_ = "DELETE FROM grouptable";
        const RestoreOutcome out = restoreConfig(c, path("new.cfg"));
        QCOMPARE(out.status, RestoreOutcome::Failed);
        QVERIFY2(out.message.contains("数据库未改变"), qPrintable(out.message));
        server_->thaw();
        QVERIFY(connectionGone(id));
        QCOMPARE(users(), before);
    }

    void configRestoreFrozenAtTheCommit()
    {
        writeConfigFile(path("new.cfg"));
        db::Connection c;
        openShort(c, kConfigSource);
        freezeAt_ = "INSERT INTO grouptable";
        const RestoreOutcome out = restoreConfig(c, path("new.cfg"));
        QCOMPARE(out.status, RestoreOutcome::Unknown);
        QVERIFY2(out.message.contains("结果未知") && !out.message.contains("数据库未改变"),
                 qPrintable(out.message));
        QVERIFY2(out.message.contains("终端"), qPrintable(out.message)); // what to look at
        // The commit was on its way: once the server runs again it is carried out.
        server_->thaw();
        QVERIFY(test::waitFor([&] { return users().contains("新1"); }, 20000));
    }

    void logRestoreFrozenAtTheCommit()
    {
        db::Connection log;
        openShort(log, kLogSource);
        const QString file = path("log.bak");
        QCOMPARE(exportLog(log, ExportKind::LogBackup, file).status, ExportOutcome::Done);
        // The last statement before the commit forgets the statistics' sums of the days
        // restored to (whether or not the log has sums).
        freezeAt_ = "DELETE FROM summarydays";
        const RestoreOutcome out = restoreLog(log, file);
        QCOMPARE(out.status, RestoreOutcome::Unknown);
        QVERIFY2(out.message.contains("结果未知") && !out.message.contains("数据库未改变"),
                 qPrintable(out.message));
        server_->thaw();
        QVERIFY(test::waitFor(
            [&] {
                return server_->sql("SELECT count(*) FROM logtable", "dovrik").trimmed() == "2";
            },
            20000));
    }

    void deletionFrozenAtTheCommit()
    {
        db::Connection log;
        openShort(log, kLogSource);
        DeletionRange range;
        range.start = "26-12-07 00:00:00";
        range.end = "26-12-08 00:00:00";
        freezeAt_ = "DELETE FROM upsendtable";
        const DeletionOutcome out = deleteLogs(log, deletionStatements(true, true, range));
        QVERIFY(!out.ok);
        QVERIFY(out.unknown);
        QVERIFY2(out.message.contains("结果未知") && !out.message.contains("数据库未改变"),
                 qPrintable(out.message));
        server_->thaw();
        QVERIFY(test::waitFor(
            [&] {
                return server_->sql("SELECT count(*) FROM logtable", "dovrik").trimmed() == "0";
            },
            20000));
        QCOMPARE(server_->sql("SELECT count(*) FROM upsendtable", "dovrik").trimmed(), u"0"_qs);
    }

    void deletionFrozenBeforeTheCommit()
    {
        db::Connection log;
        openShort(log, kLogSource);
        const QString id = log.query("SELECT CONNECTION_ID()").field(0).toString();
        DeletionRange range;
        range.start = "26-12-07 00:00:00";
        range.end = "26-12-08 00:00:00";
        freezeAt_ = "DELETE FROM logtable";
        const DeletionOutcome out = deleteLogs(log, deletionStatements(true, true, range));
        QVERIFY(!out.ok && !out.unknown);
        QVERIFY2(out.message.contains("数据库未改变"), qPrintable(out.message));
        server_->thaw();
        QVERIFY(connectionGone(id));
        QCOMPARE(server_->sql("SELECT count(*) FROM logtable", "dovrik").trimmed(), u"1"_qs);
        QCOMPARE(server_->sql("SELECT count(*) FROM upsendtable", "dovrik").trimmed(), u"1"_qs);
    }
};

QTEST_GUILESS_MAIN(ArchiveOutcome)
#include "test_archiveoutcome.moc"
