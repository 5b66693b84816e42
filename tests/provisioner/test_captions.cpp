// Window captions as the window system shows them. The offscreen platform keeps a window's
// title as set; the X11 platform adds the application's display name before it hands the title
// to the window system. So this test runs the real windows on a virtual X display of its own
// and reads their titles back from the X server (_NET_WM_NAME), as a window manager would.

#include "common/widgets/guiapp.h"
#include "common/widgets/messages.h"
#include "provisioner/dialogdl.h"
#include "provisioner/dialogst.h"
#include "provisioner/dialogwk.h"
#include "provisioner/formmain.h"
#include "provisioner/texts.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <xcb/xcb.h>

using namespace lt;
using namespace lt::prov;

namespace
{

xcb_atom_t atom(xcb_connection_t* c, const char* name)
{
    const auto cookie = xcb_intern_atom(c, 0, uint16_t(qstrlen(name)), name);
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(c, cookie, nullptr);
    const xcb_atom_t a = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    free(reply);
    return a;
}

// The title of the widget's window as the X server holds it.
QString shownTitle(QWidget* window)
{
    auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11)
        return QStringLiteral("(not on X11)");
    xcb_connection_t* c = x11->connection();
    const auto cookie = xcb_get_property(c, 0, xcb_window_t(window->winId()),
                                         atom(c, "_NET_WM_NAME"), atom(c, "UTF8_STRING"), 0, 1024);
    xcb_get_property_reply_t* reply = xcb_get_property_reply(c, cookie, nullptr);
    QString title;
    if (reply) {
        title = QString::fromUtf8(static_cast<const char*>(xcb_get_property_value(reply)),
                                  xcb_get_property_value_length(reply));
        free(reply);
    }
    return title;
}

QString shownAfterShow(QWidget* window)
{
    window->show();
    if (!QTest::qWaitForWindowExposed(window))
        return QStringLiteral("(not shown)");
    QString title;
    if (!QTest::qWaitFor([&] { return !(title = shownTitle(window)).isEmpty(); }, 2000))
        return QStringLiteral("(no title)");
    return title;
}

// A virtual X display for this process: Xvfb on the first free display number.
class VirtualDisplay
{
public:
    VirtualDisplay()
    {
        for (int n = 140; n < 200 && !ok_; ++n) {
            if (QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(n)) ||
                QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(n)))
                continue;
            xvfb_.start(QStringLiteral("Xvfb"), {QStringLiteral(":%1").arg(n), "-screen", "0",
                                                 "1024x768x24", "-nolisten", "tcp"});
            if (!xvfb_.waitForStarted(5000))
                return;
            for (int i = 0; i < 100 && !ok_; ++i) {
                ok_ = QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(n));
                QThread::msleep(50);
            }
            if (ok_)
                qputenv("DISPLAY", QStringLiteral(":%1").arg(n).toLatin1());
            else
                stop();
        }
    }
    ~VirtualDisplay() { stop(); }
    bool ok() const { return ok_; }

private:
    void stop()
    {
        if (xvfb_.state() == QProcess::NotRunning)
            return;
        xvfb_.terminate();
        xvfb_.waitForFinished(5000);
    }
    QProcess xvfb_;
    bool ok_ = false;
};

} // namespace

class Captions : public QObject
{
    Q_OBJECT

private slots:
    void onTheX11Platform() { QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb")); }

    void everyCaptionAsSet()
    {
        FormMain main;
        QCOMPARE(shownAfterShow(&main), QStringLiteral("Lantrove系统——配置数据源"));
        DialogWK adapters([] { return QByteArray(kAdapterBufferBytes, '\0'); }, &main);
        QCOMPARE(shownAfterShow(&adapters), QStringLiteral("选择网卡"));
        DialogDL login;
        QCOMPARE(shownAfterShow(&login), QStringLiteral("登录Lantrove系统"));
        DialogSt init([] {}, [] {}, &main);
        QCOMPARE(shownAfterShow(&init), QStringLiteral("Lantrove系统"));
    }

    // Message boxes still carry the program's own title.
    void messageBoxTitle()
    {
        QString shown;
        QTimer::singleShot(0, [&] {
            QWidget* box = QApplication::activeModalWidget();
            if (!box)
                return;
            if (QTest::qWaitForWindowExposed(box))
                shown = shownTitle(box);
            box->close();
        });
        ui::message(nullptr, text::kRegistered);
        QCOMPARE(shown, text::kProgramTitle);
    }
};

int main(int argc, char** argv)
{
    VirtualDisplay display;
    if (!display.ok()) {
        std::fprintf(stderr, "Xvfb could not be started\n");
        return 1;
    }
    qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication app(argc, argv);
    ui::prepareApplication(app, "provisioner", text::kProgramTitle);
    Captions test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_captions.moc"
