#pragma once

#include "AnalyticsTypes.h"

#include <QByteArray>
#include <QDate>
#include <QJsonArray>
#include <QString>

// The pure half of the analytics client: calendar windows, query text, answer reading.
namespace AnalyticsQuery {

// A window of whole local calendar days: from the start of `from` to the start of `to`.
struct DateWindow {
    QDate from;
    QDate to;
    bool operator==(const DateWindow&) const = default;
};

DateWindow dateRange(TimeRange range, QDate today);
// The window of equal length that ends where this one starts.
DateWindow previousWindow(const DateWindow& window);
// yyyy-MM-dd in ASCII digits, whatever the locale.
QString dateText(QDate date);

// The text as a GraphQL string literal's content: quotes, backslashes and control characters
// escaped.
QString escapeGraphQLString(const QString& text);
QString buildQuery(const QString& serial, const QString& fromText, const QString& toText);
// {"query":"..."} compact UTF-8.
QByteArray requestBody(const QString& query);

// The usage rows of an answer body; anything unreadable is an empty list.
QJsonArray parseUsageRows(const QByteArray& body);
PostureBreakdown aggregateBreakdown(const QJsonArray& rows);

} // namespace AnalyticsQuery
