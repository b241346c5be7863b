// How much of reading a year of posture rows is summing them: parse + aggregate against
// parse alone, on a synthetic answer of 20,000 rows.
#include "AnalyticsQuery.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

QByteArray yearOfRows(int rows)
{
    static const char* legs[] = {"Up", "Down"};
    QJsonArray list;
    for (int i = 0; i < rows; ++i) {
        list.append(QJsonObject{
            {QStringLiteral("chair"),
             QJsonObject{{QStringLiteral("name"), QStringLiteral("VP-0042")}}},
            {QStringLiteral("leftLegPos"),
             QJsonObject{{QStringLiteral("name"), QLatin1String(legs[i % 2])}}},
            {QStringLiteral("rightLegPos"),
             QJsonObject{{QStringLiteral("name"), QLatin1String(legs[(i / 2) % 2])}}},
            {QStringLiteral("count"), i % 7 + 1},
            {QStringLiteral("stateDuration"), 30.5 + i % 600},
            {QStringLiteral("eventTimeFrom"), QStringLiteral("2025-03-05T08:00:00Z")},
            {QStringLiteral("eventTimeTo"), QStringLiteral("2025-03-05T08:10:00Z")},
        });
    }
    const QJsonObject answer{
        {QStringLiteral("data"),
         QJsonObject{{QStringLiteral("chairUsageByLegPositionAndChair"), list}}}};
    return QJsonDocument(answer).toJson(QJsonDocument::Compact);
}

template <typename F> double medianMs(int runs, F&& f)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        f();
        times.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

} // namespace

int main()
{
    const QByteArray body = yearOfRows(20000);
    constexpr int runs = 21;
    qint64 sink = 0;
    const double parseOnly =
        medianMs(runs, [&] { sink += QJsonDocument::fromJson(body).object().size(); });
    const double parseAndAggregate = medianMs(runs, [&] {
        sink +=
            AnalyticsQuery::aggregateBreakdown(AnalyticsQuery::parseUsageRows(body)).moveTotal();
    });
    std::printf("answer: 20000 rows, %lld bytes, median of %d runs\n",
                static_cast<long long>(body.size()), runs);
    std::printf("%-28s %10s\n", "step", "ms");
    std::printf("%-28s %10.2f\n", "parse JSON", parseOnly);
    std::printf("%-28s %10.2f\n", "parse + rows + aggregate", parseAndAggregate);
    std::printf("%-28s %10.2f\n", "ratio", parseAndAggregate / parseOnly);
    return sink == 0 ? 1 : 0;
}
