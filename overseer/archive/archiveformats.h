#pragma once
// The files of the export window and the restore dialog, without a database or a widget: the
// readable reports of the two logs, the configuration file (.cfg) and the log backup (.bak), the
// checks a file passes before anything of it reaches a table, and the date range of a deletion.
//
// All files are GB18030 text (GBK bytes for every character GBK holds) with CR LF line ends; a
// number line holds the number with a blank before and after it.
//
// A line break inside a value would start a new line of the file and shift every later value
// of a .bak or .cfg, so the writers put a blank in its place (every report line stays one line
// too). The configuration file is read back field by field (a comma ends a field): a value with
// a comma, or one that begins with a double quote, is written between double quotes, and a
// double quote inside such a value becomes a single one, since a quoted field cannot hold one.

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTime>
#include <optional>
#include <vector>

namespace lt
{
class SeqReader;
}

namespace lt::overseer::archive
{

inline const QString kFileHeader = QStringLiteral("HNQMLXDOVRIKXT");

// The four choices of the export window, in the order of its option buttons.
enum class ExportKind { BrowseReport = 0, UploadReport = 1, Config = 2, LogBackup = 3 };

// The columns read for each log export, in the order the files take them.
inline const QStringList kLogColumns = {QStringLiteral("Name"),    QStringLiteral("IP"),
                                        QStringLiteral("AcTime"),  QStringLiteral("Team"),
                                        QStringLiteral("Title"),   QStringLiteral("URL"),
                                        QStringLiteral("Class"),   QStringLiteral("Result"),
                                        QStringLiteral("nLength"), QStringLiteral("F")};
inline const QStringList kUploadColumns = {QStringLiteral("Name"), QStringLiteral("IP"),
                                           QStringLiteral("URL"), QStringLiteral("AcTime"),
                                           QStringLiteral("UpSendTxt")};
// The widths of the columns in characters, as the tables hold them (F is a number).
inline const QList<int> kLogWidths = {16, 16, 17, 16, 100, 150, 10, 4, 10, 0};
inline const QList<int> kUserWidths = {16, 16, 16};
inline const QList<int> kGroupWidths = {16, 1, 1, 24, 24, 24, 24, 24, 24, 24, 24, 24, 24, 24, 24};

// A value as the files hold it: line breaks become blanks; trimmed unless kept as read.
QString fileValue(const QString& value, bool trim = true);
// Characters of a text as the database counts them (a pair of surrogates is one).
int characterCount(const QString& text);

// A labelled text filled with blanks to 22 bytes as written, then two more blanks; a text of
// 22 bytes or more gets only the two blanks.
QString cell(const QString& labelled);
// The same without the two blanks.
QString filledCell(const QString& labelled);
QString hyphens();

// The lines of one record with their line ends. values: the columns of kLogColumns (browse
// report, backup) or kUploadColumns (upload report), as read.
QString browseReportRecord(const QStringList& values);
QString uploadReportRecord(const QStringList& values);
QString backupRecord(const QStringList& values);
void appendBackupRecord(QString& text, const QStringList& values); // the same, added to text

// Records on their way from the reading of a table to its file: the values of many records as
// the UTF-8 bytes the server sent, one after another in one buffer, with no string made for
// each (a null value is an empty one, as the files hold it).
class RecordBatch
{
public:
    explicit RecordBatch(int columns) : columns_(columns) {}
    void add(QByteArrayView value) // the next value of the record being added
    {
        bytes_.append(value);
        ends_.push_back(bytes_.size());
    }
    void reserve(qsizetype records, qsizetype bytes)
    {
        ends_.reserve(size_t(records * columns_));
        bytes_.reserve(bytes);
    }
    int columns() const { return columns_; }
    qsizetype records() const { return qsizetype(ends_.size()) / columns_; }
    qsizetype bytes() const { return bytes_.size(); }
    QByteArrayView value(qsizetype record, int column) const;
    QStringList values(qsizetype record) const;

private:
    int columns_;
    QByteArray bytes_;
    std::vector<qsizetype> ends_;
};
// The lines of the backup records of a batch (columns of kLogColumns), added to text: what
// appendBackupRecord adds for each of them.
void appendBackupRecords(QString& text, const RecordBatch& batch);
// One value of a configuration file, with its line end.
QString configValueLine(const QString& value);
// The value the restore reads back from configValueLine(value). It differs from the value
// where the file cannot carry it: a line break becomes a blank, blanks and tabs around it are
// dropped, and a double quote inside a value written between double quotes becomes a single one.
QString configValueReadBack(const QString& value);

// What a restore file holds once checked; message says why a file is refused.
struct ConfigData {
    QList<QStringList> users;  // Name, IP, Team
    QList<QStringList> groups; // Team, DnLog, UpLog, A to L
    QString message;           // empty when the file is sound
    bool ok() const { return message.isEmpty(); }
};
// Reads and checks a whole configuration file: the header, both counts, every field there,
// every value within its column's width (a group's log levels and its twelve hour masks of
// exactly one and 24 characters), valid text without a NUL or a line break, nothing but blanks
// after the last group.
ConfigData readConfig(SeqReader& reader);

// Why path cannot be read back at all (it is missing, a folder, a device, a pipe: a restore
// reads files only); empty when it is a file.
QString restoreFileProblem(const QString& path);

// The number (0-based) of the first of the file's first `lines` lines (all when -1) that is
// longer than any line of a backup or configuration file can be; -1 when there is none. A
// line is read no further than that length, so that a file of gigabytes without a line end is
// refused at once, before a field of it is read.
qint64 firstLongLine(const QString& path, qint64 lines = -1);

// The log backup: the header and the count, then records of ten lines.
struct BackupHeader {
    qint64 records = 0;
    QString message; // empty when the header and the count are sound
    bool ok() const { return message.isEmpty(); }
};
BackupHeader readBackupHeader(SeqReader& reader);
// Passes over the records of a backup whose header was read: every one of them is there, no
// line is longer than a record's line can be, nothing but blank lines follows. The message
// says what is wrong; empty when the file holds exactly the records it announces.
QString checkBackupBody(SeqReader& reader, qint64 records);
// The next record's ten values (line input, commas kept); no value at the end of the file.
// *invalid: a line held bytes that are not text.
std::optional<QStringList> readBackupRecord(SeqReader& reader, bool* invalid);
// Why a record cannot go into logtable as it is (a value wider than its column, F not a
// number); empty when it can.
QString backupRecordFault(const QStringList& values);

// The time range of a date-range deletion: the end date moves a day on when both dates are
// the same (on the last day a time stamp can name, the end is that day's last second instead).
// reversed: the start lies after the end.
struct DeletionRange {
    QString start; // "YY-MM-DD HH:MM:SS"
    QString end;
    QDate endDate; // the end date after the same-day rule
    bool reversed = false;
};
DeletionRange deletionRange(QDate startDate, QTime startTime, QDate endDate, QTime endTime);
// "DELETE FROM logtable WHERE AcTime>='start' AND AcTime<='end'", then the same for
// upsendtable, each when its box is checked.
QStringList deletionStatements(bool browseLog, bool uploadLog, const DeletionRange& range);

} // namespace lt::overseer::archive
