// Scanning, connecting, discovery, link drops and reconnects.
#include "BluetoothManager.h"

#include "ChairProfile.h"
#include "Log.h"

using namespace ChairProfile;
using namespace std::chrono_literals;

namespace {

bool isChairName(const QString& name)
{
    return name.startsWith(QLatin1String("Velnora Pro")) ||
           name.startsWith(QLatin1String("Velnora Chair"));
}

// A generic name gives way to a specific one; a name once learned is never shortened.
bool shouldReplaceName(const QString& stored, const QString& incoming)
{
    return incoming.size() > stored.size() ||
           (stored == QLatin1String("Velnora Chair") && incoming != stored);
}

} // namespace

bool BluetoothManager::isCentralOn() const
{
    return central->power() == CentralPower::On;
}

void BluetoothManager::startScanning()
{
    if (!isCentralOn() || isSimulating_)
        return;
    discoveredDevices_.clear();
    Q_EMIT discoveredDevicesChanged();
    setConnectionState(ConnectionState::scanning);
    central->startScan();
}

void BluetoothManager::cancelScan()
{
    central->stopScan();
    discoveredDevices_.clear();
    Q_EMIT discoveredDevicesChanged();
    setConnectionState(isCentralOn() ? ConnectionState::disconnected
                                     : ConnectionState::unavailable);
}

void BluetoothManager::connect(const QUuid& deviceId)
{
    for (const DiscoveredDevice& device : std::as_const(discoveredDevices_)) {
        if (device.id() == deviceId) {
            const DiscoveredDevice chosen = device; // connect() may change the list
            connect(chosen);
            return;
        }
    }
}

void BluetoothManager::connect(const DiscoveredDevice& device)
{
    if (!device.peripheral || isSimulating_)
        return;
    central->stopScan();
    // The user's own connect: whatever was planned for an earlier link is over.
    ++linkRequestGeneration;
    isDisconnectRequested = false;
    setIsReconnectingAfterOTA(false);
    if (peripheral != device.peripheral)
        letChairGo(); // never leave a link behind that nobody holds
    // The WiFi sheet of this chair must not show the networks or the failure of another.
    setAvailableNetworks({});
    setWifiErrorMessage(std::nullopt);
    holdPeripheral(device.peripheral);
    shouldRememberChair = true;
    setConnectionState(ConnectionState::connecting);
    central->connectTo(peripheral.get());
}

void BluetoothManager::disconnect()
{
    otaStatusPollTimer.reset();
    if (otaState_.isInProgress())
        failFirmwareUpdate(updateInterruptedMessage());
    dropReconnectPlans();
    endRememberedSearch();
    // The next chair must not be shown in an automatic mode it does not run.
    switchAutoModeOffLocally();
    if (isSimulating_) {
        endSimulation();
        return;
    }
    // Until the user connects again nothing may bring this chair back (a Join clicked before
    // the drop arrives, a reconnect planned earlier).
    isDisconnectRequested = true;
    if (peripheral && isLinkUp) {
        central->cancelConnection(peripheral.get()); // the disconnect callback finishes the job
        return;
    }
    // No live link (waiting to reconnect, or a connect still pending): no callback will come,
    // so finish here.
    letChairGo();
    if (connectionState_ == ConnectionState::scanning) {
        central->stopScan();
        discoveredDevices_.clear();
        Q_EMIT discoveredDevicesChanged();
    }
    setDeviceName(QString());
    setConnectionState(isCentralOn() ? ConnectionState::disconnected
                                     : ConnectionState::unavailable);
}

void BluetoothManager::handleWake()
{
    if (!shouldReconnectOnWake || !peripheral || isSimulating_)
        return;
    // With Bluetooth off the power-on report reconnects instead.
    if (!isCentralOn())
        return;
    const QString name = peripheral->name();
    Log::line(QStringLiteral("🔄 Mac woke from sleep — reconnecting to %1...")
                  .arg(name.isEmpty() ? QStringLiteral("chair") : name));
    setConnectionState(ConnectionState::connecting);
    scheduleReconnect(2s, &BluetoothManager::shouldReconnectOnWake);
}

void BluetoothManager::handleCentralPower(CentralPower power)
{
    // A simulated chair does not care about the radio; its end looks at the power again.
    if (isSimulating_)
        return;
    if (power != CentralPower::On) {
        endRememberedSearch();
        if (peripheral) {
            // The link is gone with the radio: its clocks must not run on while Bluetooth is off,
            // and automatic mode is shown again only when the chair reports it after the
            // reconnect.
            isLinkUp = false;
            clearLinkData();
            switchAutoModeOffLocally();
        }
        setConnectionState(ConnectionState::unavailable);
        return;
    }
    if (shouldReconnectOnWake && peripheral) {
        setConnectionState(ConnectionState::connecting);
        isAutomaticReconnect = true;
        central->connectTo(peripheral.get());
        return;
    }
    if (connectionState_ != ConnectionState::unavailable)
        return;
    if (peripheral) {
        // Nothing brings this chair back (a first connect went down with the radio, or the user
        // had already let it go): the disconnected screen must not hide a chair still held.
        letChairGo();
        forgetChair();
    }
    setConnectionState(ConnectionState::disconnected);
}

void BluetoothManager::handleDiscovered(const QSharedPointer<BlePeripheral>& found,
                                        const QString& localName, qint64 rssi)
{
    if (!found)
        return;
    const QString name = localName.isEmpty() ? found->name() : localName;
    if (!soughtAddress.isEmpty()) {
        if (found->address().compare(soughtAddress, Qt::CaseInsensitive) == 0) {
            endRememberedSearch();
            connect(DiscoveredDevice{found, rssi, name});
        }
        return;
    }
    if (connectionState_ != ConnectionState::scanning)
        return;
    if (!isChairName(name))
        return;
    const QUuid id = found->identifier();
    for (DiscoveredDevice& device : discoveredDevices_) {
        if (device.id() != id)
            continue;
        device.rssi = rssi;
        if (shouldReplaceName(device.name, name))
            device.name = name;
        Q_EMIT discoveredDevicesChanged();
        return;
    }
    if (discoveredDevices_.size() >= maxDiscoveredDevices)
        return;
    discoveredDevices_.append(DiscoveredDevice{found, rssi, name});
    Q_EMIT discoveredDevicesChanged();
}

void BluetoothManager::holdPeripheral(const QSharedPointer<BlePeripheral>& chosen)
{
    peripheral = chosen;
    isLinkUp = false;
    isAutomaticReconnect = false;
    BlePeripheral* raw = chosen.get();
    QObject::disconnect(raw, nullptr, this, nullptr);
    // Answers of a peripheral we no longer hold are stale and dropped.
    auto isHeld = [this, raw] { return peripheral.get() == raw; };
    QObject::connect(raw, &BlePeripheral::servicesDiscovered, this,
                     [this, isHeld](const QList<QBluetoothUuid>& services, const QString& error) {
                         if (isHeld())
                             handleServicesDiscovered(services, error);
                     });
    QObject::connect(raw, &BlePeripheral::characteristicsDiscovered, this,
                     [this, isHeld](const QBluetoothUuid& service,
                                    const QList<QBluetoothUuid>& found, const QString& error) {
                         if (isHeld())
                             handleCharacteristicsDiscovered(service, found, error);
                     });
    QObject::connect(
        raw, &BlePeripheral::valueUpdated, this,
        [this, isHeld](const QBluetoothUuid& c, const QByteArray& value, const QString& error) {
            if (isHeld())
                handleValueUpdated(c, value, error);
        });
    QObject::connect(raw, &BlePeripheral::valueWritten, this,
                     [this, isHeld](const QBluetoothUuid& c, const QString& error) {
                         if (!isHeld())
                             return;
                         handleValueWritten(c, error);
                         Q_EMIT writeAnswered(c, error);
                     });
}

void BluetoothManager::letChairGo()
{
    if (!peripheral)
        return;
    central->cancelConnection(peripheral.get());
    releasePeripheral();
    clearLinkData();
}

void BluetoothManager::dropReconnectPlans()
{
    ++linkRequestGeneration; // reconnects already planned find it moved on
    shouldReconnectOnWake = false;
    isReconnectingAfterWifiConfig = false;
    setIsReconnectingAfterOTA(false);
}

void BluetoothManager::releasePeripheral()
{
    if (peripheral)
        QObject::disconnect(peripheral.get(), nullptr, this, nullptr);
    peripheral.reset();
    isLinkUp = false;
    isAutomaticReconnect = false;
}

void BluetoothManager::handleConnected(BlePeripheral* connected)
{
    if (!peripheral || connected != peripheral.get()) {
        // A link that nobody asked for any more (the user disconnected meanwhile).
        if (connected)
            central->cancelConnection(connected);
        return;
    }
    isLinkUp = true;
    isAutomaticReconnect = false;
    const QString name = peripheral->name();
    setDeviceName(name.isEmpty() ? QStringLiteral("Velnora Chair") : name);
    shouldReconnectOnWake = true;
    setIsReconnectingAfterOTA(false);
    servicesReady.clear();
    peripheral->discoverServices(ChairProfile::services());
    resetSleepDetection();
}

void BluetoothManager::handleFailedToConnect(BlePeripheral* failed)
{
    if (!peripheral || failed != peripheral.get())
        return;
    const bool wasAutomaticReconnect = isAutomaticReconnect;
    const QString chairName = deviceName_;
    // Never leave a link behind that nobody holds.
    if (isLinkUp)
        central->cancelConnection(peripheral.get());
    releasePeripheral();
    clearLinkData();
    forgetChair();
    isReconnectingAfterWifiConfig = false;
    // The chair did not come back: the next connect is no restart after an update.
    setIsReconnectingAfterOTA(false);
    setConnectionState(isCentralOn() ? ConnectionState::disconnected
                                     : ConnectionState::unavailable);
    if (wasAutomaticReconnect)
        Q_EMIT reconnectFailed(chairName);
}

void BluetoothManager::forgetChair()
{
    // Without a chair there is nothing to count down for, and the next chair must not be
    // shown in an automatic mode it does not run.
    switchAutoModeOffLocally();
    setDeviceName(QString());
}

void BluetoothManager::clearLinkData()
{
    characteristics.clear();
    servicesReady.clear();
    setSoftwareVersion(QString());
    setFirmwareVersion(QString());
    setSerialNumber(QString());
    sleepDetectionTimer.reset();
    setChairIsAsleep(false);
    clearMoveCounts();
    setConnectedSSID(QString());
    stopWifiGracePeriod();
    clearNetworkScan();
    wifiStatusRetryTimer.reset();
    // An update cannot go on without the link; only the restart after success is expected.
    if (otaState_.isInProgress())
        failFirmwareUpdate(updateInterruptedMessage());
}

void BluetoothManager::handleDisconnected(BlePeripheral* dropped)
{
    if (!peripheral || dropped != peripheral.get())
        return;
    isLinkUp = false;
    clearLinkData();
    if (!isCentralOn()) {
        // Bluetooth is off: the power-on report reconnects; until then the state says why.
        setConnectionState(ConnectionState::unavailable);
        return;
    }
    if (isReconnectingAfterOTA_) {
        setConnectionState(ConnectionState::connecting);
        Log::line(QStringLiteral("🔧 OTA reboot — reconnecting in ~8 s"));
        scheduleReconnect(8s, &BluetoothManager::isReconnectingAfterOTA_);
    } else if (isReconnectingAfterWifiConfig) {
        setConnectionState(ConnectionState::wifiConnecting);
        scheduleReconnect(4s, &BluetoothManager::isReconnectingAfterWifiConfig);
    } else if (shouldReconnectOnWake) {
        setConnectionState(ConnectionState::connecting);
        Log::line(QStringLiteral("⚠️ Unexpected BLE disconnect — attempting reconnect"));
        scheduleReconnect(2s, &BluetoothManager::shouldReconnectOnWake);
    } else {
        releasePeripheral();
        forgetChair();
        setConnectionState(ConnectionState::disconnected);
    }
}

void BluetoothManager::scheduleReconnect(Scheduler::Duration delay, bool BluetoothManager::*reason)
{
    const QWeakPointer<BlePeripheral> target = peripheral;
    const quint64 generation = linkRequestGeneration;
    scheduler.after(delay, this, [this, target, reason, generation] {
        const QSharedPointer<BlePeripheral> held = target.toStrongRef();
        const bool waiting = connectionState_ == ConnectionState::connecting ||
                             connectionState_ == ConnectionState::wifiConnecting;
        // A reason dropped meanwhile (an update dismissed while the chair reboots) still leaves
        // a chair the user never let go: the screen waits for it, so it is fetched back.
        const bool wanted = this->*reason || shouldReconnectOnWake;
        if (!wanted || !held || held != peripheral || !waiting ||
            generation != linkRequestGeneration)
            return;
        isAutomaticReconnect = true;
        central->connectTo(held.get());
    });
}

void BluetoothManager::handleServicesDiscovered(const QList<QBluetoothUuid>& services,
                                                const QString& error)
{
    if (!error.isEmpty() || services.isEmpty())
        return;
    for (const QBluetoothUuid& service : services) {
        const QList<QBluetoothUuid> wanted = ChairProfile::characteristicsOf(service);
        if (!wanted.isEmpty())
            peripheral->discoverCharacteristics(service, wanted);
    }
}

void BluetoothManager::handleCharacteristicsDiscovered(const QBluetoothUuid& service,
                                                       const QList<QBluetoothUuid>& found,
                                                       const QString& error)
{
    if (!error.isEmpty() || ChairProfile::characteristicsOf(service).isEmpty())
        return;
    for (const QBluetoothUuid& c : found) {
        characteristics.insert(c);
        handleCharacteristic(c);
        if (!peripheral)
            return; // an action above ended the link
    }
    servicesReady.insert(service);
    const bool linkReady =
        servicesReady.contains(chairServiceUUID) && servicesReady.contains(wifiServiceUUID);
    if (linkReady && (connectionState_ == ConnectionState::connecting ||
                      connectionState_ == ConnectionState::wifiConnecting))
        beginWifiCheck();
}

void BluetoothManager::handleCharacteristic(const QBluetoothUuid& c)
{
    BlePeripheral* p = peripheral.get();
    if (c == softwareRevisionUUID || c == firmwareRevisionUUID || c == serialNumberUUID ||
        c == autoModeUUID || c == autoModeSelectorUUID || c == leftMotorSoundUUID ||
        c == leftOdometerUUID || c == rightOdometerUUID) {
        p->read(c);
    } else if (c == chairStateEventUUID || c == wifiStatusUUID) {
        p->enableNotifications(c);
    } else if (c == chairStateUUID || c == autoPeriodUUID) {
        p->enableNotifications(c);
        p->read(c);
    } else if (c == sendEventsUUID) {
        p->write(c, QByteArray(1, '\x01'));
    } else if (c == userNameUUID) {
        syncUserEmail();
    }
}

void BluetoothManager::beginWifiCheck()
{
    servicesReady.clear(); // later discovery answers cannot start a second check
    if (!peripheral || !characteristics.contains(wifiStatusUUID))
        return;
    wifiStatusReadFailures = 0;
    setConnectionState(ConnectionState::checkingWifi);
    rememberConnectedChair();
    readValue(wifiStatusUUID);
}

void BluetoothManager::handleValueUpdated(const QBluetoothUuid& c, const QByteArray& value,
                                          const QString& error)
{
    if (!error.isEmpty()) {
        if (c == wifiSSIDListCounterUUID || c == wifiSSIDSingleUUID)
            handleNetworkAnswerFailed(c);
        if (c == wifiStatusUUID && connectionState_ == ConnectionState::checkingWifi)
            handleWifiStatusReadFailed();
        return;
    }
    decodeValue(c, value);
}
