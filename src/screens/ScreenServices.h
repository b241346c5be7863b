#pragma once

#include "AnalyticsService.h"
#include "BluetoothManager.h"
#include "Clock.h"
#include "Scheduler.h"
#include "Settings.h"

#include <QObject>
#include <QtQml/qqmlregistration.h>

// What screens make for themselves and own: an analytics service for the analytics tab, and
// the debug mode's own chair link that never touches the radio. Each dies with the item that
// asked for it.
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

private:
    Scheduler& scheduler_;
    const Clock& clock_;
    Settings& settings_;
    AnalyticsService::Options analytics;
};
