// The provisioner's command line, run as the installed program: what it prints, what it exits
// with, and what it leaves in odbc.ini, LocalPort.txt and the databases.

#include "common/blacklist.h"
#include "common/installation.h"
#include "common/netinfo.h"
#include "common/schema.h"
#include "common/sharedfiles.h"
#include "provisioner/adapters.h"
#include "provisioner/texts.h"
#include "tests/provisioner/support.h"
#include "tests/support/testsupport.h"

#include <QFile>
#include <QProcess>
#include <QTest>

using namespace lt;
namespace text = lt::prov::text;

namespace
{

struct Run {
    int exitCode = -1;
    QStringList out; // the lines printed
    QString err;
};

} // namespace

class ProvisionerCommandLine : public QObject
{
    Q_OBJECT
    test::TestInstallation install_;

    Run run(const QStringList& arguments)
    {
        QProcess p;
        p.start(install_.appDir() + "/provisioner", arguments);
        if (!p.waitForFinished(120000))
            qFatal("the provisioner did not finish");
        return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
                QString::fromUtf8(p.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts),
                QString::fromUtf8(p.readAllStandardError())};
    }

private slots:
    void initTestCase() { QVERIFY2(test::serverAvailable(), "the test server does not answer"); }

    void helpAndWrongArguments()
    {
        const Run help = run({"--help"});
        QCOMPARE(help.exitCode, 0);
        QVERIFY(help.out.join(u'\n').contains("--init log|config|both"));
        const Run wrong = run({"--init", "everything"});
        QCOMPARE(wrong.exitCode, 2);
        QVERIFY(wrong.err.contains("--init"));
    }

    void registerAndInitialise()
    {
        Run r = run({"--register", "0.0.0.0"});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out, QStringList{text::kRegistered});
        QCOMPARE(test::odbcIniSection("RemoteAcTable").value(6),
                 QStringLiteral("Server=localhost"));

        r = run({"--register", "192.168.0.300"});
        QCOMPARE(r.exitCode, 1);
        QCOMPARE(r.out, QStringList{text::kAddressPartEmpty});
        QCOMPARE(test::odbcIniSection("RemoteAcTable").value(6),
                 QStringLiteral("Server=localhost"));

        test::sql("DROP DATABASE IF EXISTS dovrik; DROP DATABASE IF EXISTS ipdata;");
        const int n = int(blacklist::read(install_.appDir() + "/BlackName.dat")->records.size());
        r = run({"--init", "both", "--yes"});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out, (QStringList{text::kAskInitLog + " 是（--yes）", text::kInitialisingLog,
                                     text::kLogInitialised, text::kAskInitConfig + " 是（--yes）",
                                     text::kInitialisingConfig, text::kImporting.arg(n).arg(n),
                                     text::kConfigInitialised.arg(n)}));
        QCOMPARE(test::sql("SELECT * FROM ServerIP", "ipdata"), net::ownIPv4() + "\t5677\n");
        QCOMPARE(test::sql("SELECT COUNT(*) FROM blacktable", "ipdata"),
                 QString::number(n) + u'\n');

        r = run({"--test"});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out, (QStringList{text::kConnectingLog, text::kLogConnected,
                                     text::kConnectingConfig, text::kConfigConnected}));
    }

    // Everything a fresh server needs in one call: the options run as register, initialise,
    // test, whatever order they are given in.
    void freshServerInOneCall()
    {
        test::sql("DROP DATABASE IF EXISTS dovrik; DROP DATABASE IF EXISTS ipdata;");
        Run check = run({"--check", "both"});
        QCOMPARE(check.exitCode, 4);
        QCOMPARE(check.out, (QStringList{text::kDatabaseMissing.arg(text::kLogDatabaseName),
                                         text::kDatabaseMissing.arg(text::kConfigDatabaseName)}));

        const Run r = run({"--register", "0.0.0.0", "--test", "--init", "both", "--yes"});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out.value(0), text::kRegistered);
        QCOMPARE(r.out.value(1), text::kAskInitLog + " 是（--yes）");
        QCOMPARE(r.out.mid(r.out.size() - 4),
                 (QStringList{text::kConnectingLog, text::kLogConnected, text::kConnectingConfig,
                              text::kConfigConnected}));

        check = run({"--check", "both"});
        QCOMPARE(check.exitCode, 0);
        QCOMPARE(check.out, (QStringList{text::kDatabaseComplete.arg(text::kLogDatabaseName),
                                         text::kDatabaseComplete.arg(text::kConfigDatabaseName)}));
        // A half-initialised database is not complete: run.sh initialises it again.
        test::sql("ALTER DATABASE ipdata COMMENT '" + schema::kMarkInitialising +
                      "'; DELETE FROM grouptable;",
                  "ipdata");
        check = run({"--check", "config"});
        QCOMPARE(check.exitCode, 4);
        QCOMPARE(check.out, QStringList{text::kDatabaseIncomplete.arg(text::kConfigDatabaseName)});
        QVERIFY(check.err.contains("grouptable"));
        QCOMPARE(run({"--check", "log"}).exitCode, 0);
        QCOMPARE(run({"--check", "nothing"}).exitCode, 2);
    }

    // An unfinished database that holds the administrator's data is not one to initialise
    // unasked: --check says what it holds and what to run, and exits 5 instead of 4 (which
    // run.sh answers with an initialisation).
    void checkOfAnUnfinishedDatabaseWithData()
    {
        QCOMPARE(run({"--register", "0.0.0.0"}).exitCode, 0);
        test::initialiseDatabases();
        test::sql("ALTER DATABASE ipdata COMMENT '" + schema::kMarkInitialising + "';");
        Run check = run({"--check", "config"});
        QCOMPARE(check.exitCode, 4);
        QCOMPARE(check.out, QStringList{text::kDatabaseIncomplete.arg(text::kConfigDatabaseName)});

        test::sql("INSERT INTO usertable VALUES('PC1','10.0.0.1','临时工作组');", "ipdata");
        check = run({"--check", "both"});
        QCOMPARE(check.exitCode, 5);
        QCOMPARE(check.out, (QStringList{text::kDatabaseComplete.arg(text::kLogDatabaseName),
                                         text::kDatabaseIncompleteWithData.arg(
                                             text::kConfigDatabaseName, "usertable: 1 个终端"),
                                         text::kDoNotInitialise.arg("config", "--export-config")}));
        test::sql("ALTER DATABASE dovrik COMMENT '" + schema::kMarkInitialising +
                      "'; INSERT INTO logtable (Name) VALUES ('kept');",
                  "dovrik");
        check = run({"--check", "log"});
        QCOMPARE(check.exitCode, 5);
        QCOMPARE(check.out.value(0), text::kDatabaseIncompleteWithData.arg(text::kLogDatabaseName,
                                                                           "logtable: 1 行日志"));
        QCOMPARE(check.out.value(1), text::kDoNotInitialise.arg("log", "--backup"));
        test::initialiseDatabases();
    }

    void remoteRegistrationCarriesItsPort()
    {
        const auto port = [] { return test::odbcIniSection("RemoteAcTable").value(5); };
        QCOMPARE(run({"--register", "192.168.0.5"}).exitCode, 0);
        QCOMPARE(port(), QStringLiteral("Port=3306"));
        QCOMPARE(test::odbcIniSection("LocalLogTable").value(5), QStringLiteral("Port=3306"));
        QCOMPARE(run({"--register", "192.168.0.5:3310"}).exitCode, 0);
        QCOMPARE(port(), QStringLiteral("Port=3310"));
        for (const char* bad : {"10.0.0.1:99999", "10.0.0.1:", "10.0.0.1:x"}) {
            const Run r = run({"--register", bad});
            QCOMPARE(r.exitCode, 1);
            QCOMPARE(r.out, QStringList{text::kBadPort});
            QCOMPARE(port(), QStringLiteral("Port=3310"));
        }
        QCOMPARE(run({"--register", "0.0.0.0"}).exitCode, 0);
        QCOMPARE(port(), "Port=" + Installation::server().port);
    }

    void initialisationWithoutYesErasesNothing()
    {
        test::initialiseDatabases();
        test::sql("INSERT INTO logtable (Name) VALUES ('kept');", "dovrik");
        const Run r = run({"--init", "both"});
        QCOMPARE(r.exitCode, 3);
        QCOMPARE(r.out.mid(0, 2),
                 (QStringList{text::kAskInitLog + " 否", text::kAskInitConfig + " 否"}));
        QCOMPARE(test::sql("SELECT Name FROM logtable", "dovrik"), QStringLiteral("kept\n"));
    }

    void serverDown()
    {
        const Run test = run({"--register", "127.0.0.1:1", "--test"}); // nobody listens there
        const Run init = run({"--init", "log", "--yes"});
        const Run check = run({"--check", "log"});
        QCOMPARE(run({"--register", "0.0.0.0"}).exitCode, 0);
        QCOMPARE(check.exitCode, 1);
        QCOMPARE(check.out, QStringList{text::kLogNotConnected});
        QCOMPARE(test.exitCode, 1);
        QCOMPARE(test.out,
                 (QStringList{text::kRegistered, text::kConnectingLog, text::kLogNotConnected,
                              text::kConnectingConfig, text::kConfigNotConnected}));
        QVERIFY(!test.err.isEmpty()); // the driver's reasons
        QCOMPARE(init.exitCode, 1);
        QCOMPARE(init.out.last(), text::kLogNotConnected);
    }

    void adapters()
    {
        const QStringList entries = prov::adapterDescriptions(prov::readAdapterBuffer());
        const Run list = run({"--list-adapters"});
        QCOMPARE(list.exitCode, 0);
        QCOMPARE(list.out.first(), text::kAdapterPrompt);
        for (int i = 0; i < entries.size(); ++i)
            QCOMPARE(list.out.value(i + 1), QStringLiteral("%1  %2").arg(i + 1, 3).arg(entries[i]));

        test::writeFile(localPortPath(), "12\r\n");
        const int last = std::max(1, int(entries.size()));
        QCOMPARE(run({"--adapter", QString::number(last)}).exitCode, 0);
        QCOMPARE(test::readFile(localPortPath()), QByteArray::number(last));
        for (const QString& bad :
             {QString::number(last + 1), QStringLiteral("0"), QStringLiteral("x")})
            QCOMPARE(run({"--adapter", bad}).exitCode, 1);
        QCOMPARE(test::readFile(localPortPath()), QByteArray::number(last));
    }

    void refusedWithoutTheInstallationFiles()
    {
        const QString file = install_.appDir() + "/BlackName.dat";
        QVERIFY(QFile::rename(file, file + ".away"));
        const Run r = run({"--test"});
        QVERIFY(QFile::rename(file + ".away", file));
        QCOMPARE(r.exitCode, 1);
        QCOMPARE(r.out, QStringList{text::kBlackNameMissing});
    }
};

QTEST_GUILESS_MAIN(ProvisionerCommandLine)
#include "test_commandline.moc"
