#pragma once

#include "Clock.h"
#include "LogindSystemWake.h"
#include "Scheduler.h"
#include "Settings.h"
#include "SystemWake.h"

#include <memory>

class BleCentral;
class BluetoothManager;

// What the program runs on: the real clocks, the user's settings store, and the link.
class AppServices {
public:
    AppServices();
    ~AppServices();

    // A manager on the given central and these services (nothing scans until the user asks).
    // The services must outlive it.
    std::unique_ptr<BluetoothManager> makeManager(std::unique_ptr<BleCentral> central);
    Settings& settings() { return settings_; }
    Scheduler& mainScheduler() { return scheduler; }
    const Clock& systemClock() const { return clock; }

private:
    QtScheduler scheduler;
    SystemClock clock;
    Settings settings_;
    LogindSystemWake wake;
};
