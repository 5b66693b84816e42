#pragma once
// Reading a large table (the logs) in bounded chunks, for exports, statistics and printing.
//
// The driver keeps the whole result of a statement in client memory, even with its no-cache
// options, so one statement over a million rows costs hundreds of megabytes. Here each
// statement reads at most one chunk, in the order of an indexed key column (AcTime), starting
// where the previous chunk ended.
//
// Each chunk is fetched in blocks of rows into bound buffers (Connection::streamBlocks), so a
// reader that writes the values elsewhere (a backup) copies their bytes and makes no string
// for them.
//
// Rows that share the key of a chunk's last row (ties, e.g. many rows of the same second) may
// continue in the next chunk. The next chunk therefore starts AT that key (>=), and the rows of
// that key already handed over are recognised by their content and skipped. Rows alike in
// every selected column are counted, so none is lost or handed over twice, in whatever order
// the server returns ties. Rows whose key is NULL are read first (ascending) or last
// (descending), in the same way.
//
// The key must compare on the server as its text compares byte for byte (time stamps, numbers
// of fixed width): a case-insensitive collation would make 'a' and 'A' one key on the server
// and two here.

#include "common/odbc.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <functional>
#include <optional>
#include <span>

namespace lt::db
{

struct ChunkedRead {
    QString columns = QStringLiteral("*"); // the select list; it must give the key by name
    QString table;                         // e.g. "logtable"
    QString condition;                     // without WHERE; empty for every row
    QString key = QStringLiteral("AcTime");
    bool descending = false;
    int chunkRows = 5000;
};

// Where a chunked reading stands between two chunks.
struct ChunkPosition {
    enum class Stage { NullKeys, Keys, Done };
    Stage stage = Stage::NullKeys;
    std::optional<QString> lastKey; // the key of the last row handed over (Keys stage)
    QHash<QByteArray, int> seen;    // rows of that key (or of the NULL key) handed over, by content
    int seenCount = 0;              // the sum of seen
};

// The position before the first chunk.
ChunkPosition firstChunk(const ChunkedRead& read);

// The statement that reads the chunk at a position (empty when the reading is done):
//   SELECT columns FROM table WHERE (condition) AND key>='last' ORDER BY key LIMIT n
// where n is the chunk size plus the rows of the last key already handed over.
QString chunkStatement(const ChunkedRead& read, const ChunkPosition& at);

struct ChunkOutcome {
    bool ok = true;         // false: a statement failed; error says why
    bool cancelled = false; // the cancel check or the row handler stopped the reading
    qint64 rows = 0;        // rows handed over
    int chunks = 0;         // statements sent
    Error error;
};

// Reads every row of the table that meets the condition, chunk after chunk, handing each to
// onRow in key order. cancelled (when given) is asked before each chunk. A failure part-way
// leaves the rows handed over so far handed over; a connection lost between chunks is reopened
// by the next chunk's statement.
ChunkOutcome readInChunks(Connection& connection, const ChunkedRead& read, const RowHandler& onRow,
                          const std::function<bool()>& cancelled = {});

// Called for each block of a chunk with the rows of the block to take, in order: the rows of the
// chunk's starting key that an earlier chunk handed over are left out. Returning false stops the
// reading (not a failure).
using ChunkBlockHandler = std::function<bool(const RowBlock& block, std::span<const int> rows)>;

// The same reading, block by block. The outcome's rows counts the rows offered to onBlock.
ChunkOutcome readBlocksInChunks(Connection& connection, const ChunkedRead& read,
                                const ChunkBlockHandler& onBlock,
                                const std::function<bool()>& cancelled = {});

} // namespace lt::db
