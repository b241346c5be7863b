#include "Artwork.h"

#include <QStringList>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace ArtworkPaths {

namespace {

// A continuous corner starts this many radii from the corner, and its curve passes the corner's
// diagonal where a circular arc of the radius would.
constexpr double cornerExtent = 1.37;
// (Corner at the origin: the cubic's midpoint is (ex + 3 ax) / 8 along each edge, the arc's
// r (1 - 1/sqrt 2).)
constexpr double arcDiagonal = 8.0 * (1.0 - 1.0 / std::numbers::sqrt2);

QString n(double value)
{
    // Short and exact enough for a drawing: at most four decimals, no trailing zeros.
    QString text = QString::number(value, 'f', 4);
    while (text.endsWith(QLatin1Char('0')))
        text.chop(1);
    if (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    return text == QLatin1String("-0") ? QStringLiteral("0") : text;
}

} // namespace

QString continuousRoundedRect(double x, double y, double width, double height, double rx, double ry)
{
    if (!(width > 0) || !(height > 0) || !std::isfinite(x + y + width + height))
        return {};
    rx = std::isfinite(rx) ? std::clamp(rx, 0.0, width / 2) : 0.0;
    ry = std::isfinite(ry) ? std::clamp(ry, 0.0, height / 2) : 0.0;
    const double right = x + width;
    const double bottom = y + height;
    if (rx == 0 || ry == 0) {
        return QStringLiteral("M %1 %2 H %3 V %4 H %1 Z").arg(n(x), n(y), n(right), n(bottom));
    }
    // ex, ey: where the corner leaves the straight edge; ax, ay: its control points, measured
    // from the corner. The cubic's midpoint lies on the circular arc's diagonal point.
    const double ex = std::min(cornerExtent * rx, width / 2);
    const double ey = std::min(cornerExtent * ry, height / 2);
    const double ax = std::max(0.0, (arcDiagonal * rx - ex) / 3.0);
    const double ay = std::max(0.0, (arcDiagonal * ry - ey) / 3.0);
    QStringList path;
    path << QStringLiteral("M %1 %2").arg(n(x + ex), n(y))
         << QStringLiteral("H %1").arg(n(right - ex))
         << QStringLiteral("C %1 %2 %3 %4 %5 %6")
                .arg(n(right - ax), n(y), n(right), n(y + ay), n(right), n(y + ey))
         << QStringLiteral("V %1").arg(n(bottom - ey))
         << QStringLiteral("C %1 %2 %3 %4 %5 %6")
                .arg(n(right), n(bottom - ay), n(right - ax), n(bottom), n(right - ex), n(bottom))
         << QStringLiteral("H %1").arg(n(x + ex))
         << QStringLiteral("C %1 %2 %3 %4 %5 %6")
                .arg(n(x + ax), n(bottom), n(x), n(bottom - ay), n(x), n(bottom - ey))
         << QStringLiteral("V %1").arg(n(y + ey))
         << QStringLiteral("C %1 %2 %3 %4 %5 %6")
                .arg(n(x), n(y + ay), n(x + ax), n(y), n(x + ex), n(y))
         << QStringLiteral("Z");
    return path.join(QLatin1Char(' '));
}

} // namespace ArtworkPaths
