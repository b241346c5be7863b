// Session and lifetime moves from leg changes and the odometers; sleep detection.
#include "BluetoothManager.h"

#include "ChairCodec.h"
#include "ChairProfile.h"
#include "Log.h"

#include <chrono>

using namespace ChairProfile;
using namespace std::chrono_literals;

void BluetoothManager::countMoves(bool newLeftUp, bool newRightUp)
{
    // The first report after link up only tells where the legs are.
    const int moves = (prevLeftLegUp && *prevLeftLegUp != newLeftUp ? 1 : 0) +
                      (prevRightLegUp && *prevRightLegUp != newRightUp ? 1 : 0);
    if (moves > 0) {
        setSessionMoves(sessionMoves_ + moves);
        if (lifetimeMoves_) {
            lifetimeMovesDelta += moves;
            setLifetimeMoves(lifetimeMovesBase + lifetimeMovesDelta);
        }
    }
    prevLeftLegUp = newLeftUp;
    prevRightLegUp = newRightUp;
}

void BluetoothManager::handleOdometerValue(const QBluetoothUuid& c, const QByteArray& value)
{
    const auto count = ChairCodec::decodeOdometer(value);
    if (!count)
        return;
    (c == leftOdometerUUID ? leftOdometerReading : rightOdometerReading) = *count;
    updateLifetimeMoves();
}

void BluetoothManager::updateLifetimeMoves()
{
    if (leftOdometerReading < 1 && rightOdometerReading < 1)
        return;
    const qint64 total = leftOdometerReading + rightOdometerReading;
    const qint64 local = lifetimeMovesBase + lifetimeMovesDelta;
    // The figure never falls back when an odometer lags behind the moves seen here.
    if (total >= local) {
        lifetimeMovesBase = total;
        lifetimeMovesDelta = 0;
        setLifetimeMoves(total);
    } else {
        setLifetimeMoves(local);
    }
    Log::line(QStringLiteral("📊 Odometer: L=%1 R=%2 total=%3 local=%4 displayed=%5")
                  .arg(leftOdometerReading)
                  .arg(rightOdometerReading)
                  .arg(total)
                  .arg(local)
                  .arg(*lifetimeMoves_));
    if (!lifetimeMovesTimer)
        lifetimeMovesTimer = scheduler.start(60s, true, [this] { readOdometers(); });
}

void BluetoothManager::readOdometers()
{
    if (!peripheral)
        return;
    readValue(leftOdometerUUID);
    readValue(rightOdometerUUID);
}

void BluetoothManager::resetSleepDetection()
{
    setChairIsAsleep(false);
    const auto timeout = std::chrono::duration_cast<Scheduler::Duration>(
        std::chrono::duration<double>(sleepTimeoutInterval));
    sleepDetectionTimer = scheduler.start(timeout, false, [this] { setChairIsAsleep(true); });
}

void BluetoothManager::markAsleep()
{
    sleepDetectionTimer.reset();
    setChairIsAsleep(true);
}

void BluetoothManager::clearMoveCounts()
{
    lifetimeMovesTimer.reset();
    setLifetimeMoves(std::nullopt);
    lifetimeMovesBase = 0;
    lifetimeMovesDelta = 0;
    leftOdometerReading = 0;
    rightOdometerReading = 0;
    setSessionMoves(0);
    prevLeftLegUp.reset();
    prevRightLegUp.reset();
}
