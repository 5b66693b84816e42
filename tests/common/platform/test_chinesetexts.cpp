// What a Chinese-speaking administrator reads in the boxes every program shows: Qt's own
// dialogs, buttons and menus in Chinese once the program is prepared, a message box wide enough
// for its whole caption, and a failure's reason as the box's text with the database driver's
// words only in its detail area.

#include "common/dbmessages.h"
#include "common/odbc.h"
#include "common/widgets/guiapp.h"
#include "common/widgets/messages.h"
#include "common/widgets/translations.h"
#include "tests/support/testsupport.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileIconProvider>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>

using namespace lt;

namespace
{

const QString kTitle = QStringLiteral("Lantrove系统");

bool hasChinese(const QString& text)
{
    for (QChar c : text) {
        if (c.unicode() >= 0x4E00 && c.unicode() <= 0x9FFF)
            return true;
    }
    return false;
}

bool hasLatinLetter(const QString& text)
{
    for (QChar c : text) {
        if ((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'))
            return true;
    }
    return false;
}

// The message box the next ui::message shows, as it is on the screen, then closed.
struct ShownBox {
    QString text;
    QString detail;
    int width = 0;
    QStringList buttons;
};

ShownBox showMessage(const QString& text, ui::Icon icon = ui::Icon::Exclamation)
{
    ShownBox shown;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        QVERIFY(box);
        QVERIFY(QTest::qWaitForWindowExposed(box));
        shown.text = box->text();
        shown.detail = box->detailedText();
        shown.width = box->width();
        for (QAbstractButton* b : box->buttons())
            shown.buttons << b->text();
        box->done(QMessageBox::Ok);
    });
    ui::message(nullptr, text, icon);
    return shown;
}

} // namespace

class ChineseTexts : public QObject
{
    Q_OBJECT
    test::TestInstallation install_;

private slots:
    void initTestCase()
    {
        ui::prepareApplication(*qApp, "overseer", kTitle);
        ui::setMessageHandler({});
    }

    // Qt's standard buttons, the file dialog and an edit box's menu speak Chinese.
    void qtDialogsSpeakChinese()
    {
        QVERIFY2(QFile::exists(ui::qtCatalogueDirectory() + u'/' + ui::kQtCatalogue + ".qm"),
                 "Debian's qt6-translations-l10n is not installed");
        QDialogButtonBox buttons(QDialogButtonBox::Save | QDialogButtonBox::Cancel |
                                 QDialogButtonBox::Open | QDialogButtonBox::Close);
        for (QAbstractButton* b : buttons.buttons())
            QVERIFY2(hasChinese(b->text()) && !hasLatinLetter(b->text().remove("&")),
                     qPrintable(b->text()));
        QCOMPARE(buttons.button(QDialogButtonBox::Save)->text().remove("(&S)"), "保存");

        QFileDialog files(nullptr, "打印到 PDF", QDir::tempPath(), "PDF 文件 (*.pdf)");
        files.setOption(QFileDialog::DontUseNativeDialog);
        files.setAcceptMode(QFileDialog::AcceptSave);
        QStringList labels;
        for (QLabel* label : files.findChildren<QLabel*>())
            if (!label->text().isEmpty())
                labels << label->text();
        QVERIFY2(!labels.isEmpty(), "the file dialog has no labels");
        // Mnemonics such as "(&N)" are the only Latin letters a Chinese label has.
        static const QRegularExpression mnemonic("\\(&[A-Za-z]\\)");
        for (const QString& label : labels)
            QVERIFY2(!hasLatinLetter(QString(label).remove(mnemonic)),
                     qPrintable(labels.join('|')));

        // The kinds the file dialog lists, which Qt's catalogue lacks.
        QCOMPARE(QFileIconProvider().type(QFileInfo(QDir::tempPath())), "文件夹");

        QLineEdit edit("文字");
        std::unique_ptr<QMenu> menu(edit.createStandardContextMenu());
        for (QAction* action : menu->actions()) {
            if (!action->isSeparator())
                QVERIFY2(hasChinese(action->text()), qPrintable(action->text()));
        }
    }

    // Short messages used to cut the caption to "L…": the box is as wide as the caption needs
    // with the frame's icon and buttons beside it, whatever its text.
    void captionShowsWhole()
    {
        QFont bold = QApplication::font();
        bold.setBold(true);
        const int needed = QFontMetrics(bold).horizontalAdvance(kTitle) + 100;
        // Without help a message box is narrower than that, so the check below can fail.
        QMessageBox plain(QMessageBox::Warning, kTitle, "请填写终端", QMessageBox::Ok);
        plain.show();
        QVERIFY(QTest::qWaitForWindowExposed(&plain));
        QVERIFY2(plain.width() < needed, qPrintable(QString::number(plain.width())));
        plain.close();

        for (const char* text : {"请填写终端", "打印页设置不对", "域名不能重复"}) {
            const ShownBox box = showMessage(QString::fromUtf8(text));
            QCOMPARE(box.text, QString::fromUtf8(text));
            QVERIFY2(
                box.width >= needed,
                qPrintable(QStringLiteral("%1 < %2 for %3").arg(box.width).arg(needed).arg(text)));
        }
        QVERIFY(ui::captionWidth(kTitle, QApplication::font()) >= needed);
    }

    // The server down while the log is read: the reason is the text, the driver's words are
    // behind the detail button only.
    void driverWordsOnlyInTheDetail()
    {
        const QString driver =
            "[ma-3.1.15][10.11.6-MariaDB]Write error: Broken pipe (32) on socket";
        const ShownBox page =
            showMessage("读取日志记录失败，请检查与安全控制中心数据库的连接。\n" + driver);
        QCOMPARE(page.text, "读取日志记录失败，请检查与安全控制中心数据库的连接。");
        QCOMPARE(page.detail, driver);
        QCOMPARE(page.buttons.size(), 2); // "确定" and the button that opens the detail
        for (const QString& caption : page.buttons)
            QVERIFY2(hasChinese(caption) && !hasLatinLetter(caption), qPrintable(caption));

        db::Error lost;
        lost.set = true;
        lost.sqlState = "08S01";
        lost.native = 2013;
        lost.message = "Lost connection to server during query";
        const ShownBox described = showMessage("无法保存。" + db::describeFailure(lost));
        QCOMPARE(described.text, "无法保存。" + db::kServerUnreachable);
        QCOMPARE(described.detail, "[08S01] Lost connection to server during query");

        const ShownBox none = showMessage("请填写终端");
        QVERIFY(none.detail.isEmpty());
        QVERIFY(!none.buttons.join(' ').contains("详细"));
    }

    void splitDriverWords_data()
    {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("detail");
        QTest::newRow("describeFailure")
            << "删除失败。\n无法连接数据库服务器，请检查数据库服务是否启动。（详细信息：[HYT00] "
               "the database server does not answer）"
            << "删除失败。\n无法连接数据库服务器，请检查数据库服务是否启动。"
            << "[HYT00] the database server does not answer";
        QTest::newRow("detail line") << "无法连接数据库服务器。\n详细信息：[08004] Can't connect"
                                     << "无法连接数据库服务器。"
                                     << "[08004] Can't connect";
        QTest::newRow("sqlstate line") << "读取数据库中的端口号失败：数据库操作失败。\n[42S22] "
                                          "Unknown column 'x'"
                                       << "读取数据库中的端口号失败：数据库操作失败。"
                                       << "[42S22] Unknown column 'x'";
        QTest::newRow("driver manager") << "统计失败\n[unixODBC][Driver Manager]Data source "
                                           "name not found"
                                        << "统计失败"
                                        << "[unixODBC][Driver Manager]Data source name not found";
        QTest::newRow("paths and brackets stay")
            << "无法写入文件：\n/tmp/备份[1].bak\n[注意] 原有的文件未改变"
            << "无法写入文件：\n/tmp/备份[1].bak\n[注意] 原有的文件未改变"
            << "";
        QTest::newRow("nothing but the driver") << "[ma-3.1.15]Access denied"
                                                << "[ma-3.1.15]Access denied"
                                                << "";
    }

    void splitDriverWords()
    {
        QFETCH(QString, message);
        QFETCH(QString, text);
        QFETCH(QString, detail);
        const db::MessageParts parts = db::splitDriverWords(message);
        QCOMPARE(parts.text, text);
        QCOMPARE(parts.detail, detail);
    }
};

QTEST_MAIN(ChineseTexts)
#include "test_chinesetexts.moc"
