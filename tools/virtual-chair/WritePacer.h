#pragma once

#include <QObject>
#include <QTimer>

#include <chrono>
#include <deque>
#include <functional>

// Paces write confirmations like a BLE link's connection events: while writes keep coming, one
// is confirmed per connection interval, on a schedule kept in steady-clock time so that
// intervals of a fraction of a millisecond average out exactly. After the link has been quiet
// for an interval, a write waits the whole interval.
class WritePacer : public QObject {
    Q_OBJECT
public:
    using Clock = std::chrono::steady_clock;

    explicit WritePacer(QObject* parent = nullptr);

    void setInterval(std::chrono::duration<double, std::milli> interval);
    // Runs done(true) at the write's connection event, at once when the interval is zero;
    // done(false) if the link goes first.
    using Done = std::function<void(bool delivered)>;
    void submit(Done done);
    // The link is gone: every pending write is told so.
    void abandonAll();

private:
    struct Pending {
        Clock::time_point due;
        Done done;
    };

    void armTimer();
    void fire();

    Clock::duration interval{};
    Clock::time_point lastEvent{};
    std::deque<Pending> pending;
    QTimer timer;
};
