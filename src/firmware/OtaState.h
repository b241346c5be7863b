#pragma once

#include <QMetaType>
#include <QObject>
#include <QString>

// Progress of a firmware update, as the settings screen shows it. The payload fields that a
// kind does not use stay at their defaults, so equality compares the kind and its payload.
struct OTAState {
    Q_GADGET
    Q_PROPERTY(Kind kind MEMBER kind)
    Q_PROPERTY(QString cpu MEMBER cpu)
    Q_PROPERTY(double progress MEMBER progress)
    Q_PROPERTY(int page MEMBER page)
    Q_PROPERTY(int totalPages MEMBER totalPages)
    Q_PROPERTY(QString status MEMBER status)
    Q_PROPERTY(QString message MEMBER message)

public:
    enum class Kind { transferring, flashing, preparing, error, idle, success };
    Q_ENUM(Kind)

    Kind kind = Kind::idle;
    QString cpu;         // "CPU1 (STM32)" or "CPU2 (ESP32)"
    double progress = 0; // transferring: 0 to 1
    int page = 0;        // flashing
    int totalPages = 0;  // flashing
    QString status;      // flashing
    QString message;     // error

    static OTAState idle() { return {}; }

    bool operator==(const OTAState&) const = default;
};
Q_DECLARE_METATYPE(OTAState)
