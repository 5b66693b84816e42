#include "common/dbstream.h"

#include <charconv>
#include <cstring>
#include <vector>

namespace lt::db
{

namespace
{

// The content of a row as bytes, added to out: equal rows give equal bytes, different rows
// different ones (each value carries its length, a null its own mark).
void appendSignature(QByteArray& out, const RowBlock& block, int row)
{
    for (int c = 0; c < block.fieldCount(); ++c) {
        if (block.isNull(row, c)) {
            out += "N;";
            continue;
        }
        const QByteArrayView value = block.utf8(row, c);
        char digits[24];
        const auto end = std::to_chars(digits, digits + sizeof(digits), value.size()).ptr;
        out.append(digits, end - digits);
        out += ':';
        out += value;
    }
}

int indexOf(const QStringList& names, const QString& name)
{
    for (int i = 0; i < names.size(); ++i)
        if (names.at(i).compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

// A key as the reading holds it: null, or its bytes.
struct Key {
    bool null = true;
    QByteArray bytes;
    bool is(bool otherNull, QByteArrayView other) const
    {
        return null ? otherNull : !otherNull && QByteArrayView(bytes) == other;
    }
    void set(bool otherNull, QByteArrayView other)
    {
        null = otherNull;
        bytes.resize(other.size()); // keeps its capacity: keys change every few rows
        if (!other.isEmpty())
            std::memcpy(bytes.data(), other.data(), size_t(other.size()));
    }
};

// Takes the rows of one chunk block by block, leaving out those of the starting key already
// handed over, and keeps the contents of the rows of the last key met for the next chunk.
class ChunkReader
{
public:
    ChunkReader(const ChunkedRead& read, ChunkPosition& at, const ChunkBlockHandler& onBlock)
        : read_(read), at_(at), onBlock_(onBlock), skip_(at.seen),
          nullStage_(at.stage == ChunkPosition::Stage::NullKeys)
    {
        if (at.lastKey)
            group_.set(false, at.lastKey->toUtf8());
        start_ = group_;
    }

    bool keyMissing = false;
    bool stopped = false;
    qint64 offered = 0;

    bool operator()(const RowBlock& block)
    {
        if (keyIndex_ < 0)
            keyIndex_ = indexOf(block.fieldNames(), read_.key);
        if (keyIndex_ < 0) {
            keyMissing = true;
            return false;
        }
        take_.clear();
        for (int r = 0; r < block.rowCount(); ++r) {
            const bool keyNull = nullStage_ || block.isNull(r, keyIndex_);
            const QByteArrayView key = keyNull ? QByteArrayView() : block.utf8(r, keyIndex_);
            if (inStartGroup_ && start_.is(keyNull, key)) {
                if (!skip_.isEmpty()) {
                    row_.resize(0);
                    appendSignature(row_, block, r);
                    if (auto it = skip_.find(row_); it != skip_.end() && it.value() > 0) {
                        --it.value();
                        continue; // handed over with an earlier chunk
                    }
                }
            } else {
                inStartGroup_ = false;
                if (!group_.is(keyNull, key)) {
                    group_.set(keyNull, key);
                    continued_ = false;
                    signatures_.resize(0);
                    ends_.clear();
                }
            }
            appendSignature(signatures_, block, r);
            ends_.push_back(signatures_.size());
            take_.push_back(r);
        }
        offered += qint64(take_.size());
        if (!take_.empty() && !onBlock_(block, take_)) {
            stopped = true;
            return false;
        }
        return true;
    }

    // The position after the chunk: the key of the last row handed over and the rows of it.
    void finish()
    {
        if (!continued_) {
            at_.seen.clear();
            at_.seenCount = 0;
        }
        at_.lastKey = group_.null ? std::nullopt : std::optional(QString::fromUtf8(group_.bytes));
        qsizetype from = 0;
        for (const qsizetype end : ends_) {
            ++at_.seen[signatures_.mid(from, end - from)];
            ++at_.seenCount;
            from = end;
        }
    }

private:
    const ChunkedRead& read_;
    ChunkPosition& at_;
    const ChunkBlockHandler& onBlock_;
    QHash<QByteArray, int> skip_;
    const bool nullStage_;
    Key start_;             // the key the chunk starts at
    Key group_;             // the key of the last row taken
    bool continued_ = true; // the rows of group_ began in an earlier chunk
    bool inStartGroup_ = true;
    QByteArray signatures_; // the contents of the rows of group_ taken in this chunk
    std::vector<qsizetype> ends_;
    QByteArray row_;
    std::vector<int> take_;
    int keyIndex_ = -1;
};

// The stage after one whose last chunk came back short.
ChunkPosition::Stage following(const ChunkedRead& read, ChunkPosition::Stage stage)
{
    using Stage = ChunkPosition::Stage;
    if (stage == Stage::NullKeys)
        return read.descending ? Stage::Done : Stage::Keys;
    if (stage == Stage::Keys)
        return read.descending ? Stage::NullKeys : Stage::Done;
    return Stage::Done;
}

} // namespace

ChunkPosition firstChunk(const ChunkedRead& read)
{
    ChunkPosition at;
    at.stage = read.descending ? ChunkPosition::Stage::Keys : ChunkPosition::Stage::NullKeys;
    return at;
}

QString chunkStatement(const ChunkedRead& read, const ChunkPosition& at)
{
    if (at.stage == ChunkPosition::Stage::Done)
        return {};
    QString where;
    if (at.stage == ChunkPosition::Stage::NullKeys)
        where = read.key + QStringLiteral(" IS NULL");
    else if (!at.lastKey)
        where = read.key + QStringLiteral(" IS NOT NULL");
    else
        where = read.key + (read.descending ? QStringLiteral("<='") : QStringLiteral(">='")) +
                sqlEscape(*at.lastKey) + u'\'';
    if (!read.condition.trimmed().isEmpty())
        where = u'(' + read.condition + QStringLiteral(") AND ") + where;
    QString sql = QStringLiteral("SELECT %1 FROM %2 WHERE %3").arg(read.columns, read.table, where);
    if (at.stage == ChunkPosition::Stage::Keys)
        sql += QStringLiteral(" ORDER BY ") + read.key +
               (read.descending ? QStringLiteral(" DESC") : QString());
    return sql +
           QStringLiteral(" LIMIT %1").arg(qint64(std::max(read.chunkRows, 1)) + at.seenCount);
}

ChunkOutcome readBlocksInChunks(Connection& connection, const ChunkedRead& read,
                                const ChunkBlockHandler& onBlock,
                                const std::function<bool()>& cancelled)
{
    ChunkOutcome outcome;
    ChunkPosition at = firstChunk(read);
    while (at.stage != ChunkPosition::Stage::Done) {
        if (cancelled && cancelled()) {
            outcome.cancelled = true;
            return outcome;
        }
        const QString sql = chunkStatement(read, at);
        const qint64 limit = qint64(std::max(read.chunkRows, 1)) + at.seenCount;
        ChunkReader reader(read, at, onBlock);
        qint64 returned = 0;
        const bool ok = connection.streamBlocks(sql, std::ref(reader), &returned);
        ++outcome.chunks;
        outcome.rows += reader.offered;
        if (reader.keyMissing) {
            outcome.ok = false;
            outcome.error = Error{true, QStringLiteral("42S22"), 0,
                                  QStringLiteral("the chunks' key %1 is not among the columns "
                                                 "read")
                                      .arg(read.key)};
            return outcome;
        }
        if (!ok) {
            outcome.ok = false;
            outcome.error = connection.lastError();
            return outcome;
        }
        if (reader.stopped) {
            outcome.cancelled = true;
            return outcome;
        }
        reader.finish();
        if (returned < limit) {
            const ChunkPosition::Stage next = following(read, at.stage);
            at = ChunkPosition{};
            at.stage = next;
        }
    }
    return outcome;
}

ChunkOutcome readInChunks(Connection& connection, const ChunkedRead& read, const RowHandler& onRow,
                          const std::function<bool()>& cancelled)
{
    qint64 handed = 0;
    std::vector<Value> values;
    const auto eachRow = [&](const RowBlock& block, std::span<const int> rows) {
        values.resize(size_t(block.fieldCount()));
        for (const int r : rows) {
            for (int c = 0; c < block.fieldCount(); ++c)
                values[size_t(c)] = block.value(r, c);
            ++handed;
            if (!onRow(Row(block.fieldNames(), values)))
                return false;
        }
        return true;
    };
    ChunkOutcome outcome = readBlocksInChunks(connection, read, eachRow, cancelled);
    outcome.rows = handed;
    return outcome;
}

} // namespace lt::db
