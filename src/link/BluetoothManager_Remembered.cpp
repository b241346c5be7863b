// The chair of the last successful connect: remembered, and sought again on request.
#include "BluetoothManager.h"

#include "Settings.h"

void BluetoothManager::connectRememberedChair()
{
    const std::optional<RememberedChair> chair = settings.rememberedChair();
    if (!chair || !isCentralOn() || isSimulating_ ||
        connectionState_ != ConnectionState::disconnected)
        return;
    soughtAddress = chair->address;
    const quint64 search = ++rememberedSearchGeneration;
    discoveredDevices_.clear();
    Q_EMIT discoveredDevicesChanged();
    // The name first: the screen that the state brings up words its wait with it.
    setAutoConnectName(chair->name.isEmpty() ? QStringLiteral("Velnora Chair") : chair->name);
    setConnectionState(ConnectionState::connecting);
    central->startScan();
    scheduler.after(rememberedChairSearchTime, this, [this, search] {
        if (search != rememberedSearchGeneration || soughtAddress.isEmpty())
            return;
        // Not in range: the user chooses from the disconnected screen.
        endRememberedSearch();
        setConnectionState(ConnectionState::disconnected);
    });
}

void BluetoothManager::endRememberedSearch()
{
    if (soughtAddress.isEmpty())
        return;
    soughtAddress.clear();
    ++rememberedSearchGeneration;
    central->stopScan();
}

void BluetoothManager::rememberConnectedChair()
{
    // A simulated chair has no radio to come back to.
    if (!shouldRememberChair || isSimulating_ || !peripheral)
        return;
    shouldRememberChair = false;
    const QString address = peripheral->address();
    if (!address.isEmpty())
        settings.rememberChair({address.toUpper(), deviceName_});
}
