// Updating the chair's two processors: CPU1 (STM32) first, then CPU2 (ESP32), in 250-byte
// chunks, each sent only when the chair has confirmed the one before.
#include "BluetoothManager.h"

#include "ChairProfile.h"
#include "FlashStatus.h"
#include "Log.h"

#include <QFutureWatcher>
#include <QUrl>
#include <QtConcurrent>
#include <QtEndian>

#include <limits>

using namespace ChairProfile;
using namespace std::chrono_literals;
using FirmwarePackage::FirmwareTarget;

namespace {

const QString cpu1 = FirmwarePackage::cpuLabel(FirmwareTarget::cpu1Stm32);
const QString cpu2 = FirmwarePackage::cpuLabel(FirmwareTarget::cpu2Esp32);

// Without any answer from the chair for this long, the update is lost.
constexpr Scheduler::Duration otaWatchdogTimeout = 15s;

QByteArray beginRecord(qint64 size)
{
    QByteArray record(4, '\0');
    qToLittleEndian(static_cast<quint32>(size), record.data());
    return record;
}

double fraction(qint64 part, qint64 whole)
{
    // An empty image is complete as soon as it is begun.
    return whole == 0 ? 1.0 : static_cast<double>(part) / static_cast<double>(whole);
}

} // namespace

QString BluetoothManager::updateInterruptedMessage()
{
    return QStringLiteral("Chair disconnected during firmware update.");
}

void BluetoothManager::startFirmwareUpdate(const QString& package)
{
    ++otaGeneration;
    releaseFirmwareImages();
    otaStatusPollTimer.reset();
    otaWatchdogTimer.reset();
    setIsReconnectingAfterOTA(false);
    if (isSimulating_) {
        setOtaState(OTAState::transferring(cpu1, 0));
        simulateOTAProgress(cpu1, 0);
        return;
    }
    if (!peripheral || !isLinkUp) {
        setOtaState(OTAState::error(QStringLiteral("OTA service not available on this chair.")));
        return;
    }
    setOtaState(OTAState::preparing(cpu1));
    const QUrl url(package);
    const QString path = url.isLocalFile() ? url.toLocalFile() : package;
    const quint64 generation = otaGeneration;
    auto* watcher = new QFutureWatcher<FirmwarePackage::ReadResult>(this);
    QObject::connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, generation] {
        handlePackageRead(generation, watcher->result());
        watcher->deleteLater();
    });
    watcher->setFuture(QtConcurrent::run([path] { return FirmwarePackage::read(path); }));
}

void BluetoothManager::handlePackageRead(quint64 generation,
                                         const FirmwarePackage::ReadResult& result)
{
    for (const QString& line : result.logLines)
        Log::line(line);
    // Reset, a new update or a lost link came first: this package is nobody's any more.
    if (generation != otaGeneration || otaState_.kind != OTAState::Kind::preparing)
        return;
    if (!result.error.isEmpty()) {
        failFirmwareUpdate(result.error);
        return;
    }
    std::optional<QByteArray> image1, image2;
    for (const FirmwarePackage::FirmwareImage& image : result.images) {
        auto& slot = image.target == FirmwareTarget::cpu1Stm32 ? image1 : image2;
        if (!slot)
            slot = image.bytes;
    }
    if (!image1 && !image2) {
        failFirmwareUpdate(FirmwarePackage::noFirmwareMessage);
        return;
    }
    beginFirmwareTransfer(std::move(image1), std::move(image2));
}

void BluetoothManager::beginFirmwareTransfer(std::optional<QByteArray> image1,
                                             std::optional<QByteArray> image2)
{
    if (!peripheral || !isLinkUp) {
        failFirmwareUpdate(QStringLiteral("Chair disconnected during firmware extraction."));
        return;
    }
    // The begin record holds the size in 32 bits.
    constexpr qint64 sizeLimit = qint64(std::numeric_limits<quint32>::max()) + 1;
    if ((image1 && image1->size() >= sizeLimit) || (image2 && image2->size() >= sizeLimit)) {
        failFirmwareUpdate(QStringLiteral("The firmware image is too large for the chair."));
        return;
    }
    otaSTM32Data = std::move(image1);
    otaSTM32BytesSent = 0;
    otaESP32Data = std::move(image2);
    otaESP32BytesSent = 0;
    otaESP32Active = false;
    if (otaSTM32Data) {
        if (!characteristicFor(otaV2BeginUUID)) {
            failFirmwareUpdate(QStringLiteral("STM32 begin characteristic not available."));
            return;
        }
        setOtaState(OTAState::preparing(cpu1));
        writeValue(otaV2BeginUUID, beginRecord(otaSTM32Data->size()));
        Log::line(
            QStringLiteral("🔧 OTA: Begin CPU1 (STM32), size=%1 bytes").arg(otaSTM32Data->size()));
        armOtaWatchdog();
    } else if (otaESP32Data) {
        beginESP32Transfer();
    } else {
        failFirmwareUpdate(QStringLiteral("No firmware data to send."));
    }
}

void BluetoothManager::beginESP32Transfer()
{
    if (!otaESP32Data || !characteristicFor(otaV1BeginUUID)) {
        failFirmwareUpdate(QStringLiteral("ESP32 begin characteristic not available."));
        return;
    }
    otaESP32Active = true;
    otaESP32BytesSent = 0;
    writeValue(otaV1BeginUUID, beginRecord(otaESP32Data->size()));
    Log::line(QStringLiteral("🔧 OTA: Begin CPU2 (ESP32), size=%1 bytes").arg(otaESP32Data->size()));
    armOtaWatchdog();
}

void BluetoothManager::handleOtaWritten(const QBluetoothUuid& c, const QString& error)
{
    if (!otaState_.isInProgress())
        return; // finished, failed or reset: late confirmations change nothing
    if (c == otaV2BeginUUID || c == otaV1BeginUUID) {
        if (!error.isEmpty()) {
            failFirmwareUpdate(QStringLiteral("The chair refused the update of %1: %2")
                                   .arg(c == otaV2BeginUUID ? cpu1 : cpu2, error));
            return;
        }
        armOtaWatchdog();
        readValue(c); // the chair answers whether it is ready for data
    } else if (c == otaV2DataUUID || c == otaV1DataUUID) {
        const bool isCpu1 = c == otaV2DataUUID;
        if (!error.isEmpty()) {
            failFirmwareUpdate(
                QStringLiteral("%1 transfer failed: %2").arg(isCpu1 ? cpu1 : cpu2, error));
            return;
        }
        armOtaWatchdog();
        if (isCpu1)
            sendNextSTM32Chunk();
        else
            sendNextESP32Chunk();
    }
}

void BluetoothManager::handleOtaValue(const QBluetoothUuid& c, const QByteArray& value)
{
    if (!otaState_.isInProgress())
        return;
    if (c == otaV2StatusUUID) {
        handleFlashStatus(value);
        return;
    }
    armOtaWatchdog();
    const bool isReady = !value.isEmpty() && value[0] == '\x01';
    if (!isReady)
        return;
    if (c == otaV2BeginUUID && otaSTM32Data && otaState_.kind == OTAState::Kind::preparing)
        sendNextSTM32Chunk();
    else if (c == otaV1BeginUUID && otaESP32Active && otaESP32BytesSent == 0)
        sendNextESP32Chunk();
}

bool BluetoothManager::writeNextChunk(const QBluetoothUuid& data, const QByteArray& image,
                                      qint64& sent)
{
    if (sent >= image.size())
        return false;
    const qint64 end = std::min(image.size(), sent + otaChunkSize);
    writeValue(data, image.mid(sent, end - sent));
    sent = end;
    return true;
}

void BluetoothManager::sendNextSTM32Chunk()
{
    if (!otaSTM32Data || !characteristicFor(otaV2DataUUID))
        return;
    if (writeNextChunk(otaV2DataUUID, *otaSTM32Data, otaSTM32BytesSent)) {
        setOtaState(
            OTAState::transferring(cpu1, fraction(otaSTM32BytesSent, otaSTM32Data->size())));
        return;
    }
    setOtaState(OTAState::flashing(cpu1, 0, 0, QStringLiteral("Waiting for flash...")));
    startOTAStatusPolling();
    // CPU2's data flows while CPU1 flashes.
    if (otaESP32Data && !otaESP32Active)
        beginESP32Transfer();
}

void BluetoothManager::sendNextESP32Chunk()
{
    if (!otaESP32Data || !characteristicFor(otaV1DataUUID))
        return;
    if (writeNextChunk(otaV1DataUUID, *otaESP32Data, otaESP32BytesSent)) {
        // CPU1's flashing stays on screen while it lasts.
        const bool showsCpu1 = otaState_.kind == OTAState::Kind::flashing ||
                               (otaState_.kind == OTAState::Kind::transferring &&
                                otaState_.cpu.contains(QLatin1String("STM32")));
        if (!showsCpu1)
            setOtaState(
                OTAState::transferring(cpu2, fraction(otaESP32BytesSent, otaESP32Data->size())));
        return;
    }
    otaESP32Data.reset();
    setIsReconnectingAfterOTA(true);
    if (!otaStatusPollTimer) {
        otaWatchdogTimer.reset();
        setOtaState(OTAState::success());
    }
}

void BluetoothManager::startOTAStatusPolling()
{
    otaStatusPollTimer = scheduler.start(500ms, true, [this] { readValue(otaV2StatusUUID); });
}

void BluetoothManager::handleFlashStatus(const QByteArray& value)
{
    if (!otaStatusPollTimer)
        return; // CPU1 is not flashing
    const auto status = decodeFlashStatus(value);
    if (!status)
        return;
    armOtaWatchdog();
    const int page =
        static_cast<int>(std::min<quint32>(status->page, std::numeric_limits<int>::max()));
    const int total =
        static_cast<int>(std::min<quint32>(status->totalPages, std::numeric_limits<int>::max()));
    if (status->isComplete()) {
        otaStatusPollTimer.reset();
        otaSTM32Data.reset();
        Log::line(QStringLiteral("🔧 OTA: CPU1 flash complete (%1 pages)").arg(status->page));
        if (!otaESP32Data) {
            otaWatchdogTimer.reset();
            setIsReconnectingAfterOTA(true);
            setOtaState(OTAState::success());
        } else {
            setOtaState(
                OTAState::transferring(cpu2, fraction(otaESP32BytesSent, otaESP32Data->size())));
        }
        return;
    }
    switch (status->code) {
    case FlashStatus::codeReady:
        setOtaState(OTAState::flashing(cpu1, 0, total, QStringLiteral("Preparing flash...")));
        break;
    case FlashStatus::codeTransmitting:
        setOtaState(OTAState::flashing(cpu1, page, total, QStringLiteral("Transmitting to CORE0")));
        break;
    case FlashStatus::codeWriting:
    case FlashStatus::codeWritingAlt:
        setOtaState(OTAState::flashing(cpu1, page, total, QStringLiteral("Writing to flash")));
        break;
    default: break;
    }
}

void BluetoothManager::armOtaWatchdog()
{
    otaWatchdogTimer = scheduler.start(otaWatchdogTimeout, false, [this] {
        failFirmwareUpdate(
            QStringLiteral("The chair stopped answering during the firmware update."));
    });
}

void BluetoothManager::releaseFirmwareImages()
{
    otaSTM32Data.reset();
    otaSTM32BytesSent = 0;
    otaESP32Data.reset();
    otaESP32BytesSent = 0;
    otaESP32Active = false;
}

void BluetoothManager::failFirmwareUpdate(const QString& message)
{
    ++otaGeneration;
    releaseFirmwareImages();
    otaStatusPollTimer.reset();
    otaWatchdogTimer.reset();
    // Nothing was delivered whole: the next drop is no restart after an update.
    setIsReconnectingAfterOTA(false);
    setOtaState(OTAState::error(message));
}

void BluetoothManager::reportFirmwarePickerError(const QString& description)
{
    failFirmwareUpdate(description);
}

void BluetoothManager::resetOTA()
{
    ++otaGeneration;
    releaseFirmwareImages();
    otaStatusPollTimer.reset();
    otaWatchdogTimer.reset();
    setIsReconnectingAfterOTA(false);
    setOtaState(OTAState::idle());
}

void BluetoothManager::simulateOTAProgress(const QString& cpu, int step)
{
    const quint64 generation = otaGeneration;
    afterInSimulation(50ms, [this, cpu, step, generation] {
        if (generation != otaGeneration)
            return;
        const int next = step + 1;
        const double progress = std::min(1.0, next * 0.02);
        setOtaState(OTAState::transferring(cpu, progress));
        if (progress < 1.0) {
            simulateOTAProgress(cpu, next);
        } else if (cpu.contains(QLatin1String("CPU1"))) {
            setOtaState(OTAState::flashing(cpu, 0, 84, QStringLiteral("Transmitting")));
            simulateOTAFlash(cpu, 0);
        } else {
            setOtaState(OTAState::success());
        }
    });
}

void BluetoothManager::simulateOTAFlash(const QString& cpu, int page)
{
    const quint64 generation = otaGeneration;
    afterInSimulation(50ms, [this, cpu, page, generation] {
        if (generation != otaGeneration)
            return;
        constexpr int totalPages = 84;
        const QString status = page < totalPages / 2 ? QStringLiteral("Transmitting to CORE0")
                                                     : QStringLiteral("Writing to flash");
        setOtaState(OTAState::flashing(cpu, page + 1, totalPages, status));
        if (page + 1 < totalPages) {
            simulateOTAFlash(cpu, page + 1);
            return;
        }
        setOtaState(OTAState::transferring(cpu2, 0));
        simulateOTAProgress(cpu2, 0);
    });
}
