// The server down when the administrator opens a log: the page and the count of the list both
// fail, and the administrator gets one message for the one click, the reason first and the
// driver's words apart from it; the next click is told again.

#include "common/dbmessages.h"
#include "common/registry.h"
#include "overseer/core/logstore.h"
#include "tests/support/testsupport.h"

#include <QSignalSpy>
#include <QTest>

using namespace lt;
using namespace lt::overseer;

class OneMessage : public QObject
{
    Q_OBJECT
    test::TestInstallation install_;

private slots:
    void initTestCase()
    {
        // Both data sources name a socket where no server listens.
        install_.registerLocal();
        const QString dead = install_.root() + QStringLiteral("/run/nobody.sock");
        for (const char* dsn : {"\\LocalLogTable", "\\RemoteAcTable"})
            QVERIFY(reg::setValue(reg::kOdbcIni + QString::fromLatin1(dsn), "Socket", dead));
    }

    void oneMessagePerClick()
    {
        LogStore store(browseLogTable(), QStringLiteral("DSN=LocalLogTable;uid=;pwd="));
        QSignalSpy failed(&store, &LogStore::failed);
        const auto settled = [&] { return !store.pageRequestOut() && !store.counting(); };

        store.start(QStringLiteral("SELECT * FROM logtable WHERE AcTime>='26-11-01 00:00:00'"));
        QVERIFY(store.pageRequestOut() && store.counting());
        QVERIFY(test::waitFor(settled, 30000));
        QTest::qWait(300); // a second message would come now
        QCOMPARE(failed.count(), 1);
        const db::MessageParts parts = db::splitDriverWords(failed.first().first().toString());
        QVERIFY2(parts.text.startsWith(QStringLiteral("读取日志记录失败")) ||
                     parts.text.startsWith(QStringLiteral("统计日志记录数失败")),
                 qPrintable(parts.text));
        QVERIFY2(!parts.detail.isEmpty(), qPrintable(failed.first().first().toString()));

        store.日志_显示首页数据();
        QVERIFY(test::waitFor(settled, 30000));
        QCOMPARE(failed.count(), 2);
    }
};

QTEST_GUILESS_MAIN(OneMessage)
#include "test_onemessage.moc"
