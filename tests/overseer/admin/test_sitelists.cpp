// The black-list, white-list and recent-visits views and their dialogs against the test server:
// the views, the add-entry dialog's typing rules and duplicates, the move from one list to the
// other as one transaction, blocking and allowing from an access-log row and from a recent
// visit, in-place renaming, deleting, a missing class table.

#include "common/clock.h"
#include "common/logrows.h"
#include "overseer/admin/adminrules.h"
#include "overseer/admin/listdialogs.h"
#include "overseer/query/conditiondialogs.h"
#include "overseer/query/logviews.h"
#include "tests/overseer/admin/admintest.h"
#include "tests/support/logfill.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <climits>

using namespace lt;
using namespace lt::overseer;
using namespace lt::overseer::admin;

namespace
{

const QDateTime kNow(QDate(2026, 12, 7), QTime(15, 0));

QStringList lists(const QString& site)
{
    return test::tableRows(
        QString("SELECT 'black',Title,Class,S FROM blacktable WHERE Name='%1' UNION ALL "
                "SELECT 'white',Title,S,SF FROM whitetable WHERE Name='%1'")
            .arg(site));
}

// Where the text of a cell is drawn in the list: the middle of its ink less the middle of the
// cell, in pixels (0: centred; far below 0: at the left).
int inkOffset(QTreeView* list, int row, int column)
{
    list->selectionModel()->clear(); // no highlight over the row
    list->scrollTo(list->model()->index(row, column));
    const QRect cell = list->visualRect(list->model()->index(row, column));
    const QImage image = list->viewport()->grab().toImage();
    const QColor paper = image.pixelColor(cell.left() + 1, cell.center().y());
    int left = INT_MAX, right = -1;
    for (int y = cell.top() + 1; y < cell.bottom(); ++y) {
        for (int x = cell.left() + 1; x < cell.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (qAbs(c.lightness() - paper.lightness()) > 60) {
                left = std::min(left, x);
                right = std::max(right, x);
            }
        }
    }
    if (right < 0)
        return INT_MIN; // nothing drawn
    return (left + right) / 2 - cell.center().x();
}

} // namespace

class SiteLists : public QObject
{
    Q_OBJECT
    test::TestInstallation install_;
    std::unique_ptr<FormMain> form_;

    Administration& a() { return *administration(*form_); }
    int addEntries(const QString& key, const std::function<void(DialogAd*)>& step)
    {
        form_->toolbarKey(key)->trigger();
        test::listRead(*form_);
        test::ModalScript script({[&](QWidget* modal) {
            auto* d = qobject_cast<DialogAd*>(modal);
            QVERIFY(d);
            step(d);
            d->CancelButton->click();
        }});
        form_->runMenuItem(item::名单_增加);
        return script.stepsRun();
    }
    void showAccessLog()
    {
        test::ModalScript script({[](QWidget* modal) {
            auto* d = qobject_cast<DialogFS*>(modal);
            QVERIFY(d);
            d->Option1->setChecked(true);
            test::clickOk(d->OKButton);
        }});
        form_->toolbarKey(key::日志管理)->trigger();
        QCOMPARE(script.stepsRun(), 1);
        AccessLogView* view = accessLogView(*form_);
        QVERIFY(test::waitFor(
            [&] {
                return view->store() && !view->store()->pageRequestOut() &&
                       !view->store()->status().busy && view->model()->rowCount() > 0;
            },
            20000));
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(install_.useFreshDatabases(), "the private test server does not answer");
        Clock::setNow(kNow);
    }

    void init()
    {
        test::sql("DROP TRIGGER IF EXISTS refuse_white;"
                  "DELETE FROM blacktable; DELETE FROM whitetable; DELETE FROM webtable;"
                  "INSERT INTO blacktable VALUES('bad.cn','坏站','游戏','S'),"
                  "('import.cn','导入','色情','N');"
                  "INSERT INTO whitetable VALUES('good.cn','好站','S','Y');"
                  "INSERT INTO webtable(" +
                      logrows::kVisitColumns +
                      ") VALUES('new.cn','新站','','26-12-07 14:00:00','N'),"
                      "('old.cn','旧站','聊天','26-12-07 09:00:00','N'),"
                      "('mid.cn','中站','','26-12-07 11:00:00','N');",
                  "ipdata");
        test::fillRows(QList<logrows::LogRow>{{"PC1", "10.0.0.1", acTime(kNow.addSecs(-60)), "组",
                                               "O'Neil 首页", "o'neil.cn", "上网", "放行", 1}});
        form_ = test::adminForm();
    }

    void cleanup() { form_.reset(); }

    void viewsShowTheAdministratorsEntries()
    {
        test::StatementLog log;
        form_->toolbarKey(key::显示黑单)->trigger();
        test::listRead(*form_);
        QCOMPARE(form_->CurrentView, "显示黑名单");
        QCOMPARE(test::title(*form_)->text(), "黑   名   单   管   理");
        QCOMPARE(a().blackList.listModel().rows(),
                 QList<QStringList>({{"bad.cn", "坏站", "游戏", "S"}}));
        QCOMPARE(a().blackList.listModel().iconIndex(0), 8);
        QUrl opened;
        form_->context().OpenUrl = [&](const QUrl& url) {
            opened = url;
            return true;
        };
        test::selectRows(*form_, {0});
        form_->runMenuItem(item::名单_查看);
        QCOMPARE(opened, QUrl("http://bad.cn"));
        form_->toolbarKey(key::显示白单)->trigger();
        test::listRead(*form_);
        QCOMPARE(a().whiteList.listModel().rows(), QList<QStringList>({{"good.cn", "好站", "Y"}}));
        QCOMPARE(test::list(*form_)->model()->headerData(2, Qt::Horizontal).toString(),
                 "是否记日志");
        test::StartLog started;
        a().recentVisits.显示最近访问();
        test::listRead(*form_);
        QCOMPARE(form_->CurrentView, "显示最近访问");
        QCOMPARE(a().recentVisits.listModel().text(0, 0), "new.cn");
        QCOMPARE(a().recentVisits.listModel().text(2, 3), "26-12-07 09:00:00");
        QVERIFY(started.commandLines().value(0).endsWith("TQProgress.exe 提取"));
        // The lists are read on a connection of their own, which asks for its number first.
        QStringList lists = log.texts();
        lists.removeAll("SELECT CONNECTION_ID()");
        QCOMPARE(lists.mid(0, 3),
                 QStringList({"SELECT * FROM blacktable WHERE S='S' ORDER BY Name ",
                              "SELECT Name,Title,SF FROM whitetable WHERE S='S' ORDER BY Name ",
                              "SELECT * FROM webtable ORDER BY AcTime DESC"}));
        test::endModules();
    }

    // The recent visits have no key: the black and the white list's context menu open them,
    // also over an empty list, and the sixteen keys stay as they are.
    void recentVisitsFromTheListsMenu()
    {
        for (const QString& key : {key::显示黑单, key::显示白单}) {
            test::sql("DELETE FROM blacktable; DELETE FROM whitetable;", "ipdata");
            form_->toolbarKey(key)->trigger();
            test::listRead(*form_);
            QCOMPARE(test::list(*form_)->model()->rowCount(), 0);
            QAction* item = form_->menuItem(menu::名单, "显示最近访问");
            QVERIFY(item);
            form_->popUpContextMenu(QPoint(5, 5));
            QVERIFY(item->isEnabled());
            form_->menu(menu::名单)->hide();
            item->trigger();
            test::listRead(*form_);
            QCOMPARE(form_->CurrentView, "显示最近访问");
            QCOMPARE(test::title(*form_)->text(), "显    示    最    近    访    问");
            QCOMPARE(a().recentVisits.listModel().rowCount(), 3);
        }
        QCOMPARE(allKeys().size(), 16);
        QVERIFY(!allKeys().contains("显示最近访问"));
        test::endModules();
    }

    // "类别" of the black list and "是否记日志" of the white list are centred as their column
    // layouts say; the site stays at the left.
    void classAndLoggingColumnsAreCentred()
    {
        form_->resize(1600, 900); // every column in sight
        QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
        form_->toolbarKey(key::显示黑单)->trigger();
        test::listRead(*form_);
        QTreeView* list = test::list(*form_);
        QCOMPARE(list->model()->index(0, 2).data().toString(), "游戏");
        QVERIFY2(qAbs(inkOffset(list, 0, 2)) <= 2,
                 qPrintable(QString::number(inkOffset(list, 0, 2))));
        QVERIFY(inkOffset(list, 0, 0) < -40);
        form_->toolbarKey(key::显示白单)->trigger();
        test::listRead(*form_);
        QCOMPARE(list->model()->index(0, 2).data().toString(), "Y");
        QVERIFY2(qAbs(inkOffset(list, 0, 2)) <= 2,
                 qPrintable(QString::number(inkOffset(list, 0, 2))));
        QVERIFY(inkOffset(list, 0, 1) < -40);
    }

    void addingToTheBlackListTypingRulesAndDuplicates()
    {
        test::MessageLog messages;
        test::StatementLog log;
        QCOMPARE(addEntries(key::显示黑单,
                            [&](DialogAd* d) {
                                QCOMPARE(d->windowTitle(), "增加黑名单");
                                QTRY_COMPARE(d->Text_类别->count(), 12);
                                QVERIFY(!d->OKButton->isEnabled());
                                QTest::keyClicks(d->Text_域名, "www.");
                                QCOMPARE(messages.texts().value(0), "不需要 www.");
                                QCOMPARE(d->Text_域名->text(), "");
                                QTest::keyClicks(d->Text_域名, "good.cn'");
                                QCOMPARE(d->Text_域名->text(), "good.cn");
                                d->Text_域名->setText("www.sina.com");
                                QCOMPARE(d->Text_域名->text(), "www.sina.com");
                                d->Text_域名->setText(QString(151, 'x'));
                                QCOMPARE(d->Text_域名->text().size(), 150);
                                test::pick(d->Text_类别, "游戏");
                                QVERIFY(d->OKButton->isEnabled());
                                test::clickOk(d->OKButton);
                                QCOMPARE(messages.texts().last(), "请填写标题");
                                // On the list shown, then only in the table.
                                d->Text_域名->setText("bad.cn");
                                d->Text_标题->setText("t");
                                test::clickOk(d->OKButton);
                                QCOMPARE(messages.texts().last(), "域名不能重复");
                                test::sql("INSERT INTO blacktable VALUES('else.cn','t','游戏','S')",
                                          "ipdata");
                                d->Text_域名->setText("else.cn");
                                test::clickOk(d->OKButton);
                                QCOMPARE(messages.texts().last(), "域名不能重复");
                                // A white-list site moves to the black list.
                                d->Text_域名->setText("good.cn");
                                d->Text_标题->setText("O'Neil\\");
                                test::clickOk(d->OKButton);
                                QCOMPARE(d->Text_域名->text(), "");
                                QCOMPARE(messages.texts().size(), 4);
                            }),
                 1);
        QCOMPARE(
            log.changes(),
            QStringList({"DELETE FROM blacktable WHERE BINARY Trim(Name)='good.cn'",
                         "DELETE FROM whitetable WHERE BINARY Trim(Name)='good.cn'",
                         "INSERT INTO blacktable VALUES('good.cn','O''Neil\\\\','游戏','S')"}));
        QCOMPARE(lists("good.cn"), QStringList({"black\tO'Neil\\\\\t游戏\tS"}));
        QCOMPARE(a().blackList.listModel().rows().last(),
                 QStringList({"good.cn", "O'Neil\\", "游戏", "S"}));
    }

    // A double quote in a site or a title would come back from the configuration file as a
    // single one: refused where it is typed, with the field and the character named.
    void sitesAndTitlesTheConfigurationFileCannotCarry()
    {
        const QString why =
            QStringLiteral("不能含有双引号（\"）：导出的配置文件无法原样保存这个字符。");
        test::MessageLog messages;
        test::StatementLog log;
        QCOMPARE(addEntries(key::显示白单,
                            [&](DialogAd* d) {
                                test::pick(d->Text_类别, "记录日志");
                                d->Text_域名->setText("say\"hi.cn");
                                d->Text_标题->setText("t");
                                test::clickOk(d->OKButton);
                                QCOMPARE(messages.texts().value(0), "域名" + why);
                                QCOMPARE(d->focusWidget(), d->Text_域名);
                                d->Text_域名->setText("hi.cn");
                                d->Text_标题->setText("他说\"你好\"");
                                test::clickOk(d->OKButton);
                                QCOMPARE(messages.texts().value(1), "标题" + why);
                                QCOMPARE(d->focusWidget(), d->Text_标题);
                            }),
                 1);
        test::selectRows(*form_, {0});
        const QModelIndex row = a().whiteList.listModel().index(0, 0);
        QVERIFY(!a().whiteList.listEvents().afterLabelEdit(row, "good\".cn"));
        QCOMPARE(messages.texts().value(2), "域名" + why);
        QCOMPARE(messages.texts().size(), 3);
        QCOMPARE(log.changes(), QStringList());
        QCOMPARE(lists("good.cn"), QStringList({"white\t好站\tS\tY"}));
    }

    void addingToTheWhiteListNotLogged()
    {
        QCOMPARE(addEntries(key::显示白单,
                            [&](DialogAd* d) {
                                QCOMPARE(d->windowTitle(), "增加白名单");
                                QCOMPARE(d->Text_类别->count(), 2);
                                d->Text_域名->setText("import.cn");
                                d->Text_标题->setText("导入站");
                                test::pick(d->Text_类别, "不记日志");
                                test::clickOk(d->OKButton);
                            }),
                 1);
        QCOMPARE(lists("import.cn"), QStringList({"white\t导入站\tS\tN"}));
        QCOMPARE(a().whiteList.listModel().rows().last(),
                 QStringList({"import.cn", "导入站", "N"}));
    }

    void aRefusedInsertLeavesTheSiteWhereItWas()
    {
        test::sql("CREATE TRIGGER refuse_white BEFORE INSERT ON whitetable FOR EACH ROW "
                  "SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT='refused'",
                  "ipdata");
        test::MessageLog messages;
        QCOMPARE(addEntries(key::显示白单,
                            [&](DialogAd* d) {
                                d->Text_域名->setText("bad.cn");
                                d->Text_标题->setText("t");
                                test::pick(d->Text_类别, "记录日志");
                                test::clickOk(d->OKButton);
                                QVERIFY(messages.texts().value(0).startsWith("未能加入白名单。"));
                                QCOMPARE(d->Text_域名->text(), "bad.cn");
                            }),
                 1);
        QCOMPARE(lists("bad.cn"), QStringList({"black\t坏站\t游戏\tS"}));
        QCOMPARE(a().whiteList.listModel().rowCount(), 1);
    }

    void blockAndAllowFromAnAccessLogRow()
    {
        showAccessLog();
        test::selectRows(*form_, {0});
        test::StatementLog log;
        test::MessageLog messages;
        test::ModalScript block({[&](QWidget* modal) {
            auto* d = qobject_cast<DialogHD*>(modal);
            QVERIFY(d);
            QCOMPARE(d->windowTitle(), "将选择的网站/网页加入黑名单");
            QCOMPARE(d->L域名->text(), "域名：o'neil.cn");
            QCOMPARE(d->L标题->text(), "标题：O'Neil 首页");
            QTRY_COMPARE(d->Text_类别->count(), 11);
            QCOMPARE(d->Text_类别->findText("上网"), -1);
            test::clickOk(d->OKButton);
            QCOMPARE(messages.texts(), QStringList({"请选择类别"}));
            test::pick(d->Text_类别, "聊天");
            test::clickOk(d->OKButton);
        }});
        form_->runMenuItem(item::查看_禁止浏览);
        QCOMPARE(block.stepsRun(), 1);
        QCOMPARE(
            log.changes(),
            QStringList({"DELETE FROM whitetable WHERE BINARY Trim(Name)='o''neil.cn'",
                         "DELETE FROM blacktable WHERE BINARY Trim(Name)='o''neil.cn'",
                         "INSERT INTO blacktable VALUES('o''neil.cn','O''Neil 首页','聊天','S')"}));
        QCOMPARE(lists("o''neil.cn"), QStringList({"black\tO'Neil 首页\t聊天\tS"}));

        test::ModalScript allow({[&](QWidget* modal) {
            auto* d = qobject_cast<DialogBD*>(modal);
            QVERIFY(d);
            QCOMPARE(d->windowTitle(), "将选择的网站/网页加入白名单");
            test::clickOk(d->OKButton);
        }});
        form_->runMenuItem(item::查看_允许浏览);
        QCOMPARE(allow.stepsRun(), 1);
        QCOMPARE(lists("o''neil.cn"), QStringList({"white\tO'Neil 首页\tS\tY"}));
    }

    void allowARecentVisitWithoutLogging()
    {
        a().recentVisits.显示最近访问();
        test::listRead(*form_);
        test::selectRows(*form_, {1});
        test::ModalScript allow({[&](QWidget* modal) {
            auto* d = qobject_cast<DialogBD*>(modal);
            QVERIFY(d);
            QCOMPARE(d->windowTitle(), "使选择的网站/网页加入白名单");
            QCOMPARE(d->L域名->text(), "域名：mid.cn");
            test::clickOk(d->OKButton);
        }});
        // The statistics' item reads the row the same way: the site as its text.
        QVERIFY(form_->dispatch().runMenuItem(menu::统计, item::统计_不送日志.caption));
        QCOMPARE(allow.stepsRun(), 1);
        QCOMPARE(lists("mid.cn"), QStringList({"white\t中站\tS\tN"}));
        test::endModules();
    }

    void renameAndDeleteEntries()
    {
        form_->toolbarKey(key::显示黑单)->trigger();
        test::listRead(*form_);
        test::selectRows(*form_, {0});
        test::MessageLog messages;
        const auto handler = a().blackList.listEvents().afterLabelEdit;
        const QModelIndex row = a().blackList.listModel().index(0, 0);
        QVERIFY(!handler(row, QString(101, 'x')));
        QCOMPARE(messages.texts(), QStringList({"域名太长"}));
        test::StatementLog log;
        QVERIFY(test::renameInPlace(a().blackList, row, "worse.cn"));
        QCOMPARE(log.changes(), QStringList({"UPDATE blacktable SET Name='worse.cn' WHERE "
                                             "Name='bad.cn' AND BINARY Name='bad.cn'"}));
        QCOMPARE(a().blackList.listModel().text(0, 0), "worse.cn");

        log.clear();
        form_->runMenuItem(item::名单_删除);
        QCOMPARE(messages.texts().last(), "确定删除所选记录吗？");
        QCOMPARE(log.changes(),
                 QStringList({"DELETE FROM blacktable WHERE BINARY Trim(Name)='worse.cn'"}));
        QCOMPARE(a().blackList.listModel().rowCount(), 0);

        form_->toolbarKey(key::显示白单)->trigger();
        test::listRead(*form_);
        test::selectRows(*form_, {0});
        log.clear();
        form_->runMenuItem(item::名单_删除);
        QCOMPARE(log.changes(),
                 QStringList({"DELETE FROM whitetable WHERE BINARY Trim(Name)='good.cn'"}));
    }

    void deleteRecentVisits()
    {
        a().recentVisits.显示最近访问();
        test::listRead(*form_);
        test::selectRows(*form_, {0, 2});
        test::MessageLog messages;
        test::StatementLog log;
        form_->runMenuItem(item::访问_删除);
        QCOMPARE(messages.texts(), QStringList({"确定删除所选的最近访问记录吗？"}));
        QCOMPARE(
            log.changes(),
            QStringList({"DELETE FROM webtable WHERE URL = 'new.cn' AND BINARY URL='new.cn'",
                         "DELETE FROM webtable WHERE URL = 'old.cn' AND BINARY URL='old.cn'"}));
        QCOMPARE(a().recentVisits.listModel().rows(),
                 QList<QStringList>({{"mid.cn", "中站", "", "26-12-07 11:00:00", "N"}}));
        test::endModules();
    }

    void pagingKeepsTheChangesShown()
    {
        QList<logrows::VisitRow> rows;
        for (int i = 0; i < 502; ++i)
            rows.append({QString("p%1.cn").arg(i), "t", "",
                         QString("26-12-06 %1:%2:00")
                             .arg(i / 60 % 24, 2, 10, QChar('0'))
                             .arg(i % 60, 2, 10, QChar('0'))});
        test::fillRows(rows);
        a().recentVisits.显示最近访问();
        test::listRead(*form_);
        QCOMPARE(form_->panel(1)->text(), "共 502 条记录");
        const QString first = a().recentVisits.listModel().text(0, 0);
        test::selectRows(*form_, {0});
        test::MessageLog messages;
        form_->runMenuItem(item::访问_删除);
        QCOMPARE(form_->panel(1)->text(), "共 501 条记录");
        form_->runPaging(paging::下页);
        QCOMPARE(a().recentVisits.listModel().rowCount(), 1);
        form_->runPaging(paging::上页);
        QCOMPARE(a().recentVisits.listModel().rowCount(), 500);
        QVERIFY(!a().recentVisits.listHas(0, first, Qt::CaseSensitive));
        QCOMPARE(form_->panel(3)->text(), "第 1 页");
        test::endModules();
    }

    void aMissingClassTableBlocksAdding()
    {
        test::sql("RENAME TABLE classtable TO classtable_away", "ipdata");
        test::MessageLog messages;
        const int steps = addEntries(key::显示黑单, [&](DialogAd* d) {
            QTRY_COMPARE(messages.texts(), QStringList({"类表丢失，请初始化数据采集监控系统。"}));
            QCOMPARE(d->Text_类别->count(), 0);
            QVERIFY(!d->OKButton->isEnabled());
        });
        test::sql("RENAME TABLE classtable_away TO classtable", "ipdata");
        QCOMPARE(steps, 1);
    }
};

QTEST_MAIN(SiteLists)
#include "test_sitelists.moc"
