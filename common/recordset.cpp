#include "common/odbc.h"

#include <algorithm>
#include <climits>

namespace lt::db
{

QString sqlEscape(QStringView value)
{
    QString out;
    out.reserve(value.size() + 8);
    for (QChar c : value) {
        if (c == u'\'' || c == u'\\')
            out += c;
        out += c;
    }
    return out;
}

// ---- Value ----------------------------------------------------------------------------------

qint64 Value::toLongLong(bool* ok) const
{
    const QString t = text_.trimmed();
    bool good = false;
    qint64 v = t.toLongLong(&good);
    if (!good) {
        const double d = t.toDouble(&good);
        if (good && d >= -9.2e18 && d <= 9.2e18)
            v = qRound64(d);
        else
            good = false;
    }
    if (ok)
        *ok = good;
    return good ? v : 0;
}

int Value::toInt(bool* ok) const
{
    bool good = false;
    const qint64 v = toLongLong(&good);
    good = good && v >= INT_MIN && v <= INT_MAX;
    if (ok)
        *ok = good;
    return good ? int(v) : 0;
}

// ---- Recordset ------------------------------------------------------------------------------

void Recordset::close()
{
    data_.reset();
    pos_ = 0;
}

int Recordset::recordCount() const
{
    return data_ ? int(data_->rows.size()) : -1;
}
int Recordset::fieldCount() const
{
    return data_ ? int(data_->names.size()) : 0;
}

QString Recordset::fieldName(int index) const
{
    return data_ && index >= 0 && index < data_->names.size() ? data_->names.at(index) : QString();
}

int Recordset::fieldIndex(const QString& name) const
{
    if (!data_)
        return -1;
    for (int i = 0; i < data_->names.size(); ++i)
        if (data_->names.at(i).compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

bool Recordset::eof() const
{
    return !data_ || pos_ >= int(data_->rows.size());
}
bool Recordset::bof() const
{
    return !data_ || pos_ < 0 || data_->rows.empty();
}

void Recordset::moveFirst()
{
    pos_ = 0;
}
void Recordset::moveLast()
{
    pos_ = data_ ? int(data_->rows.size()) - 1 : 0;
}
void Recordset::moveNext()
{
    move(1);
}
void Recordset::movePrevious()
{
    move(-1);
}

void Recordset::move(int rows)
{
    if (!data_)
        return;
    const int n = int(data_->rows.size());
    pos_ = std::clamp(pos_ + rows, -1, n);
}

int Recordset::absolutePosition() const
{
    return eof() || pos_ < 0 ? 0 : pos_ + 1;
}

void Recordset::setAbsolutePosition(int position)
{
    if (!data_)
        return;
    pos_ = std::clamp(position - 1, -1, int(data_->rows.size()));
}

void Recordset::setPageSize(int rows)
{
    pageSize_ = rows > 0 ? rows : 1;
}

int Recordset::pageCount() const
{
    const int n = std::max(recordCount(), 0);
    return (n + pageSize_ - 1) / pageSize_;
}

int Recordset::absolutePage() const
{
    const int p = absolutePosition();
    return p == 0 ? 0 : (p - 1) / pageSize_ + 1;
}

void Recordset::setAbsolutePage(int page)
{
    setAbsolutePosition((page - 1) * pageSize_ + 1);
}

Value Recordset::field(const QString& name) const
{
    return field(fieldIndex(name));
}

Value Recordset::field(int index) const
{
    if (eof() || pos_ < 0 || index < 0 || index >= fieldCount())
        return Value();
    return data_->rows[size_t(pos_)][size_t(index)];
}

// ---- Row ------------------------------------------------------------------------------------

Value Row::field(int index) const
{
    return index >= 0 && index < fieldCount() ? values_[size_t(index)] : Value();
}

Value Row::field(const QString& name) const
{
    for (int i = 0; i < names_.size(); ++i)
        if (names_.at(i).compare(name, Qt::CaseInsensitive) == 0)
            return field(i);
    return Value();
}

} // namespace lt::db
