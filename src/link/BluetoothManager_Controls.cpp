// Legs, automatic mode, pattern, period, vibration strength, wake, and the countdown.
#include "BluetoothManager.h"

#include "ChairCodec.h"
#include "ChairProfile.h"
#include "Log.h"

#include <algorithm>

using namespace ChairProfile;
using namespace std::chrono_literals;

namespace {

QString patternName(qint64 pattern)
{
    switch (pattern) {
    case 0: return QStringLiteral("Sit to Stand");
    case 1: return QStringLiteral("Stiltas Through Standing");
    default: return QStringLiteral("Round Trip");
    }
}

} // namespace

void BluetoothManager::toggleLeg(bool right)
{
    if (isSimulating_) {
        Log::line(QStringLiteral("🪑 Simulated toggle: %1").arg(right ? u"Right" : u"Left"));
        // Someone trying the program without a chair sees the leg go, as a chair's would.
        afterInSimulation(500ms, [this, right] {
            if (right)
                setRightLegUp(!rightLegUp_);
            else
                setLeftLegUp(!leftLegUp_);
            setSessionMoves(sessionMoves_ + 1);
        });
        return;
    }
    writeValue(chairToggleUUID, ChairCodec::encodeToggle(right));
}

void BluetoothManager::setAutoMode(bool on)
{
    setAutoModeEnabled(on);
    // The switch goes out before the first countdown read: the chair answers requests in
    // order, and a read ahead of it would bring back the 0 of a chair not yet counting.
    if (!isSimulating_)
        writeValue(autoModeUUID, ChairCodec::encodeAutoMode(on));
    if (on) {
        startCountdownTimer();
        // The full period shows until the chair reports its own countdown.
        setCountdownSeconds(autoPeriodMinutes_ * 60.0);
    } else {
        stopCountdownTimer();
    }
    if (isSimulating_)
        Log::line(QStringLiteral("🪑 Simulated auto mode: %1").arg(on ? u"ON" : u"OFF"));
}

void BluetoothManager::setAutoModePattern(qint64 pattern)
{
    if (isSimulating_) {
        if (pattern < 0 || pattern > 2)
            return;
        setAutoModePattern_(pattern);
        Log::line(QStringLiteral("🪑 Simulated pattern: %1").arg(patternName(pattern)));
        return;
    }
    if (pattern < 0 || pattern > 255)
        return; // one byte on the wire
    setAutoModePattern_(pattern);
    writeValue(autoModeSelectorUUID, ChairCodec::encodePattern(static_cast<quint8>(pattern)));
}

void BluetoothManager::writeAutoPeriod()
{
    if (isSimulating_) {
        Log::line(QStringLiteral("🪑 Simulated period: %1 min")
                      .arg(ChairCodec::formatMinutes(autoPeriodMinutes_)));
        return;
    }
    if (const auto bytes = ChairCodec::encodePeriod(autoPeriodMinutes_))
        writeValue(autoPeriodUUID, *bytes);
}

void BluetoothManager::writeMotorStrength()
{
    const quint8 strength = ChairCodec::motorStrengthByte(motorStrength_);
    if (isSimulating_) {
        Log::line(QStringLiteral("🪑 Simulated motor strength: %1%").arg(strength));
        return;
    }
    // Both motors get the same strength, or neither does.
    if (!characteristicFor(leftMotorSoundUUID) || !characteristicFor(rightMotorSoundUUID))
        return;
    const QByteArray value(1, static_cast<char>(strength));
    writeValue(leftMotorSoundUUID, value);
    writeValue(rightMotorSoundUUID, value);
}

void BluetoothManager::wakeChair()
{
    if (isSimulating_) {
        Log::line(QStringLiteral("🪑 Simulated wake from sleep"));
        setChairIsAsleep(false);
        return;
    }
    // A short pulse of automatic mode wakes the chair.
    if (!writeValue(autoModeUUID, ChairCodec::encodeAutoMode(true)))
        return;
    scheduler.after(1s, this, [this] {
        if (writeValue(autoModeUUID, ChairCodec::encodeAutoMode(false)))
            switchAutoModeOffLocally();
    });
}

void BluetoothManager::startCountdownTimer()
{
    stopCountdownTimer();
    pollCountdown();
    countdownTimer = scheduler.start(3s, true, [this] { pollCountdown(); });
    tickTimer = scheduler.start(1s, true, [this] { tickCountdown(); });
}

void BluetoothManager::switchAutoModeOffLocally()
{
    setAutoModeEnabled(false);
    stopCountdownTimer();
}

void BluetoothManager::stopCountdownTimer()
{
    countdownTimer.reset();
    tickTimer.reset();
    setCountdownSeconds(0);
    zeroCountdownPolls = 0;
    hasSeenNonZeroCountdown = false;
}

void BluetoothManager::pollCountdown()
{
    if (isSimulating_) {
        // The simulated countdown starts over every period.
        if (countdownSeconds_ <= 0)
            setCountdownSeconds(autoPeriodMinutes_ * 60.0);
        return;
    }
    readValue(timeToNextTransitionUUID);
}

void BluetoothManager::tickCountdown()
{
    if (countdownSeconds_ > 0)
        setCountdownSeconds(std::max(0.0, countdownSeconds_ - 1.0));
}

void BluetoothManager::handleChairState(const QByteArray& value)
{
    const auto state = ChairCodec::decodeChairState(value);
    const bool saysAsleep = state && state->chairMode == ChairCodec::chairModeAsleep;
    // Any report is activity, even a short one; a chair that says it sleeps (again) stays
    // asleep without passing through awake, so its sleeping screen is not restarted.
    if (!saysAsleep)
        resetSleepDetection();
    if (!state)
        return;
    countMoves(state->leftLegUp, state->rightLegUp);
    setLeftLegUp(state->leftLegUp);
    setRightLegUp(state->rightLegUp);
    if (saysAsleep)
        markAsleep();
    else if (state->chairMode == ChairCodec::chairModeAutomatic)
        followChairAutoMode();
}

void BluetoothManager::followChairAutoMode()
{
    if (autoModeEnabled_)
        return;
    setAutoModeEnabled(true);
    startCountdownTimer();
}

void BluetoothManager::handleAutoModeValue(const QByteArray& value)
{
    // A zero never switches automatic mode off: only the user, a wake and the countdown do.
    if (ChairCodec::decodeAutoModeOn(value))
        followChairAutoMode();
}

void BluetoothManager::handlePeriodValue(const QByteArray& value)
{
    if (isEditingPeriod_)
        return; // the value written on release wins
    if (const auto minutes = ChairCodec::decodePeriodMinutes(value))
        setAutoPeriodMinutes(*minutes);
}

void BluetoothManager::handlePatternValue(const QByteArray& value)
{
    setAutoModePattern_(ChairCodec::decodePattern(value));
}

void BluetoothManager::handleMotorStrengthValue(const QByteArray& value)
{
    if (isEditingMotor_)
        return;
    if (const auto strength = ChairCodec::decodeMotorStrength(value))
        setMotorStrength(*strength);
}

void BluetoothManager::handleCountdownValue(const QByteArray& value)
{
    const auto countdown = ChairCodec::decodeCountdown(value);
    if (!countdown)
        return;
    setCountdownSeconds(*countdown);
    if (!autoModeEnabled_)
        return;
    if (*countdown > 0) {
        hasSeenNonZeroCountdown = true;
        zeroCountdownPolls = 0;
        return;
    }
    // A chair that has not started counting yet has not been cancelled.
    if (!hasSeenNonZeroCountdown)
        return;
    zeroCountdownPolls += 1;
    if (zeroCountdownPolls < 2)
        return;
    Log::line(
        QStringLiteral("🪑 Auto mode cancelled from chair hardware button (countdown=0 ×%1)")
            .arg(zeroCountdownPolls));
    switchAutoModeOffLocally();
}
