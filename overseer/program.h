#pragma once
// The console's root: it binds the toolbar keys, paging buttons, menu items and list events of
// the main window to the procedures of the views, and runs the console.

class QApplication;

namespace lt::overseer
{

class FormMain;

// Fills the main window's dispatch table.
void fillDispatch(FormMain& form);

// The whole run: previous-instance test, start-up, the main window until the console ends.
// Returns the process's exit code.
int runConsole(QApplication& app);

} // namespace lt::overseer
