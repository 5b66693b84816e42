// The blocking module's judgement against the real configuration database, and the rows of
// what it blocked read back from the real log: a selected hour blocks its class (position 24
// is the hour from midnight), an unknown terminal is judged by "临时工作组", the white list wins
// over a blocked class, delivered and console entries both count, a path entry blocks only
// HTTP requests under it; a blocked visit is one row "阻断" as the group's level allows, and a
// client's immediate retries add none. Also the statement by which the monitor learns that
// the module enforces.

#include "common/blockstate.h"
#include "common/datasources.h"
#include "common/installation.h"
#include "common/odbc.h"
#include "common/siteconfig.h"
#include "outside/blocker/policy.h"
#include "tests/support/testsupport.h"

#include <QCoreApplication>
#include <QFile>
#include <QTest>

using namespace lt;
using namespace lt::blocker;

namespace
{

const QString kLog = QStringLiteral("dovrik");
const QString kConfig = QStringLiteral("ipdata");

QString mask(std::initializer_list<int> positions)
{
    QString m(24, QLatin1Char('0'));
    for (int p : positions)
        m[p - 1] = QLatin1Char('1');
    return m;
}

// A group row whose masks are all empty but those given ('A' …).
QString groupRow(const QString& team, const QString& level, QHash<QChar, QString> masks)
{
    QString row = QStringLiteral("('%1','%2','0'").arg(team, level);
    for (char code = 'A'; code <= 'L'; ++code)
        row += QStringLiteral(",'%1'").arg(masks.value(QLatin1Char(code), mask({})));
    return row + QLatin1Char(')');
}

QDateTime at(int hour, int minute, int second = 0)
{
    return QDateTime(QDate(2024, 5, 6), QTime(hour, minute, second));
}

Visit visit(const QString& terminal, const char* host, const char* target = nullptr)
{
    Visit v;
    v.terminal = terminal;
    v.server = QStringLiteral("203.0.113.9");
    v.port = target ? 80 : 443;
    v.request.kind = target ? Request::Kind::Http : Request::Kind::Tls;
    v.request.host = host;
    v.request.target = target ? target : "";
    return v;
}

} // namespace

class BlockPolicyTest : public QObject
{
    Q_OBJECT
    test::TestInstallation install_;
    db::Connection log_, config_;
    std::unique_ptr<site::SiteConfig> site_;

    const site::Snapshot& snapshot() { return *site_->snapshot(); }
    bool blocked(const QString& terminal, const char* host, const QDateTime& when,
                 const char* target = nullptr)
    {
        return judge(snapshot(), visit(terminal, host, target), when).blocked;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(test::serverAvailable());
        install_.registerLocal();
        test::initialiseDatabases();
        QVERIFY(log_.open(dsn::chosenConnectionStrings().log));
        QVERIFY(config_.open(dsn::chosenConnectionStrings().config));
        const QString all = QString(24, QLatin1Char('1'));
        test::sql(
            QStringLiteral("DELETE FROM blacktable; DELETE FROM grouptable;"
                           "INSERT INTO usertable VALUES('教师机','10.1.0.5','教师组'),"
                           "('学生机','10.1.0.6','学生组'),('会议室','10.1.0.7','不记组');"
                           "INSERT INTO grouptable VALUES ") +
                groupRow(QStringLiteral("教师组"), "0", {{u'J', mask({9})}, {u'A', mask({24})}}) +
                QLatin1Char(',') + groupRow(QStringLiteral("学生组"), "1", {{u'J', all}}) +
                QLatin1Char(',') + groupRow(QStringLiteral("不记组"), "2", {{u'J', all}}) +
                QLatin1Char(',') + groupRow(QStringLiteral("临时工作组"), "0", {{u'J', all}}) +
                QStringLiteral(";INSERT INTO blacktable VALUES"
                               "('game.cn','游戏站','游戏','S'),"
                               "('casino.cn','赌场','游戏','N'),"
                               "('poker.cn','扑克','游戏','N'),"
                               "('video.cn/games','视频游戏区','游戏','S');"
                               "INSERT INTO whitetable VALUES"
                               "('safe.game.cn','教育游戏','S','Y'),"
                               "('casino.cn','白名单同名','S','Y');"),
            kConfig);
        site_ = std::make_unique<site::SiteConfig>(config_);
        QVERIFY(site_->load());
    }

    void init()
    {
        test::sql(QStringLiteral("DELETE FROM logtable"), kLog);
        test::sql(QStringLiteral("DELETE FROM webtable"), kConfig);
    }

    void selectedHourBlocksItsClass()
    {
        const QString teacher = QStringLiteral("10.1.0.5");
        QVERIFY(blocked(teacher, "www.game.cn", at(9, 0)));
        QVERIFY(blocked(teacher, "www.game.cn", at(9, 59, 59)));
        QVERIFY(!blocked(teacher, "www.game.cn", at(8, 59, 59)));
        QVERIFY(!blocked(teacher, "www.game.cn", at(10, 0)));
        // "上网" (A), the class of a site on no list: position 24 is the hour from midnight.
        QVERIFY(blocked(teacher, "unlisted.org", at(0, 30)));
        QVERIFY(!blocked(teacher, "unlisted.org", at(23, 30)));
        const Judgement j = judge(snapshot(), visit(teacher, "unlisted.org"), at(0, 30));
        QCOMPARE(j.verdict.className, QStringLiteral("上网"));
        QCOMPARE(j.terminal.team, QStringLiteral("教师组"));
        QCOMPARE(j.url, QStringLiteral("https://unlisted.org/"));
    }

    void unknownTerminalAndTheLists()
    {
        // Not in usertable: "临时工作组", whose mask blocks games all day.
        const Judgement j =
            judge(snapshot(), visit(QStringLiteral("10.9.9.9"), "game.cn"), at(15, 0));
        QVERIFY(j.blocked);
        QCOMPARE(j.terminal.team, QStringLiteral("临时工作组"));
        QCOMPARE(j.terminal.name, QStringLiteral("10.9.9.9"));
        // The delivered list counts like the console's.
        QVERIFY(blocked(QStringLiteral("10.9.9.9"), "www.poker.cn", at(15, 0)));
        // A white entry longer than the black one, or as long, lets the site through.
        QVERIFY(!blocked(QStringLiteral("10.9.9.9"), "safe.game.cn", at(15, 0)));
        QVERIFY(!blocked(QStringLiteral("10.9.9.9"), "casino.cn", at(15, 0)));
        // A path entry: only HTTP requests under it; an HTTPS visit has no path to match.
        QVERIFY(blocked(QStringLiteral("10.9.9.9"), "video.cn", at(15, 0), "/games/x?page=2"));
        QVERIFY(
            blocked(QStringLiteral("10.9.9.9"), "video.cn", at(15, 0), "http://video.cn/games"));
        QVERIFY(!blocked(QStringLiteral("10.9.9.9"), "video.cn", at(15, 0), "/news/games"));
        QVERIFY(!blocked(QStringLiteral("10.9.9.9"), "video.cn", at(15, 0)));
        // A request without a Host is judged by the server's address.
        const Judgement none =
            judge(snapshot(), visit(QStringLiteral("10.9.9.9"), "", "/"), at(15, 0));
        QCOMPARE(none.host, QStringLiteral("203.0.113.9"));
        QCOMPARE(none.url, QStringLiteral("http://203.0.113.9/"));
    }

    void blockedVisitsAreRows()
    {
        logrows::RowWriter writer(log_, config_);
        BlockLog blockLog(writer);
        const auto record = [&](const char* address, const char* host, const QDateTime& when,
                                const char* target = "/play") {
            const Judgement j =
                judge(snapshot(), visit(QString::fromLatin1(address), host, target), when);
            if (!j.blocked)
                return false;
            return blockLog.record(snapshot(), j, when, blockPage(j.host).size());
        };
        QVERIFY(record("10.1.0.5", "www.game.cn", at(9, 10, 0)));
        QVERIFY(!record("10.1.0.5", "www.game.cn", at(9, 10, 2))); // the browser tries again
        QVERIFY(record("10.1.0.5", "www.game.cn", at(9, 10, 5)));
        // "半记": one row per terminal and site in ten minutes; "不记": none, still blocked.
        QVERIFY(record("10.1.0.6", "www.game.cn", at(11, 0, 0)));
        QVERIFY(!record("10.1.0.6", "www.game.cn", at(11, 5, 0), "/other"));
        QVERIFY(record("10.1.0.6", "www.game.cn", at(11, 10, 0)));
        QVERIFY(blocked(QStringLiteral("10.1.0.7"), "www.game.cn", at(11, 0)));
        QVERIFY(!record("10.1.0.7", "www.game.cn", at(11, 0, 0)));
        QVERIFY(writer.flush());

        QCOMPARE(test::sql(QStringLiteral("SELECT Name,IP,AcTime,Team,Title,URL,Class,Result,F "
                                          "FROM logtable ORDER BY AcTime"),
                           kLog),
                 QStringLiteral("教师机\t10.1.0.5\t24-05-06 09:10:00\t教师组\t游戏站\t"
                                "http://www.game.cn/play\t游戏\t阻断\t1\n"
                                "教师机\t10.1.0.5\t24-05-06 09:10:05\t教师组\t游戏站\t"
                                "http://www.game.cn/play\t游戏\t阻断\t1\n"
                                "学生机\t10.1.0.6\t24-05-06 11:00:00\t学生组\t游戏站\t"
                                "http://www.game.cn/play\t游戏\t阻断\t1\n"
                                "学生机\t10.1.0.6\t24-05-06 11:10:00\t学生组\t游戏站\t"
                                "http://www.game.cn/play\t游戏\t阻断\t1\n"));
        QCOMPARE(test::sql(QStringLiteral("SELECT DISTINCT nLength FROM logtable"), kLog).trimmed(),
                 QString::number(blockPage(QStringLiteral("www.game.cn")).size()));
        QCOMPARE(
            test::sql(QStringLiteral("SELECT URL,Class,COUNT(*) FROM webtable GROUP BY URL,Class"),
                      kConfig),
            QStringLiteral("http://www.game.cn/play\t游戏\t4\n"));
    }

    void blockPageSaysSoInChinese()
    {
        const QByteArray page = blockPage(QStringLiteral("a.cn<script>"));
        const qsizetype end = page.indexOf("\r\n\r\n");
        QVERIFY(page.startsWith("HTTP/1.1 403 Forbidden\r\n"));
        QVERIFY(page.contains("Content-Length: " + QByteArray::number(page.size() - end - 4)));
        QVERIFY(page.contains(kBlockNotice.toUtf8()));
        QVERIFY(page.contains("a.cn&lt;script&gt;"));
    }

    void monitorLearnsWhetherTheModuleEnforces()
    {
        QVERIFY(!blockstate::enforcing());
        QVERIFY(blockstate::markEnforcing());
        QVERIFY(blockstate::enforcing());
        blockstate::clearEnforcing();
        QVERIFY(!blockstate::enforcing());
        // A module that died left its file: its process no longer runs.
        test::writeFile(blockstate::filePath(), "999999 12345\n");
        QVERIFY(!blockstate::enforcing());
        // Another module's statement is not this process's to take back.
        blockstate::clearEnforcing();
        QVERIFY(QFile::exists(blockstate::filePath()));
        QFile::remove(blockstate::filePath());
    }
};

QTEST_GUILESS_MAIN(BlockPolicyTest)
#include "test_blockpolicy.moc"
