#pragma once
// The programs' one source of "now", so that tests can set the time.

#include <QDateTime>
#include <QString>
#include <optional>

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
// Its two-digit year is a year of 2000 to 2099: the days a time stamp can name, which the
// date pickers keep to, so that stamps compared as text compare as times.
QDate firstStampDate(); // 2000-01-01
QDate lastStampDate();  // 2099-12-31
// A time stamp typed or given on a command line; no value unless it is exactly "YY-MM-DD
// HH:MM:SS" naming a real second ("00-02-29 00:00:00" is one: 2000 was a leap year).
std::optional<QDateTime> parseAcTime(const QString& text);

} // namespace lt
