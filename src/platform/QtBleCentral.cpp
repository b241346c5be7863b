#include "QtBleCentral.h"

#include <QDBusArgument>
#include <QDBusServiceWatcher>
#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcChairLink)

namespace {

const QString bluezService = QStringLiteral("org.bluez");
const QString adapterInterface = QStringLiteral("org.bluez.Adapter1");

// Whether an InterfacesAdded/InterfacesRemoved message of BlueZ is about an adapter.
bool concernsAdapter(const QDBusMessage& message)
{
    const QList<QVariant> args = message.arguments();
    if (args.size() < 2)
        return false;
    if (message.member() == QLatin1String("InterfacesRemoved"))
        return args.at(1).toStringList().contains(adapterInterface);
    // a{sa{sv}}: only the keys matter.
    const QDBusArgument interfaces = args.at(1).value<QDBusArgument>();
    bool found = false;
    interfaces.beginMap();
    while (!interfaces.atEnd()) {
        QString name;
        QVariantMap properties;
        interfaces.beginMapEntry();
        interfaces >> name >> properties;
        interfaces.endMapEntry();
        found = found || name == adapterInterface;
    }
    interfaces.endMap();
    return found;
}

} // namespace

QtBleCentral::QtBleCentral(QtBleTiming timing, QObject* parent)
    : BleCentral(parent)
    , timing(timing)
{
    seekEnd.setSingleShot(true);
    QObject::connect(&seekEnd, &QTimer::timeout, this, [this] {
        sought.clear();
        stopDiscoveryIfUnwanted();
    });
    QDBusConnection bus = QDBusConnection::systemBus();
    if (bus.isConnected()) {
        bluezWatcher = new QDBusServiceWatcher(bluezService, bus,
                                               QDBusServiceWatcher::WatchForOwnerChange, this);
        QObject::connect(bluezWatcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
                         [this](const QString&, const QString& oldOwner, const QString&) {
                             if (!oldOwner.isEmpty())
                                 loseBluez();
                             attachAdapter();
                         });
        for (const char* member : {"InterfacesAdded", "InterfacesRemoved"}) {
            bus.connect(bluezService, QStringLiteral("/"),
                        QStringLiteral("org.freedesktop.DBus.ObjectManager"), QLatin1String(member),
                        this, SLOT(handleBluezObjectsChanged(QDBusMessage)));
        }
    }
    attachAdapter();
}

QtBleCentral::~QtBleCentral() = default;

void QtBleCentral::loseBluez()
{
    const auto all = peripherals; // a lost link may make the program let go of a chair
    for (const QWeakPointer<QtBlePeripheral>& weak : all) {
        if (const QSharedPointer<QtBlePeripheral> peripheral = weak.toStrongRef())
            peripheral->loseBluez();
    }
}

void QtBleCentral::handleBluezObjectsChanged(const QDBusMessage& message)
{
    if (concernsAdapter(message))
        attachAdapter();
}

void QtBleCentral::attachAdapter()
{
    // A discovery agent belongs to the adapter it was made for.
    if (agent)
        agent->stop();
    agent.reset();
    local = std::make_unique<QBluetoothLocalDevice>();
    QObject::connect(local.get(), &QBluetoothLocalDevice::hostModeStateChanged, this,
                     &QtBleCentral::updatePower);
    updatePower();
}

void QtBleCentral::updatePower()
{
    CentralPower now = CentralPower::Unsupported; // no adapter counts as not powered on
    if (local && local->isValid())
        now = local->hostMode() == QBluetoothLocalDevice::HostPoweredOff ? CentralPower::Off
                                                                         : CentralPower::On;
    if (now == power_)
        return;
    power_ = now;
    if (power_ != CentralPower::On && agent)
        agent->stop();
    Q_EMIT powerChanged(power_);
}

// Scanning

void QtBleCentral::startScan()
{
    wantsScan = true;
    ensureDiscovery();
}

void QtBleCentral::ensureDiscovery()
{
    if (!agent) {
        agent = std::make_unique<QBluetoothDeviceDiscoveryAgent>();
        agent->setLowEnergyDiscoveryTimeout(0); // until we stop it
        QObject::connect(agent.get(), &QBluetoothDeviceDiscoveryAgent::deviceDiscovered, this,
                         &QtBleCentral::noteSighting);
        QObject::connect(agent.get(), &QBluetoothDeviceDiscoveryAgent::deviceUpdated, this,
                         [this](const QBluetoothDeviceInfo& info) { noteSighting(info); });
        QObject::connect(agent.get(), &QBluetoothDeviceDiscoveryAgent::errorOccurred, this,
                         [this](QBluetoothDeviceDiscoveryAgent::Error) {
                             qCWarning(lcChairLink) << "scan failed:" << agent->errorString();
                         });
    }
    if (!agent->isActive())
        agent->start(QBluetoothDeviceDiscoveryAgent::LowEnergyMethod);
}

void QtBleCentral::stopScan()
{
    wantsScan = false;
    sightings.clear();
    sightingOrder.clear();
    stopDiscoveryIfUnwanted();
}

void QtBleCentral::stopDiscoveryIfUnwanted()
{
    if (!wantsScan && sought.isEmpty() && agent && agent->isActive())
        agent->stop();
}

void QtBleCentral::seek(quint64 address)
{
    sought.insert(address);
    seekEnd.start(timing.discoveryTimeout);
    ensureDiscovery();
}

void QtBleCentral::noteSighting(const QBluetoothDeviceInfo& info)
{
    const quint64 address = info.address().toUInt64();
    if (sought.remove(address)) {
        if (const QSharedPointer<QtBlePeripheral> peripheral =
                peripherals.value(address).toStrongRef()) {
            peripheral->updateInfo(info);
            peripheral->sighted();
        }
        stopDiscoveryIfUnwanted();
    }
    if (!wantsScan)
        return;
    if (!sightings.contains(address)) {
        sightingOrder.append(address);
        if (sightingOrder.size() == 1)
            QMetaObject::invokeMethod(this, &QtBleCentral::reportSightings, Qt::QueuedConnection);
    }
    sightings.insert(address, info);
}

void QtBleCentral::reportSightings()
{
    const QList<quint64> order = std::exchange(sightingOrder, {});
    const QHash<quint64, QBluetoothDeviceInfo> seen = std::exchange(sightings, {});
    for (const quint64 address : order) {
        if (!wantsScan)
            return;
        const QBluetoothDeviceInfo info = seen.value(address);
        const QSharedPointer<QtBlePeripheral> peripheral = peripheralFor(info);
        Q_EMIT discovered(peripheral, info.name(), info.rssi());
    }
}

QSharedPointer<QtBlePeripheral> QtBleCentral::peripheralFor(const QBluetoothDeviceInfo& info)
{
    QSharedPointer<QtBlePeripheral> peripheral =
        peripherals.value(info.address().toUInt64()).toStrongRef();
    if (peripheral) {
        peripheral->updateInfo(info);
        return peripheral;
    }
    peripherals.removeIf([](const auto& entry) { return entry.value().isNull(); });
    // Deleted later: the link may let go of a chair from inside one of its callbacks.
    peripheral =
        QSharedPointer<QtBlePeripheral>(new QtBlePeripheral(info, timing), &QObject::deleteLater);
    QtBlePeripheral* raw = peripheral.get();
    QObject::connect(raw, &QtBlePeripheral::linkUp, this, [this, raw] { Q_EMIT connected(raw); });
    QObject::connect(raw, &QtBlePeripheral::linkFailed, this,
                     [this, raw](const QString& error) { Q_EMIT failedToConnect(raw, error); });
    QObject::connect(raw, &QtBlePeripheral::needsSighting, this,
                     [this, raw] { seek(raw->bluetoothAddress().toUInt64()); });
    QObject::connect(raw, &QtBlePeripheral::linkDown, this,
                     [this, raw](const QString& error) { Q_EMIT disconnected(raw, error); });
    peripherals.insert(info.address().toUInt64(), peripheral);
    return peripheral;
}

// Links

void QtBleCentral::connectTo(BlePeripheral* peripheral)
{
    if (auto* ours = qobject_cast<QtBlePeripheral*>(peripheral))
        ours->connectLink();
}

void QtBleCentral::cancelConnection(BlePeripheral* peripheral)
{
    if (auto* ours = qobject_cast<QtBlePeripheral*>(peripheral))
        ours->cancelLink();
}
