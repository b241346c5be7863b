#pragma once

// The link suites' fixture with one chair, so that fuzzed bytes arrive exactly as a chair's
// values would.
#include "LinkFixture.h"

#include <QByteArray>
#include <QCoreApplication>

#include <cstddef>
#include <cstdint>
#include <cstdio>

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

// One application for the whole run. The manager's diagnostic lines go to the fixture's
// capture; libFuzzer reports on stderr.
inline void startFuzzRun()
{
    static int argc = 1;
    static char name[] = "fuzz";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    if (!std::freopen("/dev/null", "w", stdout))
        std::abort();
}

struct LinkRig : LinkFixture {
    QSharedPointer<FakePeripheral> chair = central->makeChair();

    // Scans, sees the chair, connects and lets discovery and the WiFi check run to their end.
    void connect() { connectChair(chair); }
    // The chair sends one value and it arrives.
    void report(const QBluetoothUuid& c, const QByteArray& value)
    {
        LinkFixture::report(*chair, c, value);
    }
};

// A broken promise: libFuzzer keeps the input that led here.
#define FUZZ_REQUIRE(condition)                                                                    \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "broken: %s (%s:%d)\n", #condition, __FILE__, __LINE__);          \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)
