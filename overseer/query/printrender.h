#pragma once
// Putting the reports on paper: the printer or a PDF file, the monospaced CJK font on which one
// GBK byte is one column, the pages of report lines painted on a paged device, and a log report
// streamed from the database page by page (nothing holds more than a chunk of records and one
// page). Failures are reported with the printer's or the database's words, never skipped.

#include "common/odbc.h"
#include "overseer/query/printfonts.h"
#include "overseer/query/printing.h"

#include <QFont>
#include <QHash>
#include <QPageLayout>
#include <QPainter>
#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>
#include <memory>

class QPagedPaintDevice;
class QPrinter;

namespace lt::overseer
{

// The printer choice's entry for a PDF file.
inline const QString kPrintToPdf = QStringLiteral("打印到 PDF");
// The installed printers, the default one first; empty when none is installed.
QStringList installedPrinters();
// What the printer choice offers: the installed printers, then "打印到 PDF".
QStringList printerChoices();
// Why only a PDF can be written, for the printer choice; empty when a printer is installed.
QString noPrinterNote();

struct PrintTarget {
    QString printer; // a printer's name, or kPrintToPdf
    QString pdfPath; // the file, for kPrintToPdf
    bool toPdf() const { return printer == kPrintToPdf; }
};
// A printer on A4 portrait for the target (a PDF file, or the named printer).
std::unique_ptr<QPrinter> makePrinter(const PrintTarget& target);
// The paper of every printout: A4 portrait with its margins.
QPageLayout printPageLayout();
// The document's name (the printer queue's, the PDF's title).
inline const QString kPrintDocumentName = QStringLiteral("上网终端日志");

// How a PDF file name is asked for (a save dialog by default); tests answer it. Empty: not
// chosen.
using PdfFileChooser = std::function<QString(QWidget* parent, const QString& suggested)>;
void setPdfFileChooser(PdfFileChooser chooser);
QString choosePdfFile(QWidget* parent, const QString& suggested);

// "Noto Sans Mono CJK SC", the font of the narrow characters; wide ones are drawn as
// PrintFonts says (overseer/query/printfonts.h), so that the PDF's text is what was printed.
QString printFontFamily();

// Paints report pages, each line's texts at their columns; a page longer than the paper goes on
// on a new sheet. begin() and every page say whether the device took them.
class PageRenderer
{
public:
    explicit PageRenderer(QPagedPaintDevice* device);
    bool begin();
    bool page(const PrintPage& lines);
    bool end();
    int sheets() const { return sheets_; }
    const QString& error() const { return error_; }

private:
    bool newSheet();
    void drawLine(const PrintLine& line, qreal y);
    void drawRun(const QString& text, int font, int column, qreal y);
    bool fitsColumns(QChar c, int font);
    QPagedPaintDevice* device_;
    QPainter painter_;
    std::unique_ptr<PrintFonts> fonts_;
    int painterFont_ = -1;
    qreal column_ = 0;
    qreal lineHeight_ = 0;
    qreal ascent_ = 0;
    int linesPerSheet_ = kLinesPerPage;
    int lineOnSheet_ = 0;
    int sheets_ = 0;
    bool open_ = false;
    QString error_;
    QHash<QChar, bool> fits_; // by character, in the font that draws it
};

// Where a log report's records come from: a log table, the condition of the list shown, newest
// first.
struct PrintSource {
    LogPrintout::Kind kind = LogPrintout::Kind::Browse;
    QString table = QStringLiteral("logtable");
    QString condition; // without WHERE; empty for every row
};

struct PrintOutcome {
    bool ok = true;
    bool cancelled = false;
    int pages = 0;
    QString error; // what went wrong, in Chinese, the printer's or database's words after it
};

// Prints pages first..last of the source's records on the device, reading them in bounded
// chunks on the connection. progress gets the pages done; cancel (when given) is asked between
// pages.
PrintOutcome printLog(db::Connection& connection, const PrintSource& source, int first, int last,
                      QPagedPaintDevice* device, const std::function<void(int)>& progress = {},
                      const std::atomic<bool>* cancel = nullptr);

// Prints loose lines (one upload record) on the device.
PrintOutcome printLines(const QList<PrintLine>& lines, QPagedPaintDevice* device);

// The message of a failed printout.
QString printFailedText(const PrintOutcome& outcome);

} // namespace lt::overseer
