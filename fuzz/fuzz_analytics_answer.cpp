// The analytics answer comes from the network: reading and summing it must survive anything.
#include "AnalyticsQuery.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray body(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const PostureBreakdown b =
        AnalyticsQuery::aggregateBreakdown(AnalyticsQuery::parseUsageRows(body));
    (void)b.moveTotal();
    return 0;
}
