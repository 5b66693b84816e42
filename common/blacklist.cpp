#include "common/blacklist.h"

#include "common/odbc.h"
#include "common/schema.h"
#include "common/seqfile.h"

namespace lt::blacklist
{

namespace
{

// The count is read into a 16-bit number: what does not fit, or is not a number, counts 0.
int countOf(const QString& field)
{
    bool ok = false;
    const double value = field.trimmed().toDouble(&ok);
    if (!ok || value < -32768.5 || value > 32767.5)
        return 0;
    return int(qRound(value));
}

bool needsQuotes(const QString& value)
{
    return value.contains(u',') || value.startsWith(u'"') || value.startsWith(u' ') ||
           value.startsWith(u'\t');
}

constexpr int kBatch = 250; // records per transaction

// The batch's INSERT statements, one per record, reach the server together as one anonymous
// block: a round trip per batch instead of per record. False when the block failed; what it
// did is then rolled back with the transaction.
bool sendAsBlock(db::Connection& connection, const QStringList& statements)
{
    return connection.execute(QStringLiteral("BEGIN NOT ATOMIC\n") +
                              statements.join(QStringLiteral(";\n")) + QStringLiteral(";\nEND"));
}

} // namespace

std::optional<Contents> read(const QString& path)
{
    SeqReader reader;
    if (!reader.open(path))
        return std::nullopt;
    Contents contents;
    contents.declaredCount = countOf(reader.readField().value_or(QString()));
    for (int i = 0; i < contents.declaredCount; ++i) {
        auto domain = reader.readField();
        auto title = reader.readField();
        auto className = reader.readField();
        if (!domain || !title || !className)
            break; // the file ends before the count says
        contents.records.push_back({*domain, *title, *className});
    }
    return contents;
}

bool write(const QString& path, const std::vector<Record>& records)
{
    SeqWriter writer;
    if (!writer.open(path))
        return false;
    writer.printNumber(qint64(records.size()));
    for (const Record& r : records) {
        for (const QString& value : {r.domain, r.title, r.className}) {
            const QString trimmed = value.trimmed();
            writer.printLine(needsQuotes(trimmed) && !trimmed.contains(u'"') ? u'"' + trimmed + u'"'
                                                                             : trimmed);
        }
    }
    return writer.close();
}

ImportResult import(db::Connection& connection, const QString& path, const Progress& progress)
{
    ImportResult result;
    const auto contents = read(path);
    if (!contents)
        return result;
    result.fileFound = true;
    const int total = int(contents->records.size());
    bool blocks = true; // the server runs anonymous blocks
    for (int start = 0; start < total; start += kBatch) {
        bool inTransaction = connection.beginTransaction();
        const int end = std::min(total, start + kBatch);
        const int before = result.inserted;
        QStringList statements;
        for (int i = start; i < end; ++i) {
            const Record& r = contents->records[size_t(i)];
            statements << schema::blackListInsert(r.domain, r.title, r.className);
        }
        const bool asBlock = inTransaction && blocks;
        if (asBlock && sendAsBlock(connection, statements)) {
            result.inserted += int(statements.size());
            statements.clear();
        } else if (asBlock) {
            // A record failed (or blocks are not understood): the batch again, one statement
            // at a time, so that a bad record costs only itself.
            connection.rollback();
            inTransaction = connection.beginTransaction();
        }
        const qsizetype failuresBefore = result.failures.size();
        for (const QString& sql : std::as_const(statements)) {
            if (connection.execute(sql))
                ++result.inserted;
            else
                result.failures << sql + QStringLiteral(": ") + connection.lastError().message;
        }
        if (asBlock && !statements.isEmpty() && result.failures.size() == failuresBefore)
            blocks = false; // no record was at fault
        if (inTransaction && !connection.commit()) {
            result.failures << QStringLiteral("COMMIT: ") + connection.lastError().message;
            result.inserted = before;
        }
        if (progress)
            progress(end, total);
    }
    return result;
}

} // namespace lt::blacklist
