#pragma once
// The keeper's three row limits and the rule that turns the typed texts into limits.

#include <QString>

namespace lt::keeper
{

struct Limits {
    qint32 log = 200000;   // logtable, browse log
    qint32 upload = 10000; // upsendtable, upload log
    qint32 web = 500000;   // webtable, recent visits
};

// The smallest limits the administrator can set.
constexpr qint32 kMinLog = 5000;
constexpr qint32 kMinUpload = 1000;
constexpr qint32 kMinWeb = 10000;

// What became of one typed limit.
struct LimitEntry {
    enum Outcome {
        Taken,           // the number as typed
        RaisedToMinimum, // below the minimum, or empty (an empty box counts as 0)
        KeptPrevious     // not a number or beyond the 32-bit range: the previous limit stays
    };
    Outcome outcome = Taken;
    qint32 value = 0;
    QString text; // what the box shows afterwards
};

// Blanks around the digits are ignored. A box at or above its minimum keeps its text as typed.
LimitEntry applyLimitText(const QString& text, qint32 minimum, qint32 previous);

} // namespace lt::keeper
