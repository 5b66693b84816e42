#pragma once
// BlackName.dat, the black list delivered with the system: GBK text with CR LF line ends.
// Line 1 the record count written as a number (" 2 "), then three lines per record: the domain
// (blacktable.Name), the title and the class name.

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
};

// Reads like the import: the first field as a 16-bit count (text that is not a whole number,
// or lies outside -32768..32767, counts 0), then as many records of three delimited fields as
// the count says, stopping at the end of the file. No value when the file cannot be opened.
std::optional<Contents> read(const QString& path);

// The export format: the count, then each value trimmed on a line of its own. A value that the
// import would not read back as written (a comma, a leading double quote or blank) is quoted.
bool write(const QString& path, const std::vector<Record>& records);

struct ImportResult {
    bool fileFound = false;
    int inserted = 0;
    QStringList failures;
};
using Progress = std::function<void(int done, int total)>;
// One INSERT per record, in batches inside transactions; a record that fails costs only itself.
ImportResult import(db::Connection& connection, const QString& path, const Progress& progress = {});

} // namespace lt::blacklist
