// The shared widgets: message and input boxes (real dialogs, and the handlers tests answer
// them with), window registration of a widget, and the Chinese-capable application font.

#include "common/widgets/guiapp.h"
#include "common/widgets/messages.h"
#include "common/widgets/windowregistration.h"
#include "common/windowdirectory.h"
#include "tests/support/testsupport.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFontInfo>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

using namespace lt;

namespace
{

const QString kAppTitle = QStringLiteral("监控系统");

// Runs action on the modal dialog that the next call opens.
template <typename Dialog> void onNextModal(std::function<void(Dialog*)> action)
{
    QTimer::singleShot(0, [action] {
        auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        action(dialog);
    });
}

class ClosableWindow : public QWidget
{
public:
    int closes = 0;

protected:
    void closeEvent(QCloseEvent* event) override
    {
        ++closes;
        QWidget::closeEvent(event);
    }
};

} // namespace

class Widgets : public QObject
{
    Q_OBJECT
    test::TestInstallation install_;

private slots:
    void initTestCase()
    {
        QApplication::setApplicationDisplayName(kAppTitle);
        ui::setMessageHandler({});
        ui::setInputHandler({});
    }

    void messageBoxShowsWhatWasAsked_data()
    {
        QTest::addColumn<ui::Icon>("icon");
        QTest::addColumn<ui::Buttons>("buttons");
        QTest::addColumn<ui::Answer>("preferred");
        QTest::addColumn<QMessageBox::Icon>("boxIcon");
        QTest::addColumn<QString>("buttonTexts");
        QTest::addColumn<QString>("defaultText");
        QTest::newRow("plain") << ui::Icon::None << ui::Buttons::Ok << ui::Answer::Ok
                               << QMessageBox::NoIcon << "确定"
                               << "确定";
        QTest::newRow("warning") << ui::Icon::Exclamation << ui::Buttons::OkCancel
                                 << ui::Answer::Cancel << QMessageBox::Warning << "确定 取消"
                                 << "取消";
        QTest::newRow("question") << ui::Icon::Question << ui::Buttons::YesNo << ui::Answer::No
                                  << QMessageBox::Question << "是(&Y) 否(&N)"
                                  << "否(&N)";
        QTest::newRow("critical") << ui::Icon::Critical << ui::Buttons::YesNoCancel
                                  << ui::Answer::Yes << QMessageBox::Critical
                                  << "是(&Y) 否(&N) 取消"
                                  << "是(&Y)";
    }

    void messageBoxShowsWhatWasAsked()
    {
        QFETCH(ui::Icon, icon);
        QFETCH(ui::Buttons, buttons);
        QFETCH(ui::Answer, preferred);
        QFETCH(QMessageBox::Icon, boxIcon);
        QFETCH(QString, buttonTexts);
        QFETCH(QString, defaultText);
        QString title, text, texts, pressed;
        QMessageBox::Icon shownIcon = QMessageBox::NoIcon;
        onNextModal<QMessageBox>([&](QMessageBox* box) {
            title = box->windowTitle();
            text = box->text();
            shownIcon = box->icon();
            QStringList captions;
            for (QAbstractButton* button : box->buttons())
                captions << button->text();
            captions.sort();
            texts = captions.join(u' ');
            pressed = box->defaultButton()->text();
            box->defaultButton()->click();
        });
        const ui::Answer answer =
            ui::message(nullptr, QStringLiteral("确实要删除吗？"), icon, buttons, preferred);
        QCOMPARE(title, kAppTitle);
        QCOMPARE(text, QStringLiteral("确实要删除吗？"));
        QCOMPARE(shownIcon, boxIcon);
        QStringList expectedTexts = buttonTexts.split(u' ');
        expectedTexts.sort();
        QCOMPARE(texts, expectedTexts.join(u' '));
        QCOMPARE(pressed, defaultText);
        QCOMPARE(answer, preferred);
    }

    void escapeAnswersNoOrCancel()
    {
        onNextModal<QMessageBox>([](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Escape); });
        QCOMPARE(ui::message(nullptr, QStringLiteral("退出？"), ui::Icon::Question,
                             ui::Buttons::YesNo, ui::Answer::Yes),
                 ui::Answer::No);
        onNextModal<QMessageBox>([](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Escape); });
        QCOMPARE(ui::message(nullptr, QStringLiteral("继续？"), ui::Icon::Exclamation,
                             ui::Buttons::OkCancel, ui::Answer::Ok),
                 ui::Answer::Cancel);
    }

    void handlerAnswersInsteadOfADialog()
    {
        QList<ui::MessageRequest> asked;
        ui::setMessageHandler([&](const ui::MessageRequest& r) {
            asked << r;
            return ui::Answer::No;
        });
        const ui::Answer answer =
            ui::message(nullptr, QStringLiteral("文件 qmlxsn.exe 丢失"), ui::Icon::Exclamation,
                        ui::Buttons::YesNo, ui::Answer::Yes);
        ui::setMessageHandler({});
        QCOMPARE(answer, ui::Answer::No);
        QCOMPARE(asked.size(), 1);
        QCOMPARE(asked[0].title, kAppTitle);
        QCOMPARE(asked[0].text, QStringLiteral("文件 qmlxsn.exe 丢失"));
        QCOMPARE(asked[0].icon, ui::Icon::Exclamation);
        QCOMPARE(asked[0].buttons, ui::Buttons::YesNo);
        QCOMPARE(asked[0].defaultAnswer, ui::Answer::Yes);
    }

    void inputBoxReturnsTypedTextOrEmpty()
    {
        QLineEdit::EchoMode mode = QLineEdit::Normal;
        QString title, initial;
        onNextModal<QInputDialog>([&](QInputDialog* dialog) {
            title = dialog->windowTitle();
            initial = dialog->textValue();
            mode = dialog->textEchoMode();
            dialog->setTextValue(QStringLiteral("Kvtwpa1987"));
            dialog->accept();
        });
        QCOMPARE(ui::inputBox(nullptr, QStringLiteral("请输入口令:"), QStringLiteral("旧值"), true),
                 QStringLiteral("Kvtwpa1987"));
        QCOMPARE(title, kAppTitle);
        QCOMPARE(initial, QStringLiteral("旧值"));
        QCOMPARE(mode, QLineEdit::Password);

        onNextModal<QInputDialog>([](QInputDialog* dialog) {
            dialog->setTextValue(QStringLiteral("不要"));
            dialog->reject();
        });
        QCOMPARE(ui::inputBox(nullptr, QStringLiteral("名称:")), QString());
    }

    void inputHandlerSeesTheRequest()
    {
        ui::InputRequest seen;
        ui::setInputHandler([&](const ui::InputRequest& r) {
            seen = r;
            return QStringLiteral("答复");
        });
        const QString answer = ui::inputBox(nullptr, QStringLiteral("请输入口令:"), {}, true);
        ui::setInputHandler({});
        QCOMPARE(answer, QStringLiteral("答复"));
        QCOMPARE(seen.title, kAppTitle);
        QCOMPARE(seen.prompt, QStringLiteral("请输入口令:"));
        QVERIFY(seen.password);
    }

    void registeredWidgetFollowsAndObeys()
    {
        auto* window = new ClosableWindow;
        window->setWindowTitle(QStringLiteral("Lantrove系统——数据库维护"));
        ui::registerWindow(window);
        ui::registerWindow(window); // a second call adds no second registration
        auto found = win::findWindow(QStringLiteral("Lantrove系统——数据库维护"));
        QVERIFY(found);
        QVERIFY(!found->visible);
        QCOMPARE(win::windows().size(), 1);

        window->show();
        QVERIFY(win::findWindow(QStringLiteral("Lantrove系统——数据库维护"))->visible);
        window->setWindowTitle(QStringLiteral("维护"));
        QVERIFY(!win::findWindow(QStringLiteral("Lantrove系统——数据库维护")));
        QCOMPARE(win::findWindow(QStringLiteral("维护"))->id, found->id);

        QVERIFY(win::setTitle(found->id, QStringLiteral("请求的标题")));
        QCOMPARE(window->windowTitle(), QStringLiteral("请求的标题"));
        QVERIFY(win::setVisible(found->id, false));
        QVERIFY(!window->isVisible());
        QVERIFY(!win::findWindow(QStringLiteral("请求的标题"))->visible);
        QVERIFY(win::setVisible(found->id, true));
        QVERIFY(window->isVisible());
        QVERIFY(win::close(found->id));
        QCOMPARE(window->closes, 1);
        QVERIFY(!window->isVisible());

        delete window;
        QVERIFY(!win::findWindow(QStringLiteral("请求的标题")));
    }

    void applicationFontRendersChinese()
    {
        ui::prepareApplication(*qApp, "overseer");
        QCOMPARE(QCoreApplication::applicationName(), QStringLiteral("overseer"));
        const QString family = QFontInfo(QApplication::font()).family();
        QVERIFY2(family == QStringLiteral("Noto Sans CJK SC") ||
                     family == QStringLiteral("WenQuanYi Micro Hei"),
                 qPrintable(family));
        QFontMetrics metrics(QApplication::font());
        for (const char32_t c : U"监测模块数据库维护")
            QVERIFY(!c || metrics.inFontUcs4(c));
    }
};

QTEST_MAIN(Widgets)
#include "test_widgets.moc"
