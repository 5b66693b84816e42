#pragma once
// The one owner of the rows that the capture side writes: the browse log (logtable), the upload
// log (upsendtable), the recent visits (webtable) and the per-connection traffic counters
// (uptable, downtable). Each row type has its explicit column list, and every statement that
// writes such rows names its columns, so a table that gains a column later still takes them.
//
// Values are cut to their column's width (MariaDB counts characters; a strict server refuses
// a whole statement for one value too long) and lose NUL characters (the database layer
// refuses a statement holding one), then quoted with db::sqlEscape.
//
// RowWriter batches the rows: one multi-row INSERT per table and batch, sent when a table has
// batchRows rows waiting or the oldest has waited batchMs. When the server goes away the rows
// wait in a bounded buffer (bufferBytes, 64 MB by default: about 200,000 browse-log rows) and
// go out once the connection is back; what arrives beyond the bound is dropped and counted per
// table. A row the server refuses for its own sake (not for a lost connection) is dropped and
// counted as refused, so one bad value never holds back the rows behind it.

#include <QString>
#include <array>
#include <memory>

namespace lt::db
{
class Connection;
}

namespace lt::logrows
{

// Browse log: one row per page visit of a terminal.
struct LogRow {
    QString name;      // terminal name
    QString ip;        // terminal address
    QString acTime;    // "YY-MM-DD HH:MM:SS"
    QString team;      // the terminal's group
    QString title;     // page title, or empty
    QString url;       // address visited
    QString className; // class name of classtable, or empty
    QString result;    // "放行", "阻断" or "积累"
    qint64 length = 0; // bytes transferred (nLength, written as decimal text)
    int f = 1;         // visits the row stands for
};

// Upload log: what a terminal sent.
struct UploadRow {
    QString name;
    QString ip;
    QString url; // destination
    QString acTime;
    QString text; // UpSendTxt
};

// Recent visits, as the console's recent-visit view and the keeper's pruning read them.
struct VisitRow {
    QString url;
    QString title;
    QString className;
    QString acTime;
    QString sf = QStringLiteral("N");
};

// One connection's row of uptable and downtable: the same key in both tables.
struct TrafficKey {
    QString srcip; // the terminal
    QString dstip; // the server
    QString date;  // "yyyy-MM-dd"
    QString strurl;
    int srcport = 0;
    int dstport = 0;
    bool operator==(const TrafficKey&) const = default;
};

// Bytes to add to a connection's hourly counters: up to uptable, down to downtable.
struct TrafficRow {
    TrafficKey key;
    std::array<qint64, 24> up{};
    std::array<qint64, 24> down{};
    // The caller knows that no row of this key exists yet (a connection whose start it saw),
    // so the writer inserts it without looking first.
    bool fresh = false;
    // No more bytes will come for this key; the writer forgets it after writing.
    bool last = false;
};

enum class Table { Log, Upload, Visit, Traffic, Count };
constexpr int kTables = int(Table::Count);
QString tableName(Table table); // "logtable" …; "uptable/downtable" for Traffic

inline const QString kLogColumns =
    QStringLiteral("Name,IP,AcTime,Team,Title,URL,Class,Result,nLength,F");
inline const QString kUploadColumns = QStringLiteral("Name,IP,URL,AcTime,UpSendTxt");
inline const QString kVisitColumns = QStringLiteral("URL,Title,Class,AcTime,SF");
QString trafficColumns(); // "srcip,dstip,date,strurl,srcport,dstport,t0,…,t23"

// text without NUL characters, cut to at most maxChars characters (code points).
QString fitted(QStringView text, int maxChars);

// The parenthesised values of one row, fitted and quoted: "('a','b',…)".
QString values(const LogRow& row);
QString values(const UploadRow& row);
QString values(const VisitRow& row);
QString values(const TrafficRow& row, bool up);

// "INSERT INTO logtable(Name,IP,…,F) VALUES ": the head of every statement that adds rows to
// the table (Traffic: uptable when up, else downtable). Writers whose values are text already
// checked against the columns use it with their own tuples: a restore writes a backup's values
// as they stand, which the row types here would cut or turn into numbers.
QString insertHead(Table table, bool up = true);

// "INSERT INTO logtable(Name,…) VALUES (…),(…)" for the rows [begin, end).
QString insertStatement(const LogRow* begin, const LogRow* end);
QString insertStatement(const UploadRow* begin, const UploadRow* end);
QString insertStatement(const VisitRow* begin, const VisitRow* end);
QString insertStatement(const TrafficRow* begin, const TrafficRow* end, bool up);

// The condition that selects one key's row: "srcip='…' AND dstip='…' AND … AND dstport=…".
QString trafficCondition(const TrafficKey& key);
// Adds the rows' bytes of one direction to the rows of their keys in one statement (one pass
// over a table that has no index): "UPDATE uptable SET t9=t9+CASE WHEN … THEN n … ELSE 0 END,
// … WHERE (srcip,…) IN ((…),…)". Empty when the rows hold no bytes of that direction.
QString updateStatement(const TrafficRow* begin, const TrafficRow* end, bool up);

class RowWriter
{
public:
    struct Settings {
        int batchRows = 1000;                  // rows of one table that make a batch go out at once
        int batchMs = 1000;                    // the longest a row waits while the server answers
        qint64 bufferBytes = qint64(64) << 20; // what may wait while the server is away
        int retryMs = 2000;                    // first pause after a failure; doubles up to 30 s
        // Connection strings of the log and configuration databases for the writer's own
        // connections; empty: the installation's data sources with the console's choice of
        // credentials.
        QString logConnection;
        QString configConnection;
    };

    struct Stats {
        std::array<qint64, kTables> written{}; // rows stored (traffic: counter rows written)
        std::array<qint64, kTables> dropped{}; // rows that found the buffer full
        std::array<qint64, kTables> refused{}; // rows the server would not take
        qint64 waitingRows = 0;
        qint64 waitingBytes = 0;
        qint64 batches = 0; // statements that stored rows
        bool logReachable = true;
        bool configReachable = true;
        QString lastError; // in Chinese, the driver's message after it; empty when none yet
        qint64 totalDropped() const;
    };

    // Writes on the caller's connections, from the caller's thread, when flush() is called.
    RowWriter(db::Connection& log, db::Connection& config, const Settings& settings);
    RowWriter(db::Connection& log, db::Connection& config);
    // Opens connections of its own when it first has rows to write, and again after the
    // server comes back.
    explicit RowWriter(const Settings& settings);
    ~RowWriter(); // stops the background thread after one last attempt to write what waits
    RowWriter(const RowWriter&) = delete;
    RowWriter& operator=(const RowWriter&) = delete;

    // From now on a thread of the writer's own sends the batches (own connections only).
    void start();

    // Thread-safe; cheap: the row waits for its batch.
    void add(const LogRow& row);
    void add(const UploadRow& row);
    void add(const VisitRow& row);
    // Bytes of one connection; added to what already waits for the same key.
    void add(const TrafficRow& row);

    // Writes everything that waits now (with a background thread: has it written and waits for
    // that). False when rows still wait because a database cannot be reached, or when the
    // server refused a row.
    bool flush();

    Stats stats() const;

private:
    struct State;
    std::unique_ptr<State> d;
};

} // namespace lt::logrows
