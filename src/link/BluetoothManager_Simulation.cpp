// A chair played without hardware: the same states as a real connection, no Bluetooth calls.
#include "BluetoothManager.h"

using namespace std::chrono_literals;

void BluetoothManager::startSimulation()
{
    // A chair still held for a reconnect (Bluetooth went off under it) is let go for good: it
    // must not come back under the simulated one.
    if (peripheral) {
        dropReconnectPlans();
        letChairGo();
    }
    if (connectionState_ == ConnectionState::scanning) {
        central->stopScan();
        discoveredDevices_.clear();
        Q_EMIT discoveredDevicesChanged();
    }
    ++simulationGeneration; // steps of an earlier simulation must not act on this one
    setIsSimulating(true);
    setDeviceName(QStringLiteral("Velnora Pro (Simulated)"));
    setSoftwareVersion(QStringLiteral("2.1.0"));
    setFirmwareVersion(QStringLiteral("1.4.2"));
    setSerialNumber(QStringLiteral("SIM-00001"));
    switchAutoModeOffLocally();
    clearMoveCounts();
    setAutoModePattern_(0);
    setAutoPeriodMinutes(5.0);
    setLeftLegUp(true);
    setRightLegUp(true);
    setMotorStrength(40.0);
    setOtaState(OTAState::idle());
    setConnectionState(ConnectionState::connecting);

    afterInSimulation(1000ms, [this] { setConnectionState(ConnectionState::checkingWifi); });
    afterInSimulation(2000ms, [this] {
        setWifiStatus(WiFiStatus::notConfigured);
        setConnectionState(ConnectionState::wifiSetup);
        setIsLoadingNetworks(true);
        setAvailableNetworks({});
    });
    afterInSimulation(3500ms, [this] {
        setAvailableNetworks({QStringLiteral("Office_5G"), QStringLiteral("Home_Network"),
                              QStringLiteral("Cafe_WiFi"), QStringLiteral("Guest_Network")});
        setIsLoadingNetworks(false);
    });
}

void BluetoothManager::afterInSimulation(Scheduler::Duration delay, Scheduler::Task step)
{
    const quint64 generation = simulationGeneration;
    scheduler.after(delay, this, [this, generation, step = std::move(step)] {
        if (isSimulating_ && generation == simulationGeneration)
            step();
    });
}

void BluetoothManager::endSimulation()
{
    ++simulationGeneration;
    setIsSimulating(false);
    setDeviceName(QString());
    setSoftwareVersion(QString());
    setFirmwareVersion(QString());
    // No chair, no serial: nothing may query the simulated chair's analytics any more.
    setSerialNumber(QString());
    setWifiStatus(WiFiStatus::unknown);
    setAvailableNetworks({});
    // Its pending step that would have ended the loading never runs now.
    setIsLoadingNetworks(false);
    setWifiErrorMessage(std::nullopt);
    clearMoveCounts(); // the next chair counts its own
    setConnectionState(isCentralOn() ? ConnectionState::disconnected
                                     : ConnectionState::unavailable);
}
