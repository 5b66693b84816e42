// The monitor on real traffic: in two network namespaces of the test's own, a real HTTP server
// (Python's) and a TLS server (openssl s_server) answer real clients (curl, wget, openssl
// s_client) over IPv4 and IPv6. tcpdump's capture read with "qmlxsn -r", and the module
// capturing live on the terminal's side while the clients run, give the same rows: the pages
// with their titles in UTF-8 and GBK (one split across segments), the HTTPS server names, the
// upload, no row for an image, and a traffic row per connection. Root only.

#include "common/names.h"
#include "common/windowdirectory.h"
#include "tests/outside/netns.h"
#include "tests/support/testsupport.h"

#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>
#include <unistd.h>

using namespace lt;
using test::Namespaces;

namespace
{

const QString kLog = QStringLiteral("dovrik");
const QString kConfig = QStringLiteral("ipdata");

// What the clients' visits give in logtable (URL, title, class), in URL order.
const QString kExpectedLog = QStringLiteral("http://gbk.example.cn/gbk.html\t国标页面\t其它\n"
                                            "http://post.cn/form\t已收到\t\n"
                                            "http://v6.cn/split.html\t分开的标题\t\n"
                                            "http://www.utf8.cn/utf8.html\t统一码页面\t\n"
                                            "https://secure.example.com/\t\t\n"
                                            "https://tls.example.org/\t\t\n");

bool waitForLine(QProcess* p, const QByteArray& text, int timeoutMs, bool fromError = false)
{
    QByteArray seen;
    return test::waitFor(
        [&] {
            seen += fromError ? p->readAllStandardError() : p->readAllStandardOutput();
            return seen.contains(text);
        },
        timeoutMs);
}

} // namespace

class RealTrafficTest : public QObject
{
    Q_OBJECT
    test::TestInstallation install_;
    QTemporaryDir dir_;
    std::unique_ptr<Namespaces> net_;

    QString path(const QString& name) const { return dir_.filePath(name); }

    void writePages()
    {
        QDir().mkpath(path(QStringLiteral("www")));
        const auto put = [this](const QString& name, const QByteArray& bytes) {
            test::writeFile(path(QStringLiteral("www/")) + name, bytes);
        };
        put(QStringLiteral("utf8.html"),
            QStringLiteral("<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>统一码页面"
                           "</title></head><body>你好</body></html>")
                .toUtf8());
        QStringEncoder gbk("GBK");
        put(QStringLiteral("gbk.html"),
            gbk(QStringLiteral("<html><head><META http-equiv=\"Content-Type\" content=\"text/html;"
                               " charset=gbk\"><TITLE>国标页面</TITLE></head></html>")));
        // The title starts about where the first segment of the answer ends (MSS 1448).
        put(QStringLiteral("split.html"), "<html><head><!--" + QByteArray(1225, '-') +
                                              "--><title>" + QStringLiteral("分开的标题").toUtf8() +
                                              "</title></head></html>");
        put(QStringLiteral("logo.png"), QByteArray(4000, '\x89'));
    }

    bool startServers()
    {
        const QString cert = path(QStringLiteral("cert.pem")),
                      key = path(QStringLiteral("key.pem"));
        QProcess req;
        req.start(QStringLiteral("openssl"),
                  {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
                   "-nodes", "-subj", "/CN=test", "-days", "1", "-keyout", key, "-out", cert});
        if (!req.waitForFinished(30000) || req.exitCode() != 0)
            return false;
        QProcess* http = net_->start(
            net_->server(), {"python3", test::sourceDir() + "/tests/outside/traffic/httpserver.py",
                             path(QStringLiteral("www")), "80"});
        QProcess* tls = net_->start(net_->server(), {"openssl", "s_server", "-accept", "443",
                                                     "-cert", cert, "-key", key, "-www"});
        return waitForLine(http, "ready", 10000) && waitForLine(tls, "ACCEPT", 10000);
    }

    // The terminal's visits, one client program after the other.
    bool runClients()
    {
        const QString server = Namespaces::kServerAddress;
        const QString resolve = QStringLiteral("%1:80:") + server;
        const QList<QStringList> clients = {
            {"curl", "-sf", "-o", "/dev/null", "--resolve", resolve.arg("www.utf8.cn"),
             "http://www.utf8.cn/utf8.html"},
            {"curl", "-sf", "-o", "/dev/null", "--resolve", resolve.arg("www.utf8.cn"),
             "http://www.utf8.cn/logo.png"},
            {"wget", "-q", "-O", "/dev/null", "--header", "Host: gbk.example.cn",
             "http://" + server + "/gbk.html"},
            {"curl", "-sf", "-o", "/dev/null", "--resolve", resolve.arg("post.cn"), "--data",
             "msg=你好&to=老王", "http://post.cn/form"},
            {"curl", "-sf", "-o", "/dev/null", "-6", "--resolve",
             QStringLiteral("v6.cn:80:[%1]").arg(Namespaces::kServerAddress6),
             "http://v6.cn/split.html"},
            {"curl", "-skf", "-o", "/dev/null", "--resolve",
             QStringLiteral("secure.example.com:443:") + server, "https://secure.example.com/"},
            {"sh", "-c",
             QStringLiteral("openssl s_client -connect %1:443 -servername tls.example.org "
                            "</dev/null >/dev/null 2>&1")
                 .arg(server)},
        };
        for (const QStringList& client : clients) {
            QByteArray output;
            if (net_->run(net_->client(), client, &output) != 0) {
                qWarning("%s: %s", qPrintable(client.join(u' ')), output.constData());
                return false;
            }
        }
        return true;
    }

    void checkRows()
    {
        QCOMPARE(
            test::sql(QStringLiteral("SELECT URL,Title,Class FROM logtable ORDER BY URL"), kLog),
            kExpectedLog);
        QCOMPARE(test::sql(QStringLiteral("SELECT DISTINCT Name,Team FROM logtable WHERE "
                                          "IP='10.77.0.2'"),
                           kLog),
                 QStringLiteral("测试终端\t临时工作组\n"));
        QCOMPARE(test::sql(QStringLiteral("SELECT COUNT(*) FROM logtable WHERE IP='fd77::2' AND "
                                          "Name='fd77::2'"),
                           kLog)
                     .trimmed(),
                 QStringLiteral("1"));
        QCOMPARE(test::sql(QStringLiteral("SELECT URL,UpSendTxt FROM upsendtable"), kLog),
                 QStringLiteral("http://post.cn/form\tmsg=你好&to=老王\n"));
        QCOMPARE(test::sql(QStringLiteral("SELECT COUNT(*) FROM webtable"), kConfig).trimmed(),
                 QStringLiteral("6"));
        // Seven connections, each with bytes both ways (curl's, wget's and openssl's).
        QCOMPARE(test::sql(QStringLiteral("SELECT COUNT(*) FROM uptable u JOIN downtable d USING "
                                          "(srcip,dstip,srcport,dstport) WHERE u.srcip IN "
                                          "('10.77.0.2','fd77::2')"),
                           kConfig)
                     .trimmed(),
                 QStringLiteral("7"));
        QCOMPARE(test::sql(QStringLiteral("SELECT COUNT(*) FROM logtable WHERE URL LIKE "
                                          "'https://%' AND nLength+0 > 100"),
                           kLog)
                     .trimmed(),
                 QStringLiteral("2"));
    }

private slots:
    void initTestCase()
    {
        if (::geteuid() != 0)
            QSKIP("network namespaces need root: run this test as root (ctest -L root)");
        QVERIFY2(install_.useFreshDatabases(), "the private test server does not answer");
        writePages();
    }

    void init()
    {
        net_ = std::make_unique<Namespaces>();
        if (!net_->ready())
            QSKIP(qPrintable(QStringLiteral("cannot make network namespaces here: ") +
                             net_->error()));
        QVERIFY(startServers());
        test::sql(QStringLiteral("DELETE FROM logtable; DELETE FROM upsendtable;"), kLog);
        test::sql(
            QStringLiteral("DELETE FROM webtable; DELETE FROM uptable; DELETE FROM downtable;"
                           "DELETE FROM usertable; DELETE FROM blacktable;"
                           "INSERT INTO usertable VALUES('测试终端','10.77.0.2','临时工作组');"
                           "INSERT INTO blacktable VALUES('example.cn','示例','其它','N');"),
            kConfig);
    }

    void cleanup() { net_.reset(); }

    void captureFileOfRealClients()
    {
        const QString file = path(QStringLiteral("clients.pcap"));
        QProcess* dump =
            net_->start(net_->client(), {"tcpdump", "-i", net_->clientInterface(), "-w", file, "-U",
                                         "--immediate-mode", "-n", "tcp"});
        QVERIFY(waitForLine(dump, "listening on", 10000, true));
        QVERIFY(runClients());
        QTest::qWait(300);
        dump->terminate();
        QVERIFY(dump->waitForFinished(10000));

        QProcess replay;
        replay.start(install_.appDir() + QStringLiteral("/qmlxsn"), {QStringLiteral("-r"), file});
        QVERIFY(replay.waitForFinished(60000));
        const QString summary = QString::fromUtf8(replay.readAllStandardOutput());
        QVERIFY2(replay.exitCode() == 0, replay.readAllStandardError().constData());
        QVERIFY2(summary.contains(QStringLiteral("写入浏览日志 6 行、上传日志 1 行")),
                 qPrintable(summary));
        checkRows();
    }

    void liveCaptureWhileClientsRun()
    {
        QProcess* monitor =
            net_->start(net_->client(), {install_.appDir() + QStringLiteral("/qmlxsn"), "-i", "1"});
        QVERIFY(
            test::waitFor([] { return win::findWindow(names::kMonitorTitle).has_value(); }, 10000));
        QTest::qWait(1000); // the capture opens right after the window
        QVERIFY(runClients());
        QVERIFY(test::waitFor(
            [] {
                return test::sql(QStringLiteral("SELECT COUNT(*) FROM logtable"), kLog).trimmed() ==
                       QStringLiteral("6");
            },
            20000));
        monitor->terminate(); // SIGTERM: the connections end and what waits is written
        QVERIFY(monitor->waitForFinished(10000));
        const QByteArray problems = monitor->readAllStandardError();
        QVERIFY2(!problems.contains("qmlxsn"), problems.constData());
        checkRows();
    }
};

QTEST_GUILESS_MAIN(RealTrafficTest)
#include "test_realtraffic.moc"
