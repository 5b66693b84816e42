#pragma once
// When the daily pruning pass runs: on the first check in the hour 03:00 to 03:59 of each day.
// Every check outside that hour clears the done-today flag; the pass sets it.

#include <QDateTime>

namespace lt::keeper
{

class DailySchedule
{
public:
    // One check at `now`: true when the day's pass is due.
    bool due(const QDateTime& now)
    {
        if (now.toString(QStringLiteral("HH")) != QLatin1String("03")) {
            doneToday_ = false;
            return false;
        }
        return !doneToday_;
    }
    void markDone() { doneToday_ = true; }
    bool doneToday() const { return doneToday_; }

private:
    bool doneToday_ = false;
};

} // namespace lt::keeper
