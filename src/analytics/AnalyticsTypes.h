#pragma once

#include <QMetaType>
#include <QObject>
#include <QString>

#include <chrono>
#include <optional>

namespace Analytics {
Q_NAMESPACE
// QML reaches the cases as Analytics.TimeRange.week.
Q_CLASSINFO("RegisterEnumClassesUnscoped", "false")

enum class TimeRange { today, week, month, year };
Q_ENUM_NS(TimeRange)

inline constexpr TimeRange allRanges[] = {TimeRange::today, TimeRange::week, TimeRange::month,
                                          TimeRange::year};

// "Today", "7 Days", "30 Days", "Year": the range picker's labels.
QString timeRangeText(TimeRange range);
std::optional<TimeRange> timeRangeFromText(const QString& text);
// Calendar days before the start of today at which the window opens.
int dayCount(TimeRange range);
std::chrono::seconds pollInterval(TimeRange range);

} // namespace Analytics

using Analytics::TimeRange;

// Rows, time and moves per posture over one period.
struct PostureBreakdown {
    Q_GADGET
    Q_PROPERTY(qint64 sitCount MEMBER sitCount)
    Q_PROPERTY(qint64 standCount MEMBER standCount)
    Q_PROPERTY(qint64 stiltaCount MEMBER stiltaCount)
    Q_PROPERTY(double sitDuration MEMBER sitDuration)
    Q_PROPERTY(double standDuration MEMBER standDuration)
    Q_PROPERTY(double stiltaDuration MEMBER stiltaDuration)
    Q_PROPERTY(qint64 moveTotal READ moveTotal)

public:
    qint64 sitCount = 0;
    qint64 standCount = 0;
    qint64 stiltaCount = 0;
    double sitDuration = 0; // seconds
    double standDuration = 0;
    double stiltaDuration = 0;

    qint64 moveTotal() const; // saturates instead of overflowing
    bool operator==(const PostureBreakdown&) const = default;
};
Q_DECLARE_METATYPE(PostureBreakdown)
