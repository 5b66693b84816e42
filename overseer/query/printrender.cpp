#include "overseer/query/printrender.h"

#include "common/dbmessages.h"
#include "common/dbstream.h"
#include "common/gbk.h"

#include <QFileDialog>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPrinter>
#include <QPrinterInfo>

namespace lt::overseer
{

namespace
{

const QString kPrinterWouldNotStart = QStringLiteral("打印机不能开始打印。");
const QString kPrinterRefusedPage = QStringLiteral("打印机不接受新的一页。");
const QString kPrinterFailed = QStringLiteral("打印机报告了错误。");
const QString kReadFailed = QStringLiteral("读取日志记录失败。");

PdfFileChooser& chooser()
{
    static PdfFileChooser c;
    return c;
}

} // namespace

QStringList installedPrinters()
{
    QStringList names = QPrinterInfo::availablePrinterNames();
    const QString standard = QPrinterInfo::defaultPrinterName();
    if (!standard.isEmpty() && names.removeAll(standard) > 0)
        names.prepend(standard);
    return names;
}

QStringList printerChoices()
{
    return installedPrinters() << kPrintToPdf;
}

QString noPrinterNote()
{
    return installedPrinters().isEmpty()
               ? QStringLiteral("本机没有安装打印机，只能打印到 PDF 文件。")
               : QString();
}

std::unique_ptr<QPrinter> makePrinter(const PrintTarget& target)
{
    auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    if (target.toPdf()) {
        printer->setOutputFormat(QPrinter::PdfFormat);
        printer->setOutputFileName(target.pdfPath);
    } else {
        printer->setPrinterName(target.printer);
    }
    printer->setPageLayout(printPageLayout());
    printer->setDocName(kPrintDocumentName);
    return printer;
}

QPageLayout printPageLayout()
{
    return QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(12, 10, 10, 10),
                       QPageLayout::Millimeter);
}

void setPdfFileChooser(PdfFileChooser c)
{
    chooser() = std::move(c);
}

QString choosePdfFile(QWidget* parent, const QString& suggested)
{
    if (chooser())
        return chooser()(parent, suggested);
    return QFileDialog::getSaveFileName(parent, kPrintToPdf, suggested,
                                        QStringLiteral("PDF 文件 (*.pdf)"));
}

QString printFontFamily()
{
    return PrintFonts::narrowFamily();
}

// ---- PageRenderer -------------------------------------------------------------------------

PageRenderer::PageRenderer(QPagedPaintDevice* device) : device_(device) {}

bool PageRenderer::begin()
{
    if (!device_ || !painter_.begin(device_)) {
        error_ = kPrinterWouldNotStart;
        return false;
    }
    open_ = true;
    const qreal width = painter_.viewport().width();
    const qreal height = painter_.viewport().height();
    column_ = width / (kLineColumns + 1);
    lineHeight_ = height / (kLinesPerPage + 1);
    // A Chinese character is two columns wide; the fonts' em is its width.
    fonts_ =
        std::make_unique<PrintFonts>(std::max(1, int(std::min(column_ * 2, lineHeight_ * 0.95))));
    painter_.setPen(Qt::black);
    ascent_ = QFontMetricsF(fonts_->font(0), device_).ascent();
    return true;
}

bool PageRenderer::fitsColumns(QChar c, int font)
{
    auto it = fits_.find(c);
    if (it != fits_.end())
        return it.value();
    const qreal advance = QFontMetricsF(fonts_->font(font), device_).horizontalAdvance(c);
    const qreal wanted = column_ * gbk::byteWidth(QString(c));
    const bool fits = std::abs(advance - wanted) < column_ * 0.02;
    fits_.insert(c, fits);
    return fits;
}

void PageRenderer::drawRun(const QString& text, int font, int column, qreal y)
{
    if (font != painterFont_) {
        painter_.setFont(fonts_->font(font));
        painterFont_ = font;
    }
    painter_.drawText(QPointF(column * column_, y), text);
}

void PageRenderer::drawLine(const PrintLine& line, qreal y)
{
    int end = 0;
    for (const PrintSegment& s : line) {
        int col = s.column > 0 ? std::max(s.column - 1, end) : end;
        // Runs of characters of one font, each as wide as its columns, go in one piece; any
        // other character is put at its own column, so the columns hold whatever the font does.
        QString run;
        int runStart = col;
        int runFont = 0;
        const auto flush = [&] {
            if (!run.isEmpty())
                drawRun(run, runFont, runStart, y);
            run.clear();
        };
        for (QChar c : s.text) {
            const int w = gbk::byteWidth(QString(c));
            if (c == u' ') {
                // A blank only moves on: drawn, its glyph would be named after the tab that
                // shares it in both fonts, and the PDF's text would hold tabs.
                flush();
                col += w;
                continue;
            }
            const int font = fonts_->fontOf(c);
            if (fitsColumns(c, font)) {
                if (font != runFont)
                    flush();
                if (run.isEmpty()) {
                    runStart = col;
                    runFont = font;
                }
                run += c;
            } else {
                flush();
                drawRun(QString(c), font, col, y);
            }
            col += w;
        }
        flush();
        end = col;
    }
}

bool PageRenderer::newSheet()
{
    if (sheets_ > 0 && !device_->newPage()) {
        error_ = kPrinterRefusedPage;
        return false;
    }
    ++sheets_;
    lineOnSheet_ = 0;
    return true;
}

bool PageRenderer::page(const PrintPage& lines)
{
    if (!open_)
        return false;
    if (!newSheet())
        return false;
    for (const PrintLine& line : lines) {
        if (lineOnSheet_ >= linesPerSheet_ && !newSheet())
            return false;
        drawLine(line, lineOnSheet_ * lineHeight_ + ascent_);
        ++lineOnSheet_;
    }
    return true;
}

bool PageRenderer::end()
{
    if (!open_)
        return false;
    open_ = false;
    const bool ended = painter_.end();
    auto* printer = dynamic_cast<QPrinter*>(device_);
    if (!ended || (printer && printer->printerState() == QPrinter::Error)) {
        if (error_.isEmpty())
            error_ = kPrinterFailed;
        return false;
    }
    return error_.isEmpty();
}

// ---- printing -----------------------------------------------------------------------------

PrintOutcome printLog(db::Connection& connection, const PrintSource& source, int first, int last,
                      QPagedPaintDevice* device, const std::function<void(int)>& progress,
                      const std::atomic<bool>* cancel)
{
    PrintOutcome outcome;
    PageRenderer renderer(device);
    if (!renderer.begin()) {
        outcome.ok = false;
        outcome.error = renderer.error();
        return outcome;
    }
    bool paperFailed = false;
    LogPrintout printout(source.kind, first, last, [&](const PrintPage& page, int) {
        if (!renderer.page(page)) {
            paperFailed = true;
            return false;
        }
        ++outcome.pages;
        if (progress)
            progress(outcome.pages);
        return !(cancel && cancel->load());
    });
    const qint64 skip = printout.recordsBefore();
    qint64 seen = 0;
    db::ChunkedRead read;
    read.table = source.table;
    read.condition = source.condition;
    read.descending = true;
    read.chunkRows = 2000;
    const db::ChunkOutcome chunks = db::readInChunks(connection, read, [&](const db::Row& row) {
        if (seen++ < skip)
            return true;
        const auto field = [&row](const char* name) {
            return row.field(QString::fromLatin1(name)).toString();
        };
        if (source.kind == LogPrintout::Kind::Browse)
            return printout.addBrowse(browseRecordOf(field));
        return printout.addUpload(uploadRecordOf(field));
    });
    if (!paperFailed && chunks.ok)
        printout.finish();
    const bool ended = renderer.end();
    outcome.cancelled = cancel && cancel->load();
    if (paperFailed || !ended) {
        outcome.ok = false;
        outcome.error = renderer.error();
    } else if (!chunks.ok) {
        outcome.ok = false;
        outcome.error = kReadFailed;
        if (!chunks.error.message.isEmpty())
            outcome.error += u'\n' + db::failureDetail(chunks.error);
    }
    return outcome;
}

PrintOutcome printLines(const QList<PrintLine>& lines, QPagedPaintDevice* device)
{
    PrintOutcome outcome;
    PageRenderer renderer(device);
    PrintPage page;
    for (const PrintLine& line : lines)
        page << fitLine(line);
    if (!renderer.begin() || !renderer.page(page) || !renderer.end()) {
        renderer.end();
        outcome.ok = false;
        outcome.error = renderer.error();
        return outcome;
    }
    outcome.pages = renderer.sheets();
    return outcome;
}

QString printFailedText(const PrintOutcome& outcome)
{
    QString text = QStringLiteral("打印失败，打印的内容可能不完整。");
    if (!outcome.error.isEmpty())
        text += u'\n' + outcome.error;
    return text;
}

} // namespace lt::overseer
