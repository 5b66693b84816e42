#pragma once
// The printed log reports as text, without a printer: the lines of each page, placed by print
// columns (Tab positions, 1-based) on a monospaced layout in which one byte of the GBK code page
// is one column (a Chinese character, and the em dash, take two).
//
// Three reports: the browse log (21 records a page, each a line of fields filled to byte
// widths, the title, the address and a rule), the upload log (21 records a page) and one upload
// record with its whole content in slices of 55 characters. A log report is built one record at
// a time and handed out one page at a time, so nothing holds more than a page.

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

namespace lt::overseer
{

// A text starting at a print column; column 0 continues where the previous text ended.
struct PrintSegment {
    int column = 0;
    QString text;
    bool operator==(const PrintSegment&) const = default;
};
using PrintLine = QList<PrintSegment>;
using PrintPage = QList<PrintLine>;

constexpr int kRecordsPerPage = 21;
// The widest line of a report: the long rule, 66 em dashes of two columns.
constexpr int kLineColumns = 132;
// Lines a page of a log report holds: the header, 21 records of four lines, the footer.
constexpr int kLinesPerPage = 2 + kRecordsPerPage * 4 + 1;

QString longRule();  // 66 em dashes
QString shortRule(); // 58 em dashes

// Pages of a report of `records` records: records × 3 div 63, one more for a remainder.
int printPageCount(qint64 records);

// The dialog's page range check.
enum class PageRange { Ok, NotNumeric, Wrong };
PageRange checkPageRange(const QString& first, const QString& last, int totalPages);

// The text filled with blanks up to `bytes` bytes (never cut).
QString padBytes(const QString& text, int bytes);
// Where a line's texts start and end, in columns; a text is cut so that no line goes beyond
// kLineColumns (a double-byte character is never halved).
PrintLine fitLine(const PrintLine& line, int columns = kLineColumns);
// The line as plain text, blanks up to each column (what a monospaced printout shows).
QString lineText(const PrintLine& line);

// A content text as printed: each line break (CR LF, CR, LF) and Tab becomes one blank.
QString flatText(const QString& text);

struct BrowseRecord {
    QString Name, IP, AcTime, Team, Title, URL, Class, Result;
};
struct UploadRecord {
    QString Name, IP, URL, AcTime, UpSendTxt;
};
// The records from rows of logtable and upsendtable (fields by name).
BrowseRecord browseRecordOf(const std::function<QString(const char*)>& field);
UploadRecord uploadRecordOf(const std::function<QString(const char*)>& field);

// The first line of a browse record: terminal, address, time, group, class and result filled to
// 22, 22, 23, 22, 10 bytes plus two blanks each, the result to 22 without blanks after.
QString browseFieldLine(const BrowseRecord& r);
QList<PrintLine> browseRecordLines(const BrowseRecord& r);
QList<PrintLine> uploadRecordLines(const UploadRecord& r);

// One upload record ("打印" of the record window): the label texts as the window shows them.
QList<PrintLine> singleUploadLines(const QString& ipLabel, const QString& terminalLabel,
                                   const QString& timeLabel, const QString& urlLabel,
                                   const QString& content);
// The 55-character slices of a content (content length div 55, plus 1, while not empty).
QStringList contentSlices(const QString& content);

// A log report of pages first..last of its records, built record by record. The caller hands
// over the records from the first one of page `first` on; each finished page goes to onPage
// (false from it stops the report). finish() closes the last, partial page.
class LogPrintout
{
public:
    enum class Kind { Browse, Upload };
    using PageSink = std::function<bool(const PrintPage& page, int pageNumber)>;
    LogPrintout(Kind kind, int firstPage, int lastPage, PageSink onPage);

    // False when no more records are wanted (the last page is done, or onPage stopped it).
    bool addBrowse(const BrowseRecord& r);
    bool addUpload(const UploadRecord& r);
    void finish();

    int pagesToPrint() const { return pagesToPrint_; }
    int pagesPrinted() const { return pagesPrinted_; }
    bool stopped() const { return stopped_; }
    // The records to skip before the first one printed.
    qint64 recordsBefore() const { return qint64(firstPage_ - 1) * kRecordsPerPage; }

private:
    bool add(const QList<PrintLine>& lines);
    void startPage();
    bool endPage();
    Kind kind_;
    int firstPage_;
    int pagesToPrint_;
    PageSink onPage_;
    PrintPage page_;
    int recordsOnPage_ = 0;
    int pagesPrinted_ = 0;
    bool done_ = false;
    bool stopped_ = false;
};

} // namespace lt::overseer
