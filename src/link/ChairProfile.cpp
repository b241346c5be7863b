#include "ChairProfile.h"

namespace ChairProfile {

QList<QBluetoothUuid> services()
{
    return {chairServiceUUID,       wifiServiceUUID, discoveryServiceUUID,
            engineeringServiceUUID, otaServiceUUID,  configServiceUUID};
}

QList<QBluetoothUuid> characteristicsOf(const QBluetoothUuid& service)
{
    if (service == chairServiceUUID)
        return {
            chairToggleUUID, chairStateEventUUID, sendEventsUUID,       chairStateUUID,
            autoModeUUID,    autoPeriodUUID,      autoModeSelectorUUID, timeToNextTransitionUUID};
    if (service == wifiServiceUUID)
        return {wifiEnableUUID,  wifiSSIDUUID,       wifiPasswordUUID,       wifiStatusUUID,
                wifiCommandUUID, wifiSSIDSingleUUID, wifiSSIDListCounterUUID};
    if (service == discoveryServiceUUID)
        return {firmwareRevisionUUID, softwareRevisionUUID};
    if (service == configServiceUUID)
        return {serialNumberUUID, userNameUUID};
    if (service == engineeringServiceUUID)
        return {tzInfoUUID, leftMotorSoundUUID, rightMotorSoundUUID, leftOdometerUUID,
                rightOdometerUUID};
    if (service == otaServiceUUID)
        return {otaV2BeginUUID, otaV2DataUUID, otaV2StatusUUID, otaV1BeginUUID, otaV1DataUUID};
    return {};
}

} // namespace ChairProfile
