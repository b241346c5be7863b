// The chair's network list: it reports a count, then one name per index written. The input is
// a script of what the chair and the radio do meanwhile — answers with any bytes, late,
// twice, failed or never, stray write confirmations, time passing, rescans by the user, link
// drops — one operation byte each, some followed by a value.
#include "LinkRig.h"

using namespace ChairProfile;
using namespace std::chrono_literals;

namespace {

// The count is one byte: no scan can list more names than that.
constexpr int mostNetworks = 255;

enum Operation : quint8 {
    setCountValue,  // what later count reads return
    setNameValue,   // what later name reads return
    sendCount,      // a count arrives, asked for or not
    sendName,       // a name arrives, asked for or not
    failRead,       // a read of the counter or of a name fails
    confirmWrite,   // an index write is confirmed (again), with or without an error
    toggleAnswers,  // the chair stops or resumes answering reads by itself
    deliverOne,     // the oldest queued answer arrives
    deliverAll,     // every queued answer arrives
    passTime,       // up to a minute passes
    rescan,         // the user asks for the list again
    sendWifiStatus, // the chair reports its WiFi status
    dropLink,       // the link drops; the manager reconnects on its own
    operationCount
};

void checkList(const BluetoothManager& m)
{
    const QStringList names = m.availableNetworks();
    FUZZ_REQUIRE(names.size() <= mostNetworks);
    for (const QString& name : names)
        FUZZ_REQUIRE(!name.isEmpty());
}

void step(LinkRig& rig, FuzzBytes& input)
{
    FakePeripheral& chair = *rig.chair;
    FakeBleCentral& central = *rig.central;
    FakePeripheral* self = &chair; // the rig holds the chair for the whole run
    switch (input.next() % operationCount) {
    case setCountValue: chair.values[wifiSSIDListCounterUUID] = input.takeValue(); break;
    case setNameValue: chair.values[wifiSSIDSingleUUID] = input.takeValue(); break;
    case sendCount: chair.notify(wifiSSIDListCounterUUID, input.takeValue()); break;
    case sendName: chair.notify(wifiSSIDSingleUUID, input.takeValue()); break;
    case failRead: {
        const auto c = input.next() & 1 ? wifiSSIDSingleUUID : wifiSSIDListCounterUUID;
        central.enqueue([self, c] {
            Q_EMIT self->valueUpdated(c, QByteArray(), QStringLiteral("read failed"));
        });
        break;
    }
    case confirmWrite: {
        const QString error = input.next() & 1 ? QStringLiteral("write failed") : QString();
        central.enqueue(
            [self, error] { Q_EMIT self->valueWritten(wifiSSIDListCounterUUID, error); });
        break;
    }
    case toggleAnswers: chair.answersReads = !chair.answersReads; break;
    case deliverOne: central.deliverNext(); break;
    case deliverAll: central.flush(); break;
    case passTime: rig.scheduler.advance(std::chrono::milliseconds(input.next()) * 250); break;
    case rescan: rig.manager->scanForNetworks(); break;
    case sendWifiStatus: chair.notify(wifiStatusUUID, input.takeValue()); break;
    case dropLink:
        if (central.isLinked(&chair))
            central.dropLink(&chair);
        break;
    }
}

// Offline: the WiFi check sends the manager to setup, where the first list is empty. The
// script then starts with a scan waiting for its count.
void start(LinkRig& rig)
{
    rig.chair->values[wifiStatusUUID] = QByteArray(1, '\x05');
    rig.connect();
    rig.chair->answersReads = false;
    rig.manager->scanForNetworks();
}

void play(LinkRig& rig, FuzzBytes& input)
{
    while (!input.atEnd()) {
        step(rig, input);
        checkList(*rig.manager);
    }
    // However the chair behaved, the list ends once it falls silent: no endless spinner. The
    // offline grace period (300 s) may start one last scan late, so wait beyond it.
    rig.chair->answersReads = false;
    for (int i = 0; i < 32 && rig.manager->isLoadingNetworks(); ++i)
        rig.advance(11s);
    FUZZ_REQUIRE(!rig.manager->isLoadingNetworks());
    checkList(*rig.manager);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    startFuzzRun();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static SharedLink link(start, play);
    link.run(data, size);
    return 0;
}
