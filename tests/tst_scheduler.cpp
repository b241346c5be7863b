// Virtual time is what every link test stands on, and the real scheduler is what the program
// runs on: both must honour order, handles and dead contexts alike.
#include "Scheduler.h"

#include <QtTest>

#include <memory>

using namespace std::chrono_literals;

class SchedulerTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void virtualTimeRunsInDueOrderWithTiesInSchedulingOrder()
    {
        ManualScheduler s;
        QStringList order;
        QList<qint64> times;
        auto note = [&](const char* what) {
            order << QLatin1String(what);
            times << s.now().count();
        };
        s.after(2000ms, nullptr, [&] { note("b"); });
        s.after(1000ms, nullptr, [&] { note("a"); });
        s.after(2000ms, nullptr, [&] { note("c"); });
        s.advance(1999ms);
        QCOMPARE(order, QStringList{QStringLiteral("a")});
        s.advance(1ms);
        QCOMPARE(order,
                 (QStringList{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")}));
        QCOMPARE(times, (QList<qint64>{1000, 2000, 2000}));
        QCOMPARE(s.pendingDelays(), 0);
    }

    void repeatingTimerFiresEachIntervalUntilItsHandleIsDropped()
    {
        ManualScheduler s;
        int ticks = 0;
        auto timer = s.start(1000ms, true, [&] { ++ticks; });
        s.advance(3500ms);
        QCOMPARE(ticks, 3);
        QCOMPARE(s.activeTimers(), 1);
        timer.reset();
        s.advance(10s);
        QCOMPARE(ticks, 3);
        QCOMPARE(s.activeTimers(), 0);
    }

    void timerMayStopItselfAndOthersWhileFiring()
    {
        ManualScheduler s;
        int a = 0, b = 0;
        std::unique_ptr<ScheduledTimer> first, second;
        first = s.start(1000ms, true, [&] {
            ++a;
            first.reset();
            second.reset();
        });
        second = s.start(1000ms, true, [&] { ++b; });
        s.advance(5s);
        QCOMPARE(a, 1);
        QCOMPARE(b, 0);
    }

    void oneShotTimerFiresOnceAndTasksScheduledWhileRunningKeepTheirTime()
    {
        ManualScheduler s;
        int fired = 0;
        qint64 nestedAt = -1;
        auto once = s.start(720s, false, [&] {
            ++fired;
            s.after(1000ms, nullptr, [&] { nestedAt = s.now().count(); });
        });
        s.advance(800s);
        QCOMPARE(fired, 1);
        QCOMPARE(nestedAt, 721000);
        QCOMPARE(s.activeTimers(), 0);
    }

    void delayForAGoneContextDoesNothing()
    {
        ManualScheduler s;
        bool ran = false;
        auto context = std::make_unique<QObject>();
        s.after(1000ms, context.get(), [&] { ran = true; });
        context.reset();
        s.advance(2s);
        QVERIFY(!ran);
    }

    void realSchedulerHonoursHandlesAndContexts()
    {
        QtScheduler s;
        int ticks = 0;
        bool orphanRan = false, delayRan = false;
        auto timer = s.start(10ms, true, [&] { ++ticks; });
        auto context = std::make_unique<QObject>();
        s.after(20ms, context.get(), [&] { orphanRan = true; });
        s.after(20ms, nullptr, [&] { delayRan = true; });
        context.reset();
        QTRY_VERIFY(ticks >= 2);
        timer.reset();
        const int stoppedAt = ticks;
        QTest::qWait(60);
        QCOMPARE(ticks, stoppedAt);
        QVERIFY(delayRan);
        QVERIFY(!orphanRan);
    }
};

QTEST_GUILESS_MAIN(SchedulerTest)
#include "tst_scheduler.moc"
