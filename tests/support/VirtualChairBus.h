#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariantMap>

#include <memory>

// A private system bus for one test process, with the virtual chair playing BlueZ on it. Qt
// reads the system bus address once, so start() must run before anything touches the bus.
class VirtualChairBus {
public:
    VirtualChairBus();
    ~VirtualChairBus();

    // Starts the bus and points this process's system bus at it.
    bool start();
    QString address() const { return busAddress; }

    // Starts the chair with its options and waits until it owns the BlueZ name.
    bool startChair(const QStringList& options = {});
    void stopChair();
    // Everything the chair has printed so far (with --verbose, each GATT operation).
    QString chairOutput();

    // Calls the chair's control interface; false when it answers with an error.
    bool control(const QString& method, const QVariantList& args = {});
    QVariantMap chairState(const QString& address);

    // Plays logind announcing the end (false) or the start (true) of system sleep.
    bool prepareForSleep(bool goingToSleep);

    static QString chairAddress(int index); // "C0:FF:EE:00:00:01" for 1

private:
    QDBusConnection testConnection();
    QDBusMessage call(const QString& method, const QVariantList& args);

    QTemporaryDir dir;
    QProcess daemon;
    std::unique_ptr<QProcess> chair;
    QString busAddress;
    QString output;
};
