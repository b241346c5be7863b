#pragma once

#include "BluetoothManager.h"
#include "ChairProfile.h"
#include "Clock.h"
#include "FakeBleCentral.h"
#include "Log.h"
#include "Scheduler.h"
#include "Settings.h"
#include "SystemWake.h"

#include <QTemporaryDir>
#include <QtEndian>

#include <bit>
#include <memory>

// A manager on the fake central, virtual time and a settings file of its own.
struct LinkFixture {
    explicit LinkFixture(CentralPower power = CentralPower::On, const QString& email = QString())
        : settings(dir.filePath(QStringLiteral("settings.ini")))
        , central(new FakeBleCentral(power))
        , manager(std::make_unique<BluetoothManager>(std::unique_ptr<FakeBleCentral>(central),
                                                     scheduler, clock, settings, &wake))
    {
        if (!email.isEmpty())
            settings.setAnalyticsUserEmail(email);
    }

    ConnectionState state() const { return manager->connectionState(); }

    // The chair sends one value and it arrives.
    void report(FakePeripheral& chair, const QBluetoothUuid& c, const QByteArray& value)
    {
        chair.notify(c, value);
        central->flush();
    }
    void advance(std::chrono::milliseconds span)
    {
        central->flush();
        scheduler.advance(span);
        central->flush();
    }

    // The chair is asked to connect again exactly `delay` after now, not a millisecond sooner.
    bool reconnectsAfter(std::chrono::milliseconds delay)
    {
        central->clearCalls();
        advance(delay - std::chrono::milliseconds(1));
        if (central->count(FakeCall::Kind::connect) != 0)
            return false;
        advance(std::chrono::milliseconds(1));
        return central->count(FakeCall::Kind::connect) == 1;
    }

    // The user picks the chair from a fresh scan (advertised under its own name unless another is
    // given); nothing is delivered yet.
    void pick(const QSharedPointer<FakePeripheral>& chair, const QString& localName = {})
    {
        manager->startScanning();
        central->advertise(chair, localName.isEmpty() ? chair->name() : localName, -50);
        manager->connect(chair->identifier());
    }

    // Scans, sees the chair, connects and lets discovery run to its end.
    QSharedPointer<FakePeripheral> connectChair(QSharedPointer<FakePeripheral> chair = {})
    {
        if (!chair)
            chair = central->makeChair();
        pick(chair);
        central->flush();
        return chair;
    }

    QTemporaryDir dir;
    Settings settings;
    ManualScheduler scheduler;
    ManualClock clock;
    ManualSystemWake wake;
    FakeBleCentral* central; // owned by the manager
    std::unique_ptr<BluetoothManager> manager;
    Log::Capture log;
};

inline QByteArray bytes(std::initializer_list<int> list)
{
    QByteArray out;
    for (int b : list)
        out.append(static_cast<char>(b));
    return out;
}

inline QByteArray u32Bytes(quint32 number)
{
    QByteArray out(4, '\0');
    qToLittleEndian(number, out.data());
    return out;
}

inline QByteArray floatBytes(float value)
{
    return u32Bytes(std::bit_cast<quint32>(value));
}

// CPU1's flasher record: its state code, the page done, the pages in all.
inline QByteArray flashRecord(quint32 code, quint32 page, quint32 total)
{
    return u32Bytes(code) + u32Bytes(page) + u32Bytes(total);
}
