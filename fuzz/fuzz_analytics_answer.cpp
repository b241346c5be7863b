// The analytics answer comes from the network: reading and summing it must survive anything,
// and the sums must stay figures the tab can show.
#include "AnalyticsQuery.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>

namespace {

bool isShowableDuration(double seconds)
{
    return std::isfinite(seconds) && seconds >= 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray body(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QJsonArray rows = AnalyticsQuery::parseUsageRows(body);
    for (const QJsonValue& row : rows) {
        if (!row.isObject())
            __builtin_trap(); // a list with anything but rows is no list of rows
    }
    const PostureBreakdown b = AnalyticsQuery::aggregateBreakdown(rows);
    if (!isShowableDuration(b.sitDuration) || !isShowableDuration(b.standDuration) ||
        !isShowableDuration(b.stiltaDuration))
        __builtin_trap();
    // Counts saturate: with none below zero the total is their sum, capped.
    if (b.sitCount >= 0 && b.standCount >= 0 && b.stiltaCount >= 0) {
        const __int128 sum = __int128(b.sitCount) + b.standCount + b.stiltaCount;
        const __int128 cap = std::numeric_limits<qint64>::max();
        if (b.moveTotal() != qint64(sum > cap ? cap : sum))
            __builtin_trap();
    }
    return 0;
}
