#include "LinkTypes.h"

namespace Link {

std::optional<WiFiStatus> wifiStatusFromByte(quint8 byte)
{
    if (byte <= static_cast<quint8>(WiFiStatus::disconnecting) || byte == 0xFF)
        return static_cast<WiFiStatus>(byte);
    return std::nullopt;
}

} // namespace Link
