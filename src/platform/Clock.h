#pragma once

#include <QDateTime>
#include <QTimeZone>

// Now and the local time zone: for calendar ranges and the zone the chair is told.
class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
    virtual QTimeZone timeZone() const = 0;
};

class SystemClock final : public Clock {
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
    QTimeZone timeZone() const override { return QTimeZone::systemTimeZone(); }
};

// A pinned clock for tests.
class ManualClock final : public Clock {
public:
    explicit ManualClock(QDateTime now = QDateTime(QDate(2026, 1, 1), QTime(12, 0),
                                                   QTimeZone::utc()),
                         QTimeZone zone = QTimeZone::utc())
        : current(std::move(now))
        , zone(std::move(zone))
    {
    }
    QDateTime now() const override { return current; }
    QTimeZone timeZone() const override { return zone; }
    void setNow(const QDateTime& value) { current = value; }
    void setTimeZone(const QTimeZone& value) { zone = value; }

private:
    QDateTime current;
    QTimeZone zone;
};
