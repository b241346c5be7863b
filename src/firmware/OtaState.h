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
    static OTAState success() { return make(Kind::success); }
    static OTAState preparing(const QString& cpu)
    {
        OTAState s = make(Kind::preparing);
        s.cpu = cpu;
        return s;
    }
    static OTAState transferring(const QString& cpu, double progress)
    {
        OTAState s = make(Kind::transferring);
        s.cpu = cpu;
        s.progress = progress;
        return s;
    }
    static OTAState flashing(const QString& cpu, int page, int totalPages, const QString& status)
    {
        OTAState s = make(Kind::flashing);
        s.cpu = cpu;
        s.page = page;
        s.totalPages = totalPages;
        s.status = status;
        return s;
    }
    static OTAState error(const QString& message)
    {
        OTAState s = make(Kind::error);
        s.message = message;
        return s;
    }

    // An update is under way: images are being unpacked, sent or flashed.
    bool isInProgress() const
    {
        return kind == Kind::preparing || kind == Kind::transferring || kind == Kind::flashing;
    }

    bool operator==(const OTAState&) const = default;

private:
    static OTAState make(Kind kind)
    {
        OTAState s;
        s.kind = kind;
        return s;
    }
};
Q_DECLARE_METATYPE(OTAState)
