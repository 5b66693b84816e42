#pragma once
// Widgets the condition dialogs and pickers share: the two time frames, the lower-case boxes,
// the header sort toggle of the pickers' lists, and the message for a database that did not
// answer.

#include "common/odbc.h"

#include <QDateEdit>
#include <QString>
#include <QTimeEdit>

class QGroupBox;
class QLineEdit;
class QTreeWidget;
class QWidget;

namespace lt::overseer
{

// The start pair ("起始时间") and the end pair ("截止时间", or another caption) of a dialog. Dates
// start at today and tomorrow (by lt::Clock), times at 00:00:00.
struct TimeRange {
    QGroupBox* startFrame = nullptr;
    QGroupBox* endFrame = nullptr;
    QDateEdit* startDate = nullptr; // Date_起始
    QTimeEdit* startTime = nullptr; // Time_起始
    QDateEdit* endDate = nullptr;   // Date_截止
    QTimeEdit* endTime = nullptr;   // Time_截止

    static TimeRange create(QWidget* parent, const QString& endCaption);
    QString start() const;
    QString end() const;
    // True, after a warning shown over parent, when the range ends before it starts.
    bool refused(QWidget* parent, const QString& endCaption) const;
};

// Every change of the box leaves its text in lower case with the caret at the end.
void makeLowerCase(QLineEdit* box);

// A click on a header sorts by that column: descending with the header marked, then ascending
// with the mark cleared.
void sortOnHeaderClick(QTreeWidget* list);

// Tells the administrator that reading from the database failed; the driver's message follows.
void tellDatabaseFailure(QWidget* parent, const db::Error& error);

} // namespace lt::overseer
