// The chair's byte layouts, without a link: every edge a chair (or a broken one) can send.
#include "ChairCodec.h"
#include "LinkFixture.h"

#include <QtTest>

#include <limits>

using namespace ChairCodec;

namespace {

using Seconds = std::optional<double>; // or minutes, or percent
using Count = std::optional<quint32>;
using Bytes = std::optional<QByteArray>;

constexpr float infinity = std::numeric_limits<float>::infinity();
constexpr float notANumber = std::numeric_limits<float>::quiet_NaN();

QString legsAndMode(const QByteArray& value)
{
    const auto state = decodeChairState(value);
    if (!state)
        return QStringLiteral("none");
    const auto leg = [](bool up) { return up ? QStringLiteral("up") : QStringLiteral("down"); };
    return leg(state->leftLegUp) + ' ' + leg(state->rightLegUp) + ' ' +
           QString::number(state->chairMode);
}

} // namespace

class ChairCodecTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void chairStateReadsLegsAndMode()
    {
        QCOMPARE(legsAndMode(bytes({0x00, 0x01, 0x01})), QStringLiteral("up down 1"));
        // Any byte but 0x00 is a lowered leg; bytes after the mode are ignored.
        QCOMPARE(legsAndMode(bytes({0x02, 0x00, 0x03, 0x99})), QStringLiteral("down up 3"));
        QCOMPARE(legsAndMode(bytes({0xFF, 0xFF, 0x00})), QStringLiteral("down down 0"));
        QCOMPARE(legsAndMode(bytes({0x00, 0x00})), QStringLiteral("none"));
        QCOMPARE(legsAndMode(QByteArray()), QStringLiteral("none"));
    }

    void autoModeAndPatternBytes()
    {
        QVERIFY(decodeAutoModeOn(bytes({0x01})));
        QVERIFY(decodeAutoModeOn(bytes({0x02})));
        QVERIFY(!decodeAutoModeOn(bytes({0x00})));
        QVERIFY(!decodeAutoModeOn(QByteArray()));

        QCOMPARE(decodePattern(bytes({0x02, 0x07})), qint64(2));
        QCOMPARE(decodePattern(bytes({0xFF})), qint64(255));
        QCOMPARE(decodePattern(QByteArray()), qint64(0));
    }

    void periodIsWholeSecondsInMinutes()
    {
        QCOMPARE(decodePeriodMinutes(bytes({0x2C, 0x01, 0x00, 0x00})), Seconds(5.0));
        QCOMPARE(decodePeriodMinutes(bytes({0x5A, 0x00, 0x00, 0x00})), Seconds(1.5));
        // No rounding of odd seconds, and the high bytes count.
        QCOMPARE(decodePeriodMinutes(bytes({0x01, 0x00, 0x00, 0x00, 0xAA})), Seconds(1.0 / 60.0));
        QCOMPARE(decodePeriodMinutes(bytes({0x00, 0x00, 0x01, 0x00})), Seconds(65536.0 / 60.0));
        QCOMPARE(decodePeriodMinutes(bytes({0x00, 0x00, 0x00, 0x01})), Seconds(16777216.0 / 60.0));
        QVERIFY(!decodePeriodMinutes(bytes({0x2C, 0x01, 0x00})));
    }

    void countdownIsWholeNonNegativeSeconds()
    {
        QCOMPARE(decodeCountdown(floatBytes(12.7f)), Seconds(12.0));
        QCOMPARE(decodeCountdown(floatBytes(0.0f)), Seconds(0.0));
        QCOMPARE(decodeCountdown(floatBytes(-3.0f)), Seconds(0.0));
        QCOMPARE(decodeCountdown(floatBytes(notANumber)), Seconds(0.0));
        QCOMPARE(decodeCountdown(floatBytes(infinity)), Seconds(0.0));
        QCOMPARE(decodeCountdown(floatBytes(-infinity)), Seconds(0.0));
        QCOMPARE(decodeCountdown(floatBytes(1e20f)), Seconds(4294967295.0));
        QCOMPARE(decodeCountdown(floatBytes(std::numeric_limits<float>::max())),
                 Seconds(4294967295.0));

        QCOMPARE(decodeCountdown(floatBytes(42.5f) + '\x7F'), Seconds(42.0));
        QVERIFY(!decodeCountdown(floatBytes(12.7f).left(3)));
    }

    void motorStrengthIsTakenAsSent()
    {
        QCOMPARE(decodeMotorStrength(bytes({35})), Seconds(35.0));
        QCOMPARE(decodeMotorStrength(bytes({200, 1})), Seconds(200.0));
        QVERIFY(!decodeMotorStrength(QByteArray()));
    }

    void odometerIsLittleEndian()
    {
        QCOMPARE(decodeOdometer(bytes({0x01, 0x02, 0x03, 0x04})), Count(0x04030201u));
        QCOMPARE(decodeOdometer(bytes({0xFF, 0xFF, 0xFF, 0xFF})), Count(4294967295u));
        QCOMPARE(decodeOdometer(bytes({0x10, 0x00, 0x00, 0x00, 0xFF})), Count(16u));
        QVERIFY(!decodeOdometer(bytes({0x01, 0x02, 0x03})));
    }

    void textMustBeValidUtf8()
    {
        QCOMPARE(decodeText(QByteArray("1.4.2")), QStringLiteral("1.4.2"));
        QCOMPARE(decodeText(QByteArray("VP-Zürich")), QStringLiteral("VP-Zürich"));
        QCOMPARE(decodeText(QByteArray()), QString());
        QCOMPARE(decodeText(bytes({'V', 'P', 0xC3, 0x28})), QString());
        QCOMPARE(decodeText(bytes({'V', 'P', 0xFF})), QString());
        // A multi-byte character cut off at the end of the value.
        QCOMPARE(decodeText(bytes({'V', 'P', 0xE2, 0x82})), QString());
        // A leading byte-order mark is not part of the text.
        QCOMPARE(decodeText(bytes({0xEF, 0xBB, 0xBF, 'V', 'P'})), QStringLiteral("VP"));
    }

    void wifiStatusIsTheFirstByte()
    {
        const QList<WiFiStatus> cases{WiFiStatus::disabled,        WiFiStatus::notConfigured,
                                      WiFiStatus::errorConnecting, WiFiStatus::connecting,
                                      WiFiStatus::connected,       WiFiStatus::disconnected,
                                      WiFiStatus::wifiNotFound,    WiFiStatus::ssidPwInvalid,
                                      WiFiStatus::internalError,   WiFiStatus::disconnecting};
        for (int byte = 0; byte < cases.size(); ++byte)
            QCOMPARE(Wifi::decodeWiFiStatus(bytes({byte, 0x13})), cases[byte]);
        for (int byte : {0x0A, 0x10, 0x7F, 0xFE, 0xFF})
            QCOMPARE(Wifi::decodeWiFiStatus(bytes({byte})), WiFiStatus::unknown);
        QCOMPARE(Wifi::decodeWiFiStatus(QByteArray()), WiFiStatus::unknown);
    }

    void periodIsWrittenAsWholeSeconds()
    {
        QCOMPARE(encodePeriod(2.5), Bytes(bytes({0x96, 0x00, 0x00, 0x00})));
        QCOMPARE(encodePeriod(5.0), Bytes(bytes({0x2C, 0x01, 0x00, 0x00})));
        QCOMPARE(encodePeriod(1200.0), Bytes(bytes({0x40, 0x19, 0x01, 0x00})));
        // Halves of a second go away from zero: 7.5 s → 8, 22.5 s → 23.
        QCOMPARE(encodePeriod(0.125), Bytes(bytes({0x08, 0x00, 0x00, 0x00})));
        QCOMPARE(encodePeriod(0.375), Bytes(bytes({0x17, 0x00, 0x00, 0x00})));
        QCOMPARE(encodePeriod(0.37), Bytes(bytes({0x16, 0x00, 0x00, 0x00})));

        const Bytes zero(bytes({0x00, 0x00, 0x00, 0x00}));
        const Bytes largest(bytes({0xFF, 0xFF, 0xFF, 0xFF}));
        QCOMPARE(encodePeriod(-1.0), zero);
        QCOMPARE(encodePeriod(-0.375), zero);
        QCOMPARE(encodePeriod(1e12), largest);
        QCOMPARE(encodePeriod(infinity), largest);
        QCOMPARE(encodePeriod(-infinity), zero);
        QVERIFY(!encodePeriod(notANumber));
    }

    void motorStrengthByteStaysInRange()
    {
        QCOMPARE(motorStrengthByte(12), quint8(20));
        QCOMPARE(motorStrengthByte(19.4), quint8(20));
        QCOMPARE(motorStrengthByte(34.5), quint8(35));
        QCOMPARE(motorStrengthByte(35.5), quint8(36));
        QCOMPARE(motorStrengthByte(35.49), quint8(35));
        QCOMPARE(motorStrengthByte(50.4), quint8(50));
        QCOMPARE(motorStrengthByte(80), quint8(50));
        const quint8 fromNaN = motorStrengthByte(notANumber);
        QVERIFY(fromNaN >= 20 && fromNaN <= 50);
    }

    void minutesAreShownWithADecimal()
    {
        QCOMPARE(formatMinutes(5), QStringLiteral("5.0"));
        QCOMPARE(formatMinutes(7.5), QStringLiteral("7.5"));
        QCOMPARE(formatMinutes(0.1), QStringLiteral("0.1"));
        QCOMPARE(formatMinutes(12.25), QStringLiteral("12.25"));
        QCOMPARE(formatMinutes(100), QStringLiteral("100.0"));
        QCOMPARE(formatMinutes(1.0 / 60.0), QStringLiteral("0.016666666666666666"));
    }
};

QTEST_GUILESS_MAIN(ChairCodecTest)
#include "tst_chaircodec.moc"
