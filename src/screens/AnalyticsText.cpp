#include "AnalyticsText.h"

#include <QVariantMap>

#include <algorithm>
#include <cmath>
#include <limits>

namespace AnalyticsText {

namespace {

// Whole units, halves away from zero; bounded so that absurd server values cannot overflow.
qint64 rounded(double value)
{
    if (!std::isfinite(value))
        return 0;
    constexpr double bound = 1e15;
    return std::llround(std::clamp(value, -bound, bound));
}

} // namespace

QString durationText(double seconds)
{
    const qint64 s = std::max<qint64>(rounded(seconds), 0);
    if (s < 60)
        return QStringLiteral("%1s").arg(s);
    if (s < 3600) {
        const qint64 m = s / 60, r = s % 60;
        return r == 0 ? QStringLiteral("%1m").arg(m) : QStringLiteral("%1m %2s").arg(m).arg(r);
    }
    const qint64 h = s / 3600, m = (s % 3600) / 60;
    return m == 0 ? QStringLiteral("%1h").arg(h) : QStringLiteral("%1h %2m").arg(h).arg(m);
}

double share(double part, double sit, double stand, double stilta)
{
    // Negative time is a server fault; it must not push another bar past 100 %.
    const auto time = [](double d) { return std::isfinite(d) && d > 0 ? d : 0.0; };
    const double sum = time(sit) + time(stand) + time(stilta);
    if (!(sum > 0) || !std::isfinite(sum))
        return 0;
    return std::clamp(time(part) / sum * 100.0, 0.0, 100.0);
}

QString percentText(double percent)
{
    return QStringLiteral("%1%").arg(rounded(percent));
}

QString movesText(qint64 moves)
{
    return QString::number(moves);
}

QString transitionsText(qint64 count)
{
    return QStringLiteral("%1 transitions").arg(count);
}

Comparison comparison(std::optional<qint64> previousMoves, qint64 totalMoves, TimeRange range)
{
    if (!previousMoves)
        return {};
    const qint64 p = *previousMoves;
    if (p == 0)
        return totalMoves >= 1 ? Comparison{QStringLiteral("Nice, back to moving!"), Tone::green}
                               : Comparison{};
    if (p < 0)
        return {};
    const double pct = (double(totalMoves) - double(p)) / double(p) * 100.0;
    const bool isUp = pct >= 0;
    const QString period = range == TimeRange::today ? QStringLiteral("vs yesterday")
                                                     : QStringLiteral("vs last period");
    return {QStringLiteral("%1%2% %3")
                .arg(isUp ? QStringLiteral("+") : QString())
                .arg(rounded(pct))
                .arg(period),
            isUp ? Tone::green : Tone::orange, true};
}

QString posture(bool leftLegUp, bool rightLegUp)
{
    if (leftLegUp && rightLegUp)
        return QStringLiteral("Sit");
    if (!leftLegUp && !rightLegUp)
        return QStringLiteral("Stand");
    return QStringLiteral("Stilta");
}

QString debugSerial(const QString& input)
{
    const auto isBlank = [](QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); };
    qsizetype first = 0, end = input.size();
    while (first < end && isBlank(input.at(first)))
        ++first;
    while (end > first && isBlank(input.at(end - 1)))
        --end;
    return input.mid(first, end - first);
}

qint64 totalMoves(qint64 serverTotal, qint64 baseline, qint64 liveGrowth)
{
    qint64 live = 0;
    if (__builtin_add_overflow(baseline, std::max<qint64>(liveGrowth, 0), &live))
        live = std::numeric_limits<qint64>::max();
    return std::max(serverTotal, live);
}

} // namespace AnalyticsText

QVariantMap AnalyticsTextFormatter::comparison(const QVariant& previousMoves, qint64 totalMoves,
                                               int range) const
{
    std::optional<qint64> previous;
    if (previousMoves.isValid() && !previousMoves.isNull())
        previous = previousMoves.toLongLong();
    const AnalyticsText::Comparison line =
        AnalyticsText::comparison(previous, totalMoves, TimeRange(range));
    QString tone;
    switch (line.tone) {
    case AnalyticsText::Tone::green: tone = QStringLiteral("green"); break;
    case AnalyticsText::Tone::orange: tone = QStringLiteral("orange"); break;
    case AnalyticsText::Tone::none: break;
    }
    return {{QStringLiteral("text"), line.text},
            {QStringLiteral("tone"), tone},
            {QStringLiteral("bold"), line.isBold}};
}

QVariantList AnalyticsTextFormatter::ranges() const
{
    QVariantList list;
    for (TimeRange range : Analytics::allRanges)
        list.append(QVariantMap{{QStringLiteral("range"), int(range)},
                                {QStringLiteral("name"), Analytics::timeRangeText(range)}});
    return list;
}
