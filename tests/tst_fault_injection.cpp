// The link under a hostile radio: seeded random scripts of user actions, chair reports and
// faults (drops, failed and silent connects, error answers, missing characteristics, the radio
// going off, the computer waking), each followed by checks that the link can still be left, that
// a dropped link leaves no clocks or chair data behind, and that an update with a failed chunk
// never ends in success.
//
// VELNORA_FAULT_SEED=<n> plays that one script and prints its trace;
// VELNORA_FAULT_SCRIPTS=<n> changes how many seeds the full run plays (1000).
#include "LinkFixture.h"
#include "ZipWriter.h"

#include <QElapsedTimer>
#include <QMetaEnum>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
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

void printPlayingSeed()
{
    char text[96];
    const int n = std::snprintf(text, sizeof text,
                                "\nfault injection crashed in seed %d (VELNORA_FAULT_SEED=%d)\n",
                                int(playingSeed), int(playingSeed));
    if (n > 0 && playingSeed >= 0)
        std::fwrite(text, 1, size_t(n), stderr);
}

constexpr int crashSignals[3] = {SIGSEGV, SIGABRT, SIGFPE};
struct sigaction previousActions[3];

// Says the seed, then lets the test library's own handler report the crash as usual. A
// sanitizer's report reaches it as an abort (abort_on_error=1, as CI runs them).
void reportSeedOnCrash()
{
    struct sigaction action = {};
    action.sa_handler = [](int signal) {
        printPlayingSeed();
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
QString stateName(ConnectionState s)
{
    return keyOf(s);
}
QString otaName(const OTAState& s)
{
    return keyOf(s.kind);
}

QByteArray flashRecord(quint32 code, quint32 page, quint32 total)
{
    return u32Bytes(code) + u32Bytes(page) + u32Bytes(total);
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
        text += QStringLiteral("=%1/%2")
                    .arg(QString::fromLatin1(call.value.left(6).toHex()))
                    .arg(call.value.size());
    return text;
}

// Packages the settings screen may be handed, made once for the whole suite.
struct Packages {
    Packages()
    {
        add({{"StiltaB1.bin", firmwareImage(600, 1)}});
        add({{"Stilta-Firmware.bin", firmwareImage(420, 2)}});
        add({{"StiltaB1.bin", firmwareImage(520, 3)},
             {"Stilta-Firmware.bin", firmwareImage(300, 4)}});
        add({{"StiltaB1.bin", QByteArray()}});
        add({{"readme.txt", QByteArrayLiteral("no firmware here")}});
        // Not a zip at all.
        const QString broken = dir.filePath(QStringLiteral("broken.zip"));
        QFile file(broken);
        if (file.open(QIODevice::WriteOnly) && file.write("PK\x03\x04 torn") > 0)
            paths << broken;
    }
    void add(const ZipEntries& entries)
    {
        const QString path = dir.filePath(QStringLiteral("update-%1.zip").arg(paths.size()));
        if (writeZip(path, entries))
            paths << path;
    }
    QTemporaryDir dir;
    QStringList paths;
};

const QList<QByteArray> networkPool{"Office_5G", "Home_Network", "",
                                    "Cafe_WiFi", "Office_5G",    "\xff\xfe"};

struct Totals {
    int scripts = 0;
    qint64 steps = 0;
    qint64 injections = 0;
    std::map<QString, int> endStates;
    std::map<QString, int> milestones; // how many scripts got that far at least once
};

// One seeded script against a fresh manager.
class Script {
public:
    Script(int seed, const QStringList& packages)
        : seed(seed)
        , rng(quint32(seed))
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
             {&BluetoothManager::connectionStateChanged,
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

    ConnectionState endState() const { return f.state(); }
    QString traceText() const { return trace.join(QLatin1Char('\n')); }

    const int seed;
    QString violation;
    int steps = 0;
    int injections = 0;
    QStringList trace;
    QSet<QString> milestones;

private:
    // --- randomness ---------------------------------------------------------------------------
    int pick(int n) { return n <= 1 ? 0 : int(rng() % quint32(n)); }
    bool chance(int percent) { return pick(100) < percent; }
    template <typename T> const T& any(const QList<T>& list) { return list[pick(list.size())]; }

    // --- the chairs ---------------------------------------------------------------------------
    void makeChairs()
    {
        const int count = chance(75) ? 1 : 2;
        for (int i = 0; i < count; ++i) {
            auto chair = f.central->makeChair(QStringLiteral("Velnora Pro %1").arg(i + 1));
            chair->values[softwareRevisionUUID] = "2.1.0";
            chair->values[firmwareRevisionUUID] = "1.4.2";
            chair->values[serialNumberUUID] = QByteArray("VP-00") + QByteArray::number(i);
            chair->values[leftOdometerUUID] = u32Bytes(quint32(pick(3) * 50));
            chair->values[rightOdometerUUID] = u32Bytes(quint32(pick(3) * 40));
            chair->values[chairStateUUID] = bytes({pick(2), pick(2), any(QList<int>{0, 1, 3})});
            chair->values[autoModeUUID] = bytes({pick(2)});
            chair->values[autoPeriodUUID] = u32Bytes(quint32(60 * (1 + pick(10))));
            chair->values[autoModeSelectorUUID] = bytes({pick(3)});
            chair->values[leftMotorSoundUUID] = bytes({20 + pick(31)});
            chair->values[timeToNextTransitionUUID] = floatBytes(float(pick(3) * 12.5));
            chair->values[otaV2BeginUUID] = bytes({chance(90) ? 1 : 0});
            chair->values[otaV1BeginUUID] = bytes({chance(90) ? 1 : 0});
            chair->values[otaV2StatusUUID] = flashRecord(9, 3, 120);
            chair->values[wifiStatusUUID] = wifiStatusValue();
            QList<QByteArray> names;
            for (int n = pick(5); n > 0; --n)
                names << any(networkPool);
            networks[chair.get()] = names;
            chair->values[wifiSSIDListCounterUUID] = QByteArray(1, char(names.size()));
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
        const ConnectionState s = m.connectionState();
        const std::pair<bool, const char*> reached[] = {
            {s == ConnectionState::ready, "ready"},
            {s == ConnectionState::wifiSetup, "WiFi setup"},
            {s == ConnectionState::wifiConnecting, "WiFi credentials sent"},
            {s == ConnectionState::unavailable, "radio off"},
            {s == ConnectionState::connecting && m.isReconnectingAfterOTA(),
             "restart after an update"},
            {m.wifiOfflineSeconds().has_value(), "WiFi grace period"},
            {m.chairIsAsleep(), "chair asleep"},
            {m.autoModeEnabled(), "automatic mode"},
        };
        for (const auto& [isReached, name] : reached)
            if (isReached)
                milestones.insert(QLatin1String(name));
    }

    // --- firmware bookkeeping -----------------------------------------------------------------
    void confirmationDelivered(const QBluetoothUuid& c, const QString& error)
    {
        if (writeTransfers.empty()) {
            fail(QStringLiteral("a write confirmation without a write"));
            return;
        }
        const int issuedIn = writeTransfers.front();
        writeTransfers.pop_front();
        if (!error.isEmpty() && (c == otaV2DataUUID || c == otaV1DataUUID))
            failedChunkTransfers.insert(issuedIn);
    }

    void watchOtaState()
    {
        const OTAState& ota = f.manager->otaState();
        milestones.insert(QStringLiteral("update ") + otaName(ota));
        if (ota.kind == OTAState::Kind::error)
            milestones.insert(QStringLiteral("update error \"%1\"").arg(ota.message.left(48)));
        if (ota.kind == OTAState::Kind::error && failedChunkTransfers.contains(transfer))
            milestones.insert(QStringLiteral("update error after a failed chunk"));
        // A chair restarts by itself once its images are in.
        if (ota.kind == OTAState::Kind::success && chance(85)) {
            const QList<FakePeripheral*> linked = talkingChairs();
            if (!linked.isEmpty())
                f.central->dropLink(linked.first(), QStringLiteral("restarting"));
        }
        if (ota.kind == OTAState::Kind::success && failedChunkTransfers.contains(transfer))
            fail(QStringLiteral("update %1 reported success after a failed chunk").arg(transfer));
    }

    QString startUpdate()
    {
        ++transfer;
        const QString path = any(packages);
        const int before = int(f.central->calls().size());
        f.manager->startFirmwareUpdate(path);
        // The chair may go while the package is still being unpacked.
        if (chance(10)) {
            dropLinked();
            f.central->flush();
        }
        waitForPackage(before);
        return QStringLiteral("user starts an update");
    }

    // The package is read off the main thread; its answer is awaited here so that the script
    // stays the same from run to run.
    void waitForPackage(int callsBefore)
    {
        auto answered = [&] {
            if (f.manager->otaState().kind != OTAState::Kind::preparing)
                return true;
            const QList<FakeCall>& calls = f.central->calls();
            for (int i = callsBefore; i < calls.size(); ++i)
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
    }

    // --- one step -----------------------------------------------------------------------------
    // Each step is one entry of a weighted table; an entry of weight 0 cannot happen now. Every
    // entry names itself for the trace.
    using Run = std::function<QString()>;
    struct Choice {
        int weight;
        Run run;
    };
    QString oneOf(std::initializer_list<Choice> table)
    {
        int roll = 0;
        for (const Choice& c : table)
            roll += c.weight;
        roll = pick(roll);
        for (const Choice& c : table) {
            if (roll < c.weight)
                return c.run();
            roll -= c.weight;
        }
        return QStringLiteral("nothing happens");
    }
    template <typename Action> static Run doing(const char* what, Action action)
    {
        return [what, action] {
            action();
            return QString::fromUtf8(what);
        };
    }
    static QString waits() { return QStringLiteral("user waits"); }

    // Some scripts are calm and get deep into a session, others are a storm.
    QString step()
    {
        if (pick(100) < faultRate) {
            ++injections;
            return inject();
        }
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
        switch (m.connectionState()) {
        case ConnectionState::disconnected:
            return doing("user scans", [&] { m.startScanning(), advertise(); })();
        case ConnectionState::scanning:
            return oneOf({{m.discoveredDevices().isEmpty() ? 0 : 6,
                           [&] {
                               const DiscoveredDevice device = any(m.discoveredDevices());
                               m.connect(device.id());
                               return QStringLiteral("user picks %1").arg(device.name);
                           }},
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
                          {loading  ? 0
                           : listed ? 3
                                    : 7,
                           doing("user refreshes the list", [&] { m.scanForNetworks(); })}});
        case ConnectionState::wifiConnecting:
            return oneOf(
                {{25, doing("user disconnects while WiFi connects", disconnect)}, {75, waits}});
        case ConnectionState::ready: return readyAction(listed);
        case ConnectionState::checkingWifi:
        case ConnectionState::unavailable: break;
        }
        return waits();
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
        return oneOf({
            {1, doing("user toggles the left leg", [&] { m.toggleLeg(false); })},
            {1, doing("user toggles the right leg", [&] { m.toggleLeg(true); })},
            {2, doing("user switches auto mode", [&] { m.setAutoMode(!m.autoModeEnabled()); })},
            {2, doing("user picks a pattern", [&] { m.setAutoModePattern(pick(3)); })},
            {2, doing("user sets the period",
                      [&] {
                          m.setIsEditingPeriod(true);
                          m.setAutoPeriodMinutes(1 + pick(19) * 0.5);
                          m.setIsEditingPeriod(false);
                          m.writeAutoPeriod();
                      })},
            {2, doing("user sets the vibration",
                      [&] {
                          m.setIsEditingMotor(true);
                          m.setMotorStrength(20 + pick(31));
                          m.setIsEditingMotor(false);
                          m.writeMotorStrength();
                      })},
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

    // Chairs whose link the manager has been told is up.
    QList<FakePeripheral*> linkedChairs() const
    {
        QList<FakePeripheral*> out;
        for (const auto& chair : chairs)
            if (f.central->isLinked(chair.get()))
                out << chair.get();
        return out;
    }

    // Linked chairs that can still talk: the radio is on and no drop is on its way.
    QList<FakePeripheral*> talkingChairs() const
    {
        QList<FakePeripheral*> out;
        if (f.central->power() != CentralPower::On)
            return out;
        for (FakePeripheral* chair : linkedChairs())
            if (!f.central->isDropping(chair))
                out << chair;
        return out;
    }

    QString chairReport()
    {
        const QList<FakePeripheral*> linked = talkingChairs();
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
        return oneOf({
            {2, state},
            {1, [&] { return says(chairStateEventUUID, bytes({1}), false); }},
            {1,
             [&] {
                 const float seconds = any(QList<float>{0.f, 0.f, 30.f, 12.7f, -3.f});
                 return says(timeToNextTransitionUUID, floatBytes(seconds), true);
             }},
            {1, [&] { return says(autoModeUUID, bytes({pick(2)}), false); }},
            {1, [&] { return says(autoPeriodUUID, u32Bytes(quint32(60 + pick(600))), false); }},
            {1,
             [&] {
                 const QBluetoothUuid c = chance(50) ? leftOdometerUUID : rightOdometerUUID;
                 return says(c, u32Bytes(quint32(pick(300))), true);
             }},
            {2, [&] { return says(wifiStatusUUID, bytes({chance(50) ? 0x04 : 0x05}), true); }},
            // What CPU1's flasher says at the next poll, now and then also as a notification.
            {3,
             [&] {
                 const QByteArray record =
                     any(QList<QByteArray>{flashRecord(4, 0, 120), flashRecord(9, 40, 120),
                                           flashRecord(11, 80, 120), flashRecord(4, 120, 120),
                                           flashRecord(7, 1, 1), flashRecord(9, 1, 2).left(11)});
                 chair.values[otaV2StatusUUID] = record;
                 if (chance(30))
                     chair.notify(otaV2StatusUUID, record);
                 return QStringLiteral("chair flasher says %1")
                     .arg(QString::fromLatin1(record.toHex()));
             }},
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
        const QList<FakePeripheral*> talking = talkingChairs();
        const auto drop = [&](const char* what, const char* error) {
            return doing(what, [&, error] {
                f.central->dropLink(any(talking), QString::fromLatin1(error));
            });
        };
        const bool updated = f.manager->otaState().kind == OTAState::Kind::success;
        return oneOf({
            {talking.isEmpty() ? 0 : 2, drop("fault: link drops", "link lost")},
            {radioOn ? 1 : 0,
             [&] {
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
             }},
            {radioOn ? 0 : 1, radioBack},
            {1,
             [&] {
                 const bool drops = chance(50);
                 if (drops)
                     dropLinked(), f.central->flush();
                 f.wake.resume();
                 return QStringLiteral("fault: computer wakes%1")
                     .arg(drops ? u" after drops" : u"");
             }},
            {1, doing("fault: connects go silent or are answered again",
                      [&] { f.central->answersConnects = !f.central->answersConnects; })},
            {silentConnects.isEmpty() ? 0 : 1, [&] { return answerSilentConnect(); }},
            {1,
             [&] {
                 const QBluetoothUuid c = chance(40) ? wifiStatusUUID : anyCharacteristic();
                 chair.readErrors[c] = QStringLiteral("read failed");
                 return QStringLiteral("fault: reads of %1 fail").arg(shortUuid(c));
             }},
            {1,
             [&] {
                 const QBluetoothUuid c = chance(60) ? (chance(50) ? otaV2DataUUID : otaV1DataUUID)
                                                     : anyCharacteristic();
                 chair.writeErrors[c] = QStringLiteral("write failed");
                 return QStringLiteral("fault: writes to %1 fail").arg(shortUuid(c));
             }},
            {1, doing("fault: errors stop",
                      [&] { chair.readErrors.clear(), chair.writeErrors.clear(); })},
            {1, doing("fault: discovery fails or works again",
                      [&] {
                          chair.discoveryError = chair.discoveryError.isEmpty()
                                                     ? QStringLiteral("discovery failed")
                                                     : QString();
                      })},
            {1,
             [&] {
                 const QBluetoothUuid c = anyCharacteristic();
                 chair.removeCharacteristic(c);
                 return QStringLiteral("fault: chair loses %1").arg(shortUuid(c));
             }},
            {updated && !talking.isEmpty() ? 1 : 0,
             drop("fault: chair restarts after its update", "restarting")},
            // A chair that reboots on its own, for instance after a brown-out.
            {talking.isEmpty() ? 0 : 1, drop("fault: chair restarts", "restarting")},
            {2,
             [&] {
                 return chunks({otaV2DataUUID, otaV1DataUUID});
             }},
        });
    }

    FakePeripheral* chairWith(const QUuid& id) const
    {
        for (const auto& chair : chairs)
            if (chair->identifier() == id)
                return chair.get();
        return nullptr;
    }

    // The platform's own time-out ends a connect it never completed, one way or the other. A
    // chair that came up meanwhile through a later connect is that connect's answer.
    QString answerSilentConnect()
    {
        const QUuid id = silentConnects.takeFirst();
        if (f.central->isLinked(chairWith(id)))
            return QStringLiteral("fault: silent connect merged into a later one");
        // With the radio off nothing completes.
        if (chance(70) || f.central->power() != CentralPower::On) {
            f.central->failConnect(chairWith(id), QStringLiteral("timed out"));
            return QStringLiteral("fault: silent connect fails");
        }
        f.central->completeConnect(chairWith(id));
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
        const QList<FakeCall>& all = f.central->calls();
        for (int i = callsBefore; i < all.size(); ++i)
            calls << describe(all[i]);
        trace << QStringLiteral("#%1 t=%2 %3 | %4%5 ota=%6 queued=%7 | %8")
                     .arg(trace.size())
                     .arg(f.scheduler.now().count())
                     .arg(what, stateName(m.connectionState()),
                          m.isReconnectingAfterOTA() ? QStringLiteral("(restart)") : QString(),
                          otaName(m.otaState()))
                     .arg(f.central->pendingAnswers())
                     .arg(calls.join(QLatin1Char(' ')));
    }

    // Time runs out: the platform gives up on connects it never completed, then a minute and a
    // half passes with the radio delivering as it goes.
    void runOut()
    {
        const int before = int(f.central->calls().size());
        f.central->answersConnects = true;
        f.central->flush();
        while (!silentConnects.isEmpty()) {
            FakePeripheral* chair = chairWith(silentConnects.takeFirst());
            if (!f.central->isLinked(chair))
                f.central->failConnect(chair, QStringLiteral("timed out"));
        }
        for (int second = 0; second < 90; ++second)
            f.advance(1s);
        record(QStringLiteral("time runs out"), before);
    }

    // --- invariants ---------------------------------------------------------------------------
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
        const bool linkDown = idle || linkedChairs().isEmpty();
        if (linkDown) {
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
            if (!kept.isEmpty())
                fail(QStringLiteral("%1: %2 with the link down keeps %3")
                         .arg(when, stateName(state), kept.join(QStringLiteral(", "))));
            // Only the automatic-mode countdown outlives a drop, and only while a reconnect
            // may still bring the chair back.
            const bool waitingForChair =
                state == ConnectionState::connecting || state == ConnectionState::wifiConnecting;
            QStringList timers;
            for (const milliseconds interval : f.scheduler.activeTimerIntervals())
                if (!waitingForChair || (interval != 1s && interval != 3s))
                    timers << QString::number(interval.count()) + QStringLiteral(" ms");
            if (!timers.isEmpty())
                fail(QStringLiteral("%1: %2 with the link down still runs timers of %3")
                         .arg(when, stateName(state), timers.join(QStringLiteral(", "))));
        }
    }

    void checkAtRest()
    {
        const BluetoothManager& m = *f.manager;
        const ConnectionState state = m.connectionState();
        if (state == ConnectionState::checkingWifi)
            fail(QStringLiteral("stuck checking WiFi: the screen offers no way out"));
        if (state == ConnectionState::connecting && m.isReconnectingAfterOTA())
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
    QHash<const FakePeripheral*, QList<QByteArray>> networks;
    QList<QUuid> silentConnects;

    int faultRate = 0;              // percent of steps that inject a fault
    bool updateMinded = false;      // the user is here to update the chair
    int transfer = 0;               // the update being made; a start or a dismissal ends it
    std::deque<int> writeTransfers; // per write still to be confirmed, the update it was for
    QSet<int> failedChunkTransfers; // updates with a chunk the chair refused
};

int envInt(const char* name, int fallback)
{
    bool ok = false;
    const int value = qEnvironmentVariableIntValue(name, &ok);
    return ok ? value : fallback;
}

} // namespace

class FaultInjectionTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        reportSeedOnCrash();
        QVERIFY(packages.dir.isValid());
        QCOMPARE(packages.paths.size(), 6);
    }

    void randomScriptsLeaveTheLinkSound()
    {
        QList<int> seeds;
        if (qEnvironmentVariableIsSet("VELNORA_FAULT_SEED")) {
            seeds << envInt("VELNORA_FAULT_SEED", 1);
        } else {
            const int count = envInt("VELNORA_FAULT_SCRIPTS", 1000);
            for (int seed = 1; seed <= count; ++seed)
                seeds << seed;
        }
        Totals totals;
        QStringList failures;
        QString firstTrace;
        QElapsedTimer clock;
        clock.start();
        for (const int seed : std::as_const(seeds)) {
            playingSeed = seed;
            Script script(seed, packages.paths);
            script.play();
            // Every 50th seed, played again from scratch, must say and do exactly the same.
            if (seed % 50 == 7) {
                Script again(seed, packages.paths);
                again.play();
                const auto diverges = std::mismatch(script.trace.begin(), script.trace.end(),
                                                    again.trace.begin(), again.trace.end());
                if (diverges.first != script.trace.end() || diverges.second != again.trace.end())
                    failures << QStringLiteral("seed %1 played differently at line %2: %3")
                                    .arg(seed)
                                    .arg(diverges.first - script.trace.begin())
                                    .arg(diverges.first == script.trace.end() ? QString()
                                                                              : *diverges.first);
            }
            ++totals.scripts;
            totals.steps += script.steps;
            totals.injections += script.injections;
            ++totals.endStates[stateName(script.endState())];
            for (const QString& milestone : std::as_const(script.milestones))
                ++totals.milestones[milestone];
            if (seeds.size() == 1)
                qInfo().noquote() << script.traceText();
            if (!script.violation.isEmpty()) {
                failures << QStringLiteral("seed %1: %2").arg(seed).arg(script.violation);
                if (firstTrace.isEmpty())
                    firstTrace = script.traceText();
            }
        }
        playingSeed = -1;
        qInfo().noquote() << QStringLiteral("%1 scripts, %2 steps, %3 injections in %4 ms")
                                 .arg(totals.scripts)
                                 .arg(totals.steps)
                                 .arg(totals.injections)
                                 .arg(clock.elapsed());
        for (const auto& [state, n] : totals.endStates)
            qInfo().noquote() << QStringLiteral("  ended %1: %2").arg(state).arg(n);
        for (const auto& [milestone, n] : totals.milestones)
            qInfo().noquote() << QStringLiteral("  reached %1: %2").arg(milestone).arg(n);
        if (!failures.isEmpty()) {
            qInfo().noquote() << "trace of the first failing seed:\n" + firstTrace;
            QFAIL(qPrintable(QStringLiteral("%1 of %2 scripts broke the link (replay with "
                                            "VELNORA_FAULT_SEED):\n%3")
                                 .arg(failures.size())
                                 .arg(totals.scripts)
                                 .arg(failures.mid(0, 25).join(QLatin1Char('\n')))));
        }
    }

    // Faults the scripts found, each pinned down on its own.

    void aStatusTheChairCannotReadEndsTheWifiCheck()
    {
        // One failed read is asked again a second later; an online chair then goes to ready.
        LinkFixture g;
        const auto busy = g.central->makeChair();
        busy->readErrors[wifiStatusUUID] = QStringLiteral("busy");
        g.connectChair(busy);
        QCOMPARE(g.state(), ConnectionState::checkingWifi);
        busy->readErrors.clear();
        g.advance(999ms);
        QCOMPARE(g.central->readsOf(wifiStatusUUID), 1);
        g.advance(1ms);
        QCOMPARE(g.central->readsOf(wifiStatusUUID), 2);
        QCOMPARE(g.state(), ConnectionState::ready);

        LinkFixture f;
        const auto chair = f.central->makeChair();
        chair->readErrors[wifiStatusUUID] = QStringLiteral("read failed");
        f.connectChair(chair);
        f.advance(1s);
        // Taken as unknown after the second failure: the setup screen, which offers a way out,
        // instead of a check screen without one.
        QCOMPARE(f.central->readsOf(wifiStatusUUID), 2);
        QCOMPARE(f.state(), ConnectionState::wifiSetup);
        QCOMPARE(f.manager->wifiStatus(), WiFiStatus::unknown);
        QVERIFY(!f.manager->wifiErrorMessage());
        QCOMPARE(f.central->readsOf(wifiSSIDListCounterUUID), 1);

        // Outside the check a failed status read changes nothing.
        chair->readErrors.clear();
        chair->values[wifiStatusUUID] = bytes({0x04});
        f.central->dropLink(chair.get());
        f.advance(2s);
        QCOMPARE(f.state(), ConnectionState::ready);
        chair->readErrors[wifiStatusUUID] = QStringLiteral("read failed");
        chair->read(wifiStatusUUID);
        f.central->flush();
        QCOMPARE(f.state(), ConnectionState::ready);
        QCOMPARE(f.manager->wifiStatus(), WiFiStatus::connected);
    }

private:
    Packages packages;
};

QTEST_GUILESS_MAIN(FaultInjectionTest)
#include "tst_fault_injection.moc"
