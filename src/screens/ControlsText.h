#pragma once

#include "ChairCodec.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QtQml/qqmlregistration.h>

// What the connected screen and its Controls tab derive from the chair's values: the interval
// slider's snapping and label, the countdown ring, the leg buttons, the pattern picker and the
// choice of content. Pure functions, so that the QML only lays out and binds.
namespace ControlsFormat {

// The interval slider's range, in minutes, and its step of 10 seconds.
inline constexpr double periodMinimum = ChairCodec::periodMinimumMinutes;
inline constexpr double periodMaximum = ChairCodec::periodMaximumMinutes;
inline constexpr double periodStep = ChairCodec::periodStepMinutes;

// The minutes stored for a slider value: the nearest sixth of a minute (halves away from zero).
double periodFromSlider(double value);
// "{w} min" or "{w} min {r}s" for the minutes taken to the nearest second (halves away from
// zero). A value that is not a number labels as 0 min.
QString intervalLabel(double minutes);

// The ring's filled part, 0 to 1; a total of 0 or less gives 0.
double ringProgress(double remaining, double total);
enum class RingColor { green, orange, red };
// Red at 5 s or less, orange at 10 s or less, green otherwise.
RingColor ringColor(double remaining);
// "m:ss" of the whole seconds left (cut towards zero); anything below 0 or not a number shows
// 0:00.
QString countdownText(double remaining);

// A leg button: "Up" or "Down", and its icon, which shows where a press takes the leg.
QString legStatusText(bool up);
QString legIcon(bool up);

// The movement patterns by the index the chair reports.
QStringList patternNames();
QStringList patternDescriptions();
// The entry for a pattern, empty for an index the table does not hold.
QString patternDescription(const QStringList& descriptions, qint64 pattern);
// The segment to show selected, -1 (none) for an index outside the table.
int patternSegment(qint64 pattern, int count);

// What the content area shows: "sleeping" while the chair sleeps, otherwise the selected tab
// ("controls" 0, "settings" 1, "analytics" 2; any other number shows the controls).
QString contentFor(bool chairIsAsleep, int selectedTab);

// The offline banner shows while the grace period holds a number of seconds.
bool showsOfflineBanner(const QVariant& wifiOfflineSeconds);

} // namespace ControlsFormat

// The Controls tab's formatters as QML sees them.
class ControlsText : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
    Q_PROPERTY(double periodMinimum READ periodMinimum CONSTANT)
    Q_PROPERTY(double periodMaximum READ periodMaximum CONSTANT)
    Q_PROPERTY(double periodStep READ periodStep CONSTANT)
    Q_PROPERTY(QStringList patternNames READ patternNames CONSTANT)
    Q_PROPERTY(QStringList patternDescriptions READ patternDescriptions CONSTANT)

public:
    using QObject::QObject;

    double periodMinimum() const { return ControlsFormat::periodMinimum; }
    double periodMaximum() const { return ControlsFormat::periodMaximum; }
    double periodStep() const { return ControlsFormat::periodStep; }
    QStringList patternNames() const { return ControlsFormat::patternNames(); }
    QStringList patternDescriptions() const { return ControlsFormat::patternDescriptions(); }

    Q_INVOKABLE double periodFromSlider(double value) const
    {
        return ControlsFormat::periodFromSlider(value);
    }
    Q_INVOKABLE QString intervalLabel(double minutes) const
    {
        return ControlsFormat::intervalLabel(minutes);
    }
    Q_INVOKABLE double ringProgress(double remaining, double total) const
    {
        return ControlsFormat::ringProgress(remaining, total);
    }
    // "green", "orange" or "red": the Theme colour of the ring's arc.
    Q_INVOKABLE QString ringColor(double remaining) const;
    Q_INVOKABLE QString countdownText(double remaining) const
    {
        return ControlsFormat::countdownText(remaining);
    }
    Q_INVOKABLE QString legStatusText(bool up) const { return ControlsFormat::legStatusText(up); }
    Q_INVOKABLE QString legIcon(bool up) const { return ControlsFormat::legIcon(up); }
    Q_INVOKABLE QString patternDescription(const QStringList& descriptions, qint64 pattern) const
    {
        return ControlsFormat::patternDescription(descriptions, pattern);
    }
    Q_INVOKABLE int patternSegment(qint64 pattern, int count) const
    {
        return ControlsFormat::patternSegment(pattern, count);
    }
    Q_INVOKABLE QString contentFor(bool chairIsAsleep, int selectedTab) const
    {
        return ControlsFormat::contentFor(chairIsAsleep, selectedTab);
    }
    Q_INVOKABLE bool showsOfflineBanner(const QVariant& wifiOfflineSeconds) const
    {
        return ControlsFormat::showsOfflineBanner(wifiOfflineSeconds);
    }
};
