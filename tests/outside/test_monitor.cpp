// The monitor module against the real databases: "qmlxsn -r" over hand-made capture files
// writes the rows the console reads (names and groups from usertable, classes from the black
// list, the group's log levels, the white list's "不记日志", uploads, traffic per connection), a
// visit the blocking module turns away is left to it, and a module without the right to
// capture keeps its window and says what to run.

#include "common/datasources.h"
#include "common/logrows.h"
#include "common/names.h"
#include "common/odbc.h"
#include "common/siteconfig.h"
#include "common/windowdirectory.h"
#include "outside/monitor/recorder.h"
#include "tests/outside/framebuilder.h"
#include "tests/support/testsupport.h"

#include <QDateTime>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <unistd.h>

using namespace lt;
using test::Conversation;

namespace
{

const QString kLog = QStringLiteral("dovrik");
const QString kConfig = QStringLiteral("ipdata");

int64_t at(int hour, int minute, int second)
{
    return QDateTime(QDate(2024, 5, 17), QTime(hour, minute, second)).toMSecsSinceEpoch() * 1000;
}

QByteArray page(const QByteArray& titleBytes, const QByteArray& head = {})
{
    const QByteArray body =
        "<html><head>" + head + "<title>" + titleBytes + "</title></head></html>";
    return "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: " +
           QByteArray::number(body.size()) + "\r\n\r\n" + body;
}

// One page visit: handshake, request, answer, close; frames from start on.
QList<test::Frame> visit(Conversation c, const QByteArray& request, const QByteArray& answer,
                         int64_t start)
{
    return test::timed({c.syn(), c.synAck(), c.ack(), c.data(0, request), c.data(1, answer),
                        c.fin(0), c.fin(1), c.ack(0)},
                       start);
}

QByteArray get(const QByteArray& host, const QByteArray& path)
{
    return "GET " + path + " HTTP/1.1\r\nHost: " + host + "\r\n\r\n";
}

struct Replay {
    int code = -1;
    QString out;
    QString err;
};

Replay replay(const QString& appDir, const QString& file)
{
    QProcess p;
    p.start(appDir + QStringLiteral("/qmlxsn"), {QStringLiteral("-r"), file});
    Replay r;
    if (!p.waitForFinished(60000))
        return r;
    r.code = p.exitCode();
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

QString rows(const QString& statement, const QString& database)
{
    return test::sql(statement, database);
}

} // namespace

class MonitorTest : public QObject
{
    Q_OBJECT
    test::TestInstallation install_;
    QTemporaryDir dir_;

    QString capture(const QString& name, const QList<test::Frame>& frames)
    {
        const QString path = dir_.filePath(name);
        if (!test::writeCapture(path, frames))
            qFatal("cannot write %s", qPrintable(path));
        return path;
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(install_.useFreshDatabases(), "the private test server does not answer");
    }

    void init()
    {
        test::sql(QStringLiteral("DELETE FROM logtable; DELETE FROM upsendtable;"), kLog);
        test::sql(QStringLiteral("DELETE FROM webtable; DELETE FROM uptable; DELETE FROM downtable;"
                                 "DELETE FROM usertable; DELETE FROM blacktable;"
                                 "DELETE FROM whitetable; DELETE FROM grouptable WHERE "
                                 "Team<>'临时工作组';"),
                  kConfig);
    }

    void replayWritesWhatTheConsoleReads()
    {
        test::sql(QStringLiteral("INSERT INTO usertable VALUES('出纳','192.168.3.7','财务组');"
                                 "INSERT INTO grouptable SELECT '财务组','0','0',A,B,C,D,E,F,G,H,I,"
                                 "J,K,L FROM grouptable WHERE Team='临时工作组';"
                                 "INSERT INTO blacktable VALUES('games.cn','游戏站','游戏','N');"
                                 "INSERT INTO whitetable VALUES('quiet.cn','静','S','N');"),
                  kConfig);
        const QByteArray gbkTitle = QByteArray::fromHex("d0a1d3cecfb7"); // 小游戏 in GBK
        const QByteArray answer = page(gbkTitle, "<meta charset=\"gbk\">");
        QList<test::Frame> frames =
            visit(Conversation(test::ipv4(192, 168, 3, 7), 50001, test::ipv4(203, 0, 113, 5), 80),
                  get("www.Games.cn", "/play?id=1"), answer, at(14, 25, 9));
        Conversation tls(test::ipv4(192, 168, 3, 99), 50002, test::ipv4(198, 51, 100, 7), 443);
        frames += test::timed({tls.syn(), tls.synAck(), tls.ack(),
                               tls.data(0, test::clientHelloRecord("mail.example.com")),
                               tls.data(1, QByteArray(3000, 's')), tls.rst(0)},
                              at(14, 26, 0));
        const QByteArray form = "msg=%E4%BD%A0%E5%A5%BD";
        frames +=
            visit(Conversation(test::ipv4(192, 168, 3, 7), 50003, test::ipv4(203, 0, 113, 9), 80),
                  "POST /send HTTP/1.1\r\nHost: quiet.cn\r\nContent-Type: application/"
                  "x-www-form-urlencoded\r\nContent-Length: " +
                      QByteArray::number(form.size()) + "\r\n\r\n" + form,
                  page("sent"), at(14, 27, 0));
        const Replay r = replay(install_.appDir(), capture(QStringLiteral("office.pcap"), frames));
        QVERIFY2(r.code == 0, qPrintable(r.err));
        QVERIFY2(r.out.contains(QStringLiteral("写入浏览日志 2 行、上传日志 1 行")),
                 qPrintable(r.out));

        QCOMPARE(rows(QStringLiteral("SELECT Name,IP,AcTime,Team,Title,URL,Class,Result,nLength,F "
                                     "FROM logtable ORDER BY AcTime"),
                      kLog),
                 QStringLiteral("出纳\t192.168.3.7\t24-05-17 14:25:09\t财务组\t小游戏\t"
                                "http://www.Games.cn/play?id=1\t游戏\t放行\t%1\t1\n"
                                "192.168.3.99\t192.168.3.99\t24-05-17 14:26:00\t临时工作组\t\t"
                                "https://mail.example.com/\t\t放行\t3000\t1\n")
                     .arg(answer.size()));
        QCOMPARE(
            rows(QStringLiteral("SELECT URL,Title,Class,AcTime,SF FROM webtable ORDER BY AcTime"),
                 kConfig),
            QStringLiteral("http://www.Games.cn/play?id=1\t小游戏\t游戏\t24-05-17 14:25:09\tN\n"
                           "https://mail.example.com/\t\t\t24-05-17 14:26:00\tN\n"));
        QCOMPARE(rows(QStringLiteral("SELECT Name,IP,URL,AcTime,UpSendTxt FROM upsendtable"), kLog),
                 QStringLiteral(
                     "出纳\t192.168.3.7\thttp://quiet.cn/send\t24-05-17 14:27:00\tmsg=你好\n"));
        // One counter row per connection, in both tables, with its bytes in the hour 14.
        QCOMPARE(
            rows(QStringLiteral("SELECT srcip,dstip,date,strurl,srcport,dstport FROM uptable "
                                "ORDER BY srcport"),
                 kConfig),
            QStringLiteral("192.168.3.7\t203.0.113.5\t2024-05-17\twww.Games.cn\t50001\t80\n"
                           "192.168.3.99\t198.51.100.7\t2024-05-17\tmail.example.com\t50002\t443\n"
                           "192.168.3.7\t203.0.113.9\t2024-05-17\tquiet.cn\t50003\t80\n"));
        QCOMPARE(rows(QStringLiteral("SELECT COUNT(*) FROM downtable WHERE t14>3000 AND t13=0 AND "
                                     "t15=0"),
                      kConfig)
                     .trimmed(),
                 QStringLiteral("1"));
        QCOMPARE(rows(QStringLiteral("SELECT SUM(t14) FROM uptable"), kConfig).trimmed().toInt() >
                     0,
                 true);
    }

    // "半记": a site again within ten minutes is not written again; "不记": no browse-log and no
    // upload rows, but the traffic counters still.
    void groupLevelsDecideWhatIsWritten()
    {
        test::sql(
            QStringLiteral(
                "INSERT INTO usertable VALUES('半','10.0.0.2','半组'),('无','10.0.0.3','无组');"
                "INSERT INTO grouptable SELECT '半组','1','0',A,B,C,D,E,F,G,H,I,J,"
                "K,L FROM grouptable WHERE Team='临时工作组';"
                "INSERT INTO grouptable SELECT '无组','2','2',A,B,C,D,E,F,G,H,I,J,"
                "K,L FROM grouptable WHERE Team='临时工作组';"),
            kConfig);
        const QByteArray server = test::ipv4(10, 0, 0, 1);
        QList<test::Frame> frames;
        int port = 40000;
        for (const auto& [minute, path] :
             {std::pair{0, "/a"}, std::pair{5, "/b"}, std::pair{11, "/c"}}) {
            frames += visit(Conversation(test::ipv4(10, 0, 0, 2), ++port, server, 80),
                            get("half.cn", path), page("H"), at(9, minute, 0));
        }
        frames += visit(Conversation(test::ipv4(10, 0, 0, 3), ++port, server, 80),
                        "POST /x HTTP/1.1\r\nHost: none.cn\r\nContent-Type: text/plain\r\n"
                        "Content-Length: 2\r\n\r\nhi",
                        page("N"), at(9, 20, 0));
        const Replay r = replay(install_.appDir(), capture(QStringLiteral("levels.pcap"), frames));
        QVERIFY2(r.code == 0, qPrintable(r.err));
        QCOMPARE(rows(QStringLiteral("SELECT Name,URL FROM logtable ORDER BY AcTime"), kLog),
                 QStringLiteral("半\thttp://half.cn/a\n半\thttp://half.cn/c\n"));
        QCOMPARE(rows(QStringLiteral("SELECT COUNT(*) FROM upsendtable"), kLog).trimmed(),
                 QStringLiteral("0"));
        QCOMPARE(
            rows(QStringLiteral("SELECT COUNT(*) FROM uptable WHERE srcip='10.0.0.3'"), kConfig)
                .trimmed(),
            QStringLiteral("1"));
    }

    // While the blocking module runs, a visit its policy turns away is its row, not the
    // monitor's; without it the monitor writes every visit it saw.
    void blockedVisitsAreLeftToTheBlocker()
    {
        QString mask(24, QLatin1Char('0'));
        mask[8] = QLatin1Char('1'); // position 9: the hour from 9 o'clock
        test::sql(QStringLiteral("INSERT INTO usertable VALUES('甲','10.0.0.2','限制组');"
                                 "INSERT INTO grouptable SELECT '限制组','0','0',A,B,C,D,E,F,G,H,I,"
                                 "'%1',K,L FROM grouptable WHERE Team='临时工作组';"
                                 "INSERT INTO blacktable VALUES('games.cn','游戏站','游戏','N');")
                      .arg(mask),
                  kConfig);
        db::Connection log, config;
        const dsn::ConnectionStrings strings = dsn::chosenConnectionStrings();
        QVERIFY(log.open(strings.log) && config.open(strings.config));
        site::SiteConfig site(config);
        QVERIFY(site.load());
        logrows::RowWriter writer(log, config);
        monitor::Recorder recorder(writer, [&site] { return site.snapshot(); });
        monitor::VisitEvent v;
        v.client.family = 4;
        const uint8_t address[4] = {10, 0, 0, 2};
        std::copy(address, address + 4, v.client.bytes);
        v.host = "www.games.cn";
        v.target = "/";
        v.time = at(9, 30, 0);
        recorder.setBlockerRunning(true);
        recorder.visit(v);
        v.time = at(10, 30, 0); // an hour the mask leaves open
        recorder.visit(v);
        recorder.setBlockerRunning(false);
        v.time = at(9, 40, 0);
        recorder.visit(v);
        QVERIFY(writer.flush());
        QCOMPARE(rows(QStringLiteral("SELECT AcTime FROM logtable ORDER BY AcTime"), kLog),
                 QStringLiteral("24-05-17 09:40:00\n24-05-17 10:30:00\n"));
        QCOMPARE(recorder.counters().leftOut.load(), uint64_t(1));
    }

    void unreadableFile()
    {
        const Replay r = replay(install_.appDir(), dir_.filePath(QStringLiteral("missing.pcap")));
        QCOMPARE(r.code, 1);
        QVERIFY2(r.err.contains(QStringLiteral("无法读取抓包文件")), qPrintable(r.err));
    }

    // Without CAP_NET_RAW the module keeps its window (so the console's supervision does not
    // start it again and again) and tells what to run.
    void withoutTheRightToCapture()
    {
        QProcess p;
        QString program = install_.appDir() + QStringLiteral("/qmlxsn");
        QStringList args = {QStringLiteral("-i"), QStringLiteral("1")};
        if (geteuid() == 0) {
            args = QStringList{QStringLiteral("--bounding-set"),
                               QStringLiteral("-net_raw,-net_admin"), program} +
                   args;
            program = QStringLiteral("setpriv");
        }
        p.start(program, args);
        QVERIFY(p.waitForStarted());
        QVERIFY(
            test::waitFor([] { return win::findWindow(names::kMonitorTitle).has_value(); }, 10000));
        QString err;
        QVERIFY(test::waitFor(
            [&] {
                err += QString::fromUtf8(p.readAllStandardError());
                return err.contains(QStringLiteral("setcap cap_net_raw+ep"));
            },
            10000));
        QVERIFY2(err.contains(QStringLiteral("没有在网卡")), qPrintable(err));
        QTest::qWait(1500);
        QCOMPARE(p.state(), QProcess::Running);
        QVERIFY(win::findWindow(names::kMonitorTitle).has_value());
        p.terminate();
        QVERIFY(p.waitForFinished(10000));
    }
};

QTEST_GUILESS_MAIN(MonitorTest)
#include "test_monitor.moc"
