#pragma once
// The programs' one source of "now", so that tests can set the time.

#include <QDateTime>
#include <QString>

namespace lt
{

class Clock
{
public:
    static QDateTime now();
    static void setNow(const QDateTime& fixed); // tests: "now" stays here until reset()
    static void reset();
};

// The 17-character time stamp of the log tables: "YY-MM-DD HH:MM:SS".
QString acTime(const QDateTime& when);

} // namespace lt
