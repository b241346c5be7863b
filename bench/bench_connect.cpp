// Connect → ready through the real stack: Qt Bluetooth, the BlueZ D-Bus API and the virtual
// chair answering every ATT round trip (link set-up, discovery, reads, writes, notification
// switches) at the connection events of a steady interval. The floor is the round trips the
// chair answered up to the program's WiFi check, one per interval.
#include "RealLink.h"
#include "VirtualChairBus.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <map>

namespace {

struct Run {
    double ms = 0;
    QStringList requests; // answered by the chair up to the WiFi check
};

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

// The round trips that led to ready: everything up to the WiFi status read of the check.
QStringList requestsUntilReady(const QStringList& answered)
{
    const qsizetype check = answered.lastIndexOf(QStringLiteral("read wifiStatus"));
    return check < 0 ? answered : answered.first(check + 1);
}

// Runs the event loop as the program does, without QTest's sleeps between passes.
bool waitForState(RealLink& link, ConnectionState wanted, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (link.state() != wanted && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    return link.state() == wanted;
}

std::optional<Run> connectOnce(VirtualChairBus& bus, RealLink& link)
{
    link.manager->startScanning();
    const std::optional<DiscoveredDevice> chair =
        link.waitForChair(QStringLiteral("Velnora Pro 0001"));
    if (!chair)
        return std::nullopt;
    QElapsedTimer clock;
    qint64 readyAt = -1;
    const QMetaObject::Connection watch = QObject::connect(
        link.manager.get(), &BluetoothManager::connectionStateChanged, link.manager.get(), [&] {
            if (readyAt < 0 && link.state() == ConnectionState::ready)
                readyAt = clock.nsecsElapsed();
        });
    clock.start();
    link.manager->connect(chair->id());
    const bool ready = waitForState(link, ConnectionState::ready, 30'000);
    QObject::disconnect(watch);
    if (!ready)
        return std::nullopt;
    Run run{readyAt / 1e6, requestsUntilReady(bus.chairState(VirtualChairBus::chairAddress(1))
                                                  .value(QStringLiteral("linkRequests"))
                                                  .toStringList())};
    link.manager->disconnect();
    if (!link.waitForState(ConnectionState::disconnected))
        return std::nullopt;
    QTest::qWait(200); // the chair advertises again
    return run;
}

void printRequests(const QStringList& requests)
{
    std::map<QString, int> kinds;
    QStringList repeated;
    for (qsizetype i = 0; i < requests.size(); ++i) {
        ++kinds[requests[i].section(QLatin1Char(' '), 0, 0)];
        if (requests[i] != QLatin1String("discover") && requests.indexOf(requests[i]) < i)
            repeated << requests[i];
    }
    std::printf("round trips to ready: %lld (", static_cast<long long>(requests.size()));
    const char* separator = "";
    for (const auto& [kind, count] : kinds) {
        std::printf("%s%s %d", separator, qPrintable(kind), count);
        separator = ", ";
    }
    std::printf("); repeated: %s\n",
                repeated.isEmpty() ? "none" : qPrintable(repeated.join(QStringLiteral(", "))));
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    VirtualChairBus bus;
    if (!bus.start() || !bus.startChair({QStringLiteral("--online=Office_5G")})) {
        std::fprintf(stderr, "could not start the private bus and the virtual chair\n");
        return 1;
    }
    RealLink link(QStringLiteral("bench@example.com"));

    std::printf("connect -> ready, %d runs per interval, medians\n", runs);
    std::printf("%-10s %11s %11s %8s %14s %14s %8s\n", "interval", "measured", "floor", "ratio",
                "after link", "its floor", "ratio");
    bool printed = false;
    for (const double intervalMs : {7.5, 30.0}) {
        bus.control(QStringLiteral("SetConnectionInterval"), {intervalMs});
        std::vector<double> measured, floors, after, afterFloors;
        for (int i = 0; i < runs; ++i) {
            const std::optional<Run> run = connectOnce(bus, link);
            if (!run) {
                std::fprintf(stderr, "the chair did not become ready\n");
                return 1;
            }
            if (!printed) {
                printRequests(run->requests);
                printed = true;
            }
            // Link set-up and discovery are BlueZ's; what follows is the program's.
            const auto linkRounds = run->requests.count(QStringLiteral("connect")) +
                                    run->requests.count(QStringLiteral("discover"));
            measured.push_back(run->ms);
            floors.push_back(run->requests.size() * intervalMs);
            after.push_back(run->ms - linkRounds * intervalMs);
            afterFloors.push_back((run->requests.size() - linkRounds) * intervalMs);
        }
        const double m = median(measured), f = median(floors);
        const double a = median(after), af = median(afterFloors);
        std::printf("%-10s %8.1f ms %8.1f ms %7.2fx %11.1f ms %11.1f ms %7.2fx\n",
                    qPrintable(QStringLiteral("%1 ms").arg(intervalMs)), m, f, m / f, a, af,
                    a / af);
        std::fflush(stdout);
    }
    return 0;
}
