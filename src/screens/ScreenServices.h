#pragma once

#include "AnalyticsService.h"
#include "BluetoothManager.h"
#include "Clock.h"
#include "FilePicker.h"
#include "Scheduler.h"
#include "Settings.h"

#include <QDBusConnection>
#include <QObject>
#include <QQuickItem>
#include <QtQml/qqmlregistration.h>

// What screens make for themselves and own: an analytics service for the analytics tab, and
// the debug mode's own chair link that never touches the radio, the desktop's file picker. Each
// dies with the item that asked for it.
class ScreenServices : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("made by the program")
    Q_PROPERTY(Settings* settings READ settings CONSTANT)

public:
    ScreenServices(Scheduler& scheduler, const Clock& clock, Settings& settings,
                   AnalyticsService::Options analytics = {}, QObject* parent = nullptr);

    Settings* settings() const { return &settings_; }
    Scheduler& scheduler() const { return scheduler_; }
    const Clock& clock() const { return clock_; }

    // Owned by owner (a QML item): gone when the item is.
    Q_INVOKABLE AnalyticsService* makeAnalyticsService(QObject* owner);
    Q_INVOKABLE BluetoothManager* makeOfflineBluetooth(QObject* owner);
    // A picker for the window owner is in, through the portal on the bus set below.
    Q_INVOKABLE FilePicker* makeFilePicker(QQuickItem* owner);

    // Where the desktop's portal is looked for; without one, screens use their own picker.
    void setPortalBus(const QDBusConnection& bus) { portalBus = bus; }

private:
    Scheduler& scheduler_;
    const Clock& clock_;
    Settings& settings_;
    AnalyticsService::Options analytics;
    QDBusConnection portalBus{QString()};
};
