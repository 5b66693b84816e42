// The configuration database's server stopped while a dialog of the administration is open, on
// a server of the test's own: the dialog says so, nothing is written, the list stays as the
// database is, and once the server is back the same OK goes through.

#include "common/dbmessages.h"
#include "common/schema.h"
#include "overseer/admin/adminrules.h"
#include "overseer/admin/listdialogs.h"
#include "overseer/admin/policydialog.h"
#include "tests/common/dbservers.h"
#include "tests/overseer/admin/admintest.h"

#include <QAction>
#include <QLineEdit>
#include <QPushButton>
#include <QToolBar>

using namespace lt;
using namespace lt::overseer;
using namespace lt::overseer::admin;

namespace
{
const QString kSource = QStringLiteral("DSN=LtStopConfig;uid=;pwd=;");
} // namespace

class StoppedServer : public QObject
{
    Q_OBJECT
    test::TestInstallation install_;
    std::unique_ptr<test::PrivateServer> server_;
    std::unique_ptr<FormMain> form_;

    Administration& a() { return *administration(*form_); }

private slots:
    void initTestCase()
    {
        server_ = std::make_unique<test::PrivateServer>();
        test::registerSource("LtStopConfig", server_->source("ipdata"));
        db::Connection config;
        QVERIFY(schema::openForInitialisation(config, kSource));
        // The first step drops a database that is not there yet; what counts is the result.
        schema::runSteps(config, schema::remoteTableSteps());
        schema::runSteps(config, schema::remoteSeedSteps("127.0.0.1"));
        QCOMPARE(server_->sql("SELECT Team FROM grouptable", "ipdata").trimmed(), kBuiltInGroup);
    }

    void init()
    {
        QVERIFY(server_->start());
        form_ = std::make_unique<FormMain>();
        fillDispatch(*form_);
        form_->MySql = std::make_unique<CMySql>();
        QVERIFY(form_->MySql->Cnn1.open(kSource));
        form_->show();
    }

    void cleanup() { form_.reset(); }

    void policyDialogSavesOnceTheServerIsBack()
    {
        form_->toolbarKey(key::组别配置)->trigger();
        test::selectRows(*form_, {0});
        test::MessageLog messages;
        test::ModalScript script({[&](QWidget* modal) {
            auto* d = qobject_cast<DialogSt*>(modal);
            QVERIFY(d);
            for (QAction* quick : d->Toolbar_快速选择->actions()) {
                if (quick->text() == "全选")
                    quick->trigger();
            }
            QVERIFY(server_->stop());
            d->OKButton->click();
            QCOMPARE(messages.texts().size(), 1);
            QVERIFY(messages.texts()[0].startsWith("组别配置未能保存。\n"));
            QVERIFY(messages.texts()[0].contains(db::kServerUnreachable));
            QVERIFY(d->isVisible());
            QVERIFY(server_->start());
            QCOMPARE(server_->sql("SELECT A FROM grouptable", "ipdata").trimmed(), kEmptyMask);
            d->OKButton->click();
            QVERIFY2(messages.texts().size() == 1, qPrintable(messages.texts().join('|')));
        }});
        form_->runMenuItem(item::组别_配置);
        QCOMPARE(script.stepsRun(), 1);
        QCOMPARE(messages.texts().size(), 1);
        QCOMPARE(server_->sql("SELECT A FROM grouptable", "ipdata").trimmed(), QString(24, '1'));
    }

    void addEntryAddsNothingWhileTheServerIsDown()
    {
        form_->toolbarKey(key::显示白单)->trigger();
        test::MessageLog messages;
        test::ModalScript script({[&](QWidget* modal) {
            auto* d = qobject_cast<DialogAd*>(modal);
            QVERIFY(d);
            d->Text_域名->setText("down.cn");
            d->Text_标题->setText("t");
            test::pick(d->Text_类别, "记录日志");
            QVERIFY(server_->stop());
            d->OKButton->click();
            QCOMPARE(messages.texts().size(), 1);
            QVERIFY(messages.texts()[0].contains(db::kServerUnreachable));
            QCOMPARE(a().whiteList.listModel().rowCount(), 0);
            QVERIFY(server_->start());
            d->OKButton->click();
            QVERIFY2(messages.texts().size() == 1, qPrintable(messages.texts().join('|')));
            QCOMPARE(a().whiteList.listModel().rowCount(), 1);
            d->CancelButton->click();
        }});
        form_->runMenuItem(item::名单_增加);
        QCOMPARE(script.stepsRun(), 1);
        QCOMPARE(server_->sql("SELECT Name,S,SF FROM whitetable", "ipdata").trimmed(),
                 "down.cn\tS\tY");
    }
};

QTEST_MAIN(StoppedServer)
#include "test_stoppedserver.moc"
