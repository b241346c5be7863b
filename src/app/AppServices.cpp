#include "AppServices.h"

#include "BleCentral.h"
#include "BluetoothManager.h"

AppServices::AppServices() = default;

AppServices::~AppServices() = default;

std::unique_ptr<BluetoothManager> AppServices::makeManager(std::unique_ptr<BleCentral> central)
{
    return std::make_unique<BluetoothManager>(std::move(central), scheduler, clock, settings_,
                                              &wake);
}
