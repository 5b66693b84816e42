#include "logkeeper/headless.h"

#include "common/installation.h"
#include "common/names.h"
#include "common/processes.h"
#include "common/windowdirectory.h"
#include "logkeeper/report.h"

#include <QCoreApplication>
#include <QTextStream>

namespace lt::keeper
{

HeadlessReporter::HeadlessReporter(Keeper& keeper, QTextStream& out, QObject* parent)
    : QObject(parent), keeper_(keeper), out_(out)
{
    connect(&keeper_, &Keeper::databaseStatusChanged, this, &HeadlessReporter::databaseChanged);
    connect(&keeper_, &Keeper::passFinished, this, &HeadlessReporter::passFinished);
    connect(&keeper_, &Keeper::watchdogTicked, this, &HeadlessReporter::watchdogTicked);
}

void HeadlessReporter::say(const QString& text)
{
    // The journal takes one entry per line.
    for (const QString& line : text.split(QLatin1Char('\n')))
        out_ << line << '\n';
    out_.flush();
}

void HeadlessReporter::databaseChanged()
{
    // "Connecting" and repeated "answers" would fill the journal every 15 seconds.
    if (keeper_.databaseStatus().state == DatabaseStatus::Connecting)
        return;
    const QString line = databaseLine(keeper_.databaseStatus());
    if (line != lastDatabase_)
        say(line);
    lastDatabase_ = line;
}

void HeadlessReporter::passFinished()
{
    if (keeper_.lastPass())
        say(passSummary(*keeper_.lastPass()));
}

void HeadlessReporter::watchdogTicked()
{
    const Watchdog::Tick& tick = keeper_.watchdog().lastTick();
    if (tick.skipped != skipAnnounced_)
        say(tick.skipped ? QStringLiteral(
                               "模块看护：LocalPort.txt 缺失、无法读取或没有网卡编号，暂不检查模块")
                         : QStringLiteral("模块看护：网卡编号 %1").arg(tick.adapter));
    skipAnnounced_ = tick.skipped;
    for (const QString& exe : tick.started)
        say(QStringLiteral("模块看护：已启动 %1 -i %2").arg(exe, tick.adapter));
    for (const QString& exe : tick.failed)
        say(QStringLiteral("模块看护：无法启动 %1").arg(exe));
    QSet<QString> services(tick.byService.begin(), tick.byService.end());
    for (const QString& exe : tick.byService) {
        if (!announcedServices_.contains(exe))
            say(QStringLiteral("模块看护：%1 由系统服务运行，不另行启动").arg(exe));
    }
    announcedServices_ = services;
}

int runHeadless()
{
    QTextStream out(stdout);
    const proc::InstanceLock instance(names::kKeeperProgram);
    if (!instance.acquired()) {
        out << QStringLiteral("logkeeper：已有一个数据库维护程序在运行，本程序退出\n");
        return 0;
    }
    Keeper keeper(Installation::appDir());
    HeadlessReporter reporter(keeper, out);
    const win::Registration registration(names::kKeeperTitle, false);
    proc::quitOnStopSignals(&keeper);
    out << QStringLiteral("logkeeper：无窗口运行，每天 03:00 清理日志表，每 10 "
                          "秒看护监测模块和阻断模块\n");
    out.flush();
    keeper.start();
    return QCoreApplication::exec();
}

} // namespace lt::keeper
