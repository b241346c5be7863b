#pragma once

#include <QDBusConnection>
#include <QDBusVirtualObject>
#include <QString>

#include <functional>

class ChairControl;

// The chair on a D-Bus connection: app.velnora.Chair1 at /app/velnora/Chair (methods, read-only
// properties and their PropertiesChanged), and org.freedesktop.Application at
// /app/velnora/VelnoraDesktop, whose Activate brings the window to the front.
class ChairBus : public QDBusVirtualObject {
    Q_OBJECT
public:
    static inline const QString serviceName = QStringLiteral("app.velnora.VelnoraDesktop");
    static inline const QString root = QStringLiteral("/app/velnora");
    static inline const QString chairPath = QStringLiteral("/app/velnora/Chair");
    static inline const QString appPath = QStringLiteral("/app/velnora/VelnoraDesktop");

    ChairBus(ChairControl& control, const QDBusConnection& bus, std::function<void()> activate,
             QObject* parent = nullptr);
    ~ChairBus() override;

    // Exports the objects and takes the program's name; false when either is taken.
    bool publish();
    // Asks the program that owns the name on this bus to come to the front.
    static bool activateRunning(const QDBusConnection& bus);

    QString introspect(const QString& path) const override;
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;

private:
    void handleChairCall(const QDBusMessage& call);
    void handleProperties(const QDBusMessage& call);
    void announce(const QVariantMap& changed);

    ChairControl& control;
    QDBusConnection bus;
    std::function<void()> activate;
    bool published = false;
};
