#pragma once

#include <QDBusMessage>
#include <QObject>

class BusObjects;
class VirtualBluez;

// The test bench's hands on the chairs: app.velnora.VirtualChair1 at /app/velnora/VirtualChair,
// beside BlueZ's tree but not in it.
class ChairControl : public QObject {
    Q_OBJECT
public:
    static inline const QString path = QStringLiteral("/app/velnora/VirtualChair");
    static inline const QString interface = QStringLiteral("app.velnora.VirtualChair1");

    ChairControl(BusObjects& objects, VirtualBluez& bluez, QObject* parent = nullptr);

private:
    void handle(const QDBusMessage& call);

    BusObjects& objects;
    VirtualBluez& bluez;
};
