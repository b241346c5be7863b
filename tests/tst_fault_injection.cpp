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

#include <csignal>
#include <cstdio>
#include <deque>
#include <map>
#include <random>
#include <signal.h>

#if defined(__SANITIZE_ADDRESS__)
#define VELNORA_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VELNORA_ASAN 1
#endif
#endif
#ifdef VELNORA_ASAN
#include <sanitizer/common_interface_defs.h>
#endif

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

// Says the seed, then lets the test library's own handler report the crash as usual.
void onCrash(int signal)
{
    printPlayingSeed();
    playingSeed = -1;
    for (int i = 0; i < 3; ++i)
        if (crashSignals[i] == signal)
            sigaction(signal, &previousActions[i], nullptr);
    raise(signal);
}

void reportSeedOnCrash()
{
    struct sigaction action = {};
    action.sa_handler = onCrash;
    sigemptyset(&action.sa_mask);
    for (int i = 0; i < 3; ++i)
        sigaction(crashSignals[i], &action, &previousActions[i]);
#ifdef VELNORA_ASAN
    __sanitizer_set_death_callback(printPlayingSeed);
#endif
}

QString stateName(ConnectionState s)
{
    return QString::fromLatin1(QMetaEnum::fromType<ConnectionState>().valueToKey(int(s)));
}

QString otaName(const OTAState& s)
{
    return QString::fromLatin1(QMetaEnum::fromType<OTAState::Kind>().valueToKey(int(s.kind)));
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
        QObject::connect(m, &BluetoothManager::connectionStateChanged, &context, [this, m] {
            const ConnectionState state = m->connectionState();
            if (state == ConnectionState::ready)
                milestones.insert(QStringLiteral("ready"));
            if (state == ConnectionState::wifiSetup)
                milestones.insert(QStringLiteral("WiFi setup"));
            if (state == ConnectionState::wifiConnecting)
                milestones.insert(QStringLiteral("WiFi credentials sent"));
            if (state == ConnectionState::unavailable)
                milestones.insert(QStringLiteral("radio off"));
            if (state == ConnectionState::connecting && m->isReconnectingAfterOTA())
                milestones.insert(QStringLiteral("restart after an update"));
        });
        QObject::connect(m, &BluetoothManager::wifiOfflineSecondsChanged, &context, [this, m] {
            if (m->wifiOfflineSeconds())
                milestones.insert(QStringLiteral("WiFi grace period"));
        });
        QObject::connect(m, &BluetoothManager::chairIsAsleepChanged, &context, [this, m] {
            if (m->chairIsAsleep())
                milestones.insert(QStringLiteral("chair asleep"));
        });
        QObject::connect(m, &BluetoothManager::autoModeEnabledChanged, &context, [this, m] {
            if (m->autoModeEnabled())
                milestones.insert(QStringLiteral("automatic mode"));
        });
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

    QByteArray wifiStatusValue()
    {
        switch (pick(8)) {
        case 0: return bytes({0x01});
        case 1: return bytes({0x05});
        case 2: return bytes({0x07});
        case 3: return QByteArray();
        default: return bytes({0x04});
        }
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
        if (ota.kind == OTAState::Kind::transferring)
            milestones.insert(QStringLiteral("update transferring"));
        if (ota.kind == OTAState::Kind::flashing)
            milestones.insert(QStringLiteral("update flashing"));
        if (ota.kind == OTAState::Kind::success)
            milestones.insert(QStringLiteral("update success"));
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

    void startUpdate()
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
    // Some scripts are calm and get deep into a session, others are a storm.
    QString step()
    {
        if (pick(100) < faultRate) {
            ++injections;
            return inject();
        }
        const int roll = pick(100);
        if (roll < 45)
            return userAction();
        if (roll < 65)
            return chairReport();
        if (roll < 85)
            return deliver();
        return passTime();
    }

    QString userAction()
    {
        BluetoothManager& m = *f.manager;
        switch (m.connectionState()) {
        case ConnectionState::disconnected: {
            m.startScanning();
            advertise();
            return QStringLiteral("user scans");
        }
        case ConnectionState::scanning: {
            const int r = pick(10);
            if (r < 6 && !m.discoveredDevices().isEmpty()) {
                const DiscoveredDevice device = any(m.discoveredDevices());
                m.connect(device.id());
                return QStringLiteral("user picks %1").arg(device.name);
            }
            if (r < 8) {
                m.cancelScan();
                return QStringLiteral("user cancels the scan");
            }
            advertise();
            return QStringLiteral("chairs advertise");
        }
        case ConnectionState::connecting:
            if (m.isReconnectingAfterOTA())
                return QStringLiteral("user waits for the restart");
            if (chance(30)) {
                m.disconnect();
                return QStringLiteral("user cancels connecting");
            }
            return QStringLiteral("user waits");
        case ConnectionState::wifiSetup: return wifiSetupAction();
        case ConnectionState::wifiConnecting:
            if (chance(25)) {
                m.disconnect();
                return QStringLiteral("user disconnects while WiFi connects");
            }
            return QStringLiteral("user waits");
        case ConnectionState::ready: return readyAction();
        case ConnectionState::checkingWifi:
        case ConnectionState::unavailable: break;
        }
        return QStringLiteral("user waits");
    }

    QString wifiSetupAction()
    {
        BluetoothManager& m = *f.manager;
        const int r = pick(10);
        if (r < 3) {
            m.disconnect();
            return QStringLiteral("user disconnects from WiFi setup");
        }
        if (m.isLoadingNetworks())
            return QStringLiteral("user waits for the list");
        if (r < 7 && !m.availableNetworks().isEmpty()) {
            const QString ssid = any(m.availableNetworks());
            m.connectToWiFi(ssid, QStringLiteral("secret"));
            return QStringLiteral("user joins %1").arg(ssid);
        }
        m.scanForNetworks();
        return QStringLiteral("user refreshes the list");
    }

    QString readyAction()
    {
        BluetoothManager& m = *f.manager;
        if (m.chairIsAsleep() && chance(50)) {
            m.wakeChair();
            return QStringLiteral("user wakes the chair");
        }
        // Some users came to update their chair and keep at it.
        if (updateMinded && chance(50)) {
            if (m.otaState().isInProgress())
                return deliver();
            if (m.otaState().kind != OTAState::Kind::idle && chance(50)) {
                ++transfer;
                m.resetOTA();
                return QStringLiteral("user dismisses the update");
            }
            startUpdate();
            return QStringLiteral("user starts an update");
        }
        switch (pick(15)) {
        case 0: {
            const bool right = chance(50);
            m.toggleLeg(right);
            return QStringLiteral("user toggles %1 leg").arg(right ? u"right" : u"left");
        }
        case 1: {
            const bool on = !m.autoModeEnabled();
            m.setAutoMode(on);
            return QStringLiteral("user sets auto mode %1").arg(on ? u"on" : u"off");
        }
        case 2: {
            const int pattern = pick(3);
            m.setAutoModePattern(pattern);
            return QStringLiteral("user picks pattern %1").arg(pattern);
        }
        case 3: {
            const double minutes = 1 + pick(19) * 0.5;
            m.setIsEditingPeriod(true);
            m.setAutoPeriodMinutes(minutes);
            m.setIsEditingPeriod(false);
            m.writeAutoPeriod();
            return QStringLiteral("user sets the period to %1 min").arg(minutes);
        }
        case 4: {
            const double strength = 20 + pick(31);
            m.setIsEditingMotor(true);
            m.setMotorStrength(strength);
            m.setIsEditingMotor(false);
            m.writeMotorStrength();
            return QStringLiteral("user sets vibration %1").arg(strength);
        }
        case 5:
        case 6:
        case 11:
        case 12:
            if (m.otaState().isInProgress())
                return deliver(); // the user watches the update
            startUpdate();
            return QStringLiteral("user starts an update");
        case 7:
            if (m.otaState().kind == OTAState::Kind::success ||
                m.otaState().kind == OTAState::Kind::error) {
                ++transfer;
                m.resetOTA();
                return QStringLiteral("user dismisses the update");
            }
            return QStringLiteral("user waits");
        case 8: m.scanForNetworks(); return QStringLiteral("user refreshes networks in settings");
        case 9:
            if (!m.isLoadingNetworks() && !m.availableNetworks().isEmpty()) {
                const QString ssid = any(m.availableNetworks());
                m.connectToWiFi(ssid, QStringLiteral("secret"));
                return QStringLiteral("user joins %1 from settings").arg(ssid);
            }
            return QStringLiteral("user waits");
        case 10: m.disconnect(); return QStringLiteral("user disconnects");
        default: return QStringLiteral("user waits");
        }
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
        switch (pick(12)) {
        case 0:
        case 1: {
            const QByteArray value = bytes({pick(2), pick(2), any(QList<int>{0, 0, 1, 3})});
            chair.notify(chairStateUUID, chance(10) ? value.left(2) : value);
            return QStringLiteral("chair reports state %1").arg(QString::fromLatin1(value.toHex()));
        }
        case 2:
            chair.notify(chairStateEventUUID, bytes({1}));
            return QStringLiteral("chair reports an event");
        case 3: {
            const float seconds = any(QList<float>{0.f, 0.f, 30.f, 12.7f, -3.f});
            chair.values[timeToNextTransitionUUID] = floatBytes(seconds);
            chair.notify(timeToNextTransitionUUID, floatBytes(seconds));
            return QStringLiteral("chair counts down %1").arg(seconds);
        }
        case 4:
            chair.notify(autoModeUUID, bytes({pick(2)}));
            return QStringLiteral("chair reports auto mode");
        case 5:
            chair.notify(autoPeriodUUID, u32Bytes(quint32(60 + pick(600))));
            return QStringLiteral("chair reports its period");
        case 6: {
            const QBluetoothUuid c = chance(50) ? leftOdometerUUID : rightOdometerUUID;
            const QByteArray value = u32Bytes(quint32(pick(300)));
            chair.values[c] = value;
            chair.notify(c, value);
            return QStringLiteral("chair reports an odometer");
        }
        case 7:
        case 8: {
            const QByteArray value = chance(50) ? bytes({0x04}) : bytes({0x05});
            chair.values[wifiStatusUUID] = value;
            chair.notify(wifiStatusUUID, value);
            return QStringLiteral("chair reports WiFi %1").arg(QString::fromLatin1(value.toHex()));
        }
        default: {
            // What CPU1's flasher says at the next poll.
            const QByteArray record = any(QList<QByteArray>{
                flashRecord(4, 0, 120), flashRecord(9, 40, 120), flashRecord(11, 80, 120),
                flashRecord(4, 120, 120), flashRecord(7, 1, 1), flashRecord(9, 1, 2).left(11)});
            chair.values[otaV2StatusUUID] = record;
            if (chance(30))
                chair.notify(otaV2StatusUUID, record);
            return QStringLiteral("chair flasher says %1").arg(QString::fromLatin1(record.toHex()));
        }
        }
    }

    QString deliver()
    {
        if (chance(55)) {
            f.central->flush();
            return QStringLiteral("radio delivers everything");
        }
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
        // Bluetooth that went off mostly comes back within the script.
        if (f.central->power() != CentralPower::On && chance(35)) {
            f.central->setPower(CentralPower::On);
            return QStringLiteral("fault: radio comes back");
        }
        FakePeripheral& chair = *any(chairs);
        // While an update runs, its chunks are what a flaky radio hurts most.
        if (f.manager->otaState().isInProgress() && chance(30)) {
            const QString error = chance(50) ? QStringLiteral("write failed") : QString();
            chair.writeErrors[chance(50) ? otaV2DataUUID : otaV1DataUUID] = error;
            return error.isEmpty() ? QStringLiteral("fault: chunks confirmed")
                                   : QStringLiteral("fault: a processor's chunks fail");
        }
        switch (pick(16)) {
        case 0:
        case 1: {
            const QList<FakePeripheral*> linked = talkingChairs();
            if (linked.isEmpty())
                return QStringLiteral("fault: nothing to drop");
            f.central->dropLink(any(linked));
            return QStringLiteral("fault: link drops");
        }
        case 2: {
            if (f.central->power() != CentralPower::On)
                return QStringLiteral("fault: radio already off");
            const CentralPower power =
                any(QList<CentralPower>{CentralPower::Off, CentralPower::Off,
                                        CentralPower::Resetting, CentralPower::Unauthorized});
            // What was in the air arrives first; after that the radio is silent.
            f.central->flush();
            f.central->setPower(power);
            const bool drops = chance(60); // the stack reports the lost links, or says nothing
            if (drops)
                dropLinked();
            return QStringLiteral("fault: radio goes off%1").arg(drops ? u" with drops" : u"");
        }
        case 3: {
            if (f.central->power() == CentralPower::On)
                return QStringLiteral("fault: radio already on");
            f.central->setPower(CentralPower::On);
            return QStringLiteral("fault: radio comes back");
        }
        case 4: {
            const bool drops = chance(50);
            if (drops) {
                dropLinked();
                f.central->flush();
            }
            f.wake.resume();
            return QStringLiteral("fault: computer wakes%1").arg(drops ? u" after drops" : u"");
        }
        case 5:
            f.central->answersConnects = !f.central->answersConnects;
            return f.central->answersConnects ? QStringLiteral("fault: connects answered again")
                                              : QStringLiteral("fault: connects go silent");
        case 6: return answerSilentConnect();
        case 7: {
            const QBluetoothUuid c = chance(40) ? wifiStatusUUID : anyCharacteristic();
            chair.readErrors[c] = QStringLiteral("read failed");
            return QStringLiteral("fault: reads of %1 fail").arg(shortUuid(c));
        }
        case 8: {
            const QBluetoothUuid c =
                chance(60) ? (chance(50) ? otaV2DataUUID : otaV1DataUUID) : anyCharacteristic();
            chair.writeErrors[c] = QStringLiteral("write failed");
            return QStringLiteral("fault: writes to %1 fail").arg(shortUuid(c));
        }
        case 9:
            chair.readErrors.clear();
            chair.writeErrors.clear();
            return QStringLiteral("fault: errors stop");
        case 10:
            chair.discoveryError =
                chair.discoveryError.isEmpty() ? QStringLiteral("discovery failed") : QString();
            return chair.discoveryError.isEmpty() ? QStringLiteral("fault: discovery works again")
                                                  : QStringLiteral("fault: discovery fails");
        case 11: {
            const QBluetoothUuid c = anyCharacteristic();
            chair.removeCharacteristic(c);
            return QStringLiteral("fault: chair loses %1").arg(shortUuid(c));
        }
        case 12: {
            const QList<FakePeripheral*> linked = talkingChairs();
            if (f.manager->otaState().kind != OTAState::Kind::success || linked.isEmpty())
                return QStringLiteral("fault: chair does not restart");
            f.central->dropLink(any(linked), QStringLiteral("restarting"));
            return QStringLiteral("fault: chair restarts after its update");
        }
        case 13: {
            // A chair that reboots on its own, for instance after a brown-out.
            const QList<FakePeripheral*> linked = talkingChairs();
            if (linked.isEmpty())
                return QStringLiteral("fault: chair does not restart");
            f.central->dropLink(any(linked), QStringLiteral("restarting"));
            return QStringLiteral("fault: chair restarts");
        }
        default: {
            const QString error = chance(50) ? QStringLiteral("write failed") : QString();
            chair.writeErrors[otaV2DataUUID] = error;
            chair.writeErrors[otaV1DataUUID] = error;
            return error.isEmpty() ? QStringLiteral("fault: chunks confirmed")
                                   : QStringLiteral("fault: chunks fail");
        }
        }
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
        if (silentConnects.isEmpty())
            return QStringLiteral("fault: no silent connect");
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
            QStringList kept;
            if (!m.softwareVersion().isEmpty())
                kept << QStringLiteral("softwareVersion");
            if (!m.firmwareVersion().isEmpty())
                kept << QStringLiteral("firmwareVersion");
            if (!m.serialNumber().isEmpty())
                kept << QStringLiteral("serialNumber");
            if (m.chairIsAsleep())
                kept << QStringLiteral("chairIsAsleep");
            if (m.lifetimeMoves())
                kept << QStringLiteral("lifetimeMoves");
            if (m.sessionMoves() != 0)
                kept << QStringLiteral("sessionMoves");
            if (!m.connectedSSID().isEmpty())
                kept << QStringLiteral("connectedSSID");
            if (m.wifiOfflineSeconds())
                kept << QStringLiteral("wifiOfflineSeconds");
            if (m.otaState().isInProgress())
                kept << QStringLiteral("an update in progress");
            if (state == ConnectionState::disconnected && !m.deviceName().isEmpty())
                kept << QStringLiteral("deviceName");
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

    void aSeedReplaysTheSameTrace()
    {
        // Every 50th seed, played twice from scratch, must say and do exactly the same.
        for (int seed = 7; seed <= 1000; seed += 50) {
            playingSeed = seed;
            Script first(seed, packages.paths);
            first.play();
            Script second(seed, packages.paths);
            second.play();
            QVERIFY2(first.trace.size() > 20, qPrintable(QStringLiteral("seed %1").arg(seed)));
            if (first.trace != second.trace) {
                int i = 0;
                while (i < first.trace.size() && i < second.trace.size() &&
                       first.trace[i] == second.trace[i])
                    ++i;
                QFAIL(qPrintable(QStringLiteral("seed %1 played differently from line %2:\n%3\n%4")
                                     .arg(seed)
                                     .arg(i)
                                     .arg(first.trace.value(i), second.trace.value(i))));
            }
        }
        playingSeed = -1;
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

    void aChairLetGoLeavesNoCountdownRunning()
    {
        // The user cancels while the chair's first answers are still in the air; one says
        // automatic mode runs.
        LinkFixture f;
        const auto chair = f.central->makeChair();
        chair->values[chairStateUUID] = bytes({0x00, 0x00, 0x01});
        f.manager->startScanning();
        f.central->advertise(chair, chair->name(), -50);
        f.manager->connect(chair->identifier());
        while (f.central->readsOf(chairStateUUID) == 0 && f.central->deliverNext()) {
        }
        QCOMPARE(f.central->readsOf(chairStateUUID), 1);
        f.manager->disconnect();
        f.central->flush();
        QCOMPARE(f.state(), ConnectionState::disconnected);
        QVERIFY(!f.manager->autoModeEnabled());
        QCOMPARE(f.scheduler.activeTimers(), 0);
        QCOMPARE(f.manager->deviceName(), QString());
    }

    void aFailedReconnectForgetsTheChair()
    {
        LinkFixture f;
        const auto chair = f.connectChair();
        QCOMPARE(f.state(), ConnectionState::ready);
        f.manager->setAutoMode(true);
        f.central->dropLink(chair.get());
        f.central->flush();
        QCOMPARE(f.state(), ConnectionState::connecting);
        // The countdown may wait for the chair's return...
        QCOMPARE(f.scheduler.activeTimers(), 2);

        f.central->answersConnects = false;
        f.advance(2s);
        QCOMPARE(f.central->count(Kind::connect), 2);
        f.central->failConnect(chair.get());
        f.central->flush();
        // ...but not once the chair is given up.
        QCOMPARE(f.state(), ConnectionState::disconnected);
        QCOMPARE(f.scheduler.activeTimers(), 0);
        QVERIFY(!f.manager->autoModeEnabled());
        QCOMPARE(f.manager->countdownSeconds(), 0.0);
        QCOMPARE(f.manager->deviceName(), QString());

        // A failure reported while the link is up also lets go of the link.
        LinkFixture g;
        const auto other = g.connectChair();
        g.wake.resume(); // reconnects the live link 2 s later
        g.central->answersConnects = false;
        g.advance(2s);
        g.central->clearCalls();
        g.central->failConnect(other.get());
        g.central->flush();
        QCOMPARE(g.state(), ConnectionState::disconnected);
        QCOMPARE(g.central->count(Kind::cancel), 1);
        QVERIFY(!g.central->isLinked(other.get()));
        QCOMPARE(g.manager->serialNumber(), QString());
        QCOMPARE(g.scheduler.activeTimers(), 0);
    }

    void theRadioReturningReleasesAChairNobodyReconnects()
    {
        LinkFixture f;
        const auto chair = f.central->makeChair();
        f.central->answersConnects = false;
        f.manager->startScanning();
        f.central->advertise(chair, chair->name(), -50);
        f.manager->connect(chair->identifier());
        QCOMPARE(f.state(), ConnectionState::connecting);
        f.central->setPower(CentralPower::Off);
        QCOMPARE(f.state(), ConnectionState::unavailable);
        f.central->clearCalls();
        f.central->setPower(CentralPower::On);
        QCOMPARE(f.state(), ConnectionState::disconnected);
        QCOMPARE(f.central->count(Kind::cancel), 1);

        // The old attempt completing late is refused, not run behind the disconnected screen.
        f.central->completeConnect(chair.get());
        f.central->flush();
        QCOMPARE(f.central->count(Kind::cancel), 2);
        QCOMPARE(f.central->count(Kind::discoverServices), 0);
        QCOMPARE(f.state(), ConnectionState::disconnected);
        QCOMPARE(f.scheduler.activeTimers(), 0);
        QCOMPARE(f.manager->deviceName(), QString());
        f.wake.resume();
        f.advance(5s);
        QCOMPARE(f.central->count(Kind::connect), 0);
    }

private:
    Packages packages;
};

QTEST_GUILESS_MAIN(FaultInjectionTest)
#include "tst_fault_injection.moc"
