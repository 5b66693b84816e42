#include "logkeeper/limits.h"

#include <limits>

namespace lt::keeper
{

namespace
{

bool allDigits(const QString& text)
{
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    return true;
}

} // namespace

LimitEntry applyLimitText(const QString& text, qint32 minimum, qint32 previous)
{
    const QString digits = text.trimmed();
    LimitEntry entry;
    if (digits.isEmpty()) {
        entry.outcome = LimitEntry::RaisedToMinimum;
        entry.value = minimum;
        entry.text = QString::number(minimum);
        return entry;
    }
    bool ok = false;
    const qint64 number = allDigits(digits) ? digits.toLongLong(&ok) : 0;
    if (!ok || number > std::numeric_limits<qint32>::max()) {
        entry.outcome = LimitEntry::KeptPrevious;
        entry.value = previous;
        entry.text = QString::number(previous);
    } else if (number < minimum) {
        entry.outcome = LimitEntry::RaisedToMinimum;
        entry.value = minimum;
        entry.text = QString::number(minimum);
    } else {
        entry.value = qint32(number);
        entry.text = text;
    }
    return entry;
}

} // namespace lt::keeper
