#include "BluetoothManager.h"

#include "ChairCodec.h"
#include "ChairProfile.h"
#include "Observable.h"
#include "SystemWake.h"

using namespace ChairProfile;

BluetoothManager::BluetoothManager(std::unique_ptr<BleCentral> central_, Scheduler& scheduler,
                                   const Clock& clock, Settings& settings, SystemWake* wake,
                                   QObject* parent)
    : QObject(parent)
    , central(std::move(central_))
    , scheduler(scheduler)
    , clock(clock)
    , settings(settings)
{
    BleCentral* c = central.get();
    QObject::connect(c, &BleCentral::powerChanged, this, &BluetoothManager::handleCentralPower);
    QObject::connect(c, &BleCentral::discovered, this, &BluetoothManager::handleDiscovered);
    QObject::connect(c, &BleCentral::connected, this, &BluetoothManager::handleConnected);
    QObject::connect(c, &BleCentral::failedToConnect, this,
                     [this](BlePeripheral* p, const QString&) { handleFailedToConnect(p); });
    QObject::connect(c, &BleCentral::disconnected, this,
                     [this](BlePeripheral* p, const QString&) { handleDisconnected(p); });
    // The remembered chair's name belongs to its connecting phase only.
    QObject::connect(this, &BluetoothManager::connectionStateChanged, this, [this] {
        if (connectionState_ != ConnectionState::connecting)
            setAutoConnectName(QString());
    });
    if (wake)
        QObject::connect(wake, &SystemWake::resumed, this, &BluetoothManager::handleWake);
    // The central's first state report.
    handleCentralPower(central->power());
}

BluetoothManager::~BluetoothManager() = default;

BlePeripheral* BluetoothManager::characteristicFor(const QBluetoothUuid& characteristic) const
{
    // A chair the user let go hears nothing more from us, though its link may take a moment
    // to close.
    if (!peripheral || isDisconnectRequested || !characteristics.contains(characteristic))
        return nullptr;
    return peripheral.get();
}

bool BluetoothManager::writeValue(const QBluetoothUuid& characteristic, const QByteArray& value)
{
    BlePeripheral* p = characteristicFor(characteristic);
    if (!p)
        return false;
    p->write(characteristic, value);
    return true;
}

bool BluetoothManager::readValue(const QBluetoothUuid& characteristic)
{
    BlePeripheral* p = characteristicFor(characteristic);
    if (!p)
        return false;
    p->read(characteristic);
    return true;
}

void BluetoothManager::decodeValue(const QBluetoothUuid& c, const QByteArray& value)
{
    if (c == softwareRevisionUUID || c == firmwareRevisionUUID || c == serialNumberUUID) {
        const QString text = ChairCodec::decodeText(value);
        if (c == softwareRevisionUUID)
            setSoftwareVersion(text);
        else if (c == firmwareRevisionUUID)
            setFirmwareVersion(text);
        else
            setSerialNumber(text);
    } else if (c == chairStateUUID) {
        handleChairState(value);
    } else if (c == chairStateEventUUID) {
        resetSleepDetection();
    } else if (c == autoModeUUID) {
        handleAutoModeValue(value);
    } else if (c == autoPeriodUUID) {
        handlePeriodValue(value);
    } else if (c == autoModeSelectorUUID) {
        handlePatternValue(value);
    } else if (c == timeToNextTransitionUUID) {
        handleCountdownValue(value);
    } else if (c == leftMotorSoundUUID) {
        handleMotorStrengthValue(value);
    } else if (c == rightMotorSoundUUID) {
        // The right motor mirrors the left; its value says nothing new.
    } else if (c == leftOdometerUUID || c == rightOdometerUUID) {
        handleOdometerValue(c, value);
    } else if (c == otaV2BeginUUID || c == otaV1BeginUUID || c == otaV2StatusUUID) {
        handleOtaValue(c, value);
    } else if (c == wifiStatusUUID || c == wifiSSIDUUID || c == wifiSSIDListCounterUUID ||
               c == wifiSSIDSingleUUID) {
        handleWifiValue(c, value);
    }
}

QVariantList BluetoothManager::discoveredDevicesList() const
{
    QVariantList list;
    list.reserve(discoveredDevices_.size());
    for (const DiscoveredDevice& device : discoveredDevices_)
        list.append(QVariant::fromValue(device));
    return list;
}

QVariant BluetoothManager::wifiErrorMessageValue() const
{
    return optionalToVariant(wifiErrorMessage_);
}
QVariant BluetoothManager::wifiOfflineSecondsValue() const
{
    return optionalToVariant(wifiOfflineSeconds_);
}
QVariant BluetoothManager::lifetimeMovesValue() const
{
    return optionalToVariant(lifetimeMoves_);
}

#define VELNORA_SETTER(Name, Type, field, signal)                                                  \
    void BluetoothManager::Name(Type value)                                                        \
    {                                                                                              \
        assignObservable(this, field, value, &BluetoothManager::signal);                           \
    }

VELNORA_SETTER(setConnectionState, ConnectionState, connectionState_, connectionStateChanged)
VELNORA_SETTER(setDeviceName, const QString&, deviceName_, deviceNameChanged)
VELNORA_SETTER(setSoftwareVersion, const QString&, softwareVersion_, softwareVersionChanged)
VELNORA_SETTER(setFirmwareVersion, const QString&, firmwareVersion_, firmwareVersionChanged)
VELNORA_SETTER(setSerialNumber, const QString&, serialNumber_, serialNumberChanged)
VELNORA_SETTER(setWifiStatus, WiFiStatus, wifiStatus_, wifiStatusChanged)
VELNORA_SETTER(setConnectedSSID, const QString&, connectedSSID_, connectedSSIDChanged)
VELNORA_SETTER(setAvailableNetworks, const QStringList&, availableNetworks_,
               availableNetworksChanged)
VELNORA_SETTER(setIsLoadingNetworks, bool, isLoadingNetworks_, isLoadingNetworksChanged)
VELNORA_SETTER(setWifiErrorMessage, const std::optional<QString>&, wifiErrorMessage_,
               wifiErrorMessageChanged)
VELNORA_SETTER(setWifiOfflineSeconds, std::optional<qint64>, wifiOfflineSeconds_,
               wifiOfflineSecondsChanged)
VELNORA_SETTER(setLifetimeMoves, std::optional<qint64>, lifetimeMoves_, lifetimeMovesChanged)
VELNORA_SETTER(setSessionMoves, qint64, sessionMoves_, sessionMovesChanged)
VELNORA_SETTER(setChairIsAsleep, bool, chairIsAsleep_, chairIsAsleepChanged)
VELNORA_SETTER(setAutoModeEnabled, bool, autoModeEnabled_, autoModeEnabledChanged)
VELNORA_SETTER(setAutoModePattern_, qint64, autoModePattern_, autoModePatternChanged)
VELNORA_SETTER(setAutoPeriodMinutes, double, autoPeriodMinutes_, autoPeriodMinutesChanged)
VELNORA_SETTER(setLeftLegUp, bool, leftLegUp_, leftLegUpChanged)
VELNORA_SETTER(setRightLegUp, bool, rightLegUp_, rightLegUpChanged)
VELNORA_SETTER(setCountdownSeconds, double, countdownSeconds_, countdownSecondsChanged)
VELNORA_SETTER(setMotorStrength, double, motorStrength_, motorStrengthChanged)
VELNORA_SETTER(setOtaState, const OTAState&, otaState_, otaStateChanged)
VELNORA_SETTER(setIsEditingPeriod, bool, isEditingPeriod_, isEditingPeriodChanged)
VELNORA_SETTER(setIsEditingMotor, bool, isEditingMotor_, isEditingMotorChanged)
VELNORA_SETTER(setIsSimulating, bool, isSimulating_, isSimulatingChanged)
VELNORA_SETTER(setIsReconnectingAfterOTA, bool, isReconnectingAfterOTA_,
               isReconnectingAfterOTAChanged)
VELNORA_SETTER(setAutoConnectName, const QString&, autoConnectName_, autoConnectNameChanged)

#undef VELNORA_SETTER
