// Work beside the window (common/beside.h): jobs run in order on a thread of their own, their
// completions come back on the window's thread, a completion whose receiver is gone is
// dropped, and the end of a WorkThread waits for the job in hand but not for those queued.

#include "common/beside.h"

#include <QCoreApplication>
#include <QSemaphore>
#include <QTest>
#include <atomic>
#include <memory>

using namespace lt;

class Beside : public QObject
{
    Q_OBJECT

private slots:
    void jobsRunInOrderBesideAndCompleteOnTheCallersThread()
    {
        QThread* gui = QThread::currentThread();
        WorkThread work(QStringLiteral("test"));
        QObject receiver;
        QList<int> ran;
        QList<int> completed;
        std::atomic<bool> offThread{true};
        for (int i = 0; i < 5; ++i) {
            work.post(
                [&, i] {
                    if (QThread::currentThread() == gui || !work.isCurrent())
                        offThread = false;
                    ran << i; // one job at a time: no lock needed
                    return i * 10;
                },
                &receiver,
                [&](int result) {
                    QCOMPARE(QThread::currentThread(), gui);
                    completed << result;
                });
        }
        bool voidDone = false;
        work.post([] {}, &receiver, [&] { voidDone = true; });
        QTRY_VERIFY(voidDone);
        QVERIFY(offThread);
        QCOMPARE(ran, QList<int>({0, 1, 2, 3, 4}));
        QCOMPARE(completed, QList<int>({0, 10, 20, 30, 40}));
    }

    void aCompletionForAReceiverGoneIsDropped()
    {
        WorkThread work(QStringLiteral("test"));
        auto receiver = std::make_unique<QObject>();
        QSemaphore release;
        bool done = false;
        std::atomic<bool> jobRan{false};
        work.post(
            [&] {
                release.acquire();
                jobRan = true;
            },
            receiver.get(), [&] { done = true; });
        receiver.reset(); // gone while the job still waits
        release.release();
        QTRY_VERIFY(jobRan);
        // Another completion after it proves the first one had its turn.
        QObject other;
        bool later = false;
        work.post([] {}, &other, [&] { later = true; });
        QTRY_VERIFY(later);
        QVERIFY(!done);
    }

    void theEndWaitsForTheJobInHandAndDropsTheQueued()
    {
        std::atomic<int> ran{0};
        QSemaphore started;
        {
            WorkThread work(QStringLiteral("test"));
            work.post([&] {
                started.release();
                QThread::msleep(200); // the job in hand when the thread is ended
                ++ran;
            });
            for (int i = 0; i < 3; ++i)
                work.post([&] { ran += 100; });
            started.acquire();
        }
        QCOMPARE(ran.load(), 1);
    }

    void runBesideCompletesOnItsOwnersThread()
    {
        QObject owner;
        std::atomic<bool> worked{false};
        bool done = false;
        runBeside(
            &owner, [&] { worked = true; },
            [&] {
                QCOMPARE(QThread::currentThread(), owner.thread());
                done = worked.load();
            });
        QTRY_VERIFY(done);

        // An owner gone before the end: its completion never comes, and nothing is left over.
        auto gone = std::make_unique<QObject>();
        QSemaphore release;
        bool goneDone = false;
        runBeside(
            gone.get(), [&] { release.acquire(); }, [&] { goneDone = true; });
        gone.reset();
        release.release();
        QTest::qWait(100);
        QVERIFY(!goneDone);
    }
};

QTEST_MAIN(Beside)
#include "test_beside.moc"
