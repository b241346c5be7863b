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
        auto context = std::make_unique<QObject>();
        s.after(2000ms, nullptr, [&] { note("b"); });
        s.after(1000ms, nullptr, [&] { note("a"); });
        s.after(1500ms, context.get(), [&] { note("for a gone context"); });
        s.after(2000ms, nullptr, [&] { note("c"); });
        context.reset();
        s.advance(1999ms);
        QCOMPARE(order, QStringList{"a"});
        s.advance(1ms);
        QCOMPARE(order, (QStringList{"a", "b", "c"}));
        QCOMPARE(times, (QList<qint64>{1000, 2000, 2000}));
        QCOMPARE(s.pendingDelays(), 0);
    }

    void timersFireUntilTheirHandleIsDropped()
    {
        ManualScheduler s;
        int ticks = 0, fired = 0, a = 0, b = 0;
        qint64 nestedAt = -1;
        auto timer = s.start(1000ms, true, [&] { ++ticks; });
        // A one-shot fires once; what it schedules while running keeps its own time.
        auto once = s.start(2000ms, false, [&] {
            ++fired;
            s.after(1000ms, nullptr, [&] { nestedAt = s.now().count(); });
        });
        // A timer may stop itself and others while it fires.
        std::unique_ptr<ScheduledTimer> first, second;
        first = s.start(500ms, true, [&] {
            ++a;
            first.reset();
            second.reset();
        });
        second = s.start(500ms, true, [&] { ++b; });
        s.advance(3000ms);
        QCOMPARE(ticks, 3);
        QCOMPARE(fired, 1);
        QCOMPARE(nestedAt, 3000);
        QCOMPARE(a + b, 1);
        QCOMPARE(s.activeTimers(), 1);
        timer.reset();
        s.advance(10s);
        QCOMPARE(ticks + fired, 4);
        QCOMPARE(s.activeTimers(), 0);
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
