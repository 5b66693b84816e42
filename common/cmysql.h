#pragma once
// The console's database object: three connections and three recordsets shared by its views.
// Cnn0 and Cnn2 reach the log database, Cnn1 the configuration database.

#include "common/odbc.h"

namespace lt
{

class CMySql
{
public:
    CMySql();
    ~CMySql(); // releases rst0, rst1, rst2, Cnn0, Cnn1, Cnn2 in that order

    db::Connection Cnn0;
    db::Connection Cnn1;
    db::Connection Cnn2;
    db::Recordset rst0;
    db::Recordset rst1;
    db::Recordset rst2;
};

} // namespace lt
