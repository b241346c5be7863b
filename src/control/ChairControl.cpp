#include "ChairControl.h"

#include "BluetoothManager.h"
#include "ChairCodec.h"
#include "ChairProfile.h"

#include <QFileInfo>
#include <QMetaEnum>
#include <QMetaMethod>
#include <QMetaProperty>
#include <QTimer>

#include <cmath>
#include <memory>

using namespace std::chrono_literals;
using namespace ChairProfile;

namespace {

// How long the chair may take to confirm a write, or a link to come up.
constexpr auto writeAnswerTime = 10s;
constexpr auto connectTime = 30s;

template <typename Enum> QString keyOf(Enum value)
{
    return QString::fromLatin1(QMetaEnum::fromType<Enum>().valueToKey(static_cast<int>(value)));
}

ControlOutcome refused(const QString& name, const QString& message)
{
    return ControlError{name, message};
}

bool isLinked(ConnectionState state)
{
    switch (state) {
    case ConnectionState::checkingWifi:
    case ConnectionState::wifiSetup:
    case ConnectionState::wifiConnecting:
    case ConnectionState::ready: return true;
    default: return false;
    }
}

std::optional<bool> sideIsRight(const QString& side)
{
    if (side == QLatin1String("left"))
        return false;
    if (side == QLatin1String("right"))
        return true;
    return std::nullopt;
}

ControlOutcome badSide(const QString& side)
{
    return refused(ControlErrors::invalidArgument,
                   QStringLiteral("Unknown leg \"%1\": use left or right.").arg(side));
}

} // namespace

// One call waiting for the chair: it answers once, whichever comes first.
struct ChairControl::Pending : QObject {
    ControlReply reply;
    QTimer deadline;

    Pending(QObject* parent, ControlReply r, std::chrono::milliseconds time,
            const QString& lateMessage)
        : QObject(parent)
        , reply(std::move(r))
    {
        deadline.setSingleShot(true);
        QObject::connect(&deadline, &QTimer::timeout, this, [this, lateMessage] {
            finish(refused(ControlErrors::timedOut, lateMessage));
        });
        deadline.start(time);
    }

    void finish(const ControlOutcome& outcome)
    {
        if (!reply)
            return;
        const ControlReply r = std::exchange(reply, nullptr);
        deleteLater();
        r(outcome);
    }
};

ChairControl::ChairControl(BluetoothManager& manager, QObject* parent)
    : QObject(parent)
    , manager(manager)
    , last(properties())
{
    // Every observable field of the manager may change a property.
    const QMetaObject* meta = manager.metaObject();
    const QMetaMethod diff = metaObject()->method(metaObject()->indexOfMethod("scheduleDiff()"));
    for (int i = 0; i < meta->propertyCount(); ++i) {
        const QMetaProperty property = meta->property(i);
        if (property.hasNotifySignal())
            QObject::connect(&manager, property.notifySignal(), this, diff);
    }
}

ChairControl::~ChairControl() = default;

const QList<ControlMethod>& ChairControl::methods()
{
    static const QList<ControlMethod> all = {
        {QStringLiteral("StartScan"), {}, {}},
        {QStringLiteral("CancelScan"), {}, {}},
        {QStringLiteral("Connect"), QStringLiteral("s"), {QStringLiteral("chair")}},
        {QStringLiteral("Disconnect"), {}, {}},
        {QStringLiteral("SetLeg"),
         QStringLiteral("sb"),
         {QStringLiteral("side"), QStringLiteral("up")}},
        {QStringLiteral("ToggleLeg"), QStringLiteral("s"), {QStringLiteral("side")}},
        {QStringLiteral("SetAutoMode"), QStringLiteral("b"), {QStringLiteral("on")}},
        {QStringLiteral("SetPattern"), QStringLiteral("u"), {QStringLiteral("pattern")}},
        {QStringLiteral("SetPeriod"), QStringLiteral("d"), {QStringLiteral("minutes")}},
        {QStringLiteral("SetMotorStrength"), QStringLiteral("u"), {QStringLiteral("percent")}},
        {QStringLiteral("Wake"), {}, {}},
        {QStringLiteral("ScanNetworks"), {}, {}},
        {QStringLiteral("JoinWiFi"),
         QStringLiteral("ss"),
         {QStringLiteral("ssid"), QStringLiteral("password")}},
        {QStringLiteral("StartFirmwareUpdate"), QStringLiteral("s"), {QStringLiteral("package")}},
        {QStringLiteral("ResetUpdate"), {}, {}},
    };
    return all;
}

const ControlMethod* ChairControl::method(const QString& name)
{
    for (const ControlMethod& m : methods())
        if (m.name == name)
            return &m;
    return nullptr;
}

QVariantMap ChairControl::properties() const
{
    const BluetoothManager& m = manager;
    QList<QVariantMap> chairs;
    for (const DiscoveredDevice& device : m.discoveredDevices())
        chairs.append({{QStringLiteral("Name"), device.name},
                       {QStringLiteral("Address"),
                        device.peripheral ? device.peripheral->address() : QString()},
                       {QStringLiteral("Rssi"), device.rssi}});
    const OTAState update = m.otaState();
    const double countdown = m.countdownSeconds();
    return {
        {QStringLiteral("ConnectionState"), keyOf(m.connectionState())},
        {QStringLiteral("Chairs"), QVariant::fromValue(chairs)},
        {QStringLiteral("DeviceName"), m.deviceName()},
        {QStringLiteral("SerialNumber"), m.serialNumber()},
        {QStringLiteral("SoftwareVersion"), m.softwareVersion()},
        {QStringLiteral("FirmwareVersion"), m.firmwareVersion()},
        {QStringLiteral("LeftLegUp"), m.leftLegUp()},
        {QStringLiteral("RightLegUp"), m.rightLegUp()},
        {QStringLiteral("AutoMode"), m.autoModeEnabled()},
        {QStringLiteral("Pattern"), static_cast<uint>(m.autoModePattern())},
        {QStringLiteral("PeriodMinutes"), m.autoPeriodMinutes()},
        {QStringLiteral("CountdownSeconds"),
         static_cast<uint>(std::isfinite(countdown) && countdown > 0 ? countdown : 0)},
        {QStringLiteral("MotorStrength"),
         static_cast<uint>(ChairCodec::motorStrengthByte(m.motorStrength()))},
        {QStringLiteral("SessionMoves"), m.sessionMoves()},
        {QStringLiteral("LifetimeMoves"), m.lifetimeMoves().value_or(-1)},
        {QStringLiteral("Asleep"), m.chairIsAsleep()},
        {QStringLiteral("WifiStatus"), keyOf(m.wifiStatus())},
        {QStringLiteral("WifiNetwork"), m.connectedSSID()},
        {QStringLiteral("Networks"), m.availableNetworks()},
        {QStringLiteral("NetworksLoading"), m.isLoadingNetworks()},
        {QStringLiteral("WifiError"), m.wifiErrorMessage().value_or(QString())},
        {QStringLiteral("UpdateState"), keyOf(update.kind)},
        {QStringLiteral("UpdateProcessor"), update.cpu},
        {QStringLiteral("UpdateProgress"), update.progress},
        {QStringLiteral("UpdatePage"), update.page},
        {QStringLiteral("UpdateTotalPages"), update.totalPages},
        {QStringLiteral("UpdateMessage"),
         update.kind == OTAState::Kind::error ? update.message : update.status},
    };
}

void ChairControl::scheduleDiff()
{
    if (diffScheduled)
        return;
    diffScheduled = true;
    QTimer::singleShot(0, this, &ChairControl::emitDiff);
}

void ChairControl::emitDiff()
{
    diffScheduled = false;
    const QVariantMap now = properties();
    QVariantMap changed;
    for (auto it = now.cbegin(); it != now.cend(); ++it)
        if (last.value(it.key()) != it.value())
            changed.insert(it.key(), it.value());
    last = now;
    if (!changed.isEmpty())
        Q_EMIT propertiesChanged(changed);
}

void ChairControl::call(const QString& name, const QVariantList& args, const ControlReply& reply)
{
    const ControlMethod* spec = method(name);
    if (!spec) {
        reply(refused(ControlErrors::invalidArgument, QStringLiteral("No method %1.").arg(name)));
        return;
    }
    if (args.size() != spec->signature.size()) {
        reply(refused(
            ControlErrors::invalidArgument,
            QStringLiteral("%1 takes %2 argument(s).").arg(name).arg(spec->signature.size())));
        return;
    }
    const ConnectionState state = manager.connectionState();
    const OTAState update = manager.otaState();
    const bool simulating = manager.isSimulating();

    // What the controls of the connected screen need: a ready chair, awake, no update running.
    auto controlsRefusal = [&]() -> ControlOutcome {
        if (!simulating && !isLinked(state))
            return refused(ControlErrors::notConnected, QStringLiteral("No chair is connected."));
        if (state != ConnectionState::ready)
            return refused(ControlErrors::busy,
                           QStringLiteral("The chair is not ready (%1).").arg(keyOf(state)));
        if (update.isInProgress())
            return refused(ControlErrors::busy, QStringLiteral("A firmware update is running."));
        return std::nullopt;
    };
    auto awake = [&]() -> ControlOutcome {
        if (manager.chairIsAsleep())
            return refused(ControlErrors::asleep,
                           QStringLiteral("The chair is asleep: wake it first."));
        return std::nullopt;
    };
    // Answers once the chair confirmed every write of the action.
    auto afterWrites = [&](QList<QBluetoothUuid> writes, const std::function<void()>& act) {
        if (simulating) {
            act();
            reply(std::nullopt);
            return;
        }
        auto* pending = new Pending(this, reply, writeAnswerTime,
                                    QStringLiteral("The chair did not confirm %1.").arg(name));
        QObject::connect(&manager, &BluetoothManager::writeAnswered, pending,
                         [pending, writes](const QBluetoothUuid& c, const QString& error) mutable {
                             if (!writes.removeOne(c))
                                 return;
                             if (!error.isEmpty())
                                 pending->finish(
                                     refused(ControlErrors::failed,
                                             QStringLiteral("The chair refused: %1").arg(error)));
                             else if (writes.isEmpty())
                                 pending->finish(std::nullopt);
                         });
        QObject::connect(
            &manager, &BluetoothManager::connectionStateChanged, pending, [this, pending] {
                if (!isLinked(manager.connectionState()))
                    pending->finish(refused(ControlErrors::notConnected,
                                            QStringLiteral("The link to the chair was lost.")));
            });
        act();
    };

    if (name == QLatin1String("StartScan")) {
        if (state == ConnectionState::unavailable)
            return reply(refused(ControlErrors::bluetoothOff, QStringLiteral("Bluetooth is off.")));
        if (simulating || isLinked(state) || state == ConnectionState::connecting)
            return reply(refused(ControlErrors::busy,
                                 QStringLiteral("A chair is connected: disconnect it first.")));
        manager.startScanning();
        return reply(std::nullopt);
    }
    if (name == QLatin1String("CancelScan")) {
        if (state == ConnectionState::scanning)
            manager.cancelScan();
        return reply(std::nullopt);
    }
    if (name == QLatin1String("Connect"))
        return connectTo(args.at(0).toString(), reply);
    if (name == QLatin1String("Disconnect")) {
        if (isLinked(state) || state == ConnectionState::connecting || simulating)
            manager.disconnect();
        return reply(std::nullopt);
    }
    if (name == QLatin1String("StartFirmwareUpdate")) {
        const QString path = args.at(0).toString();
        if (const ControlOutcome no = controlsRefusal())
            return reply(no);
        const QFileInfo file(path);
        if (!file.isFile() || !file.isReadable())
            return reply(refused(ControlErrors::invalidArgument,
                                 QStringLiteral("No readable file at %1.").arg(path)));
        manager.startFirmwareUpdate(file.absoluteFilePath());
        return reply(std::nullopt);
    }
    if (name == QLatin1String("ResetUpdate")) {
        if (update.isInProgress())
            return reply(
                refused(ControlErrors::busy,
                        QStringLiteral("A firmware update is running: disconnect to stop it.")));
        manager.resetOTA();
        return reply(std::nullopt);
    }
    if (name == QLatin1String("ScanNetworks") || name == QLatin1String("JoinWiFi")) {
        if (!simulating && !isLinked(state))
            return reply(
                refused(ControlErrors::notConnected, QStringLiteral("No chair is connected.")));
        if (state != ConnectionState::ready && state != ConnectionState::wifiSetup)
            return reply(refused(ControlErrors::busy,
                                 QStringLiteral("The chair is busy (%1).").arg(keyOf(state))));
        if (update.isInProgress())
            return reply(
                refused(ControlErrors::busy, QStringLiteral("A firmware update is running.")));
        if (name == QLatin1String("ScanNetworks")) {
            manager.scanForNetworks();
            return reply(std::nullopt);
        }
        const QString ssid = args.at(0).toString();
        if (ssid.isEmpty() || ssid.toUtf8().size() > 32)
            return reply(refused(ControlErrors::invalidArgument,
                                 QStringLiteral("A network name has 1 to 32 bytes.")));
        if (args.at(1).toString().toUtf8().size() > 64)
            return reply(refused(ControlErrors::invalidArgument,
                                 QStringLiteral("A WiFi password has at most 64 bytes.")));
        manager.connectToWiFi(ssid, args.at(1).toString());
        return reply(std::nullopt);
    }

    // The controls of the connected screen.
    if (const ControlOutcome no = controlsRefusal())
        return reply(no);
    if (name == QLatin1String("Wake"))
        return afterWrites({autoModeUUID}, [this] { manager.wakeChair(); });
    if (const ControlOutcome no = awake())
        return reply(no);
    if (name == QLatin1String("SetLeg") || name == QLatin1String("ToggleLeg")) {
        const std::optional<bool> right = sideIsRight(args.at(0).toString());
        if (!right)
            return reply(badSide(args.at(0).toString()));
        if (name == QLatin1String("SetLeg")) {
            const bool up = *right ? manager.rightLegUp() : manager.leftLegUp();
            if (up == args.at(1).toBool())
                return reply(std::nullopt); // already there
        }
        return afterWrites({chairToggleUUID}, [this, r = *right] { manager.toggleLeg(r); });
    }
    if (name == QLatin1String("SetAutoMode"))
        return afterWrites({autoModeUUID},
                           [this, on = args.at(0).toBool()] { manager.setAutoMode(on); });
    if (name == QLatin1String("SetPattern")) {
        const uint pattern = args.at(0).toUInt();
        if (pattern > 2)
            return reply(refused(
                ControlErrors::invalidArgument,
                QStringLiteral("Pattern %1 is unknown: 0 sit-to-stand, 1 stiltas, 2 round trip.")
                    .arg(pattern)));
        return afterWrites({autoModeSelectorUUID},
                           [this, pattern] { manager.setAutoModePattern(pattern); });
    }
    if (name == QLatin1String("SetPeriod")) {
        const double minutes = args.at(0).toDouble();
        if (!std::isfinite(minutes) || minutes < ChairCodec::periodMinimumMinutes ||
            minutes > ChairCodec::periodMaximumMinutes)
            return reply(refused(ControlErrors::invalidArgument,
                                 QStringLiteral("The period is 1 to 10 minutes.")));
        return afterWrites({autoPeriodUUID}, [this, minutes] {
            manager.setAutoPeriodMinutes(ChairCodec::snapPeriodMinutes(minutes));
            manager.writeAutoPeriod();
        });
    }
    if (name == QLatin1String("SetMotorStrength")) {
        const uint percent = args.at(0).toUInt();
        if (percent < ChairCodec::motorStrengthMinimum ||
            percent > ChairCodec::motorStrengthMaximum)
            return reply(refused(ControlErrors::invalidArgument,
                                 QStringLiteral("The motor strength is 20 to 50 percent.")));
        return afterWrites({leftMotorSoundUUID, rightMotorSoundUUID}, [this, percent] {
            manager.setMotorStrength(percent);
            manager.writeMotorStrength();
        });
    }
}

void ChairControl::connectTo(const QString& wanted, const ControlReply& reply)
{
    const ConnectionState state = manager.connectionState();
    if (state == ConnectionState::unavailable)
        return reply(refused(ControlErrors::bluetoothOff, QStringLiteral("Bluetooth is off.")));
    if (isLinked(state) || state == ConnectionState::connecting || manager.isSimulating()) {
        if (isLinked(state) && (wanted.isEmpty() || wanted == manager.deviceName()))
            return reply(std::nullopt);
        return reply(refused(
            ControlErrors::busy,
            QStringLiteral("Connected to %1: disconnect it first.").arg(manager.deviceName())));
    }
    QList<DiscoveredDevice> matches;
    for (const DiscoveredDevice& device : manager.discoveredDevices()) {
        const QString address = device.peripheral ? device.peripheral->address() : QString();
        if (wanted.isEmpty() || device.name == wanted ||
            (!address.isEmpty() && address.compare(wanted, Qt::CaseInsensitive) == 0))
            matches.append(device);
    }
    if (matches.isEmpty())
        return reply(refused(
            ControlErrors::notFound,
            wanted.isEmpty()
                ? QStringLiteral("No chair has been found: scan first.")
                : QStringLiteral("No chair \"%1\" has been found: scan first.").arg(wanted)));
    if (matches.size() > 1) {
        QStringList names;
        for (const DiscoveredDevice& device : std::as_const(matches))
            names << QStringLiteral("%1 (%2)").arg(device.name, device.peripheral->address());
        return reply(refused(ControlErrors::invalidArgument,
                             QStringLiteral("More than one chair is in range: %1. Name one.")
                                 .arg(names.join(QStringLiteral(", ")))));
    }
    const QString chosen = matches.first().name;
    manager.connect(matches.first());
    auto* pending =
        new Pending(this, reply, connectTime, QStringLiteral("%1 did not answer.").arg(chosen));
    QObject::connect(
        &manager, &BluetoothManager::connectionStateChanged, pending, [this, pending, chosen] {
            switch (manager.connectionState()) {
            case ConnectionState::ready:
            case ConnectionState::wifiSetup: pending->finish(std::nullopt); break;
            case ConnectionState::connecting:
            case ConnectionState::checkingWifi: break;
            default:
                pending->finish(refused(ControlErrors::failed,
                                        QStringLiteral("Could not connect to %1.").arg(chosen)));
            }
        });
}
