// The batched writer of the log rows (see logrows.h).

#include "common/datasources.h"
#include "common/dbconnect.h"
#include "common/logrows.h"
#include "common/odbc.h"

#include <QHash>
#include <QSet>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace lt::logrows
{

size_t qHash(const TrafficKey& key, size_t seed = 0)
{
    return ::qHashMulti(seed, key.srcip, key.dstip, key.date, key.strurl, key.srcport, key.dstport);
}

namespace
{

using Clock = std::chrono::steady_clock;

qint64 nowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch())
        .count();
}

// What a waiting row costs, roughly: its texts (two bytes a character) and the bookkeeping.
constexpr qint64 kRowOverhead = 96;
qint64 cost(const LogRow& r)
{
    return kRowOverhead +
           2 * (r.name.size() + r.ip.size() + r.acTime.size() + r.team.size() + r.title.size() +
                r.url.size() + r.className.size() + r.result.size());
}
qint64 cost(const UploadRow& r)
{
    return kRowOverhead +
           2 * (r.name.size() + r.ip.size() + r.url.size() + r.acTime.size() + r.text.size());
}
qint64 cost(const VisitRow& r)
{
    return kRowOverhead + 2 * (r.url.size() + r.title.size() + r.className.size() + 20);
}
constexpr qint64 kTrafficCost = 512;

// A statement of this many characters goes out even when fewer rows than a batch wait, so
// that large uploads stay far below the server's max_allowed_packet (16 MB by default).
constexpr qint64 kStatementChars = 4 << 20;
constexpr int kMaxRetryMs = 30000;
// Keys of connections whose rows exist, remembered so their bytes are added without a look;
// beyond this many the memory is cleared (a key forgotten is looked up again, never lost).
constexpr qsizetype kKnownKeys = 200000;

enum Db { LogDb, ConfigDb };

// A failure that means the database is away (as opposed to a statement the server refused).
bool unreachable(const db::Connection& c)
{
    const db::Error& e = c.lastError();
    return !c.isOpen() || db::connectionLost(e) || e.sqlState.startsWith(QLatin1String("08")) ||
           e.sqlState == QLatin1String("HYT00");
}

template <typename Row> struct Queue {
    std::deque<Row> rows;
    qint64 oldest = -1; // when the oldest waiting row came, ms; -1 when none waits
};

} // namespace

struct RowWriter::State {
    Settings settings;
    db::Connection* conn[2] = {nullptr, nullptr};
    std::unique_ptr<db::Connection> own[2];
    QString connectionString[2];

    mutable std::mutex mutex; // guards everything below but the connections
    std::condition_variable wake;
    std::condition_variable flushed;
    Queue<LogRow> logs;
    Queue<UploadRow> uploads;
    Queue<VisitRow> visits;
    QHash<TrafficKey, TrafficRow> traffic;
    qint64 trafficOldest = -1;
    Stats stats;

    std::thread thread;
    bool stopping = false;
    bool flushWanted = false;
    bool batchFull = false; // a table has a whole batch waiting
    quint64 flushRound = 0;
    bool flushOk = true;

    // Used by the writing thread only.
    std::mutex writing;
    qint64 nextTry[2] = {0, 0};
    int pause[2] = {0, 0};
    QSet<TrafficKey> known;
    bool passOk = true;

    db::Connection* ready(Db which);
    void failed(Db which, const QString& what);
    void succeeded(Db which);
    bool due(qint64 oldest, size_t count, bool all) const;
    template <typename Row> void writeQueue(Queue<Row>& q, Table table, Db which, bool all);
    template <typename Row> bool writeOneByOne(Queue<Row>& q, Table table, Db which, int n);
    void writeTraffic(bool all);
    bool writeTrafficRows(const QList<TrafficRow>& rows);
    bool insertTraffic(db::Connection& c, const QList<TrafficRow>& rows);
    bool updateTraffic(db::Connection& c, const QList<TrafficRow>& rows);
    bool lookThenWrite(db::Connection& c, const TrafficRow& row);
    void putBack(const QList<TrafficRow>& rows);
    bool pass(bool all);
    void run();
    qint64 waitMs() const;
};

namespace
{

QString databaseName(int which)
{
    return which == LogDb ? QStringLiteral("安全控制中心") : QStringLiteral("数据采集监控系统");
}

} // namespace

db::Connection* RowWriter::State::ready(Db which)
{
    db::Connection* c = conn[which];
    if (own[which] && !c->isOpen() && !c->open(connectionString[which])) {
        failed(which, QStringLiteral("连接%1数据库失败").arg(databaseName(which)));
        return nullptr;
    }
    return c;
}

void RowWriter::State::failed(Db which, const QString& what)
{
    pause[which] = std::min(pause[which] ? pause[which] * 2 : settings.retryMs, kMaxRetryMs);
    nextTry[which] = nowMs() + pause[which];
    passOk = false;
    std::lock_guard lock(mutex);
    (which == LogDb ? stats.logReachable : stats.configReachable) = false;
    stats.lastError = what + QStringLiteral("：") + conn[which]->lastError().message;
}

void RowWriter::State::succeeded(Db which)
{
    pause[which] = 0;
    nextTry[which] = 0;
    std::lock_guard lock(mutex);
    (which == LogDb ? stats.logReachable : stats.configReachable) = true;
}

bool RowWriter::State::due(qint64 oldest, size_t count, bool all) const
{
    if (count == 0)
        return false;
    return all || count >= size_t(settings.batchRows) || nowMs() - oldest >= settings.batchMs;
}

template <typename Row>
void RowWriter::State::writeQueue(Queue<Row>& q, Table table, Db which, bool all)
{
    for (;;) {
        std::vector<Row> batch;
        {
            std::lock_guard lock(mutex);
            if (!due(q.oldest, q.rows.size(), all))
                return;
            qint64 chars = 0;
            for (size_t i = 0; i < q.rows.size() && batch.size() < size_t(settings.batchRows) &&
                               (batch.empty() || chars < kStatementChars);
                 ++i) {
                chars += cost(q.rows[i]);
                batch.push_back(q.rows[i]);
            }
        }
        if (!all && nowMs() < nextTry[which])
            return;
        db::Connection* c = ready(which);
        if (!c)
            return;
        const int n = int(batch.size());
        if (c->execute(insertStatement(batch.data(), batch.data() + n))) {
            succeeded(which);
            std::lock_guard lock(mutex);
            for (int i = 0; i < n; ++i) {
                stats.waitingBytes -= cost(q.rows.front());
                q.rows.pop_front();
            }
            stats.written[int(table)] += n;
            ++stats.batches;
            q.oldest = q.rows.empty() ? -1 : nowMs();
            continue;
        }
        if (unreachable(*c)) {
            failed(which, QStringLiteral("写入%1数据库失败").arg(databaseName(which)));
            return;
        }
        if (!writeOneByOne(q, table, which, n))
            return;
    }
}

// The server refused a batch: each row on its own, so that only the rows at fault are lost.
template <typename Row>
bool RowWriter::State::writeOneByOne(Queue<Row>& q, Table table, Db which, int n)
{
    db::Connection* c = conn[which];
    for (int i = 0; i < n; ++i) {
        Row row;
        {
            std::lock_guard lock(mutex);
            row = q.rows.front();
        }
        const bool ok = c->execute(insertStatement(&row, &row + 1));
        if (!ok && unreachable(*c)) {
            failed(which, QStringLiteral("写入%1数据库失败").arg(databaseName(which)));
            return false;
        }
        std::lock_guard lock(mutex);
        stats.waitingBytes -= cost(q.rows.front());
        q.rows.pop_front();
        if (ok) {
            ++stats.written[int(table)];
            ++stats.batches;
        } else {
            ++stats.refused[int(table)];
            passOk = false;
            stats.lastError =
                QStringLiteral("%1拒绝了一行（%2）：%3")
                    .arg(databaseName(which), tableName(table), c->lastError().message);
        }
    }
    std::lock_guard lock(mutex);
    q.oldest = q.rows.empty() ? -1 : nowMs();
    return true;
}

void RowWriter::State::writeTraffic(bool all)
{
    QList<TrafficRow> rows;
    {
        std::lock_guard lock(mutex);
        if (!due(trafficOldest, size_t(traffic.size()), all))
            return;
        if (!all && nowMs() < nextTry[ConfigDb])
            return;
        rows = traffic.values();
        traffic.clear();
        trafficOldest = -1;
        stats.waitingBytes -= kTrafficCost * rows.size();
    }
    if (!writeTrafficRows(rows))
        putBack(rows);
}

// Rows of keys this writer has written go out as one UPDATE per table and batch; rows of new
// connections as one INSERT; any other key is looked up first. Both tables of a batch change in
// one transaction, so a key never has an uptable row without its downtable row.
bool RowWriter::State::writeTrafficRows(const QList<TrafficRow>& rows)
{
    db::Connection* c = ready(ConfigDb);
    if (!c)
        return false;
    QList<TrafficRow> inserts, updates, others;
    for (const TrafficRow& r : rows)
        (known.contains(r.key) ? updates : r.fresh ? inserts : others).append(r);
    const qsizetype step = std::max(settings.batchRows / 4, 1);
    QList<TrafficRow> done;
    bool ok = true;
    for (const QList<TrafficRow>* group : {&inserts, &updates}) {
        for (qsizetype i = 0; ok && i < group->size(); i += step) {
            const QList<TrafficRow> part = group->mid(i, step);
            ok = group == &inserts ? insertTraffic(*c, part) : updateTraffic(*c, part);
            if (ok)
                done += part;
        }
    }
    for (qsizetype i = 0; ok && i < others.size(); ++i) {
        ok = lookThenWrite(*c, others[i]);
        if (ok)
            done += others[i];
    }
    if (known.size() > kKnownKeys)
        known.clear();
    for (const TrafficRow& r : done) {
        if (r.last)
            known.remove(r.key);
        else
            known.insert(r.key);
    }
    {
        std::lock_guard lock(mutex);
        stats.written[int(Table::Traffic)] += done.size();
    }
    if (ok) {
        succeeded(ConfigDb);
        return true;
    }
    const bool away = unreachable(*c);
    QSet<TrafficKey> written;
    for (const TrafficRow& r : done)
        written.insert(r.key);
    QList<TrafficRow> rest;
    for (const TrafficRow& r : rows) {
        if (!written.contains(r.key))
            rest += r;
    }
    if (away) {
        failed(ConfigDb, QStringLiteral("写入%1数据库失败").arg(databaseName(ConfigDb)));
        putBack(rest);
    } else {
        std::lock_guard lock(mutex);
        stats.refused[int(Table::Traffic)] += rest.size();
        stats.lastError =
            QStringLiteral("数据采集监控系统拒绝了流量计数：") + c->lastError().message;
        passOk = false;
    }
    return true;
}

bool RowWriter::State::insertTraffic(db::Connection& c, const QList<TrafficRow>& rows)
{
    const TrafficRow* b = rows.constData();
    const TrafficRow* e = b + rows.size();
    if (!c.beginTransaction())
        return false;
    if (c.execute(insertStatement(b, e, true)) && c.execute(insertStatement(b, e, false)) &&
        c.commit())
        return true;
    c.rollback();
    return false;
}

bool RowWriter::State::updateTraffic(db::Connection& c, const QList<TrafficRow>& rows)
{
    const TrafficRow* b = rows.constData();
    const TrafficRow* e = b + rows.size();
    const QString up = updateStatement(b, e, true);
    const QString down = updateStatement(b, e, false);
    if (!c.beginTransaction())
        return false;
    if ((up.isEmpty() || c.execute(up)) && (down.isEmpty() || c.execute(down)) && c.commit())
        return true;
    c.rollback();
    return false;
}

bool RowWriter::State::lookThenWrite(db::Connection& c, const TrafficRow& row)
{
    const db::Recordset found =
        c.query(QStringLiteral("SELECT COUNT(*) FROM uptable WHERE ") + trafficCondition(row.key));
    if (c.failed())
        return false;
    return found.field(0).toLongLong() > 0 ? updateTraffic(c, {row}) : insertTraffic(c, {row});
}

void RowWriter::State::putBack(const QList<TrafficRow>& rows)
{
    std::lock_guard lock(mutex);
    for (const TrafficRow& r : rows) {
        auto it = traffic.find(r.key);
        if (it == traffic.end()) {
            traffic.insert(r.key, r);
            stats.waitingBytes += kTrafficCost;
            continue;
        }
        for (int h = 0; h < 24; ++h) {
            it->up[h] += r.up[h];
            it->down[h] += r.down[h];
        }
        it->fresh = it->fresh && r.fresh;
        it->last = it->last || r.last;
    }
    if (trafficOldest < 0 && !traffic.isEmpty())
        trafficOldest = nowMs();
}

bool RowWriter::State::pass(bool all)
{
    std::lock_guard lock(writing);
    passOk = true;
    writeQueue(logs, Table::Log, LogDb, all);
    writeQueue(uploads, Table::Upload, LogDb, all);
    writeQueue(visits, Table::Visit, ConfigDb, all);
    writeTraffic(all);
    if (all) {
        std::lock_guard l(mutex);
        passOk = passOk && logs.rows.empty() && uploads.rows.empty() && visits.rows.empty() &&
                 traffic.isEmpty();
    }
    return passOk;
}

// How long the thread may sleep before the oldest waiting row is due.
qint64 RowWriter::State::waitMs() const
{
    qint64 oldest = -1;
    for (qint64 o : {logs.oldest, uploads.oldest, visits.oldest, trafficOldest}) {
        if (o >= 0 && (oldest < 0 || o < oldest))
            oldest = o;
    }
    if (oldest < 0)
        return settings.batchMs;
    return std::clamp<qint64>(oldest + settings.batchMs - nowMs(), 1, settings.batchMs);
}

void RowWriter::State::run()
{
    // Connected before the first rows come, so that they do not wait for it.
    for (Db which : {LogDb, ConfigDb}) {
        std::lock_guard writingLock(writing);
        ready(which);
    }
    std::unique_lock lock(mutex);
    while (!stopping) {
        wake.wait_for(lock, std::chrono::milliseconds(waitMs()),
                      [this] { return flushWanted || stopping || batchFull; });
        const bool all = flushWanted || stopping;
        const bool wanted = flushWanted;
        flushWanted = false;
        batchFull = false;
        lock.unlock();
        const bool ok = pass(all);
        lock.lock();
        if (wanted) {
            flushOk = ok;
            ++flushRound;
            flushed.notify_all();
        }
    }
}

RowWriter::RowWriter(db::Connection& log, db::Connection& config, const Settings& settings)
    : d(std::make_unique<State>())
{
    d->settings = settings;
    d->conn[LogDb] = &log;
    d->conn[ConfigDb] = &config;
}

RowWriter::RowWriter(db::Connection& log, db::Connection& config)
    : RowWriter(log, config, Settings{})
{
}

RowWriter::RowWriter(const Settings& settings) : d(std::make_unique<State>())
{
    d->settings = settings;
    d->connectionString[LogDb] = settings.logConnection;
    d->connectionString[ConfigDb] = settings.configConnection;
    if (settings.logConnection.isEmpty() || settings.configConnection.isEmpty()) {
        const dsn::ConnectionStrings strings = dsn::chosenConnectionStrings();
        if (settings.logConnection.isEmpty())
            d->connectionString[LogDb] = strings.log;
        if (settings.configConnection.isEmpty())
            d->connectionString[ConfigDb] = strings.config;
    }
    for (int i : {LogDb, ConfigDb}) {
        d->own[i] = std::make_unique<db::Connection>();
        d->conn[i] = d->own[i].get();
    }
}

RowWriter::~RowWriter()
{
    if (d->thread.joinable()) {
        {
            std::lock_guard lock(d->mutex);
            d->stopping = true;
        }
        d->wake.notify_all();
        d->thread.join();
    } else {
        d->pass(true);
    }
}

void RowWriter::start()
{
    if (d->thread.joinable() || !d->own[LogDb])
        return;
    d->thread = std::thread([this] { d->run(); });
}

namespace
{

template <typename Row>
void enqueue(RowWriter::Stats& stats, const RowWriter::Settings& settings, Queue<Row>& q,
             const Row& row, Table table, bool& batchFull, std::condition_variable& wake)
{
    const qint64 c = cost(row);
    if (stats.waitingBytes + c > settings.bufferBytes) {
        ++stats.dropped[int(table)];
        return;
    }
    stats.waitingBytes += c;
    if (q.rows.empty())
        q.oldest = nowMs();
    q.rows.push_back(row);
    if (q.rows.size() == size_t(settings.batchRows)) {
        batchFull = true;
        wake.notify_one();
    }
}

} // namespace

void RowWriter::add(const LogRow& row)
{
    std::lock_guard lock(d->mutex);
    enqueue(d->stats, d->settings, d->logs, row, Table::Log, d->batchFull, d->wake);
}

void RowWriter::add(const UploadRow& row)
{
    std::lock_guard lock(d->mutex);
    enqueue(d->stats, d->settings, d->uploads, row, Table::Upload, d->batchFull, d->wake);
}

void RowWriter::add(const VisitRow& row)
{
    std::lock_guard lock(d->mutex);
    enqueue(d->stats, d->settings, d->visits, row, Table::Visit, d->batchFull, d->wake);
}

void RowWriter::add(const TrafficRow& row)
{
    std::lock_guard lock(d->mutex);
    auto it = d->traffic.find(row.key);
    if (it == d->traffic.end()) {
        if (d->stats.waitingBytes + kTrafficCost > d->settings.bufferBytes) {
            ++d->stats.dropped[int(Table::Traffic)];
            return;
        }
        d->stats.waitingBytes += kTrafficCost;
        if (d->traffic.isEmpty())
            d->trafficOldest = nowMs();
        d->traffic.insert(row.key, row);
        if (d->traffic.size() == d->settings.batchRows) {
            d->batchFull = true;
            d->wake.notify_one();
        }
        return;
    }
    for (int h = 0; h < 24; ++h) {
        it->up[h] += row.up[h];
        it->down[h] += row.down[h];
    }
    it->last = it->last || row.last;
}

bool RowWriter::flush()
{
    if (!d->thread.joinable())
        return d->pass(true);
    std::unique_lock lock(d->mutex);
    const quint64 round = d->flushRound;
    d->flushWanted = true;
    d->wake.notify_all();
    d->flushed.wait(lock, [&] { return d->flushRound > round; });
    return d->flushOk;
}

RowWriter::Stats RowWriter::stats() const
{
    std::lock_guard lock(d->mutex);
    Stats s = d->stats;
    s.waitingRows = qint64(d->logs.rows.size() + d->uploads.rows.size() + d->visits.rows.size()) +
                    d->traffic.size();
    return s;
}

qint64 RowWriter::Stats::totalDropped() const
{
    qint64 sum = 0;
    for (qint64 n : dropped)
        sum += n;
    return sum;
}

} // namespace lt::logrows
