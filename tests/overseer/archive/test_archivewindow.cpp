// The export window, the restore use of the quit dialog and the deletion dialog, driven through
// their real widgets on the private server: the save and open dialogs they ask for, the wait
// notice, the progress, "取消" during an export, the clearing question, the restores' messages
// and the deletion's statements.

#include "common/clock.h"
#include "common/datasources.h"
#include "common/logrows.h"
#include "common/names.h"
#include "common/odbc.h"
#include "overseer/archive/archivedialogs.h"
#include "overseer/archive/filedialogs.h"
#include "overseer/core/commands.h"
#include "overseer/core/dialogak.h"
#include "overseer/core/formmain.h"
#include "overseer/program.h"
#include "tests/overseer/consoletest.h"
#include "tests/support/logfill.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QGroupBox>
#include <QLabel>
#include <QMutex>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimeEdit>

using namespace lt;
using namespace lt::overseer;
using archive::FileRequest;

namespace
{

const QDateTime kNow(QDate(2026, 12, 7), QTime(15, 30));

// Answers the file dialogs with the paths given, in order, and keeps what they were asked.
class FileAnswers
{
public:
    explicit FileAnswers(QStringList paths) : paths_(std::move(paths))
    {
        archive::setFileHandler([this](const FileRequest& r) {
            requests << r;
            return paths_.isEmpty() ? QString() : paths_.takeFirst();
        });
    }
    ~FileAnswers() { archive::setFileHandler({}); }
    QList<FileRequest> requests;

private:
    QStringList paths_;
};

// The statements sent on any connection while it lives (the jobs run on threads of their own).
class Statements
{
public:
    Statements()
    {
        id_ = db::addStatementObserver([this](const db::StatementEvent& e) {
            QMutexLocker lock(&mutex_);
            if (e.kind == db::StatementEvent::Statement)
                sent_ << e.text;
        });
    }
    ~Statements() { db::removeStatementObserver(id_); }
    QStringList sent()
    {
        QMutexLocker lock(&mutex_);
        return sent_;
    }

private:
    int id_ = 0;
    QMutex mutex_;
    QStringList sent_;
};

void fillLog(int rows)
{
    test::fillRows(QList<logrows::LogRow>{
        {"pc1", "10.0.0.1", "26-12-07 08:00:00", "组A", "标题", "http://x/", "上网", "放行", 1}});
    for (int n = 1; n < rows; n *= 2)
        test::sql(QString("INSERT INTO logtable(" + logrows::kLogColumns +
                          ") SELECT Name,IP,AcTime,Team,Title,URL,Class,"
                          "Result,nLength,F FROM logtable LIMIT %1")
                      .arg(rows - n),
                  "dovrik");
}

qint64 count(const QString& table)
{
    return test::sql("SELECT count(*) FROM " + table, "dovrik").trimmed().toLongLong();
}

} // namespace

class ArchiveWindow : public QObject
{
    Q_OBJECT
    test::TestInstallation install_;
    QTemporaryDir dir_;
    std::unique_ptr<FormMain> form_;

    QString path(const QString& name) const { return dir_.filePath(name); }

    // Runs the export window: the option, "确定", then waits for the window to be idle again.
    test::ModalScript::Step exportWith(int option, const std::function<void(FormSave*)>& check = {})
    {
        return [=](QWidget* modal) {
            auto* window = qobject_cast<FormSave*>(modal);
            QVERIFY(window);
            window->Option1[option]->click();
            window->Command_OK->click();
            QVERIFY(test::waitFor([&] { return !window->busy(); }, 60000));
            if (check)
                check(window);
            window->cmdCancel->click();
        };
    }

private slots:
    void initTestCase()
    {
        QVERIFY(test::serverAvailable());
        install_.registerLocal();
        test::initialiseDatabases();
        Clock::setNow(kNow);
    }

    void init()
    {
        form_ = std::make_unique<FormMain>();
        fillDispatch(*form_);
        form_->EndConsole = [] {};
    }

    void cleanup()
    {
        form_.reset();
        test::endModules();
    }

    void theWindowAndABackup()
    {
        fillLog(3);
        FileAnswers files({path("nightly.bak")});
        test::MessageLog messages;
        test::StartLog starts;
        bool checked = false;
        test::ModalScript script({exportWith(3, [&](FormSave* w) {
            QCOMPARE(w->windowTitle(), u"Lantrove系统"_qs);
            QCOMPARE(w->Frame1->title(), u"选择导出数据"_qs);
            QCOMPARE(w->Option1[3]->text(), u"日志备份"_qs);
            QVERIFY(w->Label1->isHidden());
            QVERIFY(w->ProgressBar1->isHidden());
            QVERIFY(w->Command_OK->isEnabled());
            QCOMPARE(w->recordNumber(), qint64(0));
            checked = true;
        })});
        form_->toolbarKey(key::日志导出)->trigger();
        QVERIFY(checked);
        QCOMPARE(files.requests.size(), 1);
        const FileRequest& r = files.requests[0];
        QCOMPARE(r.kind, FileRequest::Save);
        QCOMPARE(r.title, u"导出日志备份文件另存为"_qs);
        QCOMPARE(r.filter, u"日志备份 (*.bak)|*.bak|"_qs);
        QCOMPARE(r.defaultExt, u"bak"_qs);
        QCOMPARE(r.fileName, u"日志备份.bak"_qs);
        QVERIFY(r.confirmOverwrite);
        QCOMPARE(messages.texts(), QStringList{"日志备份文件导出完毕"});
        QCOMPARE(messages.requests[0].icon, ui::Icon::Exclamation);
        QVERIFY(test::readFile(path("nightly.bak")).startsWith("HNQMLXDOVRIKXT\r\n 3 \r\n"));
        QVERIFY(starts.commandLines().filter("TQProgress.exe 提取").size() == 1);
        QVERIFY(test::windowGoes(names::kProgressTitle));
    }

    void reportThenClearing()
    {
        fillLog(4);
        FileAnswers files({path("report.txt")});
        test::MessageLog messages(ui::Answer::Yes);
        test::ModalScript script({exportWith(0)});
        form_->toolbarKey(key::日志导出)->trigger();
        QCOMPARE(files.requests[0].title, u"导出浏览日志文件另存为"_qs);
        QCOMPARE(files.requests[0].fileName, u"浏览日志.TXT"_qs);
        QCOMPARE(messages.texts(), (QStringList{"浏览日志导出完毕", "确定清空浏览日志数据库码?",
                                                "浏览日志数据库已清空"}));
        QCOMPARE(messages.requests[1].buttons, ui::Buttons::YesNo);
        QCOMPARE(test::readFile(path("report.txt")).count(QByteArray(100, '-')), 4);
        QCOMPARE(count("logtable"), qint64(0));
    }

    void noRowsAndCancelledSaveDialog()
    {
        test::sql("DELETE FROM upsendtable", "dovrik");
        FileAnswers files({path("up.txt"), QString()});
        test::MessageLog messages;
        test::ModalScript script({[&](QWidget* modal) {
            auto* w = qobject_cast<FormSave*>(modal);
            QVERIFY(w);
            w->Option1[1]->click();
            w->Command_OK->click();
            QVERIFY(test::waitFor([&] { return !w->busy(); }, 30000));
            QCOMPARE(messages.texts(), QStringList{"没有上传日志"});
            // The save dialog cancelled: nothing is written, nothing is said.
            w->Command_OK->click();
            QCOMPARE(w->busy(), false);
            QCOMPARE(messages.texts().size(), 1);
            w->cmdCancel->click();
        }});
        form_->toolbarKey(key::日志导出)->trigger();
        QCOMPARE(files.requests.size(), 2);
        QCOMPARE(files.requests[0].title, u"导出上传日志文件另存为"_qs);
        QVERIFY(!QFile::exists(path("up.txt")));
    }

    void stoppingAnExportLeavesTheOldFile()
    {
        fillLog(150000);
        const QString file = path("stop.bak");
        test::writeFile(file, "yesterday's backup");
        FileAnswers files({file, file});
        test::MessageLog messages;
        test::ModalScript script({[&](QWidget* modal) {
            auto* w = qobject_cast<FormSave*>(modal);
            QVERIFY(w);
            w->Option1[3]->click();
            const int ownHeight = w->height();
            w->Command_OK->click();
            QVERIFY(test::waitFor([&] { return w->ProgressBar1->isVisible(); }, 30000));
            QVERIFY(!w->Command_OK->isEnabled());
            QVERIFY(w->recordNumber() > 0);
            QCOMPARE(w->ProgressBar1->maximum(), 150000);
            // The rows done show in the main window's status bar too.
            auto* rows = test::control<QProgressBar>(*form_, "ProgressRows");
            QVERIFY(test::waitFor([&] { return rows->isVisibleTo(form_.get()); }, 5000));
            QVERIFY(rows->text().endsWith(u" / 150,000 条"_qs));
            w->cmdCancel->click(); // asks the export to stop; the window stays
            QVERIFY(test::waitFor([&] { return !w->busy(); }, 10000));
            QVERIFY(w->isVisible());
            // Without its progress the window is its own size again, and so is the status bar.
            QCOMPARE(w->height(), ownHeight);
            QVERIFY(!rows->isVisibleTo(form_.get()));
            QCOMPARE(test::readFile(file), QByteArray("yesterday's backup"));
            QCOMPARE(messages.texts().size(), 1);
            QVERIFY(messages.texts()[0].contains("原有的文件未改变"));
            // The next export from the same window runs to the end.
            w->Command_OK->click();
            QVERIFY(test::waitFor([&] { return !w->busy(); }, 120000));
            QCOMPARE(messages.texts().last(), u"日志备份文件导出完毕"_qs);
            w->cmdCancel->click();
        }});
        form_->toolbarKey(key::日志导出)->trigger();
        QVERIFY(test::readFile(file).startsWith("HNQMLXDOVRIKXT\r\n 150000 \r\n"));
    }

    void restoresThroughTheQuitDialog()
    {
        fillLog(3);
        FileAnswers files({path("r.bak")});
        test::MessageLog messages;
        test::ModalScript exportScript({exportWith(3)});
        form_->toolbarKey(key::日志导出)->trigger();
        test::sql("DELETE FROM logtable", "dovrik");

        FileAnswers opens({path("r.bak")});
        test::ModalScript restore({[&](QWidget* modal) {
            auto* d = qobject_cast<DialogAK*>(modal);
            QVERIFY(d);
            QCOMPARE(d->Option1->text(), u"恢复日志数据"_qs);
            QCOMPARE(d->Option2->text(), u"恢复终端设置"_qs);
            QVERIFY(d->Option1->isChecked());
            d->OKButton->click();
        }});
        form_->toolbarKey(key::恢复设置)->trigger();
        QVERIFY(test::waitFor([] { return QApplication::activeModalWidget() == nullptr; }));
        QCOMPARE(opens.requests.size(), 1);
        QCOMPARE(opens.requests[0].kind, FileRequest::Open);
        QCOMPARE(opens.requests[0].title, u"打开日志备份文件"_qs);
        QCOMPARE(opens.requests[0].filter, u"日志备份 (*.bak)|*.bak|"_qs);
        QCOMPARE(count("logtable"), qint64(3));
        QCOMPARE(messages.texts().last(), u"日志数据恢复完毕\n恢复 3 条记录，失败 0 条。"_qs);

        // The configuration restore of a file that is none.
        test::writeFile(path("not.cfg"), "HNQMLXDOVRIKXX\r\n 0 \r\n 0 \r\n");
        const QString users = test::sql("SELECT * FROM usertable", "ipdata");
        FileAnswers cfg({path("not.cfg")});
        test::ModalScript restoreConfig({[&](QWidget* modal) {
            auto* d = qobject_cast<DialogAK*>(modal);
            QVERIFY(d);
            d->Option2->setChecked(true);
            d->OKButton->click();
        }});
        form_->toolbarKey(key::恢复设置)->trigger();
        QVERIFY(test::waitFor([] { return QApplication::activeModalWidget() == nullptr; }));
        QCOMPARE(cfg.requests[0].title, u"打开备份的配置文件"_qs);
        QCOMPARE(cfg.requests[0].defaultExt, u"txt"_qs);
        QCOMPARE(messages.texts().last(), u"不是配置文件"_qs);
        QCOMPARE(test::sql("SELECT * FROM usertable", "ipdata"), users);
    }

    void deletionDialog()
    {
        test::sql("DELETE FROM logtable; DELETE FROM upsendtable;"
                  "INSERT INTO logtable(Name,AcTime) VALUES('a','26-12-06 23:59:59'),"
                  "('b','26-12-07 00:00:00'),('c','26-12-08 00:00:00'),('d','26-12-08 00:00:01');"
                  "INSERT INTO upsendtable(Name,AcTime) VALUES('u','26-12-07 10:00:00')",
                  "dovrik");
        Statements statements;
        test::MessageLog messages;
        test::StartLog starts;
        test::ModalScript script({[&](QWidget* modal) {
            auto* d = qobject_cast<DialogSC*>(modal);
            QVERIFY(d);
            QCOMPARE(d->windowTitle(), u"日志删除条件"_qs);
            QVERIFY(d->Check1->isChecked());
            QVERIFY(!d->Check2->isChecked());
            QCOMPARE(d->Date_起始->date(), kNow.date());
            QCOMPARE(d->Date_截至->date(), kNow.date().addDays(1));
            QCOMPARE(d->DTPickerT1->time(), QTime(0, 0));
            d->Check1->click();
            QVERIFY(!d->OKButton->isEnabled());
            d->Check2->click();
            d->Check1->click();
            QVERIFY(d->OKButton->isEnabled());
            // A start after the end is refused and the dialog stays.
            d->Date_截至->setDate(kNow.date().addDays(-2));
            d->OKButton->click();
            QVERIFY(messages.texts().value(0).contains("起始时间晚于截至时间"));
            QVERIFY(d->isVisible());
            // The same day: the end moves to the next day.
            d->Date_截至->setDate(kNow.date());
            d->OKButton->click();
        }});
        form_->toolbarKey(key::删除日志)->trigger();
        QVERIFY(test::waitFor([] { return count("upsendtable") == 0; }, 20000));
        QVERIFY(test::waitFor([&] { return statements.sent().filter("DELETE").size() == 2; }));
        QCOMPARE(statements.sent().filter("DELETE"),
                 (QStringList{"DELETE FROM logtable WHERE AcTime>='26-12-07 00:00:00' AND "
                              "AcTime<='26-12-08 00:00:00'",
                              "DELETE FROM upsendtable WHERE AcTime>='26-12-07 00:00:00' AND "
                              "AcTime<='26-12-08 00:00:00'"}));
        QCOMPARE(test::sql("SELECT Name FROM logtable ORDER BY Name", "dovrik"), u"a\nd\n"_qs);
        QCOMPARE(messages.texts().size(), 1);
        QCOMPARE(starts.commandLines().filter("TQProgress.exe 删除").size(), 1);
        QVERIFY(test::windowGoes(names::kProgressTitle));
    }
    // Time stamps carry two-digit years, read as 2000 to 2099: the pickers keep to those years,
    // and the same-day rule on the last day of 2099 keeps the end within it.
    void deletionDialogKeepsToTheCentury()
    {
        test::ModalScript script({[&](QWidget* modal) {
            auto* d = qobject_cast<DialogSC*>(modal);
            QVERIFY(d);
            d->Date_起始->setDate(QDate(1999, 12, 31));
            QCOMPARE(d->Date_起始->date(), QDate(2000, 1, 1));
            d->Date_截至->setDate(QDate(2100, 1, 1));
            QCOMPARE(d->Date_截至->date(), QDate(2099, 12, 31));
            d->Date_起始->setDate(QDate(2099, 12, 31));
            d->OKButton->click();
        }});
        DialogSC& dialog = form_->context().dialog<DialogSC>();
        QVERIFY(dialog.run());
        QCOMPARE(dialog.statements(),
                 QStringList{"DELETE FROM logtable WHERE AcTime>='99-12-31 00:00:00' AND "
                             "AcTime<='99-12-31 23:59:59'"});
    }
};

QTEST_MAIN(ArchiveWindow)
#include "test_archivewindow.moc"
