#pragma once

#include "ChairSettings.h"

#include <QBluetoothUuid>
#include <QByteArray>
#include <QObject>
#include <QTimer>
#include <QVariantMap>

#include <chrono>
#include <optional>

// One chair as its firmware behaves: legs and motors, automatic mode, sleep, WiFi and the two
// processors' firmware update. It speaks in characteristic values and knows nothing of D-Bus;
// whoever carries its link delivers reads and writes and forwards what it notifies.
class ChairModel : public QObject {
    Q_OBJECT
public:
    struct Identity {
        QString serialNumber;
        quint32 leftOdometer = 1200;
        quint32 rightOdometer = 1180;
    };

    // Outcome of a write: empty errorName when the chair took the value.
    struct WriteResult {
        QString errorName;
        QString errorMessage;
        bool isOk() const { return errorName.isEmpty(); }
    };

    enum class Leg { Left = 0, Right = 1 };

    ChairModel(const Identity& identity, const ChairSettings& settings, QObject* parent = nullptr);

    // The value a central reads now; nullopt for a characteristic the chair cannot read.
    std::optional<QByteArray> read(const QBluetoothUuid& characteristic) const;
    WriteResult write(const QBluetoothUuid& characteristic, const QByteArray& value);

    void linkUp();
    void linkDown();
    // Restarting: off the air, not connectable.
    bool isAway() const { return away; }

    // The chair's own button.
    void pressLeg(Leg leg);
    void fallAsleep();
    // Notifies the legs and mode as they are, changing nothing.
    void reportState() { notifyChairState(); }
    // false when the chair has no network to come back to.
    bool setWifiOnline(bool online);
    void countWriteCall() { ++writeCalls; }

    QVariantMap state() const;

signals:
    // A value that a subscribed central is notified of.
    void notified(const QBluetoothUuid& characteristic, const QByteArray& value);
    // The chair restarts: its link drops and it is gone until cameBack().
    void wentAway();
    void cameBack();

private:
    enum class FlashPhase { Idle, Preparing, Transmitting, Writing, Verifying, Complete };

    struct Processor {
        bool begun = false; // a begin arrived since the last restart
        quint32 size = 0;
        QByteArray image;
        bool complete = false;
        QString sha256; // of the last image that was installed
    };

    quint8 chairMode() const;
    QByteArray chairStateValue() const;
    QByteArray flashStatusValue() const;
    void notifyChairState();
    void notifyEvent(quint8 code);

    void command(); // a command from the user or the program keeps the chair awake
    void scheduleMove(Leg leg);
    void moveLeg(Leg leg);
    void restartIdleTimer();
    void wake();

    void setAutoMode(bool on);
    void restartCountdown();
    void autoTransition();

    void setWifiStatus(quint8 status);
    void restart(bool applyWifi);
    void applyWifiSettings();

    WriteResult writeBegin(Processor& cpu, bool isCpu1, const QByteArray& value);
    WriteResult writeData(Processor& cpu, bool isCpu1, const QByteArray& value);
    void startFlash();
    void flashStep();
    void checkUpdateComplete();
    void installUpdate();
    WriteResult firmwareError(const QString& text, quint8 attError);

    const Identity identity;
    const ChairSettings& settings;

    bool legUp[2] = {true, true};
    quint32 odometer[2];
    quint8 motorSound[2] = {40, 40};

    bool autoOn = false;
    quint8 pattern = 0;
    quint32 periodSeconds = 300;
    int patternStep = 0;
    std::chrono::steady_clock::time_point transitionDue;
    QTimer autoTimer;

    bool asleep = false;
    QTimer idleTimer;

    bool sendEvents = false;
    QByteArray lastEvent{1, '\0'};
    QString userName;
    QString timeZone;

    quint8 wifiStatus = 0x01;
    QString wifiSsid; // the network the chair is set up for
    QString pendingSsid;
    QString pendingPassword;
    quint8 networkIndex = 0;

    Processor cpu1;
    Processor cpu2;
    FlashPhase flashPhase = FlashPhase::Idle;
    quint32 flashPage = 0;
    quint32 flashTotalPages = 0;
    QTimer flashTimer;
    QTimer installTimer;
    QStringList firmwareErrors;

    bool connected = false;
    bool away = false;
    quint32 connects = 0;
    quint32 restarts = 0;
    quint32 writeCalls = 0;
};
