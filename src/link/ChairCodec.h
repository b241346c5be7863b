#pragma once

#include "LinkTypes.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

// Byte layouts of the chair's values. Multi-byte numbers are little-endian; bytes beyond a
// layout are ignored; a value shorter than its layout gives no value.
namespace ChairCodec {

struct ChairState {
    bool leftLegUp = true;
    bool rightLegUp = true;
    quint8 chairMode = 0;
};
inline constexpr quint8 chairModeAutomatic = 0x01;
inline constexpr quint8 chairModeAsleep = 0x03;

// A leg is up when its byte is 0x00.
std::optional<ChairState> decodeChairState(QByteArrayView value);
// Automatic mode switched on by the chair; a zero byte or an empty value says nothing.
bool decodeAutoModeOn(QByteArrayView value);
// The period in minutes, from whole seconds.
std::optional<double> decodePeriodMinutes(QByteArrayView value);
// The pattern index; an empty value gives 0.
qint64 decodePattern(QByteArrayView value);
// Whole seconds to the next transition, in [0, 2^32 - 1]; anything not finite gives 0.
std::optional<double> decodeCountdown(QByteArrayView value);
// Motor-sound strength in percent, as the chair sends it.
std::optional<double> decodeMotorStrength(QByteArrayView value);
// One leg's lifetime move count.
std::optional<quint32> decodeOdometer(QByteArrayView value);
// UTF-8 text; bytes that are not valid UTF-8 give the empty string.
QString decodeText(QByteArrayView value);

QByteArray encodeToggle(bool rightLeg);
QByteArray encodeAutoMode(bool on);
QByteArray encodePattern(quint8 pattern);
// Minutes to whole seconds (halves away from zero), clamped to the 32-bit range; no value for
// a period that is not a number.
std::optional<QByteArray> encodePeriod(double minutes);
// The automatic-mode period a user may choose, in minutes, in steps of 10 seconds.
inline constexpr double periodMinimumMinutes = 1.0;
inline constexpr double periodMaximumMinutes = 10.0;
inline constexpr double periodStepMinutes = 1.0 / 6.0;
// The nearest step of 10 seconds (halves away from zero).
double snapPeriodMinutes(double minutes);

// The motors' strength range, in percent.
inline constexpr int motorStrengthMinimum = 20;
inline constexpr int motorStrengthMaximum = 50;
// The strength rounded (halves away from zero) and clamped to the range.
quint8 motorStrengthByte(double percent);

// Shortest decimal that reads back as the same double, with at least one decimal: 5.0, 7.5.
QString formatMinutes(double minutes);

} // namespace ChairCodec
