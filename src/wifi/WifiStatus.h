#pragma once

#include <QByteArrayView>
#include <QObject>
#include <QString>

#include <optional>

namespace Wifi {
Q_NAMESPACE
// QML reaches the cases as Wifi.WiFiStatus.connected.
Q_CLASSINFO("RegisterEnumClassesUnscoped", "false")

// The chair's WiFi status byte.
enum class WiFiStatus : quint8 {
    disabled = 0x00,
    notConfigured = 0x01,
    errorConnecting = 0x02,
    connecting = 0x03,
    connected = 0x04,
    disconnected = 0x05,
    wifiNotFound = 0x06,
    ssidPwInvalid = 0x07,
    internalError = 0x08,
    disconnecting = 0x09,
    unknown = 0xFF,
};
Q_ENUM_NS(WiFiStatus)

std::optional<WiFiStatus> wifiStatusFromByte(quint8 byte);
// The first byte of a status value; an empty value or an unknown byte gives unknown.
WiFiStatus decodeWiFiStatus(QByteArrayView value);
// What the setup screen tells the user when a configuration attempt ended in this status.
QString wifiErrorText(WiFiStatus status);

} // namespace Wifi
