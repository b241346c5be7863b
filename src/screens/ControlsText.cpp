#include "ControlsText.h"

#include <algorithm>
#include <cmath>

namespace ControlsFormat {

namespace {

// Whole seconds shown by the ring fit any countdown the chair can send (at most 2^32 - 1 s).
constexpr double largestShownSeconds = 1e15;

} // namespace

double periodFromSlider(double value)
{
    return ChairCodec::snapPeriodMinutes(value);
}

QString intervalLabel(double minutes)
{
    const double rounded = std::round(minutes * 60.0);
    const qint64 total =
        std::isfinite(rounded)
            ? static_cast<qint64>(std::clamp(rounded, -largestShownSeconds, largestShownSeconds))
            : 0;
    const qint64 whole = total / 60;
    const qint64 rest = total - 60 * whole;
    if (rest == 0)
        return QStringLiteral("%1 min").arg(whole);
    return QStringLiteral("%1 min %2s").arg(whole).arg(rest);
}

double ringProgress(double remaining, double total)
{
    if (!(total > 0) || std::isnan(remaining))
        return 0.0;
    return std::clamp(remaining / total, 0.0, 1.0);
}

RingColor ringColor(double remaining)
{
    if (remaining <= 5)
        return RingColor::red;
    if (remaining <= 10)
        return RingColor::orange;
    return RingColor::green;
}

QString countdownText(double remaining)
{
    const double cut = std::trunc(remaining);
    const qint64 seconds =
        cut > 0 ? static_cast<qint64>(std::min(cut, largestShownSeconds)) : 0; // NaN too
    const qint64 minutes = seconds / 60;
    return QStringLiteral("%1:%2").arg(minutes).arg(seconds - 60 * minutes, 2, 10,
                                                    QLatin1Char('0'));
}

QString legStatusText(bool up)
{
    return up ? QStringLiteral("Up") : QStringLiteral("Down");
}

QString legIcon(bool up)
{
    return up ? QStringLiteral("arrow.down.circle.fill") : QStringLiteral("arrow.up.circle.fill");
}

QStringList patternNames()
{
    return {QStringLiteral("Sit to Stand"), QStringLiteral("Stilta"), QStringLiteral("Round Trip")};
}

QStringList patternDescriptions()
{
    return {QStringLiteral("Transition directly between sitting and standing"),
            QStringLiteral("Alternate legs in Stilta"),
            QStringLiteral("Try them all: Sit, stilta, stand...and repeat!")};
}

QString patternDescription(const QStringList& descriptions, qint64 pattern)
{
    if (pattern < 0 || pattern >= descriptions.size())
        return {};
    return descriptions.at(pattern);
}

int patternSegment(qint64 pattern, int count)
{
    return pattern >= 0 && pattern < count ? static_cast<int>(pattern) : -1;
}

QString contentFor(bool chairIsAsleep, int selectedTab)
{
    if (chairIsAsleep)
        return QStringLiteral("sleeping");
    switch (selectedTab) {
    case 1: return QStringLiteral("settings");
    case 2: return QStringLiteral("analytics");
    default: return QStringLiteral("controls");
    }
}

bool showsOfflineBanner(const QVariant& wifiOfflineSeconds)
{
    return wifiOfflineSeconds.isValid() && !wifiOfflineSeconds.isNull();
}

} // namespace ControlsFormat

QString ControlsText::ringColor(double remaining) const
{
    switch (ControlsFormat::ringColor(remaining)) {
    case ControlsFormat::RingColor::red: return QStringLiteral("red");
    case ControlsFormat::RingColor::orange: return QStringLiteral("orange");
    case ControlsFormat::RingColor::green: break;
    }
    return QStringLiteral("green");
}
