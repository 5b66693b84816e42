#include "common/seqfile.h"

#include "common/gbk.h"

#include <QFile>
#include <QSaveFile>

namespace lt
{

bool SeqReader::open(const QString& path)
{
    data_.clear();
    pos_ = 0;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    data_ = file.readAll();
    return true;
}

bool SeqReader::atEnd() const
{
    return pos_ >= data_.size();
}

void SeqReader::skipLineEnd()
{
    if (pos_ < data_.size() && data_[pos_] == '\r')
        ++pos_;
    if (pos_ < data_.size() && data_[pos_] == '\n')
        ++pos_;
}

std::optional<QString> SeqReader::readField()
{
    const qsizetype n = data_.size();
    while (pos_ < n && (data_[pos_] == ' ' || data_[pos_] == '\t'))
        ++pos_;
    if (pos_ >= n)
        return std::nullopt;
    const auto isEnd = [&](qsizetype i) {
        return data_[i] == ',' || data_[i] == '\r' || data_[i] == '\n';
    };
    QByteArray bytes;
    if (data_[pos_] == '"') {
        const qsizetype close = data_.indexOf('"', pos_ + 1);
        const qsizetype stop = close < 0 ? n : close;
        bytes = data_.mid(pos_ + 1, stop - pos_ - 1);
        pos_ = close < 0 ? n : close + 1;
        while (pos_ < n && !isEnd(pos_))
            ++pos_;
    } else {
        const qsizetype start = pos_;
        while (pos_ < n && !isEnd(pos_))
            ++pos_;
        bytes = data_.mid(start, pos_ - start);
    }
    if (pos_ < n) {
        if (data_[pos_] == ',')
            ++pos_;
        else
            skipLineEnd();
    }
    return gbk::decode(bytes);
}

std::optional<QString> SeqReader::readLine()
{
    const qsizetype n = data_.size();
    if (pos_ >= n)
        return std::nullopt;
    const qsizetype start = pos_;
    while (pos_ < n && data_[pos_] != '\r' && data_[pos_] != '\n')
        ++pos_;
    const QByteArray bytes = data_.mid(start, pos_ - start);
    skipLineEnd();
    return gbk::decode(bytes);
}

SeqWriter::~SeqWriter()
{
    close();
}

bool SeqWriter::open(const QString& path, Mode mode)
{
    close();
    failed_ = false;
    if (mode == Mode::Replace) {
        auto file = std::make_unique<QSaveFile>(path);
        const bool ok = file->open(QIODevice::WriteOnly);
        file_ = std::move(file);
        return ok;
    }
    auto file = std::make_unique<QFile>(path);
    const bool ok = file->open(mode == Mode::Append ? QIODevice::WriteOnly | QIODevice::Append
                                                    : QIODevice::WriteOnly | QIODevice::Truncate);
    file_ = std::move(file);
    return ok;
}

void SeqWriter::put(const QByteArray& bytes)
{
    if (!file_ || !file_->isOpen() || file_->write(bytes) != bytes.size())
        failed_ = true;
}

void SeqWriter::print(QStringView text)
{
    put(gbk::encode(text));
}

void SeqWriter::printLine(QStringView text)
{
    put(gbk::encode(text) + "\r\n");
}

QByteArray SeqWriter::numberText(qint64 value)
{
    return (value < 0 ? QByteArray() : QByteArray(" ")) + QByteArray::number(value) + ' ';
}

void SeqWriter::printNumber(qint64 value)
{
    put(numberText(value) + "\r\n");
}

bool SeqWriter::close()
{
    if (!file_)
        return !failed_;
    if (auto* save = qobject_cast<QSaveFile*>(file_.get())) {
        if (failed_)
            save->cancelWriting();
        if (!save->commit())
            failed_ = true;
    } else if (file_->isOpen()) {
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
