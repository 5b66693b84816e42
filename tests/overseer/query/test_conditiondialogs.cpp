// The condition dialogs through their real widgets, without a server: the codes and the range a
// confirmed dialog leaves, cancelling, lower-case input, a reversed range refused with a word,
// hostile text kept as typed, and the statistics options with their terminal picker.

#include "common/clock.h"
#include "overseer/core/formmain.h"
#include "overseer/query/conditiondialogs.h"
#include "overseer/query/pickers.h"
#include "tests/overseer/consoletest.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTest>

using namespace lt;
using namespace lt::overseer;

namespace
{

using test::on;

// Closes the picker that comes up without choosing a row. A dialog's step opens the picker
// with a script of its own: the outer script's timer does not fire again inside its own step.
test::ModalScript::Step closePicker()
{
    return [](QWidget* modal) {
        QVERIFY(qobject_cast<FormXZZD*>(modal) || qobject_cast<FormXZWY*>(modal));
        modal->close();
    };
}

const QDateTime kNow(QDate(2026, 12, 7), QTime(15, 4, 5));

} // namespace

class ConditionDialogs : public QObject
{
    Q_OBJECT
    test::TestInstallation install_;
    std::unique_ptr<FormMain> form_;
    LogQueryState state_;

private slots:
    void init()
    {
        Clock::setNow(kNow);
        form_ = std::make_unique<FormMain>();
        state_ = LogQueryState();
    }
    void cleanup()
    {
        form_.reset();
        Clock::reset();
    }

    void viewingMode_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<bool>("confirmed");
        QTest::addColumn<QString>("todayLog");
        QTest::newRow("today") << "ok" << true << "True";
        QTest::newRow("other logs") << "other" << true << "False";
        QTest::newRow("cancel") << "cancel" << false << "kept";
        QTest::newRow("escape") << "escape" << false << "kept";
    }

    void viewingMode()
    {
        QFETCH(QString, action);
        QFETCH(bool, confirmed);
        QFETCH(QString, todayLog);
        state_.TodayLog = "kept";
        test::ModalScript script({on<DialogFS>([&](DialogFS& d) {
            QCOMPARE(d.windowTitle(), "日志查阅方式");
            QVERIFY(d.Option1->isChecked());
            if (action == "other")
                d.Option2->click();
            if (action == "cancel")
                d.CancelButton->click();
            else if (action == "escape")
                QTest::keyClick(&d, Qt::Key_Escape);
            else
                d.OKButton->click();
        })});
        QCOMPARE(form_->context().dialog<DialogFS>().run(state_), confirmed);
        QCOMPARE(script.stepsRun(), 1);
        QCOMPARE(state_.TodayLog, todayLog);
        QVERIFY(!form_->context().isLoaded<DialogFS>());
    }

    // Untouched: today 00:00:00 to tomorrow 00:00:00, code 00000; the fields follow the options.
    void accessLogUntouched()
    {
        test::ModalScript script({on<DialogTJ>([](DialogTJ& d) {
            QCOMPARE(d.windowTitle(), "日志查阅条件");
            QVERIFY(d.Text_终端->isEnabled() && d.Command_终端->isEnabled());
            QVERIFY(!d.Combo_组别->isEnabled());
            QVERIFY(d.Text_标题->isEnabled() && !d.Combo_类别->isEnabled());
            QCOMPARE(d.Combo_结果->count(), 3);
            QCOMPARE(d.Combo_结果->itemText(2), "积累");
            d.Option2->click();
            d.Option4->click();
            QVERIFY(!d.Text_终端->isEnabled() && !d.Command_终端->isEnabled());
            QVERIFY(d.Combo_组别->isEnabled());
            QVERIFY(!d.Text_标题->isEnabled() && !d.Command_标题->isEnabled());
            QVERIFY(d.Combo_类别->isEnabled());
            d.Option1->click();
            d.Option3->click();
            d.OKButton->click();
        })});
        QVERIFY(form_->context().dialog<DialogTJ>().run(state_));
        QCOMPARE(state_.CondCode, "00000");
        QCOMPARE(state_.CondStart, "26-12-07 00:00:00");
        QCOMPARE(state_.CondEnd, "26-12-08 00:00:00");
    }

    // Group mode with nothing in the group list, a class typed and a result: 00011.
    void groupModeWithoutGroup()
    {
        test::ModalScript script({on<DialogTJ>([](DialogTJ& d) {
            d.Option2->click();
            d.Option4->click();
            d.Combo_类别->setEditText("上网");
            d.Combo_结果->setCurrentIndex(1);
            d.OKButton->click();
        })});
        QVERIFY(form_->context().dialog<DialogTJ>().run(state_));
        QCOMPARE(state_.CondCode, "00011");
        QCOMPARE(state_.CondClass, "上网");
        QCOMPARE(state_.CondResult, "阻断");
    }

    // Typed upper case shows and is stored in lower case; quotes, backslashes, wildcards and
    // 200 characters stay as typed.
    void titleBoxLowerCase_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::newRow("upper case") << "NEWS.Example";
        QTest::newRow("hostile") << "It's 100%_OFF \\ 'x'";
        QTest::newRow("200 characters") << QString("Ab'\\%_").repeated(33) + "XY";
    }

    void titleBoxLowerCase()
    {
        QFETCH(QString, typed);
        QString shown;
        int caret = -1;
        test::ModalScript script({on<DialogTJ>([&](DialogTJ& d) {
            QTest::keyClicks(d.Text_标题, typed);
            shown = d.Text_标题->text();
            caret = d.Text_标题->cursorPosition();
            d.OKButton->click();
        })});
        QVERIFY(form_->context().dialog<DialogTJ>().run(state_));
        QCOMPARE(shown, typed.toLower());
        QCOMPARE(caret, int(typed.size()));
        QCOMPARE(state_.CondCode, "00100");
        QCOMPARE(state_.CondTitle, typed.toLower());
        QVERIFY(logCondition(state_).value().contains(db::sqlEscape(typed.toLower())));
    }

    // A start later than the end is refused with a word; the dialog stays for a correction.
    void reversedRangeSaysSo()
    {
        test::MessageLog messages;
        bool stayed = false;
        state_.CondCode = "10101";
        test::ModalScript script({on<DialogTJ>([&](DialogTJ& d) {
            d.Range.startTime->setTime(QTime(0, 0, 1));
            d.Range.endDate->setDate(QDate(2026, 12, 7));
            d.OKButton->click();
            stayed = QApplication::activeModalWidget() == &d;
            d.CancelButton->click();
        })});
        QVERIFY(!form_->context().dialog<DialogTJ>().run(state_));
        QVERIFY(stayed);
        QCOMPARE(messages.texts(), QStringList{"起始时间不能晚于截止时间！"});
        QCOMPARE(messages.requests.first().icon, ui::Icon::Exclamation);
        QCOMPARE(state_.CondCode, "10101");
    }

    // Time stamps carry two-digit years, read as 2000 to 2099: the pickers keep to those years,
    // so a range never runs from "99" back to "00".
    void pickersKeepToTheCentury()
    {
        test::MessageLog messages;
        test::ModalScript script({on<DialogTJ>([](DialogTJ& d) {
            d.Range.startDate->setDate(QDate(1999, 12, 31));
            d.Range.endDate->setDate(QDate(2100, 1, 1));
            d.OKButton->click();
            if (QApplication::activeModalWidget() == &d)
                d.CancelButton->click();
        })});
        QVERIFY(form_->context().dialog<DialogTJ>().run(state_));
        QCOMPARE(messages.texts(), QStringList());
        QCOMPARE(state_.CondStart, "00-01-01 00:00:00");
        QCOMPARE(state_.CondEnd, "99-12-31 00:00:00");
    }

    // The same day and second at both ends is a valid range of one second.
    void oneSecondRange()
    {
        test::ModalScript script({on<DialogTJ>([](DialogTJ& d) {
            d.Range.startTime->setTime(QTime(9, 30, 0));
            d.Range.endDate->setDate(QDate(2026, 12, 7));
            d.Range.endTime->setTime(QTime(9, 30, 0));
            d.OKButton->click();
        })});
        QVERIFY(form_->context().dialog<DialogTJ>().run(state_));
        QCOMPARE(state_.CondStart, "26-12-07 09:30:00");
        QCOMPARE(state_.CondEnd, "26-12-07 09:30:00");
    }

    // The terminal button shows the picker, then the terminal address it leaves; with a keyword
    // that is code 10100.
    void uploadTerminalAndKeyword()
    {
        state_.CondTermIP = "10.0.0.9";
        QString terminalBox;
        test::ModalScript script({on<DialogSH>([&](DialogSH& d) {
            QCOMPARE(d.windowTitle(), "上传日志查阅条件");
            QVERIFY(d.Text_终端->isEnabled());
            QVERIFY(d.Text_关键字->isEnabled());
            test::ModalScript picker({closePicker()});
            d.Command_终端->click();
            QCOMPARE(picker.stepsRun(), 1);
            terminalBox = d.Text_终端->text();
            QTest::keyClicks(d.Text_关键字, "PASS=O'Neil");
            d.OKButton->click();
        })});
        QVERIFY(form_->context().dialog<DialogSH>().run(state_));
        QCOMPARE(script.stepsRun(), 1);
        QCOMPARE(terminalBox, "10.0.0.9");
        QCOMPARE(state_.CondCode, "10100");
        QCOMPARE(state_.CondTermName, "10.0.0.9");
        QCOMPARE(state_.CondTitle, "pass=o'neil");
        QVERIFY(uploadCondition(state_).value().endsWith("Instr(UpSendTxt,'pass=o''neil')>0"));
    }

    void uploadReversedRange()
    {
        test::MessageLog messages;
        test::ModalScript script({on<DialogSH>([](DialogSH& d) {
            d.Range.startDate->setDate(QDate(2026, 12, 9));
            d.OKButton->click();
            if (QApplication::activeModalWidget() == &d)
                d.CancelButton->click();
        })});
        QVERIFY(!form_->context().dialog<DialogSH>().run(state_));
        QCOMPARE(messages.texts(), QStringList{"起始时间不能晚于截止时间！"});
    }

    // Opening sets the mode "1"; pressing "指定终端访问统计" sets "0" even when the picker is
    // closed without a choice, and shows the stored terminal; another option clears that line.
    void statisticsOptions()
    {
        state_.CondTermName = "pc-7";
        state_.CondTermIP = "10.0.0.7";
        QString afterOpen, afterTerminal, statusTerminal, statusOther, afterOther;
        test::ModalScript script({on<DialogFW>([&](DialogFW& d) {
            QCOMPARE(d.windowTitle(), "访问统计选项");
            QVERIFY(d.Option_F[1]->isChecked());
            afterOpen = state_.CondResult;
            test::ModalScript picker({closePicker()});
            QTest::mouseClick(d.Option_F[0], Qt::LeftButton);
            QCOMPARE(picker.stepsRun(), 1);
            afterTerminal = state_.CondResult;
            statusTerminal = d.StatusBar1->currentMessage();
            QTest::mouseClick(d.Option_F[3], Qt::LeftButton);
            afterOther = state_.CondResult;
            statusOther = d.StatusBar1->currentMessage();
            QVERIFY(d.Option_F[3]->isChecked());
            d.Range.endTime->setTime(QTime(12, 0));
            d.OKButton->click();
        })});
        QVERIFY(form_->context().dialog<DialogFW>().run(state_));
        QCOMPARE(afterOpen, "1");
        QCOMPARE(afterTerminal, "0");
        QCOMPARE(statusTerminal, "终端：pc-7    地址：10.0.0.7");
        QCOMPARE(afterOther, "3");
        QCOMPARE(statusOther, "");
        QCOMPARE(state_.CondResult, "3");
        QCOMPARE(state_.CondStart, "26-12-07 00:00:00");
        QCOMPARE(state_.CondEnd, "26-12-08 12:00:00");
    }

    void statisticsReversedRange()
    {
        test::MessageLog messages;
        test::ModalScript script({on<DialogFW>([](DialogFW& d) {
            d.Range.endDate->setDate(QDate(2026, 12, 6));
            d.OKButton->click();
            if (QApplication::activeModalWidget() == &d)
                d.CancelButton->click();
        })});
        QVERIFY(!form_->context().dialog<DialogFW>().run(state_));
        QCOMPARE(messages.texts(), QStringList{"起始时间不能晚于截至时间！"});
    }
};

QTEST_MAIN(ConditionDialogs)
#include "test_conditiondialogs.moc"
