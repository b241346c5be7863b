#pragma once

#include "BluetoothManager.h"
#include "Settings.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

// The terms gate and the one chair link of the window. The link is made only when the root
// screen first shows, so nothing scans before the terms are accepted.
class VelnoraDesktopApp : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool termsAccepted READ termsAccepted NOTIFY termsAcceptedChanged)
    Q_PROPERTY(Settings* settings READ settings CONSTANT)
    // Read as a property, so that QML never takes ownership of the link.
    Q_PROPERTY(BluetoothManager* bluetooth READ bluetooth CONSTANT)

public:
    static inline const QString requiredTermsVersion = QStringLiteral("1.0");

    using ManagerFactory = std::function<std::unique_ptr<BluetoothManager>()>;
    using Quit = std::function<void()>;
    VelnoraDesktopApp(Settings& settings, ManagerFactory makeManager, Quit quit,
                      QObject* parent = nullptr);
    ~VelnoraDesktopApp() override;

    bool termsAccepted() const;
    // The terms of this version were accepted in an earlier run (velnora-ctl asks this).
    static bool termsAcceptedIn(const Settings& settings);
    Settings* settings() const { return &settings_; }

    // The root screen's link, made on its first call.
    BluetoothManager* bluetooth();
    bool hasBluetooth() const { return manager != nullptr; }

    Q_INVOKABLE void accept();
    Q_INVOKABLE void decline();

Q_SIGNALS:
    void termsAcceptedChanged();

private:
    Settings& settings_;
    ManagerFactory makeManager;
    Quit quit;
    bool acceptedThisSession = false;
    std::unique_ptr<BluetoothManager> manager;
};
