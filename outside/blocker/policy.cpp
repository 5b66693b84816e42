#include "outside/blocker/policy.h"

#include "common/clock.h"

namespace lt::blocker
{

namespace
{

constexpr qsizetype kMemory = 20000; // entries kept before old ones are forgotten

QString fromStd(const std::string& s)
{
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

} // namespace

QString requestPath(const std::string& target)
{
    std::string_view t(target);
    for (std::string_view scheme : {"http://", "https://"}) {
        if (t.size() > scheme.size() && t.substr(0, scheme.size()) == scheme) {
            t.remove_prefix(scheme.size());
            const size_t slash = t.find('/');
            t = slash == std::string_view::npos ? std::string_view("/") : t.substr(slash);
            break;
        }
    }
    return fromStd(std::string(t.substr(0, t.find_first_of("?#"))));
}

Judgement judge(const site::Snapshot& config, const Visit& visit, const QDateTime& when)
{
    Judgement j;
    const Request& r = visit.request;
    j.address = visit.terminal;
    j.host = r.host.empty() ? visit.server : fromStd(r.host);
    j.terminal = config.terminal(visit.terminal);
    const bool http = r.kind == Request::Kind::Http;
    const QString path = http ? requestPath(r.target) : QString();
    j.verdict = config.verdict(j.terminal.team, j.host, path, when.time().hour());
    j.blocked = j.verdict.blocked;
    if (http)
        j.url = QStringLiteral("http://") + j.host + fromStd(r.target);
    else if (r.kind == Request::Kind::Tls || visit.port == 443)
        j.url = QStringLiteral("https://") + j.host + QLatin1Char('/');
    else
        j.url = QStringLiteral("http://") + j.host + QLatin1Char('/');
    return j;
}

QByteArray blockPage(const QString& host)
{
    const QString title = kBlockNotice;
    const QByteArray body =
        QStringLiteral("<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>%1</title>"
                       "</head><body><h1>%1</h1><p>%2</p></body></html>\n")
            .arg(title, host.toHtmlEscaped())
            .toUtf8();
    return "HTTP/1.1 403 Forbidden\r\n"
           "Content-Type: text/html; charset=utf-8\r\n"
           "Content-Length: " +
           QByteArray::number(body.size()) +
           "\r\n"
           "Cache-Control: no-store\r\n"
           "Connection: close\r\n\r\n" +
           body;
}

bool BlockLog::seen(QHash<QString, qint64>& memory, const QString& key, qint64 seconds,
                    qint64 within)
{
    if (memory.size() > kMemory) {
        for (auto it = memory.begin(); it != memory.end();)
            it = seconds - it.value() >= kRepeatSeconds ? memory.erase(it) : std::next(it);
        if (memory.size() > kMemory)
            memory.clear();
    }
    const auto it = memory.constFind(key);
    if (it != memory.constEnd() && seconds >= it.value() && seconds - it.value() < within)
        return true;
    memory.insert(key, seconds);
    return false;
}

bool BlockLog::record(const site::Snapshot& config, const Judgement& j, const QDateTime& when,
                      qint64 length)
{
    const site::Group& group = config.group(j.terminal.team);
    if (group.browse == site::LogLevel::None)
        return false;
    const qint64 seconds = when.toSecsSinceEpoch();
    {
        std::lock_guard lock(mutex_);
        const QString who = j.address + QLatin1Char('\n');
        if (seen(retries_, who + j.url, seconds, kRetrySeconds))
            return false;
        if (group.browse == site::LogLevel::Half &&
            seen(repeats_, who + site::normalHost(j.host), seconds, kRepeatSeconds))
            return false;
    }
    // No page was fetched: the title is the list entry's, when the site has one.
    const QString title = j.verdict.entry ? j.verdict.entry->title : QString();
    const QString time = acTime(when);
    writer_.add(logrows::LogRow{j.terminal.name, j.address, time, j.terminal.team, title, j.url,
                                j.verdict.className, kBlockedResult, length, 1});
    writer_.add(logrows::VisitRow{j.url, title, j.verdict.className, time});
    return true;
}

} // namespace lt::blocker
