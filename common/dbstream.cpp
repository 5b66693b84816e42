#include "common/dbstream.h"

namespace lt::db
{

namespace
{

// The content of a row as one text: equal rows give equal texts, different rows different
// ones (each value carries its length, a null its own mark).
QString signature(const Row& row)
{
    QString s;
    for (const Value& v : row.values()) {
        if (v.isNull()) {
            s += QStringLiteral("N;");
            continue;
        }
        const QString text = v.toString();
        s += QString::number(text.size()) + u':' + text;
    }
    return s;
}

bool sameKey(const std::optional<QString>& a, const Value& b)
{
    return a ? !b.isNull() && b.toString() == *a : b.isNull();
}

// Hands over the rows of one chunk, skipping those of the starting key already handed over,
// and moves the position on to the last row's key.
class ChunkReader
{
public:
    ChunkReader(const ChunkedRead& read, ChunkPosition& at, const RowHandler& onRow)
        : read_(read), at_(at), onRow_(onRow), startKey_(at.lastKey),
          nullStage_(at.stage == ChunkPosition::Stage::NullKeys), skip_(at.seen)
    {
    }

    bool keyMissing = false;
    bool stopped = false;
    qint64 handed = 0;

    bool operator()(const Row& row)
    {
        if (keyIndex_ < 0)
            keyIndex_ = indexOf(row, read_.key);
        if (keyIndex_ < 0) {
            keyMissing = true;
            return false;
        }
        const Value key = nullStage_ ? Value() : row.field(keyIndex_);
        const QString content = signature(row);
        if (inStartGroup_ && sameKey(startKey_, key)) {
            if (auto it = skip_.find(content); it != skip_.end() && it.value() > 0) {
                --it.value();
                return true; // handed over with an earlier chunk
            }
        } else {
            inStartGroup_ = false;
            if (!sameKey(at_.lastKey, key)) {
                at_.lastKey = key.toString();
                at_.seen.clear();
                at_.seenCount = 0;
            }
        }
        ++at_.seen[content];
        ++at_.seenCount;
        ++handed;
        if (!onRow_(row)) {
            stopped = true;
            return false;
        }
        return true;
    }

private:
    static int indexOf(const Row& row, const QString& name)
    {
        for (int i = 0; i < row.fieldNames().size(); ++i)
            if (row.fieldNames().at(i).compare(name, Qt::CaseInsensitive) == 0)
                return i;
        return -1;
    }

    const ChunkedRead& read_;
    ChunkPosition& at_;
    const RowHandler& onRow_;
    const std::optional<QString> startKey_;
    const bool nullStage_;
    QHash<QString, int> skip_;
    bool inStartGroup_ = true;
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

ChunkOutcome readInChunks(Connection& connection, const ChunkedRead& read, const RowHandler& onRow,
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
        ChunkReader reader(read, at, onRow);
        qint64 returned = 0;
        const bool ok = connection.stream(sql, std::ref(reader), &returned);
        ++outcome.chunks;
        outcome.rows += reader.handed;
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
        if (returned < limit) {
            const ChunkPosition::Stage next = following(read, at.stage);
            at = ChunkPosition{};
            at.stage = next;
        }
    }
    return outcome;
}

} // namespace lt::db
