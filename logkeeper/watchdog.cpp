#include "logkeeper/watchdog.h"

#include "common/names.h"
#include "common/processes.h"
#include "common/sharedfiles.h"
#include "common/windowdirectory.h"

namespace lt::keeper
{

const Module& monitorModule()
{
    static const Module m{names::kMonitorStartExe, names::kMonitorTitle,
                          QStringLiteral("监测模块")};
    return m;
}

const Module& blockerModule()
{
    static const Module m{names::kBlockerStartExe, names::kBlockerTitle,
                          QStringLiteral("阻断模块")};
    return m;
}

Watchdog::Tick Watchdog::tick()
{
    Tick tick;
    // The name is written in lower case; the installation's file is LocalPort.txt.
    const QString path = resolveFileName(appDir_ + QStringLiteral("/localport.txt"));
    const std::optional<QString> adapter = path.isEmpty() ? std::nullopt : readLocalPort(path);
    const QStringList arguments = adapter ? proc::moduleArguments(*adapter) : QStringList();
    // Without an adapter number a module could only fail; the tick is skipped.
    if (arguments.size() < 2) {
        tick.skipped = true;
        last_ = tick;
        return tick;
    }
    tick.adapter = arguments.mid(1).join(QLatin1Char(' '));
    for (const Module* module : {&monitorModule(), &blockerModule()}) {
        if (proc::runByService(module->exeName)) {
            tick.byService.append(module->exeName);
            continue;
        }
        if (win::findWindow(module->title))
            continue;
        const bool ok = proc::startProgram(appDir_ + QLatin1Char('/') + module->exeName, arguments,
                                           proc::Show::Hidden);
        (ok ? tick.started : tick.failed).append(module->exeName);
        ++(ok ? starts_ : failures_)[index(*module)];
    }
    last_ = tick;
    return tick;
}

int Watchdog::index(const Module& module) const
{
    return &module == &monitorModule() ? 0 : 1;
}

int Watchdog::starts(const Module& module) const
{
    return starts_[index(module)];
}

int Watchdog::failures(const Module& module) const
{
    return failures_[index(module)];
}

} // namespace lt::keeper
