#include "common/odbc.h"

#include "common/dbconnect.h"
#include "common/odbcblocks.h"

#include <QElapsedTimer>
#include <QMutex>
#include <QRegularExpression>
#include <condition_variable>
#include <limits>
#include <map>
#include <mutex>
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>
#include <thread>

namespace lt::db
{

// ---- statement observers ----------------------------------------------------------------------

namespace
{

struct Observers {
    QMutex mutex;
    std::map<int, StatementObserver> list;
    int next = 1;
};

Observers& observers()
{
    static Observers o;
    return o;
}

const SQLWCHAR* wide(const QString& s)
{
    return reinterpret_cast<const SQLWCHAR*>(s.utf16());
}

QString dsnOf(const QString& connectionString)
{
    static const QRegularExpression re(QStringLiteral("(?:^|;)\\s*DSN\\s*=([^;]*)"),
                                       QRegularExpression::CaseInsensitiveOption);
    const auto m = re.match(connectionString);
    return m.hasMatch() ? m.captured(1).trimmed() : QString();
}

} // namespace

int addStatementObserver(StatementObserver observer)
{
    Observers& o = observers();
    QMutexLocker lock(&o.mutex);
    const int id = o.next++;
    o.list.emplace(id, std::move(observer));
    return id;
}

void removeStatementObserver(int id)
{
    Observers& o = observers();
    QMutexLocker lock(&o.mutex);
    o.list.erase(id);
}

// ---- Connection -----------------------------------------------------------------------------

struct Connection::Handles {
    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;
    bool connected = false;
};

// Where the rows of a result go: into a recordset, or one by one to a handler.
struct Connection::Sink {
    Recordset* into = nullptr;
    const RowHandler* onRow = nullptr;
    const BlockHandler* onBlock = nullptr;
    qint64 rows = 0; // rows handed to onRow or onBlock

    // Runs sql into this sink and says how many rows it handed on.
    bool read(Connection& connection, const QString& sql, qint64* rowsRead)
    {
        const bool ok = connection.run(sql, *this, nullptr);
        if (rowsRead)
            *rowsRead = rows;
        return ok;
    }
};

namespace
{

// Text the driver wrote into a zeroed buffer: up to the terminating zero. The driver's length
// figures for wide text are short for many CJK characters (it counts a unit whose low byte is
// D8 to DB as half of a pair), so they are not trusted.
QString terminated(const SQLWCHAR* text, qsizetype capacity)
{
    qsizetype n = 0;
    while (n < capacity && text[n] != 0)
        ++n;
    return QString::fromUtf16(reinterpret_cast<const char16_t*>(text), n);
}

Error diagnostics(SQLSMALLINT type, SQLHANDLE handle, const QString& fallback)
{
    Error e;
    e.set = true;
    SQLWCHAR state[6] = {};
    SQLINTEGER native = 0;
    SQLWCHAR text[1024] = {};
    SQLSMALLINT len = 0;
    if (handle && SQL_SUCCEEDED(SQLGetDiagRecW(type, handle, 1, state, &native, text,
                                               SQLSMALLINT(std::size(text)), &len))) {
        e.sqlState = terminated(state, 5);
        e.native = int(native);
        e.message = terminated(text, qsizetype(std::size(text)) - 1);
        if (e.message.isEmpty())
            e.message = fallback;
    } else {
        e.message = fallback;
    }
    return e;
}

// Reads one column of the current row as text (null when the column is NULL). Text comes as
// UTF-8 (the connection's character set) in pieces of the buffer's size; a piece may end inside
// a character, so the bytes are joined before they are decoded.
bool readColumn(SQLHSTMT stmt, SQLUSMALLINT column, Value& out)
{
    QByteArray bytes;
    char buffer[8192];
    const SQLLEN capacity = SQLLEN(sizeof(buffer)) - 1; // the driver terminates every piece
    for (;;) {
        SQLLEN indicator = 0;
        const SQLRETURN rc =
            SQLGetData(stmt, column, SQL_C_CHAR, buffer, SQLLEN(sizeof(buffer)), &indicator);
        if (rc == SQL_NO_DATA)
            break;
        if (!SQL_SUCCEEDED(rc))
            return false;
        if (indicator == SQL_NULL_DATA) {
            out = Value();
            return true;
        }
        const bool whole = indicator != SQL_NO_TOTAL && indicator <= capacity;
        bytes.append(buffer, whole ? qsizetype(indicator) : qsizetype(capacity));
        if (rc == SQL_SUCCESS || whole)
            break;
    }
    out = Value(QString::fromUtf8(bytes));
    return true;
}

QStringList columnNames(SQLHSTMT stmt, SQLSMALLINT columns)
{
    QStringList names;
    for (SQLUSMALLINT c = 1; c <= columns; ++c) {
        SQLWCHAR name[256] = {};
        SQLSMALLINT len = 0;
        SQLDescribeColW(stmt, c, name, SQLSMALLINT(std::size(name)), &len, nullptr, nullptr,
                        nullptr, nullptr);
        names << terminated(name, qsizetype(std::size(name)) - 1);
    }
    return names;
}

// Values of a session that every connection needs, whatever the server's defaults: backslash
// escaping stays in force (sqlEscape doubles backslashes), also on a server that runs
// NO_BACKSLASH_ESCAPES.
const QString kSessionSetup =
    QStringLiteral("SET SESSION sql_mode=REPLACE(@@SESSION.sql_mode,'NO_BACKSLASH_ESCAPES','')");

// One connection attempt, run on a thread of its own: the driver gives up on a server that
// accepts the connection but never greets only after a very long time. The caller waits up to the
// login timeout; an attempt it gave up on frees its handles itself when it ends.
struct Attempt {
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    bool abandoned = false;
    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;
    bool connected = false;
    Error error;
};

bool setUpSession(SQLHDBC dbc, Error& error)
{
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt))) {
        error = diagnostics(SQL_HANDLE_DBC, dbc, QStringLiteral("session setup failed"));
        return false;
    }
    const bool ok =
        SQL_SUCCEEDED(SQLExecDirectW(stmt, const_cast<SQLWCHAR*>(wide(kSessionSetup)), SQL_NTS));
    if (!ok)
        error = diagnostics(SQL_HANDLE_STMT, stmt, QStringLiteral("session setup failed"));
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    return ok;
}

void connectIn(const std::shared_ptr<Attempt>& a, const QString& connectionString)
{
    SQLWCHAR out[1024];
    SQLSMALLINT outLen = 0;
    const SQLRETURN rc =
        SQLDriverConnectW(a->dbc, nullptr, const_cast<SQLWCHAR*>(wide(connectionString)), SQL_NTS,
                          out, SQLSMALLINT(std::size(out)), &outLen, SQL_DRIVER_NOPROMPT);
    Error error;
    bool connected = SQL_SUCCEEDED(rc);
    if (!connected)
        error = diagnostics(SQL_HANDLE_DBC, a->dbc, QStringLiteral("connection failed"));
    else if (!setUpSession(a->dbc, error)) {
        SQLDisconnect(a->dbc);
        connected = false;
    }
    std::unique_lock lock(a->mutex);
    a->connected = connected;
    a->error = error;
    a->done = true;
    if (a->abandoned) {
        if (a->connected)
            SQLDisconnect(a->dbc);
        SQLFreeHandle(SQL_HANDLE_DBC, a->dbc);
        SQLFreeHandle(SQL_HANDLE_ENV, a->env);
        return;
    }
    a->finished.notify_all();
}

// The shortest timeout in force (a very long time when there is none).
qint64 timeoutMs(const ConnectionTimeouts& t)
{
    qint64 ms = std::numeric_limits<qint64>::max() / 2;
    for (const int seconds : {t.readSeconds, t.writeSeconds})
        if (seconds > 0)
            ms = std::min(ms, qint64(seconds) * 1000);
    return ms;
}

Error layerError(const char* state, const QString& message)
{
    return Error{true, QString::fromLatin1(state), 0, message};
}

} // namespace

Connection::Connection() : h_(std::make_unique<Handles>()) {}

Connection::~Connection()
{
    close();
}

void Connection::notify(StatementEvent::Kind kind, const QString& text, bool ok) const
{
    std::vector<StatementObserver> current;
    {
        Observers& o = observers();
        QMutexLocker lock(&o.mutex);
        for (const auto& entry : o.list)
            current.push_back(entry.second);
    }
    const StatementEvent event{kind, dsn_, text, ok};
    for (const StatementObserver& observer : current)
        observer(event);
}

bool Connection::open(const QString& connectionString, const QString& user, const QString& password)
{
    close();
    clearError();
    connectionString_ = connectionString;
    dsn_ = dsnOf(connectionString);
    if (const QString problem = driverProblem(connectionString); !problem.isEmpty()) {
        error_ = layerError("IM003", problem);
        notify(StatementEvent::Open, connectionString, false);
        return false;
    }
    user_ = user;
    password_ = password;
    driverString_ = driverConnectionString(connectionString, user, password, timeouts_);
    const bool ok = connect();
    if (!ok)
        driverString_.clear();
    notify(StatementEvent::Open, connectionString, ok);
    return ok;
}

// Connects on driverString_ and sets the session up; on failure the handles are freed and the
// error state says why.
bool Connection::connect()
{
    freeHandles();
    auto attempt = std::make_shared<Attempt>();
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &attempt->env))) {
        error_ = layerError("HY001", QStringLiteral("ODBC unavailable"));
        return false;
    }
    SQLSetEnvAttr(attempt->env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3),
                  0);
    SQLAllocHandle(SQL_HANDLE_DBC, attempt->env, &attempt->dbc);
    SQLSetConnectAttr(attempt->dbc, SQL_ATTR_LOGIN_TIMEOUT,
                      reinterpret_cast<SQLPOINTER>(SQLULEN(kLoginTimeoutSeconds)), 0);
    std::thread(connectIn, attempt, driverString_).detach();

    std::unique_lock lock(attempt->mutex);
    if (!attempt->finished.wait_for(lock, std::chrono::seconds(kLoginTimeoutSeconds),
                                    [&] { return attempt->done; })) {
        attempt->abandoned = true;
        error_ = layerError("HYT00", QStringLiteral("the database server does not answer"));
        return false;
    }
    h_->env = attempt->env;
    h_->dbc = attempt->dbc;
    h_->connected = attempt->connected;
    if (!attempt->connected) {
        error_ = attempt->error;
        freeHandles();
        return false;
    }
    return true;
}

bool Connection::reopen()
{
    const bool ok = connect() && (database_.isEmpty() || selectDatabase(database_));
    if (ok)
        ++reopenings_;
    notify(StatementEvent::Reopen, connectionString_, ok);
    return ok;
}

void Connection::freeHandles()
{
    if (h_->dbc) {
        if (h_->connected)
            SQLDisconnect(h_->dbc);
        SQLFreeHandle(SQL_HANDLE_DBC, h_->dbc);
    }
    if (h_->env)
        SQLFreeHandle(SQL_HANDLE_ENV, h_->env);
    *h_ = Handles{};
}

void Connection::close()
{
    freeHandles();
    driverString_.clear();
    user_.clear();
    password_.clear();
    database_.clear();
    endTransaction();
}

bool Connection::isOpen() const
{
    return h_->connected;
}

bool Connection::setTimeouts(const Timeouts& timeouts)
{
    clearError();
    if (inTransaction_) {
        error_ = layerError("25000", QStringLiteral("timeouts cannot change inside a transaction"));
        return false;
    }
    const Timeouts before = timeouts_;
    timeouts_ = timeouts;
    if (driverString_.isEmpty() || timeouts == before)
        return true;
    // The driver takes its timeouts only when it connects.
    driverString_ = driverConnectionString(connectionString_, user_, password_, timeouts_);
    return reopen();
}

bool Connection::execute(const QString& sql, qint64* rowsAffected)
{
    Sink sink;
    return run(sql, sink, rowsAffected);
}

Recordset Connection::query(const QString& sql)
{
    Recordset rs;
    Sink sink;
    sink.into = &rs;
    run(sql, sink, nullptr);
    return rs;
}

bool Connection::stream(const QString& sql, const RowHandler& onRow, qint64* rowsRead)
{
    Sink sink;
    sink.onRow = &onRow;
    return sink.read(*this, sql, rowsRead);
}

bool Connection::streamBlocks(const QString& sql, const BlockHandler& onBlock, qint64* rowsRead)
{
    Sink sink;
    sink.onBlock = &onBlock;
    return sink.read(*this, sql, rowsRead);
}

bool Connection::run(const QString& sql, Sink& sink, qint64* rowsAffected)
{
    clearError();
    if (const qsizetype nul = sql.indexOf(QChar(0)); nul >= 0) {
        error_ = layerError("22021", QStringLiteral("the statement holds a NUL character at "
                                                    "position %1; it was not sent")
                                         .arg(nul + 1));
        notify(StatementEvent::Statement, sql, false);
        return false;
    }
    bool ok = attempt(sql, sink, rowsAffected);
    // A cluster's abort undid the statement (and a transaction's earlier statements): it is sent
    // again, after a transaction's writes, unless the caller has read what may now differ.
    for (int failures = 1; !ok && retryable(error_) && sink.rows == 0 &&
                           !(inTransaction_ && !txReplayable_) && failures < kRetryAttempts;
         ++failures) {
        std::this_thread::sleep_for(std::chrono::milliseconds(retryDelayMs(failures)));
        ++retries_;
        ok = (!inTransaction_ || replay()) && attempt(sql, sink, rowsAffected);
    }
    if (ok && inTransaction_ && txReplayable_) {
        txChars_ += sql.size();
        if (sink.into || sink.onRow || sink.onBlock || txChars_ > kReplayChars) {
            txReplayable_ = false;
            txStatements_.clear();
        } else {
            txStatements_ << sql;
        }
    }
    notify(StatementEvent::Statement, sql, ok);
    return ok;
}

// One sending of a statement, with the reopening of a lost connection; the error state says why
// it failed.
bool Connection::attempt(const QString& sql, Sink& sink, qint64* rowsAffected)
{
    clearError();
    bool ok = false;
    if (!h_->connected && (driverString_.isEmpty() || inTransaction_)) {
        error_ = inTransaction_ ? layerError("08S01", QStringLiteral("connection lost inside a "
                                                                     "transaction"))
                                : layerError("08003", QStringLiteral("connection not open"));
    } else if (!h_->connected && !reopen()) {
        // Lost earlier and the server still cannot be reached: the error says why.
    } else {
        QElapsedTimer timer;
        timer.start();
        ok = runOnce(sql, sink, rowsAffected);
        // A timeout is reported, not tried again; so is whatever a transaction had done.
        const bool timedOut = timer.elapsed() >= timeoutMs(timeouts_) - 250;
        if (!ok && connectionLost(error_)) {
            const Error lost = error_;
            freeHandles();
            if (!timedOut && !inTransaction_ && sink.rows == 0) {
                ok = reopen() && runOnce(sql, sink, rowsAffected);
                if (ok)
                    clearError(); // sent again and answered: nothing failed
                if (!ok && !h_->connected) {
                    const QString why = error_.message;
                    error_ = lost;
                    error_.message += QStringLiteral(" (reopening failed: %1)").arg(why);
                }
            }
        }
    }
    return ok;
}

// The server has undone the transaction; its statements are sent again in a new one.
bool Connection::replay()
{
    if (!h_->connected)
        return false;
    SQLEndTran(SQL_HANDLE_DBC, h_->dbc, SQL_ROLLBACK);
    for (const QString& sql : txStatements_) {
        Sink none;
        if (!runOnce(sql, none, nullptr))
            return false;
    }
    return true;
}

bool Connection::runOnce(const QString& sql, Sink& sink, qint64* rowsAffected)
{
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, h_->dbc, &stmt))) {
        error_ = diagnostics(SQL_HANDLE_DBC, h_->dbc, QStringLiteral("statement failed"));
        // The driver gave up a connection it found dead (after a kill notice, say) and calls
        // it not open: for this layer, which still holds it, that is a lost connection.
        if (error_.sqlState == QLatin1String("08003"))
            error_.sqlState = QStringLiteral("08S01");
        return false;
    }
    // Terminated, not counted: the driver takes a UTF-16 unit whose low byte is D8 to DB (付 仙
    // 俘 ...) for the first half of a pair, so a given length makes it read past the end.
    SQLRETURN rc = SQLExecDirectW(stmt, const_cast<SQLWCHAR*>(wide(sql)), SQL_NTS);
    bool ok = SQL_SUCCEEDED(rc) || rc == SQL_NO_DATA;
    if (!ok)
        error_ = diagnostics(SQL_HANDLE_STMT, stmt, QStringLiteral("statement failed"));
    if (ok && rowsAffected) {
        SQLLEN n = 0;
        SQLRowCount(stmt, &n);
        *rowsAffected = n;
    }
    SQLSMALLINT columns = 0;
    if (ok && sink.onBlock && SQL_SUCCEEDED(SQLNumResultCols(stmt, &columns)) && columns > 0) {
        ok = BlockFetch::run(stmt, columnNames(stmt, columns), *sink.onBlock, sink.rows);
        if (!ok)
            error_ = diagnostics(SQL_HANDLE_STMT, stmt, QStringLiteral("fetch failed"));
    }
    const bool wanted = sink.into || sink.onRow;
    if (ok && wanted && SQL_SUCCEEDED(SQLNumResultCols(stmt, &columns)) && columns > 0) {
        auto data = std::make_shared<Recordset::Data>();
        data->names = columnNames(stmt, columns);
        std::vector<Value> row(static_cast<size_t>(columns));
        bool more = true;
        while (ok && more && SQL_SUCCEEDED(rc = SQLFetch(stmt))) {
            for (SQLUSMALLINT c = 1; c <= columns && ok; ++c)
                ok = readColumn(stmt, c, row[c - 1]);
            if (!ok)
                break;
            if (sink.onRow) {
                ++sink.rows;
                more = (*sink.onRow)(Row(data->names, row));
            } else {
                data->rows.push_back(row);
            }
        }
        if (ok && more && rc != SQL_NO_DATA)
            ok = false;
        if (!ok)
            error_ = diagnostics(SQL_HANDLE_STMT, stmt, QStringLiteral("fetch failed"));
        else if (sink.into) {
            sink.into->data_ = std::move(data);
            sink.into->pos_ = 0;
        }
    }
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    return ok;
}

bool Connection::selectDatabase(const QString& name)
{
    clearError();
    if (!h_->connected)
        return false;
    // The driver reads the length of this attribute as characters: let it find the end itself.
    const SQLRETURN rc = SQLSetConnectAttrW(h_->dbc, SQL_ATTR_CURRENT_CATALOG,
                                            const_cast<SQLWCHAR*>(wide(name)), SQL_NTS);
    if (!SQL_SUCCEEDED(rc)) {
        error_ = diagnostics(SQL_HANDLE_DBC, h_->dbc, QStringLiteral("cannot select database"));
        return false;
    }
    database_ = name;
    return true;
}

bool Connection::setAutocommit(bool on)
{
    clearError();
    if (!h_->connected)
        return false;
    const SQLRETURN rc = SQLSetConnectAttr(
        h_->dbc, SQL_ATTR_AUTOCOMMIT,
        reinterpret_cast<SQLPOINTER>(on ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF), 0);
    if (!SQL_SUCCEEDED(rc))
        error_ = diagnostics(SQL_HANDLE_DBC, h_->dbc, QStringLiteral("autocommit"));
    return SQL_SUCCEEDED(rc);
}

bool Connection::beginTransaction()
{
    if (!h_->connected && !driverString_.isEmpty() && !inTransaction_ && !reopen())
        return false;
    QElapsedTimer timer;
    timer.start();
    endTransaction();
    inTransaction_ = setAutocommit(false);
    // The first words to a server restarted since the last statement find the connection
    // gone; nothing of a transaction is lost yet, so it is opened again once, as a statement
    // would be (and, as there, not after a timeout: a server that does not answer is not
    // waited for twice).
    const bool timedOut = timer.elapsed() >= timeoutMs(timeouts_) - 250;
    if (!inTransaction_ && !timedOut && connectionLost(error_) && !driverString_.isEmpty()) {
        freeHandles();
        inTransaction_ = reopen() && setAutocommit(false);
    }
    return inTransaction_;
}

bool Connection::commit()
{
    clearError();
    const bool replayable = txReplayable_;
    if (!h_->connected) {
        endTransaction();
        error_ = layerError("08S01", QStringLiteral("connection lost; the transaction is lost"));
        return false;
    }
    bool ok = SQL_SUCCEEDED(SQLEndTran(SQL_HANDLE_DBC, h_->dbc, SQL_COMMIT));
    if (!ok)
        error_ = diagnostics(SQL_HANDLE_DBC, h_->dbc, QStringLiteral("commit failed"));
    // Refused by the cluster's certification: the same statements again, then commit again.
    for (int failures = 1; !ok && replayable && retryable(error_) && failures < kRetryAttempts;
         ++failures) {
        std::this_thread::sleep_for(std::chrono::milliseconds(retryDelayMs(failures)));
        ++retries_;
        clearError();
        ok = replay() && SQL_SUCCEEDED(SQLEndTran(SQL_HANDLE_DBC, h_->dbc, SQL_COMMIT));
        if (!ok && !error_.set)
            error_ = diagnostics(SQL_HANDLE_DBC, h_->dbc, QStringLiteral("commit failed"));
    }
    endTransaction();
    if (!ok) {
        if (connectionLost(error_)) {
            error_.outcomeUnknown = true;
            freeHandles();
        }
        return false;
    }
    return setAutocommit(true);
}

void Connection::endTransaction()
{
    inTransaction_ = false;
    txReplayable_ = true;
    txChars_ = 0;
    txStatements_.clear();
}

bool Connection::runTransaction(const std::function<bool()>& work)
{
    for (int failures = 0;; ++failures) {
        if (failures > 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(retryDelayMs(failures)));
            ++retries_;
        }
        if (beginTransaction() && work() && commit())
            return true;
        const Error error = error_;
        rollback();     // also after a failed commit, which leaves autocommit off
        error_ = error; // the last attempt's, for the caller's message
        if (!retryable(error) || failures + 1 >= kRetryAttempts)
            return false;
    }
}

bool Connection::rollback()
{
    endTransaction();
    if (!h_->connected)
        return false;
    SQLEndTran(SQL_HANDLE_DBC, h_->dbc, SQL_ROLLBACK);
    return setAutocommit(true);
}

} // namespace lt::db
