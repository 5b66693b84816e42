#pragma once
// The console's archive windows: the export window FormSave ("Lantrove系统"), the restore use of
// the quit dialog, the date-range deletion dialog DialogSC ("日志删除条件"), and the procedures
// the toolbar keys "日志导出", "恢复设置" and "删除日志" run. The work itself is done by the jobs
// (archivejobs.h) on a thread of their own with a connection of their own, so the window stays
// responsive and "取消" stops an export within a moment.

#include "overseer/archive/archivejobs.h"
#include "overseer/core/dialogbase.h"
#include "overseer/core/progressnotice.h"

#include <QTimer>
#include <atomic>
#include <memory>

class QCheckBox;
class QDateEdit;
class QGroupBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTimeEdit;

namespace lt::overseer
{

class DialogAK;
class ConsoleContext;
class FormMain;

namespace archive
{
// The connection strings the jobs open: those of the console's connections, or the data
// sources' own when the console has none open.
QString logConnectionString(const ConsoleContext& context);
QString configConnectionString(const ConsoleContext& context);
} // namespace archive

class FormSave : public DialogBase
{
    Q_OBJECT
public:
    static constexpr char kName[] = "FormSave";
    explicit FormSave(ConsoleContext& context);
    ~FormSave() override;

    QGroupBox* Frame1;
    QRadioButton* Option1[4]; // object names Option1_0 to Option1_3
    QPushButton* Command_OK;
    QPushButton* cmdCancel;
    QLabel* Label1;
    QProgressBar* ProgressBar1;

    int selectedIndex() const { return selected_; }
    // The current record of a running export; 0 when idle.
    qint64 recordNumber() const { return running_ ? std::max<qint64>(1, job_->done.load()) : 0; }
    bool busy() const { return running_; }

    void Option1_Click(int index);
    void Command_OK_Click();
    void cmdCancel_Click();
    void reject() override; // while an export runs, Escape and the close box ask it to stop

signals:
    void idle(); // an export (and its clearing) has ended

private:
    struct Job {
        std::atomic<bool> stop{false};
        std::atomic<qint64> done{0};
        std::atomic<qint64> total{0};
        archive::ExportOutcome outcome;
        archive::ConfigExportOutcome config;
        archive::ClearOutcome clear;
    };
    void exportLog(archive::ExportKind kind, const QString& path);
    void exportConfig(const QString& path);
    void showProgress();
    void logExportEnded(archive::ExportKind kind);
    void askClearing(archive::ExportKind kind);
    void setBusy(bool busy);

    int selected_ = 0;
    bool running_ = false;
    std::shared_ptr<Job> job_;
    ProgressNotice notice_;
    QTimer progressTimer_;
};

class DialogSC : public DialogBase
{
    Q_OBJECT
public:
    static constexpr char kName[] = "DialogSC";
    explicit DialogSC(ConsoleContext& context);

    QCheckBox* Check1;
    QCheckBox* Check2;
    QGroupBox* Frame1;
    QDateEdit* Date_起始;
    QTimeEdit* DTPickerT1;
    QGroupBox* Frame4;
    QDateEdit* Date_截至;
    QTimeEdit* DTPickerT2;
    QPushButton* OKButton;
    QPushButton* CancelButton;

    // The statements of the confirmed range (read after run() returned true).
    const QStringList& statements() const { return statements_; }

    void Check_Click();
    void OKButton_Click();

private:
    QStringList statements_;
};

// The procedures of the toolbar keys.
void 日志导出函数(FormMain& form);
void 数据恢复函数(FormMain& form);
void 删除日志函数(FormMain& form);
// The two restores, run by "确定" of the quit dialog in its restore use.
void 恢复日志文件(FormMain& form, DialogAK& dialog);
void 恢复终端设置(FormMain& form, DialogAK& dialog);

// Creates nothing; binds the three keys in the dispatch of the main window.
void bindArchive(FormMain& form);

} // namespace lt::overseer
