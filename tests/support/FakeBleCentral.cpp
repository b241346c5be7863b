#include "FakeBleCentral.h"

#include "ChairProfile.h"

#include <QPointer>

FakePeripheral::FakePeripheral(FakeBleCentral& central, QString name, QUuid id)
    : central(central)
    , name_(std::move(name))
    , id(id)
{
}

void FakePeripheral::answer(std::function<void(FakePeripheral&)> emitAnswer)
{
    central.enqueue([self = QPointer<FakePeripheral>(this), emitAnswer] {
        if (self)
            emitAnswer(*self);
    });
}

QList<QBluetoothUuid> FakePeripheral::found(const QList<QBluetoothUuid>& offered,
                                            const QList<QBluetoothUuid>& wanted) const
{
    QList<QBluetoothUuid> out;
    for (const QBluetoothUuid& uuid : offered)
        if (wanted.contains(uuid) && discoveryError.isEmpty())
            out.append(uuid);
    return out;
}

void FakePeripheral::discoverServices(const QList<QBluetoothUuid>& wanted)
{
    central.record({FakeCall::Kind::discoverServices, id, {}, wanted, {}});
    if (!answersDiscovery || !central.carries(this))
        return;
    const QList<QBluetoothUuid> services = found(wanted, gatt.keys());
    answer([services, error = discoveryError](FakePeripheral& self) {
        Q_EMIT self.servicesDiscovered(services, error);
    });
}

void FakePeripheral::discoverCharacteristics(const QBluetoothUuid& service,
                                             const QList<QBluetoothUuid>& wanted)
{
    central.record({FakeCall::Kind::discoverCharacteristics, id, service, wanted, {}});
    if (!answersDiscovery || !central.carries(this))
        return;
    const QList<QBluetoothUuid> characteristics = found(gatt.value(service), wanted);
    answer([service, characteristics, error = discoveryError](FakePeripheral& self) {
        Q_EMIT self.characteristicsDiscovered(service, characteristics, error);
    });
}

void FakePeripheral::enableNotifications(const QBluetoothUuid& characteristic)
{
    central.record({FakeCall::Kind::notify, id, characteristic, {}, {}});
}

void FakePeripheral::read(const QBluetoothUuid& c)
{
    central.record({FakeCall::Kind::read, id, c, {}, {}});
    if (!answersReads || !central.carries(this))
        return;
    const QString error = readErrors.value(c);
    const QByteArray value = error.isEmpty() ? values.value(c) : QByteArray();
    answer([c, value, error](FakePeripheral& self) { Q_EMIT self.valueUpdated(c, value, error); });
}

void FakePeripheral::write(const QBluetoothUuid& c, const QByteArray& value)
{
    central.record({FakeCall::Kind::write, id, c, {}, value});
    if (onWrite)
        onWrite(c, value);
    if (!central.carries(this))
        return;
    answer([c, error = writeErrors.value(c)](FakePeripheral& self) {
        Q_EMIT self.valueWritten(c, error);
    });
}

void FakePeripheral::removeCharacteristic(const QBluetoothUuid& characteristic)
{
    for (auto& list : gatt)
        list.removeAll(characteristic);
}

void FakePeripheral::notify(const QBluetoothUuid& c, const QByteArray& value)
{
    if (central.carries(this))
        answer([c, value](FakePeripheral& self) { Q_EMIT self.valueUpdated(c, value, {}); });
}

void FakePeripheral::playNetworks(const QList<QByteArray>& names)
{
    values[ChairProfile::wifiSSIDListCounterUUID] = QByteArray(1, char(names.size()));
    onWrite = [this, names](const QBluetoothUuid& c, const QByteArray& value) {
        if (c == ChairProfile::wifiSSIDListCounterUUID && value.size() == 1)
            values[ChairProfile::wifiSSIDSingleUUID] = names.value(quint8(value[0]));
    };
}

FakeBleCentral::FakeBleCentral(CentralPower power)
    : power_(power)
{
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
        QStringLiteral("00000000-0000-4000-8000-%1").arg(nextAddress, 12, 10, QLatin1Char('0')));
    auto peripheral = QSharedPointer<FakePeripheral>::create(*this, name, id);
    peripheral->radioAddress = QStringLiteral("C0:FF:EE:00:00:%1")
                                   .arg(nextAddress++ % 256, 2, 16, QLatin1Char('0'))
                                   .toUpper();
    return peripheral;
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

void FakeBleCentral::completeConnect(BlePeripheral* peripheral)
{
    const int cancelsBefore = cancels.value(peripheral->identifier());
    enqueue([this, target = QPointer<BlePeripheral>(peripheral), cancelsBefore] {
        if (!target ||
            (cancelStopsPendingConnects && cancels.value(target->identifier()) != cancelsBefore))
            return;
        linked.insert(target->identifier());
        Q_EMIT connected(target);
    });
}

void FakeBleCentral::failConnect(BlePeripheral* peripheral, const QString& error)
{
    enqueue([this, target = QPointer<BlePeripheral>(peripheral), error] {
        if (target)
            Q_EMIT failedToConnect(target, error);
    });
}

void FakeBleCentral::dropLink(BlePeripheral* peripheral, const QString& error)
{
    dropping.insert(peripheral->identifier());
    enqueue([this, target = QPointer<BlePeripheral>(peripheral), error] {
        if (!target)
            return;
        dropping.remove(target->identifier());
        linked.remove(target->identifier());
        Q_EMIT disconnected(target, error);
    });
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
    for (const FakeCall& call : callsOf(FakeCall::Kind::write))
        if (call.target == characteristic)
            out.append(call.value);
    return out;
}

int FakeBleCentral::readsOf(const QBluetoothUuid& characteristic) const
{
    int n = 0;
    for (const FakeCall& call : callsOf(FakeCall::Kind::read))
        n += call.target == characteristic ? 1 : 0;
    return n;
}
