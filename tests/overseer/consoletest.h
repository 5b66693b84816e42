#pragma once
// What the console's tests share: a script that acts on the modal dialogs as they come up, a
// log of the message boxes (answered at once), a record of the programs started, and the end of
// the modules a test has started in its installation.

#include "common/cmysql.h"
#include "common/datasources.h"
#include "common/processes.h"
#include "common/widgets/messages.h"
#include "common/windowdirectory.h"
#include "overseer/core/consolecontext.h"
#include "tests/support/testsupport.h"

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <functional>

namespace lt::test
{

// A control of a window by its object name (the main window keeps its controls to itself);
// a missing one ends the test program, as no test can go on without it.
template <typename T> T* control(QObject& window, const char* name)
{
    T* found = window.findChild<T*>(QString::fromLatin1(name));
    if (!found)
        qFatal("no control %s", name);
    return found;
}
// The console's list and its view title.
inline QTreeView* list(QObject& form)
{
    return control<QTreeView>(form, "ListView1");
}
inline QLabel* title(QObject& form)
{
    return control<QLabel>(form, "Label2");
}

// Runs each step on the next modal dialog that comes up, in order. A dialog that stays up after
// its step does not get the next one. Dropped steps are never run once the script is gone.
// A step that fails (a QVERIFY or QCOMPARE inside it) closes every modal dialog at once, so
// that the test ends with its failure instead of waiting in the dialog until CTest gives up.
class ModalScript
{
public:
    using Step = std::function<void(QWidget* modal)>;
    explicit ModalScript(QList<Step> steps) : steps_(std::move(steps))
    {
        QObject::connect(&timer_, &QTimer::timeout, [this] { poll(); });
        timer_.start(5);
    }
    int stepsRun() const { return next_; }

private:
    void poll()
    {
        if (QTest::currentTestFailed()) {
            closeModals();
            return;
        }
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || modal == last_ || next_ >= steps_.size())
            return;
        last_ = modal;
        steps_[next_++](modal);
        if (QTest::currentTestFailed())
            closeModals();
    }
    static void closeModals()
    {
        // done() rather than reject(): a dialog's own Cancel may ask a question of its own.
        while (QWidget* modal = QApplication::activeModalWidget()) {
            if (auto* dialog = qobject_cast<QDialog*>(modal))
                dialog->done(QDialog::Rejected);
            else
                modal->close();
            if (QApplication::activeModalWidget() == modal)
                break;
        }
    }
    QList<Step> steps_;
    QTimer timer_;
    QPointer<QWidget> last_;
    int next_ = 0;
};

// A step acting on the modal dialog of class T; the test fails when another comes up.
template <typename T> ModalScript::Step on(std::function<void(T&)> act)
{
    return [act](QWidget* modal) {
        auto* dialog = qobject_cast<T*>(modal);
        QVERIFY2(dialog, modal->metaObject()->className());
        act(*dialog);
    };
}

// Every message box shown while it lives, answered with `answer`.
class MessageLog
{
public:
    explicit MessageLog(ui::Answer answer = ui::Answer::Ok)
    {
        ui::setMessageHandler([this, answer](const ui::MessageRequest& r) {
            requests << r;
            return answer;
        });
    }
    ~MessageLog() { ui::setMessageHandler({}); }
    QStringList texts() const
    {
        QStringList list;
        for (const ui::MessageRequest& r : requests)
            list << r.text;
        return list;
    }
    QList<ui::MessageRequest> requests;
};

// The command lines of the programs started while it lives.
class StartLog
{
public:
    StartLog()
    {
        id_ = proc::addStartObserver([this](const proc::StartEvent& e) { events << e; });
    }
    ~StartLog() { proc::removeStartObserver(id_); }
    QStringList commandLines() const
    {
        QStringList list;
        for (const proc::StartEvent& e : events)
            list << e.commandLine;
        return list;
    }
    QList<proc::StartEvent> events;

private:
    int id_ = 0;
};

// The console's three connections opened as a login opens them (log, configuration, and a
// second one on the log); false when one fails.
inline bool connectConsole(overseer::ConsoleContext& context)
{
    const dsn::ConnectionStrings strings = dsn::chosenConnectionStrings();
    context.MySql = std::make_unique<CMySql>();
    return context.MySql->Cnn0.open(strings.log) && context.MySql->Cnn1.open(strings.config) &&
           context.MySql->Cnn2.open(strings.log);
}

inline void endModules()
{
    for (const char* name : {"logkeeper", "qmlxsn", "qmlxblock", "qmlxcontent", "TQProgress"})
        proc::killProcess(QString::fromLatin1(name));
}

inline bool windowAppears(const QString& title)
{
    return waitFor([&] { return win::findWindow(title).has_value(); }, 15000);
}

inline bool windowGoes(const QString& title)
{
    return waitFor([&] { return !win::findWindow(title).has_value(); }, 15000);
}

} // namespace lt::test
