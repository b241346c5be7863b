#include "FirmwarePackage.h"

#include <QFile>

#include <zip.h>

#include <array>
#include <memory>
#include <optional>
#include <string_view>

namespace FirmwarePackage {

namespace {

struct WantedFile {
    std::string_view fileName;
    FirmwareTarget target;
};

// Result order is this order: CPU1 first.
constexpr std::array<WantedFile, 2> wantedFiles{{
    {"StiltaB1.bin", FirmwareTarget::cpu1Stm32},
    {"Stilta-Firmware.bin", FirmwareTarget::cpu2Esp32},
}};

struct ArchiveCloser {
    void operator()(zip_t* archive) const { zip_discard(archive); }
};
struct EntryCloser {
    void operator()(zip_file_t* file) const { zip_fclose(file); }
};
using Archive = std::unique_ptr<zip_t, ArchiveCloser>;
using Entry = std::unique_ptr<zip_file_t, EntryCloser>;

// Packages are built on Windows as well, so both separators count as folders.
std::string_view baseName(std::string_view name)
{
    const auto separator = name.find_last_of("/\\");
    return separator == std::string_view::npos ? name : name.substr(separator + 1);
}

ReadResult unreadablePackage(const QString& description)
{
    ReadResult result;
    result.logLines << QStringLiteral("🔧 OTA: unzip failed: %1").arg(description);
    result.error = QStringLiteral("Could not read the firmware package: %1").arg(description);
    return result;
}

QString damaged(std::string_view fileName, const QString& description)
{
    return QStringLiteral("%1 in the package is damaged: %2")
        .arg(QLatin1StringView(fileName.data(), qsizetype(fileName.size())), description);
}

QString tooLarge(std::string_view fileName)
{
    return QStringLiteral("%1 is too large to be chair firmware (limit %2 MiB).")
        .arg(QLatin1StringView(fileName.data(), qsizetype(fileName.size())))
        .arg(maxImageSize / (1024 * 1024));
}

struct EntryRead {
    QByteArray bytes;
    QString error;
};

// Reads to end of data so libzip checks the CRC; the declared size is only a hint, the cap
// holds against the bytes actually inflated.
EntryRead readEntry(zip_t* archive, zip_uint64_t index, std::string_view fileName)
{
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_stat_index(archive, index, 0, &stat) != 0)
        return {{}, damaged(fileName, QString::fromUtf8(zip_strerror(archive)))};
    const bool isSizeDeclared = stat.valid & ZIP_STAT_SIZE;
    if (isSizeDeclared && stat.size > zip_uint64_t(maxImageSize))
        return {{}, tooLarge(fileName)};

    Entry entry(zip_fopen_index(archive, index, 0));
    if (!entry)
        return {{}, damaged(fileName, QString::fromUtf8(zip_strerror(archive)))};

    QByteArray bytes;
    if (isSizeDeclared)
        bytes.reserve(qsizetype(stat.size));
    std::array<char, 64 * 1024> chunk;
    for (;;) {
        const zip_int64_t count = zip_fread(entry.get(), chunk.data(), chunk.size());
        if (count < 0)
            return {{}, damaged(fileName, QString::fromUtf8(zip_file_strerror(entry.get())))};
        if (count == 0)
            break;
        if (bytes.size() + count > maxImageSize)
            return {{}, tooLarge(fileName)};
        bytes.append(chunk.data(), qsizetype(count));
    }
    if (isSizeDeclared && zip_uint64_t(bytes.size()) != stat.size)
        return {{}, damaged(fileName, QStringLiteral("its data does not match its declared size"))};
    return {bytes, {}};
}

ReadResult readArchive(zip_t* archive)
{
    // A flat extraction overwrites earlier files of the same name, so the last entry wins.
    std::array<std::optional<zip_uint64_t>, wantedFiles.size()> chosen;
    const zip_int64_t entryCount = zip_get_num_entries(archive, 0);
    for (zip_int64_t index = 0; index < entryCount; ++index) {
        const char* name = zip_get_name(archive, zip_uint64_t(index), ZIP_FL_ENC_RAW);
        if (!name)
            continue;
        const std::string_view base = baseName(name);
        for (std::size_t wanted = 0; wanted < wantedFiles.size(); ++wanted) {
            if (base == wantedFiles[wanted].fileName)
                chosen[wanted] = zip_uint64_t(index);
        }
    }

    ReadResult result;
    for (std::size_t wanted = 0; wanted < wantedFiles.size(); ++wanted) {
        if (!chosen[wanted])
            continue;
        const std::string_view fileName = wantedFiles[wanted].fileName;
        EntryRead entry = readEntry(archive, *chosen[wanted], fileName);
        if (!entry.error.isEmpty()) {
            // A damaged image is never flashed, not even beside a good one.
            ReadResult failed;
            failed.error = entry.error;
            return failed;
        }
        result.logLines << QStringLiteral("🔧 OTA: Found %1 (%2 bytes)")
                               .arg(QLatin1StringView(fileName.data(), qsizetype(fileName.size())))
                               .arg(entry.bytes.size());
        result.images.append({wantedFiles[wanted].target, std::move(entry.bytes)});
    }
    return result;
}

// Takes ownership of source.
ReadResult readSource(zip_source_t* source, zip_error_t* error)
{
    if (!source)
        return unreadablePackage(QString::fromUtf8(zip_error_strerror(error)));
    Archive archive(zip_open_from_source(source, ZIP_RDONLY, error));
    if (!archive) {
        zip_source_free(source);
        return unreadablePackage(QString::fromUtf8(zip_error_strerror(error)));
    }
    return readArchive(archive.get());
}

struct ZipError {
    zip_error_t error;
    ZipError() { zip_error_init(&error); }
    ~ZipError() { zip_error_fini(&error); }
    ZipError(const ZipError&) = delete;
    ZipError& operator=(const ZipError&) = delete;
};

} // namespace

ReadResult read(const QString& path)
{
    ZipError error;
    zip_source_t* source =
        zip_source_file_create(QFile::encodeName(path).constData(), 0, -1, &error.error);
    return readSource(source, &error.error);
}

ReadResult readBytes(const QByteArray& zip)
{
    ZipError error;
    zip_source_t* source =
        zip_source_buffer_create(zip.constData(), zip_uint64_t(zip.size()), 0, &error.error);
    return readSource(source, &error.error);
}

QString cpuLabel(FirmwareTarget target)
{
    return target == FirmwareTarget::cpu1Stm32 ? QStringLiteral("CPU1 (STM32)")
                                               : QStringLiteral("CPU2 (ESP32)");
}

} // namespace FirmwarePackage
