#pragma once
// The console's root: the one place that knows every view. It creates the views, binds the
// toolbar keys and the cover's "登录" menu, and runs the console.

#include "overseer/core/commands.h"

#include <QList>
#include <QString>

class QApplication;

namespace lt::overseer
{

class FormMain;
class AccessLogView;
class UploadLogView;

// Creates the views (owned by the main window) and fills the dispatch table.
void fillDispatch(FormMain& form);

// The views created by fillDispatch.
AccessLogView* accessLogView(FormMain& form);
UploadLogView* uploadLogView(FormMain& form);

// Keys and menu items whose views or dialogs come later (statistics, printing, administration,
// archive); everything else has a handler.
QList<QString> pendingKeys();
QList<MenuItem> pendingMenuItems();

// The whole run: previous-instance test, start-up, the main window until the console ends.
// Returns the process's exit code.
int runConsole(QApplication& app);

} // namespace lt::overseer
