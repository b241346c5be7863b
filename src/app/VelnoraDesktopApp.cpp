#include "VelnoraDesktopApp.h"

#include "BluetoothManager.h"
#include "Settings.h"

VelnoraDesktopApp::VelnoraDesktopApp(Settings& settings, ManagerFactory makeManager, Quit quit,
                                     QObject* parent)
    : QObject(parent)
    , settings_(settings)
    , makeManager(std::move(makeManager))
    , quit(std::move(quit))
{
    QObject::connect(&settings_, &Settings::acceptedTermsVersionChanged, this,
                     &VelnoraDesktopApp::termsAcceptedChanged);
}

VelnoraDesktopApp::~VelnoraDesktopApp() = default;

bool VelnoraDesktopApp::termsAccepted() const
{
    return acceptedThisSession || termsAcceptedIn(settings_);
}

bool VelnoraDesktopApp::termsAcceptedIn(const Settings& settings)
{
    return settings.acceptedTermsVersion() == requiredTermsVersion;
}

BluetoothManager* VelnoraDesktopApp::bluetooth()
{
    if (!manager) {
        manager = makeManager();
        // The remembered chair is sought at start only: with Bluetooth off then, not at all.
        if (settings_.connectAutomatically())
            manager->connectRememberedChair();
    }
    return manager.get();
}

void VelnoraDesktopApp::accept()
{
    const bool before = termsAccepted();
    settings_.setAcceptedTermsVersion(requiredTermsVersion);
    // Even when the store fails, this run goes on.
    acceptedThisSession = true;
    if (!before)
        Q_EMIT termsAcceptedChanged();
}

void VelnoraDesktopApp::decline()
{
    quit();
}
