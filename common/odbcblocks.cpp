#include "common/odbcblocks.h"

#include <sql.h>
#include <sqlext.h>

namespace lt::db
{

static_assert(sizeof(SQLLEN) == sizeof(qint64), "lengths are bound as SQLLEN arrays");

namespace
{

// A block's buffers stay near this size, whatever the columns' widths; rows per block between
// kMinRows and kMaxRows.
constexpr qint64 kBlockBytes = 2 * 1024 * 1024;
constexpr qint64 kMinRows = 16;
constexpr qint64 kMaxRows = 1024;
// The widest value bound to a buffer. A column that may hold more (a LONGTEXT), or whose width
// the driver does not tell, is read value by value with SQLGetData.
constexpr qint64 kWidestBuffer = 4096;

// Bytes of a buffer that holds any value of the column as UTF-8 text with its terminating zero;
// 0 for a column read value by value.
qint64 bufferWidth(SQLHSTMT stmt, SQLUSMALLINT column)
{
    SQLLEN octets = 0;
    SQLLEN characters = 0;
    SQLLEN display = 0;
    SQLColAttribute(stmt, column, SQL_DESC_OCTET_LENGTH, nullptr, 0, nullptr, &octets);
    SQLColAttribute(stmt, column, SQL_DESC_LENGTH, nullptr, 0, nullptr, &characters);
    SQLColAttribute(stmt, column, SQL_DESC_DISPLAY_SIZE, nullptr, 0, nullptr, &display);
    // Four bytes for each character: the connection's text is utf8mb4.
    const qint64 width = std::max<qint64>({octets, display, characters * 4});
    return width <= 0 || width > kWidestBuffer ? 0 : width + 1;
}

// The value of a column of the current row (a block of one row), read with SQLGetData. Text
// comes in pieces that may end inside a character; the bytes are joined.
bool readWhole(SQLHSTMT stmt, SQLUSMALLINT column, QByteArray& out, bool& null)
{
    out.clear();
    null = false;
    char piece[16384];
    const SQLLEN capacity = SQLLEN(sizeof(piece)) - 1; // the driver terminates every piece
    for (;;) {
        SQLLEN indicator = 0;
        const SQLRETURN rc = SQLGetData(stmt, column, SQL_C_CHAR, piece, sizeof(piece), &indicator);
        if (rc == SQL_NO_DATA)
            return true;
        if (!SQL_SUCCEEDED(rc))
            return false;
        if (indicator == SQL_NULL_DATA) {
            null = true;
            return true;
        }
        const bool last = indicator != SQL_NO_TOTAL && indicator <= capacity;
        out.append(piece, last ? qsizetype(indicator) : qsizetype(capacity));
        if (rc == SQL_SUCCESS || last)
            return true;
    }
}

} // namespace

Value RowBlock::value(int row, int column) const
{
    if (isNull(row, column))
        return Value();
    return Value(QString::fromUtf8(utf8(row, column)));
}

// Columns of known width are bound to buffers of that width and come in blocks of many rows.
// A column read value by value makes blocks of one row, and it and the columns after it are
// read with SQLGetData in column order (what every driver allows). A bound value can then never
// be cut: one longer than its column's declared width fails the reading instead.
bool BlockFetch::run(void* handle, const QStringList& names, const BlockHandler& onBlock,
                     qint64& rows)
{
    const auto stmt = static_cast<SQLHSTMT>(handle);
    RowBlock block;
    block.names_ = names;
    block.columns_.resize(size_t(names.size()));
    int bound = int(names.size()); // the columns before the first one read value by value
    qint64 rowBytes = 0;
    for (int c = 0; c < names.size(); ++c) {
        block.columns_[c].width = bufferWidth(stmt, SQLUSMALLINT(c + 1));
        if (block.columns_[c].width == 0)
            bound = std::min(bound, c);
        rowBytes += block.columns_[c].width;
    }
    const qint64 arraySize =
        bound < names.size()
            ? 1
            : std::clamp(kBlockBytes / std::max<qint64>(rowBytes, 1), kMinRows, kMaxRows);
    SQLULEN fetched = 0;
    if (!SQL_SUCCEEDED(SQLSetStmtAttr(stmt, SQL_ATTR_ROW_BIND_TYPE,
                                      reinterpret_cast<SQLPOINTER>(SQL_BIND_BY_COLUMN), 0)) ||
        !SQL_SUCCEEDED(SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE,
                                      reinterpret_cast<SQLPOINTER>(SQLULEN(arraySize)), 0)) ||
        !SQL_SUCCEEDED(SQLSetStmtAttr(stmt, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0)))
        return false;
    for (int c = 0; c < names.size(); ++c) {
        RowBlock::Column& column = block.columns_[c];
        column.lengths.resize(size_t(arraySize));
        if (c >= bound) {
            column.whole.resize(1);
            continue;
        }
        column.buffer.resize(size_t(column.width * arraySize));
        if (!SQL_SUCCEEDED(SQLBindCol(stmt, SQLUSMALLINT(c + 1), SQL_C_CHAR, column.buffer.data(),
                                      SQLLEN(column.width),
                                      reinterpret_cast<SQLLEN*>(column.lengths.data()))))
            return false;
    }
    SQLRETURN rc;
    while (SQL_SUCCEEDED(rc = SQLFetch(stmt))) {
        block.rows_ = int(fetched);
        for (int c = 0; c < bound; ++c) {
            for (qint64& length : block.columns_[c].lengths) {
                if (length == SQL_NULL_DATA)
                    length = RowBlock::kNull;
                else if (length >= block.columns_[c].width || length == SQL_NO_TOTAL)
                    return false; // cut by its buffer: the fetch's diagnostics say so
            }
        }
        for (int c = bound; c < names.size(); ++c) {
            RowBlock::Column& column = block.columns_[c];
            bool null = false;
            if (!readWhole(stmt, SQLUSMALLINT(c + 1), column.whole[0], null))
                return false;
            column.lengths[0] = null ? RowBlock::kNull : RowBlock::kLong;
        }
        rows += block.rows_;
        if (!onBlock(block))
            return true;
    }
    return rc == SQL_NO_DATA;
}

} // namespace lt::db
