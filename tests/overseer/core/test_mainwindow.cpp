// The console's main window without a database: its controls and dispatch, the layout, the
// drawn cover and title, the cover gesture, help, and the way out with the real stand-ins of
// the outside modules and the real keeper.

#include "common/names.h"
#include "common/windowdirectory.h"
#include "overseer/core/controls.h"
#include "overseer/core/dialogak.h"
#include "overseer/core/formmain.h"
#include "overseer/core/logindialogs.h"
#include "overseer/core/pagemodel.h"
#include "overseer/core/picturebox.h"
#include "overseer/core/progressnotice.h"
#include "overseer/program.h"
#include "tests/overseer/consoletest.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QStatusBar>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <QToolBar>
#include <QTreeView>

using namespace lt;
using namespace lt::overseer;

namespace
{

// Receives the addresses the desktop is asked to open.
class UrlCatcher : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl& url) { opened << url; }
};

// The bounds of what is drawn (at least half opaque) within an area of a drawing.
QRect drawnBounds(const QImage& image, const QRect& area)
{
    QRect bounds;
    const QRect within = area.intersected(image.rect());
    for (int y = within.top(); y <= within.bottom(); ++y) {
        for (int x = within.left(); x <= within.right(); ++x) {
            if (image.pixelColor(x, y).alpha() >= 128)
                bounds |= QRect(x, y, 1, 1);
        }
    }
    return bounds;
}

bool drawnIn(const QImage& image, const QColor& colour)
{
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixelColor(x, y) == colour)
                return true;
        }
    }
    return false;
}

// How far the extruded print of a label reaches beyond a single print of its caption; (-9, -9)
// when it starts elsewhere. The many copies add up at the antialiased edges, so the figures
// are good to a pixel.
QPoint extrusion(const PictureBox& picture, const QLabel& label)
{
    PictureBox once;
    once.resize(picture.size());
    once.Print(label.text(), label.font(), label.geometry(), label.alignment());
    const QRect area = label.geometry().adjusted(-10, -10, 10, 10);
    const QRect single = drawnBounds(once.drawing(), area);
    const QRect drawn = drawnBounds(picture.drawing(), area);
    const QPoint start = drawn.topLeft() - single.topLeft();
    if (single.isEmpty() || qAbs(start.x()) > 1 || qAbs(start.y()) > 1)
        return QPoint(-9, -9);
    return drawn.bottomRight() - single.bottomRight();
}

// Answers the quit dialog: the option chosen, then "确定" or "取消".
test::ModalScript::Step answerQuit(bool everything, bool confirm)
{
    return [=](QWidget* modal) {
        auto* dialog = qobject_cast<DialogAK*>(modal);
        QVERIFY(dialog);
        (everything ? dialog->Option2 : dialog->Option1)->setChecked(true);
        (confirm ? dialog->OKButton : dialog->CancelButton)->click();
    };
}

const QStringList kModuleTitles = {kAnalyserTitle, QStringLiteral("Lantrove-监测模块"),
                                   QStringLiteral("Lantrove-阻断模块"), kKeeperTitle};

bool near(QPoint actual, QPoint expected)
{
    const QPoint off = actual - expected;
    if (qAbs(off.x()) <= 1 && qAbs(off.y()) <= 1)
        return true;
    qWarning() << "extruded by" << actual << "instead of" << expected;
    return false;
}

// A view of the test's own: a few rows, optionally shown in a widget of its own.
class TestView : public ConsoleView
{
    Q_OBJECT
public:
    explicit TestView(QWidget* own = nullptr) : own_(own)
    {
        model_.setLayout({{"名称", 1200}, {"说明", 2000, true}});
        model_.setLabelsEditable(true);
        model_.setRows({{"甲", "一"}, {"乙", "二"}});
    }
    QString name() const override { return own_ ? "显示图表" : "显示测试"; }
    QString title() const override { return "测    试"; }
    QAbstractItemModel* model() override { return &model_; }
    QWidget* widget() override { return own_; }
    void show() { emit showRequested(); }
    void edit(int row) { requestEdit(model_.index(row, 0)); }
    PageModel model_;

private:
    QPointer<QWidget> own_;
};

} // namespace

class MainWindow : public QObject
{
    Q_OBJECT
    test::TestInstallation install_;
    std::unique_ptr<FormMain> form_;
    bool ended_ = false;

    void startEverything()
    {
        const QString app = install_.appDir();
        proc::startProgram(app + "/qmlxcontent", {}, proc::Show::Hidden);
        proc::startProgram(app + "/qmlxsn.EXE", {"-i", "1"}, proc::Show::Hidden);
        proc::startProgram(app + "/qmlxblock.EXE", {"-i", "1"}, proc::Show::Hidden);
        proc::startProgram(app + "/logkeeper.EXE", {}, proc::Show::Hidden);
        for (const QString& title : kModuleTitles)
            QVERIFY2(test::windowAppears(title), qPrintable(title));
    }

private slots:
    void init()
    {
        form_ = std::make_unique<FormMain>();
        fillDispatch(*form_);
        ended_ = false;
        form_->EndConsole = [this] { ended_ = true; };
    }

    void cleanup()
    {
        form_.reset();
        test::endModules();
    }

    void controlsAndDispatch()
    {
        QStringList keys;
        for (QAction* action : test::control<QToolBar>(*form_, "Toolbar1")->actions()) {
            if (!action->data().toString().isEmpty()) {
                keys << action->data().toString();
                QVERIFY(!action->icon().isNull());
            }
        }
        QCOMPARE(keys,
                 QStringList({"日志管理", "终端配置", "组别配置", "显示黑单", "显示白单",
                              "上传数据", "访问统计", "测试连接", "日志导出", "恢复设置",
                              "删除日志", "显示封面", "日志打印", "显示帮助", "流量统计", "关闭"}));
        for (const QString& caption : QStringList{"首页", "上页", "下页", "尾页"})
            QVERIFY(form_->pagingButton(caption));
        for (int n = 1; n <= 4; ++n)
            QVERIFY(form_->panel(n));
        QCOMPARE(form_->menuItem("登录", "修改系统使用端口号")->objectName(), "m修改系统端口");
        QCOMPARE(form_->menuItem("登录", "修改登录名称和口令")->objectName(), "m修改用户名称");
        QCOMPARE(form_->menuItem("终端", "删除")->objectName(), "m删除终端");

        // Keys whose views are not there yet do nothing.
        test::MessageLog messages;
        form_->CurrentView = QStringLiteral("显示终端配置");
        form_->toolbarKey("终端配置")->trigger();
        QVERIFY(!form_->dispatch().runKey(QStringLiteral("没有这个键")));
        QCOMPARE(form_->CurrentView, QStringLiteral("显示终端配置"));
        QVERIFY(messages.requests.isEmpty());
        QVERIFY(!QApplication::activeModalWidget());
        form_->toolbarKey("显示封面")->trigger();
        QCOMPARE(form_->CurrentView, QStringLiteral("显示封面"));
    }

    void layoutKeepsThePartsApart()
    {
        form_->show();
        for (const QSize size : {QSize(1100, 760), form_->minimumSize()}) {
            form_->resize(size);
            QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
            const QRect window = form_->rect();
            const QRect list = test::list(*form_)->geometry();
            const QRect paging = test::control<QToolBar>(*form_, "Toolbar2")->geometry();
            const QRect strip = test::control<QWidget>(*form_, "Picture_Button")->geometry();
            // The list stands right of the strip, under the title, above the paging toolbar.
            QVERIFY(list.left() >= strip.right());
            QVERIFY(list.top() >
                    test::control<overseer::PictureBox>(*form_, "Picture_Title")->geometry().top());
            QVERIFY(list.bottom() <
                    test::control<QStatusBar>(*form_, "StatusBar1")->geometry().top());
            QVERIFY(window.contains(paging));
            QVERIFY(list.width() > 0 && list.height() > 0);
            // Every key of the command strip can be clicked at this size.
            for (const QString& key : toolbarKeys()) {
                QWidget* button = test::control<QToolBar>(*form_, "Toolbar1")
                                      ->widgetForAction(form_->toolbarKey(key));
                QVERIFY2(button && button->isVisible(), qPrintable(key));
                const QRect at(button->mapTo(form_.get(), QPoint(0, 0)), button->size());
                QVERIFY2(window.contains(at), qPrintable(key));
            }
        }
        // The last key really answers a click at the smallest size.
        int keys = 0;
        form_->dispatch().onKey("流量统计", [&] { ++keys; });
        QTest::mouseClick(test::control<QToolBar>(*form_, "Toolbar1")
                              ->widgetForAction(form_->toolbarKey("流量统计")),
                          Qt::LeftButton);
        QCOMPARE(keys, 1);
    }

    void coverAndTitleDrawnWithShadows()
    {
        form_->resize(1000, 700);
        form_->show();
        QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
        // 80 steps of a twip down and right for the name, 60 down for the second line.
        const QImage& face = test::control<overseer::PictureBox>(*form_, "Picture_Face")->drawing();
        QVERIFY(near(extrusion(*test::control<overseer::PictureBox>(*form_, "Picture_Face"),
                               *test::control<QLabel>(*form_, "Label1")),
                     QPoint(5, 5)));
        QVERIFY(near(extrusion(*test::control<overseer::PictureBox>(*form_, "Picture_Face"),
                               *test::control<QLabel>(*form_, "Label3")),
                     QPoint(0, 4)));
        QVERIFY(drawnIn(face, QColor(210, 4, 0)));
        const QRect texts = test::control<QLabel>(*form_, "Label1")
                                ->geometry()
                                .united(test::control<QLabel>(*form_, "Label3")->geometry());
        QCOMPARE(drawnBounds(face, face.rect()), drawnBounds(face, texts.adjusted(0, 0, 8, 8)));

        test::title(*form_)->setText(QStringLiteral("终    端    配    置"));
        form_->显示标题函数();
        const QRect label2 = test::title(*form_)->geometry();
        QCOMPARE(label2.left(),
                 (test::control<overseer::PictureBox>(*form_, "Picture_Title")->width() -
                  label2.width()) /
                     2);
        QVERIFY(near(extrusion(*test::control<overseer::PictureBox>(*form_, "Picture_Title"),
                               *test::title(*form_)),
                     QPoint(3, 3)));
        QVERIFY(drawnIn(test::control<overseer::PictureBox>(*form_, "Picture_Title")->drawing(),
                        QColor(204, 204, 0)));
    }

    // Laid out and drawn while hidden (as during the login), the window shows exactly what one
    // laid out when shown shows, and a later resize still lays it out anew.
    void preparedWhileHiddenShowsTheSameWindow()
    {
        form_->prepareFirstShow();
        QVERIFY(!form_->isVisible());
        QCOMPARE(test::control<overseer::PictureBox>(*form_, "Picture_Face")
                     ->drawing()
                     .deviceIndependentSize(),
                 QSizeF(test::control<overseer::PictureBox>(*form_, "Picture_Face")->size()));
        form_->show();
        QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
        FormMain plain;
        fillDispatch(plain);
        plain.show();
        QVERIFY(QTest::qWaitForWindowExposed(&plain));
        QCOMPARE(form_->size(), plain.size());
        QCOMPARE(test::control<overseer::PictureBox>(*form_, "Picture_Face")->geometry(),
                 test::control<overseer::PictureBox>(plain, "Picture_Face")->geometry());
        QCOMPARE(form_->grab().toImage(), plain.grab().toImage());

        const QRect before =
            test::control<overseer::PictureBox>(*form_, "Picture_Face")->geometry();
        form_->resize(form_->width() - 120, form_->height() - 90);
        QTRY_VERIFY(test::control<overseer::PictureBox>(*form_, "Picture_Face")->geometry() !=
                    before);
        QCOMPARE(test::control<overseer::PictureBox>(*form_, "Picture_Face")
                     ->drawing()
                     .deviceIndependentSize(),
                 QSizeF(test::control<overseer::PictureBox>(*form_, "Picture_Face")->size()));
    }

    void coverHidesTheViewParts()
    {
        form_->show();
        for (QWidget* part :
             {static_cast<QWidget*>(test::control<overseer::PictureBox>(*form_, "Picture_Title")),
              static_cast<QWidget*>(test::list(*form_)),
              static_cast<QWidget*>(test::control<QToolBar>(*form_, "Toolbar2")),
              static_cast<QWidget*>(test::control<QStatusBar>(*form_, "StatusBar1"))})
            part->show();
        form_->CurrentView = QStringLiteral("显示黑名单");
        form_->显示封面();
        QCOMPARE(form_->CurrentView, QStringLiteral("显示封面"));
        QVERIFY(test::control<overseer::PictureBox>(*form_, "Picture_Face")->isVisible());
        QVERIFY(!test::control<overseer::PictureBox>(*form_, "Picture_Title")->isVisible() &&
                !test::list(*form_)->isVisible());
        QVERIFY(!test::control<QToolBar>(*form_, "Toolbar2")->isVisible() &&
                !test::control<QStatusBar>(*form_, "StatusBar1")->isVisible());
    }

    void coverGesture()
    {
        win::Registration keeper(kKeeperTitle, true);
        win::Registration filter(kFilterTitle, true);
        form_->show();
        QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
        const QPoint at(300, 300);
        QTest::mouseClick(test::control<overseer::PictureBox>(*form_, "Picture_Face"),
                          Qt::LeftButton, Qt::ControlModifier, at);
        QVERIFY(keeper.isVisible() && filter.isVisible());
        QTest::mouseClick(test::control<overseer::PictureBox>(*form_, "Picture_Face"),
                          Qt::LeftButton, Qt::ShiftModifier | Qt::ControlModifier, at);
        QVERIFY(!keeper.isVisible() && !filter.isVisible());
        QTest::mouseClick(test::control<overseer::PictureBox>(*form_, "Picture_Face"),
                          Qt::LeftButton, Qt::ControlModifier | Qt::AltModifier, at);
        QVERIFY(keeper.isVisible() && filter.isVisible());

        QMenu* login = form_->menu("登录");
        QVERIFY(!login->isVisible());
        QTest::mouseClick(test::control<overseer::PictureBox>(*form_, "Picture_Face"),
                          Qt::RightButton, {}, at);
        QVERIFY(login->isVisible());
        login->hide();
    }

    void helpWithoutABrowserOpensAConsoleWindow()
    {
        form_->context().OpenUrl = [](const QUrl&) { return false; };
        form_->toolbarKey("显示帮助")->trigger();
        auto* page = form_->findChild<QTextBrowser*>("HelpPage");
        QVERIFY(page);
        QVERIFY(page->isVisible());
        QVERIFY(page->toPlainText().contains(QStringLiteral("完全退出控制系统")));

        test::MessageLog messages;
        QVERIFY(!form_->context().openWebPage("www.example.cn"));
        QCOMPARE(messages.texts(),
                 QStringList{"本机没有可用的网页浏览器，无法打开网页：http://www.example.cn"});
    }

    void helpOpensThePageOfTheInstallation()
    {
        UrlCatcher catcher;
        QDesktopServices::setUrlHandler(QStringLiteral("file"), &catcher, "open");
        form_->toolbarKey("显示帮助")->trigger();
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
        QCOMPARE(catcher.opened.size(), 1);
        QCOMPARE(catcher.opened[0].toLocalFile(), install_.appDir() + "/HELP.HTM");
        const QString page = QString::fromUtf8(test::readFile(install_.appDir() + "/HELP.HTM"));
        QVERIFY(page.contains(QStringLiteral("完全退出控制系统")));
    }

    void declinedQuitKeepsTheConsole()
    {
        form_->show();
        test::ModalScript script({answerQuit(true, false), answerQuit(true, false)});
        QVERIFY(!form_->close());
        form_->toolbarKey("关闭")->trigger();
        QCOMPARE(script.stepsRun(), 2);
        QVERIFY(form_->isVisible());
        QVERIFY(!ended_);
    }

    void quitConsoleOnlyLeavesTheModules()
    {
        startEverything();
        form_->show();
        form_->context().dialog<DialogKL>(QStringLiteral("DialogKL"));
        test::ModalScript script({answerQuit(false, true)});
        form_->close();
        QVERIFY(ended_);
        QVERIFY(!form_->context().isLoaded(QStringLiteral("DialogKL")));
        for (const QString& title : kModuleTitles)
            QVERIFY2(win::findWindow(title), qPrintable(title));
    }

    // Rows appended to the list shown keep the selection and the scroll position; the one row
    // model passes Qt's model checks through sorting, appending, editing and removing.
    void appendedRowsKeepSelectionAndScroll()
    {
        TestView view;
        view.model_.setRows({});
        QAbstractItemModelTester tester(&view.model_,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        form_->addView(&view);
        form_->show();
        view.show();
        QList<QStringList> rows;
        for (int i = 0; i < 300; ++i)
            rows << QStringList{QString("行%1").arg(i, 3, 10, QChar('0')), "x", "hidden"};
        view.model_.appendRows(rows);
        QCOMPARE(view.model_.rowTexts(0).size(), 2); // no hidden texts unless asked for
        QTreeView* list = test::list(*form_);
        QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
        list->selectionModel()->setCurrentIndex(list->model()->index(120, 0),
                                                QItemSelectionModel::ClearAndSelect |
                                                    QItemSelectionModel::Rows);
        list->scrollTo(list->model()->index(120, 0), QAbstractItemView::PositionAtTop);
        const int scrolled = list->verticalScrollBar()->value();
        QVERIFY(scrolled > 0);
        view.model_.appendRows({{"新行", "y"}, {"又一行", "z"}});
        QCOMPARE(view.model_.rowCount(), 302);
        QCOMPARE(list->selectionModel()->selectedRows().value(0).row(), 120);
        QCOMPARE(list->currentIndex().row(), 120);
        QCOMPARE(list->verticalScrollBar()->value(), scrolled);
        // A column's centring reaches the list.
        QCOMPARE(list->model()->index(0, 1).data(Qt::TextAlignmentRole).value<Qt::Alignment>() &
                     Qt::AlignHCenter,
                 Qt::AlignHCenter);
        view.model_.sort(0, Qt::DescendingOrder);
        QCOMPARE(view.model_.text(0, 0), "行299");
        view.model_.setText(0, 1, "改");
        QCOMPARE(view.model_.text(0, 1), "改");
        view.model_.setText(0, 5, "无此列"); // a column that is not there is not added
        QCOMPARE(view.model_.rowTexts(0).size(), 2);
        QVERIFY(view.model_.removeRows(0, 2));
        view.model_.appendRows({}); // nothing to add: no insertion at all
        QCOMPARE(view.model_.rowCount(), 300);
    }

    // A view asks the main window for an in-place edit of its row; the main window starts it
    // on the list only while that view is shown.
    void viewAsksForAnEdit()
    {
        TestView view, other;
        form_->addView(&view);
        form_->addView(&other);
        form_->show();
        QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
        other.show();
        view.edit(1);
        QTreeView* list = test::list(*form_);
        QVERIFY(!list->findChild<QLineEdit*>());
        view.show();
        view.edit(1);
        QTRY_VERIFY(list->findChild<QLineEdit*>() && list->findChild<QLineEdit*>()->isVisible());
        QCOMPARE(list->findChild<QLineEdit*>()->text(), "乙");
    }

    // A view with a widget of its own has it shown where the list is, and the list hidden;
    // the cover and other views hide it again.
    void viewHandsOverItsWidget()
    {
        auto* chart = new QLabel("图表");
        TestView own(chart), plain;
        form_->addView(&own);
        form_->addView(&plain);
        form_->show();
        QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
        QTreeView* list = test::list(*form_);
        const QRect listArea = list->geometry();
        own.show();
        QCOMPARE(chart->parentWidget(), form_.get());
        QVERIFY(chart->isVisible() && !list->isVisible());
        QCOMPARE(chart->geometry(), listArea);
        form_->resize(form_->width() + 40, form_->height() + 30);
        QCOMPARE(chart->geometry().size(), list->geometry().size());
        plain.show();
        QVERIFY(!chart->isVisible() && list->isVisible());
        own.show();
        form_->显示封面();
        QVERIFY(!chart->isVisible() && !list->isVisible());
    }

    // The progress notice closed before its window is up: the window is looked for beside the
    // window (the console answers meanwhile) and closed when it comes. A second close of the
    // same notice does nothing; a notice that cannot start is not running.
    void progressNoticeClosedBeforeItsWindowIsUp()
    {
        ProgressNotice notice;
        QVERIFY(!notice.start({}, "提取"));
        QVERIFY(!notice.running());
        QVERIFY(notice.start(install_.appDir() + "/TQProgress.exe", "提取"));
        QVERIFY(notice.running());
        notice.close(); // its window is not up yet: it is looked for
        QVERIFY(!notice.running());
        int ticks = 0;
        QTimer ticker;
        QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
        ticker.start(20);
        // The program ends once its window is closed; nothing else closes it here.
        QVERIFY(test::waitFor([&] { return noticeProcesses() == 0; }, 15000));
        QVERIFY(ticks > 0); // the console kept answering
        {
            // Held for the length of a block: it still goes once the block is left.
            ProgressNotice scoped(install_.appDir() + "/TQProgress.exe", "更新");
        }
        QVERIFY(test::waitFor([&] { return noticeProcesses() == 0; }, 15000));
    }

    // The notice programs running: their process names start with the program's name.
    static int noticeProcesses()
    {
        int found = 0;
        for (const QString& pid : QDir("/proc").entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            QFile comm("/proc/" + pid + "/comm");
            if (pid.toLongLong() > 0 && comm.open(QIODevice::ReadOnly) &&
                comm.readAll().startsWith("TQProgress"))
                ++found;
        }
        return found;
    }

    void quitEverythingStopsTheModules()
    {
        startEverything();
        const qint64 analyser = win::findWindow(kAnalyserTitle)->pid;
        test::ModalScript script({answerQuit(true, true)});
        form_->toolbarKey("关闭")->trigger();
        QVERIFY(ended_);
        for (const QString& title : kModuleTitles)
            QVERIFY2(test::windowGoes(title), qPrintable(title));
        // The analyser is not killed: it ends because its title became "ExitMyProc".
        QVERIFY(test::waitFor([&] { return proc::processStartTime(analyser) == 0; }, 10000));
    }
};

QTEST_MAIN(MainWindow)
#include "test_mainwindow.moc"
