#pragma once

#include "BleCentral.h"

#include <QBluetoothDeviceInfo>
#include <QHash>
#include <QLowEnergyCharacteristic>
#include <QLowEnergyController>
#include <QLowEnergyService>
#include <QPointer>
#include <QTimer>

#include <chrono>
#include <deque>
#include <memory>

// How long we wait for Qt before we stop trusting it, and how often a refused connect is tried
// again. Tests shorten them.
struct QtBleTiming {
    std::chrono::milliseconds discoveryTimeout{15000};
    std::chrono::milliseconds connectRetryDelay{1000};
    std::chrono::milliseconds disconnectTimeout{3000};
    int connectRetries = 3;
};

// One remote chair over a QLowEnergyController. Created and connected by QtBleCentral.
class QtBlePeripheral final : public BlePeripheral {
    Q_OBJECT
public:
    QtBlePeripheral(const QBluetoothDeviceInfo& device, const QtBleTiming& timing,
                    QObject* parent = nullptr);
    ~QtBlePeripheral() override;

    // Stable across runs: derived from the device address.
    static QUuid identifierFor(const QBluetoothAddress& address);

    QUuid identifier() const override { return id; }
    QString name() const override { return info.name(); }
    QString address() const override { return info.address().toString(); }
    QBluetoothAddress bluetoothAddress() const { return info.address(); }

    void discoverServices(const QList<QBluetoothUuid>& wanted) override;
    void discoverCharacteristics(const QBluetoothUuid& service,
                                 const QList<QBluetoothUuid>& wanted) override;
    void enableNotifications(const QBluetoothUuid& characteristic) override;
    void read(const QBluetoothUuid& characteristic) override;
    void write(const QBluetoothUuid& characteristic, const QByteArray& value) override;

    // For the central.
    void updateInfo(const QBluetoothDeviceInfo& fresher);
    void connectLink();
    void cancelLink();
    // bluetoothd went away: the links it held are gone with it, and Qt never says so.
    void loseBluez();
    // The central saw the chair advertise again after needsSighting().
    void sighted();

Q_SIGNALS:
    void linkUp();
    void linkFailed(const QString& error);
    void linkDown(const QString& error);
    // BlueZ no longer knows the chair (it restarted and forgot it): a connect waits until a
    // scan has seen it again.
    void needsSighting();

private:
    enum class Phase { Idle, Connecting, Up, Cancelling };
    enum class OpKind { Read, Write, DescriptorWrite };
    struct PendingOp {
        OpKind kind;
        QBluetoothUuid characteristic;
    };
    // One remote service and the operations Qt still owes us an answer for, oldest first. Qt
    // reports failures per service without saying which operation failed; it runs them in
    // order, so the oldest one of the failed kind is the one.
    struct Service {
        QLowEnergyService* qt = nullptr;
        QList<QBluetoothUuid> wanted;
        std::unique_ptr<QTimer> guard;
        std::deque<PendingOp> pending;
    };

    void startAttempt();
    void attemptFailed(const QString& error);
    void handleControllerConnected();
    void handleControllerDisconnected();
    void handleControllerError(QLowEnergyController::Error error);
    void finishServiceDiscovery(const QString& error);
    Service* serviceFor(const QBluetoothUuid& service);
    void watchService(const QBluetoothUuid& uuid, QLowEnergyService* service);
    void startDetailDiscovery();
    void reportCharacteristics(const QBluetoothUuid& uuid, const QString& error);
    void handleServiceError(const QBluetoothUuid& uuid, QLowEnergyService::ServiceError error);
    std::optional<PendingOp> takePending(const QBluetoothUuid& service, OpKind kind,
                                         const QBluetoothUuid& characteristic = {});
    // The service and characteristic of a discovered UUID, if the link still has them.
    std::pair<Service*, QLowEnergyCharacteristic> lookup(const QBluetoothUuid& characteristic);
    void dropServices();
    // Answers that Qt will never give are delivered on the next turn of the event loop, never
    // from inside the caller's own request.
    void later(std::function<void()> deliver);

    QBluetoothDeviceInfo info;
    QtBleTiming timing;
    QUuid id;
    QLowEnergyController* controller = nullptr;
    Phase phase = Phase::Idle;
    bool attemptInFlight = false;
    int retriesLeft = 0;
    QTimer retryTimer;
    QTimer serviceGuard;
    QTimer disconnectGuard;
    QTimer sightingGuard;        // a connect waiting for the chair to be seen again
    bool unknownToBluez = false; // the last attempt failed because BlueZ did not know the chair
    QList<QBluetoothUuid> wantedServices;
    bool isDiscoveringServices = false;
    QHash<QBluetoothUuid, std::shared_ptr<Service>> services;
    QHash<QBluetoothUuid, QBluetoothUuid> serviceOfCharacteristic;
    QList<QBluetoothUuid> detailQueue; // services waiting for their detail discovery, in order
    std::optional<QBluetoothUuid> detailRunning;
    QString lastControllerError;
};
