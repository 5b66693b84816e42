#pragma once
// Filling one of the shared recordsets with a statement's result, keeping the recordset's own
// settings (cursor and lock type). The connection's error state tells whether it failed.

#include "common/odbc.h"

namespace lt::overseer
{

inline bool executeInto(db::Recordset& into, db::Connection& connection, const QString& sql)
{
    const db::Recordset::CursorType cursor = into.cursorType;
    const db::Recordset::LockType lock = into.lockType;
    into = connection.query(sql);
    into.cursorType = cursor;
    into.lockType = lock;
    return !connection.failed();
}

} // namespace lt::overseer
