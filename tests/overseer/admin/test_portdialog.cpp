// The port dialog against the private server: the adapter number file shown and written anew,
// digits only, the port lookups in the configuration database, and its way in through the
// unlock dialog.

#include "common/cmysql.h"
#include "common/datasources.h"
#include "common/odbc.h"
#include "overseer/admin/dialogdk.h"
#include "overseer/core/formmain.h"
#include "overseer/core/logindialogs.h"
#include "overseer/program.h"
#include "tests/common/filesizelimit.h"
#include "tests/overseer/admin/admintest.h"
#include "tests/overseer/consoletest.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace lt;
using namespace lt::overseer;

class PortDialog : public QObject
{
    Q_OBJECT
    test::TestInstallation install_;
    std::unique_ptr<FormMain> form_;

    QString portFile() const { return install_.appDir() + "/LocalPort.txt"; }

    DialogDK& open()
    {
        DialogDK& dialog = form_->context().dialog<DialogDK>("DialogDK");
        dialog.show();
        return dialog;
    }

    void pick(DialogDK& dialog, const QString& item)
    {
        dialog.Text_类别->setCurrentText(item);
        emit dialog.Text_类别->textActivated(item);
        test::okAgain(dialog.OKButton); // looked up beside the window
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(install_.useFreshDatabases(), "the private test server does not answer");
        test::sql("INSERT INTO ChatPort VALUES('4000','游戏','1')", "ipdata");
    }

    void init()
    {
        form_ = std::make_unique<FormMain>();
        fillDispatch(*form_);
        form_->context().MySql = std::make_unique<CMySql>();
        QVERIFY(form_->context().MySql->Cnn1.open(dsn::chosenConnectionStrings().config));
        test::writeFile(portFile(), "1");
    }

    void cleanup() { form_.reset(); }

    void opensWithTheFirstField_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("shown");
        QTest::newRow("digit and line break") << QByteArray("2\r\n") << "2";
        QTest::newRow("field and more") << QByteArray("  12,7\r\nrest") << "12";
        QTest::newRow("missing file") << QByteArray("-") << "";
    }

    void opensWithTheFirstField()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, shown);
        if (content == "-")
            QFile::remove(portFile());
        else
            test::writeFile(portFile(), content);
        DialogDK& dialog = open();
        QCOMPARE(dialog.Text_端口->text(), shown);
        QCOMPARE(dialog.Text_端口->selectedText(), shown);
    }

    void takesFiveDigitsOnly()
    {
        DialogDK& dialog = open();
        dialog.Text_端口->clear();
        QTest::keyClicks(dialog.Text_端口, "1a2-3 b45678");
        QCOMPARE(dialog.Text_端口->text(), QStringLiteral("12345"));
    }

    void looksUpThePortsOfTheDatabase()
    {
        DialogDK& dialog = open();
        QCOMPARE(dialog.Text_类别->count(), 3);
        test::MessageLog messages;
        QStringList sent;
        const int observer = db::addStatementObserver([&](const db::StatementEvent& e) {
            if (e.kind == db::StatementEvent::Statement)
                sent << e.dsn + ": " + e.text;
        });
        pick(dialog, "本机");
        QCOMPARE(dialog.Text_端口->text(), QStringLiteral("5677"));
        pick(dialog, "游戏");
        QCOMPARE(dialog.Text_端口->text(), QStringLiteral("4000"));
        QVERIFY(messages.requests.isEmpty());
        pick(dialog, "聊天"); // no row: the box keeps its number
        QCOMPARE(dialog.Text_端口->text(), QStringLiteral("4000"));
        QCOMPARE(messages.texts(), QStringList{"数据库中没有“聊天”的端口号"});
        db::removeStatementObserver(observer);
        // The worker reading beside the window notes its connection's number when it opens it.
        sent.removeAll("RemoteAcTable: SELECT CONNECTION_ID()");
        QCOMPARE(sent,
                 QStringList({"RemoteAcTable: SELECT * FROM ServerIP",
                              "RemoteAcTable: SELECT * FROM ChatPort WHERE Trim(Class)='游戏'",
                              "RemoteAcTable: SELECT * FROM ChatPort WHERE Trim(Class)='聊天'"}));
        QCOMPARE(test::sql("SELECT COUNT(*) FROM ChatPort", "ipdata").trimmed(), "1");
    }

    // A lookup the database does not answer is not a port that is missing.
    void aFailedLookupSaysTheDatabaseDidNotAnswer()
    {
        DialogDK& dialog = open();
        test::sql("RENAME TABLE ChatPort TO ChatPortAway", "ipdata");
        test::MessageLog messages;
        pick(dialog, "游戏");
        test::sql("RENAME TABLE ChatPortAway TO ChatPort", "ipdata");
        QCOMPARE(messages.requests.size(), 1);
        QVERIFY2(messages.texts().value(0).startsWith("读取数据库中的端口号失败："),
                 qPrintable(messages.texts().value(0)));
        QVERIFY(messages.texts().value(0).contains("42S02"));
    }

    void confirmWritesOneLine()
    {
        test::writeFile(portFile(), "2,old\r\nsecond line\r\n");
        DialogDK& dialog = open();
        dialog.Text_端口->setText("3");
        test::MessageLog messages;
        dialog.OKButton->click();
        QCOMPARE(test::readFile(portFile()), QByteArray("3\r\n"));
        QCOMPARE(messages.texts(), QStringList{"重新开机后有效"});
        QVERIFY(!form_->context().isLoaded("DialogDK"));
    }

    void refusesWhatCannotBeKept()
    {
        DialogDK& dialog = open();
        test::MessageLog messages;
        dialog.Text_端口->clear();
        dialog.OKButton->click();
        QCOMPARE(test::readFile(portFile()), QByteArray("1"));

        QFile::remove(portFile());
        QVERIFY(QDir().mkdir(portFile())); // cannot be written
        dialog.Text_端口->setText("2");
        dialog.OKButton->click();
        QVERIFY(QDir().rmdir(portFile()));
        QCOMPARE(
            messages.texts(),
            QStringList({"请输入端口号", "写入文件 LocalPort.txt 失败，请检查程序目录是否可写"}));
        QVERIFY(form_->context().isLoaded("DialogDK"));
    }

    void fullDiskKeepsTheOldNumber()
    {
        test::writeFile(portFile(), "2\r\n");
        DialogDK& dialog = open();
        dialog.Text_端口->setText("12345");
        test::MessageLog messages;
        {
            test::FileSizeLimit limit(3); // room for "123" only
            QVERIFY(limit.active());
            dialog.OKButton->click();
        }
        QCOMPARE(messages.texts(),
                 QStringList{"写入文件 LocalPort.txt 失败，请检查程序目录是否可写"});
        QCOMPARE(test::readFile(portFile()), QByteArray("2\r\n"));
        QVERIFY(form_->context().isLoaded("DialogDK"));
        // With room again the same number is kept.
        dialog.OKButton->click();
        QCOMPARE(test::readFile(portFile()), QByteArray("12345\r\n"));
        QCOMPARE(messages.texts().last(), QStringLiteral("重新开机后有效"));
    }

    void damagedFileIsNoticed()
    {
        test::writeFile(portFile(), "2\x81\r\n");
        test::MessageLog messages;
        DialogDK& dialog = open();
        QCOMPARE(messages.texts(), QStringList{DialogDK::kDamagedFileText});
        QCOMPARE(dialog.Text_端口->text(), QString());
    }

    void reachedOnlyThroughTheUnlock()
    {
        QAction* item = form_->menuItem("登录", "修改系统使用端口号");
        test::ModalScript cancelled({[](QWidget* modal) {
            auto* unlock = qobject_cast<DialogKL*>(modal);
            QVERIFY(unlock);
            unlock->cmdCancel->click();
        }});
        item->trigger();
        QCOMPARE(cancelled.stepsRun(), 1);
        QVERIFY(!form_->context().isLoaded("DialogDK"));

        bool portDialogShown = false;
        test::ModalScript accepted({[](QWidget* modal) {
                                        auto* unlock = qobject_cast<DialogKL*>(modal);
                                        QVERIFY(unlock);
                                        unlock->txtUserName->setText("ADM");
                                        unlock->txtPassword->setText("739");
                                        unlock->cmdOK->click();
                                    },
                                    [&](QWidget* modal) {
                                        auto* dialog = qobject_cast<DialogDK*>(modal);
                                        portDialogShown = dialog != nullptr;
                                        if (dialog)
                                            dialog->CancelButton->click();
                                    }});
        item->trigger();
        QVERIFY(portDialogShown);
        QCOMPARE(test::readFile(portFile()), QByteArray("1"));
    }
};

QTEST_MAIN(PortDialog)
#include "test_portdialog.moc"
