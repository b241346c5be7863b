#pragma once

#include "BleCentral.h"
#include "WifiStatus.h"

#include <QMetaType>
#include <QObject>
#include <QSharedPointer>
#include <QString>
#include <QUuid>

#include <optional>

namespace Link {
Q_NAMESPACE
// QML reaches the cases as Link.ConnectionState.ready.
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

} // namespace Link

using Link::ConnectionState;
using Wifi::WiFiStatus;

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
