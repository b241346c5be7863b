#include "WritePacer.h"

#include <algorithm>

WritePacer::WritePacer(QObject* parent)
    : QObject(parent)
{
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    connect(&timer, &QTimer::timeout, this, &WritePacer::fire);
}

void WritePacer::setInterval(std::chrono::duration<double, std::milli> value)
{
    interval = std::chrono::duration_cast<Clock::duration>(value);
}

void WritePacer::submit(Done done)
{
    const Clock::time_point now = Clock::now();
    if (interval == Clock::duration::zero() && pending.empty()) {
        done(true);
        return;
    }
    // The next event after the last one, unless the link has been quiet for a whole interval.
    Clock::time_point due = pending.empty() ? lastEvent + interval : pending.back().due + interval;
    if (pending.empty() && now - lastEvent > interval)
        due = now + interval;
    lastEvent = due;
    pending.push_back({due, std::move(done)});
    armTimer();
}

void WritePacer::abandonAll()
{
    timer.stop();
    std::deque<Pending> gone;
    gone.swap(pending);
    for (Pending& write : gone)
        write.done(false);
}

void WritePacer::armTimer()
{
    if (pending.empty()) {
        timer.stop();
        return;
    }
    // Rounded up: a confirmation never comes before its event; the schedule itself stays exact.
    const auto wait = pending.front().due - Clock::now();
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(wait);
    timer.start(int(std::max<qint64>(0, ms.count())));
}

void WritePacer::fire()
{
    const Clock::time_point now = Clock::now();
    while (!pending.empty() && pending.front().due <= now) {
        Pending write = std::move(pending.front());
        pending.pop_front();
        write.done(true);
    }
    armTimer();
}
