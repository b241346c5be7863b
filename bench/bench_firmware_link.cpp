// Firmware throughput through the real stack: Qt Bluetooth, the BlueZ D-Bus API and the virtual
// chair. A CPU2 image goes out with every write confirmation held for a connection event of
// 7.5, 15 and 30 ms (1 MiB at 7.5 ms; 256 KiB at the slower ones, which would take minutes),
// and once with none, which is the program's own ceiling.
#include "RealLink.h"
#include "VirtualChairBus.h"
#include "ZipWriter.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>

#include <cstdio>

namespace {

constexpr double chunkBytes = 250.0;

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
    std::printf("firmware transfer, CPU2 image, 250-byte chunks, stop-and-wait\n");
    std::printf("%-26s %9s %9s %8s %10s\n", "write confirmation delay", "image", "seconds", "KB/s",
                "of limit");
    struct Case {
        double delayMs;
        qsizetype imageSize;
    };
    for (const Case& c :
         {Case{7.5, 1 << 20}, Case{15, 1 << 18}, Case{30, 1 << 18}, Case{0, 1 << 20}}) {
        const QString package = link.dir.filePath(QStringLiteral("cpu2-%1.zip").arg(c.imageSize));
        if (!QFile::exists(package))
            writeZip(package, {{"Stilta-Firmware.bin", firmwareImage(c.imageSize, 7)}});
        bus.control(QStringLiteral("SetWriteDelay"), {c.delayMs});
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
        const double kbps = c.imageSize / 1000.0 / seconds;
        // Stop-and-wait: one chunk per connection event; without a delay there is no limit.
        const QString ofLimit =
            c.delayMs > 0 ? QStringLiteral("%1x").arg(kbps / (chunkBytes / c.delayMs), 0, 'f', 2)
                          : QStringLiteral("-");
        std::printf("%-26s %5lld KiB %9.2f %8.1f %10s\n",
                    qPrintable(QStringLiteral("%1 ms").arg(c.delayMs)),
                    static_cast<long long>(c.imageSize / 1024), seconds, kbps, qPrintable(ofLimit));
        std::fflush(stdout);
        // The chair restarts after an update; wait until it is back.
        link.waitForState(ConnectionState::connecting, 15'000);
    }
    return 0;
}
