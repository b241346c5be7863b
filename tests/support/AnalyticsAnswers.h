#pragma once
// Answers of the analytics service, as the local HTTPS server of the tests sends them, and what
// a request asked for.
#include "HttpsTestServer.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
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

// The first day of the window a query asks for, and the chair it names.
inline QString asked(const HttpsTestServer::Request& request, const char* pattern)
{
    const QString query = QJsonDocument::fromJson(request.body).object().value(u"query").toString();
    return QRegularExpression(QLatin1String(pattern)).match(query).captured(1);
}
inline QString windowStart(const HttpsTestServer::Request& request)
{
    return asked(request, "eventTimeFrom\\(from: \"([0-9-]*)\"\\)");
}
inline QString serialOf(const HttpsTestServer::Request& request)
{
    return asked(request, "name\\(like: \"([^\"]*)\"\\)");
}

} // namespace AnalyticsAnswers
