// Every value a chair can send, of any length, through the manager's one entry for incoming
// values, which hands each to its decoder (the decoders' results are pinned in the codec suite).
// The input is a run of values: a byte picks the characteristic (its top bit also lets three
// seconds pass afterwards, one countdown poll), a length byte, then the value.
#include "LinkRig.h"
#include "WifiStatus.h"

#include <QList>

#include <cmath>
#include <limits>

using namespace ChairProfile;
using namespace std::chrono_literals;

namespace {

constexpr double largestU32 = std::numeric_limits<quint32>::max();

const QList<QBluetoothUuid>& characteristics()
{
    static const QList<QBluetoothUuid> all = [] {
        QList<QBluetoothUuid> list;
        for (const QBluetoothUuid& service : services())
            list += characteristicsOf(service);
        // Something a later firmware may add: it must be ignored.
        list += uuid("730c00ff-7ec9-4dd5-ba24-44a04e14cf08");
        return list;
    }();
    return all;
}

bool isWholeNumberIn(double value, double low, double high)
{
    return std::isfinite(value) && value >= low && value <= high && std::floor(value) == value;
}

// What the screens show must stay a figure they can show, whatever the chair said.
void checkManager(const BluetoothManager& m)
{
    FUZZ_REQUIRE(isWholeNumberIn(m.countdownSeconds(), 0, largestU32));
    FUZZ_REQUIRE(std::isfinite(m.autoPeriodMinutes()) && m.autoPeriodMinutes() >= 0);
    FUZZ_REQUIRE(isWholeNumberIn(m.motorStrength(), 0, 255));
    FUZZ_REQUIRE(m.autoModePattern() >= 0 && m.autoModePattern() <= 255);
    FUZZ_REQUIRE(m.sessionMoves() >= 0);
    FUZZ_REQUIRE(m.lifetimeMoves().value_or(0) >= 0);
    FUZZ_REQUIRE(Wifi::wifiStatusFromByte(static_cast<quint8>(m.wifiStatus())).has_value());
    // Values never end the link.
    const ConnectionState state = m.connectionState();
    FUZZ_REQUIRE(state == ConnectionState::ready || state == ConnectionState::wifiSetup);
}

void play(LinkRig& rig, FuzzBytes& input)
{
    const auto& all = characteristics();
    while (!input.atEnd()) {
        const quint8 pick = input.next();
        const QBluetoothUuid& characteristic = all[(pick & 0x7F) % all.size()];
        rig.report(characteristic, input.takeValue());
        if (pick & 0x80)
            rig.advance(3s);
        checkManager(*rig.manager);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    startFuzzRun();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static SharedLink link([](LinkRig& rig) { rig.connect(); }, play);
    link.run(data, size);
    return 0;
}
