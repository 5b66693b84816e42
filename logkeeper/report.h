#pragma once
// How the keeper words what it has done, in its window and on the command line.

#include "logkeeper/pruning.h"

#include <QStringList>

namespace lt::keeper
{

class Watchdog;
struct DatabaseStatus;

// One line per step: "浏览日志（LogTable）：共 250000 行，删除 50001 行（截至 26-11-01 13:53:20）".
QString stageLine(const QString& caption, const StageResult& result);
// The four steps of a pass in their order, one line each.
QStringList passLines(const PassReport& report);
// "3.2 秒": a pass's duration, to a tenth of a second.
QString durationText(qint64 ms);
// "上次清理：26-11-08 03:00:04，用时 3.2 秒" and the lines of the steps.
QString passSummary(const PassReport& report);
// "数据库：正在连接……", "数据库：连接正常" or what failed, per database.
QString databaseLine(const DatabaseStatus& status);
// The modules' starts since the keeper began, and what the last tick found.
QString modulesSummary(const Watchdog& watchdog);

} // namespace lt::keeper
