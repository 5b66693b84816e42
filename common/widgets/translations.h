#pragma once
// Qt's own texts in Simplified Chinese: the file and print dialogs, the standard buttons, the
// context menus of edit boxes, the calendar of the date pickers. The programs speak Chinese
// whatever the system's language, so the catalogue is chosen here rather than by the locale.
//
// Qt's catalogue (Debian's qt6-translations-l10n, in Qt's translations directory) leaves a few
// texts untranslated that our users meet, such as the file dialog's "Folder"; a small table of
// our own fills those gaps.

#include <QString>

class QCoreApplication;

namespace lt::ui
{

// Installs Qt's Simplified Chinese catalogue and our table of its gaps, and makes Chinese
// (China) the default locale of the widgets. False when Qt's catalogue was not found (the table
// of gaps is installed all the same).
bool installChineseTranslations(QCoreApplication& app);

// Where Qt's catalogue is looked for, and its file name there.
QString qtCatalogueDirectory();
inline const QString kQtCatalogue = QStringLiteral("qtbase_zh_CN");

} // namespace lt::ui
