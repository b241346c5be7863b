#pragma once

#include <QBluetoothUuid>
#include <QList>

// The chair's GATT profile as the program sees it. Characteristics are addressed by UUID alone:
// the profile has no duplicates.
namespace ChairProfile {

inline QBluetoothUuid uuid(const char* text)
{
    return QBluetoothUuid(QUuid::fromString(QLatin1String(text)));
}

// Services, in the order discovery asks for them.
inline const QBluetoothUuid chairServiceUUID = uuid("730c0001-7ec9-4dd5-ba24-44a04e14cf08");
inline const QBluetoothUuid wifiServiceUUID = uuid("73e80001-24f7-464d-8de7-3b1e1bfb5dfa");
inline const QBluetoothUuid discoveryServiceUUID = uuid("0000180a-0000-1000-8000-00805f9b34fb");
inline const QBluetoothUuid engineeringServiceUUID = uuid("1b25ee00-dadf-11eb-8d19-0242ac130003");
inline const QBluetoothUuid otaServiceUUID = uuid("d0274711-aefa-42c3-93f1-535a09812c37");
inline const QBluetoothUuid configServiceUUID = uuid("7f1a0001-252d-4f8b-baea-6bfc6b255ab6");

// Chair control and state.
inline const QBluetoothUuid chairToggleUUID = uuid("730c0006-7ec9-4dd5-ba24-44a04e14cf08");
inline const QBluetoothUuid chairStateEventUUID = uuid("730c0005-7ec9-4dd5-ba24-44a04e14cf08");
inline const QBluetoothUuid sendEventsUUID = uuid("730c0007-7ec9-4dd5-ba24-44a04e14cf08");
inline const QBluetoothUuid chairStateUUID = uuid("730c0009-7ec9-4dd5-ba24-44a04e14cf08");
inline const QBluetoothUuid autoModeUUID = uuid("730c0003-7ec9-4dd5-ba24-44a04e14cf08");
inline const QBluetoothUuid autoPeriodUUID = uuid("730c0002-7ec9-4dd5-ba24-44a04e14cf08");
inline const QBluetoothUuid autoModeSelectorUUID = uuid("730c000a-7ec9-4dd5-ba24-44a04e14cf08");
inline const QBluetoothUuid timeToNextTransitionUUID = uuid("730c000b-7ec9-4dd5-ba24-44a04e14cf08");

// WiFi provisioning.
inline const QBluetoothUuid wifiEnableUUID = uuid("73e80002-24f7-464d-8de7-3b1e1bfb5dfa");
inline const QBluetoothUuid wifiSSIDUUID = uuid("73e80003-24f7-464d-8de7-3b1e1bfb5dfa");
inline const QBluetoothUuid wifiPasswordUUID = uuid("73e80004-24f7-464d-8de7-3b1e1bfb5dfa");
inline const QBluetoothUuid wifiStatusUUID = uuid("73e80005-24f7-464d-8de7-3b1e1bfb5dfa");
inline const QBluetoothUuid wifiCommandUUID = uuid("73e80006-24f7-464d-8de7-3b1e1bfb5dfa");
inline const QBluetoothUuid wifiSSIDSingleUUID = uuid("73e80007-24f7-464d-8de7-3b1e1bfb5dfa");
inline const QBluetoothUuid wifiSSIDListCounterUUID = uuid("73e80008-24f7-464d-8de7-3b1e1bfb5dfa");

// Engineering: time zone, motor sound, odometers.
inline const QBluetoothUuid tzInfoUUID = uuid("1b25ee14-dadf-11eb-8d19-0242ac130003");
inline const QBluetoothUuid leftMotorSoundUUID = uuid("1b25ee0d-dadf-11eb-8d19-0242ac130003");
inline const QBluetoothUuid rightMotorSoundUUID = uuid("1b25ee0e-dadf-11eb-8d19-0242ac130003");
inline const QBluetoothUuid leftOdometerUUID = uuid("1b25ee1c-dadf-11eb-8d19-0242ac130003");
inline const QBluetoothUuid rightOdometerUUID = uuid("1b25ee1d-dadf-11eb-8d19-0242ac130003");

// Firmware update: V2 is CPU1 (STM32), V1 is CPU2 (ESP32).
inline const QBluetoothUuid otaV2BeginUUID = uuid("403b76d9-9bc6-4837-8112-cd62516ef315");
inline const QBluetoothUuid otaV2DataUUID = uuid("d0270001-aefa-42c3-93f1-535a09812d38");
inline const QBluetoothUuid otaV2StatusUUID = uuid("399fa500-b71f-4681-950c-2a1cb307c629");
inline const QBluetoothUuid otaV1BeginUUID = uuid("403b76d9-9bc6-4837-8112-cd62516ef214");
inline const QBluetoothUuid otaV1DataUUID = uuid("d0270001-aefa-42c3-93f1-535a09812c37");

// Device Information.
inline const QBluetoothUuid firmwareRevisionUUID = uuid("00002a26-0000-1000-8000-00805f9b34fb");
inline const QBluetoothUuid softwareRevisionUUID = uuid("00002a28-0000-1000-8000-00805f9b34fb");

// Configuration.
inline const QBluetoothUuid serialNumberUUID = uuid("7f1a0003-252d-4f8b-baea-6bfc6b255ab6");
inline const QBluetoothUuid userNameUUID = uuid("7f1a0004-252d-4f8b-baea-6bfc6b255ab6");

// The six services in discovery order.
QList<QBluetoothUuid> services();
// The characteristics discovery asks for in one service; empty for a service not in the profile.
QList<QBluetoothUuid> characteristicsOf(const QBluetoothUuid& service);

} // namespace ChairProfile
