#include "ScreenServices.h"

#include "BleCentral.h"

#include <QGuiApplication>
#include <QPointer>
#include <QQmlEngine>
#include <QQuickWindow>

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

FilePicker* ScreenServices::makeFilePicker(QQuickItem* owner)
{
    // The portal places its dialog over this window; it names windows only on X11.
    auto parentWindow = [owner = QPointer<QQuickItem>(owner)] {
        QQuickWindow* window = owner ? owner->window() : nullptr;
        if (!window || QGuiApplication::platformName() != QLatin1String("xcb"))
            return QString();
        return QStringLiteral("x11:%1").arg(window->winId(), 0, 16);
    };
    auto* picker = new FilePicker(portalBus, parentWindow, owner);
    QQmlEngine::setObjectOwnership(picker, QQmlEngine::CppOwnership);
    return picker;
}
