#include "common/widgets/guiapp.h"

#include "common/installation.h"
#include "common/widgets/translations.h"

#include <QApplication>
#include <QFont>
#include <QFontDatabase>

namespace lt::ui
{

namespace
{

// Fonts of Debian's fonts-noto-cjk and fonts-wqy-microhei, in order of preference.
const char* const kChineseFamilies[] = {"Noto Sans CJK SC", "WenQuanYi Micro Hei"};

QString& storedTitle()
{
    static QString title;
    return title;
}

} // namespace

QString programTitle()
{
    return storedTitle().isEmpty() ? QGuiApplication::applicationDisplayName() : storedTitle();
}

void setProgramTitle(const QString& title)
{
    storedTitle() = title;
}

void prepareApplication(QApplication& app, const char* name, const QString& title)
{
    Installation::initialiseProcess();
    QCoreApplication::setApplicationName(QString::fromUtf8(name));
    setProgramTitle(title);
    if (!installChineseTranslations(app))
        qWarning("Qt's Chinese texts (%s.qm) not found in %s: Qt's dialogs will speak English",
                 qPrintable(kQtCatalogue), qPrintable(qtCatalogueDirectory()));

    const QStringList installed = QFontDatabase::families();
    QStringList families;
    for (const char* family : kChineseFamilies) {
        if (installed.contains(QString::fromUtf8(family)))
            families.append(QString::fromUtf8(family));
    }
    if (families.isEmpty())
        return; // the system's default font has to do
    QFont font = app.font();
    font.setFamilies(families);
    app.setFont(font);
}

} // namespace lt::ui
