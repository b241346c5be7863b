#pragma once

#include "BluetoothManager.h"
#include "Clock.h"
#include "Log.h"
#include "LogindSystemWake.h"
#include "QtBleCentral.h"
#include "Scheduler.h"
#include "Settings.h"

#include <QDeadlineTimer>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

// The program's link as it runs for a user: Qt Bluetooth on the system bus, real timers, logind
// for system wake, and a settings file of its own.
struct RealLink {
    explicit RealLink(const QString& email = QString())
        : settings(dir.filePath(QStringLiteral("settings.ini")))
    {
        if (!email.isEmpty())
            settings.setAnalyticsUserEmail(email);
        QtBleTiming timing;
        timing.discoveryTimeout = std::chrono::seconds(10);
        manager = std::make_unique<BluetoothManager>(std::make_unique<QtBleCentral>(timing),
                                                     scheduler, clock, settings, &wake);
        QObject::connect(manager.get(), &BluetoothManager::connectionStateChanged, manager.get(),
                         [this] { history.append(manager->connectionState()); });
    }

    ConnectionState state() const { return manager->connectionState(); }

    // Every state the link passed through since the last call.
    QList<ConnectionState> takeStates() { return std::exchange(history, {}); }

    // Waits until the scan has listed a chair of that name and returns its row.
    std::optional<DiscoveredDevice> waitForChair(const QString& name, int timeoutMs = 10000)
    {
        QDeadlineTimer deadline(timeoutMs);
        while (!deadline.hasExpired()) {
            for (const DiscoveredDevice& device : manager->discoveredDevices()) {
                if (device.name == name)
                    return device;
            }
            QTest::qWait(50);
        }
        return std::nullopt;
    }

    bool waitForState(ConnectionState wanted, int timeoutMs = 15000)
    {
        QDeadlineTimer deadline(timeoutMs);
        while (manager->connectionState() != wanted && !deadline.hasExpired())
            QTest::qWait(20);
        return manager->connectionState() == wanted;
    }

    // Scans until the chair is listed, then connects to it.
    bool scanAndConnect(const QString& name = QStringLiteral("Velnora Pro 0001"))
    {
        manager->startScanning();
        const std::optional<DiscoveredDevice> chair = waitForChair(name);
        if (!chair)
            return false;
        manager->connect(chair->id());
        return true;
    }

    QTemporaryDir dir;
    Settings settings;
    QtScheduler scheduler;
    SystemClock clock;
    LogindSystemWake wake;
    std::unique_ptr<BluetoothManager> manager;
    QList<ConnectionState> history;
    Log::Capture log;
};
