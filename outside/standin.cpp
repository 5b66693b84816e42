#include "outside/standin.h"

#include "common/netinfo.h"
#include "common/processes.h"
#include "common/widgets/windowregistration.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QProgressBar>
#include <QTextStream>
#include <QVBoxLayout>
#include <cstdio>

namespace lt::outside
{

StandInWindow::StandInWindow(const QString& title, const QString& heading, QWidget* parent)
    : QWidget(parent), status_(new QLabel(this))
{
    setWindowTitle(title);
    auto* layout = new QVBoxLayout(this);
    auto* headingLabel = new QLabel(heading, this);
    QFont bold = headingLabel->font();
    bold.setBold(true);
    headingLabel->setFont(bold);
    status_->setObjectName(QStringLiteral("Label_Status"));
    status_->setWordWrap(true);
    layout->addWidget(headingLabel);
    layout->addWidget(status_);
    setMinimumWidth(380);
}

void StandInWindow::setStatus(const QString& text)
{
    status_->setText(text);
}

QString StandInWindow::status() const
{
    return status_->text();
}

void StandInWindow::addBusyBar()
{
    auto* bar = new QProgressBar(this);
    bar->setObjectName(QStringLiteral("ProgressBar1"));
    bar->setRange(0, 0);
    bar->setTextVisible(false);
    layout()->addWidget(bar);
}

int StandInWindow::run(QApplication& app)
{
    // Shown before it registers, so that the window is never listed hidden when it is not.
    if (!proc::startedHidden())
        show();
    ui::registerWindow(this);
    return app.exec();
}

void StandInWindow::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::WindowTitleChange && !exitTitle_.isEmpty() &&
        windowTitle() == exitTitle_)
        QCoreApplication::quit();
    QWidget::changeEvent(event);
}

// Closing the window ends the program, also when the window was never shown.
void StandInWindow::closeEvent(QCloseEvent* event)
{
    event->accept();
    QCoreApplication::quit();
}

Arguments parseArguments(const QStringList& arguments, const QString& help)
{
    Arguments result;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& arg = arguments[i];
        if (arg == QLatin1String("-h") || arg == QLatin1String("--help") ||
            arg == QLatin1String("/?")) {
            QTextStream(stdout) << help << Qt::endl;
            std::exit(0);
        }
        if (arg == QLatin1String("-i") && i + 1 < arguments.size())
            result.adapter = arguments[++i].trimmed().toInt();
        else if (arg.startsWith(QLatin1String("-i")) && arg.size() > 2 && arg[2].isDigit())
            result.adapter = arg.mid(2).toInt();
        else if (arg == QLatin1String("--feed") && i + 1 < arguments.size())
            result.feedRate = arguments[++i].trimmed().toInt();
        else if (arg == QLatin1String("-r") && i + 1 < arguments.size())
            result.readFile = arguments[++i];
        else if (arg == QLatin1String("--simulate"))
            result.simulate = true;
        else
            result.words.append(arg);
    }
    return result;
}

QString helpText(const QString& program, const QString& module, const QString& usage)
{
    return QStringLiteral(
               "%1：外部%2的替身程序（stand-in）。\n"
               "它代替系统之外的%2，供没有该模块的安装和测试使用："
               "只建立与原模块相同标题的窗口、接受相同的命令行，不做原模块的实际工作。\n\n"
               "用法：%1 %3\n"
               "  -h, --help   显示本说明")
        .arg(program, module, usage);
}

QString adapterStatus(const std::optional<int>& number)
{
    if (!number)
        return QStringLiteral("未指定网卡（-i 网卡编号），没有监听任何网卡。");
    const QList<net::Adapter> list = net::adapters();
    if (*number < 1 || *number > list.size())
        return QStringLiteral("网卡编号 %1 不存在（本机共 %2 块网卡），没有监听任何网卡。")
            .arg(*number)
            .arg(list.size());
    const net::Adapter& adapter = list[*number - 1];
    return QStringLiteral("正在监听网卡 %1：%2\n%3\n%4")
        .arg(*number)
        .arg(adapter.interface, adapter.description, adapter.name);
}

} // namespace lt::outside
