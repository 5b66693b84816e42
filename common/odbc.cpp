#include "common/odbc.h"

#include <QMutex>
#include <QRegularExpression>
#include <condition_variable>
#include <map>
#include <mutex>
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>
#include <thread>

namespace lt::db
{

QString sqlEscape(QStringView value)
{
    QString out;
    out.reserve(value.size() + 8);
    for (QChar c : value) {
        if (c == u'\'' || c == u'\\')
            out += c;
        out += c;
    }
    return out;
}

// ---- Value ----------------------------------------------------------------------------------

qint64 Value::toLongLong(bool* ok) const
{
    const QString t = text_.trimmed();
    bool good = false;
    qint64 v = t.toLongLong(&good);
    if (!good) {
        const double d = t.toDouble(&good);
        if (good && d >= -9.2e18 && d <= 9.2e18)
            v = qRound64(d);
        else
            good = false;
    }
    if (ok)
        *ok = good;
    return good ? v : 0;
}

int Value::toInt(bool* ok) const
{
    bool good = false;
    const qint64 v = toLongLong(&good);
    good = good && v >= INT_MIN && v <= INT_MAX;
    if (ok)
        *ok = good;
    return good ? int(v) : 0;
}

// ---- Recordset ------------------------------------------------------------------------------

void Recordset::close()
{
    data_.reset();
    pos_ = 0;
}

int Recordset::recordCount() const
{
    return data_ ? int(data_->rows.size()) : -1;
}
int Recordset::fieldCount() const
{
    return data_ ? int(data_->names.size()) : 0;
}

QString Recordset::fieldName(int index) const
{
    return data_ && index >= 0 && index < data_->names.size() ? data_->names.at(index) : QString();
}

int Recordset::fieldIndex(const QString& name) const
{
    if (!data_)
        return -1;
    for (int i = 0; i < data_->names.size(); ++i)
        if (data_->names.at(i).compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

bool Recordset::eof() const
{
    return !data_ || pos_ >= int(data_->rows.size());
}
bool Recordset::bof() const
{
    return !data_ || pos_ < 0 || data_->rows.empty();
}

void Recordset::moveFirst()
{
    pos_ = 0;
}
void Recordset::moveLast()
{
    pos_ = data_ ? int(data_->rows.size()) - 1 : 0;
}
void Recordset::moveNext()
{
    move(1);
}
void Recordset::movePrevious()
{
    move(-1);
}

void Recordset::move(int rows)
{
    if (!data_)
        return;
    const int n = int(data_->rows.size());
    pos_ = std::clamp(pos_ + rows, -1, n);
}

int Recordset::absolutePosition() const
{
    return eof() || pos_ < 0 ? 0 : pos_ + 1;
}

void Recordset::setAbsolutePosition(int position)
{
    if (!data_)
        return;
    pos_ = std::clamp(position - 1, -1, int(data_->rows.size()));
}

void Recordset::setPageSize(int rows)
{
    pageSize_ = rows > 0 ? rows : 1;
}

int Recordset::pageCount() const
{
    const int n = std::max(recordCount(), 0);
    return (n + pageSize_ - 1) / pageSize_;
}

int Recordset::absolutePage() const
{
    const int p = absolutePosition();
    return p == 0 ? 0 : (p - 1) / pageSize_ + 1;
}

void Recordset::setAbsolutePage(int page)
{
    setAbsolutePosition((page - 1) * pageSize_ + 1);
}

Value Recordset::field(const QString& name) const
{
    return field(fieldIndex(name));
}

Value Recordset::field(int index) const
{
    if (eof() || pos_ < 0 || index < 0 || index >= fieldCount())
        return Value();
    return data_->rows[size_t(pos_)][size_t(index)];
}

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

namespace
{

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
        e.sqlState = QString::fromUtf16(reinterpret_cast<const char16_t*>(state), 5);
        e.native = int(native);
        e.message = QString::fromUtf16(reinterpret_cast<const char16_t*>(text),
                                       std::min<qsizetype>(len, qsizetype(std::size(text)) - 1));
    } else {
        e.message = fallback;
    }
    return e;
}

// Reads one column of the current row as text (null when the column is NULL).
bool readColumn(SQLHSTMT stmt, SQLUSMALLINT column, Value& out)
{
    QString text;
    SQLWCHAR buffer[2048];
    for (;;) {
        SQLLEN indicator = 0;
        const SQLRETURN rc =
            SQLGetData(stmt, column, SQL_C_WCHAR, buffer, sizeof(buffer), &indicator);
        if (rc == SQL_NO_DATA)
            break;
        if (!SQL_SUCCEEDED(rc))
            return false;
        if (indicator == SQL_NULL_DATA) {
            out = Value();
            return true;
        }
        const qsizetype capacity = qsizetype(std::size(buffer)) - 1;
        qsizetype chars =
            indicator == SQL_NO_TOTAL ? capacity : std::min<qsizetype>(indicator / 2, capacity);
        text.append(QStringView(reinterpret_cast<const char16_t*>(buffer), chars));
        if (rc == SQL_SUCCESS)
            break;
    }
    out = Value(std::move(text));
    return true;
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

namespace
{

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

void connectIn(const std::shared_ptr<Attempt>& a, const QString& connectionString)
{
    SQLWCHAR out[1024];
    SQLSMALLINT outLen = 0;
    const SQLRETURN rc =
        SQLDriverConnectW(a->dbc, nullptr, const_cast<SQLWCHAR*>(wide(connectionString)),
                          SQLSMALLINT(connectionString.size()), out, SQLSMALLINT(std::size(out)),
                          &outLen, SQL_DRIVER_NOPROMPT);
    std::unique_lock lock(a->mutex);
    a->connected = SQL_SUCCEEDED(rc);
    if (!a->connected)
        a->error = diagnostics(SQL_HANDLE_DBC, a->dbc, QStringLiteral("connection failed"));
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

} // namespace

bool Connection::open(const QString& connectionString, const QString& user, const QString& password)
{
    close();
    clearError();
    connectionString_ = connectionString;
    dsn_ = dsnOf(connectionString);
    QString full = connectionString;
    if (!user.isEmpty() || !password.isEmpty()) {
        if (!full.isEmpty() && !full.endsWith(u';'))
            full += u';';
        full += QStringLiteral("UID=%1;PWD=%2;").arg(user, password);
    }
    auto attempt = std::make_shared<Attempt>();
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &attempt->env))) {
        error_ = Error{true, QStringLiteral("HY001"), 0, QStringLiteral("ODBC unavailable")};
        notify(StatementEvent::Open, connectionString, false);
        return false;
    }
    SQLSetEnvAttr(attempt->env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3),
                  0);
    SQLAllocHandle(SQL_HANDLE_DBC, attempt->env, &attempt->dbc);
    SQLSetConnectAttr(attempt->dbc, SQL_ATTR_LOGIN_TIMEOUT,
                      reinterpret_cast<SQLPOINTER>(SQLULEN(kLoginTimeoutSeconds)), 0);
    std::thread(connectIn, attempt, full).detach();

    std::unique_lock lock(attempt->mutex);
    if (!attempt->finished.wait_for(lock, std::chrono::seconds(kLoginTimeoutSeconds),
                                    [&] { return attempt->done; })) {
        attempt->abandoned = true;
        error_ = Error{true, QStringLiteral("HYT00"), 0,
                       QStringLiteral("the database server does not answer")};
        notify(StatementEvent::Open, connectionString, false);
        return false;
    }
    h_->env = attempt->env;
    h_->dbc = attempt->dbc;
    h_->connected = attempt->connected;
    if (!attempt->connected) {
        error_ = attempt->error;
        notify(StatementEvent::Open, connectionString, false);
        close();
        return false;
    }
    notify(StatementEvent::Open, connectionString, true);
    return true;
}

void Connection::close()
{
    if (h_->dbc) {
        if (h_->connected)
            SQLDisconnect(h_->dbc);
        SQLFreeHandle(SQL_HANDLE_DBC, h_->dbc);
    }
    if (h_->env)
        SQLFreeHandle(SQL_HANDLE_ENV, h_->env);
    Error kept = error_;
    *h_ = Handles{};
    error_ = kept;
}

bool Connection::isOpen() const
{
    return h_->connected;
}

bool Connection::execute(const QString& sql, qint64* rowsAffected)
{
    return run(sql, nullptr, rowsAffected);
}

Recordset Connection::query(const QString& sql)
{
    Recordset rs;
    run(sql, &rs, nullptr);
    return rs;
}

bool Connection::run(const QString& sql, Recordset* into, qint64* rowsAffected)
{
    clearError();
    if (!h_->connected) {
        error_ = Error{true, QStringLiteral("08003"), 0, QStringLiteral("connection not open")};
        notify(StatementEvent::Statement, sql, false);
        return false;
    }
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    SQLAllocHandle(SQL_HANDLE_STMT, h_->dbc, &stmt);
    SQLRETURN rc = SQLExecDirectW(stmt, const_cast<SQLWCHAR*>(wide(sql)), SQLINTEGER(sql.size()));
    bool ok = SQL_SUCCEEDED(rc) || rc == SQL_NO_DATA;
    if (!ok)
        error_ = diagnostics(SQL_HANDLE_STMT, stmt, QStringLiteral("statement failed"));
    if (ok && rowsAffected) {
        SQLLEN n = 0;
        SQLRowCount(stmt, &n);
        *rowsAffected = n;
    }
    SQLSMALLINT columns = 0;
    if (ok && into && SQL_SUCCEEDED(SQLNumResultCols(stmt, &columns)) && columns > 0) {
        auto data = std::make_shared<Recordset::Data>();
        for (SQLUSMALLINT c = 1; c <= columns; ++c) {
            SQLWCHAR name[256] = {};
            SQLSMALLINT len = 0;
            SQLDescribeColW(stmt, c, name, SQLSMALLINT(std::size(name)), &len, nullptr, nullptr,
                            nullptr, nullptr);
            data->names << QString::fromUtf16(reinterpret_cast<const char16_t*>(name),
                                              std::min<qsizetype>(len, 255));
        }
        while (ok && SQL_SUCCEEDED(rc = SQLFetch(stmt))) {
            std::vector<Value> row(static_cast<size_t>(columns));
            for (SQLUSMALLINT c = 1; c <= columns && ok; ++c)
                ok = readColumn(stmt, c, row[c - 1]);
            data->rows.push_back(std::move(row));
        }
        if (ok && rc != SQL_NO_DATA)
            ok = false;
        if (!ok)
            error_ = diagnostics(SQL_HANDLE_STMT, stmt, QStringLiteral("fetch failed"));
        else {
            into->data_ = std::move(data);
            into->pos_ = 0;
        }
    }
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    notify(StatementEvent::Statement, sql, ok);
    return ok;
}

bool Connection::selectDatabase(const QString& name)
{
    clearError();
    if (!h_->connected)
        return false;
    const SQLRETURN rc =
        SQLSetConnectAttrW(h_->dbc, SQL_ATTR_CURRENT_CATALOG, const_cast<SQLWCHAR*>(wide(name)),
                           SQLINTEGER(name.size() * sizeof(SQLWCHAR)));
    if (!SQL_SUCCEEDED(rc))
        error_ = diagnostics(SQL_HANDLE_DBC, h_->dbc, QStringLiteral("cannot select database"));
    return SQL_SUCCEEDED(rc);
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
    return setAutocommit(false);
}

bool Connection::commit()
{
    if (!h_->connected)
        return false;
    const bool ok = SQL_SUCCEEDED(SQLEndTran(SQL_HANDLE_DBC, h_->dbc, SQL_COMMIT));
    if (!ok) {
        error_ = diagnostics(SQL_HANDLE_DBC, h_->dbc, QStringLiteral("commit failed"));
        return false;
    }
    return setAutocommit(true);
}

bool Connection::rollback()
{
    if (!h_->connected)
        return false;
    SQLEndTran(SQL_HANDLE_DBC, h_->dbc, SQL_ROLLBACK);
    return setAutocommit(true);
}

} // namespace lt::db
