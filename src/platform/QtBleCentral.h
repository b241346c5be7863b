#pragma once

#include "BleCentral.h"
#include "QtBlePeripheral.h"

#include <QBluetoothDeviceDiscoveryAgent>
#include <QBluetoothLocalDevice>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QHash>
#include <QList>
#include <QSet>
#include <QTimer>
#include <QWeakPointer>

#include <memory>

class QDBusServiceWatcher;

// The chair link's central over Qt Bluetooth (BlueZ on Linux). The adapter is followed as it
// comes and goes: bluetoothd starting late or an adapter plugged in later make the central
// usable without a restart.
class QtBleCentral final : public BleCentral {
    Q_OBJECT
public:
    explicit QtBleCentral(QtBleTiming timing = {}, QObject* parent = nullptr);
    ~QtBleCentral() override;

    CentralPower power() const override { return power_; }
    void startScan() override;
    void stopScan() override;
    void connectTo(BlePeripheral* peripheral) override;
    void cancelConnection(BlePeripheral* peripheral) override;

private Q_SLOTS:
    void handleBluezObjectsChanged(const QDBusMessage& message);

private:
    void attachAdapter();
    // bluetoothd stopped or restarted: every link it held is gone.
    void loseBluez();
    void updatePower();
    void ensureDiscovery();
    void stopDiscoveryIfUnwanted();
    void seek(quint64 address);
    void noteSighting(const QBluetoothDeviceInfo& info);
    void reportSightings();
    QSharedPointer<QtBlePeripheral> peripheralFor(const QBluetoothDeviceInfo& info);

    QtBleTiming timing;
    std::unique_ptr<QBluetoothLocalDevice> local;
    std::unique_ptr<QBluetoothDeviceDiscoveryAgent> agent;
    QDBusServiceWatcher* bluezWatcher = nullptr;
    CentralPower power_ = CentralPower::Unknown;
    bool wantsScan = false;
    // Chairs a connect waits to see again, and how long discovery runs for them.
    QSet<quint64> sought;
    QTimer seekEnd;
    // One peripheral object per address for as long as the link holds it.
    QHash<quint64, QWeakPointer<QtBlePeripheral>> peripherals;
    // Qt reports one advertisement as both "discovered" and "updated"; they become one sighting.
    QList<quint64> sightingOrder;
    QHash<quint64, QBluetoothDeviceInfo> sightings;
};
