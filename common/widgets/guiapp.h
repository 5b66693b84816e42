#pragma once
// Common start of the window programs: installation, a font that renders Chinese captions, Qt's
// own texts in Chinese (common/widgets/translations.h), and the program's own title.
//
// The title is kept here and not as Qt's application display name: Qt appends the display
// name to every window caption the window system shows (" — Lantrove系统" on X11), and every
// caption has to read exactly as the program sets it.

#include <QString>

class QApplication;

namespace lt::ui
{

void prepareApplication(QApplication& app, const char* name, const QString& programTitle = {});

// The title of the program's message and input boxes: the one given to prepareApplication or
// setProgramTitle; without one, Qt's application display name.
QString programTitle();
void setProgramTitle(const QString& title);

} // namespace lt::ui
