#include "overseer/query/conditionwidgets.h"

#include "common/clock.h"
#include "common/widgets/dialogform.h"
#include "common/widgets/messages.h"
#include "overseer/query/conditionrules.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QTreeWidget>
#include <memory>

namespace lt::overseer
{

namespace
{

QGroupBox* pairFrame(QWidget* parent, const QString& caption, QDateEdit* date, QTimeEdit* time)
{
    auto* frame = new QGroupBox(caption, parent);
    frame->setLayout(ui::fieldGrid(
        frame, {{QStringLiteral("日期："), date}, {QStringLiteral("时间："), time}}, 8));
    return frame;
}

QDateEdit* dateEdit(QWidget* parent, const QString& name, const QDate& date)
{
    auto* edit = new QDateEdit(date, parent);
    edit->setObjectName(name);
    // The days a time stamp's two-digit year can name: a range never runs from "99" to "00".
    edit->setDateRange(firstStampDate(), lastStampDate());
    edit->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    edit->setCalendarPopup(true);
    return edit;
}

QTimeEdit* timeEdit(QWidget* parent, const QString& name)
{
    auto* edit = new QTimeEdit(QTime(0, 0), parent);
    edit->setObjectName(name);
    edit->setDisplayFormat(QStringLiteral("HH:mm:ss"));
    return edit;
}

} // namespace

TimeRange TimeRange::create(QWidget* parent, const QString& endCaption)
{
    const QDate today = Clock::now().date();
    TimeRange r;
    r.startDate = dateEdit(parent, QStringLiteral("Date_起始"), today);
    r.startTime = timeEdit(parent, QStringLiteral("Time_起始"));
    r.endDate = dateEdit(parent, QStringLiteral("Date_截止"), today.addDays(1));
    r.endTime = timeEdit(parent, QStringLiteral("Time_截止"));
    r.startFrame = pairFrame(parent, QStringLiteral("起始时间"), r.startDate, r.startTime);
    r.endFrame = pairFrame(parent, endCaption, r.endDate, r.endTime);
    return r;
}

QString TimeRange::start() const
{
    return stampOf(startDate->date(), startTime->time());
}

QString TimeRange::end() const
{
    return stampOf(endDate->date(), endTime->time());
}

bool TimeRange::refused(QWidget* parent, const QString& endCaption) const
{
    const QString problem = rangeProblem(start(), end(), endCaption);
    if (!problem.isEmpty())
        ui::message(parent, problem, ui::Icon::Exclamation);
    return !problem.isEmpty();
}

void makeLowerCase(QLineEdit* box)
{
    QObject::connect(box, &QLineEdit::textChanged, box, [box](const QString& text) {
        const QString lower = text.toLower();
        if (lower != text)
            box->setText(lower);
        box->setCursorPosition(box->text().size());
    });
}

void sortOnHeaderClick(QTreeWidget* list)
{
    QHeaderView* header = list->header();
    header->setSectionsClickable(true);
    // The header flips a shown indicator on its own before it reports the click, so the list
    // keeps which header it marked.
    auto marked = std::make_shared<int>(-1);
    QObject::connect(
        header, &QHeaderView::sectionClicked, list, [list, header, marked](int column) {
            const bool descending = *marked != column;
            const Qt::SortOrder order = descending ? Qt::DescendingOrder : Qt::AscendingOrder;
            list->sortItems(column, order);
            header->setSortIndicator(column, order);
            header->setSortIndicatorShown(descending);
            *marked = descending ? column : -1;
        });
}

void tellDatabaseFailure(QWidget* parent, const db::Error& error)
{
    QString text = QStringLiteral("读取数据库失败，列表不完整。");
    if (!error.message.isEmpty())
        text += QStringLiteral("\n") + error.message;
    ui::message(parent, text, ui::Icon::Exclamation);
}

} // namespace lt::overseer
