#include "FlashStatus.h"

#include <QtEndian>

std::optional<FlashStatus> decodeFlashStatus(QByteArrayView value)
{
    if (value.size() < 12)
        return std::nullopt;
    const char* d = value.data();
    return FlashStatus{qFromLittleEndian<quint32>(d), qFromLittleEndian<quint32>(d + 4),
                       qFromLittleEndian<quint32>(d + 8)};
}
