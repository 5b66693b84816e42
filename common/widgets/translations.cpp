#include "common/widgets/translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <cstring>

namespace lt::ui
{

namespace
{

struct Gap {
    const char* context;
    const char* source;
    const char* text;
};

// Texts Qt's Simplified Chinese catalogue lacks, by Qt's context and source text: the kinds
// the file dialog lists in its "类型" column (Qt 6 moved them to a context the catalogue of
// Qt 6.4 does not have yet).
const Gap kGaps[] = {
    {"QAbstractFileIconProvider", "Folder", "文件夹"},
    {"QAbstractFileIconProvider", "File", "文件"},
    {"QAbstractFileIconProvider", "Drive", "驱动器"},
    {"QAbstractFileIconProvider", "Shortcut", "快捷方式"},
    {"QAbstractFileIconProvider", "Unknown", "未知"},
};

class GapTranslator : public QTranslator
{
public:
    using QTranslator::QTranslator;
    bool isEmpty() const override { return false; }
    QString translate(const char* context, const char* source, const char* disambiguation,
                      int n) const override
    {
        Q_UNUSED(disambiguation);
        Q_UNUSED(n);
        if (!context || !source)
            return {};
        for (const Gap& gap : kGaps) {
            if (std::strcmp(gap.context, context) == 0 && std::strcmp(gap.source, source) == 0)
                return QString::fromUtf8(gap.text);
        }
        return {};
    }
};

} // namespace

QString qtCatalogueDirectory()
{
    return QLibraryInfo::path(QLibraryInfo::TranslationsPath);
}

bool installChineseTranslations(QCoreApplication& app)
{
    QLocale::setDefault(
        QLocale(QLocale::Chinese, QLocale::SimplifiedChineseScript, QLocale::China));
    // Installed first, so that Qt's catalogue, searched before it, wins where both know a text.
    app.installTranslator(new GapTranslator(&app));
    auto* qt = new QTranslator(&app);
    if (!qt->load(kQtCatalogue, qtCatalogueDirectory())) {
        delete qt;
        return false;
    }
    app.installTranslator(qt);
    return true;
}

} // namespace lt::ui
