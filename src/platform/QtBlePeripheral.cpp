#include "QtBlePeripheral.h"

#include <QLoggingCategory>
#include <QLowEnergyDescriptor>

#include <utility>

Q_LOGGING_CATEGORY(lcChairLink, "velnora.bluetooth")

namespace {

// Our own namespace for name-based identifiers of chairs.
const QUuid peripheralNamespace = QUuid::fromString(u"{5b1f7c3e-2d4a-4e8b-9c61-0f3a7d2e9b45}");

QString controllerErrorText(QLowEnergyController* controller, QLowEnergyController::Error error)
{
    const QString text = controller->errorString();
    return text.isEmpty() ? QStringLiteral("Bluetooth error %1").arg(int(error)) : text;
}

} // namespace

QtBlePeripheral::QtBlePeripheral(const QBluetoothDeviceInfo& device, const QtBleTiming& timing,
                                 QObject* parent)
    : BlePeripheral(parent)
    , info(device)
    , timing(timing)
    , id(identifierFor(device.address()))
{
    retryTimer.setSingleShot(true);
    QObject::connect(&retryTimer, &QTimer::timeout, this, [this] {
        if (phase == Phase::Connecting)
            startAttempt();
    });
    serviceGuard.setSingleShot(true);
    QObject::connect(&serviceGuard, &QTimer::timeout, this, [this] {
        qCWarning(lcChairLink) << "service discovery of" << info.address().toString()
                               << "timed out";
        finishServiceDiscovery(QStringLiteral("Service discovery timed out"));
    });
    sightingGuard.setSingleShot(true);
    QObject::connect(&sightingGuard, &QTimer::timeout, this, [this] {
        if (phase == Phase::Connecting)
            startAttempt(); // not seen: the attempt fails as before and uses up a retry
    });
    disconnectGuard.setSingleShot(true);
    QObject::connect(&disconnectGuard, &QTimer::timeout, this, [this] {
        // Qt never confirmed the disconnect: forget the controller so the next connect starts
        // from a clean one.
        const bool waitingForClose =
            phase == Phase::Cancelling || (phase == Phase::Connecting && !attemptInFlight);
        if (!waitingForClose)
            return;
        qCWarning(lcChairLink) << "disconnect of" << info.address().toString()
                               << "was never confirmed";
        if (controller) {
            controller->disconnect(this);
            controller->deleteLater();
            controller = nullptr;
        }
        handleControllerDisconnected();
    });
}

QtBlePeripheral::~QtBlePeripheral()
{
    // Qt closes the link when its controller goes; nobody is left to hear about it.
    if (controller)
        controller->disconnect(this);
}

QUuid QtBlePeripheral::identifierFor(const QBluetoothAddress& address)
{
    return QUuid::createUuidV5(peripheralNamespace, address.toString());
}

void QtBlePeripheral::updateInfo(const QBluetoothDeviceInfo& fresher)
{
    info = fresher;
}

void QtBlePeripheral::later(std::function<void()> deliver)
{
    QMetaObject::invokeMethod(this, std::move(deliver), Qt::QueuedConnection);
}

// Link

void QtBlePeripheral::connectLink()
{
    switch (phase) {
    case Phase::Up:
        // A wake while the link is still up: the link runs its discovery afresh.
        later([this] {
            if (phase == Phase::Up)
                Q_EMIT linkUp();
        });
        return;
    case Phase::Connecting: return; // already under way
    case Phase::Idle:
    case Phase::Cancelling: break;
    }
    phase = Phase::Connecting;
    retriesLeft = timing.connectRetries;
    // After a cancel Qt is still closing the old link; the attempt starts once it is closed.
    if (controller && controller->state() != QLowEnergyController::UnconnectedState)
        return;
    disconnectGuard.stop();
    startAttempt();
}

void QtBlePeripheral::startAttempt()
{
    if (!controller) {
        controller = QLowEnergyController::createCentral(info, this);
        QObject::connect(controller, &QLowEnergyController::connected, this,
                         &QtBlePeripheral::handleControllerConnected);
        QObject::connect(controller, &QLowEnergyController::disconnected, this,
                         &QtBlePeripheral::handleControllerDisconnected);
        QObject::connect(controller, &QLowEnergyController::errorOccurred, this,
                         &QtBlePeripheral::handleControllerError);
        QObject::connect(controller, &QLowEnergyController::stateChanged, this,
                         [this](QLowEnergyController::ControllerState state) {
                             if (state == QLowEnergyController::UnconnectedState &&
                                 phase == Phase::Connecting && attemptInFlight)
                                 attemptFailed(lastControllerError);
                         });
        QObject::connect(controller, &QLowEnergyController::discoveryFinished, this,
                         [this] { finishServiceDiscovery(QString()); });
    }
    attemptInFlight = true;
    lastControllerError.clear();
    controller->connectToDevice();
}

void QtBlePeripheral::attemptFailed(const QString& error)
{
    if (!attemptInFlight)
        return;
    attemptInFlight = false;
    // BlueZ refuses connects for passing reasons (another connect in progress, the controller
    // aborting an LE connection); a reconnect must not die of one of them.
    if (retriesLeft > 0) {
        --retriesLeft;
        if (std::exchange(unknownToBluez, false)) {
            qCInfo(lcChairLink) << info.address().toString()
                                << "is unknown to BlueZ - connecting once it is seen again";
            sightingGuard.start(timing.discoveryTimeout);
            Q_EMIT needsSighting();
            return;
        }
        qCInfo(lcChairLink) << "connect to" << info.address().toString() << "failed:" << error
                            << "- trying again," << retriesLeft << "tries left after this";
        retryTimer.start(timing.connectRetryDelay);
        return;
    }
    phase = Phase::Idle;
    const QString text =
        error.isEmpty() ? QStringLiteral("The chair could not be connected") : error;
    later([this, text] { Q_EMIT linkFailed(text); });
}

void QtBlePeripheral::handleControllerError(QLowEnergyController::Error error)
{
    lastControllerError = controllerErrorText(controller, error);
    unknownToBluez = error == QLowEnergyController::UnknownRemoteDeviceError;
    if (phase == Phase::Connecting) {
        attemptFailed(lastControllerError);
        return;
    }
    qCInfo(lcChairLink) << "link to" << info.address().toString() << ":" << lastControllerError;
}

void QtBlePeripheral::handleControllerConnected()
{
    attemptInFlight = false;
    if (phase == Phase::Cancelling) {
        controller->disconnectFromDevice(); // cancelled while it was coming up
        return;
    }
    if (phase != Phase::Connecting)
        return;
    phase = Phase::Up;
    Q_EMIT linkUp();
}

void QtBlePeripheral::handleControllerDisconnected()
{
    if (phase == Phase::Connecting) {
        disconnectGuard.stop();
        dropServices();
        if (attemptInFlight)
            attemptFailed(lastControllerError);
        else
            startAttempt(); // the old link is closed now
        return;
    }
    const bool wasUp = phase == Phase::Up || phase == Phase::Cancelling;
    phase = Phase::Idle;
    disconnectGuard.stop();
    dropServices();
    if (wasUp)
        Q_EMIT linkDown(lastControllerError);
}

void QtBlePeripheral::cancelLink()
{
    retryTimer.stop();
    sightingGuard.stop();
    switch (phase) {
    case Phase::Idle:
    case Phase::Cancelling: return;
    case Phase::Connecting:
        // Nobody waits for this attempt any more; no callback follows.
        phase = Phase::Idle;
        attemptInFlight = false;
        if (controller)
            controller->disconnectFromDevice();
        return;
    case Phase::Up:
        phase = Phase::Cancelling;
        disconnectGuard.start(timing.disconnectTimeout);
        controller->disconnectFromDevice();
        return;
    }
}

void QtBlePeripheral::sighted()
{
    if (!sightingGuard.isActive())
        return;
    sightingGuard.stop();
    if (phase == Phase::Connecting)
        startAttempt();
}

void QtBlePeripheral::loseBluez()
{
    if (!controller)
        return;
    // The controller still believes in its objects; the next attempt starts from a new one.
    controller->disconnect(this);
    controller->deleteLater();
    controller = nullptr;
    lastControllerError = QStringLiteral("The Bluetooth service stopped");
    switch (phase) {
    case Phase::Idle: return;
    case Phase::Connecting:
        dropServices();
        if (attemptInFlight)
            attemptFailed(lastControllerError);
        else if (!retryTimer.isActive() && !sightingGuard.isActive())
            startAttempt(); // it was waiting for the old link to close
        return;
    case Phase::Up:
    case Phase::Cancelling: handleControllerDisconnected(); return;
    }
}

void QtBlePeripheral::dropServices()
{
    serviceGuard.stop();
    isDiscoveringServices = false;
    for (const auto& service : std::as_const(services)) {
        if (service->qt) {
            service->qt->disconnect(this);
            service->qt->deleteLater();
        }
    }
    services.clear();
    serviceOfCharacteristic.clear();
    detailQueue.clear();
    detailRunning.reset();
}

// Service discovery

void QtBlePeripheral::discoverServices(const QList<QBluetoothUuid>& wanted)
{
    wantedServices = wanted;
    if (phase != Phase::Up || !controller) {
        later([this] { Q_EMIT servicesDiscovered({}, QStringLiteral("Not connected")); });
        return;
    }
    if (controller->state() == QLowEnergyController::DiscoveredState) {
        later([this] {
            if (phase == Phase::Up)
                finishServiceDiscovery(QString());
        });
        return;
    }
    isDiscoveringServices = true;
    serviceGuard.start(timing.discoveryTimeout);
    if (controller->state() != QLowEnergyController::DiscoveringState)
        controller->discoverServices();
}

void QtBlePeripheral::finishServiceDiscovery(const QString& error)
{
    serviceGuard.stop();
    isDiscoveringServices = false;
    if (!error.isEmpty()) {
        Q_EMIT servicesDiscovered({}, error);
        return;
    }
    const QList<QBluetoothUuid> present =
        controller ? controller->services() : QList<QBluetoothUuid>{};
    QList<QBluetoothUuid> found;
    for (const QBluetoothUuid& uuid : std::as_const(wantedServices)) {
        if (present.contains(uuid))
            found.append(uuid);
    }
    Q_EMIT servicesDiscovered(found, QString());
}

QtBlePeripheral::Service* QtBlePeripheral::serviceFor(const QBluetoothUuid& uuid)
{
    const auto it = services.constFind(uuid);
    if (it != services.constEnd())
        return it->get();
    if (!controller || phase != Phase::Up)
        return nullptr;
    QLowEnergyService* qt = controller->createServiceObject(uuid, this);
    if (!qt)
        return nullptr;
    auto service = std::make_shared<Service>();
    service->qt = qt;
    service->guard = std::make_unique<QTimer>();
    service->guard->setSingleShot(true);
    QObject::connect(service->guard.get(), &QTimer::timeout, this, [this, uuid] {
        qCWarning(lcChairLink) << "characteristic discovery of" << uuid << "timed out";
        reportCharacteristics(uuid, QStringLiteral("Characteristic discovery timed out"));
    });
    services.insert(uuid, service);
    watchService(uuid, qt);
    return service.get();
}

void QtBlePeripheral::watchService(const QBluetoothUuid& uuid, QLowEnergyService* service)
{
    QObject::connect(service, &QLowEnergyService::stateChanged, this,
                     [this, uuid](QLowEnergyService::ServiceState state) {
                         if (state == QLowEnergyService::RemoteServiceDiscovered)
                             reportCharacteristics(uuid, QString());
                         else if (state == QLowEnergyService::InvalidService)
                             reportCharacteristics(uuid, QStringLiteral("Service is gone"));
                     });
    QObject::connect(service, &QLowEnergyService::characteristicChanged, this,
                     [this](const QLowEnergyCharacteristic& c, const QByteArray& value) {
                         Q_EMIT valueUpdated(c.uuid(), value, QString());
                     });
    QObject::connect(service, &QLowEnergyService::characteristicRead, this,
                     [this, uuid](const QLowEnergyCharacteristic& c, const QByteArray& value) {
                         takePending(uuid, OpKind::Read, c.uuid());
                         Q_EMIT valueUpdated(c.uuid(), value, QString());
                     });
    QObject::connect(service, &QLowEnergyService::characteristicWritten, this,
                     [this, uuid](const QLowEnergyCharacteristic& c, const QByteArray&) {
                         takePending(uuid, OpKind::Write, c.uuid());
                         Q_EMIT valueWritten(c.uuid(), QString());
                     });
    QObject::connect(service, &QLowEnergyService::descriptorWritten, this,
                     [this, uuid](const QLowEnergyDescriptor&, const QByteArray&) {
                         takePending(uuid, OpKind::DescriptorWrite);
                     });
    QObject::connect(
        service, &QLowEnergyService::errorOccurred, this,
        [this, uuid](QLowEnergyService::ServiceError error) { handleServiceError(uuid, error); });
}

void QtBlePeripheral::discoverCharacteristics(const QBluetoothUuid& uuid,
                                              const QList<QBluetoothUuid>& wanted)
{
    Service* service = serviceFor(uuid);
    if (!service) {
        later([this, uuid] {
            Q_EMIT characteristicsDiscovered(uuid, {}, QStringLiteral("Service not found"));
        });
        return;
    }
    service->wanted = wanted;
    switch (service->qt->state()) {
    case QLowEnergyService::RemoteServiceDiscovered:
        later([this, uuid] {
            if (services.contains(uuid))
                reportCharacteristics(uuid, QString());
        });
        return;
    case QLowEnergyService::RemoteServiceDiscovering:
        service->guard->start(timing.discoveryTimeout); // its answer is on the way
        return;
    default:
        // Qt's BlueZ backend loses a detail discovery asked for while another one runs: one at
        // a time.
        if (!detailQueue.contains(uuid) && detailRunning != uuid)
            detailQueue.append(uuid);
        startDetailDiscovery();
        return;
    }
}

void QtBlePeripheral::startDetailDiscovery()
{
    while (!detailRunning && !detailQueue.isEmpty()) {
        const QBluetoothUuid next = detailQueue.takeFirst();
        Service* service = services.value(next).get();
        if (!service || service->qt->state() != QLowEnergyService::RemoteService)
            continue;
        detailRunning = next;
        // Qt may answer from inside the call, so the guard runs first.
        service->guard->start(timing.discoveryTimeout);
        // The link reads exactly what it needs; reading every value here can hang Qt.
        service->qt->discoverDetails(QLowEnergyService::SkipValueDiscovery);
    }
}

void QtBlePeripheral::reportCharacteristics(const QBluetoothUuid& uuid, const QString& error)
{
    Service* service = services.value(uuid).get();
    if (!service)
        return;
    service->guard->stop();
    if (detailRunning == uuid) {
        detailRunning.reset();
        later([this] { startDetailDiscovery(); });
    }
    if (!error.isEmpty()) {
        later([this, uuid, error] { Q_EMIT characteristicsDiscovered(uuid, {}, error); });
        return;
    }
    QList<QBluetoothUuid> found;
    for (const QBluetoothUuid& wanted : std::as_const(service->wanted)) {
        if (service->qt->characteristic(wanted).isValid()) {
            found.append(wanted);
            serviceOfCharacteristic.insert(wanted, uuid);
        }
    }
    // Qt may have reported from inside the link's own request.
    later([this, uuid, found] { Q_EMIT characteristicsDiscovered(uuid, found, QString()); });
}

// Values

std::pair<QtBlePeripheral::Service*, QLowEnergyCharacteristic>
QtBlePeripheral::lookup(const QBluetoothUuid& characteristic)
{
    Service* service = services.value(serviceOfCharacteristic.value(characteristic)).get();
    if (!service || service->qt->state() != QLowEnergyService::RemoteServiceDiscovered)
        return {nullptr, {}};
    const QLowEnergyCharacteristic c = service->qt->characteristic(characteristic);
    if (!c.isValid())
        return {nullptr, {}};
    return {service, c};
}

void QtBlePeripheral::enableNotifications(const QBluetoothUuid& characteristic)
{
    auto [service, c] = lookup(characteristic);
    if (!service)
        return;
    const QLowEnergyDescriptor cccd =
        c.descriptor(QBluetoothUuid::DescriptorType::ClientCharacteristicConfiguration);
    if (!cccd.isValid()) {
        qCWarning(lcChairLink) << characteristic << "has no notification switch";
        return;
    }
    const QByteArray on = c.properties().testFlag(QLowEnergyCharacteristic::Notify)
                              ? QLowEnergyCharacteristic::CCCDEnableNotification
                              : QLowEnergyCharacteristic::CCCDEnableIndication;
    service->pending.push_back({OpKind::DescriptorWrite, characteristic});
    service->qt->writeDescriptor(cccd, on);
}

void QtBlePeripheral::read(const QBluetoothUuid& characteristic)
{
    auto [service, c] = lookup(characteristic);
    if (!service) {
        later([this, characteristic] {
            Q_EMIT valueUpdated(characteristic, {}, QStringLiteral("Characteristic not available"));
        });
        return;
    }
    service->pending.push_back({OpKind::Read, characteristic});
    service->qt->readCharacteristic(c);
}

void QtBlePeripheral::write(const QBluetoothUuid& characteristic, const QByteArray& value)
{
    auto [service, c] = lookup(characteristic);
    if (!service) {
        // Confirm with an error so that nothing waits for an answer that cannot come.
        later([this, characteristic] {
            Q_EMIT valueWritten(characteristic, QStringLiteral("Characteristic not available"));
        });
        return;
    }
    service->pending.push_back({OpKind::Write, characteristic});
    service->qt->writeCharacteristic(c, value, QLowEnergyService::WriteWithResponse);
}

std::optional<QtBlePeripheral::PendingOp>
QtBlePeripheral::takePending(const QBluetoothUuid& serviceUuid, OpKind kind,
                             const QBluetoothUuid& characteristic)
{
    Service* service = services.value(serviceUuid).get();
    if (!service)
        return std::nullopt;
    auto& pending = service->pending;
    for (auto it = pending.begin(); it != pending.end(); ++it) {
        if (it->kind == kind && (characteristic.isNull() || it->characteristic == characteristic)) {
            const PendingOp op = *it;
            pending.erase(it);
            return op;
        }
    }
    return std::nullopt;
}

void QtBlePeripheral::handleServiceError(const QBluetoothUuid& uuid,
                                         QLowEnergyService::ServiceError error)
{
    const QString text = QStringLiteral("Bluetooth operation failed (%1)").arg(int(error));
    std::optional<PendingOp> failed;
    switch (error) {
    case QLowEnergyService::CharacteristicWriteError:
        failed = takePending(uuid, OpKind::Write);
        break;
    case QLowEnergyService::DescriptorWriteError:
        failed = takePending(uuid, OpKind::DescriptorWrite);
        break;
    case QLowEnergyService::CharacteristicReadError:
        failed = takePending(uuid, OpKind::Read);
        break;
    default: break;
    }
    if (!failed) {
        qCWarning(lcChairLink) << "service" << uuid << "reported" << error;
        return;
    }
    // Qt can report an error from inside the request itself; answer on the next turn.
    const QBluetoothUuid characteristic = failed->characteristic;
    switch (failed->kind) {
    case OpKind::Write:
        later([this, characteristic, text] { Q_EMIT valueWritten(characteristic, text); });
        break;
    case OpKind::Read:
        later([this, characteristic, text] { Q_EMIT valueUpdated(characteristic, {}, text); });
        break;
    case OpKind::DescriptorWrite:
        qCWarning(lcChairLink) << "notifications of" << characteristic
                               << "could not be switched on";
        break;
    }
}
