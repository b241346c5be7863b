#pragma once

#include "SystemWake.h"

#include <QDBusConnection>

// The computer's resume as logind announces it: PrepareForSleep(false) on the system bus.
class LogindSystemWake final : public SystemWake {
    Q_OBJECT
public:
    // The system bus by default; tests hand in a private bus.
    explicit LogindSystemWake(QObject* parent = nullptr);
    explicit LogindSystemWake(const QDBusConnection& bus, QObject* parent = nullptr);

    // False when the bus cannot be reached: the program then simply never sees a resume.
    bool isListening() const { return listening; }

private Q_SLOTS:
    void prepareForSleep(bool goingToSleep);

private:
    bool listening = false;
};
