#pragma once

// A manager linked to a fake chair in virtual time, the way the link suites drive it, so that
// fuzzed bytes arrive exactly as a chair's values would.
#include "BluetoothManager.h"
#include "ChairProfile.h"
#include "Clock.h"
#include "FakeBleCentral.h"
#include "Scheduler.h"
#include "Settings.h"
#include "SystemWake.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

// Reads the fuzzer's bytes front to back; past the end everything is zero or empty.
class FuzzBytes {
public:
    FuzzBytes(const uint8_t* data, size_t size)
        : data(data)
        , size(size)
    {
    }

    bool atEnd() const { return offset >= size; }
    quint8 next() { return atEnd() ? 0 : data[offset++]; }
    // Up to count bytes, fewer at the end of the input.
    QByteArray take(size_t count)
    {
        const size_t n = std::min(count, size - std::min(offset, size));
        QByteArray out(reinterpret_cast<const char*>(data + offset), qsizetype(n));
        offset += n;
        return out;
    }
    // A length byte, then that many bytes: values of any length up to 255.
    QByteArray takeValue() { return take(next()); }

private:
    const uint8_t* data;
    size_t size;
    size_t offset = 0;
};

namespace LinkRigRun {

// One application, one settings store for the whole run: the link only reads the e-mail.
inline Settings& settings()
{
    static QTemporaryDir dir;
    static Settings store(dir.filePath(QStringLiteral("settings.ini")));
    return store;
}

// The diagnostic lines would cost a terminal write per value; libFuzzer reports on stderr.
inline void start()
{
    static int argc = 1;
    static char name[] = "fuzz";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    if (!std::freopen("/dev/null", "w", stdout))
        std::abort();
    (void)settings();
}

} // namespace LinkRigRun

struct LinkRig {
    LinkRig()
    {
        auto fake = std::make_unique<FakeBleCentral>();
        central = fake.get();
        manager = std::make_unique<BluetoothManager>(std::move(fake), scheduler, clock,
                                                     LinkRigRun::settings(), &wake);
        chair = central->makeChair();
    }

    // Scans, sees the chair, connects and lets discovery and the WiFi check run to their end.
    void connect()
    {
        manager->startScanning();
        central->advertise(chair, chair->name(), -50);
        manager->connect(chair->identifier());
        central->flush();
    }

    // The chair sends one value and it arrives.
    void report(const QBluetoothUuid& characteristic, const QByteArray& value)
    {
        chair->notify(characteristic, value);
        central->flush();
    }

    void advance(std::chrono::milliseconds span)
    {
        central->flush();
        scheduler.advance(span);
        central->flush();
    }

    // Destroyed in reverse: the manager (and with it the central and its timers) goes before
    // the scheduler it holds handles of.
    ManualScheduler scheduler;
    ManualClock clock;
    ManualSystemWake wake;
    FakeBleCentral* central = nullptr;
    std::unique_ptr<BluetoothManager> manager;
    QSharedPointer<FakePeripheral> chair;
};

// A broken promise: libFuzzer keeps the input that led here.
#define FUZZ_REQUIRE(condition)                                                                    \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "broken: %s (%s:%d)\n", #condition, __FILE__, __LINE__);          \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)
