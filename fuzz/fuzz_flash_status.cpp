// The flash-status record comes from the chair: any length, any bytes.
#include "FlashStatus.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const auto status =
        decodeFlashStatus(QByteArrayView(reinterpret_cast<const char*>(data), qsizetype(size)));
    if (status.has_value() != (size >= 12))
        __builtin_trap();
    if (status)
        (void)status->isComplete();
    return 0;
}
