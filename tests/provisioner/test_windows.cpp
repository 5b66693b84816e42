// The provisioner's windows on the offscreen platform: the login, the address boxes and the
// buttons of the main window, the initialisation and adapter dialogs, the hidden export.

#include "common/blacklist.h"
#include "common/installation.h"
#include "common/sharedfiles.h"
#include "common/widgets/guiapp.h"
#include "common/widgets/messages.h"
#include "provisioner/dialogdl.h"
#include "provisioner/dialogst.h"
#include "provisioner/dialogwk.h"
#include "provisioner/formmain.h"
#include "provisioner/provisioning.h"
#include "provisioner/texts.h"
#include "tests/provisioner/support.h"
#include "tests/support/testsupport.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace lt;
using namespace lt::prov;

namespace
{

// Runs action on the modal dialog that the next call opens.
template <typename Dialog> void onNextModal(std::function<void(Dialog*)> action)
{
    QTimer::singleShot(0, [action] {
        auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        action(dialog);
    });
}

// Message boxes answered from a list (Yes when it runs out) and recorded as "icon text".
struct Messages {
    QStringList shown;
    QList<ui::Answer> answers;
    Messages()
    {
        ui::setMessageHandler([this](const ui::MessageRequest& r) {
            shown << QStringLiteral("%1 %2").arg(int(r.icon)).arg(r.text);
            return answers.isEmpty() ? ui::Answer::Yes : answers.takeFirst();
        });
    }
    ~Messages() { ui::setMessageHandler({}); }
};
QString plain(const QString& text)
{
    return QStringLiteral("%1 %2").arg(int(ui::Icon::None)).arg(text);
}
QString warning(const QString& text)
{
    return QStringLiteral("%1 %2").arg(int(ui::Icon::Exclamation)).arg(text);
}

QByteArray threeAdapters()
{
    QByteArray b;
    for (const char* name : {"\\Device\\NPF_{A}", "\\Device\\NPF_{B}", "\\Device\\NPF_{C}", ""}) {
        for (const char* c = name; *c; ++c)
            b.append(*c).append('\0');
        b.append(2, '\0');
    }
    return b + QByteArray("eth0 - 10.0.0.1\0eth1 - 10.0.0.2\0eth2 - 10.0.0.3\0", 48);
}

} // namespace

class ProvisionerWindows : public QObject
{
    Q_OBJECT
    test::TestInstallation install_;

private slots:
    void initTestCase()
    {
        ui::setProgramTitle(text::kProgramTitle);
        install_.registerLocal();
    }

    void loginDialog()
    {
        Messages m;
        DialogDL login;
        bool stayed = false;
        QString focused, selected;
        onNextModal<DialogDL>([&](DialogDL* d) {
            d->txtUserName->setText("ADM");
            d->txtPassword->setText("73");
            d->cmdOK->click();
            stayed = d->isVisible();
            focused = d->focusWidget() ? d->focusWidget()->objectName() : QString();
            selected = d->txtPassword->selectedText();
            d->txtPassword->setText("739");
            d->cmdOK->click();
        });
        QCOMPARE(login.exec(), int(QDialog::Accepted));
        QVERIFY(login.loginAccepted());
        QVERIFY(stayed);
        QCOMPARE(focused, QStringLiteral("txtPassword"));
        QCOMPARE(selected, QStringLiteral("73"));
        QCOMPARE(m.shown, QStringList{warning(text::kInvalidLogin)});

        onNextModal<DialogDL>([](DialogDL* d) { d->cmdCancel->click(); });
        login.exec();
        QVERIFY(!login.loginAccepted());

        // A credential file that cannot be read ends the dialog.
        const QString cred = credentialFilePath();
        QVERIFY(QFile::rename(cred, cred + ".away"));
        onNextModal<DialogDL>([](DialogDL* d) {
            d->txtUserName->setText("ADM");
            d->txtPassword->setText("739");
            d->cmdOK->click();
        });
        login.exec();
        QVERIFY(QFile::rename(cred + ".away", cred));
        QVERIFY(!login.loginAccepted());

        // Without BlackName.dat the dialog does not even show.
        QVERIFY(QFile::rename(blackNameFilePath(), blackNameFilePath() + ".away"));
        QCOMPARE(login.exec(), int(QDialog::Rejected));
        QVERIFY(QFile::rename(blackNameFilePath() + ".away", blackNameFilePath()));
        QCOMPARE(m.shown.mid(1),
                 (QStringList{warning(text::kSystemFileBroken), warning(text::kBlackNameMissing)}));
    }

    void addressBoxesAndRegistration()
    {
        Messages m;
        FormMain w;
        w.start();
        QCOMPARE(w.windowTitle(), text::kMainCaption);
        QCOMPARE(w.addressParts(), (AddressParts{"0", "0", "0", "0"}));
        for (const char* typed : {"256", "a"}) {
            w.Text1->clear();
            QTest::keyClicks(w.Text1, typed);
            QCOMPARE(w.Text1->text(), QString());
        }
        QTest::keyClicks(w.Text1, "255");
        QCOMPARE(w.Text1->text(), QStringLiteral("255"));

        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        const QByteArray before = test::readFile(Installation::systemDir() + "/odbc.ini");
        w.Text3->clear();
        w.Command1->click();
        QCOMPARE(m.shown, QStringList{plain(text::kAddressPartEmpty)});
        QVERIFY(w.Text3->hasFocus());
        QCOMPARE(test::readFile(Installation::systemDir() + "/odbc.ini"), before);

        for (QLineEdit* box : {w.Text1, w.Text2, w.Text3, w.Text4})
            box->setText("0");
        w.Command1->click();
        QCOMPARE(m.shown.last(), plain(text::kRegistered));
        QCOMPARE(serverModeText(), QStringLiteral("localhost"));

        // A registered address comes back into the boxes at the next start.
        registerServer({"10", "1", "2", "3"});
        FormMain again;
        again.start();
        QCOMPARE(again.addressParts(), (AddressParts{"10", "1", "2", "3"}));
        registerServer({"0", "0", "0", "0"});
    }

    void connectionTestShowsItsProgress()
    {
        Messages m;
        FormMain w;
        w.start();
        QStringList statuses;
        connect(w.statusBar(), &QStatusBar::messageChanged, this,
                [&](const QString& s) { statuses << s; });
        QSignalSpy finished(&w, &FormMain::finished);
        w.Command_Test->click();
        QVERIFY(finished.wait(30000));
        QCOMPARE(statuses, (QStringList{text::kConnectingLog, "", text::kConnectingConfig, ""}));
        QCOMPARE(m.shown,
                 (QStringList{warning(text::kLogConnected), warning(text::kConfigConnected)}));
        QVERIFY(!QApplication::overrideCursor());
    }

    void initialisationDialog()
    {
        Messages m;
        FormMain w;
        w.start();
        test::initialiseDatabases();
        test::sql("INSERT INTO logtable (Name) VALUES ('kept');", "dovrik");
        test::sql("DELETE FROM classtable;", "ipdata");
        bool stayed = false;
        onNextModal<DialogSt>([&](DialogSt* d) {
            d->OKButton->click(); // nothing checked: the dialog stays
            stayed = d->isVisible();
            d->Check1_0->setChecked(true);
            d->Check1_1->setChecked(true);
            d->OKButton->click();
        });
        m.answers = {ui::Answer::No, ui::Answer::Yes};
        QSignalSpy finished(&w, &FormMain::finished);
        w.Command_Init->click();
        QVERIFY(finished.wait(60000));
        QVERIFY(stayed);
        QCOMPARE(m.shown, (QStringList{warning(text::kAskInitLog), warning(text::kAskInitConfig)}));
        QCOMPARE(test::sql("SELECT Name FROM logtable", "dovrik"), QStringLiteral("kept\n"));
        QCOMPARE(test::sql("SELECT COUNT(*) FROM classtable", "ipdata"), QStringLiteral("12\n"));
        const auto delivered = blacklist::read(blackNameFilePath());
        QCOMPARE(w.statusBar()->currentMessage(),
                 text::kConfigInitialised.arg(delivered->records.size()));

        bool uncheckedAtOpen = false;
        onNextModal<DialogSt>([&](DialogSt* d) {
            uncheckedAtOpen = !d->Check1_0->isChecked() && !d->Check1_1->isChecked();
            d->CancelButton->click();
        });
        w.Command_Init->click();
        QVERIFY(uncheckedAtOpen);
        QVERIFY(w.Command_Init->isEnabled()); // nothing was started
        QCOMPARE(m.shown.size(), 2);
    }

    // The upgrade key adds what an older log database lacks and keeps its rows; asked first.
    void upgradeKey()
    {
        Messages m;
        FormMain w;
        w.start();
        test::initialiseDatabases();
        test::sql("INSERT INTO logtable (Name,IP,AcTime,URL,F) VALUES "
                  "('a','10.0.0.1','20-05-01 10:00:00','x.cn',1),"
                  "('b','10.0.0.2','20-05-02 11:00:00','y.cn',1);"
                  "DROP TRIGGER logtable_forget_deleted; DROP TRIGGER logtable_forget_changed;"
                  "DROP TABLE summarydays, daypages, dayterminals;"
                  "ALTER TABLE logtable DROP INDEX IpTime;",
                  "dovrik");
        QSignalSpy finished(&w, &FormMain::finished);
        m.answers = {ui::Answer::No};
        w.Command_Upgrade->click();
        QCOMPARE(finished.count(), 0);
        QCOMPARE(test::sql("SHOW TABLES LIKE 'daypages'", "dovrik"), QString());

        w.Command_Upgrade->click();
        QVERIFY(!w.Command_Upgrade->isEnabled() && !w.Command_Init->isEnabled());
        QVERIFY(finished.wait(60000));
        QCOMPARE(m.shown,
                 (QStringList{warning(text::kUpgradeQuestion), warning(text::kUpgradeQuestion)}));
        QCOMPARE(w.statusBar()->currentMessage(),
                 QStringLiteral("安全控制中心数据库升级完毕，新建：IpTime、summarydays、daypages、"
                                "dayterminals、logtable_forget_deleted、logtable_forget_changed"));
        QCOMPARE(test::sql("SELECT GROUP_CONCAT(Name ORDER BY Name) FROM logtable", "dovrik"),
                 QStringLiteral("a,b\n"));
        QCOMPARE(test::sql("SELECT GROUP_CONCAT(Day ORDER BY Day) FROM summarydays", "dovrik"),
                 QStringLiteral("20-05-01,20-05-02\n"));
        QVERIFY(w.Command_Upgrade->isEnabled());

        w.Command_Upgrade->click();
        QVERIFY(finished.wait(60000));
        QCOMPARE(w.statusBar()->currentMessage(),
                 QStringLiteral("安全控制中心数据库已是最新，无需升级"));
    }

    // A server that accepts the connection and never greets: the test waits for the driver,
    // and the window goes on answering meanwhile.
    void connectingBesideTheWindow()
    {
        Messages m;
        QTcpServer silent;
        QVERIFY(silent.listen(QHostAddress::LocalHost));
        FormMain w;
        w.start();
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        for (QLineEdit* box : {w.Text1, w.Text2, w.Text3, w.Text4})
            box->clear();
        QTest::keyClicks(w.Text1, "127");
        w.Text2->setText("0");
        w.Text3->setText("0");
        w.Text4->setText("1");
        w.Text_端口->setText(QString::number(silent.serverPort()));
        w.Command1->click();
        QCOMPARE(m.shown, QStringList{plain(text::kRegistered)});

        int ticks = 0;
        QTimer timer;
        connect(&timer, &QTimer::timeout, this, [&] { ++ticks; });
        timer.start(20);
        QSignalSpy finished(&w, &FormMain::finished);
        w.Command_Test->click();
        QTRY_VERIFY_WITH_TIMEOUT(silent.hasPendingConnections(), 5000);
        QTest::qWait(500); // the driver waits for the greeting
        QCOMPARE(finished.count(), 0);
        QVERIFY2(ticks >= 10, qPrintable(QString::number(ticks)));
        QCOMPARE(w.statusBar()->currentMessage(), text::kConnectingLog);
        QVERIFY(!w.Command_Test->isEnabled() && !w.Command_Init->isEnabled() &&
                !w.Command1->isEnabled());
        QVERIFY(w.Command_Close->isEnabled());
        // Typing goes on, and a second test cannot be started.
        QTest::keyClicks(w.Text4, "2");
        QCOMPARE(w.Text4->text(), QStringLiteral("12"));
        w.Command_Test->click();
        w.testConnections();

        // The server hangs up: both connections fail at once.
        silent.close();
        while (QTcpSocket* s = silent.nextPendingConnection())
            s->abort();
        QVERIFY(finished.wait(30000));
        QCOMPARE(finished.count(), 1);
        QVERIFY(w.Command_Test->isEnabled());
        QCOMPARE(m.shown.mid(1), (QStringList{warning(text::kLogNotConnected),
                                              warning(text::kConfigNotConnected)}));

        // What stays in the status bar is Chinese: what failed and why; the driver's words are
        // only its tool tip.
        const QString failure = w.statusBar()->currentMessage();
        QVERIFY2(failure.startsWith(text::kConfigNotConnected + "："), qPrintable(failure));
        QVERIFY(failure.size() > text::kConfigNotConnected.size() + 1);
        QVERIFY2(!failure.contains(QRegularExpression("[A-Za-z]")), qPrintable(failure));
        QVERIFY(!w.statusBar()->toolTip().isEmpty());
        QVERIFY(!QApplication::overrideCursor());

        // A later success clears it.
        for (QLineEdit* box : {w.Text1, w.Text2, w.Text3, w.Text4})
            box->setText("0");
        w.Command1->click();
        QCOMPARE(w.statusBar()->currentMessage(), QString());
        QCOMPARE(w.statusBar()->toolTip(), QString());
        w.Command_Test->click();
        QVERIFY(finished.wait(30000));
        QCOMPARE(w.statusBar()->currentMessage(), QString());
        QCOMPARE(m.shown.last(), warning(text::kConfigConnected));
    }

    void portBox()
    {
        Messages m;
        FormMain w;
        w.start();
        QCOMPARE(w.Text_端口->text(), QStringLiteral("3306"));
        QTest::keyClicks(w.Text_端口, "ab");
        QCOMPARE(w.Text_端口->text(), QStringLiteral("3306")); // digits only
        w.Text1->setText("10");
        w.Text_端口->setText("70000");
        w.Command1->click();
        QCOMPARE(m.shown, QStringList{warning(text::kBadPort)});
        QCOMPARE(test::odbcIniSection("RemoteAcTable").value(6),
                 QStringLiteral("Server=localhost"));
        w.Text_端口->setText("3310");
        w.Command1->click();
        QCOMPARE(test::odbcIniSection("RemoteAcTable").value(5), QStringLiteral("Port=3310"));
        QCOMPARE(test::odbcIniSection("RemoteAcTable").value(6), QStringLiteral("Server=10.0.0.0"));

        // The registered port comes back at the next start.
        FormMain again;
        again.start();
        QCOMPARE(again.Text_端口->text(), QStringLiteral("3310"));
        registerServer({"0", "0", "0", "0"});
    }

    void adapterDialog()
    {
        const QString port = localPortPath();
        test::writeFile(port, "12\r\n");
        DialogWK three(threeAdapters);
        QCOMPARE(three.List1->count(), 3);
        QCOMPARE(three.List1->item(1)->text(), QStringLiteral("eth1 - 10.0.0.2"));
        three.List1->item(2)->setCheckState(Qt::Checked);
        three.List1->item(0)->setCheckState(Qt::Checked);
        three.List1->item(0)->setCheckState(Qt::Unchecked); // a click on the checked entry
        QCOMPARE(three.List1->item(0)->checkState(), Qt::Checked);
        QCOMPARE(three.List1->item(2)->checkState(), Qt::Unchecked);
        three.reject(); // closed without 确定: nothing written
        QCOMPARE(test::readFile(port), QByteArray("12\r\n"));
        three.List1->item(2)->setCheckState(Qt::Checked);
        three.Command1->click();
        QCOMPARE(test::readFile(port), QByteArray("3"));

        DialogWK none([] { return QByteArray(kAdapterBufferBytes, '\0'); });
        QCOMPARE(none.List1->count(), 0);
        none.Command1->click();
        QCOMPARE(test::readFile(port), QByteArray("1"));

        Messages m;
        FormMain w;
        int listed = -1;
        onNextModal<DialogWK>([&](DialogWK* d) {
            listed = d->List1->count();
            if (d->List1->count() > 1)
                d->List1->item(1)->setCheckState(Qt::Checked);
            d->Command1->click();
        });
        w.Command2->click();
        QCOMPARE(listed, int(adapterDescriptions(readAdapterBuffer()).size()));
        QCOMPARE(test::readFile(port), adapterDescriptions(readAdapterBuffer()).size() > 1
                                           ? QByteArray("2")
                                           : QByteArray("1"));
    }

    void exportGesture()
    {
        Messages m;
        QTemporaryDir dir;
        const QString saved = QDir::currentPath();
        QDir::setCurrent(dir.path());
        QStringList prompts;
        QString answer = "wrong";
        ui::setInputHandler([&](const ui::InputRequest& r) {
            prompts << r.prompt;
            return answer;
        });
        test::setUpMasterList({});
        FormMain w;
        w.start();
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        const QPoint background(w.centralWidget()->width() - 4, w.centralWidget()->height() - 4);
        QVERIFY(!w.centralWidget()->childAt(background));
        const auto ctrlAlt = Qt::ControlModifier | Qt::AltModifier;
        QTest::mousePress(w.centralWidget(), Qt::RightButton, ctrlAlt | Qt::ShiftModifier,
                          background);
        QTest::mousePress(w.centralWidget(), Qt::RightButton, Qt::ControlModifier, background);
        QTest::mousePress(w.Frame1, Qt::RightButton, ctrlAlt, QPoint(2, 2));
        QCOMPARE(prompts.size(), 0);
        QTest::mousePress(w.centralWidget(), Qt::RightButton, ctrlAlt, background);
        QCOMPARE(prompts, QStringList{text::kAccessCodePrompt});
        QVERIFY(!QFile::exists("BlackName.dat"));
        answer = "Kvtwpa1987";
        QTest::mousePress(w.centralWidget(), Qt::RightButton, ctrlAlt, background);
        QCOMPARE(test::readFile("BlackName.dat"), QByteArray(" 0 \r\n"));
        QCOMPARE(m.shown, QStringList{});
        ui::setInputHandler({});
        test::dropMasterList();
        QDir::setCurrent(saved);
    }
};

QTEST_MAIN(ProvisionerWindows)
#include "test_windows.moc"
