#include "common/beside.h"
#include "common/datasources.h"
#include "common/dbmessages.h"
#include "common/odbc.h"
#include "common/widgets/dialogform.h"
#include "common/widgets/messages.h"
#include "overseer/archive/archivedialogs.h"
#include "overseer/archive/filedialogs.h"
#include "overseer/core/consolecontext.h"

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace lt::overseer
{

using archive::ExportKind;
using archive::ExportOutcome;

namespace archive
{

QString logConnectionString(const ConsoleContext& context)
{
    const QString opened = context.logConnectionString();
    return opened.isEmpty() ? dsn::chosenConnectionStrings().log : opened;
}

QString configConnectionString(const ConsoleContext& context)
{
    const QString opened = context.configConnectionString();
    return opened.isEmpty() ? dsn::chosenConnectionStrings().config : opened;
}

} // namespace archive

namespace
{

// How often the progress bar follows a running export.
constexpr int kProgressIntervalMs = 100;

void exclaim(QWidget* parent, const QString& text)
{
    ui::message(parent, text, ui::Icon::Exclamation);
}

QString unreachable(const db::Connection& c)
{
    return QStringLiteral("无法连接数据库。") + db::describeFailure(c.lastError());
}

} // namespace

FormSave::FormSave(ConsoleContext& context) : DialogBase(context)
{
    setWindowTitle(QStringLiteral("Lantrove系统"));
    Frame1 = new QGroupBox(QStringLiteral("选择导出数据"), this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    auto* options = new QVBoxLayout(Frame1);
    const QString captions[4] = {QStringLiteral("浏览日志"), QStringLiteral("上传日志"),
                                 QStringLiteral("配置数据"), QStringLiteral("日志备份")};
    for (int i = 0; i < 4; ++i) {
        Option1[i] = new QRadioButton(captions[i], Frame1);
        Option1[i]->setObjectName(QStringLiteral("Option1_%1").arg(i));
        options->addWidget(Option1[i]);
        connect(Option1[i], &QRadioButton::toggled, this, [this, i](bool on) {
            if (on)
                Option1_Click(i);
        });
    }
    Option1[0]->setChecked(true);
    Label1 = new QLabel(QStringLiteral("正在保存文件，请稍等．．"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->hide();
    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->hide();
    Command_OK = ui::makeButton(this, QStringLiteral("确定"), QStringLiteral("Command_OK"), true);
    cmdCancel = ui::makeButton(this, QStringLiteral("取消"), QStringLiteral("cmdCancel"));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 16, 20, 14);
    layout->addWidget(Frame1);
    layout->addWidget(Label1);
    layout->addWidget(ProgressBar1);
    layout->addLayout(ui::buttonRow({Command_OK, cmdCancel}));
    setMinimumWidth(340);

    connect(Command_OK, &QPushButton::clicked, this, &FormSave::Command_OK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &FormSave::cmdCancel_Click);
    connect(&progressTimer_, &QTimer::timeout, this, &FormSave::showProgress);
}

FormSave::~FormSave()
{
    if (job_)
        job_->stop = true;
}

void FormSave::Option1_Click(int index)
{
    selected_ = index;
}

void FormSave::Command_OK_Click()
{
    if (running_)
        return;
    const auto kind = ExportKind(selected_);
    const QString path = archive::askFile(this, archive::saveRequest(kind));
    if (path.isEmpty())
        return;
    if (kind == ExportKind::Config)
        exportConfig(path);
    else
        exportLog(kind, path);
}

void FormSave::cmdCancel_Click()
{
    if (running_)
        job_->stop = true;
    else
        cancel();
}

void FormSave::reject()
{
    if (running_)
        job_->stop = true;
    else
        DialogBase::reject();
}

void FormSave::setBusy(bool busy)
{
    if (busy == running_)
        return;
    running_ = busy;
    Command_OK->setEnabled(!busy);
    if (busy)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
    if (!busy)
        emit idle();
}

void FormSave::exportLog(ExportKind kind, const QString& path)
{
    job_ = std::make_shared<Job>();
    setBusy(true);
    notice_.start(context().ProgressExePath, QStringLiteral("提取"));
    const QString connection = archive::logConnectionString(context());
    const std::shared_ptr<Job> job = job_;
    runBeside(
        this,
        [job, connection, kind, path] {
            db::Connection c;
            if (!archive::openJobConnection(c, connection)) {
                job->outcome.message = unreachable(c);
                return;
            }
            job->outcome = archive::exportLog(
                c, kind, path,
                [&job](qint64 done, qint64 total) {
                    job->total = total;
                    job->done = done;
                },
                &job->stop);
        },
        [this, kind] { logExportEnded(kind); });
    progressTimer_.start(kProgressIntervalMs);
}

void FormSave::showProgress()
{
    if (!job_ || job_->total.load() == 0)
        return;
    if (notice_.running())
        notice_.close(); // the count is in: the window's own progress takes over
    Label1->show();
    ProgressBar1->show();
    ProgressBar1->setMaximum(int(std::min<qint64>(job_->total.load(), INT_MAX)));
    ProgressBar1->setValue(int(std::min<qint64>(job_->done.load(), INT_MAX)));
    notice_.progress(job_->done.load(), job_->total.load());
}

void FormSave::logExportEnded(ExportKind kind)
{
    progressTimer_.stop();
    notice_.close();
    Label1->hide();
    ProgressBar1->hide();
    // Back to its own height: the band the progress took goes with it.
    layout()->activate();
    resize(width(), sizeHint().height());
    const ExportOutcome& out = job_->outcome;
    switch (out.status) {
    case ExportOutcome::Done:
        exclaim(this, archive::doneMessage(kind));
        if (kind != ExportKind::LogBackup) {
            askClearing(kind);
            return;
        }
        break;
    case ExportOutcome::NoRows:
        exclaim(this, archive::noRowsMessage(kind));
        break;
    default:
        exclaim(this, out.message);
        break;
    }
    setBusy(false);
}

void FormSave::askClearing(ExportKind kind)
{
    if (ui::message(this, archive::clearQuestion(kind), ui::Icon::Exclamation, ui::Buttons::YesNo,
                    ui::Answer::No) != ui::Answer::Yes) {
        setBusy(false);
        return;
    }
    notice_.start(context().ProgressExePath, QStringLiteral("删除"));
    const QString connection = archive::logConnectionString(context());
    const std::shared_ptr<Job> job = job_;
    runBeside(
        this,
        [job, connection, kind] {
            db::Connection c;
            if (!archive::openJobConnection(c, connection)) {
                job->clear.message = unreachable(c);
                return;
            }
            job->clear = archive::clearExported(c, kind, job->outcome.exported);
        },
        [this, kind] {
            notice_.close();
            exclaim(this, job_->clear.ok ? archive::clearedMessage(kind) : job_->clear.message);
            setBusy(false);
        });
}

void FormSave::exportConfig(const QString& path)
{
    job_ = std::make_shared<Job>();
    setBusy(true);
    const QString connection = archive::configConnectionString(context());
    const std::shared_ptr<Job> job = job_;
    runBeside(
        this,
        [job, connection, path] {
            db::Connection c;
            if (!archive::openJobConnection(c, connection)) {
                job->config.message = unreachable(c);
                return;
            }
            job->config = archive::exportConfig(c, path);
        },
        [this] {
            exclaim(this, job_->config.ok ? archive::configExportedMessage(job_->config)
                                          : job_->config.message);
            setBusy(false);
        });
}

} // namespace lt::overseer
