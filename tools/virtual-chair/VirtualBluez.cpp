#include "VirtualBluez.h"

#include "ChairGatt.h"

#include <QDBusArgument>
#include <QDBusMetaType>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <cstdio>
#include <cstdlib>
#include <utility>

using namespace std::chrono_literals;

namespace {

const QString adapterInterface = QStringLiteral("org.bluez.Adapter1");
const QString deviceInterface = QStringLiteral("org.bluez.Device1");
const QString serviceInterface = QStringLiteral("org.bluez.GattService1");
const QString characteristicInterface = QStringLiteral("org.bluez.GattCharacteristic1");
const QString descriptorInterface = QStringLiteral("org.bluez.GattDescriptor1");

const QString errorFailed = QStringLiteral("org.bluez.Error.Failed");
const QString errorNotReady = QStringLiteral("org.bluez.Error.NotReady");
const QString errorInvalidArguments = QStringLiteral("org.bluez.Error.InvalidArguments");
const QString errorNotSupported = QStringLiteral("org.bluez.Error.NotSupported");
const QString errorNotPermitted = QStringLiteral("org.bluez.Error.NotPermitted");
const QString abortByLocal = QStringLiteral("le-connection-abort-by-local");

// How long the radio takes: link up, then the chair's services resolved.
constexpr auto linkSetupTime = 30ms;
constexpr auto serviceResolveTime = 80ms;
// A Connect waits this long for a restarting chair, as BlueZ's own connect attempt does.
constexpr auto connectGiveUp = 30s;
// bluetoothd takes an LE link down this long after Device1.Disconnect (its disconnect timer)
// and answers the call only once the link is down.
constexpr auto disconnectTimeout = 2s;
constexpr auto advertisingInterval = 1s;

const char* adapterXml = R"(  <interface name="org.bluez.Adapter1">
    <method name="StartDiscovery"/>
    <method name="SetDiscoveryFilter"><arg name="properties" type="a{sv}" direction="in"/></method>
    <method name="StopDiscovery"/>
    <method name="RemoveDevice"><arg name="device" type="o" direction="in"/></method>
    <method name="GetDiscoveryFilters"><arg name="filters" type="as" direction="out"/></method>
  </interface>
)";

const char* deviceXml = R"(  <interface name="org.bluez.Device1">
    <method name="Disconnect"/>
    <method name="Connect"/>
    <method name="ConnectProfile"><arg name="UUID" type="s" direction="in"/></method>
    <method name="DisconnectProfile"><arg name="UUID" type="s" direction="in"/></method>
    <method name="Pair"/>
    <method name="CancelPairing"/>
  </interface>
)";

const char* serviceXml = R"(  <interface name="org.bluez.GattService1">
  </interface>
)";

const char* characteristicXml = R"(  <interface name="org.bluez.GattCharacteristic1">
    <method name="ReadValue">
      <arg name="options" type="a{sv}" direction="in"/><arg name="value" type="ay" direction="out"/>
    </method>
    <method name="WriteValue">
      <arg name="value" type="ay" direction="in"/><arg name="options" type="a{sv}" direction="in"/>
    </method>
    <method name="StartNotify"/>
    <method name="StopNotify"/>
  </interface>
)";

const char* descriptorXml = R"(  <interface name="org.bluez.GattDescriptor1">
    <method name="ReadValue">
      <arg name="options" type="a{sv}" direction="in"/><arg name="value" type="ay" direction="out"/>
    </method>
    <method name="WriteValue">
      <arg name="value" type="ay" direction="in"/><arg name="options" type="a{sv}" direction="in"/>
    </method>
  </interface>
)";

QString hexOf(const QByteArray& bytes)
{
    constexpr qsizetype shown = 24;
    if (bytes.size() <= shown)
        return QString::fromLatin1(bytes.toHex());
    return QStringLiteral("%1... (%2 bytes)")
        .arg(QString::fromLatin1(bytes.left(shown).toHex()))
        .arg(bytes.size());
}

QVariantMap optionsOf(const QVariant& argument)
{
    return qdbus_cast<QVariantMap>(argument);
}

QString withoutBraces(const QBluetoothUuid& uuid)
{
    return uuid.toString(QUuid::WithoutBraces);
}

QString handlePath(const QString& parent, const char* kind, int handle)
{
    return QStringLiteral("%1/%2%3")
        .arg(parent, QLatin1String(kind))
        .arg(handle, 4, 16, QLatin1Char('0'));
}

} // namespace

VirtualDevice::VirtualDevice(const QString& address, const QString& adapterPath, QObject* parent)
    : QObject(parent)
    , address(address)
    , path(adapterPath + QStringLiteral("/dev_") +
           QString(address).replace(QLatin1Char(':'), QLatin1Char('_')))
{
    giveUp.setSingleShot(true);
    disconnectTimer.setSingleShot(true);
}

VirtualBluez::VirtualBluez(BusObjects& objects, const ChairSettings& settings,
                           const Options& options, QObject* parent)
    : QObject(parent)
    , objects(objects)
    , settings(settings)
    , options(options)
    , powered(options.powered)
    , writeDelayMs(options.writeDelayMs)
    , connectionIntervalMs(options.connectionIntervalMs)
{
    objects.describeInterface(adapterInterface, QLatin1String(adapterXml));
    objects.describeInterface(deviceInterface, QLatin1String(deviceXml));
    objects.describeInterface(serviceInterface, QLatin1String(serviceXml));
    objects.describeInterface(characteristicInterface, QLatin1String(characteristicXml));
    objects.describeInterface(descriptorInterface, QLatin1String(descriptorXml));
    objects.setMethodHandler(adapterInterface, [this](const QDBusMessage& c) { handleAdapter(c); });
    objects.setMethodHandler(deviceInterface, [this](const QDBusMessage& c) { handleDevice(c); });
    objects.setMethodHandler(characteristicInterface,
                             [this](const QDBusMessage& c) { handleCharacteristic(c); });
    objects.setMethodHandler(descriptorInterface,
                             [this](const QDBusMessage& c) { handleDescriptor(c); });
    objects.setSetHandler(
        [this](const QString& path, const QString& interface, const QString& property,
               const QVariant& value) { return setProperty(path, interface, property, value); });

    if (options.hasAdapter) {
        const QString hostName = QStringLiteral("velnora-desk");
        objects.add(adapterPath,
                    {{adapterInterface,
                      {
                          {QStringLiteral("Address"), QStringLiteral("02:56:4C:4E:00:01")},
                          {QStringLiteral("AddressType"), QStringLiteral("public")},
                          {QStringLiteral("Name"), hostName},
                          {QStringLiteral("Alias"), hostName},
                          {QStringLiteral("Class"), quint32(0x6c010c)},
                          {QStringLiteral("Powered"), powered},
                          {QStringLiteral("Discoverable"), false},
                          {QStringLiteral("DiscoverableTimeout"), quint32(180)},
                          {QStringLiteral("Pairable"), false},
                          {QStringLiteral("PairableTimeout"), quint32(0)},
                          {QStringLiteral("Discovering"), false},
                          {QStringLiteral("UUIDs"),
                           QStringList{QStringLiteral("00001800-0000-1000-8000-00805f9b34fb"),
                                       QStringLiteral("00001801-0000-1000-8000-00805f9b34fb")}},
                          {QStringLiteral("Modalias"), QStringLiteral("usb:v1D6Bp0246d0542")},
                          {QStringLiteral("Roles"), QStringList{QStringLiteral("central")}},
                      }}});
    }

    advertiseTimer.setInterval(advertisingInterval);
    connect(&advertiseTimer, &QTimer::timeout, this, &VirtualBluez::advertise);

    // Discovery and notify sessions belong to the client that started them and end when it
    // leaves the bus.
    objects.connection().connect(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("NameOwnerChanged"), this,
        SLOT(nameOwnerChanged(QString, QString, QString)));
}

void VirtualBluez::nameOwnerChanged(const QString& name, const QString&, const QString& newOwner)
{
    if (!newOwner.isEmpty() || !name.startsWith(QLatin1Char(':')))
        return;
    if (discoveryClients.contains(name))
        endDiscoverySession(name);
    for (VirtualDevice* d : devices) {
        for (auto it = d->characteristics.begin(); it != d->characteristics.end(); ++it) {
            if (it->notifySessions.remove(name))
                updateNotifying(*d, it.key());
        }
    }
}

void VirtualBluez::log(const QString& line) const
{
    if (!options.verbose)
        return;
    std::printf("virtual-chair: %s\n", qUtf8Printable(line));
    std::fflush(stdout);
}

bool VirtualBluez::isAddress(const QString& text)
{
    static const QRegularExpression pattern(QStringLiteral("^([0-9A-Fa-f]{2}:){5}[0-9A-Fa-f]{2}$"));
    return pattern.match(text).hasMatch();
}

VirtualDevice* VirtualBluez::device(const QString& address) const
{
    for (VirtualDevice* d : devices) {
        if (d->address.compare(address, Qt::CaseInsensitive) == 0)
            return d;
    }
    return nullptr;
}

VirtualDevice* VirtualBluez::deviceAt(const QString& path) const
{
    for (VirtualDevice* d : devices) {
        if (path == d->path || path.startsWith(d->path + QLatin1Char('/')))
            return d;
    }
    return nullptr;
}

VirtualDevice* VirtualBluez::adopt(std::unique_ptr<VirtualDevice> owned)
{
    VirtualDevice* d = owned.release();
    applyPacing(*d);
    connect(&d->disconnectTimer, &QTimer::timeout, d, [this, d] { dropLink(*d); });
    devices.push_back(d);
    if (discovering && canAdvertise(*d))
        appear(*d);
    return d;
}

VirtualDevice* VirtualBluez::addChair(const QString& address, const QString& firstName,
                                      const QString& laterName,
                                      std::chrono::milliseconds renameAfter, qint16 rssi)
{
    if (!isAddress(address) || device(address))
        return nullptr;
    auto owned = std::make_unique<VirtualDevice>(address.toUpper(), adapterPath, this);
    VirtualDevice* d = owned.get();
    ++chairCount;
    ChairModel::Identity identity;
    identity.serialNumber = QStringLiteral("VP-2026-%1").arg(chairCount, 4, 10, QLatin1Char('0'));
    identity.leftOdometer = quint32(1200 + 100 * (chairCount - 1));
    identity.rightOdometer = quint32(1180 + 100 * (chairCount - 1));
    d->chair = new ChairModel(identity, settings, d);
    d->name = d->advertisedName = firstName;
    d->laterName = laterName;
    d->renameAfter = laterName.isEmpty() ? -1ms : renameAfter;
    d->baseRssi = d->rssi = rssi;

    connect(d->chair, &ChairModel::notified, d,
            [this, d](const QBluetoothUuid& uuid, const QByteArray& value) {
                deliverNotification(*d, uuid, value);
            });
    connect(d->chair, &ChairModel::wentAway, d, [this, d] {
        log(QStringLiteral("%1 restarting").arg(d->address));
        dropLink(*d);
    });
    connect(d->chair, &ChairModel::cameBack, d, [this, d] {
        log(QStringLiteral("%1 back").arg(d->address));
        if (d->link == VirtualDevice::Link::Connecting)
            beginLinkSetup(*d);
    });
    connect(&d->giveUp, &QTimer::timeout, d, [this, d] { failConnect(*d, abortByLocal); });
    if (options.reportIntervalMs > 0) {
        d->reportTimer.setInterval(options.reportIntervalMs);
        connect(&d->reportTimer, &QTimer::timeout, d, [this, d] { report(*d); });
    }
    return adopt(std::move(owned));
}

VirtualDevice* VirtualBluez::addDevice(const QString& address, const QString& name, qint16 rssi)
{
    if (!isAddress(address) || device(address))
        return nullptr;
    auto owned = std::make_unique<VirtualDevice>(address.toUpper(), adapterPath, this);
    owned->name = owned->advertisedName = name;
    owned->baseRssi = owned->rssi = rssi;
    return adopt(std::move(owned));
}

InterfaceMap VirtualBluez::deviceInterfaces(const VirtualDevice& d) const
{
    QStringList uuids;
    if (d.chair) {
        for (const ChairGatt::Service& service : ChairGatt::services())
            uuids << withoutBraces(service.uuid);
    }
    QVariantMap properties{
        {QStringLiteral("Address"), d.address},
        {QStringLiteral("AddressType"), QStringLiteral("random")},
        {QStringLiteral("Name"), d.name},
        {QStringLiteral("Alias"), d.alias()},
        {QStringLiteral("Paired"), false},
        {QStringLiteral("Trusted"), false},
        {QStringLiteral("Blocked"), false},
        {QStringLiteral("LegacyPairing"), false},
        {QStringLiteral("RSSI"), QVariant::fromValue(d.rssi)},
        {QStringLiteral("Connected"), d.isConnected()},
        {QStringLiteral("UUIDs"), uuids},
        {QStringLiteral("Adapter"), QVariant::fromValue(QDBusObjectPath(adapterPath))},
        {QStringLiteral("ServicesResolved"), d.link == VirtualDevice::Link::Up},
    };
    if (d.chair) {
        // Our own tag under the company ID reserved for tests: "VP" and a format byte.
        const ManufacturerData data{{quint16(0xffff), QDBusVariant(QByteArray("VP\x01", 3))}};
        properties.insert(QStringLiteral("ManufacturerData"), QVariant::fromValue(data));
    }
    return {{deviceInterface, properties}};
}

bool VirtualBluez::canAdvertise(const VirtualDevice& d) const
{
    // A connected chair stops advertising; a restarting one is off the air.
    return powered && d.link == VirtualDevice::Link::Down && !(d.chair && d.chair->isAway());
}

void VirtualBluez::startDiscovery()
{
    if (!discovering) {
        discovering = true;
        objects.setProperties(adapterPath, adapterInterface,
                              {{QStringLiteral("Discovering"), true}});
    }
    // The first advertisements come in over a moment, not all at once.
    int order = 0;
    for (VirtualDevice* d : devices) {
        if (d->present || !canAdvertise(*d))
            continue;
        QTimer::singleShot(100ms + 60ms * order++, d, [this, d] {
            if (discovering && !d->present && canAdvertise(*d))
                appear(*d);
        });
    }
    advertiseTimer.start();
}

void VirtualBluez::endDiscoverySession(const QString& client)
{
    discoveryClients.remove(client);
    if (discoveryClients.isEmpty())
        stopDiscovery();
}

void VirtualBluez::stopDiscovery()
{
    discoveryClients.clear();
    advertiseTimer.stop();
    if (!discovering)
        return;
    discovering = false;
    objects.setProperties(adapterPath, adapterInterface, {{QStringLiteral("Discovering"), false}});
}

void VirtualBluez::advertise()
{
    if (!discovering)
        return;
    for (VirtualDevice* d : devices) {
        if (!canAdvertise(*d))
            continue;
        if (d->present)
            sighting(*d);
        else
            appear(*d);
    }
}

void VirtualBluez::appear(VirtualDevice& d)
{
    d.present = true;
    d.name = d.advertisedName;
    objects.add(d.path, deviceInterfaces(d));
    log(QStringLiteral("%1 found as \"%2\", RSSI %3").arg(d.address, d.name).arg(d.rssi));
    if (d.renameAfter < 0ms || d.renameStarted)
        return;
    d.renameStarted = true;
    QTimer::singleShot(d.renameAfter, &d, [this, dd = &d] {
        dd->advertisedName = dd->laterName;
        if (discovering && dd->present && canAdvertise(*dd))
            sighting(*dd);
    });
}

void VirtualBluez::sighting(VirtualDevice& d)
{
    // A fresh advertisement: the signal wanders a little around its level.
    auto* random = QRandomGenerator::global();
    const int step = 1 + int(random->bounded(3));
    const int sign = random->bounded(2) == 0 ? -1 : 1;
    int next = d.rssi + sign * step;
    if (std::abs(next - d.baseRssi) > 4)
        next = d.rssi - sign * step;
    d.rssi = qint16(next);
    QVariantMap changed{{QStringLiteral("RSSI"), QVariant::fromValue(d.rssi)}};
    // BlueZ takes a new name from the advertisement and announces it with the same signal.
    if (d.advertisedName != d.name) {
        d.name = d.advertisedName;
        changed.insert(QStringLiteral("Name"), d.name);
        if (d.userAlias.isEmpty())
            changed.insert(QStringLiteral("Alias"), d.name);
        log(QStringLiteral("%1 now advertises as \"%2\"").arg(d.address, d.name));
    }
    objects.setProperties(d.path, deviceInterface, changed);
}

void VirtualBluez::setPowered(bool on)
{
    if (on == powered)
        return;
    log(QStringLiteral("adapter powered %1")
            .arg(on ? QStringLiteral("on") : QStringLiteral("off")));
    // Going off, the kernel takes every link down before the adapter: their signals come first.
    if (!on) {
        for (VirtualDevice* d : devices)
            dropLink(*d);
        advertiseTimer.stop();
    }
    powered = on;
    // bluetoothd answers Properties.Set, then announces Powered and, going off, the end of
    // discovery.
    QTimer::singleShot(0, this, [this, on] {
        objects.setProperties(adapterPath, adapterInterface, {{QStringLiteral("Powered"), on}});
        if (!on)
            stopDiscovery();
    });
}

void VirtualBluez::setWriteDelay(double milliseconds)
{
    writeDelayMs = milliseconds;
    for (VirtualDevice* d : devices)
        applyPacing(*d);
}

void VirtualBluez::setConnectionInterval(double milliseconds)
{
    connectionIntervalMs = milliseconds;
    for (VirtualDevice* d : devices)
        applyPacing(*d);
}

// With a connection interval every round trip waits for its connection event; without one only
// writes do, by the write delay.
void VirtualBluez::applyPacing(VirtualDevice& d) const
{
    const double interval = connectionIntervalMs > 0 ? connectionIntervalMs : writeDelayMs;
    d.pacer.setInterval(std::chrono::duration<double, std::milli>(interval));
}

void VirtualBluez::atConnectionEvent(VirtualDevice& d, const QString& request,
                                     const QDBusMessage& call, std::function<void()> answer)
{
    auto run = [this, dd = &d, request, call, answer = std::move(answer)](bool delivered) {
        if (!delivered) {
            log(QStringLiteral("%1 %2 lost with the link").arg(dd->address, request));
            objects.replyError(call, errorFailed, QStringLiteral("Not connected"));
            return;
        }
        dd->linkRequests << request;
        answer();
    };
    if (connectionIntervalMs > 0)
        d.pacer.submit(std::move(run));
    else
        run(true);
}

void VirtualBluez::setRssi(VirtualDevice& d, qint16 rssi)
{
    d.baseRssi = d.rssi = rssi;
    if (d.present)
        objects.setProperties(d.path, deviceInterface,
                              {{QStringLiteral("RSSI"), QVariant::fromValue(rssi)}});
}

void VirtualBluez::connectDevice(VirtualDevice& d, const QDBusMessage& call)
{
    if (!powered) {
        objects.replyError(call, errorNotReady, QStringLiteral("Resource Not Ready"));
        return;
    }
    if (d.refuseCount > 0) {
        --d.refuseCount;
        log(QStringLiteral("%1 Connect refused: %2 %3")
                .arg(d.address, d.refuseError, d.refuseMessage));
        objects.replyError(call, d.refuseError, d.refuseMessage);
        return;
    }
    // bluetoothd answers at once while the LE link is up, even while it is going down.
    if (d.isConnected()) {
        objects.reply(call);
        return;
    }
    if (d.link != VirtualDevice::Link::Down) {
        objects.replyError(call, QStringLiteral("org.bluez.Error.InProgress"),
                           QStringLiteral("Operation already in progress"));
        return;
    }
    d.link = VirtualDevice::Link::Connecting;
    d.connectCall = call;
    if (d.chair && d.chair->isAway()) {
        log(QStringLiteral("%1 Connect held: the chair is restarting").arg(d.address));
        d.giveUp.start(connectGiveUp);
        return;
    }
    beginLinkSetup(d);
}

void VirtualBluez::beginLinkSetup(VirtualDevice& d)
{
    d.linkRequests.clear();
    if (connectionIntervalMs <= 0) {
        QTimer::singleShot(linkSetupTime, &d, [this, dd = &d] { establishLink(*dd); });
        return;
    }
    // The link is up at its first connection event.
    d.pacer.submit([this, dd = &d](bool delivered) {
        if (!delivered)
            return;
        dd->linkRequests << QStringLiteral("connect");
        establishLink(*dd);
    });
}

void VirtualBluez::establishLink(VirtualDevice& d)
{
    if (d.link != VirtualDevice::Link::Connecting || !powered || (d.chair && d.chair->isAway()))
        return;
    d.giveUp.stop();
    d.link = VirtualDevice::Link::Resolving;
    objects.setProperties(d.path, deviceInterface, {{QStringLiteral("Connected"), true}});
    if (d.chair)
        d.chair->linkUp();
    // bluetoothd answers Connect once the ATT channel is up, before it discovers the services.
    if (d.connectCall.type() == QDBusMessage::MethodCallMessage)
        objects.reply(d.connectCall);
    d.connectCall = QDBusMessage();
    if (connectionIntervalMs <= 0) {
        QTimer::singleShot(serviceResolveTime, &d, [this, dd = &d] { linkResolved(*dd); });
        return;
    }
    // Discovery takes one round trip per service, characteristic and descriptor; with the
    // table cached BlueZ only checks that it is unchanged.
    qsizetype rounds = 0;
    if (d.hasGatt()) {
        rounds = 1;
    } else if (d.chair) {
        for (const ChairGatt::Service& service : ChairGatt::services()) {
            ++rounds;
            for (const ChairGatt::Characteristic& c : service.characteristics)
                rounds += (c.flags & ChairGatt::Notify) ? 2 : 1;
        }
    }
    if (rounds == 0) {
        linkResolved(d);
        return;
    }
    for (qsizetype i = 1; i <= rounds; ++i) {
        d.pacer.submit([this, dd = &d, last = i == rounds](bool delivered) {
            if (!delivered)
                return;
            dd->linkRequests << QStringLiteral("discover");
            if (last)
                linkResolved(*dd);
        });
    }
}

void VirtualBluez::linkResolved(VirtualDevice& d)
{
    if (d.link != VirtualDevice::Link::Resolving)
        return;
    d.link = VirtualDevice::Link::Up;
    // The objects of a freshly discovered table come just before ServicesResolved.
    if (!d.hasGatt())
        addGatt(d);
    objects.setProperties(d.path, deviceInterface, {{QStringLiteral("ServicesResolved"), true}});
    log(QStringLiteral("%1 connected").arg(d.address));
    if (d.chair && options.reportIntervalMs > 0)
        d.reportTimer.start();
}

void VirtualBluez::failConnect(VirtualDevice& d, const QString& message)
{
    if (d.link != VirtualDevice::Link::Connecting)
        return;
    d.link = VirtualDevice::Link::Down;
    log(QStringLiteral("%1 Connect failed: %2").arg(d.address, message));
    if (d.connectCall.type() == QDBusMessage::MethodCallMessage)
        objects.replyError(d.connectCall, errorFailed, message);
    d.connectCall = QDBusMessage();
}

void VirtualBluez::disconnectDevice(VirtualDevice& d, const QDBusMessage& call)
{
    if (d.link == VirtualDevice::Link::Connecting) {
        d.pacer.abandonAll();
        failConnect(d, QStringLiteral("Cancelled"));
    }
    // Nothing connected: bluetoothd answers at once.
    if (!d.isConnected()) {
        objects.reply(call);
        return;
    }
    d.disconnectCalls << call;
    if (!d.disconnectTimer.isActive())
        d.disconnectTimer.start(disconnectTimeout);
}

void VirtualBluez::dropLink(VirtualDevice& d)
{
    if (d.link == VirtualDevice::Link::Down)
        return;
    const bool wasConnected = d.isConnected();
    const bool wasResolved = d.link == VirtualDevice::Link::Up;
    d.link = VirtualDevice::Link::Down;
    d.giveUp.stop();
    d.disconnectTimer.stop();
    d.reportTimer.stop();
    if (d.connectCall.type() == QDBusMessage::MethodCallMessage)
        objects.replyError(d.connectCall, errorFailed, abortByLocal);
    d.connectCall = QDBusMessage();
    d.pacer.abandonAll();
    if (!wasConnected)
        return;
    log(QStringLiteral("%1 link dropped").arg(d.address));
    // bluetoothd's order once the link is down: ServicesResolved false, the answers to
    // Disconnect, then Connected false. A client that tears down on Connected=false has its
    // answer by then.
    if (wasResolved)
        objects.setProperties(d.path, deviceInterface,
                              {{QStringLiteral("ServicesResolved"), false}});
    for (const QDBusMessage& call : std::exchange(d.disconnectCalls, {}))
        objects.reply(call);
    objects.setProperties(d.path, deviceInterface, {{QStringLiteral("Connected"), false}});
    // With Cache = always the table, its values and every client's notify session stay for
    // the next link; with Cache = no they go with this one.
    if (!options.gattCache)
        removeGatt(d);
    if (d.chair)
        d.chair->linkDown();
}

void VirtualBluez::addGatt(VirtualDevice& d)
{
    if (!d.chair)
        return;
    // Handles as a chair lays out its table; BlueZ names the objects after them.
    int handle = 0x0010;
    for (const ChairGatt::Service& service : ChairGatt::services()) {
        const QString servicePath = handlePath(d.path, "service", handle++);
        objects.add(
            servicePath,
            {{serviceInterface,
              {{QStringLiteral("UUID"), withoutBraces(service.uuid)},
               {QStringLiteral("Device"), QVariant::fromValue(QDBusObjectPath(d.path))},
               {QStringLiteral("Primary"), true},
               {QStringLiteral("Includes"), QVariant::fromValue(QList<QDBusObjectPath>())}}}});
        d.gattPaths << servicePath;
        for (const ChairGatt::Characteristic& c : service.characteristics) {
            const QString charPath = handlePath(servicePath, "char", handle);
            handle += 2; // declaration and value
            QVariantMap properties{
                {QStringLiteral("UUID"), withoutBraces(c.uuid)},
                {QStringLiteral("Service"), QVariant::fromValue(QDBusObjectPath(servicePath))},
                {QStringLiteral("Value"), QByteArray()},
                {QStringLiteral("Flags"), ChairGatt::flagWords(c.flags)},
            };
            if (c.flags & ChairGatt::Notify)
                properties.insert(QStringLiteral("Notifying"), false);
            objects.add(charPath, {{characteristicInterface, properties}});
            d.gattPaths << charPath;
            d.characteristics.insert(charPath, {c.uuid, c.flags, {}});
            if (!(c.flags & ChairGatt::Notify))
                continue;
            const QString descPath = handlePath(charPath, "desc", handle++);
            objects.add(descPath,
                        {{descriptorInterface,
                          {{QStringLiteral("UUID"), withoutBraces(ChairGatt::cccdUUID)},
                           {QStringLiteral("Characteristic"),
                            QVariant::fromValue(QDBusObjectPath(charPath))},
                           {QStringLiteral("Value"), QByteArray(2, '\0')},
                           {QStringLiteral("Flags"),
                            QStringList{QStringLiteral("read"), QStringLiteral("write")}}}}});
            d.gattPaths << descPath;
            d.descriptors.insert(descPath, charPath);
        }
    }
}

void VirtualBluez::removeGatt(VirtualDevice& d)
{
    for (auto it = d.gattPaths.crbegin(); it != d.gattPaths.crend(); ++it)
        objects.remove(*it);
    d.gattPaths.clear();
    d.characteristics.clear();
    d.descriptors.clear();
}

void VirtualBluez::deliverNotification(VirtualDevice& d, const QBluetoothUuid& uuid,
                                       const QByteArray& value)
{
    if (!d.isConnected())
        return;
    if (d.holdingNotifications) {
        d.heldNotifications.append({uuid, value});
        return;
    }
    for (auto it = d.characteristics.begin(); it != d.characteristics.end(); ++it) {
        if (it->uuid != uuid)
            continue;
        if (!it->notifying()) {
            objects.setPropertyQuietly(it.key(), characteristicInterface, QStringLiteral("Value"),
                                       value);
            return;
        }
        log(QStringLiteral("%1 notify %2 %3")
                .arg(d.address, ChairGatt::nameOf(uuid), hexOf(value)));
        objects.setProperties(it.key(), characteristicInterface, {{QStringLiteral("Value"), value}},
                              true);
        return;
    }
}

void VirtualBluez::updateNotifying(VirtualDevice& d, const QString& charPath)
{
    const VirtualDevice::Characteristic& c = d.characteristics[charPath];
    const bool on = c.notifying();
    objects.setProperties(charPath, characteristicInterface, {{QStringLiteral("Notifying"), on}});
    const QString descPath = d.descriptors.key(charPath);
    if (!descPath.isEmpty()) {
        objects.setPropertyQuietly(descPath, descriptorInterface, QStringLiteral("Value"),
                                   QByteArray(on ? "\x01\x00" : "\x00\x00", 2));
    }
}

void VirtualBluez::startNotify(VirtualDevice& d, const QDBusMessage& call)
{
    if (d.isDisconnecting()) {
        objects.replyError(call, QStringLiteral("org.bluez.Error.NotConnected"),
                           QStringLiteral("Not Connected"));
        return;
    }
    const QString client = call.service();
    const VirtualDevice::Characteristic& c = d.characteristics[call.path()];
    // One session per client; a kept one is re-armed by BlueZ itself when the link comes back.
    if (c.notifySessions.contains(client)) {
        if (d.isConnected())
            objects.reply(call);
        else
            objects.replyError(call, QStringLiteral("org.bluez.Error.InProgress"),
                               QStringLiteral("In Progress"));
        return;
    }
    if (!d.isConnected()) {
        objects.replyError(call, errorFailed, QStringLiteral("Not connected"));
        return;
    }
    const QString name = ChairGatt::nameOf(c.uuid);
    atConnectionEvent(d, QStringLiteral("StartNotify ") + name, call,
                      [this, dd = &d, call, client, name] {
                          dd->characteristics[call.path()].notifySessions.insert(client);
                          log(QStringLiteral("%1 StartNotify %2").arg(dd->address, name));
                          updateNotifying(*dd, call.path());
                          objects.reply(call);
                      });
}

void VirtualBluez::stopNotify(VirtualDevice& d, const QDBusMessage& call)
{
    VirtualDevice::Characteristic& c = d.characteristics[call.path()];
    if (!c.notifySessions.remove(call.service())) {
        objects.replyError(call, errorFailed, QStringLiteral("No notify session started"));
        return;
    }
    log(QStringLiteral("%1 StopNotify %2").arg(d.address, ChairGatt::nameOf(c.uuid)));
    if (d.isConnected())
        d.linkRequests << QStringLiteral("StopNotify ") + ChairGatt::nameOf(c.uuid);
    updateNotifying(d, call.path());
    objects.reply(call);
}

void VirtualBluez::report(VirtualDevice& d)
{
    if (d.chair && d.link == VirtualDevice::Link::Up)
        d.chair->reportState();
}

void VirtualBluez::readCharacteristic(VirtualDevice& d, const QDBusMessage& call)
{
    const VirtualDevice::Characteristic c = d.characteristics.value(call.path());
    const QString name = ChairGatt::nameOf(c.uuid);
    atConnectionEvent(d, QStringLiteral("read ") + name, call,
                      [this, dd = &d, call, c, name] { answerRead(*dd, call, c, name); });
}

void VirtualBluez::answerRead(VirtualDevice& d, const QDBusMessage& call,
                              const VirtualDevice::Characteristic& c, const QString& name)
{
    std::optional<QByteArray> value;
    if (c.flags & ChairGatt::Read)
        value = d.chair->read(c.uuid);
    if (!value) {
        log(QStringLiteral("%1 read %2 refused").arg(d.address, name));
        objects.replyError(call, errorNotPermitted, QStringLiteral("Read not permitted"));
        return;
    }
    const quint16 offset =
        quint16(optionsOf(call.arguments().value(0)).value(QStringLiteral("offset")).toUInt());
    if (offset > value->size()) {
        objects.replyError(call, QStringLiteral("org.bluez.Error.InvalidOffset"),
                           QStringLiteral("Invalid offset"));
        return;
    }
    // bluetoothd stores what it read and announces Value before it answers, even unchanged:
    // Qt 6.4 takes that announcement of a notifying characteristic for a notification.
    objects.setProperties(call.path(), characteristicInterface, {{QStringLiteral("Value"), *value}},
                          true);
    const QByteArray answer = value->mid(offset);
    log(QStringLiteral("%1 read %2 -> %3").arg(d.address, name, hexOf(answer)));
    objects.reply(call, {answer});
}

void VirtualBluez::writeCharacteristic(VirtualDevice& d, const QDBusMessage& call)
{
    const VirtualDevice::Characteristic c = d.characteristics.value(call.path());
    const QString name = ChairGatt::nameOf(c.uuid);
    const QByteArray value = call.arguments().value(0).toByteArray();
    d.chair->countWriteCall();
    if (!(c.flags & ChairGatt::Write)) {
        log(QStringLiteral("%1 write %2 %3 refused").arg(d.address, name, hexOf(value)));
        objects.replyError(call, errorNotPermitted, QStringLiteral("Write not permitted"));
        return;
    }
    const bool failing = d.failWrites.value(c.uuid) > 0;
    if (failing && --d.failWrites[c.uuid] == 0)
        d.failWrites.remove(c.uuid);
    auto confirm = [this, dd = &d, call, c, name, value, failing](bool delivered) {
        if (!delivered) {
            log(QStringLiteral("%1 write %2 %3 lost with the link")
                    .arg(dd->address, name, hexOf(value)));
            objects.replyError(call, errorFailed, QStringLiteral("Not connected"));
            return;
        }
        dd->linkRequests << QStringLiteral("write ") + name;
        dd->holdingNotifications = true;
        const ChairModel::WriteResult result =
            failing
                ? ChairModel::WriteResult{errorFailed,
                                          QStringLiteral("Operation failed with ATT error: 0x0e")}
                : dd->chair->write(c.uuid, value);
        dd->holdingNotifications = false;
        log(QStringLiteral("%1 write %2 %3 -> %4")
                .arg(dd->address, name, hexOf(value),
                     result.isOk() ? QStringLiteral("ok")
                                   : result.errorName + QLatin1Char(' ') + result.errorMessage));
        if (result.isOk())
            objects.reply(call);
        else
            objects.replyError(call, result.errorName, result.errorMessage);
        const auto held = std::exchange(dd->heldNotifications, {});
        for (const auto& [uuid, notified] : held)
            deliverNotification(*dd, uuid, notified);
    };
    // A write without response goes out at once and is never answered by the chair.
    const QString type =
        optionsOf(call.arguments().value(1)).value(QStringLiteral("type")).toString();
    if (type == QLatin1String("command")) {
        confirm(true);
        return;
    }
    d.pacer.submit(std::move(confirm));
}

namespace {

bool hasSignature(BusObjects& objects, const QDBusMessage& call, const char* signature)
{
    if (call.signature() == QLatin1String(signature))
        return true;
    objects.replyError(call, errorInvalidArguments,
                       QStringLiteral("Invalid arguments in method call"));
    return false;
}

void unknownMethod(BusObjects& objects, const QDBusMessage& call)
{
    objects.replyError(call, QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"),
                       QStringLiteral("No method %1.%2").arg(call.interface(), call.member()));
}

} // namespace

void VirtualBluez::handleAdapter(const QDBusMessage& call)
{
    const QString member = call.member();
    if (member == QLatin1String("StartDiscovery")) {
        if (!hasSignature(objects, call, ""))
            return;
        if (!powered) {
            objects.replyError(call, errorNotReady, QStringLiteral("Resource Not Ready"));
            return;
        }
        // One session per client, ended by StopDiscovery or by the client leaving the bus.
        const QString client = call.service();
        if (discoveryClients.contains(client)) {
            objects.replyError(call, QStringLiteral("org.bluez.Error.InProgress"),
                               QStringLiteral("Operation already in progress"));
            return;
        }
        log(QStringLiteral("StartDiscovery"));
        discoveryClients.insert(client);
        // bluetoothd answers, then announces Discovering.
        objects.reply(call);
        startDiscovery();
        return;
    }
    if (member == QLatin1String("StopDiscovery")) {
        if (!hasSignature(objects, call, ""))
            return;
        if (!discoveryClients.contains(call.service())) {
            objects.replyError(call, errorFailed, QStringLiteral("No discovery started"));
            return;
        }
        log(QStringLiteral("StopDiscovery"));
        objects.reply(call);
        endDiscoverySession(call.service());
        return;
    }
    if (member == QLatin1String("SetDiscoveryFilter")) {
        if (hasSignature(objects, call, "a{sv}"))
            objects.reply(call);
        return;
    }
    if (member == QLatin1String("GetDiscoveryFilters")) {
        if (!hasSignature(objects, call, ""))
            return;
        objects.reply(call,
                      {QStringList{QStringLiteral("UUIDs"), QStringLiteral("RSSI"),
                                   QStringLiteral("Pathloss"), QStringLiteral("Transport"),
                                   QStringLiteral("DuplicateData"), QStringLiteral("Discoverable"),
                                   QStringLiteral("Pattern")}});
        return;
    }
    if (member == QLatin1String("RemoveDevice")) {
        if (!hasSignature(objects, call, "o"))
            return;
        const QString path = qvariant_cast<QDBusObjectPath>(call.arguments().value(0)).path();
        VirtualDevice* d = deviceAt(path);
        if (!d || d->path != path || !d->present) {
            objects.replyError(call, QStringLiteral("org.bluez.Error.DoesNotExist"),
                               QStringLiteral("Does Not Exist"));
            return;
        }
        log(QStringLiteral("RemoveDevice %1").arg(d->address));
        dropLink(*d);
        // A cached table goes with its device.
        removeGatt(*d);
        objects.remove(d->path);
        d->present = false;
        objects.reply(call);
        return;
    }
    unknownMethod(objects, call);
}

void VirtualBluez::handleDevice(const QDBusMessage& call)
{
    VirtualDevice* d = deviceAt(call.path());
    const QString member = call.member();
    if (!d) {
        objects.replyError(call, QStringLiteral("org.bluez.Error.DoesNotExist"),
                           QStringLiteral("Does Not Exist"));
        return;
    }
    if (member == QLatin1String("Connect")) {
        if (!hasSignature(objects, call, ""))
            return;
        log(QStringLiteral("%1 Connect").arg(d->address));
        connectDevice(*d, call);
        return;
    }
    if (member == QLatin1String("Disconnect")) {
        if (!hasSignature(objects, call, ""))
            return;
        log(QStringLiteral("%1 Disconnect").arg(d->address));
        disconnectDevice(*d, call);
        return;
    }
    if (member == QLatin1String("Pair") || member == QLatin1String("ConnectProfile") ||
        member == QLatin1String("DisconnectProfile")) {
        objects.replyError(call, errorNotSupported, QStringLiteral("Operation is not supported"));
        return;
    }
    if (member == QLatin1String("CancelPairing")) {
        objects.replyError(call, QStringLiteral("org.bluez.Error.DoesNotExist"),
                           QStringLiteral("Does Not Exist"));
        return;
    }
    unknownMethod(objects, call);
}

void VirtualBluez::handleCharacteristic(const QDBusMessage& call)
{
    VirtualDevice* d = deviceAt(call.path());
    const QString member = call.member();
    if (!d || !d->chair || !d->characteristics.contains(call.path())) {
        objects.replyError(call, QStringLiteral("org.bluez.Error.NotConnected"),
                           QStringLiteral("Not Connected"));
        return;
    }
    const bool readOrWrite =
        member == QLatin1String("ReadValue") || member == QLatin1String("WriteValue");
    // Cached objects without a link: BlueZ has no one to ask.
    if (readOrWrite && !d->isConnected()) {
        objects.replyError(call, errorFailed, QStringLiteral("Not connected"));
        return;
    }
    if (member == QLatin1String("ReadValue")) {
        if (hasSignature(objects, call, "a{sv}"))
            readCharacteristic(*d, call);
        return;
    }
    if (member == QLatin1String("WriteValue")) {
        if (hasSignature(objects, call, "aya{sv}"))
            writeCharacteristic(*d, call);
        return;
    }
    if (member == QLatin1String("StartNotify") || member == QLatin1String("StopNotify")) {
        if (!hasSignature(objects, call, ""))
            return;
        if (!(d->characteristics.value(call.path()).flags & ChairGatt::Notify)) {
            objects.replyError(call, errorNotSupported,
                               QStringLiteral("Operation is not supported"));
            return;
        }
        if (member == QLatin1String("StartNotify"))
            startNotify(*d, call);
        else
            stopNotify(*d, call);
        return;
    }
    if (member == QLatin1String("AcquireWrite") || member == QLatin1String("AcquireNotify")) {
        objects.replyError(call, errorNotSupported, QStringLiteral("Operation is not supported"));
        return;
    }
    unknownMethod(objects, call);
}

void VirtualBluez::handleDescriptor(const QDBusMessage& call)
{
    VirtualDevice* d = deviceAt(call.path());
    const QString member = call.member();
    if (!d || !d->descriptors.contains(call.path())) {
        objects.replyError(call, QStringLiteral("org.bluez.Error.NotConnected"),
                           QStringLiteral("Not Connected"));
        return;
    }
    const QString charPath = d->descriptors.value(call.path());
    const VirtualDevice::Characteristic c = d->characteristics.value(charPath);
    if (member == QLatin1String("ReadValue")) {
        if (!hasSignature(objects, call, "a{sv}"))
            return;
        if (!d->isConnected()) {
            objects.replyError(call, errorFailed, QStringLiteral("Not connected"));
            return;
        }
        atConnectionEvent(*d, QStringLiteral("read CCCD of ") + ChairGatt::nameOf(c.uuid), call,
                          [this, d, call, charPath, uuid = c.uuid] {
                              const bool on = d->characteristics.value(charPath).notifying();
                              const QByteArray value(on ? "\x01\x00" : "\x00\x00", 2);
                              log(QStringLiteral("%1 read CCCD of %2 -> %3")
                                      .arg(d->address, ChairGatt::nameOf(uuid), hexOf(value)));
                              objects.reply(call, {value});
                          });
        return;
    }
    if (member == QLatin1String("WriteValue")) {
        if (!hasSignature(objects, call, "aya{sv}"))
            return;
        // BlueZ keeps the configuration descriptor to itself: StartNotify and StopNotify.
        objects.replyError(call, errorNotPermitted, QStringLiteral("Write not permitted"));
        return;
    }
    unknownMethod(objects, call);
}

BusObjects::SetError VirtualBluez::setProperty(const QString& path, const QString& interface,
                                               const QString& property, const QVariant& value)
{
    const auto wrongType = [] {
        return BusObjects::SetError{errorInvalidArguments,
                                    QStringLiteral("Invalid arguments in method call")};
    };
    const BusObjects::SetError readOnly{
        QStringLiteral("org.freedesktop.DBus.Error.PropertyReadOnly"),
        QStringLiteral("Property '%1' is read-only").arg(property)};
    if (path == adapterPath && interface == adapterInterface) {
        log(QStringLiteral("Set adapter %1 %2").arg(property, value.toString()));
        if (property == QLatin1String("Powered")) {
            if (value.metaType() != QMetaType::fromType<bool>())
                return wrongType();
            setPowered(value.toBool());
            return {};
        }
        if (property == QLatin1String("Discoverable") || property == QLatin1String("Pairable")) {
            if (value.metaType() != QMetaType::fromType<bool>())
                return wrongType();
            objects.setProperties(path, interface, {{property, value.toBool()}});
            return {};
        }
        if (property == QLatin1String("DiscoverableTimeout") ||
            property == QLatin1String("PairableTimeout")) {
            if (value.metaType() != QMetaType::fromType<quint32>())
                return wrongType();
            objects.setProperties(path, interface, {{property, value.toUInt()}});
            return {};
        }
        if (property == QLatin1String("Alias")) {
            if (value.metaType() != QMetaType::fromType<QString>())
                return wrongType();
            objects.setProperties(path, interface, {{property, value.toString()}});
            return {};
        }
        return readOnly;
    }
    VirtualDevice* d = deviceAt(path);
    if (d && d->path == path && interface == deviceInterface) {
        if (property == QLatin1String("Alias")) {
            if (value.metaType() != QMetaType::fromType<QString>())
                return wrongType();
            d->userAlias = value.toString();
            objects.setProperties(path, interface, {{property, d->alias()}});
            return {};
        }
        if (property == QLatin1String("Trusted") || property == QLatin1String("Blocked")) {
            if (value.metaType() != QMetaType::fromType<bool>())
                return wrongType();
            objects.setProperties(path, interface, {{property, value.toBool()}});
            return {};
        }
    }
    return readOnly;
}
