// The main window as the administrator sees it, without a database: the title strip drawn whole
// after a resize, a disabled key greyed in its caption too, the first column widened by the
// rows' icons, the help page readable with its links apart, the progress notice centred over
// the window with the rows done in the status bar, and the window's place and the dragged
// column widths remembered for the next run.

#include "common/names.h"
#include "common/registry.h"
#include "overseer/core/formmain.h"
#include "overseer/core/pagemodel.h"
#include "overseer/core/picturebox.h"
#include "overseer/core/progressnotice.h"
#include "overseer/core/windowmemory.h"
#include "overseer/program.h"
#include "tests/overseer/consoletest.h"

#include <QAction>
#include <QHeaderView>
#include <QProgressBar>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>
#include <QToolBar>
#include <QToolButton>
#include <cmath>

using namespace lt;
using namespace lt::overseer;

namespace
{

class LookView : public ConsoleView
{
    Q_OBJECT
public:
    explicit LookView(const QString& name, bool icons = false) : name_(name)
    {
        model_.setLayout({{"终端", 1200}, {"说明", 2000}});
        if (icons)
            model_.setIcons([](const QStringList&) { return 1; },
                            [](int) {
                                QPixmap square(16, 16);
                                square.fill(Qt::darkBlue);
                                return QIcon(square);
                            });
        model_.setRows({{"办公室一号机", "一"}, {"机房二号机", "二"}});
    }
    QString name() const override { return name_; }
    QString title() const override { return "终    端    配    置"; }
    QAbstractItemModel* model() override { return &model_; }
    void show() { emit showRequested(); }
    PageModel model_;

private:
    QString name_;
};

// The bounds of what is drawn (at least a quarter opaque) on a picture box.
QRect drawnBounds(const QImage& image)
{
    QRect bounds;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixelColor(x, y).alpha() >= 64)
                bounds |= QRect(x, y, 1, 1);
        }
    }
    return bounds;
}

// The brightest pixel of an area (0 to 255).
int brightest(const QImage& image, const QRect& area)
{
    int most = 0;
    const QRect within = area.intersected(image.rect());
    for (int y = within.top(); y <= within.bottom(); ++y) {
        for (int x = within.left(); x <= within.right(); ++x)
            most = std::max(most, qGray(image.pixel(x, y)));
    }
    return most;
}

// The contrast ratio of two colours as accessibility guides measure it (1 to 21).
qreal contrast(const QColor& a, const QColor& b)
{
    const auto luminance = [](const QColor& c) {
        const auto channel = [](qreal v) {
            return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) +
               0.0722 * channel(c.blueF());
    };
    const qreal la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

} // namespace

class ConsoleLook : public QObject
{
    Q_OBJECT
    test::TestInstallation install_;
    std::unique_ptr<FormMain> form_;
    bool ended_ = false;

    void newForm()
    {
        form_ = std::make_unique<FormMain>();
        fillDispatch(*form_);
        ended_ = false;
        form_->EndConsole = [this] { ended_ = true; };
    }
    PictureBox* titleStrip() { return test::control<PictureBox>(*form_, "Picture_Title"); }

private slots:
    void init() { newForm(); }
    void cleanup()
    {
        form_.reset();
        test::endModules();
        QFile::remove(install_.systemDir() + "/registry.reg");
    }

    // Made smaller, the window draws the title's shadow again beside the moved caption; none
    // of it stays at the caption's old place.
    void titleStripRedrawnWholeOnResize()
    {
        LookView view("显示终端配置");
        form_->addView(&view);
        form_->resize(1180, 800);
        form_->show();
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
        const QRect before = test::title(*form_)->geometry();
        form_->resize(form_->minimumSize());
        QTRY_VERIFY(test::title(*form_)->geometry() != before);
        const QRect label = test::title(*form_)->geometry();
        QCOMPARE(titleStrip()->drawing().deviceIndependentSize(), QSizeF(titleStrip()->size()));
        const QRect drawn = drawnBounds(titleStrip()->drawing());
        QVERIFY(!drawn.isEmpty());
        // The shadow reaches 50 twips (about 3 pixels) right of and below the caption.
        QVERIFY2(label.adjusted(-1, -1, 5, 5).contains(drawn),
                 qPrintable(QString("drawn %1,%2 %3x%4 beside the caption at %5,%6 %7x%8")
                                .arg(drawn.x())
                                .arg(drawn.y())
                                .arg(drawn.width())
                                .arg(drawn.height())
                                .arg(label.x())
                                .arg(label.y())
                                .arg(label.width())
                                .arg(label.height())));
    }

    // A key that cannot be used shows a grey caption, not the white one of a usable key.
    void disabledKeyGreysItsCaption()
    {
        form_->show();
        QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
        auto* strip = test::control<QWidget>(*form_, "Picture_Button");
        auto* keys = test::control<QToolBar>(*form_, "Toolbar1");
        form_->toolbarKey("日志打印")->setEnabled(false);
        const auto captionArea = [&](const QString& key) {
            QWidget* button = keys->widgetForAction(form_->toolbarKey(key));
            const QRect at(button->mapTo(strip, QPoint(0, 0)), button->size());
            return at.adjusted(keys->iconSize().width() + 10, 2, -2, -2); // right of the icon
        };
        const QImage shown = strip->grab().toImage();
        QVERIFY(brightest(shown, captionArea("日志导出")) > 200);
        QVERIFY(brightest(shown, captionArea("日志打印")) < 150);
    }

    // Rows with icons: the first column is widened by the icon, so the name keeps the width its
    // layout gives it; a list without icons keeps the layout's width.
    void iconDoesNotTakeTheNamesWidth()
    {
        LookView plain("显示甲"), withIcons("显示乙", true);
        form_->addView(&plain);
        form_->addView(&withIcons);
        plain.show();
        const int layoutWidth = test::list(*form_)->columnWidth(0);
        QCOMPARE(layoutWidth, twipsToPixels(1200, form_->logicalDpiX()));
        withIcons.show();
        QVERIFY(test::list(*form_)->columnWidth(0) >= layoutWidth + 16);
        QCOMPARE(test::list(*form_)->columnWidth(1), twipsToPixels(2000, form_->logicalDpiX()));
    }

    // The help window's introduction reads dark on light, and its section links stand apart.
    void helpPageReadable()
    {
        form_->context().OpenUrl = [](const QUrl&) { return false; };
        form_->toolbarKey("显示帮助")->trigger();
        auto* page = form_->findChild<QTextBrowser*>("HelpPage");
        QVERIFY(page);
        QTextDocument* document = page->document();
        const QTextCursor intro = document->find(QStringLiteral("本页说明管理控制台"));
        QVERIFY(!intro.isNull());
        const QTextCharFormat text = intro.charFormat();
        const QColor ink = text.foreground().style() != Qt::NoBrush
                               ? text.foreground().color()
                               : page->palette().color(QPalette::Text);
        QColor paper = page->palette().color(QPalette::Base);
        if (intro.blockFormat().background().style() != Qt::NoBrush)
            paper = intro.blockFormat().background().color();
        if (text.background().style() != Qt::NoBrush)
            paper = text.background().color();
        QVERIFY2(contrast(ink, paper) >= 4.5, qPrintable(ink.name() + " on " + paper.name()));

        const QStringList sections = {"概述",       "启动与登录", "监控模块", "主窗口",  "测试连接",
                                      "管理员口令", "端口号",     "退出",     "常见问题"};
        const QString all = document->toPlainText();
        for (int i = 0; i + 1 < sections.size(); ++i) {
            const QRegularExpression apart(QRegularExpression::escape(sections[i]) +
                                           QStringLiteral("[\\s\\x{00a0}]*｜[\\s\\x{00a0}]*") +
                                           QRegularExpression::escape(sections[i + 1]));
            QVERIFY2(all.contains(apart), qPrintable(sections[i] + " / " + sections[i + 1]));
        }
        // The keys that work are not called missing.
        QVERIFY(!all.contains(QStringLiteral("尚未提供")));
    }

    // The notice is told to centre itself over the main window.
    void noticeCentredOverTheWindow()
    {
        form_->resize(900, 640);
        form_->move(140, 90);
        form_->show();
        QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
        test::StartLog started;
        ProgressNotice notice(install_.appDir() + "/TQProgress.exe", "提取");
        QCOMPARE(started.events.size(), 1);
        const QPoint centre = form_->frameGeometry().center();
        QCOMPARE(started.events[0].environment,
                 QStringList{QStringLiteral("%1=%2,%3")
                                 .arg(QLatin1String(names::kNoticeCentreVariable))
                                 .arg(centre.x())
                                 .arg(centre.y())});
        QVERIFY(started.events[0].commandLine.endsWith("TQProgress.exe 提取"));
        // Without a main window, nothing is added to the notice's command.
        form_.reset();
        test::StartLog alone;
        ProgressNotice(install_.appDir() + "/TQProgress.exe", "提取");
        QCOMPARE(alone.events.size(), 1);
        QVERIFY(alone.events[0].environment.isEmpty());
    }

    // A long action that knows its rows shows them in the status bar, also over the cover, and
    // takes them away when its notice closes.
    void rowsDoneInTheStatusBar()
    {
        form_->show();
        auto* bar = test::control<QProgressBar>(*form_, "ProgressRows");
        auto* status = test::control<QStatusBar>(*form_, "StatusBar1");
        QVERIFY(!bar->isVisible() && !status->isVisible());
        ProgressNotice notice;
        notice.progress(2500, 10000);
        QVERIFY(bar->isVisible() && status->isVisible());
        QCOMPARE(bar->text(), "已处理 2,500 / 10,000 条");
        QTRY_VERIFY(bar->width() > bar->fontMetrics().horizontalAdvance(bar->text()));
        QCOMPARE(bar->value(), 250);
        notice.progress(10000, 10000);
        QCOMPARE(bar->value(), 1000);
        notice.close();
        QVERIFY(!bar->isVisible());
        QVERIFY(!status->isVisible()); // the cover again, as it was
        // A notice that showed no rows leaves another notice's rows alone.
        notice.progress(1, 4);
        ProgressNotice other;
        other.close();
        QVERIFY(bar->isVisible());
        notice.close();
        QVERIFY(!bar->isVisible());
    }

    // The window's place and size and the widths dragged on a list come back in the next run;
    // widths no one dragged are not stored.
    void placeAndDraggedWidthsRemembered()
    {
        auto view = std::make_unique<LookView>("显示终端配置");
        form_->addView(view.get());
        form_->show();
        form_->resize(790, 580); // within the offscreen screen of 800 by 600
        form_->move(6, 8);
        view->show();
        QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
        QHeaderView* header = test::list(*form_)->header();
        const int first = test::list(*form_)->columnWidth(0);
        const QPoint edge(header->sectionViewportPosition(0) + first - 1, header->height() / 2);
        QTest::mousePress(header->viewport(), Qt::LeftButton, {}, edge);
        QTest::mouseMove(header->viewport(), edge + QPoint(45, 0));
        QTest::mouseRelease(header->viewport(), Qt::LeftButton, {}, edge + QPoint(45, 0));
        QCOMPARE(test::list(*form_)->columnWidth(0), first + 45);
        const QPoint place = form_->pos();
        form_->UnloadAllAndEnd();
        QVERIFY(ended_);
        QCOMPARE(reg::readValue(memory::kColumnsKey, "显示终端配置:终端,说明"),
                 QString("%1,%2").arg(first + 45).arg(twipsToPixels(2000, form_->logicalDpiX())));

        form_.reset();
        view = std::make_unique<LookView>("显示终端配置");
        LookView other("显示组别配置");
        newForm();
        QCOMPARE(form_->size(), QSize(790, 580));
        QCOMPARE(form_->pos(), place);
        form_->addView(view.get());
        form_->addView(&other);
        view->show();
        QCOMPARE(test::list(*form_)->columnWidth(0), first + 45);
        other.show(); // the same columns in another view: its own widths
        QCOMPARE(test::list(*form_)->columnWidth(0), first);
        form_->UnloadAllAndEnd();
        QVERIFY(reg::readValue(memory::kColumnsKey, "显示组别配置:终端,说明").isEmpty());
    }

    // What is stored is read back only when it fits the list; a remembered place is kept on
    // the screen's free area.
    void rememberedValuesChecked()
    {
        QCOMPARE(memory::widthsFrom(memory::widthsText({80, 103, 12}), 3),
                 QList<int>({80, 103, 12}));
        QVERIFY(memory::widthsFrom("80,103", 3).isEmpty());  // the layout has changed
        QVERIFY(memory::widthsFrom("80,x,12", 3).isEmpty()); // damaged
        QVERIFY(memory::widthsFrom("80,0,12", 3).isEmpty());
        QVERIFY(memory::widthsFrom("", 0).isEmpty());

        const QRect screen(0, 0, 1280, 900);
        const QSize minimum(760, 560);
        QCOMPARE(memory::placeOnScreen({100, 50, 1000, 700}, screen, minimum),
                 QRect(100, 50, 1000, 700));
        // From a screen that went away: centred.
        QCOMPARE(memory::placeOnScreen({3000, 50, 1000, 700}, screen, minimum),
                 QRect(140, 100, 1000, 700));
        // Half off the right edge: moved in.
        QCOMPARE(memory::placeOnScreen({700, 300, 1000, 700}, screen, minimum),
                 QRect(280, 200, 1000, 700));
        // Larger than the screen: cut to it, never below the window's minimum.
        QCOMPARE(memory::placeOnScreen({0, 0, 2000, 1500}, screen, minimum), screen);
        QCOMPARE(memory::placeOnScreen({0, 0, 2000, 1500}, QRect(0, 0, 700, 500), minimum).size(),
                 minimum);
    }
};

QTEST_MAIN(ConsoleLook)
#include "test_consolelook.moc"
