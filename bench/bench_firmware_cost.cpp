// The program's own cost of a firmware update, without a radio:
//   bench_firmware_cost [RUNS] [CPU2_IMAGE_BYTES]
//  - per 250-byte chunk, with the fake central confirming every write at once, against the
//    7.5 ms connection event that paces a real chair;
//  - reading a 4 MiB package (unzip and checks), against `unzip -p` of the same file.
#include "FirmwarePackage.h"
#include "LinkFixture.h"
#include "ZipWriter.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace ChairProfile;

namespace {

constexpr double connectionEventUs = 7500.0;

// Firmware barely compresses; a seeded generator makes bytes that don't either.
QByteArray noise(qsizetype size, quint32 seed)
{
    QByteArray out(size, Qt::Uninitialized);
    QRandomGenerator generator(seed);
    generator.fillRange(reinterpret_cast<quint32*>(out.data()), size / 4);
    return out;
}

// Wall time of `unzip -p path` into /dev/null, or a negative value.
double unzipMs(const QString& path)
{
    QProcess unzip;
    unzip.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer clock;
    clock.start();
    unzip.start(QStringLiteral("unzip"), {QStringLiteral("-p"), path});
    if (!unzip.waitForFinished(60'000) || unzip.exitCode() != 0)
        return -1;
    return clock.nsecsElapsed() / 1e6;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Microseconds per chunk for one CPU2 transfer of `imageSize` bytes, or a negative value.
double chunkCostUs(qsizetype imageSize)
{
    LinkFixture f;
    auto chair = f.central->makeChair();
    chair->values[otaV2BeginUUID] = QByteArray(1, '\x01');
    chair->values[otaV1BeginUUID] = QByteArray(1, '\x01');
    f.connectChair(chair);
    const QString path = f.dir.filePath(QStringLiteral("cpu2.zip"));
    if (!writeZip(path, {{"Stilta-Firmware.bin", firmwareImage(imageSize, 3)}}))
        return -1;
    f.central->clearCalls();
    f.manager->startFirmwareUpdate(path);
    // The package is read off the main thread; its begin record follows.
    QDeadlineTimer ready(30'000);
    auto begun = [&] { return f.central->count(FakeCall::Kind::write) > 0; };
    while (!begun() && !ready.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    if (!begun())
        return -1;
    f.central->clearCalls();
    QElapsedTimer clock;
    clock.start();
    auto sent = [&] {
        const OTAState s = f.manager->otaState();
        return s.kind != OTAState::Kind::preparing && s.kind != OTAState::Kind::transferring;
    };
    while (!sent() &&
           !(f.manager->otaState().kind == OTAState::Kind::transferring &&
             f.manager->otaState().progress >= 1.0) &&
           f.central->deliverNext()) {
    }
    const double elapsedUs = clock.nsecsElapsed() / 1e3;
    const qsizetype chunks = f.central->count(FakeCall::Kind::write);
    // Every byte must have gone out, or the figure is of a transfer that stopped early.
    if (chunks != (imageSize + 249) / 250) {
        std::fprintf(stderr, "%lld chunks written for %lld bytes\n", static_cast<long long>(chunks),
                     static_cast<long long>(imageSize));
        return -1;
    }
    if (f.manager->otaState().kind == OTAState::Kind::error) {
        std::fprintf(stderr, "update error: %s\n", qPrintable(f.manager->otaState().message));
        return -1;
    }
    return chunks > 0 ? elapsedUs / double(chunks) : -1;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 5;
    const qsizetype imageBytes = argc > 2 ? std::max(1000, atoi(argv[2])) : (1 << 20);

    std::vector<double> perChunk;
    for (int i = 0; i < runs; ++i) {
        const double us = chunkCostUs(imageBytes);
        if (us < 0) {
            std::fprintf(stderr, "the transfer did not run\n");
            return 1;
        }
        perChunk.push_back(us);
    }
    const double chunkUs = median(perChunk);
    std::printf(
        "firmware chunk, fake central confirming at once, %lld-byte CPU2 image, median of %d\n",
        static_cast<long long>(imageBytes), runs);
    std::printf("  program's cost per 250-byte chunk %10.1f us\n", chunkUs);
    std::printf("  connection event                   %10.1f us  (%.1f%% of it)\n",
                connectionEventUs, 100.0 * chunkUs / connectionEventUs);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("update.zip"));
    const QString tiny = dir.filePath(QStringLiteral("tiny.zip"));
    if (!writeZip(path, {{"StiltaB1.bin", noise(1 << 20, 1)},
                         {"Stilta-Firmware.bin", noise(3 << 20, 2)}}) ||
        !writeZip(tiny, {{"StiltaB1.bin", "x"}})) {
        std::fprintf(stderr, "could not write the packages\n");
        return 1;
    }
    std::vector<double> readMs, unzipFullMs, unzipTinyMs;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer clock;
        clock.start();
        const FirmwarePackage::ReadResult result = FirmwarePackage::read(path);
        readMs.push_back(clock.nsecsElapsed() / 1e6);
        if (!result.error.isEmpty() || result.images.size() != 2) {
            std::fprintf(stderr, "the package did not read: %s\n", qPrintable(result.error));
            return 1;
        }
        const double full = unzipMs(path), floor = unzipMs(tiny);
        if (full < 0 || floor < 0) {
            std::fprintf(stderr, "unzip -p failed\n");
            return 1;
        }
        unzipFullMs.push_back(full);
        unzipTinyMs.push_back(floor);
    }
    std::printf("reading a 4 MiB package (1 MiB CPU1 + 3 MiB CPU2, incompressible), median of %d\n",
                runs);
    std::printf("  FirmwarePackage::read             %10.1f ms\n", median(readMs));
    std::printf(
        "  unzip -p > /dev/null              %10.1f ms  (of which starting unzip: %.1f ms)\n",
        median(unzipFullMs), median(unzipTinyMs));
    std::printf("  ratio                             %10.2fx\n",
                median(readMs) / median(unzipFullMs));
    return 0;
}
