#pragma once
// Sequential text files: GBK text with CR LF line ends, read field by field or line by line.
//
// Delimited input (readField): leading blanks and tabs are skipped; a field that begins with a
// double quote runs to the closing quote and loses its quotes (whatever follows up to the next
// comma or line end is dropped); any other field ends at a comma or a line end (CR LF, CR or LF)
// and keeps its trailing blanks. Reading past the last field gives no value.

#include <QByteArray>
#include <QFileDevice>
#include <QString>
#include <memory>
#include <optional>

namespace lt
{

class SeqReader
{
public:
    SeqReader() = default;
    explicit SeqReader(QByteArray bytes) : data_(std::move(bytes)) {}
    // False when the file cannot be opened; the reader is then at its end.
    bool open(const QString& path);

    std::optional<QString> readField();
    std::optional<QString> readLine(); // the text up to the line end, which is consumed
    bool atEnd() const;

private:
    void skipLineEnd();
    QByteArray data_;
    qsizetype pos_ = 0;
};

class SeqWriter
{
public:
    // Output truncates the file; Append adds to its end; Replace writes a new file that takes
    // the old one's place only when close() succeeds, so a failed write leaves the old content.
    enum class Mode { Output, Append, Replace };
    SeqWriter() = default;
    ~SeqWriter();
    SeqWriter(const SeqWriter&) = delete;
    SeqWriter& operator=(const SeqWriter&) = delete;

    bool open(const QString& path, Mode mode = Mode::Output);
    void print(QStringView text);     // the text alone
    void printLine(QStringView text); // the text and CR LF
    // A number as written by the runtime's print: a blank (or the minus sign) before the
    // digits, one blank after them, then CR LF. 2 -> " 2 \r\n".
    void printNumber(qint64 value);
    bool close(); // false when anything failed to reach the file
    static QByteArray numberText(qint64 value);

private:
    void put(const QByteArray& bytes);
    std::unique_ptr<QFileDevice> file_;
    bool failed_ = false;
};

} // namespace lt
