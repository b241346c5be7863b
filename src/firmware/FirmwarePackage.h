#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// A chair update package: a zip holding "StiltaB1.bin" (CPU1, STM32) and/or
// "Stilta-Firmware.bin" (CPU2, ESP32), anywhere in its folder tree.
namespace FirmwarePackage {

enum class FirmwareTarget { cpu1Stm32, cpu2Esp32 };

struct FirmwareImage {
    FirmwareTarget target;
    QByteArray bytes;
};

// Larger than any image the chair's processors can hold; stops a zip bomb early.
inline constexpr qint64 maxImageSize = 64 * 1024 * 1024;

inline const QString noFirmwareMessage = QStringLiteral(
    "No firmware files found in ZIP.\nExpected: StiltaB1.bin and/or Stilta-Firmware.bin");

struct ReadResult {
    // CPU1 first when both are present; an empty image counts as found.
    QList<FirmwareImage> images;
    // Empty when the package could be read; otherwise what the user is told. A readable
    // package without either image has an empty error and no images.
    QString error;
    // Diagnostic lines for the caller to print, in order ("🔧 OTA: Found ...", "🔧 OTA: unzip
    // failed: ..."): the reader runs off the main thread and prints nothing itself.
    QStringList logLines;
};

// Reads the package at path. Safe to call on any thread; touches no shared state.
ReadResult read(const QString& path);
// The same for a package already in memory (fuzzing, tests).
ReadResult readBytes(const QByteArray& zip);

QString cpuLabel(FirmwareTarget target); // "CPU1 (STM32)" / "CPU2 (ESP32)"

} // namespace FirmwarePackage
