#include "FirmwarePackage.h"

namespace FirmwarePackage {

QString cpuLabel(FirmwareTarget target)
{
    return target == FirmwareTarget::cpu1Stm32 ? QStringLiteral("CPU1 (STM32)")
                                               : QStringLiteral("CPU2 (ESP32)");
}

} // namespace FirmwarePackage
