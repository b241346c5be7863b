#pragma once

#include <QBluetoothUuid>
#include <QByteArray>
#include <QList>
#include <QObject>
#include <QSharedPointer>
#include <QString>
#include <QUuid>

// What the chair link needs of a Bluetooth LE central, nothing more. Every callback arrives on
// the main thread. An empty error string means success.

enum class CentralPower { On, Off, Unauthorized, Unsupported, Resetting, Unknown };

// One remote chair. Its identifier is stable while the program runs.
class BlePeripheral : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    virtual QUuid identifier() const = 0;
    virtual QString name() const = 0; // may be empty
    // The radio address ("AA:BB:CC:DD:EE:FF") where the platform gives one.
    virtual QString address() const { return {}; }

    virtual void discoverServices(const QList<QBluetoothUuid>& wanted) = 0;
    virtual void discoverCharacteristics(const QBluetoothUuid& service,
                                         const QList<QBluetoothUuid>& wanted) = 0;
    virtual void enableNotifications(const QBluetoothUuid& characteristic) = 0;
    virtual void read(const QBluetoothUuid& characteristic) = 0;
    virtual void write(const QBluetoothUuid& characteristic,
                       const QByteArray& value) = 0; // with response

Q_SIGNALS:
    void servicesDiscovered(const QList<QBluetoothUuid>& services, const QString& error);
    void characteristicsDiscovered(const QBluetoothUuid& service,
                                   const QList<QBluetoothUuid>& found, const QString& error);
    // A read result or a notification: both are handled alike.
    void valueUpdated(const QBluetoothUuid& characteristic, const QByteArray& value,
                      const QString& error);
    void valueWritten(const QBluetoothUuid& characteristic, const QString& error);
};

class BleCentral : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    virtual CentralPower power() const = 0;
    virtual void startScan() = 0; // no service filter; every advertisement is reported
    virtual void stopScan() = 0;
    virtual void connectTo(BlePeripheral* peripheral) = 0; // no time-out of its own
    virtual void cancelConnection(BlePeripheral* peripheral) = 0;

Q_SIGNALS:
    void powerChanged(CentralPower power);
    // localName is empty when the advertisement carries none.
    void discovered(const QSharedPointer<BlePeripheral>& peripheral, const QString& localName,
                    qint64 rssi);
    void connected(BlePeripheral* peripheral);
    void failedToConnect(BlePeripheral* peripheral, const QString& error);
    void disconnected(BlePeripheral* peripheral, const QString& error);
};

// A computer without a usable Bluetooth stack: never powered on, never finds anything.
class UnavailableBleCentral final : public BleCentral {
    Q_OBJECT
public:
    using BleCentral::BleCentral;
    CentralPower power() const override { return CentralPower::Unsupported; }
    void startScan() override {}
    void stopScan() override {}
    void connectTo(BlePeripheral*) override {}
    void cancelConnection(BlePeripheral*) override {}
};
