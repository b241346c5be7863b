#pragma once

#include "BluetoothManager.h"

#include <QObject>

#include <functional>

class DesktopNotifier;

// Tells a user who is looking elsewhere what happened to the chair: an update finished or
// failed, its WiFi went offline or stayed offline, its link could not be restored. While the
// window is active the window says it itself, so nothing is sent.
class ChairNotices : public QObject {
    Q_OBJECT
public:
    ChairNotices(BluetoothManager& chair, DesktopNotifier& notifier,
                 std::function<bool()> isWindowActive, QObject* parent = nullptr);

private:
    void followUpdate();
    void followWifiOffline();
    void followConnectionState();
    void say(const QString& key, const QString& summary, const QString& body);
    QString chairName() const;

    BluetoothManager& chair;
    DesktopNotifier& notifier;
    std::function<bool()> isWindowActive;
    bool wasWifiOffline = false;
    ConnectionState previousState;
};
