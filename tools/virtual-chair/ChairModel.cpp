#include "ChairModel.h"

#include "ChairProfile.h"

#include <QCryptographicHash>
#include <QtEndian>

#include <algorithm>
#include <bit>
#include <climits>

using namespace ChairProfile;
using namespace std::chrono_literals;

namespace {

constexpr int maxChunk = 250;
constexpr quint32 flashPageSize = 2048;
constexpr auto flashPrepareTime = 200ms;
constexpr auto installDelay = 1500ms;
constexpr auto wifiRestartDelay = 200ms;

// Chair-state event codes; the program only takes them as signs of life.
constexpr quint8 eventLeftMoved = 0x01;
constexpr quint8 eventRightMoved = 0x02;
constexpr quint8 eventWoke = 0x10;

constexpr quint8 modeIdle = 0x00;
constexpr quint8 modeAuto = 0x01;
constexpr quint8 modeAsleep = 0x03;

constexpr quint8 wifiNotConfigured = 0x01;
constexpr quint8 wifiConnected = 0x04;
constexpr quint8 wifiDisconnected = 0x05;
constexpr quint8 wifiNotFound = 0x06;
constexpr quint8 wifiPasswordInvalid = 0x07;

QByteArray oneByte(unsigned value)
{
    return QByteArray(1, char(quint8(value)));
}

QByteArray u32le(quint32 value)
{
    QByteArray bytes(4, '\0');
    qToLittleEndian(value, bytes.data());
    return bytes;
}

quint32 u32leAt(const QByteArray& bytes, qsizetype offset = 0)
{
    return qFromLittleEndian<quint32>(bytes.constData() + offset);
}

ChairModel::WriteResult attError(quint8 code)
{
    return {
        QStringLiteral("org.bluez.Error.Failed"),
        QStringLiteral("Operation failed with ATT error: 0x%1").arg(code, 2, 16, QLatin1Char('0'))};
}

// ATT codes the chair answers with.
constexpr quint8 attInvalidLength = 0x0d;
constexpr quint8 attUnlikely = 0x0e;
constexpr quint8 attValueNotAllowed = 0x13;

int timerMs(std::chrono::milliseconds duration)
{
    return int(std::clamp<qint64>(duration.count(), 0, INT_MAX));
}

} // namespace

ChairModel::ChairModel(const Identity& identity, const ChairSettings& settings, QObject* parent)
    : QObject(parent)
    , identity(identity)
    , settings(settings)
    , odometer{identity.leftOdometer, identity.rightOdometer}
{
    if (!settings.onlineSsid.isEmpty()) {
        wifiStatus = wifiConnected;
        wifiSsid = settings.onlineSsid;
    }

    autoTimer.setSingleShot(true);
    autoTimer.setTimerType(Qt::PreciseTimer);
    connect(&autoTimer, &QTimer::timeout, this, &ChairModel::autoTransition);

    idleTimer.setSingleShot(true);
    connect(&idleTimer, &QTimer::timeout, this, &ChairModel::fallAsleep);
    restartIdleTimer();

    connect(&flashTimer, &QTimer::timeout, this, &ChairModel::flashStep);

    installTimer.setSingleShot(true);
    connect(&installTimer, &QTimer::timeout, this, &ChairModel::installUpdate);
}

quint8 ChairModel::chairMode() const
{
    if (asleep)
        return modeAsleep;
    return autoOn ? modeAuto : modeIdle;
}

QByteArray ChairModel::chairStateValue() const
{
    // A leg byte of 0x00 means the leg is up.
    QByteArray value(3, '\0');
    value[0] = char(legUp[0] ? 0x00 : 0x01);
    value[1] = char(legUp[1] ? 0x00 : 0x01);
    value[2] = char(chairMode());
    return value;
}

std::optional<QByteArray> ChairModel::read(const QBluetoothUuid& c) const
{
    if (c == chairStateUUID)
        return chairStateValue();
    if (c == chairStateEventUUID)
        return lastEvent;
    if (c == sendEventsUUID)
        return oneByte(sendEvents ? 1 : 0);
    if (c == autoModeUUID)
        return oneByte(autoOn ? 1 : 0);
    if (c == autoPeriodUUID)
        return u32le(periodSeconds);
    if (c == autoModeSelectorUUID)
        return oneByte(pattern);
    if (c == timeToNextTransitionUUID) {
        float seconds = 0.0f;
        if (autoOn) {
            const auto left = transitionDue - std::chrono::steady_clock::now();
            seconds = std::max(0.0f, std::chrono::duration<float>(left).count());
        }
        return u32le(std::bit_cast<quint32>(seconds));
    }
    if (c == wifiSSIDUUID)
        return wifiStatus == wifiConnected ? wifiSsid.toUtf8() : QByteArray();
    if (c == wifiStatusUUID)
        return oneByte(wifiStatus);
    if (c == wifiCommandUUID)
        return QByteArray();
    if (c == wifiSSIDSingleUUID) {
        return networkIndex < settings.networks.size() ? settings.networks.at(networkIndex).toUtf8()
                                                       : QByteArray();
    }
    if (c == wifiSSIDListCounterUUID)
        return oneByte(unsigned(std::min<qsizetype>(settings.networks.size(), 255)));
    if (c == firmwareRevisionUUID)
        return settings.firmwareRevision.toUtf8();
    if (c == softwareRevisionUUID)
        return settings.softwareRevision.toUtf8();
    if (c == serialNumberUUID)
        return identity.serialNumber.toUtf8();
    if (c == userNameUUID)
        return userName.toUtf8();
    if (c == tzInfoUUID)
        return timeZone.toUtf8();
    if (c == leftMotorSoundUUID)
        return oneByte(motorSound[0]);
    if (c == rightMotorSoundUUID)
        return oneByte(motorSound[1]);
    if (c == leftOdometerUUID)
        return u32le(odometer[0]);
    if (c == rightOdometerUUID)
        return u32le(odometer[1]);
    if (c == otaV2BeginUUID)
        return oneByte(cpu1.begun ? 1 : 0);
    if (c == otaV1BeginUUID)
        return oneByte(cpu2.begun ? 1 : 0);
    if (c == otaV2StatusUUID)
        return flashStatusValue();
    return std::nullopt;
}

QByteArray ChairModel::flashStatusValue() const
{
    const auto record = [](quint32 code, quint32 page, quint32 totalPages) {
        return u32le(code) + u32le(page) + u32le(totalPages);
    };
    switch (flashPhase) {
    case FlashPhase::Idle: break;
    case FlashPhase::Preparing: return record(4, 0, flashTotalPages);
    case FlashPhase::Transmitting: return record(9, flashPage, flashTotalPages);
    case FlashPhase::Writing: return record(11, flashPage, flashTotalPages);
    case FlashPhase::Verifying: return record(13, flashTotalPages, flashTotalPages);
    case FlashPhase::Complete: return record(4, flashTotalPages, flashTotalPages);
    }
    return record(0, 0, 0);
}

ChairModel::WriteResult ChairModel::write(const QBluetoothUuid& c, const QByteArray& value)
{
    if (c == chairToggleUUID) {
        if (value.size() != 1)
            return attError(attInvalidLength);
        if (quint8(value[0]) > 1)
            return attError(attValueNotAllowed);
        command();
        scheduleMove(value[0] == 0 ? Leg::Left : Leg::Right);
        return {};
    }
    if (c == autoModeUUID) {
        if (value.size() != 1)
            return attError(attInvalidLength);
        // A sleeping chair takes its first command as the wake-up and nothing more.
        if (asleep) {
            wake();
            return {};
        }
        command();
        setAutoMode(value[0] != 0);
        return {};
    }
    if (c == autoPeriodUUID) {
        if (value.size() != 4)
            return attError(attInvalidLength);
        const quint32 seconds = u32leAt(value);
        if (seconds == 0)
            return attError(attValueNotAllowed);
        command();
        if (seconds != periodSeconds) {
            periodSeconds = seconds;
            emit notified(autoPeriodUUID, u32le(periodSeconds));
            if (autoOn)
                restartCountdown();
        }
        return {};
    }
    if (c == autoModeSelectorUUID) {
        if (value.size() != 1)
            return attError(attInvalidLength);
        if (quint8(value[0]) > 2)
            return attError(attValueNotAllowed);
        command();
        pattern = quint8(value[0]);
        patternStep = 0;
        return {};
    }
    if (c == sendEventsUUID) {
        if (value.size() != 1)
            return attError(attInvalidLength);
        sendEvents = value[0] != 0;
        return {};
    }
    if (c == leftMotorSoundUUID || c == rightMotorSoundUUID) {
        if (value.size() != 1)
            return attError(attInvalidLength);
        command();
        motorSound[c == leftMotorSoundUUID ? 0 : 1] = quint8(value[0]);
        return {};
    }
    if (c == wifiSSIDUUID) {
        pendingSsid = QString::fromUtf8(value);
        return {};
    }
    if (c == wifiPasswordUUID) {
        pendingPassword = QString::fromUtf8(value);
        return {};
    }
    if (c == wifiEnableUUID) {
        if (value.size() != 1)
            return attError(attInvalidLength);
        // The reply goes out first; then the chair restarts to join the network.
        if (value[0] == 1)
            QTimer::singleShot(wifiRestartDelay, this, [this] { restart(true); });
        return {};
    }
    if (c == wifiSSIDListCounterUUID) {
        if (value.size() != 1)
            return attError(attInvalidLength);
        networkIndex = quint8(value[0]);
        return {};
    }
    if (c == wifiCommandUUID)
        return {};
    if (c == tzInfoUUID) {
        timeZone = QString::fromUtf8(value);
        return {};
    }
    if (c == userNameUUID) {
        userName = QString::fromUtf8(value);
        return {};
    }
    if (c == otaV2BeginUUID)
        return writeBegin(cpu1, true, value);
    if (c == otaV1BeginUUID)
        return writeBegin(cpu2, false, value);
    if (c == otaV2DataUUID)
        return writeData(cpu1, true, value);
    if (c == otaV1DataUUID)
        return writeData(cpu2, false, value);
    return {QStringLiteral("org.bluez.Error.NotPermitted"), QStringLiteral("Write not permitted")};
}

void ChairModel::linkUp()
{
    connected = true;
    ++connects;
}

void ChairModel::linkDown()
{
    connected = false;
}

void ChairModel::notifyChairState()
{
    emit notified(chairStateUUID, chairStateValue());
}

void ChairModel::notifyEvent(quint8 code)
{
    lastEvent = oneByte(code);
    if (sendEvents)
        emit notified(chairStateEventUUID, lastEvent);
}

void ChairModel::command()
{
    restartIdleTimer();
}

void ChairModel::pressLeg(Leg leg)
{
    command();
    scheduleMove(leg);
}

void ChairModel::scheduleMove(Leg leg)
{
    QTimer::singleShot(settings.motorDelay, this, [this, leg] { moveLeg(leg); });
}

void ChairModel::moveLeg(Leg leg)
{
    const int i = int(leg);
    legUp[i] = !legUp[i];
    ++odometer[i];
    // Someone moving the chair wakes it.
    asleep = false;
    restartIdleTimer();
    notifyChairState();
    notifyEvent(leg == Leg::Left ? eventLeftMoved : eventRightMoved);
}

void ChairModel::restartIdleTimer()
{
    if (settings.idleSleep > 0ms)
        idleTimer.start(timerMs(settings.idleSleep));
}

void ChairModel::fallAsleep()
{
    if (asleep)
        return;
    asleep = true;
    idleTimer.stop();
    notifyChairState();
}

void ChairModel::wake()
{
    if (!asleep)
        return;
    asleep = false;
    restartIdleTimer();
    notifyChairState();
    notifyEvent(eventWoke);
}

void ChairModel::setAutoMode(bool on)
{
    if (on == autoOn)
        return;
    autoOn = on;
    if (on) {
        patternStep = 0;
        restartCountdown();
    } else {
        autoTimer.stop();
    }
    notifyChairState();
}

void ChairModel::restartCountdown()
{
    const std::chrono::milliseconds period = std::chrono::seconds(periodSeconds);
    transitionDue = std::chrono::steady_clock::now() + period;
    autoTimer.start(timerMs(period));
}

void ChairModel::autoTransition()
{
    bool target[2];
    switch (pattern) {
    case 0: {
        // Sit and stand: both legs together.
        const bool standUp = !legUp[0] || !legUp[1];
        target[0] = target[1] = standUp;
        break;
    }
    case 1:
        // Stilt walk: one leg down, the other up, then the other way round.
        target[0] = !legUp[0];
        target[1] = legUp[0];
        break;
    default: {
        // Three steps: sit, lean left, lean right.
        static constexpr bool cycle[3][2] = {{false, false}, {true, false}, {false, true}};
        target[0] = cycle[patternStep % 3][0];
        target[1] = cycle[patternStep % 3][1];
        break;
    }
    }
    ++patternStep;
    for (Leg leg : {Leg::Left, Leg::Right}) {
        if (legUp[int(leg)] != target[int(leg)])
            scheduleMove(leg);
    }
    restartCountdown();
}

void ChairModel::setWifiStatus(quint8 status)
{
    if (status == wifiStatus)
        return;
    wifiStatus = status;
    emit notified(wifiStatusUUID, oneByte(status));
}

bool ChairModel::setWifiOnline(bool online)
{
    if (!online) {
        setWifiStatus(wifiDisconnected);
        return true;
    }
    if (wifiSsid.isEmpty())
        return false;
    setWifiStatus(wifiConnected);
    return true;
}

void ChairModel::restart(bool applyWifi)
{
    if (away)
        return;
    away = true;
    autoOn = false;
    autoTimer.stop();
    asleep = false;
    idleTimer.stop();
    emit wentAway();
    QTimer::singleShot(settings.restartTime, this, [this, applyWifi] {
        if (applyWifi)
            applyWifiSettings();
        cpu1.begun = false;
        cpu2.begun = false;
        // Events are asked for anew after every boot.
        sendEvents = false;
        away = false;
        ++restarts;
        restartIdleTimer();
        emit cameBack();
    });
}

void ChairModel::applyWifiSettings()
{
    if (pendingSsid.isEmpty()) {
        wifiSsid.clear();
        setWifiStatus(wifiNotConfigured);
    } else if (!settings.networks.contains(pendingSsid)) {
        wifiSsid.clear();
        setWifiStatus(wifiNotFound);
    } else if (pendingPassword != settings.wifiPassword) {
        wifiSsid.clear();
        setWifiStatus(wifiPasswordInvalid);
    } else {
        wifiSsid = pendingSsid;
        setWifiStatus(wifiConnected);
    }
}

ChairModel::WriteResult ChairModel::firmwareError(const QString& text, quint8 code)
{
    firmwareErrors << text;
    return attError(code);
}

ChairModel::WriteResult ChairModel::writeBegin(Processor& cpu, bool isCpu1, const QByteArray& value)
{
    const QString label = isCpu1 ? QStringLiteral("CPU1") : QStringLiteral("CPU2");
    if (value.size() != 4) {
        return firmwareError(
            QStringLiteral("%1: begin record of %2 bytes, expected 4").arg(label).arg(value.size()),
            attInvalidLength);
    }
    // A new update replaces whatever install was pending.
    installTimer.stop();
    cpu.begun = true;
    cpu.size = u32leAt(value);
    cpu.image.clear();
    cpu.complete = cpu.size == 0;
    if (isCpu1) {
        flashTimer.stop();
        flashPage = 0;
        flashTotalPages = (cpu.size + flashPageSize - 1) / flashPageSize;
        flashPhase = cpu.complete ? FlashPhase::Complete : FlashPhase::Idle;
    }
    checkUpdateComplete();
    return {};
}

ChairModel::WriteResult ChairModel::writeData(Processor& cpu, bool isCpu1, const QByteArray& value)
{
    const QString label = isCpu1 ? QStringLiteral("CPU1") : QStringLiteral("CPU2");
    if (!cpu.begun)
        return firmwareError(QStringLiteral("%1: data before a begin record").arg(label),
                             attUnlikely);
    if (value.size() > maxChunk) {
        return firmwareError(QStringLiteral("%1: chunk of %2 bytes, at most %3 allowed")
                                 .arg(label)
                                 .arg(value.size())
                                 .arg(maxChunk),
                             attInvalidLength);
    }
    if (quint64(cpu.image.size()) + quint64(value.size()) > cpu.size) {
        return firmwareError(QStringLiteral("%1: chunk of %2 bytes at offset %3 passes the image "
                                            "size of %4 bytes")
                                 .arg(label)
                                 .arg(value.size())
                                 .arg(cpu.image.size())
                                 .arg(cpu.size),
                             attInvalidLength);
    }
    cpu.image += value;
    if (cpu.complete || quint64(cpu.image.size()) != cpu.size)
        return {};
    if (isCpu1) {
        startFlash();
    } else {
        cpu.complete = true;
        checkUpdateComplete();
    }
    return {};
}

void ChairModel::startFlash()
{
    flashPhase = FlashPhase::Preparing;
    flashPage = 0;
    flashTimer.start(flashPrepareTime);
}

void ChairModel::flashStep()
{
    flashTimer.setInterval(std::max(settings.flashPerPage, 1ms));
    switch (flashPhase) {
    case FlashPhase::Preparing:
        flashPhase = FlashPhase::Transmitting;
        flashPage = 0;
        return;
    case FlashPhase::Transmitting:
        if (++flashPage >= flashTotalPages) {
            flashPhase = FlashPhase::Writing;
            flashPage = 0;
        }
        return;
    case FlashPhase::Writing:
        if (++flashPage >= flashTotalPages)
            flashPhase = FlashPhase::Verifying;
        return;
    case FlashPhase::Verifying:
        flashPhase = FlashPhase::Complete;
        flashTimer.stop();
        cpu1.complete = true;
        checkUpdateComplete();
        return;
    case FlashPhase::Idle:
    case FlashPhase::Complete: flashTimer.stop(); return;
    }
}

void ChairModel::checkUpdateComplete()
{
    const bool anyBegun = cpu1.begun || cpu2.begun;
    const bool allDone = (!cpu1.begun || cpu1.complete) && (!cpu2.begun || cpu2.complete);
    // The pause lets the program's status poll see the completion before the chair reboots.
    if (anyBegun && allDone)
        installTimer.start(installDelay);
}

void ChairModel::installUpdate()
{
    for (Processor* cpu : {&cpu1, &cpu2}) {
        if (cpu->begun && cpu->complete) {
            cpu->sha256 = QString::fromLatin1(
                QCryptographicHash::hash(cpu->image, QCryptographicHash::Sha256).toHex());
        }
    }
    restart(false);
}

QVariantMap ChairModel::state() const
{
    return {
        {QStringLiteral("connected"), connected},
        {QStringLiteral("leftLegUp"), legUp[0]},
        {QStringLiteral("rightLegUp"), legUp[1]},
        {QStringLiteral("autoMode"), autoOn},
        {QStringLiteral("pattern"), quint32(pattern)},
        {QStringLiteral("periodSeconds"), periodSeconds},
        {QStringLiteral("userName"), userName},
        {QStringLiteral("timeZone"), timeZone},
        {QStringLiteral("motorSoundLeft"), quint32(motorSound[0])},
        {QStringLiteral("motorSoundRight"), quint32(motorSound[1])},
        {QStringLiteral("leftOdometer"), odometer[0]},
        {QStringLiteral("rightOdometer"), odometer[1]},
        {QStringLiteral("wifiStatus"), quint32(wifiStatus)},
        {QStringLiteral("wifiSsid"), wifiStatus == wifiConnected ? wifiSsid : QString()},
        {QStringLiteral("asleep"), asleep},
        {QStringLiteral("sendEvents"), sendEvents},
        {QStringLiteral("connects"), connects},
        {QStringLiteral("restarts"), restarts},
        {QStringLiteral("cpu1Size"), cpu1.size},
        {QStringLiteral("cpu1Received"), quint32(cpu1.image.size())},
        {QStringLiteral("cpu2Size"), cpu2.size},
        {QStringLiteral("cpu2Received"), quint32(cpu2.image.size())},
        {QStringLiteral("cpu1Sha256"), cpu1.sha256},
        {QStringLiteral("cpu2Sha256"), cpu2.sha256},
        {QStringLiteral("firmwareErrors"), firmwareErrors},
        {QStringLiteral("writes"), writeCalls},
    };
}
