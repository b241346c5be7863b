#include "WifiStatus.h"

namespace Wifi {

std::optional<WiFiStatus> wifiStatusFromByte(quint8 byte)
{
    if (byte <= static_cast<quint8>(WiFiStatus::disconnecting) || byte == 0xFF)
        return static_cast<WiFiStatus>(byte);
    return std::nullopt;
}

WiFiStatus decodeWiFiStatus(QByteArrayView value)
{
    if (value.isEmpty())
        return WiFiStatus::unknown;
    return wifiStatusFromByte(static_cast<quint8>(value[0])).value_or(WiFiStatus::unknown);
}

QString wifiErrorText(WiFiStatus status)
{
    switch (status) {
    case WiFiStatus::ssidPwInvalid: return QStringLiteral("Incorrect password — please try again.");
    case WiFiStatus::wifiNotFound: return QStringLiteral("Network not found — please scan again.");
    case WiFiStatus::errorConnecting:
    case WiFiStatus::internalError: return QStringLiteral("Connection failed — please try again.");
    default: return QStringLiteral("Could not connect to WiFi — please try again.");
    }
}

} // namespace Wifi
