// Firmware throughput through the real stack: Qt Bluetooth, the BlueZ D-Bus API and the virtual
// chair. A 1 MiB CPU2 image goes out once with every write confirmation held for a 7.5 ms
// connection event, and once with none, which is the program's own ceiling.
#include "RealLink.h"
#include "VirtualChairBus.h"
#include "ZipWriter.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>

namespace {

constexpr qsizetype imageSize = 1 << 20;
constexpr double chunkBytes = 250.0;
constexpr double connectionEventMs = 7.5;

// Seconds from the first chunk to success, or a negative value when the update failed.
double transferSeconds(RealLink& link, const QString& package)
{
    link.manager->resetOTA();
    QElapsedTimer clock;
    bool started = false;
    const QMetaObject::Connection watch = QObject::connect(
        link.manager.get(), &BluetoothManager::otaStateChanged, link.manager.get(), [&] {
            if (!started && link.manager->otaState().kind == OTAState::Kind::transferring) {
                started = true;
                clock.start();
            }
        });
    link.manager->startFirmwareUpdate(package);
    QDeadlineTimer deadline(300'000);
    for (;;) {
        const OTAState::Kind kind = link.manager->otaState().kind;
        if (kind == OTAState::Kind::success)
            break;
        if (kind == OTAState::Kind::error || deadline.hasExpired()) {
            QObject::disconnect(watch);
            return -1;
        }
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    QObject::disconnect(watch);
    return clock.nsecsElapsed() / 1e9;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    VirtualChairBus bus;
    if (!bus.start() || !bus.startChair({QStringLiteral("--online=Office_5G")})) {
        std::fprintf(stderr, "could not start the private bus and the virtual chair\n");
        return 1;
    }
    RealLink link;
    if (!link.scanAndConnect() || !link.waitForState(ConnectionState::ready)) {
        std::fprintf(stderr, "the chair did not become ready\n");
        return 1;
    }
    const QString package = link.dir.filePath(QStringLiteral("cpu2.zip"));
    writeZip(package, {{"Stilta-Firmware.bin", firmwareImage(imageSize, 7)}});

    const double limitKBps = chunkBytes / connectionEventMs; // bytes per ms = KB/s
    std::printf("firmware transfer, %lld-byte CPU2 image, 250-byte chunks, stop-and-wait\n",
                static_cast<long long>(imageSize));
    std::printf("%-28s %10s %10s %12s\n", "write confirmation delay", "seconds", "KB/s",
                "of 33.3 KB/s");
    for (const double delayMs : {connectionEventMs, 0.0}) {
        bus.control(QStringLiteral("SetWriteDelay"), {delayMs});
        if (link.state() != ConnectionState::ready &&
            !link.waitForState(ConnectionState::ready, 60'000)) {
            std::fprintf(stderr, "the chair did not come back after its restart\n");
            return 1;
        }
        const double seconds = transferSeconds(link, package);
        if (seconds < 0) {
            std::fprintf(stderr, "the update failed\n");
            return 1;
        }
        const double kbps = imageSize / 1000.0 / seconds;
        std::printf("%-28s %10.2f %10.1f %11.2fx\n",
                    qPrintable(QStringLiteral("%1 ms").arg(delayMs)), seconds, kbps,
                    kbps / limitKBps);
        std::fflush(stdout);
        // The chair restarts after an update; wait until it is back.
        link.waitForState(ConnectionState::connecting, 15'000);
    }
    return 0;
}
