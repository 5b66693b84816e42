#include "common/siteconfig.h"

#include "common/odbc.h"
#include "common/schema.h"

namespace lt::site
{

namespace
{

const QString kGeneralClass = QStringLiteral("上网"); // the class of a site in no list
constexpr QChar kGeneralCode = u'A';

QString field(const db::Recordset& rs, int index)
{
    return rs.field(index).toString().trimmed();
}

QChar flag(const db::Recordset& rs, int index)
{
    const QString text = field(rs, index);
    return text.isEmpty() ? QChar() : text[0].toUpper();
}

// An entry as the lists store it ("http://www.a.cn:8080/x/") split into its host and its path.
std::pair<QString, QString> splitEntry(QStringView name)
{
    QString text = name.trimmed().toString().toLower();
    for (const QLatin1String scheme : {QLatin1String("http://"), QLatin1String("https://")}) {
        if (text.startsWith(scheme))
            text.remove(0, scheme.size());
    }
    while (text.startsWith(QLatin1String("*.")) || text.startsWith(QLatin1Char('.')))
        text.remove(0, text.startsWith(QLatin1Char('.')) ? 1 : 2);
    const qsizetype slash = text.indexOf(QLatin1Char('/'));
    QString path = slash < 0 ? QString() : text.mid(slash);
    while (path.endsWith(QLatin1Char('/')))
        path.chop(1);
    return {normalHost(slash < 0 ? QStringView(text) : QStringView(text).left(slash)), path};
}

// Whether path lies under prefix: equal, or continuing with "/", "?" or "#".
bool underPath(QStringView path, QStringView prefix)
{
    if (!path.startsWith(prefix, Qt::CaseInsensitive))
        return false;
    if (path.size() == prefix.size())
        return true;
    const QChar next = path[prefix.size()];
    return next == u'/' || next == u'?' || next == u'#';
}

} // namespace

LogLevel logLevel(QStringView code)
{
    const QStringView c = code.trimmed();
    if (c == u"1")
        return LogLevel::Half;
    if (c == u"2")
        return LogLevel::None;
    return LogLevel::Full;
}

bool Group::hourSelected(QChar code, int hour) const
{
    const int column = code.unicode() - u'A';
    if (column < 0 || column >= int(masks.size()) || hour < 0 || hour > 23)
        return false;
    const int position = hour == 0 ? 24 : hour;
    const QString& mask = masks[size_t(column)];
    return position <= mask.size() && mask[position - 1] == u'1';
}

QString normalHost(QStringView host)
{
    QStringView h = host.trimmed();
    if (h.startsWith(u'[')) {
        const qsizetype close = h.indexOf(u']');
        h = close < 0 ? h.mid(1) : h.mid(1, close - 1);
    } else if (h.count(u':') == 1) {
        h = h.left(h.indexOf(u':')); // a port; an IPv6 address has several colons
    }
    while (h.endsWith(u'.'))
        h.chop(1);
    return h.toString().toLower();
}

Terminal Snapshot::terminal(const QString& address) const
{
    const auto it = terminals_.constFind(address.trimmed());
    if (it != terminals_.constEnd())
        return *it;
    return {address.trimmed(), schema::kBuiltInGroup, false};
}

const Group& Snapshot::group(const QString& team) const
{
    auto it = groups_.constFind(team.trimmed());
    if (it == groups_.constEnd())
        it = groups_.constFind(schema::kBuiltInGroup);
    return it == groups_.constEnd() ? fallback_ : *it;
}

QChar Snapshot::classCode(const QString& className) const
{
    return codes_.value(className.trimmed());
}

QString Snapshot::className(QChar code) const
{
    return names_.value(code);
}

void Snapshot::addEntry(Entries& list, const QString& name, ListEntry entry)
{
    const auto [host, path] = splitEntry(name);
    if (host.isEmpty())
        return;
    std::vector<Entry>& bucket = list[host];
    for (Entry& e : bucket) {
        if (e.path == path) {
            // The same name twice: the console's entry over the delivered one.
            if (entry.origin == u'S' && e.entry.origin != u'S')
                e.entry = std::move(entry);
            return;
        }
    }
    bucket.push_back({path, std::move(entry)});
}

std::optional<ListEntry> Snapshot::match(const Entries& list, QStringView host, QStringView path,
                                         int* length)
{
    const QString h = normalHost(host);
    const ListEntry* best = nullptr;
    int bestLength = -1;
    for (qsizetype from = 0; from >= 0 && from < h.size();) {
        const QStringView suffix = QStringView(h).mid(from);
        const auto it = list.constFind(suffix.toString());
        if (it != list.constEnd()) {
            for (const Entry& e : *it) {
                const int len = int(suffix.size() + e.path.size());
                if (len > bestLength && (e.path.isEmpty() || underPath(path, e.path))) {
                    best = &e.entry;
                    bestLength = len;
                }
            }
        }
        const qsizetype dot = h.indexOf(u'.', from);
        from = dot < 0 ? -1 : dot + 1;
    }
    *length = bestLength;
    if (!best)
        return std::nullopt;
    return *best;
}

std::optional<ListEntry> Snapshot::black(QStringView host, QStringView path) const
{
    int length = 0;
    return match(black_, host, path, &length);
}

std::optional<ListEntry> Snapshot::white(QStringView host, QStringView path) const
{
    int length = 0;
    return match(white_, host, path, &length);
}

std::optional<ListEntry> Snapshot::listed(QStringView host, QStringView path) const
{
    int blackLength = 0, whiteLength = 0;
    std::optional<ListEntry> b = match(black_, host, path, &blackLength);
    std::optional<ListEntry> w = match(white_, host, path, &whiteLength);
    if (w && whiteLength >= blackLength)
        return w;
    return b;
}

Verdict Snapshot::verdict(const QString& team, QStringView host, QStringView path, int hour) const
{
    Verdict v;
    v.entry = listed(host, path);
    if (v.entry && v.entry->white)
        return v;
    if (v.entry) {
        v.className = v.entry->className;
        v.code = classCode(v.className);
    } else {
        v.code = kGeneralCode;
        v.className = className(kGeneralCode);
        if (v.className.isEmpty())
            v.className = kGeneralClass;
    }
    v.blocked = !v.code.isNull() && group(team).hourSelected(v.code, hour);
    return v;
}

SiteConfig::SiteConfig(db::Connection& connection)
    : connection_(connection), snapshot_(std::make_shared<Snapshot>())
{
}

QString SiteConfig::checksums()
{
    db::Recordset rs = connection_.query(
        QStringLiteral("CHECKSUM TABLE usertable,grouptable,classtable,blacktable,whitetable"));
    if (connection_.failed())
        return {};
    QString sums;
    for (; !rs.eof(); rs.moveNext())
        sums += rs.field(1).toString() + QLatin1Char(',');
    return sums;
}

bool SiteConfig::load()
{
    db::Connection& c = connection_;
    auto next = std::make_shared<Snapshot>();
    const QString sums = checksums();

    db::Recordset users = c.query(QStringLiteral("SELECT Name,IP,Team FROM usertable"));
    bool ok = !c.failed();
    for (; ok && !users.eof(); users.moveNext()) {
        const QString ip = field(users, 1);
        if (!ip.isEmpty() && !next->terminals_.contains(ip))
            next->terminals_.insert(ip, {field(users, 0), field(users, 2), true});
    }

    QString columns = QStringLiteral("Team,DnLog,UpLog");
    for (char code = 'A'; code <= 'L'; ++code)
        columns += QStringLiteral(",") + QLatin1Char(code);
    db::Recordset groups = c.query(QStringLiteral("SELECT ") + columns + " FROM grouptable");
    ok = ok && !c.failed();
    for (; ok && !groups.eof(); groups.moveNext()) {
        Group g;
        g.team = field(groups, 0);
        g.browse = logLevel(field(groups, 1));
        g.upload = logLevel(field(groups, 2));
        for (int i = 0; i < 12; ++i)
            g.masks[size_t(i)] = field(groups, 3 + i);
        if (!next->groups_.contains(g.team))
            next->groups_.insert(g.team, g);
    }

    db::Recordset classes = c.query(QStringLiteral("SELECT Class,Code FROM classtable"));
    ok = ok && !c.failed();
    for (; ok && !classes.eof(); classes.moveNext()) {
        const QString code = field(classes, 1);
        if (code.size() != 1)
            continue;
        next->codes_.insert(field(classes, 0), code[0].toUpper());
        next->names_.insert(code[0].toUpper(), field(classes, 0));
    }

    db::Recordset black = c.query(QStringLiteral("SELECT Name,Title,Class,S FROM blacktable"));
    ok = ok && !c.failed();
    for (; ok && !black.eof(); black.moveNext()) {
        ListEntry e{field(black, 0), field(black, 1), field(black, 2), flag(black, 3), false, true};
        Snapshot::addEntry(next->black_, e.name, e);
        ++next->blackCount_;
    }

    db::Recordset white = c.query(QStringLiteral("SELECT Name,Title,S,SF FROM whitetable"));
    ok = ok && !c.failed();
    for (; ok && !white.eof(); white.moveNext()) {
        ListEntry e{field(white, 0),
                    field(white, 1),
                    QString(),
                    flag(white, 2),
                    true,
                    field(white, 3).compare(QLatin1String("N"), Qt::CaseInsensitive) != 0};
        Snapshot::addEntry(next->white_, e.name, e);
        ++next->whiteCount_;
    }

    std::lock_guard lock(mutex_);
    if (!ok) {
        lastError_ = c.lastError().message;
        return false;
    }
    lastError_.clear();
    snapshot_ = std::move(next);
    checksums_ = sums;
    return true;
}

bool SiteConfig::refresh()
{
    const QString sums = checksums();
    {
        std::lock_guard lock(mutex_);
        if (sums.isEmpty()) {
            lastError_ = connection_.lastError().message;
            return false;
        }
        if (sums == checksums_)
            return false;
    }
    return load();
}

std::shared_ptr<const Snapshot> SiteConfig::snapshot() const
{
    std::lock_guard lock(mutex_);
    return snapshot_;
}

QString SiteConfig::lastError() const
{
    std::lock_guard lock(mutex_);
    return lastError_;
}

} // namespace lt::site
