#include "outside/monitor/recorder.h"

#include "common/clock.h"

#include <QDateTime>

namespace lt::monitor
{

namespace
{

constexpr qsizetype kColumnWidth = 16;
constexpr qsizetype kRepeatMemory = 20000; // entries of "半记" before old ones are forgotten

QString fromStd(const std::string& s)
{
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

QString pathOf(const std::string& target)
{
    return fromStd(target.substr(0, target.find_first_of("?#")));
}

} // namespace

QString addressColumn(const IpAddress& address)
{
    const QString text = QString::fromStdString(address.text());
    if (text.size() <= kColumnWidth)
        return text;
    return QLatin1Char('*') + text.right(kColumnWidth - 1);
}

Recorder::Recorder(logrows::RowWriter& writer, ConfigSource config)
    : writer_(writer), config_(std::move(config))
{
}

QString Recorder::timeText(int64_t micros)
{
    const int64_t second = micros / 1000000;
    if (second != cachedSecond_) {
        cachedSecond_ = second;
        cachedTime_ = acTime(QDateTime::fromSecsSinceEpoch(second));
    }
    return cachedTime_;
}

bool Recorder::repeated(const QString& address, const std::string& host, int64_t seconds)
{
    if (lastVisit_.size() > kRepeatMemory) {
        for (auto it = lastVisit_.begin(); it != lastVisit_.end();)
            it = seconds - it.value() >= kRepeatSeconds ? lastVisit_.erase(it) : std::next(it);
        // Still full of recent visits: forgetting them costs a few extra rows, not the time of
        // a sweep for every visit.
        if (lastVisit_.size() > kRepeatMemory)
            lastVisit_.clear();
    }
    const QString key = address + QLatin1Char('\n') + fromStd(host);
    const auto it = lastVisit_.constFind(key);
    if (it != lastVisit_.constEnd() && seconds - it.value() < kRepeatSeconds &&
        seconds >= it.value())
        return true;
    lastVisit_.insert(key, seconds);
    return false;
}

void Recorder::visit(const VisitEvent& e)
{
    const auto config = config_();
    const QString address = addressColumn(e.client);
    const site::Terminal terminal = config->terminal(address);
    const site::Group& group = config->group(terminal.team);
    const QString host = fromStd(e.host);
    const QString path = e.https ? QString() : pathOf(e.target);
    const int64_t seconds = e.time / 1000000;
    const int hour = QDateTime::fromSecsSinceEpoch(seconds).time().hour();
    const site::Verdict verdict = config->verdict(terminal.team, host, path, hour);
    const bool whiteUnlogged = verdict.entry && verdict.entry->white && !verdict.entry->logged;
    if (group.browse == site::LogLevel::None || whiteUnlogged || (verdict.blocked && blocker_) ||
        (group.browse == site::LogLevel::Half && repeated(address, e.host, seconds))) {
        ++counters_.leftOut;
        return;
    }
    const QString url = e.https ? QStringLiteral("https://") + host + QLatin1Char('/')
                                : QStringLiteral("http://") + host + fromStd(e.target);
    const QString className =
        verdict.entry && !verdict.entry->white ? verdict.entry->className : QString();
    const QString time = timeText(e.time);
    writer_.add(logrows::LogRow{terminal.name, address, time, terminal.team, e.title, url,
                                className, kAllowed, qint64(e.length), 1});
    writer_.add(logrows::VisitRow{url, e.title, className, time});
    ++counters_.visits;
}

void Recorder::upload(const UploadEvent& e)
{
    const auto config = config_();
    const QString address = addressColumn(e.client);
    const site::Terminal terminal = config->terminal(address);
    if (config->group(terminal.team).upload == site::LogLevel::None || e.text.isEmpty()) {
        ++counters_.leftOut;
        return;
    }
    const QString url = QStringLiteral("http://") + fromStd(e.host) + fromStd(e.target);
    writer_.add(logrows::UploadRow{terminal.name, address, url, timeText(e.time), e.text});
    ++counters_.uploads;
}

void Recorder::traffic(const TrafficEvent& e)
{
    const QDateTime hour = QDateTime::fromSecsSinceEpoch(e.hourStart);
    logrows::TrafficRow row;
    row.key = {addressColumn(e.client),
               addressColumn(e.server),
               hour.date().toString(QStringLiteral("yyyy-MM-dd")),
               fromStd(e.host),
               e.clientPort,
               e.serverPort};
    const int h = hour.time().hour();
    row.up[size_t(h)] = qint64(e.up);
    row.down[size_t(h)] = qint64(e.down);
    row.fresh = e.fresh;
    row.last = e.last;
    writer_.add(row);
    ++counters_.traffic;
}

} // namespace lt::monitor
