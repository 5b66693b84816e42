// Stand-in for the progress notice: a small window that says what the system is doing while a
// long operation runs; the caller closes it by its title when the work is done.

#include "common/names.h"
#include "common/widgets/guiapp.h"
#include "outside/standin.h"

#include <QApplication>

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
    return window.run(app);
}
