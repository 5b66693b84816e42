// The configuration reader of the modules against the real configuration database: terminals
// by address, groups with their levels and hour masks, the longest matching list entry, the
// policy's verdict, and a refresh that reads again only when a table changed.

#include "common/datasources.h"
#include "common/odbc.h"
#include "common/siteconfig.h"
#include "tests/support/testsupport.h"

#include <QTest>

using namespace lt;
using namespace lt::site;

namespace
{

const QString kConfig = QStringLiteral("ipdata");

QString mask(std::initializer_list<int> positions)
{
    QString m(24, QLatin1Char('0'));
    for (int p : positions)
        m[p - 1] = QLatin1Char('1');
    return m;
}

QString groupRow(const QString& team, const QString& dn, const QString& up, const QString& j)
{
    QString row = QStringLiteral("('%1','%2','%3'").arg(team, dn, up);
    for (char code = 'A'; code <= 'L'; ++code)
        row += QStringLiteral(",'%1'").arg(code == 'J' ? j : mask({}));
    return row + QLatin1Char(')');
}

} // namespace

class SiteConfigTest : public QObject
{
    Q_OBJECT
    test::TestInstallation install_;
    db::Connection config_;

private slots:
    void initTestCase()
    {
        QVERIFY2(install_.useFreshDatabases(), "the private test server does not answer");
        QVERIFY(config_.open(dsn::chosenConnectionStrings().config));
        test::sql(QStringLiteral("DELETE FROM blacktable; DELETE FROM whitetable;"
                                 "INSERT INTO usertable VALUES('出纳','192.168.3.7','财务组'),"
                                 "('前台','192.168.3.9','已删除的组');"
                                 "INSERT INTO grouptable VALUES ") +
                      groupRow(QStringLiteral("财务组"), "1", "2", mask({10, 24})) +
                      QStringLiteral(";INSERT INTO blacktable VALUES"
                                     "('example.com','示例','游戏','N'),"
                                     "('news.example.com','新闻','证券','S'),"
                                     "('example.com','示例','色情','S'),"
                                     "('http://video.cn/games/','游戏区','游戏','S'),"
                                     "('video.cn','视频','其它','N'),"
                                     "('both.cn','两者','反动','N');"
                                     "INSERT INTO whitetable VALUES"
                                     "('safe.example.com','放行','S','N'),"
                                     "('both.cn','两者','S','Y');"),
                  kConfig);
    }

    void terminalsAndGroups()
    {
        SiteConfig config(config_);
        QVERIFY(config.load());
        const auto s = config.snapshot();
        const Terminal known = s->terminal(QStringLiteral("192.168.3.7"));
        QCOMPARE(known.name, QStringLiteral("出纳"));
        QCOMPARE(known.team, QStringLiteral("财务组"));
        QVERIFY(known.registered);
        const Terminal unknown = s->terminal(QStringLiteral("10.9.9.9"));
        QCOMPARE(unknown.name, QStringLiteral("10.9.9.9"));
        QCOMPARE(unknown.team, QStringLiteral("临时工作组"));
        QVERIFY(!unknown.registered);

        const Group& finance = s->group(QStringLiteral("财务组"));
        QCOMPARE(finance.browse, LogLevel::Half);
        QCOMPARE(finance.upload, LogLevel::None);
        // Position 10 is the hour from 10 o'clock, position 24 the hour from midnight.
        QVERIFY(finance.hourSelected(u'J', 10));
        QVERIFY(finance.hourSelected(u'J', 0));
        QVERIFY(!finance.hourSelected(u'J', 9));
        QVERIFY(!finance.hourSelected(u'J', 11));
        QVERIFY(!finance.hourSelected(u'A', 10));
        // A group no longer in grouptable: the built-in group's row.
        const Group& gone = s->group(s->terminal(QStringLiteral("192.168.3.9")).team);
        QCOMPARE(gone.team, QStringLiteral("临时工作组"));
        QCOMPARE(gone.browse, LogLevel::Full);
        QCOMPARE(s->classCode(QStringLiteral("游戏")), QChar(u'J'));
        QCOMPARE(s->className(u'K'), QStringLiteral("证券"));
    }

    void longestMatchingEntry_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("entry"); // name of the entry, empty for none
        QTest::addColumn<QString>("className");
        QTest::newRow("domain itself") << "example.com"
                                       << "/"
                                       << "example.com"
                                       << "色情";
        QTest::newRow("sub-domain") << "a.b.example.com"
                                    << ""
                                    << "example.com"
                                    << "色情";
        QTest::newRow("longer entry wins") << "a.news.example.com"
                                           << ""
                                           << "news.example.com"
                                           << "证券";
        QTest::newRow("case and trailing dot") << "NEWS.Example.COM."
                                               << ""
                                               << "news.example.com"
                                               << "证券";
        QTest::newRow("port") << "example.com:8080"
                              << ""
                              << "example.com"
                              << "色情";
        QTest::newRow("not a domain boundary") << "notexample.com"
                                               << ""
                                               << ""
                                               << "";
        QTest::newRow("under a path entry") << "www.video.cn"
                                            << "/games/7"
                                            << "http://video.cn/games/"
                                            << "游戏";
        QTest::newRow("path prefix only") << "video.cn"
                                          << "/gamesx"
                                          << "video.cn"
                                          << "其它";
        QTest::newRow("no path seen") << "video.cn"
                                      << ""
                                      << "video.cn"
                                      << "其它";
    }

    void longestMatchingEntry()
    {
        QFETCH(QString, host);
        QFETCH(QString, path);
        QFETCH(QString, entry);
        QFETCH(QString, className);
        SiteConfig config(config_);
        QVERIFY(config.load());
        const auto found = config.snapshot()->black(host, path);
        QCOMPARE(found ? found->name : QString(), entry);
        QCOMPARE(found ? found->className : QString(), className);
    }

    void whiteListAndVerdicts()
    {
        SiteConfig config(config_);
        QVERIFY(config.load());
        const auto s = config.snapshot();
        QCOMPARE(s->blackCount(), 6);
        QCOMPARE(s->whiteCount(), 2);
        const auto safe = s->listed(QStringLiteral("www.safe.example.com"));
        QVERIFY(safe && safe->white);
        QVERIFY(!safe->logged);
        // The same name on both lists: the white entry.
        QVERIFY(s->listed(QStringLiteral("both.cn"))->white);
        QVERIFY(s->listed(QStringLiteral("both.cn"))->logged);

        const QString finance = QStringLiteral("财务组");
        const Verdict game = s->verdict(finance, u"www.video.cn", u"/games/1", 10);
        QVERIFY(game.blocked);
        QCOMPARE(game.className, QStringLiteral("游戏"));
        QVERIFY(!s->verdict(finance, u"www.video.cn", u"/games/1", 11).blocked);
        const Verdict white = s->verdict(finance, u"safe.example.com", u"/", 10);
        QVERIFY(!white.blocked);
        QVERIFY(white.className.isEmpty());
        const Verdict general = s->verdict(finance, u"unlisted.cn", u"/", 10);
        QCOMPARE(general.className, QStringLiteral("上网"));
        QCOMPARE(general.code, QChar(u'A'));
        QVERIFY(!general.blocked);
    }

    // A refresh with nothing changed is one statement; a change is read at the next refresh.
    void refreshReadsOnlyChanges()
    {
        SiteConfig config(config_);
        QVERIFY(config.load());
        int statements = 0;
        const int id = db::addStatementObserver([&](const db::StatementEvent& e) {
            if (e.kind == db::StatementEvent::Statement)
                ++statements;
        });
        const bool changed = config.refresh();
        db::removeStatementObserver(id);
        QVERIFY(!changed);
        QCOMPARE(statements, 1);

        const auto before = config.snapshot();
        test::sql(QStringLiteral("UPDATE usertable SET Name='新出纳' WHERE IP='192.168.3.7';"
                                 "UPDATE grouptable SET DnLog='2' WHERE Team='财务组';"
                                 "INSERT INTO blacktable VALUES('new.cn','新','聊天','S');"),
                  kConfig);
        QVERIFY(config.refresh());
        const auto after = config.snapshot();
        QCOMPARE(after->terminal(QStringLiteral("192.168.3.7")).name, QStringLiteral("新出纳"));
        QCOMPARE(after->group(QStringLiteral("财务组")).browse, LogLevel::None);
        QCOMPARE(after->black(QStringLiteral("x.new.cn"))->className, QStringLiteral("聊天"));
        // A snapshot taken earlier stays as it was for whoever still reads it.
        QCOMPARE(before->terminal(QStringLiteral("192.168.3.7")).name, QStringLiteral("出纳"));
        QVERIFY(!config.refresh());
        QVERIFY(config.lastError().isEmpty());
    }
};

QTEST_GUILESS_MAIN(SiteConfigTest)
#include "test_siteconfig.moc"
