// Names that differ only in letter case or accents are different names everywhere the console
// picks rows by a name the administrator chose: renaming, deleting and the policy of a group
// touch that group alone (with its members and its copies in the log), and deleting or
// renaming a list entry or a recent visit touches that row alone.

#include "common/logrows.h"
#include "overseer/admin/adminrules.h"
#include "overseer/admin/policydialog.h"
#include "overseer/admin/terminaldialogs.h"
#include "tests/overseer/admin/admintest.h"
#include "tests/support/logfill.h"

#include <QAction>
#include <QLineEdit>
#include <QPushButton>
#include <QToolBar>

using namespace lt;
using namespace lt::overseer;
using namespace lt::overseer::admin;

namespace
{

QString groupRow(const QString& team, const QString& mask)
{
    return QStringLiteral("('%1','0','0','%2'").arg(team, mask) +
           QString(",'%1'").arg(kEmptyMask).repeated(11) + u')';
}

// Team and mask A of every group, and the members, both by their exact bytes.
QStringList groups()
{
    return test::tableRows("SELECT Team, A FROM grouptable ORDER BY BINARY Team");
}

QStringList members()
{
    return test::tableRows("SELECT Name, Team FROM usertable ORDER BY BINARY Name");
}

} // namespace

class ExactNames : public QObject
{
    Q_OBJECT
    test::TestInstallation install_;
    std::unique_ptr<FormMain> form_;

    Administration& a() { return *administration(*form_); }

    // Shows the view of the key and makes the row that holds `text` current.
    void select(const QString& key, AdminListView& view, const QString& text)
    {
        form_->toolbarKey(key)->trigger();
        test::listRead(*form_);
        const QList<QStringList> rows = view.listModel().rows();
        for (int i = 0; i < rows.size(); ++i) {
            if (rows[i].value(0) == text)
                return test::selectRows(*form_, {i});
        }
        QFAIL(qPrintable("no row " + text));
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(install_.useFreshDatabases(), "the private test server does not answer");
    }

    void init()
    {
        const QString ones = QString(24, '1');
        test::sql("DELETE FROM usertable; DELETE FROM grouptable; DELETE FROM blacktable;"
                  "DELETE FROM whitetable; DELETE FROM webtable;"
                  "INSERT INTO grouptable VALUES " +
                      QStringList{groupRow(kBuiltInGroup, kEmptyMask), groupRow("Lab", ones),
                                  groupRow("lab", kEmptyMask), groupRow("CAFÉ", ones),
                                  groupRow("cafe", kEmptyMask)}
                          .join(',') +
                      ";INSERT INTO usertable VALUES('pc-01','10.0.0.1','Lab'),"
                      "('pc-02','10.0.0.2','lab'),('pc-03','10.0.0.3','CAFÉ'),"
                      "('pc-04','10.0.0.4','cafe');"
                      "INSERT INTO blacktable VALUES('abc.com','t','游戏','S'),"
                      "('ABC.com','t','游戏','S'),('Abc.com','t','游戏','S');"
                      "INSERT INTO whitetable VALUES('x.org','t','S','Y'),('X.org','t','S','Y');"
                      "INSERT INTO webtable(" +
                      logrows::kVisitColumns +
                      ") VALUES('a.cn/X','t','','26-12-07 10:00:00','N'),"
                      "('a.cn/x','t','','26-12-07 09:00:00','N');",
                  "ipdata");
        test::fillRows(QList<logrows::LogRow>{
            {"pc-01", "10.0.0.1", "26-12-07 10:00:00", "Lab", "t", "u", "c", "r", 1},
            {"pc-02", "10.0.0.2", "26-12-07 10:00:01", "lab", "t", "u", "c", "r", 1}});
        form_ = test::adminForm();
    }

    void cleanup() { form_.reset(); }

    void groupsDifferingInCaseOrAccent()
    {
        const QString ones = QString(24, '1');
        test::MessageLog messages;
        // The dialog renames "Lab" only: "lab", its member and its log rows keep their name.
        select(key::组别配置, a().groups, "Lab");
        test::ModalScript rename({[](QWidget* modal) {
            auto* d = qobject_cast<DialogRN*>(modal);
            QVERIFY(d);
            d->Text_Name->setText("Lab2");
            test::clickOk(d->OKButton);
        }});
        form_->runMenuItem(item::组别_更名);
        QCOMPARE(rename.stepsRun(), 1);
        test::endModules();
        QCOMPARE(test::tableRows("SELECT Team FROM logtable ORDER BY AcTime", "dovrik"),
                 QStringList({"Lab2", "lab"}));

        // In place: "CAFÉ" becomes "CAFÉ-1"; "cafe" is another group.
        select(key::组别配置, a().groups, "CAFÉ");
        const QModelIndex cafe = test::list(*form_)->currentIndex();
        QVERIFY(test::renameInPlace(a().groups, cafe, "CAFÉ-1"));

        // The policy of "cafe" is that group's alone.
        select(key::组别配置, a().groups, "cafe");
        test::ModalScript policy({[](QWidget* modal) {
            auto* d = qobject_cast<DialogSt*>(modal);
            QVERIFY(d);
            test::okAgain(d->OKButton);
            for (QAction* quick : d->Toolbar_快速选择->actions()) {
                if (quick->text() == "半选")
                    quick->trigger();
            }
            test::clickOk(d->OKButton);
        }});
        form_->runMenuItem(item::组别_配置);
        QCOMPARE(policy.stepsRun(), 1);

        // Deleting "lab" leaves "Lab2"; only the member of "lab" moves to the built-in group.
        select(key::组别配置, a().groups, "lab");
        form_->runMenuItem(item::组别_删除);
        QCOMPARE(messages.texts(), QStringList({"确定删除所选组别吗？"}));

        const QString half = quickMask(QuickSelect::Half);
        QCOMPARE(groups(), QStringList({"CAFÉ-1\t" + ones, "Lab2\t" + ones, "cafe\t" + half,
                                        kBuiltInGroup + "\t" + kEmptyMask}));
        QCOMPARE(members(), QStringList({"pc-01\tLab2", "pc-02\t" + kBuiltInGroup, "pc-03\tCAFÉ-1",
                                         "pc-04\tcafe"}));
    }

    void listEntriesAndVisitsDifferingInCase()
    {
        test::MessageLog messages;
        select(key::显示黑单, a().blackList, "abc.com");
        form_->runMenuItem(item::名单_删除);
        select(key::显示黑单, a().blackList, "Abc.com");
        const QModelIndex entry = test::list(*form_)->currentIndex();
        QVERIFY(test::renameInPlace(a().blackList, entry, "abc.net"));
        QCOMPARE(test::tableRows("SELECT Name FROM blacktable ORDER BY BINARY Name"),
                 QStringList({"ABC.com", "abc.net"}));

        select(key::显示白单, a().whiteList, "X.org");
        form_->runMenuItem(item::名单_删除);
        QCOMPARE(test::tableRows("SELECT Name FROM whitetable"), QStringList({"x.org"}));

        a().recentVisits.显示最近访问();
        test::listRead(*form_);
        test::selectRows(*form_, {0}); // a.cn/X, the newer
        form_->runMenuItem(item::访问_删除);
        QCOMPARE(test::tableRows("SELECT URL FROM webtable"), QStringList({"a.cn/x"}));
        QCOMPARE(messages.texts().size(), 3); // the three questions, no failure
        test::endModules();
    }
};

QTEST_MAIN(ExactNames)
#include "test_exactnames.moc"
