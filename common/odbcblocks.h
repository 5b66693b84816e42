#pragma once
// Inside the database layer: the fetch of a result in blocks of rows into bound buffers, for
// Connection::streamBlocks (common/odbc.h). Not for callers of the layer.

#include "common/odbc.h"

namespace lt::db
{

struct BlockFetch {
    // Fetches the rows of the executed statement stmt (a SQLHSTMT) block after block into
    // bound buffers and hands each block to onBlock; rows counts the rows handed over. False
    // when a fetch failed: the statement's diagnostics say why.
    static bool run(void* stmt, const QStringList& names, const BlockHandler& onBlock,
                    qint64& rows);
};

} // namespace lt::db
