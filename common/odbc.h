#pragma once
// The database layer: connections opened on ODBC connection strings, statements sent as text,
// results held as client-side recordsets (small tables), read row by row, or read in blocks of
// rows through bound buffers (large ones; see also common/dbstream.h for reading a large table
// in bounded chunks).
//
// Every operation reports success; a failure also leaves its diagnostics in the connection's
// error state until the next operation on that connection.
//
// Each connection reads text as UTF-8 on a utf8mb4 session, runs with backslash escaping in
// force whatever the server's sql_mode (so that sqlEscape holds), has read and write timeouts,
// and reopens itself once when a statement finds the connection lost (see execute()).
//
// On a Galera cluster a statement or a transaction may be aborted in favour of a concurrent one
// of another node, where a single server would have made it wait: a statement outside a
// transaction, and a transaction that has only written, are sent again (the same statements)
// up to kRetryAttempts times before the failure is reported (common/dbconnect.h).

#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <vector>

namespace lt::db
{

// Doubles single quotes and backslashes, so that a value put between single quotes in a
// statement reaches the database exactly as typed. Every value embedded in SQL goes through it.
QString sqlEscape(QStringView value);

struct Error {
    bool set = false;
    QString sqlState; // five characters, e.g. "42S02"
    int native = 0;   // the server's error number, e.g. 1049 for an unknown database
    QString message;
    // COMMIT was sent and the connection broke or timed out before the server answered: the
    // server may have committed or not. Any other failure of a transaction leaves it
    // uncommitted (a transaction whose connection is gone is rolled back by the server).
    bool outcomeUnknown = false;
};

// The state of a statement refused because it holds a NUL character (the driver reads past the
// end of such a text); nothing is sent.
inline const QString kStateNulInStatement = QStringLiteral("22021");
// The state of an open refused because the data source names a driver library that cannot be
// loaded (a missing file, a directory).
inline const QString kStateDriverNotLoadable = QStringLiteral("IM003");

// One value of a row: text, or null.
class Value
{
public:
    Value() = default;
    explicit Value(QString text) : text_(std::move(text)), null_(false) {}
    bool isNull() const { return null_; }
    QString toString() const { return text_; }
    // Leading and trailing blanks are ignored; text that is not a whole number gives 0 and
    // *ok = false. Numbers written with a fraction are rounded.
    qint64 toLongLong(bool* ok = nullptr) const;
    int toInt(bool* ok = nullptr) const;

private:
    QString text_;
    bool null_ = true;
};

// The rows of one result, with a current position and pages. A closed recordset has no rows,
// reports a record count of -1 and is at its end.
class Recordset
{
public:
    enum CursorType { ForwardOnly = 0, Keyset = 1, Dynamic = 2, Static = 3 };
    enum LockType { ReadOnly = 1, Pessimistic = 2, Optimistic = 3, BatchOptimistic = 4 };

    // Settings the programs make and keep; every result here is held on the client whatever
    // they say, so nothing in this layer reads them.
    CursorType cursorType = ForwardOnly;
    LockType lockType = ReadOnly;

    bool isOpen() const { return data_ != nullptr; }
    void close();

    int recordCount() const;
    int fieldCount() const;
    QString fieldName(int index) const;
    int fieldIndex(const QString& name) const; // case-insensitive; -1 when absent

    bool eof() const;
    bool bof() const;
    void moveFirst();
    void moveLast();
    void moveNext();
    void movePrevious();
    void move(int rows);
    int absolutePosition() const; // 1-based; 0 when before the first or after the last row
    void setAbsolutePosition(int position);

    int pageSize() const { return pageSize_; }
    void setPageSize(int rows);
    int pageCount() const;
    int absolutePage() const; // page of the current row, 1-based; 0 when at either end
    void setAbsolutePage(int page);

    // Fields of the current row; a null value when at either end or the field does not exist.
    Value field(const QString& name) const;
    Value field(int index) const;

private:
    friend class Connection;
    struct Data {
        QStringList names;
        std::vector<std::vector<Value>> rows;
    };
    std::shared_ptr<const Data> data_;
    int pos_ = 0; // 0-based row; -1 = before the first, rowCount = after the last
    int pageSize_ = 10;
};

// One row of a result read row by row; valid only during the call that hands it over.
class Row
{
public:
    Row(const QStringList& names, const std::vector<Value>& values) : names_(names), values_(values)
    {
    }
    int fieldCount() const { return int(values_.size()); }
    const QStringList& fieldNames() const { return names_; }
    Value field(int index) const;
    Value field(const QString& name) const; // case-insensitive; null when absent
    const std::vector<Value>& values() const { return values_; }

private:
    const QStringList& names_;
    const std::vector<Value>& values_;
};
// Called for each row in turn; returning false stops the reading (not a failure).
using RowHandler = std::function<bool(const Row& row)>;

// Rows fetched together into bound buffers (Connection::streamBlocks): each value as the UTF-8
// bytes the server sent, without a string made for it. Valid only during the call that hands
// it over; the next block reuses the same buffers.
class RowBlock
{
public:
    int rowCount() const { return rows_; }
    int fieldCount() const { return int(columns_.size()); }
    const QStringList& fieldNames() const { return names_; }
    bool isNull(int row, int column) const { return columns_[column].lengths[row] == kNull; }
    // The value's text in UTF-8; empty for NULL.
    QByteArrayView utf8(int row, int column) const
    {
        const Column& c = columns_[column];
        const qint64 n = c.lengths[row];
        if (n >= 0)
            return QByteArrayView(c.buffer.data() + row * c.width, n);
        return n == kLong ? QByteArrayView(c.whole[row]) : QByteArrayView();
    }
    Value value(int row, int column) const;

private:
    friend struct BlockFetch;
    // A length that marks a NULL value, and one whose value was read value by value (a column
    // of no known width) into whole.
    static constexpr qint64 kNull = -1;
    static constexpr qint64 kLong = -2;
    struct Column {
        std::vector<char> buffer;    // rows × width bytes
        qint64 width = 0;            // bytes of one value's buffer, the terminating zero included
        std::vector<qint64> lengths; // per row: bytes, kNull or kLong
        std::vector<QByteArray> whole;
    };
    QStringList names_;
    std::vector<Column> columns_;
    int rows_ = 0;
};
// Called for each block in turn; returning false stops the reading (not a failure).
using BlockHandler = std::function<bool(const RowBlock& block)>;

// How long a connection waits for the server to take a statement (write) and to answer it
// (read) before the statement fails; 0 waits for ever.
struct ConnectionTimeouts {
    int readSeconds = 60;
    int writeSeconds = 60;
    // What a window waits for: lookups, pages, counts, small changes.
    static ConnectionTimeouts interactive() { return {60, 60}; }
    // Statements that legitimately run long: pruning and date-range deletes, exports, restores.
    static ConnectionTimeouts longStatements() { return {3600, 600}; }
    bool operator==(const ConnectionTimeouts&) const = default;
};

struct StatementEvent {
    // Reopen: the connection was lost and opened again on the same string (text).
    enum Kind { Open, Statement, Reopen };
    Kind kind = Statement;
    QString dsn;  // the data source of the connection
    QString text; // the connection string, or the statement
    bool ok = true;
};
using StatementObserver = std::function<void(const StatementEvent&)>;
int addStatementObserver(StatementObserver observer);
void removeStatementObserver(int id);

class Connection
{
public:
    enum class CursorLocation { Server = 2, Client = 3 };
    using Timeouts = ConnectionTimeouts;
    static constexpr int kLoginTimeoutSeconds = 10;

    Connection();
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    void setCursorLocation(CursorLocation location) { cursorLocation_ = location; }
    CursorLocation cursorLocation() const { return cursorLocation_; }

    // Opens on the connection string; user and password are passed as UID and PWD only when
    // not empty. An empty UID or PWD in the string means the data source's own account (see
    // driverConnectionString in common/dbconnect.h; observers and connectionString() see the
    // string as given). Fails without loading the driver when the data source names a library
    // that cannot be loaded (kStateDriverNotLoadable). Gives up after kLoginTimeoutSeconds
    // when the server does not answer.
    bool open(const QString& connectionString, const QString& user = {},
              const QString& password = {});
    void close();
    bool isOpen() const;
    QString connectionString() const { return connectionString_; }
    QString dsn() const { return dsn_; }

    // Timeouts of the next open (default: Timeouts::interactive()). On an open connection the
    // connection is reopened with them at once (same string, database and session settings);
    // refused inside a transaction.
    bool setTimeouts(const Timeouts& timeouts);
    Timeouts timeouts() const { return timeouts_; }

    // Sends one statement. A statement holding a NUL character is refused and not sent
    // (kStateNulInStatement). When it fails because the connection was lost (server restarted,
    // connection cut) and it was not a timeout, the connection is reopened once and the
    // statement sent again; only what still fails is reported. Inside a transaction nothing is
    // reopened: the failure is reported and the transaction is lost. A connection lost for
    // good is reopened by the next statement.
    bool execute(const QString& sql, qint64* rowsAffected = nullptr);
    // The result of a statement; a closed recordset when it failed or returned no rows.
    Recordset query(const QString& sql);
    // Hands the rows of a statement's result to onRow one at a time without building a
    // recordset; rowsRead (when given) counts the rows handed over. The driver still holds the
    // whole result of one statement: read a large table with readInChunks (common/dbstream.h).
    bool stream(const QString& sql, const RowHandler& onRow, qint64* rowsRead = nullptr);
    // The same in blocks of rows fetched at once into buffers bound to the columns (sized from
    // the columns' declared widths, a few megabytes for a whole block). A result with a column
    // of no known width (a LONGTEXT) comes in blocks of one row, that column read value by
    // value. No value is cut: one longer than its column's declared width fails the statement.
    // rowsRead counts the rows of the blocks handed over.
    bool streamBlocks(const QString& sql, const BlockHandler& onBlock, qint64* rowsRead = nullptr);

    // Selects the default database of the connection without sending a statement; a reopened
    // connection selects it again.
    bool selectDatabase(const QString& name);
    // A connection found lost when the transaction begins is opened again first.
    bool beginTransaction();
    // A failure with the error's outcomeUnknown set leaves it open whether the server
    // committed; any other failure means it did not.
    bool commit();
    bool rollback();
    bool inTransaction() const { return inTransaction_; }
    // Runs `work` (statements that decide by what they read) in a transaction and commits it;
    // when the cluster aborts the transaction (retryable() of common/dbconnect.h) it is rolled
    // back and `work` runs again, up to kRetryAttempts times. False when it failed for good:
    // the error state holds the last attempt's failure.
    bool runTransaction(const std::function<bool()>& work);

    const Error& lastError() const { return error_; }
    bool failed() const { return error_.set; }
    void clearError() { error_ = Error{}; }
    // How often the connection was opened again after it was lost (a long statement is stopped
    // by the server's number of the connection, which a reopening changes).
    int reopenings() const { return reopenings_; }
    // How often a statement or transaction was sent again after a cluster aborted it.
    int retries() const { return retries_; }

private:
    struct Handles;
    struct Sink;
    friend struct BlockFetch;
    bool run(const QString& sql, Sink& sink, qint64* rowsAffected);
    bool attempt(const QString& sql, Sink& sink, qint64* rowsAffected);
    bool replay();
    void endTransaction();
    bool runOnce(const QString& sql, Sink& sink, qint64* rowsAffected);
    bool connect();
    bool reopen();
    void freeHandles();
    bool setAutocommit(bool on);
    void notify(StatementEvent::Kind kind, const QString& text, bool ok) const;
    std::unique_ptr<Handles> h_;
    CursorLocation cursorLocation_ = CursorLocation::Server;
    Timeouts timeouts_ = Timeouts::interactive();
    QString connectionString_;
    QString user_, password_; // as given to open()
    QString driverString_;    // what the driver is given; empty when never opened or closed
    QString dsn_;
    QString database_; // chosen by selectDatabase
    bool inTransaction_ = false;
    // What the open transaction sent, to send it again after a cluster's abort. A transaction
    // that read a result is not sent again by this layer (runTransaction does that), nor one
    // whose statements pass kReplayChars: a bulk load (a restore of a million rows) would
    // otherwise hold every statement it sent until its commit.
    static constexpr qsizetype kReplayChars = 8 * 1024 * 1024;
    QStringList txStatements_;
    qsizetype txChars_ = 0;
    bool txReplayable_ = true;
    int reopenings_ = 0;
    int retries_ = 0;
    Error error_;
};

} // namespace lt::db
