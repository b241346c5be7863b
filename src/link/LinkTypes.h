#pragma once

#include "BleCentral.h"

#include <QMetaType>
#include <QObject>
#include <QSharedPointer>
#include <QString>
#include <QUuid>

#include <optional>

namespace Link {
Q_NAMESPACE
// QML reaches the cases as Link.ConnectionState.ready: both enums have a "disconnected".
Q_CLASSINFO("RegisterEnumClassesUnscoped", "false")

enum class ConnectionState {
    unavailable,    // Bluetooth is not powered on
    disconnected,   // no chair
    scanning,       // the device list fills
    connecting,     // until the chair's services are ready
    checkingWifi,   // link ready; the chair's WiFi status is being read
    wifiSetup,      // the chair is not on a network
    wifiConnecting, // credentials sent; the chair restarts to apply them
    ready,          // connected and online
};
Q_ENUM_NS(ConnectionState)

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

} // namespace Link

using Link::ConnectionState;
using Link::WiFiStatus;

// One row of the scan list.
struct DiscoveredDevice {
    Q_GADGET
    Q_PROPERTY(QString name MEMBER name)
    Q_PROPERTY(qint64 rssi MEMBER rssi)
    Q_PROPERTY(QUuid id READ id)

public:
    QSharedPointer<BlePeripheral> peripheral;
    qint64 rssi = 0;
    QString name;

    QUuid id() const { return peripheral ? peripheral->identifier() : QUuid(); }
    bool operator==(const DiscoveredDevice& other) const
    {
        return peripheral == other.peripheral && rssi == other.rssi && name == other.name;
    }
};
Q_DECLARE_METATYPE(DiscoveredDevice)
