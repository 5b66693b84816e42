// The main window's procedures that belong to no view: the cover and the title strip, the
// cover gesture, the connection test, help, the password change and the way out.

#include "common/widgets/messages.h"
#include "common/windowdirectory.h"
#include "overseer/core/connectiontest.h"
#include "overseer/core/controls.h"
#include "overseer/core/dialogak.h"
#include "overseer/core/dialogpw.h"
#include "overseer/core/formmain.h"
#include "overseer/core/logindialogs.h"
#include "overseer/core/picturebox.h"
#include "overseer/core/recordsets.h"

#include <QApplication>
#include <QCursor>
#include <QLabel>
#include <QMenu>
#include <QStatusBar>
#include <QTextBrowser>
#include <QToolBar>
#include <QTreeView>
#include <QUrl>
#include <QVBoxLayout>

namespace lt::overseer
{

namespace
{

const QColor kCoverShadow(210, 4, 0);   // 0x4D2
const QColor kTitleShadow(204, 204, 0); // 52428

} // namespace

void FormMain::显示封面()
{
    if (current_) {
        current_->cancelWork();
        current_->attach(nullptr, nullptr);
    }
    current_ = nullptr;
    context_.setCurrentView(nullptr);
    CurrentView = QStringLiteral("显示封面");
    showViewStatus();
    Picture_Title->hide();
    Picture_Face->show();
    showViewWidget(nullptr);
    ListView1->hide();
    Toolbar2->hide();
    StatusBar1->hide();
}

void FormMain::显示名称()
{
    Picture_Face->setForeColor(kCoverShadow);
    printExtruded(*Picture_Face, *Label1, 80, QPointF(kTwip, kTwip));
    printExtruded(*Picture_Face, *Label3, 60, QPointF(0, kTwip));
}

void FormMain::显示标题函数()
{
    Label2->adjustSize();
    Label2->move((Picture_Title->width() - Label2->width()) / 2,
                 (Picture_Title->height() - Label2->height()) / 2);
    Picture_Title->Cls();
    Picture_Title->setForeColor(kTitleShadow);
    printExtruded(*Picture_Title, *Label2, 50, QPointF(kTwip, kTwip));
}

void FormMain::Picture_Face_MouseDown(Qt::MouseButton button, int shift, QPoint at)
{
    switch (coverGesture(button, shift)) {
    case CoverGesture::LoginMenu:
        menu(QStringLiteral("登录"))->popup(Picture_Face->mapToGlobal(at));
        break;
    case CoverGesture::HideWindows:
        setWindowsVisible(false);
        break;
    case CoverGesture::ShowWindows:
        setWindowsVisible(true);
        break;
    case CoverGesture::None:
        break;
    }
}

void FormMain::setWindowsVisible(bool visible)
{
    for (const QString& title : {kKeeperTitle, kFilterTitle}) {
        if (const auto window = win::findWindow(title))
            win::setVisible(window->id, visible);
    }
}

void FormMain::测试连接函数()
{
    if (connectionTest_)
        return; // one test at a time
    CMySql* db = context_.MySql.get();
    const auto stringOf = [](const db::Connection* c) {
        return c && c->isOpen() ? c->connectionString() : QString();
    };
    auto* test = new ConnectionTest(
        {{stringOf(db ? &db->Cnn0 : nullptr), QStringLiteral("SELECT * FROM passwordtable"),
          QStringLiteral("安全控制中心数据库连接失败"),
          QStringLiteral("安全控制中心数据库连接正常")},
         {stringOf(db ? &db->Cnn1 : nullptr), QStringLiteral("SELECT * FROM classtable"),
          QStringLiteral("数据采集监控系统连接失败"), QStringLiteral("数据采集监控系统连接正常")}},
        this);
    test->setParent(this);
    connectionTest_ = test;
    QAction* key = toolbarKey(QStringLiteral("测试连接"));
    if (key)
        key->setEnabled(false);
    connect(test, &ConnectionTest::finished, this, [this, test, key] {
        if (key)
            key->setEnabled(true);
        test->deleteLater();
    });
    test->start();
}

void FormMain::显示帮助()
{
    const QString path = context_.AppDir + QStringLiteral("/HELP.HTM");
    // Without a browser the page is shown in a window of the console.
    if (!context_.OpenUrl(QUrl::fromLocalFile(path)))
        showHelpWindow(path);
}

void FormMain::showHelpWindow(const QString& path)
{
    auto* window = new QDialog(this);
    window->setObjectName(QStringLiteral("HelpWindow"));
    window->setWindowTitle(QStringLiteral("Lantrove系统帮助"));
    window->setAttribute(Qt::WA_DeleteOnClose);
    auto* page = new QTextBrowser(window);
    page->setObjectName(QStringLiteral("HelpPage"));
    page->setOpenExternalLinks(false);
    page->setSource(QUrl::fromLocalFile(path));
    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(page);
    window->resize(720, 560);
    window->show();
}

bool FormMain::解锁()
{
    DialogKL& unlock = context_.dialog<DialogKL>(QStringLiteral("DialogKL"));
    unlock.setWindowTitle(QStringLiteral("请输入管理员名称和口令"));
    unlock.exec();
    return context_.LoginPassed;
}

void FormMain::修改口令函数()
{
    if (解锁())
        context_.dialog<DialogPW>(QStringLiteral("DialogPW")).exec();
}

void FormMain::关闭()
{
    if (AskQuit())
        UnloadAllAndEnd();
}

bool FormMain::AskQuit()
{
    return context_.dialog<DialogAK>().AskQuit();
}

void FormMain::UnloadAllAndEnd()
{
    context_.unloadNow(consoleDialogNames());
    saveMemory();
    ending_ = true;
    if (EndConsole)
        EndConsole();
}

} // namespace lt::overseer
