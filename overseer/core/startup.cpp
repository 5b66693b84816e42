#include "overseer/core/startup.h"

#include "common/installation.h"
#include "common/names.h"
#include "common/processes.h"
#include "common/sharedfiles.h"
#include "common/widgets/messages.h"
#include "common/windowdirectory.h"
#include "overseer/core/formmain.h"
#include "overseer/core/logindialogs.h"
#include "overseer/core/picturebox.h"

#include <QEvent>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <functional>
#include <utility>

namespace lt::overseer
{

QList<CompanionFile> companionFiles()
{
    QList<CompanionFile> files;
    for (const QString& file : {QStringLiteral("LocalPort.txt"), names::kProgressExe,
                                names::kKeeperExe, names::kMonitorExe, names::kBlockerExe})
        files.append({file, QStringLiteral("文件 ") + file + QStringLiteral(" 丢失")});
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
    const QList<win::WindowInfo> running = win::windows();
    const auto present = [&running](const QString& title) {
        return std::any_of(running.begin(), running.end(),
                           [&title](const win::WindowInfo& w) { return w.title == title; });
    };
    if (!present(names::kAnalyserTitle)) {
        // Each module only when its own window is absent, as the keeper's watchdog does: a
        // console started again while the modules run must not start a second pair.
        const QStringList arguments = proc::moduleArguments(adapter);
        for (const auto& [exe, title] :
             {std::pair{names::kBlockerStartExe, names::kBlockerTitle},
              std::pair{names::kMonitorStartExe, names::kMonitorTitle}}) {
            if (!present(title) && !proc::runByService(exe))
                proc::startProgram(appDir + QLatin1Char('/') + exe, arguments, proc::Show::Hidden);
        }
    }
    const bool keeperRuns = present(names::kKeeperTitle);
    if (!keeperRuns)
        proc::startProgram(appDir + QLatin1Char('/') + names::kKeeperStartExe, {},
                           proc::Show::Hidden);
}

namespace
{

bool login(FormMain& form)
{
    ConsoleContext& context = form.context();
    DialogDL& dialog = context.dialog<DialogDL>(QStringLiteral("DialogDL"));
    if (dialog.load()) {
        // While the administrator types: the window made ready, so that after the login it
        // only has to be shown.
        QTimer::singleShot(0, &form, [&form] { form.prepareFirstShow(); });
        dialog.exec();
    } else {
        context.unload(&dialog);
    }
    return context.LoginPassed;
}

// The first field of LocalPort.txt, or no value when the file cannot be opened.
std::optional<QString> readAdapterNumber(const QString& appDir)
{
    QString path = lookUpInAppDir(appDir, QStringLiteral("LocalPort.txt"));
    if (path.isEmpty())
        path = appDir + QStringLiteral("/LocalPort.txt");
    return readLocalPort(path);
}

// Runs `start` once, just after the first paint of `cover` (or after a while, should the
// window never be painted).
class AfterFirstPaint : public QObject
{
public:
    AfterFirstPaint(QWidget* cover, std::function<void()> start)
        : QObject(cover), start_(std::move(start))
    {
        cover->installEventFilter(this);
        QTimer::singleShot(kLatestMs, this, [this] { run(); });
    }
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            QTimer::singleShot(0, this, [this] { run(); });
        return false;
    }

private:
    static constexpr int kLatestMs = 500;
    void run()
    {
        if (!start_)
            return;
        std::exchange(start_, {})();
        deleteLater();
    }
    std::function<void()> start_;
};

} // namespace

bool runStartUp(FormMain& form, ModuleStart when)
{
    if (!login(form))
        return false;
    ConsoleContext& context = form.context();
    context.AppDir = Installation::appDir();
    context.ProgressExePath = context.AppDir + QLatin1Char('/') + names::kProgressExe;
    const std::optional<QString> adapter = readAdapterNumber(context.AppDir);
    if (!adapter) {
        ui::message(nullptr, QStringLiteral("LocalPort.txt文件丢失"));
        return false;
    }
    context.LocalPortText = *adapter;
    if (when == ModuleStart::Now)
        startModules(context.AppDir, context.LocalPortText);
    else
        new AfterFirstPaint(form.findChild<QWidget*>(QStringLiteral("Picture_Face")),
                            [appDir = context.AppDir, adapter = context.LocalPortText] {
                                startModules(appDir, adapter);
                            });
    context.PageSize = 500;
    form.显示封面();
    return true;
}

} // namespace lt::overseer
