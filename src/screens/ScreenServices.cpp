#include "ScreenServices.h"

#include "BleCentral.h"

#include <QQmlEngine>

ScreenServices::ScreenServices(Scheduler& scheduler, const Clock& clock, Settings& settings,
                               AnalyticsService::Options analytics, QObject* parent)
    : QObject(parent)
    , scheduler_(scheduler)
    , clock_(clock)
    , settings_(settings)
    , analytics(std::move(analytics))
{
}

AnalyticsService* ScreenServices::makeAnalyticsService(QObject* owner)
{
    auto* service = new AnalyticsService(clock_, scheduler_, analytics, owner);
    QQmlEngine::setObjectOwnership(service, QQmlEngine::CppOwnership);
    return service;
}

BluetoothManager* ScreenServices::makeOfflineBluetooth(QObject* owner)
{
    auto* manager = new BluetoothManager(std::make_unique<UnavailableBleCentral>(), scheduler_,
                                         clock_, settings_, nullptr, owner);
    QQmlEngine::setObjectOwnership(manager, QQmlEngine::CppOwnership);
    return manager;
}
