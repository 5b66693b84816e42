#include "overseer/query/printing.h"

#include "common/gbk.h"

namespace lt::overseer
{

namespace
{

constexpr int kContentSlice = 55;

PrintLine at(int column, const QString& text)
{
    return {PrintSegment{column, text}};
}

PrintLine plain(const QString& text)
{
    return at(1, text);
}

} // namespace

QString longRule()
{
    return QString(66, QChar(0x2014));
}

QString shortRule()
{
    return QString(58, QChar(0x2014));
}

int printPageCount(qint64 records)
{
    if (records <= 0)
        return 0;
    const qint64 lines = records * 3;
    return int(lines / 63 + (lines % 63 ? 1 : 0));
}

PageRange checkPageRange(const QString& first, const QString& last, int totalPages)
{
    bool okFirst = false, okLast = false;
    const qint64 from = first.trimmed().toLongLong(&okFirst);
    const qint64 to = last.trimmed().toLongLong(&okLast);
    if (!okFirst || !okLast)
        return PageRange::NotNumeric;
    if (to > totalPages || from < 1 || from > to)
        return PageRange::Wrong;
    return PageRange::Ok;
}

QString padBytes(const QString& text, int bytes)
{
    const int width = gbk::byteWidth(text);
    return width >= bytes ? text : text + QString(bytes - width, u' ');
}

PrintLine fitLine(const PrintLine& line, int columns)
{
    PrintLine fitted;
    int end = 0; // columns used so far
    for (const PrintSegment& s : line) {
        const int start = s.column > 0 ? std::max(s.column - 1, end) : end;
        const int room = columns - start;
        if (room <= 0)
            break;
        const QString text = gbk::leftBytes(s.text, room);
        fitted << PrintSegment{s.column, text};
        end = start + gbk::byteWidth(text);
        if (text.size() < s.text.size())
            break;
    }
    return fitted;
}

QString lineText(const PrintLine& line)
{
    QString text;
    int end = 0;
    for (const PrintSegment& s : line) {
        const int start = s.column > 0 ? std::max(s.column - 1, end) : end;
        text += QString(start - end, u' ') + s.text;
        end = start + gbk::byteWidth(s.text);
    }
    return text;
}

QString flatText(const QString& text)
{
    QString flat = text;
    flat.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    for (QChar& c : flat) {
        if (c == u'\r' || c == u'\n' || c == u'\t')
            c = u' ';
    }
    return flat;
}

BrowseRecord browseRecordOf(const std::function<QString(const char*)>& f)
{
    return {f("Name").trimmed(),  f("IP").trimmed(),  f("AcTime").trimmed(), f("Team").trimmed(),
            f("Title").trimmed(), f("URL").trimmed(), f("Class").trimmed(),  f("Result").trimmed()};
}

UploadRecord uploadRecordOf(const std::function<QString(const char*)>& f)
{
    return {f("Name").trimmed(), f("IP").trimmed(), f("URL").trimmed(), f("AcTime").trimmed(),
            f("UpSendTxt")};
}

QString browseFieldLine(const BrowseRecord& r)
{
    const QString gap = QStringLiteral("  ");
    return padBytes(QStringLiteral("终端：") + r.Name, 22) + gap +
           padBytes(QStringLiteral("地址：") + r.IP, 22) + gap +
           padBytes(QStringLiteral("时间：") + r.AcTime, 23) + gap +
           padBytes(QStringLiteral("组别：") + r.Team, 22) + gap +
           padBytes(QStringLiteral("类别：") + r.Class, 10) + gap +
           padBytes(QStringLiteral("结果：") + r.Result, 22);
}

QList<PrintLine> browseRecordLines(const BrowseRecord& r)
{
    return {plain(browseFieldLine(r)), plain(QStringLiteral("标题：") + flatText(r.Title)),
            plain(QStringLiteral("域名：") + flatText(r.URL)), plain(longRule())};
}

QList<PrintLine> uploadRecordLines(const UploadRecord& r)
{
    const QString first = QStringLiteral("发地址：") + r.IP + QStringLiteral("终端：") + r.Name +
                          QStringLiteral("时间：") + r.AcTime;
    return {at(10, first), at(10, QStringLiteral("收地址：") + flatText(r.URL)),
            at(10, QStringLiteral("内  容：") + flatText(r.UpSendTxt.left(kContentSlice))),
            at(10, shortRule())};
}

QStringList contentSlices(const QString& content)
{
    QStringList slices;
    const QString flat = flatText(content);
    const qsizetype count = flat.size() / kContentSlice + 1;
    for (qsizetype i = 0; i < count; ++i) {
        const QString slice = flat.mid(i * kContentSlice, kContentSlice);
        if (slice.isEmpty())
            break;
        slices << slice;
    }
    return slices;
}

QList<PrintLine> singleUploadLines(const QString& ipLabel, const QString& terminalLabel,
                                   const QString& timeLabel, const QString& urlLabel,
                                   const QString& content)
{
    QList<PrintLine> lines = {at(55, QStringLiteral("终端上传数据")),
                              {},
                              at(10, ipLabel + terminalLabel + timeLabel),
                              {},
                              at(10, flatText(urlLabel)),
                              {}};
    for (const QString& slice : contentSlices(content))
        lines << PrintLine{} << at(10, slice);
    return lines;
}

// ---- LogPrintout --------------------------------------------------------------------------

LogPrintout::LogPrintout(Kind kind, int firstPage, int lastPage, PageSink onPage)
    : kind_(kind), firstPage_(std::max(firstPage, 1)),
      pagesToPrint_(std::max(lastPage - firstPage + 1, 0)), onPage_(std::move(onPage))
{
    done_ = pagesToPrint_ == 0;
}

void LogPrintout::startPage()
{
    page_.clear();
    recordsOnPage_ = 0;
    if (kind_ == Kind::Browse) {
        page_ << at(55, QStringLiteral("上网终端访问日志")) << plain(longRule());
    } else if (pagesPrinted_ == 0) {
        page_ << at(55, QStringLiteral("上网终端上传日志")) << plain(longRule());
    } else {
        page_ << at(55, QStringLiteral("上网终端上传日志")) << at(10, shortRule());
    }
}

bool LogPrintout::endPage()
{
    const int number = firstPage_ + pagesPrinted_;
    const int footer = kind_ == Kind::Browse ? 50 : 55;
    page_ << at(footer, QStringLiteral("第 %1 页").arg(number));
    ++pagesPrinted_;
    for (PrintLine& line : page_)
        line = fitLine(line);
    if (!onPage_(page_, number))
        stopped_ = true;
    page_.clear();
    recordsOnPage_ = 0;
    done_ = stopped_ || pagesPrinted_ >= pagesToPrint_;
    return !done_;
}

bool LogPrintout::add(const QList<PrintLine>& lines)
{
    if (done_)
        return false;
    if (page_.isEmpty())
        startPage();
    page_ << lines;
    if (++recordsOnPage_ == kRecordsPerPage)
        return endPage();
    return true;
}

bool LogPrintout::addBrowse(const BrowseRecord& r)
{
    return add(browseRecordLines(r));
}

bool LogPrintout::addUpload(const UploadRecord& r)
{
    return add(uploadRecordLines(r));
}

void LogPrintout::finish()
{
    // The records ran out on a partial page; a page that got no record is not printed.
    if (!done_ && recordsOnPage_ > 0)
        endPage();
    done_ = true;
}

} // namespace lt::overseer
