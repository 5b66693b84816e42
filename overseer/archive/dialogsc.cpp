#include "common/clock.h"
#include "common/widgets/dialogform.h"
#include "common/widgets/messages.h"
#include "overseer/archive/archivedialogs.h"
#include "overseer/archive/archiveformats.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTimeEdit>
#include <QVBoxLayout>

namespace lt::overseer
{

namespace
{

QGroupBox* timeFrame(QWidget* parent, const QString& caption, const QString& name, QDateEdit* date,
                     QTimeEdit* time)
{
    auto* frame = new QGroupBox(caption, parent);
    frame->setObjectName(name);
    auto* grid = new QGridLayout(frame);
    grid->addWidget(new QLabel(QStringLiteral("日期："), frame), 0, 0);
    grid->addWidget(date, 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("时间："), frame), 1, 0);
    grid->addWidget(time, 1, 1);
    return frame;
}

QDateEdit* datePicker(QWidget* parent, const QString& name, QDate date)
{
    auto* picker = new QDateEdit(date, parent);
    picker->setObjectName(name);
    // The days a time stamp's two-digit year can name.
    picker->setDateRange(firstStampDate(), lastStampDate());
    picker->setCalendarPopup(true);
    picker->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    return picker;
}

QTimeEdit* timePicker(QWidget* parent, const QString& name)
{
    auto* picker = new QTimeEdit(QTime(0, 0), parent);
    picker->setObjectName(name);
    picker->setDisplayFormat(QStringLiteral("HH:mm:ss"));
    return picker;
}

} // namespace

DialogSC::DialogSC(ConsoleContext& context) : DialogBase(context)
{
    setWindowTitle(QStringLiteral("日志删除条件"));
    const QDate today = Clock::now().date();
    Check1 = new QCheckBox(QStringLiteral("删除浏览日志"), this);
    Check1->setObjectName(QStringLiteral("Check1"));
    Check1->setChecked(true);
    Check2 = new QCheckBox(QStringLiteral("删除上传日志"), this);
    Check2->setObjectName(QStringLiteral("Check2"));
    Date_起始 = datePicker(this, QStringLiteral("Date_起始"), today);
    DTPickerT1 = timePicker(this, QStringLiteral("DTPickerT1"));
    Date_截至 = datePicker(this, QStringLiteral("Date_截至"), today.addDays(1));
    DTPickerT2 = timePicker(this, QStringLiteral("DTPickerT2"));
    Frame1 = timeFrame(this, QStringLiteral("起始时间"), QStringLiteral("Frame1"), Date_起始,
                       DTPickerT1);
    Frame4 = timeFrame(this, QStringLiteral("截至时间"), QStringLiteral("Frame4"), Date_截至,
                       DTPickerT2);
    OKButton = ui::makeButton(this, QStringLiteral("确定"), QStringLiteral("OKButton"), true);
    CancelButton = ui::makeButton(this, QStringLiteral("取消"), QStringLiteral("CancelButton"));

    auto* checks = new QHBoxLayout;
    checks->addWidget(Check1);
    checks->addWidget(Check2);
    auto* frames = new QHBoxLayout;
    frames->addWidget(Frame1);
    frames->addWidget(Frame4);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 16, 20, 14);
    layout->addLayout(checks);
    layout->addLayout(frames);
    layout->addLayout(ui::buttonRow({OKButton, CancelButton}));

    connect(Check1, &QCheckBox::clicked, this, &DialogSC::Check_Click);
    connect(Check2, &QCheckBox::clicked, this, &DialogSC::Check_Click);
    connect(OKButton, &QPushButton::clicked, this, &DialogSC::OKButton_Click);
    connect(CancelButton, &QPushButton::clicked, this, [this] { cancel(); });
}

void DialogSC::Check_Click()
{
    OKButton->setEnabled(Check1->isChecked() || Check2->isChecked());
}

void DialogSC::OKButton_Click()
{
    if (!Check1->isChecked() && !Check2->isChecked())
        return;
    const archive::DeletionRange range = archive::deletionRange(
        Date_起始->date(), DTPickerT1->time(), Date_截至->date(), DTPickerT2->time());
    Date_截至->setDate(range.endDate);
    if (range.reversed) {
        ui::message(this, QStringLiteral("起始时间晚于截至时间，请重新选择。"),
                    ui::Icon::Exclamation);
        return;
    }
    statements_ = archive::deletionStatements(Check1->isChecked(), Check2->isChecked(), range);
    confirm();
}

} // namespace lt::overseer
