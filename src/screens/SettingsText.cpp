#include "SettingsText.h"

#include <algorithm>
#include <cmath>

namespace SettingsText {

namespace {

// Progress is a quotient of byte counts: 29 of 100 arrives as 0.28999…, which must still
// read 29 %. The tolerance is far below one percent of any real image.
constexpr double wholeTolerance = 1e-9;

int wholePercent(double value)
{
    if (std::isnan(value))
        return 0;
    return static_cast<int>(std::floor(std::clamp(value, 0.0, 100.0) + wholeTolerance));
}

} // namespace

QString percent(double value)
{
    return QStringLiteral("%1%").arg(wholePercent(value));
}

QString progressPercent(double progress)
{
    return percent(progress * 100.0);
}

QString serialNumber(const QString& serial)
{
    return serial.isEmpty() ? QStringLiteral("—") : serial;
}

QString lifetimeMoves(std::optional<qint64> moves, const QLocale& locale)
{
    if (!moves)
        return QStringLiteral("—");
    return QStringLiteral("%1 moves").arg(locale.toString(*moves));
}

QString currentVersion(const QString& softwareVersion, const QString& firmwareVersion)
{
    if (softwareVersion.isEmpty())
        return QStringLiteral("--");
    if (firmwareVersion.isEmpty())
        return softwareVersion; // no dangling " / " while the firmware version is unread
    return QStringLiteral("%1 / %2").arg(softwareVersion, firmwareVersion);
}

QString wifiStatus(WiFiStatus status)
{
    switch (status) {
    case WiFiStatus::disabled: return QStringLiteral("Disabled");
    case WiFiStatus::notConfigured: return QStringLiteral("Not Configured");
    case WiFiStatus::errorConnecting: return QStringLiteral("Error");
    case WiFiStatus::connecting: return QStringLiteral("Connecting...");
    case WiFiStatus::connected: return QStringLiteral("Connected");
    case WiFiStatus::disconnected: return QStringLiteral("Disconnected");
    case WiFiStatus::wifiNotFound: return QStringLiteral("Network Not Found");
    case WiFiStatus::ssidPwInvalid: return QStringLiteral("Invalid Password");
    case WiFiStatus::internalError: return QStringLiteral("Error");
    case WiFiStatus::disconnecting: return QStringLiteral("Disconnecting...");
    case WiFiStatus::unknown: break;
    }
    return QStringLiteral("Unknown");
}

bool showsNetwork(WiFiStatus status, const QString& ssid)
{
    return status == WiFiStatus::connected && !ssid.isEmpty();
}

double strengthFromSlider(double value)
{
    return std::round(value);
}

UpdateArea updateArea(const OTAState& state)
{
    using Kind = OTAState::Kind;
    switch (state.kind) {
    case Kind::idle: return UpdateArea::picker;
    case Kind::preparing: return UpdateArea::spinner;
    case Kind::transferring: return UpdateArea::progressBar;
    case Kind::flashing:
        return state.totalPages < 1 ? UpdateArea::spinner : UpdateArea::progressBar;
    case Kind::success: return UpdateArea::success;
    case Kind::error: break;
    }
    return UpdateArea::error;
}

QString updateStatus(const OTAState& state)
{
    using Kind = OTAState::Kind;
    switch (state.kind) {
    case Kind::idle: return {};
    case Kind::preparing: return QStringLiteral("%1 — Preparing...").arg(state.cpu);
    case Kind::transferring: return QStringLiteral("%1 — Transferring...").arg(state.cpu);
    case Kind::flashing: return QStringLiteral("%1 — %2").arg(state.cpu, state.status);
    case Kind::success: return QStringLiteral("Update complete! Chair will restart.");
    case Kind::error: break;
    }
    return state.message;
}

QString updateDetail(const OTAState& state)
{
    if (state.kind == OTAState::Kind::transferring)
        return progressPercent(state.progress);
    if (state.kind == OTAState::Kind::flashing && state.totalPages >= 1)
        return QStringLiteral("Page %1 / %2").arg(state.page).arg(state.totalPages);
    return {};
}

double updateFraction(const OTAState& state)
{
    double fraction = 0;
    if (state.kind == OTAState::Kind::transferring)
        fraction = state.progress;
    else if (state.kind == OTAState::Kind::flashing && state.totalPages >= 1)
        fraction = double(state.page) / double(state.totalPages);
    return std::isnan(fraction) ? 0.0 : std::clamp(fraction, 0.0, 1.0);
}

std::optional<QString> pickerProblem(const QUrl& file)
{
    if (file.isEmpty() || file.isLocalFile() || file.isRelative())
        return std::nullopt;
    return QStringLiteral("The chosen file is not on this computer and cannot be read: %1")
        .arg(file.toDisplayString());
}

QString pickerUnavailable()
{
    return QStringLiteral("The file picker could not be opened on this computer.");
}

QString throughput(double bytesPerSecond, const QLocale& locale)
{
    const double kilobytes = std::max(0.0, bytesPerSecond) / 1000.0;
    const int decimals = kilobytes < 10.0 ? 1 : 0;
    return QStringLiteral("%1 KB/s").arg(locale.toString(kilobytes, 'f', decimals));
}

QString timeLeft(double seconds)
{
    // Rounded up, but a hair over a whole second from the division still reads that second.
    const double clamped = std::isfinite(seconds) ? std::max(0.0, seconds) : 0.0;
    const qint64 whole = qint64(std::ceil(clamped - wholeTolerance));
    if (whole < 60)
        return QStringLiteral("%1 s left").arg(whole);
    return QStringLiteral("%1:%2 left").arg(whole / 60).arg(whole % 60, 2, 10, QLatin1Char('0'));
}

QString transferRate(double bytesPerSecond, double secondsLeft, const QLocale& locale)
{
    return QStringLiteral("%1 · %2").arg(throughput(bytesPerSecond, locale), timeLeft(secondsLeft));
}

} // namespace SettingsText

QString SettingsTextFormat::lifetimeMoves(const QVariant& moves) const
{
    bool isNumber = false;
    const qint64 n = moves.toLongLong(&isNumber);
    if (!moves.isValid() || moves.isNull() || !isNumber)
        return SettingsText::lifetimeMoves(std::nullopt);
    return SettingsText::lifetimeMoves(n);
}

QString SettingsTextFormat::updateArea(const OTAState& state) const
{
    switch (SettingsText::updateArea(state)) {
    case SettingsText::UpdateArea::picker: return QStringLiteral("picker");
    case SettingsText::UpdateArea::spinner: return QStringLiteral("spinner");
    case SettingsText::UpdateArea::progressBar: return QStringLiteral("progressBar");
    case SettingsText::UpdateArea::success: return QStringLiteral("success");
    case SettingsText::UpdateArea::error: break;
    }
    return QStringLiteral("error");
}
