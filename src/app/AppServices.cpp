#include "AppServices.h"

#include "BleCentral.h"
#include "BluetoothManager.h"

AppServices::AppServices() = default;

AppServices::~AppServices() = default;

BluetoothManager& AppServices::createManager(std::unique_ptr<BleCentral> central)
{
    manager_ =
        std::make_unique<BluetoothManager>(std::move(central), scheduler, clock, settings_, &wake);
    return *manager_;
}
