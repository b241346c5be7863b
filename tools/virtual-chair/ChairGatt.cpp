#include "ChairGatt.h"

#include "ChairProfile.h"

namespace ChairGatt {

using namespace ChairProfile;

const QList<Service>& services()
{
    static const QList<Service> table = {
        {chairServiceUUID,
         "chair",
         {
             {chairToggleUUID, "chairToggle", Write},
             {chairStateEventUUID, "chairStateEvent", Read | Notify},
             {sendEventsUUID, "sendEvents", Read | Write},
             {chairStateUUID, "chairState", Read | Notify},
             {autoModeUUID, "autoMode", Read | Write},
             {autoPeriodUUID, "autoPeriod", Read | Write | Notify},
             {autoModeSelectorUUID, "autoModeSelector", Read | Write},
             {timeToNextTransitionUUID, "timeToNextTransition", Read},
         }},
        {wifiServiceUUID,
         "wifi",
         {
             {wifiEnableUUID, "wifiEnable", Write},
             {wifiSSIDUUID, "wifiSSID", Read | Write},
             {wifiPasswordUUID, "wifiPassword", Write},
             {wifiStatusUUID, "wifiStatus", Read | Notify},
             {wifiCommandUUID, "wifiCommand", Read | Write},
             {wifiSSIDSingleUUID, "wifiSSIDSingle", Read},
             {wifiSSIDListCounterUUID, "wifiSSIDListCounter", Read | Write},
         }},
        {discoveryServiceUUID,
         "deviceInformation",
         {
             {firmwareRevisionUUID, "firmwareRevision", Read},
             {softwareRevisionUUID, "softwareRevision", Read},
         }},
        {engineeringServiceUUID,
         "engineering",
         {
             {tzInfoUUID, "tzInfo", Read | Write},
             {leftMotorSoundUUID, "leftMotorSound", Read | Write},
             {rightMotorSoundUUID, "rightMotorSound", Read | Write},
             {leftOdometerUUID, "leftOdometer", Read},
             {rightOdometerUUID, "rightOdometer", Read},
         }},
        {otaServiceUUID,
         "ota",
         {
             {otaV2BeginUUID, "otaV2Begin", Read | Write},
             {otaV2DataUUID, "otaV2Data", Write},
             {otaV2StatusUUID, "otaV2Status", Read},
             {otaV1BeginUUID, "otaV1Begin", Read | Write},
             {otaV1DataUUID, "otaV1Data", Write},
         }},
        {configServiceUUID,
         "config",
         {
             {serialNumberUUID, "serialNumber", Read},
             {userNameUUID, "userName", Read | Write},
         }},
    };
    return table;
}

const Characteristic* find(const QBluetoothUuid& uuid)
{
    for (const Service& service : services()) {
        for (const Characteristic& characteristic : service.characteristics) {
            if (characteristic.uuid == uuid)
                return &characteristic;
        }
    }
    return nullptr;
}

QString nameOf(const QBluetoothUuid& uuid)
{
    if (const Characteristic* characteristic = find(uuid))
        return QLatin1String(characteristic->name);
    return uuid.toString(QUuid::WithoutBraces);
}

QStringList flagWords(unsigned flags)
{
    QStringList words;
    if (flags & Read)
        words << QStringLiteral("read");
    if (flags & Write)
        words << QStringLiteral("write");
    if (flags & Notify)
        words << QStringLiteral("notify");
    return words;
}

} // namespace ChairGatt
