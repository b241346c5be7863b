#pragma once

#include "AnalyticsTypes.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QtQml/qqmlregistration.h>

#include <optional>

// The texts and figures of the analytics tab and its debug mode. Pure functions, so that the
// QML only lays out and binds.
namespace AnalyticsText {

enum class Tone { none, green, orange };

// The line under the total: how this period compares with the one before it.
struct Comparison {
    QString text; // empty: no line
    Tone tone = Tone::none;
    bool isBold = false;
};

// "59s", "1m 30s", "1h 2m": whole seconds, halves away from zero. Negative or unreadable
// durations (the server is not trusted) read as 0s.
QString durationText(double seconds);
// A posture's share of the time in percent, 0 to 100; 0 when no time was logged at all.
double share(double part, double sit, double stand, double stilta);
// "{n}%", n rounded halves away from zero.
QString percentText(double percent);
QString movesText(qint64 moves);
QString transitionsText(qint64 count);
Comparison comparison(std::optional<qint64> previousMoves, qint64 totalMoves, TimeRange range);
// "Sit", "Stand" or "Stilta" from the live leg positions.
QString posture(bool leftLegUp, bool rightLegUp);
// Only spaces and tabs are trimmed off a typed serial: a line break is the user's.
QString debugSerial(const QString& input);
// The larger of the server's total and the baseline plus the moves counted since it was taken;
// never overflows.
qint64 totalMoves(qint64 serverTotal, qint64 baseline, qint64 liveGrowth);

} // namespace AnalyticsText

// The analytics texts as QML sees them; ranges arrive as the numbers of Analytics.TimeRange.
class AnalyticsTextFormatter : public QObject {
    Q_OBJECT
    QML_NAMED_ELEMENT(AnalyticsText)
    QML_SINGLETON
public:
    using QObject::QObject;

    Q_INVOKABLE QString duration(double seconds) const
    {
        return AnalyticsText::durationText(seconds);
    }
    Q_INVOKABLE double share(double part, double sit, double stand, double stilta) const
    {
        return AnalyticsText::share(part, sit, stand, stilta);
    }
    Q_INVOKABLE QString percent(double percent) const
    {
        return AnalyticsText::percentText(percent);
    }
    Q_INVOKABLE QString moves(qint64 moves) const { return AnalyticsText::movesText(moves); }
    Q_INVOKABLE QString transitions(qint64 count) const
    {
        return AnalyticsText::transitionsText(count);
    }
    // {text, tone: "" | "green" | "orange", bold}; previousMoves undefined when unknown.
    Q_INVOKABLE QVariantMap comparison(const QVariant& previousMoves, qint64 totalMoves,
                                       int range) const;
    Q_INVOKABLE QString posture(bool leftLegUp, bool rightLegUp) const
    {
        return AnalyticsText::posture(leftLegUp, rightLegUp);
    }
    Q_INVOKABLE QString debugSerial(const QString& input) const
    {
        return AnalyticsText::debugSerial(input);
    }
    Q_INVOKABLE QString rangeName(int range) const
    {
        return Analytics::timeRangeText(TimeRange(range));
    }
    // The picker's segments in order, as [{range, name}].
    Q_INVOKABLE QVariantList ranges() const;
};
