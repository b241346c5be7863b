#include "AppBus.h"

#include "ChairBus.h"
#include "ChairControl.h"
#include "Log.h"
#include "VelnoraDesktopApp.h"

AppBus::AppBus(VelnoraDesktopApp& app, const QDBusConnection& bus,
               std::function<void()> raiseWindow, QObject* parent)
    : QObject(parent)
    , app(app)
    , bus(bus)
    , raiseWindow(std::move(raiseWindow))
{
    QObject::connect(&app, &VelnoraDesktopApp::termsAcceptedChanged, this, &AppBus::publish);
    publish();
}

AppBus::~AppBus() = default;

void AppBus::publish()
{
    if (chairBus || !app.termsAccepted() || !bus.isConnected())
        return;
    control = std::make_unique<ChairControl>(*app.bluetooth());
    auto exported = std::make_unique<ChairBus>(*control, bus, raiseWindow);
    if (!exported->publish()) {
        // Another program holds the name: the window works on, unreachable from scripts.
        Log::line(QStringLiteral(
                      "⚠️ %1 is taken on the session bus: velnora-ctl cannot reach this window")
                      .arg(ChairBus::serviceName));
        control.reset();
        return;
    }
    chairBus = std::move(exported);
}
