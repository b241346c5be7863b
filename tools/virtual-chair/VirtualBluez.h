#pragma once

#include "AttPacer.h"
#include "BusObjects.h"
#include "ChairModel.h"
#include "ChairSettings.h"

#include <QBluetoothUuid>
#include <QDBusMessage>
#include <QObject>
#include <QSet>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>
#include <vector>

// One remote device as BlueZ knows it: a chair (with its model and GATT table) or any other
// device that merely advertises.
class VirtualDevice : public QObject {
    Q_OBJECT
public:
    enum class Link { Down, Connecting, Resolving, Up };

    struct Characteristic {
        QBluetoothUuid uuid;
        unsigned flags = 0;
        // Clients (by unique bus name) with a notify session; BlueZ notifies while any has one.
        QSet<QString> notifySessions;
        bool notifying() const { return !notifySessions.isEmpty(); }
    };

    VirtualDevice(const QString& address, const QString& adapterPath, QObject* parent);

    QString address;
    QString path;
    QString name; // the name in the device object
    QString
        advertisedName; // the name the device sends now; the object follows at its next sighting
    QString userAlias;  // set by a client through Properties.Set
    qint16 baseRssi = -60;
    qint16 rssi = -60;
    ChairModel* chair = nullptr;
    std::chrono::milliseconds renameAfter{-1};
    QString laterName;
    bool renameStarted = false;

    bool present = false; // the device object exists
    Link link = Link::Down;
    QDBusMessage connectCall;            // a Connect waiting for its answer
    QTimer giveUp;                       // a held Connect fails when the chair does not come back
    QList<QDBusMessage> disconnectCalls; // answered when the link is really down
    QTimer disconnectTimer;              // BlueZ takes the link down this long after a Disconnect
    QTimer reportTimer;                  // periodic chair-state reports, when asked for

    int refuseCount = 0;
    QString refuseError;
    QString refuseMessage;
    QMap<QBluetoothUuid, int> failWrites;

    AttPacer pacer;
    QStringList linkRequests; // ATT round trips of the current link, in the order answered
    // Notifications a write causes go out after the write's answer, as over the air.
    bool holdingNotifications = false;
    QList<QPair<QBluetoothUuid, QByteArray>> heldNotifications;
    QStringList gattPaths;                         // in the order they were added
    QMap<QString, Characteristic> characteristics; // by object path
    QMap<QString, QString> descriptors;            // descriptor path -> characteristic path

    bool isConnected() const { return link == Link::Resolving || link == Link::Up; }
    bool isDisconnecting() const { return disconnectTimer.isActive(); }
    bool hasGatt() const { return !gattPaths.isEmpty(); }
    QString alias() const { return userAlias.isEmpty() ? name : userAlias; }
};

// BlueZ as the central's side sees it: one adapter, the devices it discovers, the links it makes
// and the GATT objects of connected chairs.
class VirtualBluez : public QObject {
    Q_OBJECT
public:
    struct Options {
        bool hasAdapter = true;
        bool powered = true;
        bool verbose = false;
        double writeDelayMs = 0.0;
        double connectionIntervalMs = 0.0;
        // BlueZ's default Cache = always: GATT objects outlive a link; false is Cache = no.
        bool gattCache = true;
        int reportIntervalMs = 0; // 0: no periodic chair-state reports
    };

    VirtualBluez(BusObjects& objects, const ChairSettings& settings, const Options& options,
                 QObject* parent = nullptr);

    VirtualDevice* device(const QString& address) const;
    static bool isAddress(const QString& text);

    VirtualDevice* addChair(const QString& address, const QString& firstName,
                            const QString& laterName, std::chrono::milliseconds renameAfter,
                            qint16 rssi);
    VirtualDevice* addDevice(const QString& address, const QString& name, qint16 rssi);

    void setPowered(bool on);
    void setWriteDelay(double milliseconds);
    void setConnectionInterval(double milliseconds);
    void setRssi(VirtualDevice& device, qint16 rssi);
    void dropLink(VirtualDevice& device);

    void log(const QString& line) const;

private slots:
    void nameOwnerChanged(const QString& name, const QString& oldOwner, const QString& newOwner);

private:
    void handleAdapter(const QDBusMessage& call);
    void handleDevice(const QDBusMessage& call);
    void handleCharacteristic(const QDBusMessage& call);
    void handleDescriptor(const QDBusMessage& call);
    BusObjects::SetError setProperty(const QString& path, const QString& interface,
                                     const QString& property, const QVariant& value);

    VirtualDevice* deviceAt(const QString& path) const;
    VirtualDevice* adopt(std::unique_ptr<VirtualDevice> device);
    bool canAdvertise(const VirtualDevice& device) const;
    void advertise();
    void appear(VirtualDevice& device);
    void sighting(VirtualDevice& device);
    void startDiscovery();
    void stopDiscovery();
    void endDiscoverySession(const QString& client);

    void connectDevice(VirtualDevice& device, const QDBusMessage& call);
    void beginLinkSetup(VirtualDevice& device);
    void establishLink(VirtualDevice& device);
    void linkResolved(VirtualDevice& device);
    void failConnect(VirtualDevice& device, const QString& message);
    void disconnectDevice(VirtualDevice& device, const QDBusMessage& call);
    void startNotify(VirtualDevice& device, const QDBusMessage& call);
    void stopNotify(VirtualDevice& device, const QDBusMessage& call);
    void report(VirtualDevice& device);
    void addGatt(VirtualDevice& device);
    void removeGatt(VirtualDevice& device);
    void deliverNotification(VirtualDevice& device, const QBluetoothUuid& uuid,
                             const QByteArray& value);
    void updateNotifying(VirtualDevice& device, const QString& charPath);

    void atConnectionEvent(VirtualDevice& device, const QString& request, const QDBusMessage& call,
                           std::function<void()> answer);
    void applyPacing(VirtualDevice& device) const;
    void readCharacteristic(VirtualDevice& device, const QDBusMessage& call);
    void answerRead(VirtualDevice& device, const QDBusMessage& call,
                    const VirtualDevice::Characteristic& c, const QString& name);
    void writeCharacteristic(VirtualDevice& device, const QDBusMessage& call);

    InterfaceMap deviceInterfaces(const VirtualDevice& device) const;

    BusObjects& objects;
    const ChairSettings& settings;
    const Options options;
    const QString adapterPath{QStringLiteral("/org/bluez/hci0")};
    bool powered;
    bool discovering = false;
    QSet<QString> discoveryClients; // unique bus names with a discovery session
    double writeDelayMs;
    double connectionIntervalMs;
    std::vector<VirtualDevice*> devices; // owned as children, in the order they were added
    int chairCount = 0;
    QTimer advertiseTimer;
};
