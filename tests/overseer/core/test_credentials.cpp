// The unlock dialog and the change of the administrator's name and password, through the "登录"
// menu of the real main window and the real credential file.

#include "common/gbk.h"
#include "common/sharedfiles.h"
#include "overseer/core/dialogpw.h"
#include "overseer/core/formmain.h"
#include "overseer/core/logindialogs.h"
#include "overseer/program.h"
#include "tests/common/filesizelimit.h"
#include "tests/overseer/consoletest.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

using namespace lt;
using namespace lt::overseer;

namespace
{

test::ModalScript::Step unlockWith(const QString& name, const QString& password)
{
    return [=](QWidget* modal) {
        auto* dialog = qobject_cast<DialogKL*>(modal);
        QVERIFY(dialog);
        QCOMPARE(dialog->windowTitle(), QStringLiteral("请输入管理员名称和口令"));
        dialog->txtUserName->setText(name);
        dialog->txtPassword->setText(password);
        dialog->cmdOK->click();
        if (QApplication::activeModalWidget() == dialog) // refused: give up
            dialog->cmdCancel->click();
    };
}

test::ModalScript::Step change(const QString& name, const QString& password,
                               const QString& confirmation)
{
    return [=](QWidget* modal) {
        auto* dialog = qobject_cast<DialogPW*>(modal);
        QVERIFY(dialog);
        QCOMPARE(dialog->windowTitle(), QStringLiteral("更改管理员名称和口令"));
        dialog->txtUserName->setText(name);
        dialog->txtPassword0->setText(password);
        dialog->txtPassword1->setText(confirmation);
        dialog->OKButton->click();
    };
}

} // namespace

class CredentialDialogs : public QObject
{
    Q_OBJECT
    test::TestInstallation install_;
    std::unique_ptr<FormMain> form_;

    QString file() const { return install_.systemDir() + "/KVRTMQLP.DLL"; }

    bool unlock(const QString& name, const QString& password)
    {
        test::ModalScript script({unlockWith(name, password)});
        return form_->解锁();
    }

private slots:
    void init()
    {
        form_ = std::make_unique<FormMain>();
        fillDispatch(*form_);
        form_->context().LoginPassed = true; // as after the start-up login
        test::writeFile(file(), "ADM\r\n739\r\n");
    }

    void cleanup() { form_.reset(); }

    void changeThroughTheMenu()
    {
        test::MessageLog messages;
        test::ModalScript script(
            {unlockWith("ADM", "739"), change("  新管理员 ", "s3cret ", "s3cret")});
        form_->menuItem("登录", "修改登录名称和口令")->trigger();
        QCOMPARE(script.stepsRun(), 2);
        QVERIFY(messages.requests.isEmpty());
        // Trimmed, in the system's code page, one line each.
        QCOMPARE(test::readFile(file()), gbk::encode(u"新管理员\r\ns3cret\r\n"));
        QVERIFY(!form_->context().isLoaded("DialogPW"));

        // From now on only the new pair unlocks.
        QVERIFY(!unlock("ADM", "739"));
        QCOMPARE(messages.texts(), QStringList{"无效的用户名或密码，请重试!"});
        QVERIFY(unlock("新管理员", "s3cret"));
    }

    void refusedChanges_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("confirmation");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("focus");
        QTest::newRow("no name") << "  "
                                 << "pw"
                                 << "pw"
                                 << "管理员名称不能为空"
                                 << "txtUserName";
        QTest::newRow("no password") << "ADM"
                                     << "   "
                                     << "   "
                                     << "口令不能为空"
                                     << "txtPassword(0)";
        QTest::newRow("confirmation with a blank") << "ADM"
                                                   << "pw"
                                                   << "pw "
                                                   << "两次输入口令不一致 "
                                                   << "txtPassword(0)";
        QTest::newRow("confirmation differs") << "ADM"
                                              << "pw"
                                              << "pW"
                                              << "两次输入口令不一致 "
                                              << "txtPassword(0)";
    }

    void refusedChanges()
    {
        QFETCH(QString, name);
        QFETCH(QString, password);
        QFETCH(QString, confirmation);
        QFETCH(QString, message);
        QFETCH(QString, focus);
        DialogPW& dialog = form_->context().dialog<DialogPW>("DialogPW");
        dialog.show();
        dialog.txtUserName->setText(name);
        dialog.txtPassword0->setText(password);
        dialog.txtPassword1->setText(confirmation);
        test::MessageLog messages;
        dialog.OKButton->click();
        QCOMPARE(messages.texts(), QStringList{message});
        QCOMPARE(messages.requests[0].icon, ui::Icon::None);
        QCOMPARE(dialog.focusWidget()->objectName(), focus);
        QVERIFY(dialog.isVisible());
        QCOMPARE(test::readFile(file()), QByteArray("ADM\r\n739\r\n"));
    }

    void boxesTakeSixteenCharacters()
    {
        DialogPW& dialog = form_->context().dialog<DialogPW>("DialogPW");
        for (QLineEdit* box : {dialog.txtUserName, dialog.txtPassword0, dialog.txtPassword1}) {
            QTest::keyClicks(box, "abcdefghijklmnopqrst");
            QCOMPARE(box->text(), QStringLiteral("abcdefghijklmnop"));
        }
    }

    void unwritableFileIsReported()
    {
        QFile::remove(file());
        QVERIFY(QDir().mkdir(file())); // a directory where the file should be
        form_->context().CredFilePath = file();
        DialogPW& dialog = form_->context().dialog<DialogPW>("DialogPW");
        dialog.show();
        dialog.txtUserName->setText("ADM");
        dialog.txtPassword0->setText("new");
        dialog.txtPassword1->setText("new");
        test::MessageLog messages;
        dialog.OKButton->click();
        QVERIFY(QDir().rmdir(file()));
        QCOMPARE(messages.texts(), QStringList{"无法写入系统文件，管理员名称和口令没有改变"});
        QVERIFY(form_->context().isLoaded("DialogPW"));
    }

    void fullDiskKeepsTheOldPair()
    {
        form_->context().CredFilePath = file();
        DialogPW& dialog = form_->context().dialog<DialogPW>("DialogPW");
        dialog.show();
        dialog.txtUserName->setText("新管理员");
        dialog.txtPassword0->setText("s3cret");
        dialog.txtPassword1->setText("s3cret");
        test::MessageLog messages;
        {
            test::FileSizeLimit limit(4); // the disk fills up after four bytes
            QVERIFY(limit.active());
            dialog.OKButton->click();
        }
        QCOMPARE(messages.texts(), QStringList{"无法写入系统文件，管理员名称和口令没有改变"});
        QCOMPARE(messages.requests[0].icon, ui::Icon::Exclamation);
        QVERIFY(form_->context().isLoaded("DialogPW"));
        QCOMPARE(test::readFile(file()), QByteArray("ADM\r\n739\r\n"));
        dialog.CancelButton->click();
        QVERIFY(unlock("ADM", "739"));
    }

    void damagedFileAdmitsNobody()
    {
        test::writeFile(file(), "ADM\r\n7\x81\x30\r\n"); // a byte pair that is not GBK
        test::MessageLog messages;
        QVERIFY(!unlock("ADM", "7\uFFFD0"));
        QVERIFY(!unlock("ADM", "7?0"));
        QCOMPARE(messages.texts(), (QStringList{"系统文件被破坏!", "系统文件被破坏!"}));
    }

    void unstorableNamesAreRefused_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("focus");
        QTest::newRow("comma in the name") << "A,B"
                                           << "pw"
                                           << "管理员名称不能含有逗号“,”"
                                           << "txtUserName";
        QTest::newRow("comma in the password") << "ab"
                                               << "ab,cd"
                                               << "口令不能含有逗号“,”"
                                               << "txtPassword(0)";
        QTest::newRow("leading quote") << " \"ADM"
                                       << "pw"
                                       << "管理员名称不能以双引号“\"”开头"
                                       << "txtUserName";
        QTest::newRow("outside GBK") << "ADM"
                                     << "Ä€ö"
                                     << "口令中的字符“Ä”无法保存，请换用其他字符"
                                     << "txtPassword(0)";
    }

    void unstorableNamesAreRefused()
    {
        QFETCH(QString, name);
        QFETCH(QString, password);
        QFETCH(QString, message);
        QFETCH(QString, focus);
        DialogPW& dialog = form_->context().dialog<DialogPW>("DialogPW");
        dialog.show();
        dialog.txtUserName->setText(name);
        dialog.txtPassword0->setText(password);
        dialog.txtPassword1->setText(password.trimmed());
        test::MessageLog messages;
        dialog.OKButton->click();
        QCOMPARE(messages.texts(), QStringList{message});
        QCOMPARE(dialog.focusWidget()->objectName(), focus);
        QVERIFY(dialog.isVisible());
        QCOMPARE(test::readFile(file()), QByteArray("ADM\r\n739\r\n"));
    }

    // Generated names and passwords: the dialog takes exactly those that the credential file
    // gives back unchanged, and after each change the next unlock takes the new pair.
    void generatedChangesRoundTrip()
    {
        static const QStringList safe = {"a",  "Z",  "9",    " ",      "\t", "'",     "€",
                                         "中", "付", "在线", "\u3000", "·",  "管理员"};
        static const QStringList hostile = {",", "\"", "Ä", "ö", "\U0001F600", "\u00A0"};
        QRandomGenerator random(8);
        QTemporaryDir scratch;
        int accepted = 0;
        int refused = 0;
        for (int i = 0; i < 160; ++i) {
            QString typed[2];
            for (QString& t : typed) {
                const int n = 1 + int(random.bounded(8));
                for (int k = 0; k < n; ++k) {
                    const QStringList& from = random.bounded(100) < 88 ? safe : hostile;
                    t += from[int(random.bounded(from.size()))];
                }
                t = t.left(DialogPW::kMaxLength);
            }
            const QString name = typed[0].trimmed();
            const QString password = typed[1].trimmed();
            if (name.isEmpty() || password.isEmpty())
                continue;
            // What the file itself gives back, written and read without the dialog.
            const QString probe = scratch.filePath("probe");
            QVERIFY(writeCredentialFile(probe, name, password));
            const auto back = readCredentialFile(probe);
            const bool storable = back && back->name == name && back->password == password;

            test::writeFile(file(), "ADM\r\n739\r\n");
            DialogPW& dialog = form_->context().dialog<DialogPW>("DialogPW");
            dialog.show();
            dialog.txtUserName->setText(typed[0]);
            dialog.txtPassword0->setText(typed[1]);
            dialog.txtPassword1->setText(password);
            test::MessageLog messages;
            dialog.OKButton->click();
            const QString label = typed[0] + " / " + typed[1];
            QVERIFY2(form_->context().isLoaded("DialogPW") == !storable, qPrintable(label));
            if (!storable) {
                ++refused;
                QCOMPARE(messages.requests.size(), 1);
                QVERIFY2(test::readFile(file()) == "ADM\r\n739\r\n", qPrintable(label));
                dialog.CancelButton->click();
                continue;
            }
            QVERIFY(messages.requests.isEmpty());
            ++accepted;
            QVERIFY2(unlock(name, password), qPrintable(label));
            if (name != "ADM" || password != "739") {
                test::MessageLog refusal;
                QVERIFY(!unlock("ADM", "739"));
            }
            form_->context().LoginPassed = true;
        }
        qInfo("%d changes taken and logged in with, %d refused", accepted, refused);
        QVERIFY(accepted > 20);
        QVERIFY(refused > 20);
    }

    void cancelledUnlockOpensNothing()
    {
        test::ModalScript script({[](QWidget* modal) {
            auto* dialog = qobject_cast<DialogKL*>(modal);
            QVERIFY(dialog);
            dialog->txtUserName->setText("ADM");
            dialog->txtPassword->setText("739");
            dialog->cmdCancel->click();
        }});
        form_->修改口令函数();
        QCOMPARE(script.stepsRun(), 1);
        QVERIFY(!form_->context().LoginPassed);
        QVERIFY(!form_->context().isLoaded("DialogPW"));

        // Closing the unlock dialog any other way refuses as well.
        form_->context().LoginPassed = true;
        test::ModalScript escape({[](QWidget* modal) { QTest::keyClick(modal, Qt::Key_Escape); }});
        QVERIFY(!form_->解锁());
    }
};

QTEST_MAIN(CredentialDialogs)
#include "test_credentials.moc"
