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

} // namespace lt
