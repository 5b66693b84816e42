#include "bench/capture/trafficgen.h"

#include "tests/outside/framebuilder.h"

#include <QRandomGenerator>
#include <QStringEncoder>
#include <algorithm>
#include <vector>

namespace lt::bench
{

namespace
{

using test::Conversation;
constexpr int kSegment = 1448; // MSS of an Ethernet LAN

struct Timed {
    int64_t time;
    QByteArray frame;
};

QByteArray terminal(int t)
{
    return test::ipv4(172, 16 + t / 60000, (t / 250) % 240, t % 250 + 1);
}

QByteArray server(int s)
{
    return test::ipv4(203, 0 + s / 62500, (s / 250) % 250, s % 250 + 1);
}

// What a browser's hello carries beside the server name (protocols, versions, padding).
const QByteArray kHelloBulk = QByteArray::fromHex("0010000e000c02683208687474702f312e31") +
                              QByteArray::fromHex("002b0003020304") + QByteArray(120, '\0');

QByteArray hostName(int s)
{
    return "www.site" + QByteArray::number(s) + ".cn";
}

class Generator
{
public:
    Generator(const TrafficShape& shape) : shape_(shape), random_(shape.seed) {}

    // One conversation's frames from its start time, a few milliseconds apart.
    std::vector<Timed> conversation(int64_t start, TrafficFile& counts)
    {
        const int t = random_.bounded(shape_.terminals);
        const int s = random_.bounded(shape_.sites);
        const int port = 1024 + int(nextPort_++ % 64000);
        const int kind = random_.bounded(100);
        const bool https = kind >= 65;
        Conversation c(terminal(t), port, server(s), https ? 443 : 80, random_.generate(),
                       random_.generate());
        std::vector<QByteArray> frames{c.syn(), c.synAck(), c.ack()};
        if (https) {
            frames.push_back(c.data(0, test::clientHelloRecord(hostName(s), {}, kHelloBulk)));
            sendBody(c, frames, 1, 3000); // server hello and certificate
            sendBody(c, frames, 1, 10000 + random_.bounded(300000));
            frames.push_back(c.data(0, QByteArray(400, 'c')));
            ++counts.pages;
        } else {
            const int requests = 1 + random_.bounded(3);
            for (int r = 0; r < requests; ++r)
                http(c, frames, s, kind, counts);
        }
        frames.push_back(c.fin(0));
        frames.push_back(c.fin(1));
        frames.push_back(c.ack(0));
        std::vector<Timed> out;
        int64_t time = start;
        for (QByteArray& f : frames) {
            out.push_back({time, std::move(f)});
            time += 200 + random_.bounded(3000);
        }
        ++counts.conversations;
        return out;
    }

private:
    void sendBody(Conversation& c, std::vector<QByteArray>& frames, int side, int bytes)
    {
        for (int sent = 0; sent < bytes; sent += kSegment)
            frames.push_back(c.data(side, QByteArray(std::min(kSegment, bytes - sent), 'd')));
    }

    void http(Conversation& c, std::vector<QByteArray>& frames, int s, int kind,
              TrafficFile& counts)
    {
        const QByteArray host = hostName(s);
        if (kind < 8) { // a form upload
            const QByteArray form =
                "user=u" + QByteArray::number(s) +
                "&msg=%E4%BD%A0%E5%A5%BD%EF%BC%8C%E6%98%8E%E5%A4%A9%E5%BC%80%E4%BC%9A";
            frames.push_back(c.data(0, "POST /form HTTP/1.1\r\nHost: " + host +
                                           "\r\nContent-Type: application/x-www-form-urlencoded\r\n"
                                           "Content-Length: " +
                                           QByteArray::number(form.size()) + "\r\n\r\n" + form));
            ++counts.uploads;
        } else {
            const bool object = kind < 20;
            frames.push_back(c.data(0, "GET /" + QByteArray(object ? "img/a.png" : "news/p.html") +
                                           "?id=" + QByteArray::number(random_.bounded(100000)) +
                                           " HTTP/1.1\r\nHost: " + host +
                                           "\r\nUser-Agent: Mozilla/5.0\r\nAccept: */*\r\n\r\n"));
            if (object) {
                const int size = 2000 + random_.bounded(30000);
                frames.push_back(c.data(1, "HTTP/1.1 200 OK\r\nContent-Type: image/png\r\n"
                                           "Content-Length: " +
                                               QByteArray::number(size) + "\r\n\r\n"));
                sendBody(c, frames, 1, size);
                return;
            }
        }
        const bool gbk = random_.bounded(2) == 0;
        QStringEncoder encoder(gbk ? "GBK" : "UTF-8");
        const QByteArray title = encoder(QStringLiteral("第%1号站点 - 新闻中心").arg(s));
        const QByteArray head = "<html><head><meta charset=\"" + QByteArray(gbk ? "gbk" : "utf-8") +
                                "\"><title>" + title + "</title></head><body>";
        const int size = 5000 + random_.bounded(80000);
        QByteArray body = head + QByteArray(std::max(0, size - int(head.size())), 'x');
        QByteArray answer = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: " +
                            QByteArray::number(body.size()) + "\r\n\r\n" + body;
        for (int i = 0; i < answer.size(); i += kSegment)
            frames.push_back(c.data(1, answer.mid(i, kSegment)));
        ++counts.pages;
    }

    TrafficShape shape_;
    QRandomGenerator random_;
    uint32_t nextPort_ = 0;
};

bool write(const QString& path, std::vector<Timed>& frames, TrafficFile& counts)
{
    std::stable_sort(frames.begin(), frames.end(),
                     [](const Timed& a, const Timed& b) { return a.time < b.time; });
    QList<test::Frame> out;
    out.reserve(qsizetype(frames.size()));
    for (Timed& f : frames) {
        counts.bytes += f.frame.size();
        out.append({std::move(f.frame), f.time, 0});
    }
    counts.packets = int64_t(out.size());
    return test::writeCapture(path, out);
}

} // namespace

TrafficFile writeTraffic(const QString& path, const TrafficShape& shape)
{
    Generator generator(shape);
    TrafficFile counts;
    std::vector<Timed> frames;
    frames.reserve(size_t(shape.packets + 1000));
    // Conversations start at a steady pace, so that about `concurrent` of them overlap.
    int64_t start = int64_t(1715936400) * 1000000; // 2024-05-17 in the morning
    while (int64_t(frames.size()) < shape.packets) {
        std::vector<Timed> c = generator.conversation(start, counts);
        const int64_t length = c.back().time - start;
        start += std::max<int64_t>(1, length / shape.concurrent);
        for (Timed& f : c)
            frames.push_back(std::move(f));
    }
    if (!write(path, frames, counts))
        counts.packets = 0;
    return counts;
}

TrafficFile writeOpenConnections(const QString& path, int connections)
{
    TrafficFile counts;
    std::vector<Timed> frames;
    std::vector<Conversation> open;
    open.reserve(size_t(connections));
    int64_t time = int64_t(1715936400) * 1000000;
    for (int i = 0; i < connections; ++i) {
        open.emplace_back(terminal(i % 2000), 1024 + i / 2000, server(i % 500), 80);
        Conversation& c = open.back();
        for (QByteArray f :
             {c.syn(), c.synAck(), c.ack(),
              c.data(0, "GET /stream HTTP/1.1\r\nHost: " + hostName(i % 500) + "\r\n\r\n"),
              c.data(1, "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n"
                        "Content-Length: 1000000\r\n\r\n<title>open</title>")})
            frames.push_back({time += 100, f});
    }
    for (Conversation& c : open)
        frames.push_back({time += 100, c.rst(0)});
    counts.conversations = connections;
    counts.pages = connections;
    if (!write(path, frames, counts))
        counts.packets = 0;
    return counts;
}

} // namespace lt::bench
