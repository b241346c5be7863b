#pragma once

// The link suites' fixture with one chair, so that fuzzed bytes arrive exactly as a chair's
// values would; one manager serves the whole run.
#include "LinkFixture.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDebug>
#include <QMetaProperty>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>

// A broken promise: libFuzzer keeps the input that led here.
#define FUZZ_REQUIRE(condition)                                                                    \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "broken: %s (%s:%d)\n", #condition, __FILE__, __LINE__);          \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)

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
    LinkRig()
    {
        // What a chair in its factory state answers to the reads of a connect. Every connect
        // reads them again, so they also bring back what no link drop clears.
        chair->values[ChairProfile::chairStateUUID] = bytes({0x00, 0x00, 0x00}); // legs up
        chair->values[ChairProfile::autoModeUUID] = bytes({0x00});
        chair->values[ChairProfile::autoPeriodUUID] = u32Bytes(5 * 60);
        chair->values[ChairProfile::autoModeSelectorUUID] = bytes({0x00});
        chair->values[ChairProfile::leftMotorSoundUUID] = bytes({40});
    }

    QSharedPointer<FakePeripheral> chair = central->makeChair();

    // Scans, sees the chair, connects and lets discovery and the WiFi check run to their end.
    void connect() { connectChair(chair); }
    // The chair sends one value and it arrives.
    void report(const QBluetoothUuid& c, const QByteArray& value)
    {
        LinkFixture::report(*chair, c, value);
    }
};

// Everything of a rig that an input could leave behind and a later input could meet: every
// property of the manager, the timers and delays on virtual time, answers on their way.
inline QVariantList observe(const LinkRig& rig)
{
    QVariantList seen;
    const QMetaObject* meta = rig.manager->metaObject();
    for (int i = meta->propertyOffset(); i < meta->propertyCount(); ++i) {
        QVariant value = meta->property(i).read(rig.manager.get());
        if (value.typeId() == QMetaType::QVariantList) {
            // The scan list, by what its rows show: another rig's chair is another object.
            QVariantList rows;
            for (const QVariant& row : value.toList()) {
                const auto device = row.value<DiscoveredDevice>();
                rows << device.name << device.rssi << device.id();
            }
            value = rows;
        }
        seen << value;
    }
    for (const auto interval : rig.scheduler.activeTimerIntervals())
        seen << qint64(interval.count());
    seen << rig.scheduler.pendingDelays() << rig.central->pendingAnswers()
         << rig.central->isLinked(rig.chair.get());
    return seen;
}

inline QStringList described(const QVariantList& values)
{
    QStringList out;
    for (const QVariant& value : values) {
        QString text;
        QDebug(&text) << value;
        out << text;
    }
    return out;
}

// What an input made the manager do and show: its calls to the chair, its diagnostic lines,
// and the rig as the input left it.
inline QStringList trace(const LinkRig& rig)
{
    QStringList out;
    for (const FakeCall& call : rig.central->calls()) {
        QStringList uuids;
        for (const QBluetoothUuid& uuid : call.uuids)
            uuids << uuid.toString();
        out << QStringLiteral("call %1 %2 %3 %4 %5")
                   .arg(int(call.kind))
                   .arg(call.peripheral.toString(), call.target.toString(), uuids.join(u','),
                        QString::fromLatin1(call.value.toHex()));
    }
    out += rig.log.lines();
    return out + described(observe(rig));
}

inline bool sameCalls(const QList<FakeCall>& a, const QList<FakeCall>& b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](const FakeCall& x, const FakeCall& y) {
                          return x.kind == y.kind && x.peripheral == y.peripheral &&
                                 x.target == y.target && x.uuids == y.uuids && x.value == y.value;
                      });
}

inline void reportDifference(const char* what, const QStringList& got, const QStringList& want)
{
    for (qsizetype i = 0; i < std::max(got.size(), want.size()); ++i) {
        if (got.value(i) != want.value(i)) {
            std::fprintf(stderr, "%s differs at %lld:\n  reused: %s\n  fresh:  %s\n", what,
                         static_cast<long long>(i), qPrintable(got.value(i)),
                         qPrintable(want.value(i)));
            return;
        }
    }
}

// One connected manager for every input. Between inputs the user disconnects and connects
// again: ending the link stops every timer of the chair and clears what the chair told, and
// the connect reads back from the chair's factory values what a link end leaves alone (legs,
// period, pattern, strength). An input therefore meets the manager exactly as a fresh one
// meets it: checked at the start of every input against the first connect, by what the
// connect asked of the chair and by the state it left.
//
// VELNORA_FUZZ_CHECK_RESET=1 proves it for whole runs: every input is also played on a
// manager of its own, and both must make the same calls, print the same lines and end in the
// same state. (Slower: for corpus checks, e.g. `-runs=0 <corpus>`.)
class SharedLink {
public:
    using Setup = std::function<void(LinkRig&)>;
    using Play = std::function<void(LinkRig&, FuzzBytes&)>;

    // start: from a disconnected manager to where each input begins.
    SharedLink(Setup start, Play play)
        : start(std::move(start))
        , play(std::move(play))
        , checksReset(qEnvironmentVariableIntValue("VELNORA_FUZZ_CHECK_RESET") != 0)
    {
        gatt = rig.chair->gatt;
        values = rig.chair->values;
        firstConnect = begin(rig);
        fresh = observe(rig);
    }

    void run(const uint8_t* data, size_t size)
    {
        if (inputs++ > 0) {
            letGo();
            // The same reads, writes and notifications asked for as on the first connect.
            FUZZ_REQUIRE(sameCalls(begin(rig), firstConnect));
            const QVariantList now = observe(rig);
            if (now != fresh)
                reportDifference("the state at the start", described(now), described(fresh));
            FUZZ_REQUIRE(now == fresh);
        }
        FuzzBytes input(data, size);
        play(rig, input);
        if (!checksReset)
            return;
        const QStringList shared = trace(rig);
        LinkRig alone;
        begin(alone);
        FuzzBytes again(data, size);
        play(alone, again);
        const QStringList own = trace(alone);
        if (shared != own)
            reportDifference("the trace", shared, own);
        FUZZ_REQUIRE(shared == own);
    }

private:
    // Returns what the manager asked of the chair on the way.
    QList<FakeCall> begin(LinkRig& r)
    {
        start(r);
        const QList<FakeCall> made = r.central->calls();
        r.central->clearCalls();
        r.log.clear();
        return made;
    }

    // The user disconnects; whatever the input planned runs out with nothing left to do, and
    // the chair is put back as it was made.
    void letGo()
    {
        rig.central->flush();
        rig.manager->disconnect();
        rig.central->flush();
        // Delays (a planned reconnect, a wake pulse) are not cancellable: they find their
        // reason gone. Run them now rather than during the next input.
        for (int i = 0; i < 60 && rig.scheduler.pendingDelays() > 0; ++i)
            rig.advance(std::chrono::seconds(1));
        FUZZ_REQUIRE(rig.manager->connectionState() == ConnectionState::disconnected);
        FUZZ_REQUIRE(rig.scheduler.activeTimers() == 0 && rig.scheduler.pendingDelays() == 0);
        FUZZ_REQUIRE(rig.central->pendingAnswers() == 0 && !rig.central->isLinked(rig.chair.get()));
        FakePeripheral& chair = *rig.chair;
        chair.gatt = gatt;
        chair.values = values;
        chair.writeErrors.clear();
        chair.readErrors.clear();
        chair.discoveryError.clear();
        chair.answersDiscovery = true;
        chair.answersReads = true;
        chair.onWrite = nullptr;
        rig.central->clearCalls();
    }

    Setup start;
    Play play;
    const bool checksReset;
    LinkRig rig;
    QMap<QBluetoothUuid, QList<QBluetoothUuid>> gatt;
    QHash<QBluetoothUuid, QByteArray> values;
    QList<FakeCall> firstConnect;
    QVariantList fresh;
    quint64 inputs = 0;
};
