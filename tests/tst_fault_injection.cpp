// The link under a hostile radio: seeded random scripts of user actions, chair reports and faults
// (drops, failed and silent connects, error answers, missing characteristics, the radio going off,
// the computer waking), each followed by checks that the link can still be left, that a dropped
// link leaves no clocks or chair data behind, and that an update with a failed chunk never ends in
// success.
//
// VELNORA_FAULT_SEED=<n> plays that one script and prints its trace;
// VELNORA_FAULT_SCRIPTS=<n> changes how many seeds the full run plays (1000).
#include "LinkFixture.h"
#include "ZipWriter.h"

#include <QElapsedTimer>
#include <QMetaEnum>
#include <QtTest>

#include <csignal>
#include <cstdio>
#include <deque>
#include <map>
#include <random>
#include <signal.h>

using namespace ChairProfile;
using namespace std::chrono_literals;
using Kind = FakeCall::Kind;
using std::chrono::milliseconds;

namespace {

// The seed being played, for the crash report: a crash loses everything else.
volatile std::sig_atomic_t playingSeed = -1;
constexpr int crashSignals[3] = {SIGSEGV, SIGABRT, SIGFPE};
struct sigaction previousActions[3];

// Says the seed, then lets the test library's own handler report the crash as usual. A sanitizer's
// report reaches it as an abort (abort_on_error=1, as CI runs them).
void reportSeedOnCrash()
{
    struct sigaction action = {};
    action.sa_handler = [](int signal) {
        char text[96];
        const int n = std::snprintf(
            text, sizeof text, "\nfault injection crashed in seed %d (VELNORA_FAULT_SEED=%d)\n",
            int(playingSeed), int(playingSeed));
        if (n > 0 && playingSeed >= 0)
            std::fwrite(text, 1, size_t(n), stderr);
        for (int i = 0; i < 3; ++i)
            if (crashSignals[i] == signal)
                sigaction(signal, &previousActions[i], nullptr);
        raise(signal);
    };
    for (int i = 0; i < 3; ++i)
        sigaction(crashSignals[i], &action, &previousActions[i]);
}

template <typename E> QString keyOf(E value)
{
    return QString::fromLatin1(QMetaEnum::fromType<E>().valueToKey(int(value)));
}

// Short, stable names for the trace: the first group and the last three digits tell every
// characteristic of the profile apart.
QString shortUuid(const QBluetoothUuid& uuid)
{
    const QString text = uuid.toString(QUuid::WithoutBraces);
    return text.left(8) + QLatin1Char('.') + text.right(3);
}

QString describe(const FakeCall& call)
{
    static const char* const names[] = {"scan",  "stop",   "connect", "cancel", "services",
                                        "chars", "notify", "read",    "write"};
    QString text = QString::fromLatin1(names[int(call.kind)]);
    if (!call.peripheral.isNull())
        text += QLatin1Char('@') + call.peripheral.toString(QUuid::WithoutBraces).right(2);
    if (!call.target.isNull())
        text += QLatin1Char(' ') + shortUuid(call.target);
    if (call.kind == Kind::write)
        text += QStringLiteral("=%1/%2").arg(QString::fromLatin1(call.value.left(6).toHex()),
                                             QString::number(call.value.size()));
    return text;
}

// Packages the settings screen may be handed, made once for the whole suite: one or both
// processors, an empty image, no firmware, not a zip at all.
struct Packages {
    Packages()
    {
        for (const ZipEntries& entries :
             {ZipEntries{{"StiltaB1.bin", firmwareImage(600, 1)}},
              ZipEntries{{"Stilta-Firmware.bin", firmwareImage(420, 2)}},
              ZipEntries{{"StiltaB1.bin", firmwareImage(520, 3)},
                         {"Stilta-Firmware.bin", firmwareImage(300, 4)}},
              ZipEntries{{"StiltaB1.bin", QByteArray()}},
              ZipEntries{{"readme.txt", QByteArrayLiteral("no firmware here")}}}) {
            const QString path = dir.filePath(QStringLiteral("update-%1.zip").arg(paths.size()));
            if (writeZip(path, entries))
                paths << path;
        }
        QFile file(dir.filePath(QStringLiteral("broken.zip")));
        if (file.open(QIODevice::WriteOnly) && file.write("PK\x03\x04 torn") > 0)
            paths << file.fileName();
    }
    QTemporaryDir dir;
    QStringList paths;
};

const QList<QByteArray> networkPool{"Office_5G", "Home_Network", "",
                                    "Cafe_WiFi", "Office_5G",    "\xff\xfe"};

// One seeded script against a fresh manager.
class Script {
public:
    Script(int seed, const QStringList& packages)
        : rng(quint32(seed))
        , packages(packages)
    {
        faultRate = 4 + pick(37);
        updateMinded = chance(40);
        f.central->losesAnswersAfterDrops = true;
        f.central->cancelStopsPendingConnects = true;
        makeChairs();
        BluetoothManager* m = f.manager.get();
        QObject::connect(m, &BluetoothManager::otaStateChanged, &context,
                         [this] { watchOtaState(); });
        for (auto changed :
             {&BluetoothManager::connectionStateChanged, &BluetoothManager::otaStateChanged,
              &BluetoothManager::wifiOfflineSecondsChanged, &BluetoothManager::chairIsAsleepChanged,
              &BluetoothManager::autoModeEnabledChanged})
            QObject::connect(m, changed, &context, [this] { noteMilestones(); });
    }

    void play()
    {
        const int length = 20 + pick(51);
        for (int i = 0; i < length && violation.isEmpty(); ++i) {
            const int before = int(f.central->calls().size());
            const QString what = step();
            ++steps;
            noteSilentConnects(before);
            record(what, before);
            checkAlways(QStringLiteral("after step %1").arg(i));
        }
        if (!violation.isEmpty())
            return;
        runOut();
        checkAlways(QStringLiteral("after the run-out"));
        checkAtRest();
    }

    QString violation;
    int steps = 0;
    QStringList trace;
    QSet<QString> milestones;

private:
    int pick(int n) { return n <= 1 ? 0 : int(rng() % quint32(n)); }
    bool chance(int percent) { return pick(100) < percent; }
    template <typename T> const T& any(const QList<T>& list) { return list[pick(list.size())]; }

    void makeChairs()
    {
        const int count = chance(75) ? 1 : 2;
        for (int i = 0; i < count; ++i) {
            auto chair = f.central->makeChair(QStringLiteral("Velnora Pro %1").arg(i + 1));
            auto& v = chair->values;
            v[softwareRevisionUUID] = "2.1.0";
            v[firmwareRevisionUUID] = "1.4.2";
            v[serialNumberUUID] = QByteArray("VP-00") + QByteArray::number(i);
            v[leftOdometerUUID] = u32Bytes(quint32(pick(3) * 50));
            v[rightOdometerUUID] = u32Bytes(quint32(pick(3) * 40));
            v[chairStateUUID] = bytes({pick(2), pick(2), any(QList<int>{0, 1, 3})});
            v[autoModeUUID] = bytes({pick(2)});
            v[autoPeriodUUID] = u32Bytes(quint32(60 * (1 + pick(10))));
            v[autoModeSelectorUUID] = bytes({pick(3)});
            v[leftMotorSoundUUID] = bytes({20 + pick(31)});
            v[timeToNextTransitionUUID] = floatBytes(float(pick(3) * 12.5));
            v[otaV2BeginUUID] = bytes({chance(90) ? 1 : 0});
            v[otaV1BeginUUID] = bytes({chance(90) ? 1 : 0});
            v[otaV2StatusUUID] = flashRecord(9, 3, 120);
            v[wifiStatusUUID] = wifiStatusValue();
            QList<QByteArray> names;
            for (int n = pick(5); n > 0; --n)
                names << any(networkPool);
            networks[chair.get()] = names;
            v[wifiSSIDListCounterUUID] = QByteArray(1, char(names.size()));
            if (chance(15))
                chair->removeCharacteristic(anyCharacteristic());
            if (chance(4))
                chair->removeService(any(ChairProfile::services()));
            FakePeripheral* raw = chair.get();
            chair->onWrite = [this, raw](const QBluetoothUuid& c, const QByteArray& value) {
                chairHears(*raw, c, value);
            };
            QObject::connect(raw, &BlePeripheral::valueWritten, &context,
                             [this](const QBluetoothUuid& c, const QString& error) {
                                 confirmationDelivered(c, error);
                             });
            chairs << chair;
            byId[chair->identifier()] = raw;
        }
    }

    QBluetoothUuid anyCharacteristic()
    {
        QList<QBluetoothUuid> all;
        for (const QBluetoothUuid& service : ChairProfile::services())
            all += ChairProfile::characteristicsOf(service);
        return any(all);
    }

    // Mostly online; otherwise not configured, offline, a wrong password or nothing readable.
    QByteArray wifiStatusValue()
    {
        const QList<QByteArray> others{bytes({0x01}), bytes({0x05}), bytes({0x07}), {}};
        const int r = pick(8);
        return r < others.size() ? others[r] : bytes({0x04});
    }

    // A chair reacts to what it is told: the network list follows the index written, new
    // credentials make it restart.
    void chairHears(FakePeripheral& chair, const QBluetoothUuid& c, const QByteArray& value)
    {
        if (c == wifiSSIDListCounterUUID && value.size() == 1) {
            chair.values[wifiSSIDSingleUUID] = networks[&chair].value(quint8(value[0]));
        } else if (c == wifiEnableUUID) {
            chair.values[wifiStatusUUID] = chance(60) ? bytes({0x04}) : wifiStatusValue();
            if (chance(85) && !f.central->isDropping(&chair))
                f.central->dropLink(&chair, QStringLiteral("restarting"));
        }
        // The confirmation follows unless the link is already on its way down.
        if (f.central->carries(&chair))
            writeTransfers.push_back(transfer);
    }

    // How deep into a session the script got, for the run's summary.
    void noteMilestones()
    {
        const BluetoothManager& m = *f.manager;
        milestones << keyOf(m.connectionState()) << "update " + keyOf(m.otaState().kind);
        for (const auto& [isReached, name] :
             {std::pair{m.isReconnectingAfterOTA(), "restart after an update"},
              {m.wifiOfflineSeconds().has_value(), "WiFi grace period"},
              {m.chairIsAsleep(), "chair asleep"},
              {m.autoModeEnabled(), "automatic mode"}})
            if (isReached)
                milestones << QLatin1String(name);
    }

    void confirmationDelivered(const QBluetoothUuid& c, const QString& error)
    {
        if (writeTransfers.empty())
            return fail(QStringLiteral("a write confirmation without a write"));
        const int issuedIn = writeTransfers.front();
        writeTransfers.pop_front();
        if (!error.isEmpty() && (c == otaV2DataUUID || c == otaV1DataUUID))
            failedChunkTransfers.insert(issuedIn);
    }

    void watchOtaState()
    {
        const OTAState& ota = f.manager->otaState();
        if (ota.kind != OTAState::Kind::success)
            return;
        // A chair restarts by itself once its images are in.
        if (chance(85) && !linkedChairs(true).isEmpty())
            f.central->dropLink(linkedChairs(true).first(), QStringLiteral("restarting"));
        if (failedChunkTransfers.contains(transfer))
            fail(QStringLiteral("update %1 reported success after a failed chunk").arg(transfer));
    }

    QString startUpdate()
    {
        ++transfer;
        const int before = int(f.central->calls().size());
        f.manager->startFirmwareUpdate(any(packages));
        // The chair may go while the package is still being unpacked.
        if (chance(10)) {
            dropLinked();
            f.central->flush();
        }
        // The package is read off the main thread; its answer is awaited here so that the script
        // stays the same from run to run.
        auto answered = [&] {
            if (f.manager->otaState().kind != OTAState::Kind::preparing)
                return true;
            const QList<FakeCall>& calls = f.central->calls();
            for (int i = before; i < calls.size(); ++i)
                if (calls[i].kind == Kind::write &&
                    (calls[i].target == otaV2BeginUUID || calls[i].target == otaV1BeginUUID))
                    return true;
            return false;
        };
        QElapsedTimer waited;
        waited.start();
        while (!answered() && waited.elapsed() < 10000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        if (!answered())
            fail(QStringLiteral("the firmware package never came back"));
        return QStringLiteral("user starts an update");
    }

    // Each step is one entry of a weighted table; an entry of weight 0 cannot happen now. Every
    // entry names itself for the trace.
    using Run = std::function<QString()>;
    QString oneOf(std::initializer_list<std::pair<int, Run>> table)
    {
        int roll = 0;
        for (const auto& [weight, run] : table)
            roll += weight;
        roll = pick(roll);
        for (const auto& [weight, run] : table) {
            if (roll < weight)
                return run();
            roll -= weight;
        }
        return QStringLiteral("nothing happens");
    }
    template <typename Action> static Run doing(const char* what, Action action)
    {
        return [what, action] { return action(), QString::fromUtf8(what); };
    }
    static QString waits() { return QStringLiteral("user waits"); }

    // Some scripts are calm and get deep into a session, others are a storm.
    QString step()
    {
        if (pick(100) < faultRate)
            return inject();
        return oneOf({{45, [this] { return userAction(); }},
                      {20, [this] { return chairReport(); }},
                      {20, [this] { return deliver(); }},
                      {15, [this] { return passTime(); }}});
    }

    QString userAction()
    {
        BluetoothManager& m = *f.manager;
        const auto disconnect = [&m] { m.disconnect(); };
        const bool loading = m.isLoadingNetworks();
        const bool listed = !loading && !m.availableNetworks().isEmpty();
        const auto pickChair = [&] {
            const DiscoveredDevice device = any(m.discoveredDevices());
            m.connect(device.id());
            return QStringLiteral("user picks %1").arg(device.name);
        };
        switch (m.connectionState()) {
        case ConnectionState::disconnected:
            return doing("user scans", [&] { m.startScanning(), advertise(); })();
        case ConnectionState::scanning:
            return oneOf({{m.discoveredDevices().isEmpty() ? 0 : 6, pickChair},
                          {2, doing("user cancels the scan", [&] { m.cancelScan(); })},
                          {2, doing("chairs advertise", [&] { advertise(); })}});
        case ConnectionState::connecting:
            if (m.isReconnectingAfterOTA())
                return QStringLiteral("user waits for the restart");
            return oneOf({{3, doing("user cancels connecting", disconnect)}, {7, waits}});
        case ConnectionState::wifiSetup:
            return oneOf({{3, doing("user disconnects from WiFi setup", disconnect)},
                          {loading ? 7 : 0, doing("user waits for the list", [] {})},
                          {listed ? 4 : 0, [&] { return join(QString()); }},
                          {loading ? 0 : (listed ? 3 : 7),
                           doing("user refreshes the list", [&] { m.scanForNetworks(); })}});
        case ConnectionState::wifiConnecting:
            return oneOf(
                {{25, doing("user disconnects while WiFi connects", disconnect)}, {75, waits}});
        case ConnectionState::ready: return readyAction(listed);
        default: return waits();
        }
    }

    QString join(const QString& where)
    {
        const QString ssid = any(f.manager->availableNetworks());
        f.manager->connectToWiFi(ssid, QStringLiteral("secret"));
        return QStringLiteral("user joins %1%2").arg(ssid, where);
    }

    QString readyAction(bool listed)
    {
        BluetoothManager& m = *f.manager;
        const OTAState::Kind update = m.otaState().kind;
        const bool updating = m.otaState().isInProgress();
        const bool finished = update == OTAState::Kind::success || update == OTAState::Kind::error;
        // Dismissing ends the update; a later confirmation is not its.
        const Run dismiss = doing("user dismisses the update", [&] { ++transfer, m.resetOTA(); });
        // While an update runs the user watches it.
        const Run keepUpdating = [&] { return updating ? deliver() : startUpdate(); };
        if (m.chairIsAsleep() && chance(50))
            return doing("user wakes the chair", [&] { m.wakeChair(); })();
        // Some users came to update their chair and keep at it.
        if (updateMinded && chance(50))
            return !updating && update != OTAState::Kind::idle && chance(50) ? dismiss()
                                                                             : keepUpdating();
        const auto setPeriod = [&] {
            m.setIsEditingPeriod(true);
            m.setAutoPeriodMinutes(1 + pick(19) * 0.5);
            m.setIsEditingPeriod(false);
            m.writeAutoPeriod();
        };
        const auto setVibration = [&] {
            m.setIsEditingMotor(true);
            m.setMotorStrength(20 + pick(31));
            m.setIsEditingMotor(false);
            m.writeMotorStrength();
        };
        return oneOf({
            {1, doing("user toggles the left leg", [&] { m.toggleLeg(false); })},
            {1, doing("user toggles the right leg", [&] { m.toggleLeg(true); })},
            {2, doing("user switches auto mode", [&] { m.setAutoMode(!m.autoModeEnabled()); })},
            {2, doing("user picks a pattern", [&] { m.setAutoModePattern(pick(3)); })},
            {2, doing("user sets the period", setPeriod)},
            {2, doing("user sets the vibration", setVibration)},
            {8, keepUpdating},
            {finished ? 2 : 0, dismiss},
            {2, doing("user refreshes networks in settings", [&] { m.scanForNetworks(); })},
            {listed ? 2 : 0, [&] { return join(QStringLiteral(" from settings")); }},
            {2, doing("user disconnects", [&] { m.disconnect(); })},
            {6, waits},
        });
    }

    void advertise()
    {
        for (const auto& chair : std::as_const(chairs)) {
            if (!chance(80))
                continue;
            const QString name = chance(20) ? QString() : chair->name();
            f.central->advertise(chair, name, -40 - pick(50));
        }
    }

    // Chairs whose link the manager has been told is up; those that can still talk also have the
    // radio on and no drop on its way.
    QList<FakePeripheral*> linkedChairs(bool talking = false) const
    {
        const bool radioOn = f.central->power() == CentralPower::On;
        QList<FakePeripheral*> out;
        for (const auto& chair : chairs)
            if (f.central->isLinked(chair.get()) &&
                (!talking || (radioOn && !f.central->isDropping(chair.get()))))
                out << chair.get();
        return out;
    }

    QString chairReport()
    {
        const QList<FakePeripheral*> linked = linkedChairs(true);
        if (linked.isEmpty())
            return QStringLiteral("chair is quiet");
        FakePeripheral& chair = *any(linked);
        // The chair sends a value; `keep` also makes it what reads return from now on.
        const auto says = [&](const QBluetoothUuid& c, const QByteArray& value, bool keep) {
            if (keep)
                chair.values[c] = value;
            chair.notify(c, value);
            return QStringLiteral("chair says %1=%2")
                .arg(shortUuid(c), QString::fromLatin1(value.toHex()));
        };
        const auto state = [&] {
            const QByteArray value = bytes({pick(2), pick(2), any(QList<int>{0, 0, 1, 3})});
            return says(chairStateUUID, chance(10) ? value.left(2) : value, false);
        };
        const auto countdown = [&] {
            const float seconds = any(QList<float>{0.f, 0.f, 30.f, 12.7f, -3.f});
            return says(timeToNextTransitionUUID, floatBytes(seconds), true);
        };
        const auto odometer = [&] {
            const QBluetoothUuid c = chance(50) ? leftOdometerUUID : rightOdometerUUID;
            return says(c, u32Bytes(quint32(pick(300))), true);
        };
        // What CPU1's flasher says at the next poll, now and then also as a notification.
        const auto flasher = [&] {
            const QByteArray record = any(QList<QByteArray>{
                flashRecord(4, 0, 120), flashRecord(9, 40, 120), flashRecord(11, 80, 120),
                flashRecord(4, 120, 120), flashRecord(7, 1, 1), flashRecord(9, 1, 2).left(11)});
            chair.values[otaV2StatusUUID] = record;
            if (chance(30))
                chair.notify(otaV2StatusUUID, record);
            return QStringLiteral("chair flasher says %1").arg(QString::fromLatin1(record.toHex()));
        };
        return oneOf({
            {2, state},
            {1, [&] { return says(chairStateEventUUID, bytes({1}), false); }},
            {1, countdown},
            {1, [&] { return says(autoModeUUID, bytes({pick(2)}), false); }},
            {1, [&] { return says(autoPeriodUUID, u32Bytes(quint32(60 + pick(600))), false); }},
            {1, odometer},
            {2, [&] { return says(wifiStatusUUID, bytes({chance(50) ? 0x04 : 0x05}), true); }},
            {3, flasher},
        });
    }

    QString deliver()
    {
        if (chance(55))
            return doing("radio delivers everything", [&] { f.central->flush(); })();
        const int n = 1 + pick(6);
        int delivered = 0;
        while (delivered < n && f.central->deliverNext())
            ++delivered;
        return QStringLiteral("radio delivers %1").arg(delivered);
    }

    QString passTime()
    {
        const int r = pick(100);
        const milliseconds span{r < 70   ? pick(2000)
                                : r < 95 ? 2000 + pick(18000)
                                         : 20000 + pick(780000)};
        f.scheduler.advance(span);
        return QStringLiteral("%1 ms pass").arg(span.count());
    }

    void dropLinked()
    {
        for (FakePeripheral* chair : linkedChairs())
            if (!f.central->isDropping(chair))
                f.central->dropLink(chair);
    }

    QString inject()
    {
        const bool radioOn = f.central->power() == CentralPower::On;
        const Run radioBack =
            doing("fault: radio comes back", [&] { f.central->setPower(CentralPower::On); });
        // Bluetooth that went off mostly comes back within the script.
        if (!radioOn && chance(35))
            return radioBack();
        FakePeripheral& chair = *any(chairs);
        // Chunk writes to one or both processors fail, or are confirmed again.
        const auto chunks = [&](QList<QBluetoothUuid> targets) {
            const QString error = chance(50) ? QStringLiteral("write failed") : QString();
            for (const QBluetoothUuid& c : targets)
                chair.writeErrors[c] = error;
            return QStringLiteral("fault: chunks to %1 processor(s) %2")
                .arg(targets.size())
                .arg(error.isEmpty() ? u"confirmed" : u"fail");
        };
        // While an update runs, its chunks are what a flaky radio hurts most.
        if (f.manager->otaState().isInProgress() && chance(30))
            return chunks({chance(50) ? otaV2DataUUID : otaV1DataUUID});
        // A talking chair's link drops, or the chair restarts (which drops it too).
        const QList<FakePeripheral*> talking = linkedChairs(true);
        const auto drop = [&](const char* what, const char* error) {
            return doing(what, [&, error] {
                f.central->dropLink(any(talking), QString::fromLatin1(error));
            });
        };
        const bool updated = f.manager->otaState().kind == OTAState::Kind::success;
        const auto radioOff = [&] {
            const CentralPower power =
                any(QList<CentralPower>{CentralPower::Off, CentralPower::Off,
                                        CentralPower::Resetting, CentralPower::Unauthorized});
            // What was in the air arrives first; after that the radio is silent.
            f.central->flush();
            f.central->setPower(power);
            const bool drops = chance(60); // the stack reports the lost links, or not
            if (drops)
                dropLinked();
            return QStringLiteral("fault: radio goes off%1").arg(drops ? u" with drops" : u"");
        };
        const auto wake = [&] {
            const bool drops = chance(50);
            if (drops)
                dropLinked(), f.central->flush();
            f.wake.resume();
            return QStringLiteral("fault: computer wakes%1").arg(drops ? u" after drops" : u"");
        };
        const auto readsFail = [&] {
            const QBluetoothUuid c = chance(40) ? wifiStatusUUID : anyCharacteristic();
            chair.readErrors[c] = QStringLiteral("read failed");
            return QStringLiteral("fault: reads of %1 fail").arg(shortUuid(c));
        };
        const auto writesFail = [&] {
            const QBluetoothUuid c =
                chance(60) ? (chance(50) ? otaV2DataUUID : otaV1DataUUID) : anyCharacteristic();
            chair.writeErrors[c] = QStringLiteral("write failed");
            return QStringLiteral("fault: writes to %1 fail").arg(shortUuid(c));
        };
        const auto loses = [&] {
            const QBluetoothUuid c = anyCharacteristic();
            chair.removeCharacteristic(c);
            return QStringLiteral("fault: chair loses %1").arg(shortUuid(c));
        };
        return oneOf({
            {talking.isEmpty() ? 0 : 2, drop("fault: link drops", "link lost")},
            {radioOn ? 1 : 0, radioOff},
            {radioOn ? 0 : 1, radioBack},
            {1, wake},
            {1, doing("fault: connects go silent or are answered again",
                      [&] { f.central->answersConnects = !f.central->answersConnects; })},
            {silentConnects.isEmpty() ? 0 : 1, [&] { return answerSilentConnect(); }},
            {1, readsFail},
            {1, writesFail},
            {1, doing("fault: errors stop",
                      [&] { chair.readErrors.clear(), chair.writeErrors.clear(); })},
            {1, doing("fault: discovery fails or works again",
                      [&] {
                          chair.discoveryError = chair.discoveryError.isEmpty()
                                                     ? QStringLiteral("discovery failed")
                                                     : QString();
                      })},
            {1, loses},
            // A chair that reboots on its own (after a brown-out, say), and more often after an
            // update.
            {talking.isEmpty() ? 0 : (updated ? 2 : 1),
             drop("fault: chair restarts", "restarting")},
            {2,
             [&] {
                 return chunks({otaV2DataUUID, otaV1DataUUID});
             }},
        });
    }

    // The platform's own time-out ends a connect it never completed, one way or the other. A chair
    // that came up meanwhile through a later connect is that connect's answer.
    QString answerSilentConnect()
    {
        FakePeripheral* chair = byId.value(silentConnects.takeFirst());
        if (f.central->isLinked(chair))
            return QStringLiteral("fault: silent connect merged into a later one");
        // With the radio off nothing completes.
        if (chance(70) || f.central->power() != CentralPower::On) {
            f.central->failConnect(chair, QStringLiteral("timed out"));
            return QStringLiteral("fault: silent connect fails");
        }
        f.central->completeConnect(chair);
        return QStringLiteral("fault: silent connect completes late");
    }

    // Connects the platform has not answered yet; a cancelled one is never answered.
    void noteSilentConnects(int callsBefore)
    {
        const QList<FakeCall>& calls = f.central->calls();
        for (int i = callsBefore; i < calls.size(); ++i) {
            if (calls[i].kind == Kind::connect && !f.central->answersConnects)
                silentConnects << calls[i].peripheral;
            else if (calls[i].kind == Kind::cancel)
                silentConnects.removeAll(calls[i].peripheral);
        }
    }

    void record(const QString& what, int callsBefore)
    {
        const BluetoothManager& m = *f.manager;
        QStringList calls;
        for (int i = callsBefore; i < f.central->calls().size(); ++i)
            calls << describe(f.central->calls()[i]);
        trace << QStringLiteral("#%1 t=%2 %3 | %4%5 ota=%6 queued=%7 | %8")
                     .arg(trace.size())
                     .arg(f.scheduler.now().count())
                     .arg(what, keyOf(m.connectionState()),
                          m.isReconnectingAfterOTA() ? QStringLiteral("(restart)") : QString(),
                          keyOf(m.otaState().kind))
                     .arg(f.central->pendingAnswers())
                     .arg(calls.join(QLatin1Char(' ')));
    }

    // Time runs out: the platform gives up on connects it never completed, then a minute and a half
    // passes with the radio delivering as it goes.
    void runOut()
    {
        const int before = int(f.central->calls().size());
        f.central->answersConnects = true;
        f.central->flush();
        while (!silentConnects.isEmpty()) {
            FakePeripheral* chair = byId.value(silentConnects.takeFirst());
            if (!f.central->isLinked(chair))
                f.central->failConnect(chair, QStringLiteral("timed out"));
        }
        for (int second = 0; second < 90; ++second)
            f.advance(1s);
        record(QStringLiteral("time runs out"), before);
    }

    void fail(const QString& what)
    {
        if (violation.isEmpty())
            violation = what;
    }

    void checkAlways(const QString& when)
    {
        const BluetoothManager& m = *f.manager;
        const ConnectionState state = m.connectionState();
        const bool idle = state == ConnectionState::disconnected ||
                          state == ConnectionState::unavailable ||
                          state == ConnectionState::scanning;
        if (!idle && !linkedChairs().isEmpty())
            return;
        const std::pair<bool, const char*> keeps[] = {
            {!m.softwareVersion().isEmpty(), "softwareVersion"},
            {!m.firmwareVersion().isEmpty(), "firmwareVersion"},
            {!m.serialNumber().isEmpty(), "serialNumber"},
            {m.chairIsAsleep(), "chairIsAsleep"},
            {m.lifetimeMoves().has_value(), "lifetimeMoves"},
            {m.sessionMoves() != 0, "sessionMoves"},
            {!m.connectedSSID().isEmpty(), "connectedSSID"},
            {m.wifiOfflineSeconds().has_value(), "wifiOfflineSeconds"},
            {m.otaState().isInProgress(), "an update in progress"},
            {state == ConnectionState::disconnected && !m.deviceName().isEmpty(), "deviceName"},
        };
        QStringList kept;
        for (const auto& [isKept, name] : keeps)
            if (isKept)
                kept << QLatin1String(name);
        // Only the automatic-mode countdown outlives a drop, and only while a reconnect may still
        // bring the chair back.
        const bool waitingForChair =
            state == ConnectionState::connecting || state == ConnectionState::wifiConnecting;
        QStringList timers;
        for (const milliseconds interval : f.scheduler.activeTimerIntervals())
            if (!waitingForChair || (interval != 1s && interval != 3s))
                timers << QString::number(interval.count()) + QStringLiteral(" ms");
        if (!kept.isEmpty())
            fail(QStringLiteral("%1: %2 with the link down keeps %3")
                     .arg(when, keyOf(state), kept.join(QStringLiteral(", "))));
        if (!timers.isEmpty())
            fail(QStringLiteral("%1: %2 with the link down still runs timers of %3")
                     .arg(when, keyOf(state), timers.join(QStringLiteral(", "))));
    }

    void checkAtRest()
    {
        const BluetoothManager& m = *f.manager;
        if (m.connectionState() == ConnectionState::checkingWifi)
            fail(QStringLiteral("stuck checking WiFi: the screen offers no way out"));
        if (m.connectionState() == ConnectionState::connecting && m.isReconnectingAfterOTA())
            fail(QStringLiteral("stuck on the restart screen: it offers no way out"));
        if (f.scheduler.pendingDelays() != 0)
            fail(QStringLiteral("%1 delays still pending after the run-out")
                     .arg(f.scheduler.pendingDelays()));
    }

    LinkFixture f;
    QObject context; // the suite's own connections end before the fixture goes
    std::mt19937 rng;
    const QStringList& packages;
    QList<QSharedPointer<FakePeripheral>> chairs;
    QHash<QUuid, FakePeripheral*> byId;
    QHash<const FakePeripheral*, QList<QByteArray>> networks;
    QList<QUuid> silentConnects;

    int faultRate = 0;              // percent of steps that inject a fault
    bool updateMinded = false;      // the user is here to update the chair
    int transfer = 0;               // the update being made; a start or a dismissal ends it
    std::deque<int> writeTransfers; // per write still to be confirmed, the update it was for
    QSet<int> failedChunkTransfers; // updates with a chunk the chair refused
};

} // namespace

class FaultInjectionTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        reportSeedOnCrash();
        QCOMPARE(packages.paths.size(), 6);
    }

    void randomScriptsLeaveTheLinkSound()
    {
        bool one = false, counted = false;
        const int only = qEnvironmentVariableIntValue("VELNORA_FAULT_SEED", &one);
        const int count = qEnvironmentVariableIntValue("VELNORA_FAULT_SCRIPTS", &counted);
        const int first = one ? only : 1, last = one ? only : (counted ? count : 1000);
        QStringList failures, firstTrace;
        qint64 steps = 0;
        std::map<QString, int> reached; // how many scripts got that far at least once
        QElapsedTimer clock;
        clock.start();
        for (int seed = first; seed <= last; ++seed) {
            playingSeed = seed;
            Script script(seed, packages.paths);
            script.play();
            // Every 50th seed, played again from scratch, must say and do exactly the same.
            if (seed % 50 == 7) {
                Script again(seed, packages.paths);
                again.play();
                if (again.trace != script.trace)
                    failures << QStringLiteral("seed %1 played differently again").arg(seed);
            }
            steps += script.steps;
            for (const QString& milestone : std::as_const(script.milestones))
                ++reached[milestone];
            if (one)
                qInfo().noquote() << script.trace.join(QLatin1Char('\n'));
            if (script.violation.isEmpty())
                continue;
            failures << QStringLiteral("seed %1: %2").arg(seed).arg(script.violation);
            if (firstTrace.isEmpty())
                firstTrace = script.trace;
        }
        playingSeed = -1;
        qInfo().noquote() << QStringLiteral("%1 scripts, %2 steps in %3 ms")
                                 .arg(last - first + 1)
                                 .arg(steps)
                                 .arg(clock.elapsed());
        for (const auto& [milestone, n] : reached)
            qInfo().noquote() << QStringLiteral("  reached %1: %2").arg(milestone).arg(n);
        if (!failures.isEmpty()) {
            qInfo().noquote() << "trace of the first failing seed:\n" + firstTrace.join('\n');
            QFAIL(qPrintable(QStringLiteral("%1 scripts broke the link (replay with "
                                            "VELNORA_FAULT_SEED):\n%2")
                                 .arg(failures.size())
                                 .arg(failures.mid(0, 25).join(QLatin1Char('\n')))));
        }
    }

private:
    Packages packages;
};

QTEST_GUILESS_MAIN(FaultInjectionTest)
#include "tst_fault_injection.moc"
