#include "common/seqfile.h"

#include "common/gbk.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lt
{

namespace
{

constexpr qsizetype kBlock = 1 << 20;

bool sameFile(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The temporary files of target's writers: ".NAME." and eight lower-case hexadecimal digits.
bool temporaryOf(const QString& entry, const QString& name)
{
    static const QString digits = QStringLiteral("0123456789abcdef");
    const qsizetype stem = name.size() + 2; // "." NAME "."
    if (entry.size() != stem + 8 + 4 || !entry.startsWith(u'.') ||
        QStringView(entry).mid(1, name.size()) != name || entry[stem - 1] != u'.' ||
        !entry.endsWith(QLatin1String(".new")))
        return false;
    for (qsizetype i = stem; i < stem + 8; ++i) {
        if (!digits.contains(entry[i]))
            return false;
    }
    return true;
}

// Removes the temporary files of target that no writer holds: a writer that lives holds its
// lock, one that was killed holds nothing. Only regular files of this user are touched.
void removeStaleTemporaries(const QString& target)
{
    const QFileInfo info(target);
    const QString name = info.fileName();
    const QDir dir = info.absoluteDir();
    const QStringList entries =
        dir.entryList({QStringLiteral(".*.new")}, QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& entry : entries) {
        if (!temporaryOf(entry, name))
            continue;
        const QByteArray path = QFile::encodeName(dir.filePath(entry));
        const int fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat held {
        }, named{};
        if (::fstat(fd, &held) == 0 && S_ISREG(held.st_mode) && held.st_uid == ::geteuid() &&
            ::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::lstat(path.constData(), &named) == 0 &&
            sameFile(held, named))
            ::unlink(path.constData());
        ::close(fd);
    }
}

} // namespace

SeqReader::~SeqReader() = default;

bool SeqReader::open(const QString& path)
{
    data_.clear();
    pos_ = 0;
    dropped_ = 0;
    readError_ = false;
    auto file = std::make_unique<QFile>(path);
    if (!file->open(QIODevice::ReadOnly)) {
        file_.reset();
        return false;
    }
    file_ = std::move(file);
    return true;
}

bool SeqReader::has(qsizetype i) const
{
    while (i >= data_.size()) {
        if (!file_)
            return false;
        const qsizetype before = data_.size();
        data_.resize(before + kBlock);
        const qint64 got = file_->read(data_.data() + before, kBlock);
        data_.resize(before + std::max<qint64>(got, 0));
        if (got <= 0) {
            readError_ = got < 0;
            file_.reset();
        }
    }
    return true;
}

void SeqReader::compact()
{
    if (pos_ < kBlock)
        return;
    data_.remove(0, pos_);
    dropped_ += pos_;
    pos_ = 0;
}

bool SeqReader::atEnd() const
{
    return !has(pos_);
}

void SeqReader::skipLineEnd()
{
    if (has(pos_) && data_[pos_] == '\r')
        ++pos_;
    if (has(pos_) && data_[pos_] == '\n')
        ++pos_;
}

QString SeqReader::decode(QByteArrayView bytes)
{
    gbk::Decoded decoded = encoding_ == SeqEncoding::Gb18030 ? gbk::decodeStrictGb18030(bytes)
                                                             : gbk::decodeStrict(bytes);
    lastInvalid_ = !decoded.valid();
    sawInvalid_ = sawInvalid_ || lastInvalid_;
    return std::move(decoded.text);
}

std::optional<QString> SeqReader::readField()
{
    endedAtComma_ = false;
    lastInvalid_ = false;
    compact();
    while (has(pos_) && (data_[pos_] == ' ' || data_[pos_] == '\t'))
        ++pos_;
    if (!has(pos_))
        return std::nullopt;
    const auto isEnd = [&](qsizetype i) {
        return data_[i] == ',' || data_[i] == '\r' || data_[i] == '\n';
    };
    qsizetype start = pos_;
    qsizetype stop = pos_;
    if (data_[pos_] == '"') {
        start = ++pos_;
        while (has(pos_) && data_[pos_] != '"')
            ++pos_;
        stop = pos_;
        if (has(pos_))
            ++pos_;
        while (has(pos_) && !isEnd(pos_))
            ++pos_;
    } else {
        while (has(pos_) && !isEnd(pos_))
            ++pos_;
        stop = pos_;
    }
    const QByteArray bytes = data_.mid(start, stop - start);
    if (has(pos_)) {
        if (data_[pos_] == ',') {
            ++pos_;
            endedAtComma_ = true;
        } else {
            skipLineEnd();
        }
    }
    return decode(bytes);
}

std::optional<QByteArray> SeqReader::readLineBytes()
{
    lastInvalid_ = false;
    compact();
    if (!has(pos_))
        return std::nullopt;
    const qsizetype start = pos_;
    while (has(pos_) && data_[pos_] != '\r' && data_[pos_] != '\n')
        ++pos_;
    QByteArray bytes = data_.mid(start, pos_ - start);
    skipLineEnd();
    return bytes;
}

qint64 SeqReader::skipLine(qint64 limit)
{
    compact();
    if (!has(pos_))
        return -1;
    qint64 length = 0;
    while (has(pos_) && data_[pos_] != '\r' && data_[pos_] != '\n') {
        ++pos_;
        if (++length > limit && limit >= 0)
            return length;
        if (pos_ >= 2 * kBlock) // a line of gigabytes must not be held
            compact();
    }
    skipLineEnd();
    return length;
}

std::optional<QString> SeqReader::readLine()
{
    const auto bytes = readLineBytes();
    if (!bytes)
        return std::nullopt;
    return decode(*bytes);
}

// ---- replacing a file -----------------------------------------------------------------------

ReplacingFile::ReplacingFile(QString path, Durability durability)
    : path_(std::move(path)), durability_(durability)
{
}

ReplacingFile::~ReplacingFile()
{
    abandon();
}

bool ReplacingFile::fail()
{
    if (error_ == 0)
        error_ = errno != 0 ? errno : EIO;
    return false;
}

bool ReplacingFile::open(std::optional<QFileDevice::Permissions> mode)
{
    abandon();
    error_ = 0;
    // A link keeps pointing where it did: the file it names is the one replaced.
    const QFileInfo info(path_);
    const QString target = info.isSymLink() ? info.symLinkTarget() : info.absoluteFilePath();
    target_ = QFile::encodeName(target);
    struct stat old {
    };
    const bool hadFile = ::stat(target_.constData(), &old) == 0;
    const QString dir = QFileInfo(target).absolutePath();
    removeStaleTemporaries(target);
    for (int attempt = 0; attempt < 16 && fd_ < 0; ++attempt) {
        temp_ = QFile::encodeName(
            dir + QStringLiteral("/.%1.%2.new")
                      .arg(QFileInfo(target).fileName())
                      .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0')));
        fd_ = ::open(temp_.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd_ < 0 && errno != EEXIST)
            break;
        if (fd_ >= 0 && !holdTemporary())
            fd_ = -1;
    }
    if (fd_ < 0) {
        temp_.clear();
        return fail();
    }
    mode_t wanted = 0;
    if (mode) {
        // Qt's owner, group and other bits, three each, in the order of a file mode's.
        const uint bits = uint(mode->toInt());
        wanted = mode_t((((bits >> 12) & 7) << 6) | (((bits >> 4) & 7) << 3) | (bits & 7));
    } else if (hadFile) {
        wanted = old.st_mode & 07777;
    }
    if ((mode || hadFile) && ::fchmod(fd_, wanted) != 0) {
        fail();
        abandon();
        return false;
    }
    return true;
}

// Locks the new temporary file. Another writer's cleaning may have taken it for stale in the
// moment between its creation and the lock (it then holds the lock, or has removed the name):
// the file is given up and another name tried. Where the file system has no locks, nobody's
// cleaning can lock it either, so it is kept.
bool ReplacingFile::holdTemporary()
{
    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
        ::close(fd_);
        return false;
    }
    struct stat held {
    }, named{};
    if (::fstat(fd_, &held) != 0 || ::lstat(temp_.constData(), &named) != 0 ||
        !sameFile(held, named)) {
        ::close(fd_);
        return false;
    }
    return true;
}

bool ReplacingFile::write(QByteArrayView bytes)
{
    if (fd_ < 0)
        return fail();
    const char* p = bytes.data();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd_, p, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            errno = n == 0 ? EIO : errno;
            return fail();
        }
        p += n;
        left -= n;
    }
    return true;
}

bool ReplacingFile::commit()
{
    if (fd_ < 0)
        return fail();
    const bool toDisk = durability_ == Durability::Disk;
    const bool written = error_ == 0 && (!toDisk || ::fsync(fd_) == 0);
    if (!written)
        fail();
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0 && written)
        fail();
    if (error_ != 0 || ::rename(temp_.constData(), target_.constData()) != 0) {
        fail();
        ::unlink(temp_.constData());
        temp_.clear();
        return false;
    }
    temp_.clear();
    if (!toDisk)
        return true;
    // The rename itself reaches the disk with the directory. The new content is in place
    // already, so a directory that cannot be synced does not undo the replacement.
    const QByteArray dir = QFile::encodeName(QFileInfo(QFile::decodeName(target_)).absolutePath());
    const int dirFd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return true;
}

void ReplacingFile::abandon()
{
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!temp_.isEmpty()) {
        ::unlink(temp_.constData());
        temp_.clear();
    }
}

bool replaceFile(const QString& path, QByteArrayView bytes,
                 std::optional<QFileDevice::Permissions> mode, ReplacingFile::Durability durability)
{
    ReplacingFile file(path, durability);
    return file.open(mode) && file.write(bytes) && file.commit();
}

// ---- writing --------------------------------------------------------------------------------

SeqWriter::~SeqWriter()
{
    close();
}

bool SeqWriter::open(const QString& path, Mode mode,
                     std::optional<QFileDevice::Permissions> permissions)
{
    close();
    failed_ = false;
    error_ = 0;
    pending_.clear();
    if (mode == Mode::Replace) {
        replacing_ = std::make_unique<ReplacingFile>(path);
        if (replacing_->open(permissions))
            return true;
        error_ = replacing_->error();
        replacing_.reset();
        failed_ = true;
        return false;
    }
    auto file = std::make_unique<QFile>(path);
    const bool ok = file->open(mode == Mode::Append ? QIODevice::WriteOnly | QIODevice::Append
                                                    : QIODevice::WriteOnly | QIODevice::Truncate);
    file_ = std::move(file);
    return ok;
}

namespace
{
// Writes to a replacing file go out in pieces of this size rather than line by line.
constexpr qsizetype kWriteBuffer = 256 * 1024;
} // namespace

void SeqWriter::flush()
{
    if (replacing_ && !pending_.isEmpty()) {
        if (!failed_ && !replacing_->write(pending_))
            failed_ = true;
        pending_.clear();
    }
}

void SeqWriter::put(const QByteArray& bytes)
{
    if (replacing_) {
        pending_ += bytes;
        if (pending_.size() >= kWriteBuffer)
            flush();
    } else if (!file_ || !file_->isOpen() || file_->write(bytes) != bytes.size()) {
        failed_ = true;
    }
}

void SeqWriter::print(QStringView text)
{
    put(encoding_ == Encoding::Gb18030 ? gbk::encodeGb18030(text) : gbk::encode(text));
}

void SeqWriter::printLine(QStringView text)
{
    put((encoding_ == Encoding::Gb18030 ? gbk::encodeGb18030(text) : gbk::encode(text)) + "\r\n");
}

QByteArray SeqWriter::numberText(qint64 value)
{
    return (value < 0 ? QByteArray() : QByteArray(" ")) + QByteArray::number(value) + ' ';
}

void SeqWriter::printNumber(qint64 value)
{
    put(numberText(value) + "\r\n");
}

int SeqWriter::error() const
{
    return replacing_ ? replacing_->error() : error_;
}

void SeqWriter::abandon()
{
    if (!replacing_) {
        close();
        return;
    }
    pending_.clear();
    error_ = replacing_->error();
    replacing_->abandon();
    replacing_.reset();
    failed_ = true;
}

bool SeqWriter::close()
{
    if (replacing_) {
        flush();
        if (failed_)
            replacing_->abandon();
        else if (!replacing_->commit())
            failed_ = true;
        error_ = replacing_->error();
        replacing_.reset();
        return !failed_;
    }
    if (!file_)
        return !failed_;
    if (file_->isOpen()) {
        if (!static_cast<QFile*>(file_.get())->flush())
            failed_ = true;
        file_->close();
        if (file_->error() != QFileDevice::NoError)
            failed_ = true;
    } else {
        failed_ = true;
    }
    file_.reset();
    return !failed_;
}

} // namespace lt
