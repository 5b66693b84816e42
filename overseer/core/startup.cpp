#include "overseer/core/startup.h"

#include "common/installation.h"
#include "common/processes.h"
#include "common/sharedfiles.h"
#include "common/widgets/messages.h"
#include "common/windowdirectory.h"
#include "overseer/core/dialogak.h"
#include "overseer/core/formmain.h"
#include "overseer/core/logindialogs.h"

#include <QCoreApplication>

namespace lt::overseer
{

QList<CompanionFile> companionFiles()
{
    QList<CompanionFile> files;
    for (const char* name :
         {"LocalPort.txt", "TQProgress.exe", "logkeeper.exe", "qmlxsn.exe", "qmlxblock.exe"}) {
        const QString file = QString::fromLatin1(name);
        files.append({file, QStringLiteral("文件 ") + file + QStringLiteral(" 丢失")});
    }
    return files;
}

QString lookUpInAppDir(const QString& appDir, const QString& name)
{
    const QString path = appDir + QLatin1Char('/') + name;
    if (name.endsWith(QStringLiteral(".exe"), Qt::CaseInsensitive))
        return proc::resolveExecutable(path);
    return resolveFileName(path);
}

std::optional<QString> missingCompanionMessage(const QString& appDir)
{
    for (const CompanionFile& file : companionFiles()) {
        if (lookUpInAppDir(appDir, file.name).isEmpty())
            return file.missingMessage;
    }
    return std::nullopt;
}

void startModules(const QString& appDir, const QString& adapter)
{
    if (!win::findWindow(kAnalyserTitle)) {
        const QStringList arguments = {QStringLiteral("-i"), adapter};
        proc::startProgram(appDir + QStringLiteral("/qmlxblock.EXE"), arguments,
                           proc::Show::Hidden);
        proc::startProgram(appDir + QStringLiteral("/qmlxsn.EXE"), arguments, proc::Show::Hidden);
    }
    const bool keeperRuns = win::findWindow(kKeeperTitle).has_value();
    QCoreApplication::processEvents();
    if (!keeperRuns)
        proc::startProgram(appDir + QStringLiteral("/logkeeper.EXE"), {}, proc::Show::Hidden);
}

namespace
{

bool login(FormMain& form)
{
    DialogDL& dialog = form.dialog<DialogDL>(QStringLiteral("DialogDL"));
    if (dialog.load())
        dialog.exec();
    else
        form.unload(&dialog);
    return form.LoginPassed;
}

// The first field of LocalPort.txt, or no value when the file cannot be opened.
std::optional<QString> readAdapterNumber(const QString& appDir)
{
    QString path = lookUpInAppDir(appDir, QStringLiteral("LocalPort.txt"));
    if (path.isEmpty())
        path = appDir + QStringLiteral("/LocalPort.txt");
    return readLocalPort(path);
}

} // namespace

bool runStartUp(FormMain& form)
{
    if (!login(form))
        return false;
    form.AppDir = Installation::appDir();
    form.ProgressExePath = form.AppDir + QStringLiteral("/TQProgress.exe");
    const std::optional<QString> adapter = readAdapterNumber(form.AppDir);
    if (!adapter) {
        ui::message(nullptr, QStringLiteral("LocalPort.txt文件丢失"));
        return false;
    }
    form.LocalPortText = *adapter;
    startModules(form.AppDir, form.LocalPortText);
    form.PageSize = 500;
    form.显示封面();
    return true;
}

} // namespace lt::overseer
