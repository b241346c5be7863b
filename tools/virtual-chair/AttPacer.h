#pragma once

#include <QObject>
#include <QTimer>

#include <chrono>
#include <deque>
#include <functional>

// Paces a link's ATT round trips like its connection events: one request is answered per
// connection interval while requests keep coming (ATT allows one outstanding request), on a
// schedule kept in steady-clock time so that intervals of a fraction of a millisecond average
// out exactly. After the link has been quiet for an interval, a request waits the whole interval.
class AttPacer : public QObject {
    Q_OBJECT
public:
    using Clock = std::chrono::steady_clock;

    explicit AttPacer(QObject* parent = nullptr);

    void setInterval(std::chrono::duration<double, std::milli> interval);
    // Runs done(true) at the request's connection event, at once when the interval is zero;
    // done(false) if the link goes first.
    using Done = std::function<void(bool delivered)>;
    void submit(Done done);
    // The link is gone: every pending request is told so.
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
