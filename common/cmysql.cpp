#include "common/cmysql.h"

namespace lt
{

CMySql::CMySql()
{
    Cnn0.setCursorLocation(db::Connection::CursorLocation::Client);
    Cnn1.setCursorLocation(db::Connection::CursorLocation::Client);
    for (db::Recordset* rs : {&rst0, &rst1, &rst2}) {
        rs->cursorType = db::Recordset::Keyset;
        rs->lockType = db::Recordset::Optimistic;
    }
}

CMySql::~CMySql()
{
    rst0.close();
    rst1.close();
    rst2.close();
    Cnn0.close();
    Cnn1.close();
    Cnn2.close();
}

} // namespace lt
