#pragma once

#include <QObject>
#include <QPointer>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <vector>

// One-shot delays and repeating timers on the main loop. A timer lives exactly as long as its
// handle: dropping the handle stops and clears it, so a stopped timer can never fire late.
class ScheduledTimer {
public:
    virtual ~ScheduledTimer() = default;
};

class Scheduler {
public:
    using Task = std::function<void()>;
    using Duration = std::chrono::milliseconds;

    virtual ~Scheduler() = default;

    // Runs task once after delay, unless context is gone by then. Not cancellable: the task
    // checks its own conditions when it runs.
    virtual void after(Duration delay, QObject* context, Task task) = 0;

    // Starts a repeating (or one-shot) timer; it stops when the handle is destroyed.
    virtual std::unique_ptr<ScheduledTimer> start(Duration interval, bool repeating, Task task) = 0;
};

// The real one: QTimer on the thread's event loop.
class QtScheduler final : public Scheduler {
public:
    void after(Duration delay, QObject* context, Task task) override;
    std::unique_ptr<ScheduledTimer> start(Duration interval, bool repeating, Task task) override;
};

// Virtual time for tests: nothing runs until advance() moves the clock past it.
class ManualScheduler final : public Scheduler {
public:
    ManualScheduler();
    ~ManualScheduler() override;

    void after(Duration delay, QObject* context, Task task) override;
    std::unique_ptr<ScheduledTimer> start(Duration interval, bool repeating, Task task) override;

    // Runs everything due within the next span, in order of due time (ties in order of
    // scheduling), with now() set to each task's due time while it runs.
    void advance(Duration span);
    Duration now() const { return current; }

    int activeTimers() const; // timers that will still fire
    // The intervals of those timers, in order of starting: tells a test whose timers they are.
    std::vector<Duration> activeTimerIntervals() const;
    int pendingDelays() const; // one-shot delays not yet run
    int heldTimers() const;    // timer handles not yet dropped, fired one-shots included

private:
    struct Entry {
        Duration due;
        Duration interval;
        bool repeating = false;
        bool isDelay = false;
        QPointer<QObject> context;
        bool hasContext = false;
        Task task;
    };
    class Handle;

    quint64 add(Entry entry);

    Duration current{0};
    quint64 nextId = 1;
    std::map<quint64, Entry> entries;
    std::shared_ptr<ManualScheduler*> self;
};
