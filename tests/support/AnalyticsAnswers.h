#pragma once
// Answers of the analytics service, as the local HTTPS server of the tests sends them.
#include "HttpsTestServer.h"

#include <QString>

namespace AnalyticsAnswers {

inline HttpsTestServer::Answer usage(const QByteArray& rows)
{
    return {200, QStringLiteral(R"({"data":{"chairUsageByLegPositionAndChair":[%1]}})")
                     .arg(QString::fromUtf8(rows))
                     .toUtf8()};
}

inline QByteArray row(const char* left, const char* right, qint64 count, double seconds = 0)
{
    return QStringLiteral(
               R"({"leftLegPos":{"name":"%1"},"rightLegPos":{"name":"%2"},"count":%3,"stateDuration":%4})")
        .arg(QLatin1String(left), QLatin1String(right))
        .arg(count)
        .arg(seconds)
        .toUtf8();
}

// Ten moves on a day (sit 3 for 120.5 s, stand 2 for 60 s, Stilta 5 for 15 s), and seven on the
// day before.
inline const HttpsTestServer::Answer mixedDay =
    usage(row("Up", "Up", 3, 120.5) + ',' + row("Down", "Down", 2, 60) + ',' +
          row("Up", "Down", 1, 10) + ',' + row("Down", "Up", 4, 5));
inline const HttpsTestServer::Answer dayBefore = usage(row("Up", "Up", 7));

} // namespace AnalyticsAnswers
