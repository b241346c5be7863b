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

    // Creates the one manager on the given central (nothing scans until the user asks).
    BluetoothManager& createManager(std::unique_ptr<BleCentral> central);
    BluetoothManager* manager() const { return manager_.get(); }
    Settings& settings() { return settings_; }

private:
    QtScheduler scheduler;
    SystemClock clock;
    Settings settings_;
    LogindSystemWake wake;
    std::unique_ptr<BluetoothManager> manager_;
};
