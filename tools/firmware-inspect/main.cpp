// Reads a chair update package the way the program does and says what the chair would get.
#include "FirmwarePackage.h"

#include <QFile>

#include <zlib.h>

#include <cstdio>

namespace {

const char* targetName(FirmwarePackage::FirmwareTarget target)
{
    return target == FirmwarePackage::FirmwareTarget::cpu1Stm32 ? "cpu1Stm32" : "cpu2Esp32";
}

quint32 crc32Of(const QByteArray& bytes)
{
    return quint32(crc32_z(crc32_z(0, nullptr, 0),
                           reinterpret_cast<const Bytef*>(bytes.constData()),
                           z_size_t(bytes.size())));
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: firmware-inspect PACKAGE.zip\n");
        return 2;
    }

    const auto result = FirmwarePackage::read(QFile::decodeName(argv[1]));
    for (const QString& line : result.logLines)
        std::printf("%s\n", qUtf8Printable(line));

    if (!result.error.isEmpty() || result.images.isEmpty()) {
        const QString& message =
            result.error.isEmpty() ? FirmwarePackage::noFirmwareMessage : result.error;
        std::fflush(stdout);
        std::fprintf(stderr, "%s\n", qUtf8Printable(message));
        return 1;
    }

    for (const auto& image : result.images) {
        std::printf("%s %s: %lld bytes, CRC-32 %08x\n", targetName(image.target),
                    qUtf8Printable(FirmwarePackage::cpuLabel(image.target)),
                    static_cast<long long>(image.bytes.size()), crc32Of(image.bytes));
    }
    return 0;
}
