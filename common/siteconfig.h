#pragma once
// What the capture and blocking modules read from the configuration database: the terminals
// by address (usertable), the groups with their log levels and hour masks (grouptable), the
// classes (classtable) and the black and white lists (blacktable, whitetable).
//
// SiteConfig reads the tables into an immutable Snapshot that lookups read from any thread;
// refresh() asks the server for the tables' checksums (CHECKSUM TABLE, one cheap statement)
// and reads them again only when one changed, so a caller that refreshes every few seconds sees
// a renamed terminal, a group's new levels or a new list entry within that time.
//
// Site names are matched by domain: "a.b.example.com" matches an entry "example.com" (and
// "b.example.com"), never "notexample.com"; the longest matching entry wins. Names compare
// without regard to case and without a trailing dot; an entry's scheme ("http://") and port
// are ignored. An entry with a path ("example.com/games") matches only addresses under that
// path, and so never an HTTPS connection, whose path is not seen.

#include <QHash>
#include <QString>
#include <array>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace lt::db
{
class Connection;
}

namespace lt::site
{

// A group's log level: "0" 全记, "1" 半记, "2" 不记 (any other code counts as 全记).
enum class LogLevel { Full, Half, None };
LogLevel logLevel(QStringView code);

struct Terminal {
    QString name;
    QString team;
    bool registered = false; // false: an address usertable does not hold
};

struct Group {
    QString team;
    LogLevel browse = LogLevel::Full;
    LogLevel upload = LogLevel::Full;
    std::array<QString, 12> masks; // columns A … L: 24 characters, one an hour
    // Whether the hour starting at hour o'clock (0 … 23) is selected in the mask of the class
    // code ('A' … 'L'): position h holds hour h for h = 1 … 23, position 24 the hour from
    // midnight.
    bool hourSelected(QChar code, int hour) const;
};

struct ListEntry {
    QString name; // as stored, trimmed
    QString title;
    QString className; // black list only
    QChar origin;      // S: 'S' made in the console, 'N' delivered with the system
    bool white = false;
    bool logged = true; // white list: SF 'Y' (visits logged) or 'N'
};

// What a site's visit is under a group's policy at an hour.
struct Verdict {
    std::optional<ListEntry> entry; // the longest matching entry of either list
    QString className; // the black entry's class; "上网" for a site in no class; empty when white
    QChar code;        // the class's column of grouptable; null when white or unknown
    bool blocked = false; // a black or unclassified site whose class is selected at that hour
};

// A host as the lists compare it: lower case, without port, brackets and trailing dots.
QString normalHost(QStringView host);

class Snapshot
{
public:
    // usertable's row of the address; an unknown address is its own name in "临时工作组".
    Terminal terminal(const QString& address) const;
    // grouptable's row; a group it does not hold falls back to "临时工作组", and without that
    // row to a group that logs everything and selects no hour.
    const Group& group(const QString& team) const;
    QChar classCode(const QString& className) const; // null when classtable has no such class
    QString className(QChar code) const;

    std::optional<ListEntry> black(QStringView host, QStringView path = {}) const;
    std::optional<ListEntry> white(QStringView host, QStringView path = {}) const;
    // The longer of the two matches; a white entry as long as a black one wins.
    std::optional<ListEntry> listed(QStringView host, QStringView path = {}) const;
    // A selected hour blocks the class; a white-listed site is never blocked.
    Verdict verdict(const QString& team, QStringView host, QStringView path, int hour) const;

    int terminalCount() const { return int(terminals_.size()); }
    int groupCount() const { return int(groups_.size()); }
    int blackCount() const { return blackCount_; }
    int whiteCount() const { return whiteCount_; }

private:
    friend class SiteConfig;
    struct Entry {
        QString path; // lower case, without the trailing "/"; empty for a whole site
        ListEntry entry;
    };
    using Entries = QHash<QString, std::vector<Entry>>; // by normal host
    static void addEntry(Entries& list, const QString& name, ListEntry entry);
    static std::optional<ListEntry> match(const Entries& list, QStringView host, QStringView path,
                                          int* length);

    QHash<QString, Terminal> terminals_;
    QHash<QString, Group> groups_;
    Group fallback_;
    QHash<QString, QChar> codes_;
    QHash<QChar, QString> names_;
    Entries black_;
    Entries white_;
    int blackCount_ = 0;
    int whiteCount_ = 0;
};

class SiteConfig
{
public:
    // Reads through connection, which must stay open (it reopens itself) and be used from one
    // thread at a time. The first snapshot is empty until load() or refresh().
    explicit SiteConfig(db::Connection& connection);

    // Reads every table; false (the previous snapshot kept) when a statement failed.
    bool load();
    // Reads again when a table changed since the last reading; true when it read.
    bool refresh();

    std::shared_ptr<const Snapshot> snapshot() const;
    QString lastError() const; // the server's message of the last failure; empty after success

private:
    QString checksums();
    db::Connection& connection_;
    mutable std::mutex mutex_;
    std::shared_ptr<const Snapshot> snapshot_;
    QString checksums_;
    QString lastError_;
};

} // namespace lt::site
