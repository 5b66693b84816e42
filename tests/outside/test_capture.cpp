// The monitor's packet path on hand-made frames: what a terminal's HTTP and HTTPS traffic gives
// (visits with titles, uploads, traffic per connection and hour), and what real clients rarely
// do but networks do: segments out of order and sent twice, a title or a ClientHello split
// across segments, VLAN tags, IPv6, frames cut short by the capture, bytes that are no packet.

#include "outside/monitor/engine.h"
#include "tests/outside/framebuilder.h"

#include <QRandomGenerator>
#include <QTest>
#include <algorithm>

using namespace lt;
using namespace lt::monitor;
using test::Conversation;

namespace
{

struct Collected final : EventSink {
    QList<VisitEvent> visits;
    QList<UploadEvent> uploads;
    QList<TrafficEvent> counted;
    void visit(const VisitEvent& e) override { visits.append(e); }
    void upload(const UploadEvent& e) override { uploads.append(e); }
    void traffic(const TrafficEvent& e) override { counted.append(e); }
    uint64_t down() const
    {
        uint64_t sum = 0;
        for (const TrafficEvent& t : counted)
            sum += t.down;
        return sum;
    }
};

const int64_t kStart = int64_t(1715912709) * 1000000; // 2024-05-17, in the afternoon

// Runs frames through an engine, one millisecond apart, then ends every connection.
Collected run(const QList<QByteArray>& frames, int cutAt = 0)
{
    Collected sink;
    Engine engine(sink);
    int64_t t = kStart;
    for (const QByteArray& f : frames) {
        const size_t captured =
            cutAt > 0 ? std::min<size_t>(size_t(cutAt), size_t(f.size())) : size_t(f.size());
        engine.frame(1, reinterpret_cast<const uint8_t*>(f.constData()), captured, size_t(f.size()),
                     t);
        t += 1000;
    }
    engine.finish();
    return sink;
}

QByteArray response(const QByteArray& body, const QByteArray& type = "text/html; charset=utf-8")
{
    return "HTTP/1.1 200 OK\r\nContent-Type: " + type +
           "\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
}

// A page whose title falls across two segments, answered in three; the frames of a whole
// connection.
QList<QByteArray> pageConversation(Conversation& c, const QByteArray& request,
                                   const QByteArray& answer, int pieces = 3)
{
    QList<QByteArray> frames{c.syn(), c.synAck(), c.ack(), c.data(0, request)};
    const int step = int(answer.size() + pieces - 1) / pieces;
    for (int i = 0; i < answer.size(); i += step)
        frames << c.data(1, answer.mid(i, step));
    frames << c.fin(0) << c.fin(1) << c.ack(0);
    return frames;
}

QByteArray tlsRecord(const QByteArray& fragment)
{
    QByteArray r = QByteArray::fromHex("160301");
    test::put16(r, int(fragment.size()));
    return r + fragment;
}

} // namespace

class CaptureTest : public QObject
{
    Q_OBJECT

private slots:
    void httpPageVisitWithTitleAcrossSegments()
    {
        Conversation c(test::ipv4(192, 168, 1, 20), 50123, test::ipv4(203, 0, 113, 5), 80);
        const QByteArray request = "GET /news/today.html?x=1 HTTP/1.1\r\nHost: www.example.cn\r\n"
                                   "User-Agent: curl\r\n\r\n";
        const QByteArray answer =
            response("<html><head><TITLE>\xe4\xbb\x8a\xe6\x97\xa5 &amp; \xe6\x96\xb0\xe9\x97\xbb"
                     "</TITLE></head><body>" +
                     QByteArray(3000, 'x') + "</body></html>");
        const Collected got = run(pageConversation(c, request, answer, 7));
        QCOMPARE(got.visits.size(), 1);
        const VisitEvent& v = got.visits[0];
        QCOMPARE(QString::fromStdString(v.host), QStringLiteral("www.example.cn"));
        QCOMPARE(QString::fromStdString(v.target), QStringLiteral("/news/today.html?x=1"));
        QCOMPARE(v.title, QStringLiteral("今日 & 新闻"));
        QCOMPARE(v.length, uint64_t(answer.size()));
        QCOMPARE(QString::fromStdString(v.client.text()), QStringLiteral("192.168.1.20"));
        QCOMPARE(v.serverPort, 80);
        QVERIFY(!v.https);
        QCOMPARE(v.time, kStart + 3000); // the request's packet
        // One traffic event for the connection, its first: inserted without a look.
        QCOMPARE(got.counted.size(), 1);
        QVERIFY(got.counted[0].fresh);
        QVERIFY(got.counted[0].last);
        QCOMPARE(QString::fromStdString(got.counted[0].host), QStringLiteral("www.example.cn"));
        QVERIFY(got.counted[0].down > uint64_t(answer.size()));
        QVERIFY(got.counted[0].up > uint64_t(request.size()));
    }

    // The request in two segments the wrong way round, the answer's segments shuffled and some
    // sent twice: the same visit.
    void outOfOrderAndRetransmittedSegments()
    {
        for (quint32 seed : {1u, 2u, 3u, 4u}) {
            Conversation c(test::ipv4(10, 0, 0, 2), 40000, test::ipv4(10, 0, 0, 1), 80);
            const QByteArray request = "GET /shuffled HTTP/1.1\r\nHost: a.cn\r\n\r\n";
            const QByteArray answer =
                response("<html><title>\xe4\xb9\xb1\xe5\xba\x8f\xe7\x9a\x84\xe6\xa0\x87\xe9\xa2"
                         "\x98</title>" +
                         QByteArray(2000, 'y'));
            QList<QByteArray> frames{c.syn(), c.synAck(), c.ack()};
            frames << c.dataAt(0, 10, request.mid(10)) << c.dataAt(0, 0, request.left(10));
            c.advance(0, uint32_t(request.size()));
            QList<QByteArray> pieces;
            for (int i = 0; i < answer.size(); i += 250)
                pieces << c.data(1, answer.mid(i, 250));
            QRandomGenerator random(seed);
            std::shuffle(pieces.begin(), pieces.end(), random);
            pieces << pieces[0] << pieces[3]; // retransmissions
            frames << pieces << c.fin(0) << c.fin(1) << c.ack(0);
            const Collected got = run(frames);
            QCOMPARE(got.visits.size(), 1);
            QCOMPARE(QString::fromStdString(got.visits[0].target), QStringLiteral("/shuffled"));
            QCOMPARE(got.visits[0].title, QStringLiteral("乱序的标题"));
            QCOMPARE(got.visits[0].length, uint64_t(answer.size()));
        }
    }

    // Sequence numbers that pass 2^32 in the middle of a request and of an answer.
    void sequenceNumbersWrapAround()
    {
        Conversation c(test::ipv4(10, 0, 0, 2), 40010, test::ipv4(10, 0, 0, 1), 80, 0xFFFFFFF0u,
                       0xFFFFFF00u);
        const QByteArray answer = response("<title>wrapped</title>" + QByteArray(600, 'w'));
        const Collected got =
            run(pageConversation(c, "GET /wrap HTTP/1.1\r\nHost: w.cn\r\n\r\n", answer, 5));
        QCOMPARE(got.visits.size(), 1);
        QCOMPARE(got.visits[0].title, QStringLiteral("wrapped"));
        QCOMPARE(got.visits[0].length, uint64_t(answer.size()));
    }

    // Keep-alive: two pages and an image on one connection; HEAD and 304 answers have no body.
    void keptAliveConnectionAndObjects()
    {
        Conversation c(test::ipv4(10, 0, 0, 2), 40001, test::ipv4(10, 0, 0, 1), 8080);
        const QByteArray png(500, 'p');
        QList<QByteArray> frames{c.syn(), c.synAck(), c.ack()};
        frames << c.data(0, "GET /a HTTP/1.1\r\nHost: a.cn:8080\r\n\r\n")
               << c.data(1, response("<title>A</title>"))
               << c.data(0, "GET /logo.png HTTP/1.1\r\nHost: a.cn:8080\r\n\r\n")
               << c.data(1, response(png, "image/png"))
               << c.data(0, "HEAD /b HTTP/1.1\r\nHost: a.cn:8080\r\n\r\n")
               << c.data(1,
                         "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: 99\r\n\r\n")
               << c.data(0, "GET /c HTTP/1.1\r\nHost: a.cn:8080\r\n\r\n")
               << c.data(1, "HTTP/1.1 304 Not Modified\r\n\r\n")
               << c.data(0, "GET /d HTTP/1.1\r\nHost: a.cn:8080\r\n\r\n")
               << c.data(1, "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nTransfer-Encoding: "
                            "chunked\r\n\r\n5\r\n<titl\r\n8\r\ne>D</tit\r\n3\r\nle>\r\n0\r\n\r\n")
               << c.rst(0);
        const Collected got = run(frames);
        QStringList seen;
        for (const VisitEvent& v : got.visits)
            seen << QString::fromStdString(v.method + " " + v.target) + u'|' + v.title;
        QCOMPARE(seen, QStringList({"GET /a|A", "HEAD /b|", "GET /c|", "GET /d|D"}));
        QCOMPARE(QString::fromStdString(got.visits[0].host), QStringLiteral("a.cn:8080"));
    }

    void httpsServerNameFromSplitHello_data()
    {
        QTest::addColumn<int>("split"); // 0: one record in one segment; 1: one record in two
                                        // segments; 2: two records
        QTest::newRow("whole") << 0;
        QTest::newRow("two segments") << 1;
        QTest::newRow("two records") << 2;
    }

    void httpsServerNameFromSplitHello()
    {
        QFETCH(int, split);
        Conversation c(test::ipv4(10, 1, 1, 9), 51000, test::ipv4(198, 51, 100, 7), 443);
        const QByteArray hello = test::clientHelloMessage(
            "Secure.Example.COM.", QByteArray::fromHex("0010000e000c02683208687474702f312e31"));
        QList<QByteArray> frames{c.syn(), c.synAck(), c.ack()};
        if (split == 0) {
            frames << c.data(0, tlsRecord(hello));
        } else if (split == 1) {
            const QByteArray record = tlsRecord(hello);
            frames << c.data(0, record.left(40)) << c.data(0, record.mid(40));
        } else {
            frames << c.data(0, tlsRecord(hello.left(30)) + tlsRecord(hello.mid(30)));
        }
        frames << c.data(1, QByteArray(1400, 's')) << c.data(1, QByteArray(600, 's'))
               << c.data(0, QByteArray(50, 'c')) << c.fin(0) << c.fin(1);
        const Collected got = run(frames);
        QCOMPARE(got.visits.size(), 1);
        QVERIFY(got.visits[0].https);
        QCOMPARE(QString::fromStdString(got.visits[0].host), QStringLiteral("secure.example.com"));
        QCOMPARE(got.visits[0].length, uint64_t(2000));
    }

    void vlanTagsAndIpv6()
    {
        Conversation tagged(test::ipv4(10, 2, 0, 5), 41000, test::ipv4(10, 2, 0, 1), 80);
        tagged.vlanTags = {100, 200};
        Conversation six(test::ipv6("fd00:1::5"), 41001, test::ipv6("2001:db8::80"), 80);
        QList<QByteArray> frames = pageConversation(tagged, "GET / HTTP/1.1\r\nHost: v.cn\r\n\r\n",
                                                    response("<title>V</title>"));
        frames += pageConversation(six, "GET /6 HTTP/1.1\r\nHost: six.cn\r\n\r\n",
                                   response("<title>6</title>"));
        const Collected got = run(frames);
        QCOMPARE(got.visits.size(), 2);
        QCOMPARE(got.visits[0].title, QStringLiteral("V"));
        QCOMPARE(got.visits[1].title, QStringLiteral("6"));
        QCOMPARE(QString::fromStdString(got.visits[1].client.text()), QStringLiteral("fd00:1::5"));
    }

    // The capture kept only the first 120 bytes of each frame: the request line survives in
    // short frames, the body is lost, and nothing breaks.
    void framesCutShortByTheCapture()
    {
        Conversation c(test::ipv4(10, 0, 0, 2), 40002, test::ipv4(10, 0, 0, 1), 80);
        const QByteArray answer = response("<title>long</title>" + QByteArray(5000, 'z'));
        const Collected got =
            run(pageConversation(c, "GET /cut HTTP/1.1\r\nHost: cut.cn\r\n\r\n", answer, 4), 120);
        QCOMPARE(got.visits.size(), 1);
        QCOMPARE(QString::fromStdString(got.visits[0].target), QStringLiteral("/cut"));
        QVERIFY(got.down() > 5000); // every byte counted, captured or not
    }

    void bytesThatAreNoPackets()
    {
        Collected sink;
        Engine engine(sink);
        QRandomGenerator random(11);
        for (int i = 0; i < 5000; ++i) {
            QByteArray junk(random.bounded(120), Qt::Uninitialized);
            for (char& ch : junk)
                ch = char(random.bounded(256));
            if (i % 3 == 0 && junk.size() > 14) {
                junk[12] = char(0x08); // claims IPv4
                junk[13] = 0;
            }
            engine.frame(1, reinterpret_cast<const uint8_t*>(junk.constData()), size_t(junk.size()),
                         size_t(junk.size()), kStart + i);
        }
        engine.finish();
        QVERIFY(engine.stats().malformed > 0);
        QCOMPARE(engine.stats().packets, uint64_t(5000));
        QVERIFY(sink.visits.isEmpty());
    }

    // Refused and never-answered connections (a port scan) carry no data: no traffic rows.
    void connectionsWithoutDataAreNoTraffic()
    {
        QList<QByteArray> frames;
        for (int port = 1; port <= 50; ++port) {
            Conversation c(test::ipv4(10, 0, 0, 66), 40000 + port, test::ipv4(10, 0, 0, 1), port);
            frames << c.syn() << (port % 2 ? c.rst(1) : c.synAck());
        }
        const Collected got = run(frames);
        QVERIFY(got.counted.isEmpty());
        QVERIFY(got.visits.isEmpty());
    }

    void uploadsOfEachKind_data()
    {
        QTest::addColumn<QByteArray>("type");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("text");
        QTest::newRow("form, UTF-8")
            << QByteArray("application/x-www-form-urlencoded")
            << QByteArray("user=zhang+wei&msg=%E4%BD%A0%E5%A5%BD%26") << "user=zhang wei&msg=你好&";
        QTest::newRow("form, GBK") << QByteArray("application/x-www-form-urlencoded; charset=GBK")
                                   << QByteArray("q=%C4%E3%BA%C3") << "q=你好";
        QTest::newRow("multipart")
            << QByteArray("multipart/form-data; boundary=XyZ")
            << QByteArray("--XyZ\r\nContent-Disposition: form-data; name=\"title\"\r\n\r\n"
                          "\xe6\x8a\xa5\xe8\xa1\xa8\r\n--XyZ\r\nContent-Disposition: form-data; "
                          "name=\"file\"; filename=\"a.bin\"\r\nContent-Type: application/octet-"
                          "stream\r\n\r\n\x01\x02\x03\r\n--XyZ--\r\n")
            << "title=报表\nfile=[文件 a.bin，3 字节]";
        QTest::newRow("plain text")
            << QByteArray("text/plain") << QByteArray("\xe7\x95\x99\xe8\xa8\x80") << "留言";
        QTest::newRow("binary") << QByteArray("application/octet-stream") << QByteArray(10, '\x01')
                                << "[非文本数据：application/octet-stream，10 字节]";
    }

    // Bodies of POST requests, sent in two segments after the head.
    void uploadsOfEachKind()
    {
        QFETCH(QByteArray, type);
        QFETCH(QByteArray, body);
        QFETCH(QString, text);
        Conversation c(test::ipv4(10, 0, 0, 2), 40003, test::ipv4(10, 0, 0, 1), 80);
        QList<QByteArray> frames{c.syn(), c.synAck(), c.ack()};
        frames << c.data(0, "POST /post HTTP/1.1\r\nHost: up.cn\r\nContent-Type: " + type +
                                "\r\nContent-Length: " + QByteArray::number(body.size()) +
                                "\r\n\r\n")
               << c.data(0, body.left(5)) << c.data(0, body.mid(5))
               << c.data(1, response("<title>ok</title>")) << c.fin(0) << c.fin(1);
        const Collected got = run(frames);
        QCOMPARE(got.uploads.size(), 1);
        QCOMPARE(got.uploads[0].text, text);
        QCOMPARE(QString::fromStdString(got.uploads[0].host + got.uploads[0].target),
                 QStringLiteral("up.cn/post"));
    }

    // A long connection's bytes go out each minute and at the hour's turn; its first hand-over
    // is fresh, its last ends it.
    void trafficPerHourAndConnection()
    {
        Collected sink;
        Engine engine(sink);
        Conversation c(test::ipv4(10, 0, 0, 2), 40004, test::ipv4(10, 0, 0, 1), 22);
        const int64_t hour = localHourStart(kStart / 1000000) * 1000000;
        const int64_t times[] = {hour + 3598000000, hour + 3598001000, hour + 3598002000,
                                 hour + 3599000000, hour + 3601000000, hour + 3700000000};
        const QByteArray frames[] = {c.syn(),
                                     c.synAck(),
                                     c.ack(),
                                     c.data(0, QByteArray(100, 'a')),
                                     c.data(1, QByteArray(200, 'b')),
                                     c.fin(0)};
        for (int i = 0; i < 6; ++i)
            engine.frame(1, reinterpret_cast<const uint8_t*>(frames[i].constData()),
                         size_t(frames[i].size()), size_t(frames[i].size()), times[i]);
        engine.finish();
        QCOMPARE(sink.counted.size(), 3);
        QCOMPARE(sink.counted[0].hourStart * 1000000, hour);
        QVERIFY(sink.counted[0].fresh && !sink.counted[0].last);
        QCOMPARE(sink.counted[0].up, uint64_t(40 + 40 + 140)); // SYN, ACK, data
        QCOMPARE(sink.counted[1].hourStart * 1000000, hour + 3600000000);
        QVERIFY(!sink.counted[1].fresh);
        QCOMPARE(sink.counted[1].down, uint64_t(240));
        QVERIFY(sink.counted[2].last);
        QCOMPARE(QString::fromStdString(sink.counted[2].host), QStringLiteral("10.0.0.1"));
        QVERIFY(sink.visits.isEmpty());
    }
};

QTEST_GUILESS_MAIN(CaptureTest)
#include "test_capture.moc"
