#pragma once
// The rules behind the condition dialogs and their pickers, kept apart from the widgets: how a
// confirmed dialog rewrites the query conditions, the check of its time range, and the
// statements the dialogs and pickers read their lists with.

#include "overseer/query/logquery.h"

#include <QDate>
#include <QString>
#include <QTime>
#include <optional>

namespace lt::overseer
{

// A date picker and its time picker as one 17-character time stamp.
QString stampOf(const QDate& date, const QTime& time);

// What the access-log condition dialog shows when "确定" is pressed.
struct LogConditionChoice {
    QString start;
    QString end;
    bool byTerminal = true; // the terminal box is enabled (else the group list)
    QString terminal;       // terminal box text: the picked terminal's address
    QString group;
    bool byTitle = true; // the title box is enabled (else the class list)
    QString title;
    QString className;
    QString result; // empty: any result
};
// Rewrites the range and the code, and each value only when its criterion is chosen.
void applyLogChoice(const LogConditionChoice& choice, LogQueryState& state);

// What the upload-log condition dialog shows when "确定" is pressed.
struct UploadConditionChoice {
    QString start;
    QString end;
    QString terminal;
    QString keyword;
};
void applyUploadChoice(const UploadConditionChoice& choice, LogQueryState& state);

// Empty when the range can be searched; otherwise the message that says why not. endCaption is
// the caption of the end pair of the dialog ("截止时间", or "截至时间" in the statistics dialog).
QString rangeProblem(const QString& start, const QString& end, const QString& endCaption);

// The statistics dialog's status line for the terminal picked.
QString terminalStatusText(const LogQueryState& state);

inline const QString kGroupListSql = QStringLiteral("SELECT * FROM grouptable");
inline const QString kClassListSql = QStringLiteral("SELECT * FROM classtable");
inline const QString kTerminalPickerSql =
    QStringLiteral("SELECT Name,IP FROM usertable ORDER BY Name");

// The web page picker offers at most this many pages ...
inline constexpr int kWebPickerPages = 3001;
// ... taken from this many of the newest browse-log rows, so that opening it costs the same on
// a log of any size instead of grouping the whole log.
inline constexpr int kWebPickerRecentRows = 20000;

// The time stamp of the recentRows-th newest browse-log row, read from the time index alone; no
// row when the log is shorter.
QString webPickerHorizonSql(int recentRows = kWebPickerRecentRows);
// The pages visited since the horizon (every page of the log when there is none), the most
// recently visited first, with one of their titles: columns Title, URL.
QString webPickerSql(const std::optional<QString>& horizon);

} // namespace lt::overseer
