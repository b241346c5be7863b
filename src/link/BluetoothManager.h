#pragma once

#include "BleCentral.h"
#include "FirmwarePackage.h"
#include "LinkTypes.h"
#include "OtaState.h"
#include "Scheduler.h"

#include <QList>
#include <QObject>
#include <QSet>
#include <QSharedPointer>
#include <QStringList>
#include <QVariant>

#include <memory>
#include <optional>

class Clock;

// Kinds of answer the WiFi network list waits for.
struct NetworkScanStep {
    int count = 0;   // the list counter's value
    int written = 0; // the confirmation of an index write
    int name = 0;    // one network name
};
class Settings;
class SystemWake;

// The one owner of the chair link: finds chairs, connects to one, mirrors its state for the
// screens and drives it. Everything runs on the main thread.
class BluetoothManager : public QObject {
    Q_OBJECT
    Q_PROPERTY(
        Link::ConnectionState connectionState READ connectionState NOTIFY connectionStateChanged)
    Q_PROPERTY(
        QVariantList discoveredDevices READ discoveredDevicesList NOTIFY discoveredDevicesChanged)
    Q_PROPERTY(QString deviceName READ deviceName NOTIFY deviceNameChanged)
    Q_PROPERTY(QString softwareVersion READ softwareVersion NOTIFY softwareVersionChanged)
    Q_PROPERTY(QString firmwareVersion READ firmwareVersion NOTIFY firmwareVersionChanged)
    Q_PROPERTY(QString serialNumber READ serialNumber NOTIFY serialNumberChanged)
    Q_PROPERTY(Wifi::WiFiStatus wifiStatus READ wifiStatus NOTIFY wifiStatusChanged)
    Q_PROPERTY(QString connectedSSID READ connectedSSID NOTIFY connectedSSIDChanged)
    Q_PROPERTY(QStringList availableNetworks READ availableNetworks NOTIFY availableNetworksChanged)
    Q_PROPERTY(bool isLoadingNetworks READ isLoadingNetworks NOTIFY isLoadingNetworksChanged)
    Q_PROPERTY(QVariant wifiErrorMessage READ wifiErrorMessageValue NOTIFY wifiErrorMessageChanged)
    Q_PROPERTY(
        QVariant wifiOfflineSeconds READ wifiOfflineSecondsValue NOTIFY wifiOfflineSecondsChanged)
    Q_PROPERTY(QVariant lifetimeMoves READ lifetimeMovesValue NOTIFY lifetimeMovesChanged)
    // Counts reach QML as its numbers: Qt 6.4's QML tools know no 64-bit integer.
    Q_PROPERTY(double sessionMoves READ sessionMoves NOTIFY sessionMovesChanged)
    Q_PROPERTY(bool chairIsAsleep READ chairIsAsleep NOTIFY chairIsAsleepChanged)
    Q_PROPERTY(bool autoModeEnabled READ autoModeEnabled NOTIFY autoModeEnabledChanged)
    Q_PROPERTY(int autoModePattern READ autoModePattern NOTIFY autoModePatternChanged)
    Q_PROPERTY(double autoPeriodMinutes READ autoPeriodMinutes WRITE setAutoPeriodMinutes NOTIFY
                   autoPeriodMinutesChanged)
    Q_PROPERTY(bool leftLegUp READ leftLegUp NOTIFY leftLegUpChanged)
    Q_PROPERTY(bool rightLegUp READ rightLegUp NOTIFY rightLegUpChanged)
    Q_PROPERTY(double countdownSeconds READ countdownSeconds NOTIFY countdownSecondsChanged)
    Q_PROPERTY(
        double motorStrength READ motorStrength WRITE setMotorStrength NOTIFY motorStrengthChanged)
    Q_PROPERTY(OTAState otaState READ otaState NOTIFY otaStateChanged)
    Q_PROPERTY(bool isEditingPeriod READ isEditingPeriod WRITE setIsEditingPeriod NOTIFY
                   isEditingPeriodChanged)
    Q_PROPERTY(bool isEditingMotor READ isEditingMotor WRITE setIsEditingMotor NOTIFY
                   isEditingMotorChanged)
    Q_PROPERTY(bool isSimulating READ isSimulating NOTIFY isSimulatingChanged)
    Q_PROPERTY(bool isReconnectingAfterOTA READ isReconnectingAfterOTA NOTIFY
                   isReconnectingAfterOTAChanged)
    // The remembered chair being sought and connected by itself; empty otherwise.
    Q_PROPERTY(QString autoConnectName READ autoConnectName NOTIFY autoConnectNameChanged)

public:
    // The scan list keeps at most this many chairs; later newcomers wait for the next scan.
    static constexpr int maxDiscoveredDevices = 256;
    static constexpr double sleepTimeoutInterval = 720.0; // seconds
    static constexpr int wifiGraceDuration = 300;         // seconds
    static constexpr int otaChunkSize = 250;              // bytes per data write
    static constexpr std::chrono::seconds rememberedChairSearchTime{20};

    // wake may be null (no wake notification on this system).
    BluetoothManager(std::unique_ptr<BleCentral> central, Scheduler& scheduler, const Clock& clock,
                     Settings& settings, SystemWake* wake = nullptr, QObject* parent = nullptr);
    ~BluetoothManager() override;

    ConnectionState connectionState() const { return connectionState_; }
    const QList<DiscoveredDevice>& discoveredDevices() const { return discoveredDevices_; }
    QString deviceName() const { return deviceName_; }
    QString softwareVersion() const { return softwareVersion_; }
    QString firmwareVersion() const { return firmwareVersion_; }
    QString serialNumber() const { return serialNumber_; }
    WiFiStatus wifiStatus() const { return wifiStatus_; }
    QString connectedSSID() const { return connectedSSID_; }
    QStringList availableNetworks() const { return availableNetworks_; }
    bool isLoadingNetworks() const { return isLoadingNetworks_; }
    std::optional<QString> wifiErrorMessage() const { return wifiErrorMessage_; }
    std::optional<qint64> wifiOfflineSeconds() const { return wifiOfflineSeconds_; }
    std::optional<qint64> lifetimeMoves() const { return lifetimeMoves_; }
    qint64 sessionMoves() const { return sessionMoves_; }
    bool chairIsAsleep() const { return chairIsAsleep_; }
    bool autoModeEnabled() const { return autoModeEnabled_; }
    qint64 autoModePattern() const { return autoModePattern_; }
    double autoPeriodMinutes() const { return autoPeriodMinutes_; }
    bool leftLegUp() const { return leftLegUp_; }
    bool rightLegUp() const { return rightLegUp_; }
    double countdownSeconds() const { return countdownSeconds_; }
    double motorStrength() const { return motorStrength_; }
    OTAState otaState() const { return otaState_; }
    bool isEditingPeriod() const { return isEditingPeriod_; }
    bool isEditingMotor() const { return isEditingMotor_; }
    bool isSimulating() const { return isSimulating_; }
    // The update finished: the next disconnect is the chair restarting.
    bool isReconnectingAfterOTA() const { return isReconnectingAfterOTA_; }
    QString autoConnectName() const { return autoConnectName_; }

    // The screens write these while the user drags a slider.
    void setAutoPeriodMinutes(double minutes);
    void setMotorStrength(double percent);
    void setIsEditingPeriod(bool editing);
    void setIsEditingMotor(bool editing);

    // Link.
    Q_INVOKABLE void startScanning();
    Q_INVOKABLE void cancelScan();
    void connect(const DiscoveredDevice& device);
    Q_INVOKABLE void connect(const QUuid& deviceId);
    Q_INVOKABLE void disconnect();
    Q_INVOKABLE void startSimulation();
    Q_INVOKABLE void handleWake();
    // Seeks the chair the settings remember and connects to it as soon as it is seen; gives up
    // after rememberedChairSearchTime. Only from the disconnected state with Bluetooth on.
    Q_INVOKABLE void connectRememberedChair();

    // Controls.
    Q_INVOKABLE void toggleLeg(bool right);
    Q_INVOKABLE void setAutoMode(bool on);
    Q_INVOKABLE void setAutoModePattern(qint64 pattern);
    Q_INVOKABLE void writeAutoPeriod();
    Q_INVOKABLE void writeMotorStrength();
    Q_INVOKABLE void wakeChair();

    // WiFi provisioning.
    Q_INVOKABLE void scanForNetworks();
    Q_INVOKABLE void connectToWiFi(const QString& ssid, const QString& password);

    // Firmware update from a package file (a path or a file: URL).
    Q_INVOKABLE void startFirmwareUpdate(const QString& package);
    Q_INVOKABLE void resetOTA();
    // The file picker failed: its description is shown like any update error.
    Q_INVOKABLE void reportFirmwarePickerError(const QString& description);

    // Every incoming chair value passes here, read result or notification alike.
    void decodeValue(const QBluetoothUuid& characteristic, const QByteArray& value);

Q_SIGNALS:
    void connectionStateChanged();
    void discoveredDevicesChanged();
    void deviceNameChanged();
    void softwareVersionChanged();
    void firmwareVersionChanged();
    void serialNumberChanged();
    void wifiStatusChanged();
    void connectedSSIDChanged();
    void availableNetworksChanged();
    void isLoadingNetworksChanged();
    void wifiErrorMessageChanged();
    void wifiOfflineSecondsChanged();
    void lifetimeMovesChanged();
    void sessionMovesChanged();
    void chairIsAsleepChanged();
    void autoModeEnabledChanged();
    void autoModePatternChanged();
    void autoPeriodMinutesChanged();
    void leftLegUpChanged();
    void rightLegUpChanged();
    void countdownSecondsChanged();
    void motorStrengthChanged();
    void otaStateChanged();
    void isEditingPeriodChanged();
    void isEditingMotorChanged();
    void isSimulatingChanged();
    void isReconnectingAfterOTAChanged();
    void autoConnectNameChanged();
    // The chair confirmed (error empty) or refused a write of the held link.
    void writeAnswered(const QBluetoothUuid& characteristic, const QString& error);
    // A reconnect the link started by itself (after a drop, a wake, a restart) failed: the
    // chair is let go and only the user can bring it back.
    void reconnectFailed(const QString& chairName);

private:
    QVariantList discoveredDevicesList() const;
    QVariant wifiErrorMessageValue() const;
    QVariant wifiOfflineSecondsValue() const;
    QVariant lifetimeMovesValue() const;

    // Observable field setters: store, then announce a change.
    void setConnectionState(ConnectionState state);
    void setDeviceName(const QString& name);
    void setSoftwareVersion(const QString& text);
    void setFirmwareVersion(const QString& text);
    void setSerialNumber(const QString& text);
    void setWifiStatus(WiFiStatus status);
    void setConnectedSSID(const QString& ssid);
    void setAvailableNetworks(const QStringList& networks);
    void setIsLoadingNetworks(bool loading);
    void setWifiErrorMessage(const std::optional<QString>& message);
    void setWifiOfflineSeconds(std::optional<qint64> seconds);
    void setLifetimeMoves(std::optional<qint64> moves);
    void setSessionMoves(qint64 moves);
    void setChairIsAsleep(bool asleep);
    void setAutoModeEnabled(bool enabled);
    void setAutoModePattern_(qint64 pattern);
    void setLeftLegUp(bool up);
    void setRightLegUp(bool up);
    void setCountdownSeconds(double seconds);
    void setOtaState(const OTAState& state);
    void setIsSimulating(bool simulating);
    void setIsReconnectingAfterOTA(bool reconnecting);
    void setAutoConnectName(const QString& name);

    // The characteristic of the current link, or nothing without a held peripheral or without
    // the characteristic. Every read and write goes through it.
    BlePeripheral* characteristicFor(const QBluetoothUuid& characteristic) const;
    bool writeValue(const QBluetoothUuid& characteristic, const QByteArray& value);
    bool readValue(const QBluetoothUuid& characteristic);

    // Connection (BluetoothManager_Connection.cpp).
    void handleCentralPower(CentralPower power);
    void handleDiscovered(const QSharedPointer<BlePeripheral>& peripheral, const QString& localName,
                          qint64 rssi);
    void handleConnected(BlePeripheral* peripheral);
    void handleFailedToConnect(BlePeripheral* peripheral);
    void handleDisconnected(BlePeripheral* peripheral);
    void handleServicesDiscovered(const QList<QBluetoothUuid>& services, const QString& error);
    void handleCharacteristicsDiscovered(const QBluetoothUuid& service,
                                         const QList<QBluetoothUuid>& found, const QString& error);
    void handleCharacteristic(const QBluetoothUuid& characteristic);
    void handleValueUpdated(const QBluetoothUuid& characteristic, const QByteArray& value,
                            const QString& error);
    void holdPeripheral(const QSharedPointer<BlePeripheral>& peripheral);
    void releasePeripheral();
    // Lets the held chair go for good: its link or pending connect cancelled, its data cleared.
    void letChairGo();
    // Nothing planned may bring the chair back: automatic reconnects and their reasons.
    void dropReconnectPlans();
    void clearLinkData();
    void forgetChair();
    void beginWifiCheck();
    // Connects again after delay, only if the reason still holds then.
    void scheduleReconnect(Scheduler::Duration delay, bool BluetoothManager::*reason);
    bool isCentralOn() const;
    void endRememberedSearch();
    void rememberConnectedChair();

    // Controls (BluetoothManager_Controls.cpp).
    void startCountdownTimer();
    void stopCountdownTimer();
    void switchAutoModeOffLocally();
    void pollCountdown();
    void tickCountdown();
    void handleChairState(const QByteArray& value);
    void handleAutoModeValue(const QByteArray& value);
    void followChairAutoMode();
    void handlePeriodValue(const QByteArray& value);
    void handlePatternValue(const QByteArray& value);
    void handleCountdownValue(const QByteArray& value);
    void handleMotorStrengthValue(const QByteArray& value);

    // Moves and sleep (BluetoothManager_Moves.cpp).
    void countMoves(bool newLeftUp, bool newRightUp);
    void handleOdometerValue(const QBluetoothUuid& characteristic, const QByteArray& value);
    void updateLifetimeMoves();
    void readOdometers();
    void resetSleepDetection();
    void markAsleep();
    void clearMoveCounts();

    // Identity (BluetoothManager_Identity.cpp).
    void syncUserEmail();

    // Simulation (BluetoothManager_Simulation.cpp).
    void endSimulation();
    // Runs step after delay only while the simulation that asked for it is still running.
    void afterInSimulation(Scheduler::Duration delay, Scheduler::Task step);

    // WiFi (BluetoothManager_Wifi.cpp).
    void handleWifiValue(const QBluetoothUuid& characteristic, const QByteArray& value);
    void handleWifiStatus(const QByteArray& value);
    void handleWifiStatusReadFailed();
    void handleNetworkCount(const QByteArray& value);
    void handleNetworkName(const QByteArray& value);
    void handleNetworkIndexWritten();
    void requestNextNetwork();
    void finishNetworkScan();
    void armNetworkStep(int NetworkScanStep::*awaited);
    bool acceptNetworkAnswer(int NetworkScanStep::*kind);
    void clearNetworkScan();
    void abandonNetworkStep();
    void handleNetworkAnswerFailed(const QBluetoothUuid& characteristic);
    void startWifiGracePeriod();
    void stopWifiGracePeriod();
    void tickWifiGracePeriod();
    void readWifiStatus();
    void handleValueWritten(const QBluetoothUuid& characteristic, const QString& error);

    // Firmware (BluetoothManager_Firmware.cpp).
    void handleOtaValue(const QBluetoothUuid& characteristic, const QByteArray& value);
    void handleOtaWritten(const QBluetoothUuid& characteristic, const QString& error);
    void handlePackageRead(quint64 generation, const FirmwarePackage::ReadResult& result);
    void beginFirmwareTransfer(std::optional<QByteArray> cpu1, std::optional<QByteArray> cpu2);
    void beginESP32Transfer();
    // Writes the image's next chunk; false when all of it has been sent.
    bool writeNextChunk(const QBluetoothUuid& data, const QByteArray& image, qint64& sent);
    void sendNextSTM32Chunk();
    void sendNextESP32Chunk();
    void startOTAStatusPolling();
    void handleFlashStatus(const QByteArray& value);
    void failFirmwareUpdate(const QString& message);
    static QString updateInterruptedMessage();
    void releaseFirmwareImages();
    void armOtaWatchdog();
    void simulateOTAProgress(const QString& cpu, int step);
    void simulateOTAFlash(const QString& cpu, int page);

    std::unique_ptr<BleCentral> central;
    Scheduler& scheduler;
    const Clock& clock;
    Settings& settings;

    // Observable fields.
    ConnectionState connectionState_ = ConnectionState::disconnected;
    QList<DiscoveredDevice> discoveredDevices_;
    QString deviceName_;
    QString softwareVersion_;
    QString firmwareVersion_;
    QString serialNumber_;
    WiFiStatus wifiStatus_ = WiFiStatus::unknown;
    QString connectedSSID_;
    QStringList availableNetworks_;
    bool isLoadingNetworks_ = false;
    std::optional<QString> wifiErrorMessage_;
    std::optional<qint64> wifiOfflineSeconds_;
    std::optional<qint64> lifetimeMoves_;
    qint64 sessionMoves_ = 0;
    bool chairIsAsleep_ = false;
    bool autoModeEnabled_ = false;
    qint64 autoModePattern_ = 0;
    double autoPeriodMinutes_ = 5.0;
    bool leftLegUp_ = true;
    bool rightLegUp_ = true;
    double countdownSeconds_ = 0;
    double motorStrength_ = 40.0;
    OTAState otaState_;

    // Link bookkeeping.
    QSharedPointer<BlePeripheral> peripheral;
    bool isLinkUp = false; // the held peripheral's link is established right now
    QSet<QBluetoothUuid> characteristics;
    QSet<QBluetoothUuid> servicesReady;
    bool shouldReconnectOnWake = false;
    bool isReconnectingAfterOTA_ = false;
    bool isReconnectingAfterWifiConfig = false;
    // The connect under way was started by the link itself, not asked for by the user.
    bool isAutomaticReconnect = false;
    // The user asked to let the chair go: nothing brings it back until they connect again.
    bool isDisconnectRequested = false;
    // Moves on with every connect and disconnect of the user's: reconnects planned before are void.
    quint64 linkRequestGeneration = 0;
    // The user's (or the remembered) connect has not reached the WiFi check yet: once it does,
    // the chair is remembered. Reconnects of the same link do not remember it again.
    bool shouldRememberChair = false;
    QString autoConnectName_;
    QString soughtAddress; // the remembered chair's radio address while it is sought
    quint64 rememberedSearchGeneration = 0; // a search ended or begun anew outdates its time-out

    // Countdown bookkeeping.
    std::unique_ptr<ScheduledTimer> countdownTimer;
    std::unique_ptr<ScheduledTimer> tickTimer;
    int zeroCountdownPolls = 0;
    bool hasSeenNonZeroCountdown = false;
    bool isEditingPeriod_ = false;
    bool isEditingMotor_ = false;

    // Move and sleep bookkeeping.
    qint64 lifetimeMovesBase = 0;
    qint64 lifetimeMovesDelta = 0;
    qint64 leftOdometerReading = 0;
    qint64 rightOdometerReading = 0;
    std::optional<bool> prevLeftLegUp;
    std::optional<bool> prevRightLegUp;
    std::unique_ptr<ScheduledTimer> lifetimeMovesTimer;
    std::unique_ptr<ScheduledTimer> sleepDetectionTimer;

    // Simulation.
    bool isSimulating_ = false;
    quint64 simulationGeneration = 0;

    // WiFi network list and offline grace period.
    bool isScanningNetworks = false;
    int networkScanIndex = 0;
    int networkScanTotal = 0;
    // Answers still owed by an abandoned step of a scan, per kind: the chair answers each
    // characteristic in order, so these are the next answers of that kind to drop.
    NetworkScanStep staleNetworkAnswers;
    int NetworkScanStep::*awaitedNetworkAnswer = nullptr;
    std::unique_ptr<ScheduledTimer> networkStepTimer;
    std::unique_ptr<ScheduledTimer> staleAnswersTimer;
    std::unique_ptr<ScheduledTimer> wifiGraceTimer;
    std::unique_ptr<ScheduledTimer> wifiStatusRetryTimer;
    int wifiStatusReadFailures = 0; // during one WiFi check
    int wifiGraceTicks = 0;

    // Firmware update.
    std::optional<QByteArray> otaSTM32Data;
    qint64 otaSTM32BytesSent = 0;
    std::optional<QByteArray> otaESP32Data;
    qint64 otaESP32BytesSent = 0;
    bool otaESP32Active = false;
    std::unique_ptr<ScheduledTimer> otaStatusPollTimer;
    std::unique_ptr<ScheduledTimer> otaWatchdogTimer;
    quint64 otaGeneration = 0; // a reset, a failure or a new update outdates earlier steps
};
