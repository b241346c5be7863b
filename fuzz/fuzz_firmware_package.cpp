// A package is whatever file the user picks: any bytes must give a result, never a crash.
#include "FirmwarePackage.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const auto zip = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    const auto result = FirmwarePackage::readBytes(zip);
    // A failed package hands over no image at all.
    if (!result.error.isEmpty() && !result.images.isEmpty())
        __builtin_trap();
    // At most one image per processor, CPU1 first.
    if (result.images.size() > 2)
        __builtin_trap();
    if (result.images.size() == 2 &&
        (result.images[0].target != FirmwarePackage::FirmwareTarget::cpu1Stm32 ||
         result.images[1].target != FirmwarePackage::FirmwareTarget::cpu2Esp32))
        __builtin_trap();
    for (const auto& image : result.images) {
        if (image.bytes.size() > FirmwarePackage::maxImageSize)
            __builtin_trap();
    }
    return 0;
}
