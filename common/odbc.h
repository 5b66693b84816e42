#pragma once
// The database layer: connections opened on ODBC connection strings, statements sent as text,
// results held as client-side recordsets.
//
// Every operation reports success; a failure also leaves its diagnostics in the connection's
// error state until the next operation on that connection.

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
};

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

    // Settings the programs make; every result here is held on the client whatever they say.
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

struct StatementEvent {
    enum Kind { Open, Statement };
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
    static constexpr int kLoginTimeoutSeconds = 10;

    Connection();
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    void setCursorLocation(CursorLocation location) { cursorLocation_ = location; }
    CursorLocation cursorLocation() const { return cursorLocation_; }

    // Opens on the exact connection string; user and password are passed as UID and PWD only
    // when not empty. Gives up after kLoginTimeoutSeconds when the server does not answer.
    bool open(const QString& connectionString, const QString& user = {},
              const QString& password = {});
    void close();
    bool isOpen() const;
    QString connectionString() const { return connectionString_; }
    QString dsn() const { return dsn_; }

    bool execute(const QString& sql, qint64* rowsAffected = nullptr);
    // The result of a statement; a closed recordset when it failed or returned no rows.
    Recordset query(const QString& sql);

    // Selects the default database of the connection without sending a statement.
    bool selectDatabase(const QString& name);
    bool beginTransaction();
    bool commit();
    bool rollback();

    const Error& lastError() const { return error_; }
    bool failed() const { return error_.set; }
    void clearError() { error_ = Error{}; }

private:
    struct Handles;
    bool run(const QString& sql, Recordset* into, qint64* rowsAffected);
    bool setAutocommit(bool on);
    void notify(StatementEvent::Kind kind, const QString& text, bool ok) const;
    std::unique_ptr<Handles> h_;
    CursorLocation cursorLocation_ = CursorLocation::Server;
    QString connectionString_;
    QString dsn_;
    Error error_;
};

} // namespace lt::db
