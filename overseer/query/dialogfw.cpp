#include "overseer/query/conditiondialogs.h"

#include "common/widgets/dialogform.h"
#include "common/widgets/messages.h"
#include "overseer/core/consolecontext.h"
#include "overseer/query/conditionrules.h"
#include "overseer/query/pickers.h"

#include <QEvent>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QVBoxLayout>

namespace lt::overseer
{

namespace
{
const QString kFwEndCaption = QStringLiteral("截至时间");
} // namespace

DialogFW::DialogFW(ConsoleContext& context) : DialogBase(context)
{
    setWindowTitle(QStringLiteral("访问统计选项"));
    auto* modes = new QGroupBox(this);
    auto* modeRows = new QVBoxLayout(modes);
    const QStringList captions = {
        QStringLiteral("指定终端访问统计"), QStringLiteral("所有网页访问统计"),
        QStringLiteral("所有终端访问统计"), QStringLiteral("所有终端流量统计")};
    for (int i = 0; i < captions.size(); ++i) {
        auto* o = new QRadioButton(captions[i], modes);
        o->setObjectName(QStringLiteral("Option_F(%1)").arg(i));
        o->installEventFilter(this);
        modeRows->addWidget(o);
        Option_F << o;
        connect(o, &QRadioButton::toggled, this, [this, i](bool on) {
            if (on && conditions_)
                conditions_->CondResult = QString::number(i);
        });
    }
    Option_F[1]->setChecked(true);
    Range = TimeRange::create(this, kFwEndCaption);
    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setSizeGripEnabled(false);
    OKButton = ui::makeButton(this, QStringLiteral("确认"), QStringLiteral("OKButton"), true);
    CancelButton = ui::makeButton(this, QStringLiteral("取消"), QStringLiteral("CancelButton"));

    auto* times = new QHBoxLayout;
    times->addWidget(Range.startFrame);
    times->addWidget(Range.endFrame);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(18, 14, 18, 0);
    layout->addWidget(modes);
    layout->addLayout(times);
    layout->addLayout(ui::buttonRow({OKButton, CancelButton}));
    layout->addWidget(StatusBar1);
    setMinimumWidth(400);

    connect(OKButton, &QPushButton::clicked, this, &DialogFW::OKButton_Click);
    connect(CancelButton, &QPushButton::clicked, this, [this] { cancel(); });
}

bool DialogFW::run(LogQueryState& conditions)
{
    conditions_ = &conditions;
    conditions.CondResult = QStringLiteral("1");
    return DialogBase::run();
}

bool DialogFW::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonPress) {
        const int index = Option_F.indexOf(qobject_cast<QRadioButton*>(watched));
        if (index >= 0) {
            // The press selects at once: option 0 opens a modal picker, which would leave the
            // button waiting for a release it never gets.
            Option_F_MouseDown(index);
            return true;
        }
    }
    return DialogBase::eventFilter(watched, event);
}

void DialogFW::Option_F_MouseDown(int index)
{
    Option_F[index]->setChecked(true);
    if (!conditions_)
        return;
    conditions_->CondResult = QString::number(index);
    if (index == 0) {
        context().dialog<FormXZZD>().run(*conditions_);
        StatusBar1->showMessage(terminalStatusText(*conditions_));
    } else {
        StatusBar1->clearMessage();
    }
}

void DialogFW::OKButton_Click()
{
    if (Range.refused(this, kFwEndCaption))
        return;
    const QString start = Range.start();
    const QString end = Range.end();
    if (conditions_) {
        conditions_->CondStart = start;
        conditions_->CondEnd = end;
    }
    confirm();
}

} // namespace lt::overseer
