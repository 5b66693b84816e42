// Stand-in for the progress notice: a small window that says what the system is doing while a
// long operation runs; the caller closes it by its title when the work is done.

#include "common/names.h"
#include "common/widgets/guiapp.h"
#include "outside/standin.h"

#include <QApplication>
#include <QScreen>
#include <optional>

namespace
{

QString activity(const QStringList& words)
{
    const QString word = words.value(0).trimmed();
    if (word == QStringLiteral("提取"))
        return QStringLiteral("正在提取数据，请稍候……");
    if (word == QStringLiteral("删除"))
        return QStringLiteral("正在删除数据，请稍候……");
    if (word == QStringLiteral("更新"))
        return QStringLiteral("正在更新数据，请稍候……");
    return QStringLiteral("正在处理，请稍候……");
}

// Where the caller asked the notice to be centred (over its main window); none when it did not.
std::optional<QPoint> askedCentre()
{
    const QList<QByteArray> xy = qgetenv(lt::names::kNoticeCentreVariable).split(',');
    bool okX = false, okY = false;
    const int x = xy.value(0).trimmed().toInt(&okX);
    const int y = xy.value(1).trimmed().toInt(&okY);
    if (xy.size() != 2 || !okX || !okY)
        return std::nullopt;
    return QPoint(x, y);
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    lt::ui::prepareApplication(app, "TQProgress");
    const QString help =
        lt::outside::helpText(QStringLiteral("TQProgress"), QStringLiteral("进度提示程序"),
                              QStringLiteral("提取|删除|更新"));
    const lt::outside::Arguments args = lt::outside::parseArguments(app.arguments(), help);

    lt::outside::StandInWindow window(lt::names::kProgressTitle, QStringLiteral("系统提示"));
    window.setStatus(activity(args.words));
    window.addBusyBar();
    // Over the caller's window rather than wherever the window manager puts a new window
    // (the screen's corner, over the caller's caption); centred on the screen when not asked.
    window.adjustSize();
    QRect frame(QPoint(), window.size());
    if (const auto centre = askedCentre())
        frame.moveCenter(*centre);
    else if (const QScreen* screen = QGuiApplication::primaryScreen())
        frame.moveCenter(screen->availableGeometry().center());
    window.move(frame.topLeft());
    return window.run(app);
}
