// Every value a chair can send, of any length, through its decoder and through the manager's
// one entry for incoming values. The input is a run of values: a byte picks the
// characteristic (its top bit also lets three seconds pass afterwards, one countdown poll), a
// length byte, then the value.
#include "ChairCodec.h"
#include "LinkRig.h"
#include "WifiStatus.h"

#include <QList>
#include <QStringDecoder>
#include <QtEndian>

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

void checkDecoders(const QByteArray& value)
{
    const auto size = value.size();
    const auto byte = [&](qsizetype i) { return static_cast<quint8>(value[i]); };

    const auto state = ChairCodec::decodeChairState(value);
    FUZZ_REQUIRE(state.has_value() == (size >= 3));
    if (state) {
        FUZZ_REQUIRE(state->leftLegUp == (byte(0) == 0));
        FUZZ_REQUIRE(state->rightLegUp == (byte(1) == 0));
        FUZZ_REQUIRE(state->chairMode == byte(2));
    }

    FUZZ_REQUIRE(ChairCodec::decodeAutoModeOn(value) == (size > 0 && byte(0) != 0));

    const auto minutes = ChairCodec::decodePeriodMinutes(value);
    FUZZ_REQUIRE(minutes.has_value() == (size >= 4));
    if (minutes) {
        FUZZ_REQUIRE(std::isfinite(*minutes) && *minutes >= 0 && *minutes <= largestU32 / 60.0);
        // Whole seconds on the wire: minutes back to seconds lands on the same number.
        FUZZ_REQUIRE(std::round(*minutes * 60.0) == qFromLittleEndian<quint32>(value.constData()));
    }

    const qint64 pattern = ChairCodec::decodePattern(value);
    FUZZ_REQUIRE(pattern == (size > 0 ? byte(0) : 0));

    const auto countdown = ChairCodec::decodeCountdown(value);
    FUZZ_REQUIRE(countdown.has_value() == (size >= 4));
    if (countdown)
        FUZZ_REQUIRE(isWholeNumberIn(*countdown, 0, largestU32));

    const auto strength = ChairCodec::decodeMotorStrength(value);
    FUZZ_REQUIRE(strength.has_value() == (size >= 1));
    if (strength)
        FUZZ_REQUIRE(*strength == byte(0));

    const auto odometer = ChairCodec::decodeOdometer(value);
    FUZZ_REQUIRE(odometer.has_value() == (size >= 4));
    if (odometer)
        FUZZ_REQUIRE(*odometer == qFromLittleEndian<quint32>(value.constData()));

    // Text is the bytes themselves or nothing; a leading byte-order mark is not text.
    const QString text = ChairCodec::decodeText(value);
    if (!text.isEmpty()) {
        const QByteArray bom("\xEF\xBB\xBF");
        const QByteArray body = value.startsWith(bom) ? value.mid(bom.size()) : value;
        FUZZ_REQUIRE(text.toUtf8() == body);
    }

    const auto status = Wifi::decodeWiFiStatus(value);
    FUZZ_REQUIRE(Wifi::wifiStatusFromByte(static_cast<quint8>(status)).has_value());
    if (size > 0 && (byte(0) <= 0x09 || byte(0) == 0xFF))
        FUZZ_REQUIRE(static_cast<quint8>(status) == byte(0));
    else
        FUZZ_REQUIRE(status == Wifi::WiFiStatus::unknown);
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

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    startFuzzRun();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzBytes input(data, size);
    LinkRig rig;
    rig.connect();
    FUZZ_REQUIRE(rig.manager->connectionState() == ConnectionState::ready);
    const auto& all = characteristics();
    while (!input.atEnd()) {
        const quint8 pick = input.next();
        const QBluetoothUuid& characteristic = all[(pick & 0x7F) % all.size()];
        const QByteArray value = input.takeValue();
        checkDecoders(value);
        rig.report(characteristic, value);
        if (pick & 0x80)
            rig.advance(3s);
        checkManager(*rig.manager);
    }
    return 0;
}
