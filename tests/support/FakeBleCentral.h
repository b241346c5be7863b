#pragma once

#include "BleCentral.h"

#include <QHash>
#include <QList>
#include <QMap>
#include <QSet>
#include <QSharedPointer>

#include <functional>

class FakeBleCentral;

// One call the link made to the central or a peripheral.
struct FakeCall {
    enum class Kind {
        startScan,
        stopScan,
        connect,
        cancel,
        discoverServices,
        discoverCharacteristics,
        notify,
        read,
        write
    };
    Kind kind;
    QUuid peripheral;
    QBluetoothUuid target; // characteristic or service
    QList<QBluetoothUuid> uuids;
    QByteArray value;
};

// A chair as the fake plays it: its services, their characteristics, and the values reads
// return. Answers are queued and delivered by FakeBleCentral::flush(), as a real stack
// delivers them later on the main loop.
class FakePeripheral final : public BlePeripheral {
    Q_OBJECT
public:
    FakePeripheral(FakeBleCentral& central, QString name, QUuid id);

    QUuid identifier() const override { return id; }
    QString name() const override { return name_; }
    QString address() const override { return radioAddress; }

    void discoverServices(const QList<QBluetoothUuid>& wanted) override;
    void discoverCharacteristics(const QBluetoothUuid& service,
                                 const QList<QBluetoothUuid>& wanted) override;
    void enableNotifications(const QBluetoothUuid& characteristic) override;
    void read(const QBluetoothUuid& characteristic) override;
    void write(const QBluetoothUuid& characteristic, const QByteArray& value) override;

    QString radioAddress; // distinct per peripheral of a central

    // The GATT table. A characteristic without a value answers reads with an empty value.
    QMap<QBluetoothUuid, QList<QBluetoothUuid>> gatt;
    QHash<QBluetoothUuid, QByteArray> values;
    QHash<QBluetoothUuid, QString> writeErrors; // a write to these is confirmed with the error
    QHash<QBluetoothUuid, QString> readErrors;  // a read of these is answered with the error
    QString discoveryError;       // when set, every discovery answer carries it and finds nothing
    bool answersDiscovery = true; // otherwise discovery requests are recorded only
    bool answersReads = true;
    // Runs on every write, before its confirmation is queued: plays a chair whose values
    // depend on what it was told (a list index, a firmware chunk).
    std::function<void(const QBluetoothUuid&, const QByteArray&)> onWrite;
    // Lists these networks: the name value follows the index last written (takes onWrite).
    void playNetworks(const QList<QByteArray>& names);

    void removeService(const QBluetoothUuid& service) { gatt.remove(service); }
    void removeCharacteristic(const QBluetoothUuid& characteristic);

    // Plays a notification (queued like every answer).
    void notify(const QBluetoothUuid& characteristic, const QByteArray& value);

private:
    // Queues an answer of this chair, lost if the chair is gone by the time it is due.
    void answer(std::function<void(FakePeripheral&)> emitAnswer);
    QList<QBluetoothUuid> found(const QList<QBluetoothUuid>& offered,
                                const QList<QBluetoothUuid>& wanted) const;

    FakeBleCentral& central;
    QString name_;
    QUuid id;
};

class FakeBleCentral final : public BleCentral {
    Q_OBJECT
public:
    explicit FakeBleCentral(CentralPower power = CentralPower::On);

    CentralPower power() const override { return power_; }
    void startScan() override { record({FakeCall::Kind::startScan, {}, {}, {}, {}}); }
    void stopScan() override { record({FakeCall::Kind::stopScan, {}, {}, {}, {}}); }
    void connectTo(BlePeripheral* peripheral) override;
    void cancelConnection(BlePeripheral* peripheral) override;

    // A chair with every service and characteristic of the profile, online on "Office_5G".
    QSharedPointer<FakePeripheral> makeChair(const QString& name = QStringLiteral("Velnora Pro 1"));
    QSharedPointer<FakePeripheral> makePeripheral(const QString& name);

    void setPower(CentralPower power);
    void advertise(const QSharedPointer<FakePeripheral>& peripheral, const QString& localName,
                   qint64 rssi)
    {
        Q_EMIT discovered(peripheral, localName, rssi);
    }
    // Link events the chair or the radio cause.
    void completeConnect(BlePeripheral* peripheral);
    void failConnect(BlePeripheral* peripheral, const QString& error = QStringLiteral("failed"));
    void dropLink(BlePeripheral* peripheral, const QString& error = QStringLiteral("link lost"));

    bool answersConnects = true; // connectTo is answered by a connect callback
    // A real radio delivers nothing of a link after its drop: when set, answers asked for while
    // a drop is on its way are lost.
    bool losesAnswersAfterDrops = false;
    bool carries(const BlePeripheral* peripheral) const
    {
        return !losesAnswersAfterDrops || !isDropping(peripheral);
    }
    // When set, cancelling a connect that has not completed yet means it never completes.
    bool cancelStopsPendingConnects = false;
    bool isLinked(const BlePeripheral* peripheral) const
    {
        return linked.contains(peripheral->identifier());
    }
    // A drop has been queued and not delivered yet.
    bool isDropping(const BlePeripheral* peripheral) const
    {
        return dropping.contains(peripheral->identifier());
    }

    // Delivers queued answers (and the answers they cause) until none are left.
    void flush()
    {
        while (deliverNext()) {
        }
    }
    // Delivers the oldest queued answer only; what it causes waits in the queue.
    bool deliverNext();
    void enqueue(std::function<void()> answer) { queue.append(std::move(answer)); }
    int pendingAnswers() const { return static_cast<int>(queue.size()); }

    void record(FakeCall call) { calls_.append(std::move(call)); }
    const QList<FakeCall>& calls() const { return calls_; }
    void clearCalls() { calls_.clear(); }
    QList<FakeCall> callsOf(FakeCall::Kind kind) const;
    // Values written to one characteristic, in order.
    QList<QByteArray> writesTo(const QBluetoothUuid& characteristic) const;
    int readsOf(const QBluetoothUuid& characteristic) const;
    int count(FakeCall::Kind kind) const { return static_cast<int>(callsOf(kind).size()); }

private:
    CentralPower power_;
    QList<std::function<void()>> queue;
    QList<FakeCall> calls_;
    int nextAddress = 1;
    QSet<QUuid> linked;
    QSet<QUuid> dropping;
    QHash<QUuid, int> cancels; // per peripheral, how often a connect to it was cancelled
};
