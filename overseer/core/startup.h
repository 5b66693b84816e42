#pragma once
// The console's way in: companion files, the login, the adapter number, the outside modules and
// the keeper started when their windows are absent, the cover.

#include <QList>
#include <QString>
#include <optional>

namespace lt::overseer
{

class FormMain;

struct CompanionFile {
    QString name;
    QString missingMessage;
};

// The five files the console needs beside it, in the order they are checked.
QList<CompanionFile> companionFiles();
// The file of the application directory that the name means (looked up as the system names its
// files: without regard to case, ".exe" optional); empty when there is none.
QString lookUpInAppDir(const QString& appDir, const QString& name);
// The message for the first companion file missing from appDir, if any.
std::optional<QString> missingCompanionMessage(const QString& appDir);

// Unless the content analyser's window exists, starts the blocking and then the monitor module
// ("-i" and the adapter number), each only when its own window is absent; then the keeper
// unless its window exists. Hidden, without waiting.
void startModules(const QString& appDir, const QString& adapter);

// When the modules start: at once, or just after the cover is first painted. They are programs
// of their own whose start-up takes the machine's cores for a moment; the console shows its
// window first.
enum class ModuleStart { Now, AfterCover };

// Everything from the login dialog to the cover. False when the console is to end at once (the
// login was refused or cancelled, or LocalPort.txt cannot be read); the reason has been shown.
bool runStartUp(FormMain& form, ModuleStart when = ModuleStart::Now);

} // namespace lt::overseer
