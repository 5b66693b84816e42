#pragma once
// The names by which the programs of an installation find one another, in one place: the titles
// of their top-level windows (looked up by exact title in the window directory), the title that
// tells the content analyser to end, and the executable names they are started, checked for
// and stopped by. Executable names are matched without regard to case and with or without
// ".exe", so "qmlxblock.EXE" and "qmlxblock.exe" name the same program; each is spelt here as
// the place that uses it spells it (the start commands end in ".EXE").

#include <QString>

namespace lt::names
{

// Window titles.
inline const QString kBlockerTitle = QStringLiteral("Lantrove-阻断模块");
inline const QString kMonitorTitle = QStringLiteral("Lantrove-监测模块");
inline const QString kAnalyserTitle = QStringLiteral("Lantrove之内容分析器");
inline const QString kFilterTitle = QStringLiteral("IEFilterGet");
inline const QString kKeeperTitle = QStringLiteral("Lantrove系统——数据库维护");
inline const QString kProgressTitle = QStringLiteral("Lantrove系统提示");
inline const QString kConsoleTitle = QStringLiteral("Lantrove系统");
inline const QString kConsoleLoginTitle = QStringLiteral("登录Lantrove系统");
// The content analyser ends when another program gives its window this title.
inline const QString kExitTitle = QStringLiteral("ExitMyProc");

// Executables as they are checked for and stopped.
inline const QString kKeeperExe = QStringLiteral("logkeeper.exe");
inline const QString kMonitorExe = QStringLiteral("qmlxsn.exe");
inline const QString kBlockerExe = QStringLiteral("qmlxblock.exe");
inline const QString kProgressExe = QStringLiteral("TQProgress.exe");
// Executables as the start commands spell them.
inline const QString kKeeperStartExe = QStringLiteral("logkeeper.EXE");
inline const QString kMonitorStartExe = QStringLiteral("qmlxsn.EXE");
inline const QString kBlockerStartExe = QStringLiteral("qmlxblock.EXE");

// In the environment of the progress notice: "x,y", the screen point (device-independent
// pixels) its window is centred on, the middle of the console's main window.
inline const char kNoticeCentreVariable[] = "LANTROVE_NOTICE_CENTRE";

// Program names of the previous-instance locks.
inline const QString kConsoleProgram = QStringLiteral("overseer");
inline const QString kKeeperProgram = QStringLiteral("logkeeper");

} // namespace lt::names
