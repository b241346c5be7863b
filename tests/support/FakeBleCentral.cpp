#include "FakeBleCentral.h"

#include "ChairProfile.h"

#include <QPointer>

FakePeripheral::FakePeripheral(FakeBleCentral& central, QString name, QUuid id)
    : central(central)
    , name_(std::move(name))
    , id(id)
{
}

void FakePeripheral::discoverServices(const QList<QBluetoothUuid>& wanted)
{
    central.record({FakeCall::Kind::discoverServices, id, {}, wanted, {}});
    if (!answersDiscovery || !central.carries(this))
        return;
    QList<QBluetoothUuid> found;
    for (const QBluetoothUuid& service : wanted)
        if (gatt.contains(service))
            found.append(service);
    if (!discoveryError.isEmpty())
        found.clear();
    QPointer<FakePeripheral> self(this);
    central.enqueue([self, found, error = discoveryError] {
        if (self)
            Q_EMIT self->servicesDiscovered(found, error);
    });
}

void FakePeripheral::discoverCharacteristics(const QBluetoothUuid& service,
                                             const QList<QBluetoothUuid>& wanted)
{
    central.record({FakeCall::Kind::discoverCharacteristics, id, service, wanted, {}});
    if (!answersDiscovery || !central.carries(this))
        return;
    QList<QBluetoothUuid> found;
    for (const QBluetoothUuid& c : gatt.value(service))
        if (wanted.contains(c))
            found.append(c);
    if (!discoveryError.isEmpty())
        found.clear();
    QPointer<FakePeripheral> self(this);
    central.enqueue([self, service, found, error = discoveryError] {
        if (self)
            Q_EMIT self->characteristicsDiscovered(service, found, error);
    });
}

void FakePeripheral::enableNotifications(const QBluetoothUuid& characteristic)
{
    central.record({FakeCall::Kind::notify, id, characteristic, {}, {}});
}

void FakePeripheral::read(const QBluetoothUuid& characteristic)
{
    central.record({FakeCall::Kind::read, id, characteristic, {}, {}});
    if (!answersReads || !central.carries(this))
        return;
    QPointer<FakePeripheral> self(this);
    const QString error = readErrors.value(characteristic);
    const QByteArray value = error.isEmpty() ? values.value(characteristic) : QByteArray();
    central.enqueue([self, characteristic, value, error] {
        if (self)
            Q_EMIT self->valueUpdated(characteristic, value, error);
    });
}

void FakePeripheral::write(const QBluetoothUuid& characteristic, const QByteArray& value)
{
    central.record({FakeCall::Kind::write, id, characteristic, {}, value});
    if (onWrite)
        onWrite(characteristic, value);
    if (!central.carries(this))
        return;
    QPointer<FakePeripheral> self(this);
    const QString error = writeErrors.value(characteristic);
    central.enqueue([self, characteristic, error] {
        if (self)
            Q_EMIT self->valueWritten(characteristic, error);
    });
}

void FakePeripheral::removeCharacteristic(const QBluetoothUuid& characteristic)
{
    for (auto& list : gatt)
        list.removeAll(characteristic);
}

void FakePeripheral::notify(const QBluetoothUuid& characteristic, const QByteArray& value)
{
    if (!central.carries(this))
        return;
    QPointer<FakePeripheral> self(this);
    central.enqueue([self, characteristic, value] {
        if (self)
            Q_EMIT self->valueUpdated(characteristic, value, QString());
    });
}

FakeBleCentral::FakeBleCentral(CentralPower power)
    : power_(power)
{
}

void FakeBleCentral::startScan()
{
    scanning = true;
    record({FakeCall::Kind::startScan, {}, {}, {}, {}});
}

void FakeBleCentral::stopScan()
{
    scanning = false;
    record({FakeCall::Kind::stopScan, {}, {}, {}, {}});
}

void FakePeripheral::playNetworks(const QList<QByteArray>& names)
{
    values[ChairProfile::wifiSSIDListCounterUUID] = QByteArray(1, char(names.size()));
    onWrite = [this, names](const QBluetoothUuid& c, const QByteArray& value) {
        if (c == ChairProfile::wifiSSIDListCounterUUID && value.size() == 1)
            values[ChairProfile::wifiSSIDSingleUUID] = names.value(quint8(value[0]));
    };
}

void FakeBleCentral::connectTo(BlePeripheral* peripheral)
{
    record({FakeCall::Kind::connect, peripheral->identifier(), {}, {}, {}});
    if (answersConnects)
        completeConnect(peripheral);
}

void FakeBleCentral::cancelConnection(BlePeripheral* peripheral)
{
    record({FakeCall::Kind::cancel, peripheral->identifier(), {}, {}, {}});
    ++cancels[peripheral->identifier()];
    // Cancelling a connect that never completed brings no callback.
    if (linked.contains(peripheral->identifier()))
        dropLink(peripheral, QString());
}

QSharedPointer<FakePeripheral> FakeBleCentral::makePeripheral(const QString& name)
{
    // Identifiers are stable and distinct, like those derived from device addresses.
    const QUuid id(
        QStringLiteral("00000000-0000-4000-8000-%1").arg(nextAddress++, 12, 10, QLatin1Char('0')));
    return QSharedPointer<FakePeripheral>::create(*this, name, id);
}

QSharedPointer<FakePeripheral> FakeBleCentral::makeChair(const QString& name)
{
    auto chair = makePeripheral(name);
    for (const QBluetoothUuid& service : ChairProfile::services())
        chair->gatt.insert(service, ChairProfile::characteristicsOf(service));
    chair->values[ChairProfile::wifiStatusUUID] = QByteArray(1, '\x04'); // online
    chair->values[ChairProfile::wifiSSIDUUID] = QByteArrayLiteral("Office_5G");
    return chair;
}

void FakeBleCentral::setPower(CentralPower power)
{
    power_ = power;
    Q_EMIT powerChanged(power);
}

void FakeBleCentral::advertise(const QSharedPointer<FakePeripheral>& peripheral,
                               const QString& localName, qint64 rssi)
{
    Q_EMIT discovered(peripheral, localName, rssi);
}

void FakeBleCentral::completeConnect(BlePeripheral* peripheral)
{
    QPointer<BlePeripheral> target(peripheral);
    const int cancelsBefore = cancels.value(peripheral->identifier());
    enqueue([this, target, cancelsBefore] {
        if (!target)
            return;
        if (cancelStopsPendingConnects && cancels.value(target->identifier()) != cancelsBefore)
            return;
        linked.insert(target->identifier());
        Q_EMIT connected(target);
    });
}

void FakeBleCentral::failConnect(BlePeripheral* peripheral, const QString& error)
{
    QPointer<BlePeripheral> target(peripheral);
    enqueue([this, target, error] {
        if (target)
            Q_EMIT failedToConnect(target, error);
    });
}

void FakeBleCentral::dropLink(BlePeripheral* peripheral, const QString& error)
{
    QPointer<BlePeripheral> target(peripheral);
    dropping.insert(peripheral->identifier());
    enqueue([this, target, error] {
        if (!target)
            return;
        dropping.remove(target->identifier());
        linked.remove(target->identifier());
        Q_EMIT disconnected(target, error);
    });
}

void FakeBleCentral::flush()
{
    while (!queue.isEmpty()) {
        auto answer = queue.takeFirst();
        answer();
    }
}

bool FakeBleCentral::deliverNext()
{
    if (queue.isEmpty())
        return false;
    auto answer = queue.takeFirst();
    answer();
    return true;
}

QList<FakeCall> FakeBleCentral::callsOf(FakeCall::Kind kind) const
{
    QList<FakeCall> out;
    for (const FakeCall& call : calls_)
        if (call.kind == kind)
            out.append(call);
    return out;
}

QList<QByteArray> FakeBleCentral::writesTo(const QBluetoothUuid& characteristic) const
{
    QList<QByteArray> out;
    for (const FakeCall& call : calls_)
        if (call.kind == FakeCall::Kind::write && call.target == characteristic)
            out.append(call.value);
    return out;
}

int FakeBleCentral::readsOf(const QBluetoothUuid& characteristic) const
{
    int n = 0;
    for (const FakeCall& call : calls_)
        n += (call.kind == FakeCall::Kind::read && call.target == characteristic) ? 1 : 0;
    return n;
}

