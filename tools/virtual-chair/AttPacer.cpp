#include "AttPacer.h"

#include <algorithm>

AttPacer::AttPacer(QObject* parent)
    : QObject(parent)
{
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    connect(&timer, &QTimer::timeout, this, &AttPacer::fire);
}

void AttPacer::setInterval(std::chrono::duration<double, std::milli> value)
{
    interval = std::chrono::duration_cast<Clock::duration>(value);
}

void AttPacer::submit(Done done)
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

void AttPacer::abandonAll()
{
    timer.stop();
    std::deque<Pending> gone;
    gone.swap(pending);
    for (Pending& request : gone)
        request.done(false);
}

void AttPacer::armTimer()
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

void AttPacer::fire()
{
    const Clock::time_point now = Clock::now();
    while (!pending.empty() && pending.front().due <= now) {
        Pending request = std::move(pending.front());
        pending.pop_front();
        request.done(true);
    }
    armTimer();
}
