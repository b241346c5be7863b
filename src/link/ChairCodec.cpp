#include "ChairCodec.h"

#include <QLocale>
#include <QStringDecoder>
#include <QtEndian>

#include <bit>
#include <cmath>
#include <limits>

namespace ChairCodec {

namespace {

quint32 readU32(QByteArrayView value)
{
    return qFromLittleEndian<quint32>(value.data());
}

QByteArray u32Bytes(quint32 number)
{
    QByteArray bytes(4, '\0');
    qToLittleEndian(number, bytes.data());
    return bytes;
}

quint8 byteAt(QByteArrayView value, qsizetype index)
{
    return static_cast<quint8>(value[index]);
}

} // namespace

std::optional<ChairState> decodeChairState(QByteArrayView value)
{
    if (value.size() < 3)
        return std::nullopt;
    return ChairState{byteAt(value, 0) == 0x00, byteAt(value, 1) == 0x00, byteAt(value, 2)};
}

bool decodeAutoModeOn(QByteArrayView value)
{
    return !value.isEmpty() && byteAt(value, 0) != 0x00;
}

std::optional<double> decodePeriodMinutes(QByteArrayView value)
{
    if (value.size() < 4)
        return std::nullopt;
    return static_cast<double>(readU32(value)) / 60.0;
}

qint64 decodePattern(QByteArrayView value)
{
    return value.isEmpty() ? 0 : byteAt(value, 0);
}

std::optional<double> decodeCountdown(QByteArrayView value)
{
    if (value.size() < 4)
        return std::nullopt;
    const double seconds = std::floor(static_cast<double>(std::bit_cast<float>(readU32(value))));
    if (!std::isfinite(seconds) || seconds < 0)
        return 0.0;
    constexpr double largest = std::numeric_limits<quint32>::max();
    return seconds > largest ? largest : seconds;
}

std::optional<double> decodeMotorStrength(QByteArrayView value)
{
    if (value.isEmpty())
        return std::nullopt;
    return static_cast<double>(byteAt(value, 0));
}

std::optional<quint32> decodeOdometer(QByteArrayView value)
{
    if (value.size() < 4)
        return std::nullopt;
    return readU32(value);
}

QString decodeText(QByteArrayView value)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(value);
    if (decoder.hasError())
        return {};
    return text;
}

QByteArray encodeToggle(bool rightLeg)
{
    return QByteArray(1, rightLeg ? '\x01' : '\x00');
}

QByteArray encodeAutoMode(bool on)
{
    return QByteArray(1, on ? '\x01' : '\x00');
}

QByteArray encodePattern(quint8 pattern)
{
    return QByteArray(1, static_cast<char>(pattern));
}

std::optional<QByteArray> encodePeriod(double minutes)
{
    const double seconds = std::round(minutes * 60.0);
    if (std::isnan(seconds))
        return std::nullopt;
    constexpr double largest = std::numeric_limits<quint32>::max();
    const double clamped = seconds < 0 ? 0 : (seconds > largest ? largest : seconds);
    return u32Bytes(static_cast<quint32>(clamped));
}

double snapPeriodMinutes(double minutes)
{
    return std::round(minutes * 6.0) / 6.0;
}

quint8 motorStrengthByte(double percent)
{
    const double rounded = std::round(percent);
    if (std::isnan(rounded) || rounded < motorStrengthMinimum)
        return motorStrengthMinimum;
    if (rounded > motorStrengthMaximum)
        return motorStrengthMaximum;
    return static_cast<quint8>(rounded);
}

QString formatMinutes(double minutes)
{
    QString text = QString::number(minutes, 'g', QLocale::FloatingPointShortest);
    if (std::isfinite(minutes) && !text.contains(u'.') && !text.contains(u'e'))
        text += QStringLiteral(".0");
    return text;
}

} // namespace ChairCodec
