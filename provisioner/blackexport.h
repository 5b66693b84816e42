#pragma once
// The export of the vendor's master black list (the outside data source "blacktable") into a
// BlackName.dat file, behind an access code.

#include <QString>
#include <QStringList>
#include <Qt>

namespace lt::db
{
class Connection;
}

namespace lt::prov
{

inline const QString kMasterConnectionString = QStringLiteral("DSN=blacktable;uid=;pwd=");
inline const QString kMasterQuery = QStringLiteral("SELECT * FROM 黑名单");
constexpr int kMaxBlackListRecords = 32767; // what the count line of the file can hold

// Right button with Ctrl and Alt, Shift not held.
bool isExportGesture(Qt::MouseButton button, Qt::KeyboardModifiers modifiers);
bool accessCodeAccepted(const QString& typed);

struct ExportResult {
    bool read = false; // the master list was read; the file is only written then
    bool written = false;
    int records = 0;        // records in the master list
    int recordsWritten = 0; // records written to the file
    // Records left out because the file format cannot carry one of their values, each named
    // ("第5条记录（域名“x.example”）：标题含有换行符，未写入").
    QStringList refused;
    QString error;
};
// The message after an export that left records out: this text, then the first 20 records
// refused, one a line ("……" when there are more).
inline const QString kExportRefused =
    QStringLiteral("%1 条记录的值无法写入 BlackName.dat（读回时会变成别的值），未写入：");
QString refusedMessage(const QStringList& refused);

// Reads the master list on connection and writes it to path (count line, then domain, title and
// class of every record, trimmed). When the list cannot be read, the file is left as it was.
// recordsWritten counts the records in the file: at most kMaxBlackListRecords, less refused.
ExportResult exportMasterBlackList(db::Connection& connection, const QString& path);

} // namespace lt::prov
