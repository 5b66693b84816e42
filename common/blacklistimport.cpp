// The import of BlackName.dat into blacktable (the file side is blacklist.cpp).

#include "common/blacklist.h"

#include "common/dbconnect.h"
#include "common/odbc.h"
#include "common/schema.h"

namespace lt::blacklist
{

namespace
{

constexpr int kBatch = 250; // records per transaction

// The batch's INSERT statements, one per record, reach the server together as one anonymous
// block: a round trip per batch instead of per record. False when the block failed; what it
// did is then rolled back with the transaction.
bool sendAsBlock(db::Connection& connection, const QStringList& statements)
{
    return connection.execute(QStringLiteral("BEGIN NOT ATOMIC\n") +
                              statements.join(QStringLiteral(";\n")) + QStringLiteral(";\nEND"));
}

// Whether a rollback undoes inserts into blacktable: its engine keeps transactions (InnoDB
// does; MyISAM, the default of some servers, does not). When the server cannot say, it counts
// as not, which costs speed only.
bool transactional(db::Connection& connection)
{
    db::Recordset rs = connection.query(QStringLiteral(
        "SELECT e.TRANSACTIONS FROM information_schema.TABLES t JOIN information_schema.ENGINES e "
        "ON e.ENGINE=t.ENGINE WHERE t.TABLE_SCHEMA=DATABASE() AND "
        "LOWER(t.TABLE_NAME)='blacktable'"));
    return rs.isOpen() && !rs.eof() && rs.field(0).toString().trimmed() == QStringLiteral("YES");
}

struct Batch {
    int inserted = 0;
    QStringList failures;
    QStringList refused; // of the failures, the records the server answered with an error
};

Batch sendEach(db::Connection& connection, const QStringList& statements)
{
    Batch batch;
    for (const QString& sql : statements) {
        if (connection.execute(sql)) {
            ++batch.inserted;
            continue;
        }
        batch.failures << sql + QStringLiteral(": ") + connection.lastError().message;
        if (!db::connectionLost(connection.lastError()))
            batch.refused << batch.failures.last();
    }
    return batch;
}

// Sends a batch inside a transaction, as one block while blocks work. A block that fails is
// rolled back and the batch sent again one statement at a time, so a bad record costs only
// itself. blocks is cleared when a block failed although every record went in alone.
Batch sendInTransaction(db::Connection& connection, const QStringList& statements, bool& blocks)
{
    Batch batch;
    bool inTransaction = connection.beginTransaction();
    if (inTransaction && blocks) {
        if (sendAsBlock(connection, statements)) {
            batch.inserted = int(statements.size());
        } else {
            connection.rollback();
            inTransaction = connection.beginTransaction();
            batch = sendEach(connection, statements);
            blocks = !batch.failures.isEmpty();
        }
    } else {
        batch = sendEach(connection, statements);
    }
    if (inTransaction && !connection.commit()) {
        batch.failures << QStringLiteral("COMMIT: ") + connection.lastError().message;
        batch.inserted = 0;
    }
    return batch;
}

} // namespace

ImportResult import(db::Connection& connection, const QString& path, const Progress& progress)
{
    ImportResult result;
    const auto contents = read(path);
    if (!contents)
        return result;
    result.fileFound = true;
    result.declared = contents->declaredCount;
    const int total = int(contents->records.size());
    const bool rollbackWorks = transactional(connection);
    bool blocks = true; // the server runs anonymous blocks
    for (int start = 0; start < total; start += kBatch) {
        const int end = std::min(total, start + kBatch);
        QStringList statements;
        for (int i = start; i < end; ++i) {
            const Record& r = contents->records[size_t(i)];
            statements << schema::blackListInsert(r.domain, r.title, r.className);
        }
        // Without a working rollback a failed block would leave the records before the bad one
        // in the table, and sending them again would insert them twice.
        const Batch batch = rollbackWorks ? sendInTransaction(connection, statements, blocks)
                                          : sendEach(connection, statements);
        result.inserted += batch.inserted;
        result.failures << batch.failures;
        result.skipped << batch.refused;
        if (progress)
            progress(end, total);
    }
    result.failures << contents->problems;
    result.skipped << contents->problems;
    return result;
}

} // namespace lt::blacklist
