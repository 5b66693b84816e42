#pragma once
// Realistic bulk rows for benchmarks: terminals, Chinese titles, addresses, results, with time
// stamps spread over days and many rows sharing one second. The log rows are the row layouts of
// common/logrows.h, written by their statements: multi-row INSERT statements inside
// transactions, which is what makes a million rows take seconds.

#include <QDateTime>
#include <QString>

namespace lt::db
{
class Connection;
}

namespace lt::bench
{

struct GenOptions {
    qint64 rows = 0;
    QDateTime first = QDateTime(QDate(2026, 11, 1), QTime(0, 0)); // oldest time stamp
    int days = 7;                   // time stamps spread evenly over this many days
    quint32 seed = 1;               // same seed, same rows
    double unclassifiedShare = 0.5; // webtable: share of rows with an empty Class
};

// Registers the data sources for the installation's local server and initialises both
// databases (erasing them), leaving log and config open on them; false, with the reason, when
// the server cannot be reached.
bool provisionLocal(db::Connection& log, db::Connection& config, QString* why = nullptr);

// Each returns the rows inserted (fewer than asked only when a statement failed; the
// connection's error state then says why).
qint64 fillLogTable(db::Connection& log, const GenOptions& options);    // logtable
qint64 fillUploadTable(db::Connection& log, const GenOptions& options); // upsendtable
qint64 fillWebTable(db::Connection& config, const GenOptions& options); // webtable
qint64 fillTerminals(db::Connection& config, int count);                // usertable

} // namespace lt::bench
