#include "logkeeper/watchdog.h"

#include "common/processes.h"
#include "common/sharedfiles.h"
#include "common/windowdirectory.h"

namespace lt::keeper
{

const Module& monitorModule()
{
    static const Module m{QStringLiteral("qmlxsn.EXE"), QStringLiteral("Lantrove-监测模块"),
                          QStringLiteral("监测模块")};
    return m;
}

const Module& blockerModule()
{
    static const Module m{QStringLiteral("qmlxblock.EXE"), QStringLiteral("Lantrove-阻断模块"),
                          QStringLiteral("阻断模块")};
    return m;
}

QStringList moduleArguments(const QString& adapterText)
{
    const QStringList words = adapterText.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (words.isEmpty())
        return {};
    return QStringList{QStringLiteral("-i")} + words;
}

Watchdog::Tick Watchdog::tick()
{
    Tick tick;
    // The name is written in lower case; the installation's file is LocalPort.txt.
    const QString path = resolveFileName(appDir_ + QStringLiteral("/localport.txt"));
    const std::optional<QString> adapter = path.isEmpty() ? std::nullopt : readLocalPort(path);
    const QStringList arguments = adapter ? moduleArguments(*adapter) : QStringList();
    if (arguments.isEmpty()) {
        tick.skipped = true;
        last_ = tick;
        return tick;
    }
    tick.adapter = arguments.mid(1).join(QLatin1Char(' '));
    for (const Module* module : {&monitorModule(), &blockerModule()}) {
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
