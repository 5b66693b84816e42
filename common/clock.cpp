#include "common/clock.h"

namespace lt
{

namespace
{
QDateTime& fixedNow()
{
    static QDateTime fixed;
    return fixed;
}
} // namespace

QDateTime Clock::now()
{
    return fixedNow().isValid() ? fixedNow() : QDateTime::currentDateTime();
}

void Clock::setNow(const QDateTime& fixed)
{
    fixedNow() = fixed;
}
void Clock::reset()
{
    fixedNow() = QDateTime();
}

QString acTime(const QDateTime& when)
{
    return when.toString(QStringLiteral("yy-MM-dd HH:mm:ss"));
}

QDate firstStampDate()
{
    return QDate(2000, 1, 1);
}

QDate lastStampDate()
{
    return QDate(2099, 12, 31);
}

std::optional<QDateTime> parseAcTime(const QString& text)
{
    // Qt reads "yy" as a year of the 1900s, where 00-02-29 is no day at all.
    static const QString shape = QStringLiteral("00-00-00 00:00:00");
    if (text.size() != shape.size())
        return std::nullopt;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (shape[i] == u'0' ? !(text[i] >= u'0' && text[i] <= u'9') : text[i] != shape[i])
            return std::nullopt;
    }
    const auto number = [&](int at) { return text.mid(at, 2).toInt(); };
    const QDate date(2000 + number(0), number(3), number(6));
    const QTime time(number(9), number(12), number(15));
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    return QDateTime(date, time);
}

} // namespace lt
