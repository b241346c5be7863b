// Putting the chair on a network: its network list, credentials, its WiFi status, and the
// grace period before a chair that went offline is sent back to setup.
#include "BluetoothManager.h"

#include "ChairCodec.h"
#include "ChairProfile.h"
#include "Clock.h"
#include "Log.h"

using namespace ChairProfile;
using namespace std::chrono_literals;

namespace {
// A chair that does not answer one step of the list within this time has lost the thread.
constexpr Scheduler::Duration networkStepTimeout = 10s;

const QStringList sampleNetworks{QStringLiteral("Office_5G"), QStringLiteral("Home_Network"),
                                 QStringLiteral("Cafe_WiFi"), QStringLiteral("Guest_Network")};
} // namespace

void BluetoothManager::handleWifiValue(const QBluetoothUuid& c, const QByteArray& value)
{
    if (c == wifiStatusUUID) {
        handleWifiStatus(value);
    } else if (c == wifiSSIDUUID) {
        if (wifiStatus_ == WiFiStatus::connected)
            setConnectedSSID(ChairCodec::decodeText(value));
    } else if (c == wifiSSIDListCounterUUID) {
        handleNetworkCount(value);
    } else if (c == wifiSSIDSingleUUID) {
        handleNetworkName(value);
    }
}

void BluetoothManager::handleValueWritten(const QBluetoothUuid& c, const QString& error)
{
    if (c == wifiSSIDListCounterUUID)
        handleNetworkIndexWritten(); // a failed write is not detected; the list goes on
    else
        handleOtaWritten(c, error);
}

void BluetoothManager::scanForNetworks()
{
    if (isSimulating_) {
        setIsLoadingNetworks(true);
        setAvailableNetworks({});
        afterInSimulation(1500ms, [this] {
            setAvailableNetworks(sampleNetworks);
            setIsLoadingNetworks(false);
        });
        return;
    }
    if (!characteristicFor(wifiSSIDListCounterUUID))
        return;
    // An answer still owed to an earlier scan must not be taken for one of this scan.
    abandonNetworkStep();
    isScanningNetworks = true;
    setAvailableNetworks({});
    networkScanIndex = 0;
    networkScanTotal = 0;
    setIsLoadingNetworks(true);
    setWifiErrorMessage(std::nullopt);
    readValue(wifiSSIDListCounterUUID);
    armNetworkStep(&NetworkScanStep::count);
}

void BluetoothManager::armNetworkStep(int NetworkScanStep::*awaited)
{
    awaitedNetworkAnswer = awaited;
    networkStepTimer = scheduler.start(networkStepTimeout, false, [this] {
        abandonNetworkStep(); // the late answer, should it still come, belongs to nobody
        finishNetworkScan();
    });
}

void BluetoothManager::abandonNetworkStep()
{
    if (!awaitedNetworkAnswer)
        return;
    ++(staleNetworkAnswers.*awaitedNetworkAnswer);
    awaitedNetworkAnswer = nullptr;
    // An answer that has not come by then never will; do not let it eat a later scan's.
    staleAnswersTimer =
        scheduler.start(networkStepTimeout, false, [this] { staleNetworkAnswers = {}; });
}

void BluetoothManager::handleNetworkAnswerFailed(const QBluetoothUuid& c)
{
    auto kind = c == wifiSSIDListCounterUUID ? &NetworkScanStep::count : &NetworkScanStep::name;
    // A step the chair could not answer ends the list with the names found so far.
    if (acceptNetworkAnswer(kind))
        finishNetworkScan();
}

bool BluetoothManager::acceptNetworkAnswer(int NetworkScanStep::*kind)
{
    if (staleNetworkAnswers.*kind > 0) {
        --(staleNetworkAnswers.*kind);
        return false;
    }
    return isScanningNetworks && awaitedNetworkAnswer == kind;
}

void BluetoothManager::handleNetworkCount(const QByteArray& value)
{
    if (!acceptNetworkAnswer(&NetworkScanStep::count) || networkScanTotal != 0)
        return;
    networkScanTotal = value.isEmpty() ? 0 : static_cast<quint8>(value[0]);
    if (networkScanTotal == 0)
        finishNetworkScan();
    else
        requestNextNetwork();
}

void BluetoothManager::requestNextNetwork()
{
    if (!writeValue(wifiSSIDListCounterUUID, QByteArray(1, static_cast<char>(networkScanIndex)))) {
        finishNetworkScan();
        return;
    }
    armNetworkStep(&NetworkScanStep::written);
}

void BluetoothManager::handleNetworkIndexWritten()
{
    if (!acceptNetworkAnswer(&NetworkScanStep::written))
        return;
    if (!readValue(wifiSSIDSingleUUID)) {
        finishNetworkScan();
        return;
    }
    armNetworkStep(&NetworkScanStep::name);
}

void BluetoothManager::handleNetworkName(const QByteArray& value)
{
    if (!acceptNetworkAnswer(&NetworkScanStep::name))
        return;
    // Empty and unreadable names still count towards the total.
    const QString name = ChairCodec::decodeText(value);
    if (!name.isEmpty())
        setAvailableNetworks(availableNetworks_ + QStringList{name});
    ++networkScanIndex;
    if (networkScanIndex >= networkScanTotal)
        finishNetworkScan();
    else
        requestNextNetwork();
}

void BluetoothManager::finishNetworkScan()
{
    isScanningNetworks = false;
    awaitedNetworkAnswer = nullptr;
    networkStepTimer.reset();
    setIsLoadingNetworks(false);
}

void BluetoothManager::clearNetworkScan()
{
    finishNetworkScan();
    // The link that owed those answers is gone.
    staleNetworkAnswers = {};
    staleAnswersTimer.reset();
}

void BluetoothManager::connectToWiFi(const QString& ssid, const QString& password)
{
    if (isSimulating_) {
        setConnectionState(ConnectionState::wifiConnecting);
        afterInSimulation(3000ms, [this] {
            setWifiStatus(WiFiStatus::connected);
            setConnectionState(ConnectionState::ready);
        });
        return;
    }
    // A Join clicked after Disconnect, before the chair has gone, finds no characteristic.
    if (!characteristicFor(wifiSSIDUUID) || !characteristicFor(wifiPasswordUUID) ||
        !characteristicFor(wifiEnableUUID))
        return;
    isReconnectingAfterWifiConfig = true;
    // The chair is about to restart on new credentials: the old offline countdown is moot.
    stopWifiGracePeriod();
    setConnectionState(ConnectionState::wifiConnecting);
    writeValue(wifiSSIDUUID, ssid.toUtf8());
    writeValue(wifiPasswordUUID, password.toUtf8());
    // The chair keeps its own clock in the user's zone for its cloud uploads.
    const QByteArray zone = clock.timeZone().id();
    if (!zone.isEmpty())
        writeValue(tzInfoUUID, zone);
    writeValue(wifiEnableUUID, QByteArray(1, '\x01'));
}

void BluetoothManager::handleWifiStatus(const QByteArray& value)
{
    const WiFiStatus old = wifiStatus_;
    const WiFiStatus status = Wifi::decodeWiFiStatus(value);
    setWifiStatus(status);
    if (connectionState_ == ConnectionState::ready) {
        if (status == WiFiStatus::connected)
            stopWifiGracePeriod();
        else if (old == WiFiStatus::connected)
            startWifiGracePeriod();
        return;
    }
    // A chair left on setup that comes online by itself (or after its grace period ran out)
    // needs no setup any more.
    const bool isBackOnline = connectionState_ == ConnectionState::wifiSetup &&
                              !isReconnectingAfterWifiConfig && status == WiFiStatus::connected;
    if (connectionState_ != ConnectionState::checkingWifi && !isBackOnline)
        return;
    if (status == WiFiStatus::connected) {
        isReconnectingAfterWifiConfig = false;
        wifiStatusRetryTimer.reset();
        // An earlier attempt's failure no longer describes this chair.
        setWifiErrorMessage(std::nullopt);
        setConnectionState(ConnectionState::ready);
        readValue(wifiSSIDUUID);
        return;
    }
    setConnectedSSID(QString());
    setConnectionState(ConnectionState::wifiSetup);
    scanForNetworks();
    // Set after the scan, which clears the message: it stays until the user's next scan.
    if (isReconnectingAfterWifiConfig) {
        setWifiErrorMessage(Wifi::wifiErrorText(status));
        isReconnectingAfterWifiConfig = false;
    }
}

void BluetoothManager::handleWifiStatusReadFailed()
{
    // One failed read is often a busy chair: ask once more before the status counts as
    // unknown, which sends the chair to setup. Never wait for ever on a screen without a way out.
    if (++wifiStatusReadFailures > 1) {
        handleWifiStatus(QByteArray());
        return;
    }
    wifiStatusRetryTimer = scheduler.start(1s, false, [this] {
        if (connectionState_ == ConnectionState::checkingWifi)
            readValue(wifiStatusUUID);
    });
}

void BluetoothManager::startWifiGracePeriod()
{
    if (wifiGraceTimer)
        return;
    setWifiOfflineSeconds(wifiGraceDuration);
    wifiGraceTicks = 0;
    wifiGraceTimer = scheduler.start(1s, true, [this] { tickWifiGracePeriod(); });
    Log::line(QStringLiteral("📶 WiFi offline — grace period started (%1s)").arg(wifiGraceDuration));
}

void BluetoothManager::tickWifiGracePeriod()
{
    if (connectionState_ != ConnectionState::ready) {
        stopWifiGracePeriod(); // only a ready chair can be sent back to setup
        return;
    }
    const qint64 left = wifiOfflineSeconds_.value_or(0);
    if (left - 1 <= 0) {
        stopWifiGracePeriod();
        Log::line(QStringLiteral("📶 WiFi grace period expired — returning to WiFi setup"));
        setConnectionState(ConnectionState::wifiSetup);
        scanForNetworks();
        return;
    }
    setWifiOfflineSeconds(left - 1);
    ++wifiGraceTicks;
    if (wifiGraceTicks % 5 == 0)
        readWifiStatus();
}

void BluetoothManager::stopWifiGracePeriod()
{
    wifiGraceTimer.reset();
    setWifiOfflineSeconds(std::nullopt);
}

void BluetoothManager::readWifiStatus()
{
    if (connectionState_ == ConnectionState::ready)
        readValue(wifiStatusUUID);
}
