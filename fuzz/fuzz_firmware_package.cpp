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
    for (const auto& image : result.images) {
        if (image.bytes.size() > FirmwarePackage::maxImageSize)
            __builtin_trap();
    }
    return 0;
}
