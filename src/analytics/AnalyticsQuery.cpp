#include "AnalyticsQuery.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

#include <cmath>
#include <limits>

namespace AnalyticsQuery {

DateWindow dateRange(TimeRange range, QDate today)
{
    return {today.addDays(-Analytics::dayCount(range)), today.addDays(1)};
}

DateWindow previousWindow(const DateWindow& window)
{
    qint64 days = window.from.daysTo(window.to);
    if (days <= 0)
        days = 1;
    return {window.from.addDays(-days), window.from};
}

QString dateText(QDate date)
{
    return QString::asprintf("%04d-%02d-%02d", date.year(), date.month(), date.day());
}

QString escapeGraphQLString(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        switch (c.unicode()) {
        case '"': out += QLatin1String("\\\""); break;
        case '\\': out += QLatin1String("\\\\"); break;
        case '\n': out += QLatin1String("\\n"); break;
        case '\r': out += QLatin1String("\\r"); break;
        case '\t': out += QLatin1String("\\t"); break;
        case '\b': out += QLatin1String("\\b"); break;
        case '\f': out += QLatin1String("\\f"); break;
        default:
            if (c.unicode() < 0x20 || c.unicode() == 0x7F)
                out += QString::asprintf("\\u%04X", c.unicode());
            else
                out += c;
        }
    }
    return out;
}

QString buildQuery(const QString& serial, const QString& fromText, const QString& toText)
{
    return QStringLiteral("{\n  chairUsageByLegPositionAndChair {\n    chair { name(like: \"") +
           escapeGraphQLString(serial) +
           QStringLiteral("\") }\n    leftLegPos { name }\n    rightLegPos { name }\n    count\n"
                          "    stateDuration\n    eventTimeFrom(from: \"") +
           escapeGraphQLString(fromText) + QStringLiteral("\")\n    eventTimeTo(from: \"") +
           escapeGraphQLString(toText) + QStringLiteral("\")\n  }\n}");
}

QByteArray requestBody(const QString& query)
{
    return QJsonDocument(QJsonObject{{QStringLiteral("query"), query}})
        .toJson(QJsonDocument::Compact);
}

QJsonArray parseUsageRows(const QByteArray& body)
{
    const QJsonDocument document = QJsonDocument::fromJson(body);
    if (!document.isObject())
        return {};
    const QJsonValue data = document.object().value(QLatin1String("data"));
    if (!data.isObject())
        return {};
    for (const char* member :
         {"chairUsageByLegPositionAndChair", "chairUsageByLegPosition", "chairEvent"}) {
        const QJsonValue list = data.toObject().value(QLatin1String(member));
        if (!list.isArray())
            continue;
        const QJsonArray rows = list.toArray();
        const bool allObjects = std::all_of(rows.begin(), rows.end(),
                                            [](const QJsonValue& row) { return row.isObject(); });
        if (allObjects)
            return rows;
    }
    return {};
}

namespace {

QString legName(const QJsonObject& row, const char* member)
{
    return row.value(QLatin1String(member)).toObject().value(QLatin1String("name")).toString();
}

// Whole counts only, and only those that fit in 64 bits (read exactly, not through a double).
qint64 rowCount(const QJsonObject& row)
{
    const QJsonValue value = row.value(QLatin1String("count"));
    if (!value.isDouble())
        return 0;
    // toInteger falls back to its argument for anything but a representable integer.
    const qint64 count = value.toInteger(0);
    return count == value.toInteger(1) ? count : 0;
}

double rowDuration(const QJsonObject& row)
{
    const QJsonValue value = row.value(QLatin1String("stateDuration"));
    if (!value.isDouble())
        return 0;
    const double seconds = value.toDouble();
    return std::isfinite(seconds) && seconds >= 0 ? seconds : 0;
}

void addCount(qint64& sum, qint64 count)
{
    if (__builtin_add_overflow(sum, count, &sum))
        sum = count > 0 ? std::numeric_limits<qint64>::max() : std::numeric_limits<qint64>::min();
}

void addDuration(double& sum, double seconds)
{
    sum = std::min(sum + seconds, std::numeric_limits<double>::max());
}

} // namespace

PostureBreakdown aggregateBreakdown(const QJsonArray& rows)
{
    PostureBreakdown b;
    for (const QJsonValue& value : rows) {
        const QJsonObject row = value.toObject();
        const QString left = legName(row, "leftLegPos");
        const QString right = legName(row, "rightLegPos");
        const qint64 count = rowCount(row);
        const double duration = rowDuration(row);
        if (left == QLatin1String("Up") && right == QLatin1String("Up")) {
            addCount(b.sitCount, count);
            addDuration(b.sitDuration, duration);
        } else if (left == QLatin1String("Down") && right == QLatin1String("Down")) {
            addCount(b.standCount, count);
            addDuration(b.standDuration, duration);
        } else {
            addCount(b.stiltaCount, count);
            addDuration(b.stiltaDuration, duration);
        }
    }
    return b;
}

} // namespace AnalyticsQuery
