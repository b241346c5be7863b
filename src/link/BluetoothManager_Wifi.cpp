// The chair's WiFi values and write confirmations. Provisioning builds on these entry points.
#include "BluetoothManager.h"

void BluetoothManager::handleWifiValue(const QBluetoothUuid& characteristic,
                                       const QByteArray& value)
{
    Q_UNUSED(characteristic);
    Q_UNUSED(value);
}

void BluetoothManager::handleOtaValue(const QBluetoothUuid& characteristic, const QByteArray& value)
{
    Q_UNUSED(characteristic);
    Q_UNUSED(value);
}

void BluetoothManager::handleValueWritten(const QBluetoothUuid& characteristic,
                                          const QString& error)
{
    Q_UNUSED(characteristic);
    Q_UNUSED(error);
}
