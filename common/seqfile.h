#pragma once
// Sequential text files: GBK text with CR LF line ends, read field by field or line by line.
//
// Delimited input (readField): leading blanks and tabs are skipped; a field that begins with a
// double quote runs to the closing quote and loses its quotes (whatever follows up to the next
// comma or line end is dropped); any other field ends at a comma or a line end (CR LF, CR or LF)
// and keeps its trailing blanks. Reading past the last field gives no value.
//
// A file opened by path is read in blocks as the reading goes on, so a file of gigabytes costs
// a block of memory, not its size (a single line costs its length).
//
// Bytes that are not GBK text still read (a bad sequence becomes U+FFFD, a lead byte at the very
// end is dropped), but the reader says so: callers that must not take a damaged value for a
// real one ask lastInvalid().
//
// Replacing a file (ReplacingFile, and SeqWriter's Replace mode built on it): the new content
// goes to a temporary file beside the old one; only when every write, the flush to the disk
// and the close succeeded does it take the old file's place, so a full disk or a size limit
// leaves the old file as it was. A writer that is killed cannot remove its temporary file: the
// next writer of the same target removes those that no process holds any more.

#include <QByteArray>
#include <QFile>
#include <QFileDevice>
#include <QString>
#include <memory>
#include <optional>

namespace lt
{

// Gbk: "?" is written for a character GBK lacks, and reading takes GBK text alone. Gb18030:
// such a character is written as its four-byte GB18030 sequence and read back (common/gbk.h).
enum class SeqEncoding { Gbk, Gb18030 };

class SeqReader
{
public:
    SeqReader() = default;
    explicit SeqReader(QByteArray bytes) : data_(std::move(bytes)) {}
    ~SeqReader();
    SeqReader(const SeqReader&) = delete;
    SeqReader& operator=(const SeqReader&) = delete;
    // False when the file cannot be opened; the reader is then at its end.
    bool open(const QString& path);
    void setEncoding(SeqEncoding encoding) { encoding_ = encoding; }

    std::optional<QString> readField();
    std::optional<QString> readLine();         // the text up to the line end, which is consumed
    std::optional<QByteArray> readLineBytes(); // the same, not decoded
    // Passes over one line without keeping it: its length in bytes (without the line end), -1
    // at the end of the text. With a limit, a line longer than limit bytes is passed over only
    // up to limit + 1 bytes and limit + 1 returned: the rest of it is not read (a file of
    // gigabytes without a line end, a device that never ends).
    qint64 skipLine(qint64 limit = -1);
    bool atEnd() const;
    // Bytes consumed so far.
    qint64 offset() const { return dropped_ + pos_; }
    // The file could not be read to its end (an input-output error); the reader stopped there.
    bool readError() const { return readError_; }
    // The last field read ended at a comma (so another field, maybe empty, follows on its line).
    bool endedAtComma() const { return endedAtComma_; }
    // The last field or line read held bytes that are not GBK text.
    bool lastInvalid() const { return lastInvalid_; }
    // Some field or line read so far held bytes that are not GBK text.
    bool sawInvalid() const { return sawInvalid_; }

private:
    // True when byte i of data_ is there, reading more of the file when needed.
    bool has(qsizetype i) const;
    // Drops the bytes consumed, so that data_ holds about one block (only between two reads).
    void compact();
    void skipLineEnd();
    QString decode(QByteArrayView bytes);
    mutable QByteArray data_;
    mutable std::unique_ptr<QFile> file_; // while there is more of the file to read
    mutable bool readError_ = false;
    SeqEncoding encoding_ = SeqEncoding::Gbk;
    qint64 dropped_ = 0;
    qsizetype pos_ = 0;
    bool endedAtComma_ = false;
    bool lastInvalid_ = false;
    bool sawInvalid_ = false;
};

// A file written anew that takes the place of path in one step, and only when all of it
// reached the disk: a temporary file in the same directory, every write checked, fsync, close,
// rename over path, then fsync of the directory. Until commit() the old file is untouched;
// destroying an uncommitted ReplacingFile removes the temporary file.
//
// The temporary file is ".NAME.XXXXXXXX.new" (eight hexadecimal digits) and its writer holds a
// lock on it (flock) from the moment it has that name. open() first removes the files of this
// pattern for the same target that nobody holds: those of writers that were killed.
class ReplacingFile
{
public:
    // Disk: as above. Memory: the same single-step replacement without the two fsyncs, for
    // files that describe running processes (a crash of the machine ends their owners too).
    enum class Durability { Disk, Memory };
    explicit ReplacingFile(QString path, Durability durability = Durability::Disk);
    ~ReplacingFile();
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    // mode: the permissions of the new file; without one it keeps those of the file it
    // replaces, or gets the usual ones (0666 less the umask) when there is none.
    bool open(std::optional<QFileDevice::Permissions> mode = std::nullopt);
    bool write(QByteArrayView bytes); // false (and the commit fails) when not all was written
    bool commit();                    // false when anything failed; path then is as it was
    void abandon();
    // The system's error number of the first failure (ENOSPC, EFBIG, ...), 0 when none.
    int error() const { return error_; }

private:
    bool fail();
    bool holdTemporary();
    QString path_;
    Durability durability_;
    QByteArray target_; // path_ with symbolic links resolved, encoded for the system calls
    QByteArray temp_;
    int fd_ = -1;
    int error_ = 0;
};

// The whole content of path replaced by bytes through a ReplacingFile.
bool replaceFile(const QString& path, QByteArrayView bytes,
                 std::optional<QFileDevice::Permissions> mode = std::nullopt,
                 ReplacingFile::Durability durability = ReplacingFile::Durability::Disk);

class SeqWriter
{
public:
    // Output truncates the file; Append adds to its end; Replace writes a new file that takes
    // the old one's place only when close() succeeds, so a failed write leaves the old content.
    enum class Mode { Output, Append, Replace };
    using Encoding = SeqEncoding;
    SeqWriter() = default;
    ~SeqWriter();
    SeqWriter(const SeqWriter&) = delete;
    SeqWriter& operator=(const SeqWriter&) = delete;

    // mode: the permissions of a replacing file (see ReplacingFile::open).
    bool open(const QString& path, Mode mode = Mode::Output,
              std::optional<QFileDevice::Permissions> permissions = std::nullopt);
    void setEncoding(Encoding encoding) { encoding_ = encoding; }
    void print(QStringView text);     // the text alone
    void printLine(QStringView text); // the text and CR LF
    // A number as written by the runtime's print: a blank (or the minus sign) before the
    // digits, one blank after them, then CR LF. 2 -> " 2 \r\n".
    void printNumber(qint64 value);
    bool close(); // false when anything failed to reach the file
    // A replacing file given up: the old file stays as it was (Replace mode; otherwise close()).
    void abandon();
    // Something failed to reach the file so far (writes are buffered: a failure may show late).
    bool failed() const { return failed_; }
    // The system's error number of the first failure of a replacing file, 0 when none.
    int error() const;
    static QByteArray numberText(qint64 value);

private:
    void put(const QByteArray& bytes);
    void flush();
    std::unique_ptr<QFileDevice> file_;
    std::unique_ptr<ReplacingFile> replacing_;
    QByteArray pending_; // bytes for the replacing file not written yet
    Encoding encoding_ = Encoding::Gbk;
    int error_ = 0;
    bool failed_ = false;
};

} // namespace lt
