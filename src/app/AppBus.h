#pragma once

#include <QDBusConnection>
#include <QObject>

#include <functional>
#include <memory>

class ChairBus;
class ChairControl;
class VelnoraDesktopApp;

// The window's chair on the user's session bus, from the moment the terms are accepted, so
// that scripts drive the same link as the window instead of opening a second one.
class AppBus : public QObject {
    Q_OBJECT
public:
    AppBus(VelnoraDesktopApp& app, const QDBusConnection& bus, std::function<void()> raiseWindow,
           QObject* parent = nullptr);
    ~AppBus() override;

    bool isPublished() const { return chairBus != nullptr; }

private:
    void publish();

    VelnoraDesktopApp& app;
    QDBusConnection bus;
    std::function<void()> raiseWindow;
    std::unique_ptr<ChairControl> control;
    std::unique_ptr<ChairBus> chairBus;
};
