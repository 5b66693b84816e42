#pragma once
// BlackName.dat, the black list delivered with the system: GBK text with CR LF line ends.
// Line 1 the record count written as a number (" 2 "), then three lines per record: the domain
// (blacktable.Name), the title and the class name. Each line holds one delimited field: a
// value that holds a comma or begins with a double quote is written in double quotes.
//
// What the format cannot carry is refused on both sides, named in a report line, instead of
// being read back as something else: a line break, NUL or a character outside GBK in any value,
// and a double quote in a value that needs quotes. The reader takes a record only when each of
// its lines holds exactly one field (or, as files of the older form have it, its first line
// holds all three); a record that does not fit is reported and its three lines passed over, so
// the records after it keep their columns.

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <vector>

namespace lt::db
{
class Connection;
}

namespace lt::blacklist
{

struct Record {
    QString domain;
    QString title;
    QString className;
    bool operator==(const Record&) const = default;
};

struct Contents {
    int declaredCount = 0;       // the count of line 1 as read
    std::vector<Record> records; // the records read
    // One line per record not taken (and for a file shorter than its count), naming it:
    // "BlackName.dat 第3条记录（第8行，域名“x.example”）：第9行含有2个字段，应为1个，未导入".
    QStringList problems;
};

// Reads like the import: the first field as a 16-bit count (text that is not a whole number,
// or lies outside -32768..32767, counts 0), then as many records as the count says, stopping
// at the end of the file. No value when the file cannot be opened.
std::optional<Contents> read(const QString& path);

// The same from the bytes of a file; fileName names it in the problems.
Contents parse(const QByteArray& bytes, const QString& fileName = QStringLiteral("BlackName.dat"));

// Why a trimmed value cannot be written so that read() gives it back; empty when it can.
QString unwritableReason(const QString& trimmed);

// The export format: the count, then each value trimmed on a line of its own, quoted where it
// needs quotes. A record with a value that cannot be written is left out (the count counts the
// records written) and named in refused. The file is replaced in one step: on a failure the
// old file stays. False when the file could not be written.
bool write(const QString& path, const std::vector<Record>& records, QStringList* refused = nullptr);
// The bytes write() puts into the file.
QByteArray format(const std::vector<Record>& records, QStringList* refused = nullptr);

struct ImportResult {
    bool fileFound = false;
    int declared = 0; // the record count of the file's first line
    int inserted = 0;
    // Statements that failed ("statement: message"), then the records of the file not taken.
    QStringList failures;
    // Of the failures, those that cost one record only, which the import passed over: records
    // the server refused and records of the file that could not be read. A lost connection or
    // a failed COMMIT is none of them.
    QStringList skipped;
};
using Progress = std::function<void(int done, int total)>;
// One INSERT per record; on a transactional table in batches inside transactions. A record
// that fails costs only itself, and the table then holds exactly the records that succeeded.
ImportResult import(db::Connection& connection, const QString& path, const Progress& progress = {});

} // namespace lt::blacklist
