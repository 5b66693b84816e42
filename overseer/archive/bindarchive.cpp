#include "common/beside.h"
#include "common/odbc.h"
#include "common/widgets/messages.h"
#include "overseer/archive/archivedialogs.h"
#include "overseer/archive/filedialogs.h"
#include "overseer/core/commands.h"
#include "overseer/core/dialogak.h"
#include "overseer/core/formmain.h"

#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QRadioButton>
#include <QTimer>

namespace lt::overseer
{

namespace
{

constexpr int kProgressIntervalMs = 100;

struct RestoreJob {
    std::atomic<qint64> done{0};
    std::atomic<qint64> total{0};
    archive::RestoreOutcome outcome;
};

void exclaim(QWidget* parent, const QString& text)
{
    ui::message(parent, text, ui::Icon::Exclamation);
}

// Runs a restore beside the dialog; its progress on the dialog's bar when it has one to show.
void runRestore(DialogAK& dialog, const QString& connection, const QString& path, bool logFile)
{
    auto job = std::make_shared<RestoreJob>();
    QPointer<DialogAK> d(&dialog);
    auto* timer = new QTimer(&dialog);
    if (logFile) {
        dialog.Label1->show();
        dialog.ProgressBar1->setValue(0);
        dialog.ProgressBar1->show();
        QObject::connect(timer, &QTimer::timeout, &dialog, [d, job] {
            d->ProgressBar1->setMaximum(int(std::min<qint64>(job->total.load(), INT_MAX)));
            d->ProgressBar1->setValue(int(std::min<qint64>(job->done.load(), INT_MAX)));
        });
        timer->start(kProgressIntervalMs);
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    runBeside(
        &dialog,
        [job, connection, path, logFile] {
            db::Connection c;
            if (!archive::openJobConnection(c, connection)) {
                job->outcome.message = QStringLiteral("无法连接数据库。") + c.lastError().message;
                return;
            }
            job->outcome = logFile ? archive::restoreLog(c, path,
                                                         [&job](qint64 done, qint64 total) {
                                                             job->total = total;
                                                             job->done = done;
                                                         })
                                   : archive::restoreConfig(c, path);
        },
        [d, job, timer, logFile] {
            QApplication::restoreOverrideCursor();
            timer->stop();
            d->Label1->hide();
            d->ProgressBar1->hide();
            const archive::RestoreOutcome& out = job->outcome;
            if (out.status != archive::RestoreOutcome::Done)
                exclaim(d, out.message);
            else
                exclaim(d, logFile ? archive::logRestoredMessage(out)
                                   : QStringLiteral("配置数据恢复完毕"));
            d->restoreFinished();
        });
}

} // namespace

void 恢复日志文件(FormMain& form, DialogAK& dialog)
{
    const QString path = archive::askFile(&dialog, archive::openBackupRequest());
    if (path.isEmpty()) {
        dialog.restoreFinished();
        return;
    }
    runRestore(dialog, archive::logConnectionString(form.context()), path, true);
}

void 恢复终端设置(FormMain& form, DialogAK& dialog)
{
    const QString path = archive::askFile(&dialog, archive::openConfigRequest());
    if (path.isEmpty()) {
        dialog.restoreFinished();
        return;
    }
    runRestore(dialog, archive::configConnectionString(form.context()), path, false);
}

void 日志导出函数(FormMain& form)
{
    form.context().dialog<FormSave>().run();
}

void 数据恢复函数(FormMain& form)
{
    form.context().dialog<DialogAK>().AskReset([&form](DialogAK& dialog) {
        if (dialog.Option1->isChecked())
            恢复日志文件(form, dialog);
        else
            恢复终端设置(form, dialog);
    });
}

void 删除日志函数(FormMain& form)
{
    DialogSC& dialog = form.context().dialog<DialogSC>();
    if (!dialog.run())
        return;
    const QStringList statements = dialog.statements();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    auto notice = std::make_shared<ProgressNotice>();
    notice->start(form.context().ProgressExePath, QStringLiteral("删除"));
    auto outcome = std::make_shared<archive::DeletionOutcome>();
    const QString connection = archive::logConnectionString(form.context());
    runBeside(
        &form,
        [outcome, connection, statements] {
            db::Connection c;
            if (!archive::openJobConnection(c, connection)) {
                outcome->message = QStringLiteral("无法连接数据库。") + c.lastError().message;
                return;
            }
            *outcome = archive::deleteLogs(c, statements);
        },
        [&form, notice, outcome] {
            notice->close();
            QApplication::restoreOverrideCursor();
            if (!outcome->ok)
                exclaim(&form, outcome->message);
        });
}

void bindArchive(FormMain& form)
{
    Dispatch& d = form.dispatch();
    d.onKey(key::日志导出, [&form] { 日志导出函数(form); });
    d.onKey(key::恢复设置, [&form] { 数据恢复函数(form); });
    d.onKey(key::删除日志, [&form] { 删除日志函数(form); });
}

} // namespace lt::overseer
