#include "Scheduler.h"

#include <QTimer>

namespace {

class QtTimerHandle final : public ScheduledTimer {
public:
    QtTimerHandle(Scheduler::Duration interval, bool repeating, Scheduler::Task task)
        : timer(new QTimer)
    {
        timer->setInterval(interval);
        timer->setSingleShot(!repeating);
        QObject::connect(timer, &QTimer::timeout, timer, std::move(task));
        timer->start();
    }
    // A timer is often dropped from its own tick: stop it now, delete it once the tick is over.
    ~QtTimerHandle() override
    {
        timer->stop();
        timer->deleteLater();
    }

private:
    QTimer* timer;
};

} // namespace

void QtScheduler::after(Duration delay, QObject* context, Task task)
{
    if (context)
        QTimer::singleShot(delay, context, std::move(task));
    else
        QTimer::singleShot(delay, std::move(task));
}

std::unique_ptr<ScheduledTimer> QtScheduler::start(Duration interval, bool repeating, Task task)
{
    return std::make_unique<QtTimerHandle>(interval, repeating, std::move(task));
}

// The handle may outlive the scheduler in a careless test; the shared pointer tells it so.
class ManualScheduler::Handle final : public ScheduledTimer {
public:
    Handle(std::shared_ptr<ManualScheduler*> owner, quint64 id)
        : owner(std::move(owner))
        , id(id)
    {
    }
    ~Handle() override
    {
        if (*owner)
            (*owner)->entries.erase(id);
    }

private:
    std::shared_ptr<ManualScheduler*> owner;
    quint64 id;
};

ManualScheduler::ManualScheduler()
    : self(std::make_shared<ManualScheduler*>(this))
{
}

ManualScheduler::~ManualScheduler()
{
    *self = nullptr;
}

quint64 ManualScheduler::add(Entry entry)
{
    const quint64 id = nextId++;
    entries.emplace(id, std::move(entry));
    return id;
}

void ManualScheduler::after(Duration delay, QObject* context, Task task)
{
    Entry entry;
    entry.due = current + delay;
    entry.isDelay = true;
    entry.context = context;
    entry.hasContext = context != nullptr;
    entry.task = std::move(task);
    add(std::move(entry));
}

std::unique_ptr<ScheduledTimer> ManualScheduler::start(Duration interval, bool repeating, Task task)
{
    Entry entry;
    entry.due = current + interval;
    entry.interval = interval;
    entry.repeating = repeating;
    entry.task = std::move(task);
    return std::make_unique<Handle>(self, add(std::move(entry)));
}

void ManualScheduler::advance(Duration span)
{
    const Duration end = current + span;
    for (;;) {
        auto next = entries.end();
        for (auto it = entries.begin(); it != entries.end(); ++it) {
            if (it->second.due <= end &&
                (next == entries.end() || it->second.due < next->second.due))
                next = it;
        }
        if (next == entries.end())
            break;
        const quint64 id = next->first;
        Entry& entry = next->second;
        current = entry.due;
        Task task = entry.task; // the entry may be erased while the task runs
        if (entry.isDelay) {
            const bool contextGone = entry.hasContext && entry.context.isNull();
            entries.erase(id);
            if (!contextGone)
                task();
            continue;
        }
        if (entry.repeating) {
            // A zero interval would never let time move on.
            entry.due += entry.interval.count() > 0 ? entry.interval : Duration{1};
        } else {
            entry.due = Duration::max();
        }
        task();
    }
    current = end;
}

int ManualScheduler::activeTimers() const
{
    int n = 0;
    for (const auto& [id, entry] : entries)
        n += (!entry.isDelay && entry.due != Duration::max()) ? 1 : 0;
    return n;
}

std::vector<ManualScheduler::Duration> ManualScheduler::activeTimerIntervals() const
{
    std::vector<Duration> intervals;
    for (const auto& [id, entry] : entries)
        if (!entry.isDelay && entry.due != Duration::max())
            intervals.push_back(entry.interval);
    return intervals;
}

int ManualScheduler::pendingDelays() const
{
    int n = 0;
    for (const auto& [id, entry] : entries)
        n += entry.isDelay ? 1 : 0;
    return n;
}

int ManualScheduler::heldTimers() const
{
    int n = 0;
    for (const auto& [id, entry] : entries)
        n += entry.isDelay ? 0 : 1;
    return n;
}
