#include "AnalyticsTypes.h"

#include <limits>

namespace Analytics {

QString timeRangeText(TimeRange range)
{
    switch (range) {
    case TimeRange::today: return QStringLiteral("Today");
    case TimeRange::week: return QStringLiteral("7 Days");
    case TimeRange::month: return QStringLiteral("30 Days");
    case TimeRange::year: return QStringLiteral("Year");
    }
    return {};
}

std::optional<TimeRange> timeRangeFromText(const QString& text)
{
    for (TimeRange range : allRanges)
        if (timeRangeText(range) == text)
            return range;
    return std::nullopt;
}

int dayCount(TimeRange range)
{
    switch (range) {
    case TimeRange::today: return 0;
    case TimeRange::week: return 7;
    case TimeRange::month: return 30;
    case TimeRange::year: return 365;
    }
    return 0;
}

std::chrono::seconds pollInterval(TimeRange range)
{
    using namespace std::chrono_literals;
    switch (range) {
    case TimeRange::today: return 10s;
    case TimeRange::week: return 30s;
    case TimeRange::month: return 120s;
    case TimeRange::year: return 300s;
    }
    return 10s;
}

} // namespace Analytics

qint64 PostureBreakdown::moveTotal() const
{
    qint64 total = 0;
    for (qint64 part : {sitCount, standCount, stiltaCount}) {
        if (__builtin_add_overflow(total, part, &total))
            return part > 0 ? std::numeric_limits<qint64>::max()
                            : std::numeric_limits<qint64>::min();
    }
    return total;
}
