#pragma once

#include <QObject>

// The computer resumed from sleep: links that the radio lost while asleep are re-established.
class SystemWake : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

Q_SIGNALS:
    void resumed();
};

// Resumes only when told to: the stand-in until the system's own notification is bound, and
// the test implementation.
class ManualSystemWake final : public SystemWake {
    Q_OBJECT
public:
    using SystemWake::SystemWake;
    void resume() { Q_EMIT resumed(); }
};
