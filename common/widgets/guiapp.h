#pragma once
// Common start of the window programs: installation, a font that renders Chinese captions.

class QApplication;

namespace lt::ui {

void prepareApplication(QApplication& app, const char* name);

} // namespace lt::ui
