// Seeded random scripts through the program's real link (Qt Bluetooth, real timers) against the
// virtual chair: user actions, chair reports and faults at random moments. After every script
// the link must settle in a state the screens can leave, answer the next request, stay silent
// once the user let the chair go, and connect again.
//
// VELNORA_CHAOS_SCRIPTS=N runs N scripts (a short smoke by default), VELNORA_CHAOS_FIRST=S
// starts at seed S, VELNORA_CHAOS_SEED=S replays one script. A failure names its seed.
#include "ChairProfile.h"
#include "RealLink.h"
#include "VirtualChairBus.h"
#include "ZipWriter.h"

#include <QDeadlineTimer>
#include <QMap>
#include <QSet>
#include <QtTest>

#include <functional>
#include <random>

using namespace ChairProfile;

namespace {

const QString chairAddress = VirtualChairBus::chairAddress(1);
const QString chairName = QStringLiteral("Velnora Pro 0001");

int envNumber(const char* name, int fallback)
{
    bool ok = false;
    const int value = qEnvironmentVariableIntValue(name, &ok);
    return ok ? value : fallback;
}

// Runs the event loop as the program does, without QTest::qWait's sleeps.
void pump(int milliseconds)
{
    const QDeadlineTimer deadline(milliseconds);
    while (!deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents,
                                        int(qMax<qint64>(1, deadline.remainingTime())));
}

bool pumpUntil(const std::function<bool()>& done, int milliseconds)
{
    const QDeadlineTimer deadline(milliseconds);
    while (!done() && !deadline.hasExpired())
        pump(20);
    return done();
}

QString nameOf(ConnectionState state)
{
    return QString::fromLatin1(QMetaEnum::fromType<ConnectionState>().valueToKey(int(state)));
}

bool isSettled(ConnectionState state)
{
    switch (state) {
    case ConnectionState::disconnected:
    case ConnectionState::scanning:
    case ConnectionState::ready:
    case ConnectionState::wifiSetup: return true;
    default: return false;
    }
}

// Lines the chair printed for traffic the central started on this chair's link.
bool isCentralTraffic(const QString& line)
{
    if (!line.startsWith(chairAddress))
        return false;
    return line.contains(QLatin1String(" Connect")) || line.contains(QLatin1String(" write ")) ||
           line.contains(QLatin1String(" read "));
}

struct Totals {
    int scripts = 0;
    int steps = 0;
    QMap<QString, int> actions;
    QSet<int> states;
};
Totals totals;

} // namespace

class LinkChaosTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        if (!bus.start())
            QSKIP("dbus-daemon is not available");
    }

    void cleanupTestCase()
    {
        QStringList actions;
        for (auto it = totals.actions.cbegin(); it != totals.actions.cend(); ++it)
            actions << QStringLiteral("%1 %2").arg(it.key()).arg(it.value());
        qInfo().noquote() << QStringLiteral("%1 scripts, %2 steps, %3 of 8 states reached; %4")
                                 .arg(totals.scripts)
                                 .arg(totals.steps)
                                 .arg(totals.states.size())
                                 .arg(actions.join(QLatin1String(", ")));
    }

    void script_data()
    {
        QTest::addColumn<int>("seed");
        const int only = envNumber("VELNORA_CHAOS_SEED", -1);
        const int first = only >= 0 ? only : envNumber("VELNORA_CHAOS_FIRST", 1);
        const int count = only >= 0 ? 1 : envNumber("VELNORA_CHAOS_SCRIPTS", 5);
        for (int seed = first; seed < first + count; ++seed)
            QTest::addRow("seed %d", seed) << seed;
    }

    void script()
    {
        QFETCH(int, seed);
        rng.seed(quint32(seed));
        played.clear();
        log.clear();
        updated = false;
        chairOptions = {QStringLiteral("--verbose"), QStringLiteral("--motor-delay-ms=150"),
                        QStringLiteral("--restart-seconds=1"),
                        QStringLiteral("--flash-ms-per-page=5")};
        if (chance(2))
            chairOptions << QStringLiteral("--online=Office_5G");
        QVERIFY2(bus.startChair(chairOptions), qPrintable(bus.chairOutput()));

        link = std::make_unique<RealLink>(QStringLiteral("chaos@example.com"));
        QObject::connect(link->manager.get(), &BluetoothManager::connectionStateChanged,
                         link->manager.get(), [this] { totals.states.insert(int(link->state())); });
        QVERIFY(link->waitForState(ConnectionState::disconnected));
        QVERIFY2(holds(connectAndWait(), seed, "the first connect failed"), "see the script");

        const int steps = between(6, 14);
        for (int i = 0; i < steps; ++i) {
            playOneStep();
            pump(between(0, 1200));
        }
        totals.steps += steps;
        ++totals.scripts;

        restoreChair();
        checkSettles(seed);
        if (QTest::currentTestFailed())
            return;
        checkLetGo(seed);
        if (QTest::currentTestFailed())
            return;
        QVERIFY2(holds(connectAndWait(), seed, "no connect after the script"), "see the script");
        link->manager->disconnect();
        QVERIFY(link->waitForState(ConnectionState::disconnected));
    }

    // Faults the scripts found, each on its own.

    void aChairBeingLetGoHearsNothingMore()
    {
        QVERIFY(
            bus.startChair({QStringLiteral("--verbose"), QStringLiteral("--online=Office_5G")}));
        link = std::make_unique<RealLink>();
        QVERIFY(connectAndWait());
        QTRY_VERIFY(link->manager->lifetimeMoves().has_value());
        BluetoothManager& m = *link->manager;
        // Clicks that land while the link is still closing.
        m.disconnect();
        m.toggleLeg(false);
        m.setAutoMode(true);
        m.connectToWiFi(QStringLiteral("Home_Network"), QStringLiteral("velnora-wifi"));
        QVERIFY(link->waitForState(ConnectionState::disconnected));
        const QString output = chairOutput();
        const qsizetype letGo = output.lastIndexOf(chairAddress + QLatin1String(" Disconnect"));
        QVERIFY(letGo > 0);
        for (const QString& line : output.mid(letGo).split(QLatin1Char('\n')))
            QVERIFY2(!isCentralTraffic(line), qPrintable(line));
        QVERIFY(!m.autoModeEnabled());
    }

    void aBluezRestartEndsTheLinkAndTheChairComesBack()
    {
        const QStringList options{QStringLiteral("--online=Office_5G")};
        QVERIFY(bus.startChair(options));
        link = std::make_unique<RealLink>();
        QVERIFY(connectAndWait());
        QTRY_COMPARE(link->manager->serialNumber(), QStringLiteral("VP-2026-0001"));

        // bluetoothd stops: the links it held end with it, though nobody reports them down.
        bus.stopChair();
        QVERIFY(link->waitForState(ConnectionState::unavailable));
        QVERIFY(link->manager->serialNumber().isEmpty());
        // Restarted, it has forgotten the chair: the reconnect finds it again by a scan.
        QVERIFY(bus.startChair(options));
        QVERIFY(link->waitForState(ConnectionState::ready, 20000));
        QTRY_COMPARE(link->manager->serialNumber(), QStringLiteral("VP-2026-0001"));
        QVERIFY(bus.chairState(chairAddress).value(QStringLiteral("connected")).toBool());
    }

    void cleanup()
    {
        link.reset();
        bus.stopChair();
    }

private:
    int between(int low, int high) { return std::uniform_int_distribution(low, high)(rng); }
    bool chance(int oneIn) { return between(1, oneIn) == 1; }

    void note(const QString& action)
    {
        played << QStringLiteral("%1 (%2)").arg(action, nameOf(link->state()));
        ++totals.actions[action.section(QLatin1Char(' '), 0, 0)];
    }

    QString chairOutput()
    {
        log += bus.chairOutput();
        return log;
    }

    // The chair's last lines, without the clean-up's own calls.
    QString chairTail()
    {
        QStringList lines = chairOutput().split(QLatin1Char('\n'));
        lines.removeIf([](const QString& line) { return line.endsWith(QLatin1String(", 0)")); });
        return lines.mid(qMax(0, int(lines.size()) - 60)).join(QLatin1Char('\n'));
    }

    // QtTest cuts long messages: the script and the logs go out whole before a check fails.
    bool holds(bool ok, int seed, const char* what)
    {
        if (!ok)
            qWarning().noquote() << report(seed, what);
        return ok;
    }

    QString report(int seed, const char* what)
    {
        return QStringLiteral("seed %1: %2 in state %3\nscript:\n  %4\nprogram log (tail):\n  %5\n"
                              "chair (tail):\n%6")
            .arg(seed)
            .arg(QLatin1String(what))
            .arg(nameOf(link->state()))
            .arg(played.join(QLatin1String("\n  ")))
            .arg(link->log.lines()
                     .mid(qMax(0, link->log.lines().size() - 25))
                     .join(QLatin1String("\n  ")))
            .arg(chairTail());
    }

    // Scans until the chair is listed and connects; true once the link reached its end state.
    bool connectAndWait()
    {
        if (!link->scanAndConnect(chairName))
            return false;
        return pumpUntil(
            [this] {
                return link->state() == ConnectionState::ready ||
                       link->state() == ConnectionState::wifiSetup;
            },
            30000);
    }

    void playOneStep()
    {
        BluetoothManager& m = *link->manager;
        switch (between(0, 20)) {
        case 0:
            note(QStringLiteral("toggleLeg"));
            m.toggleLeg(chance(2));
            break;
        case 1: {
            const bool on = chance(2);
            note(QStringLiteral("setAutoMode %1").arg(on));
            m.setAutoMode(on);
            break;
        }
        case 2: {
            const int pattern = between(0, 2);
            const double minutes = between(1, 20) / 2.0;
            note(QStringLiteral("setPatternAndPeriod %1 %2").arg(pattern).arg(minutes));
            m.setAutoModePattern(pattern);
            m.setAutoPeriodMinutes(minutes);
            m.writeAutoPeriod();
            break;
        }
        case 3:
            note(QStringLiteral("writeMotorStrength"));
            m.setMotorStrength(between(0, 100));
            m.writeMotorStrength();
            break;
        case 4:
            note(QStringLiteral("wakeChair"));
            m.wakeChair();
            break;
        case 5:
            note(QStringLiteral("scanForNetworks"));
            m.scanForNetworks();
            break;
        case 6: {
            const bool right = chance(2);
            note(QStringLiteral("connectToWiFi %1").arg(right ? "right" : "wrong"));
            m.connectToWiFi(QStringLiteral("Home_Network"),
                            right ? QStringLiteral("velnora-wifi") : QStringLiteral("guess"));
            break;
        }
        case 7: {
            note(QStringLiteral("startFirmwareUpdate"));
            updated = true;
            const QString package = link->dir.filePath(QStringLiteral("update.zip"));
            writeZip(package, {{"StiltaB1.bin", firmwareImage(between(1, 6) * 1000, 1)},
                               {"firmware/Stilta-Firmware.bin", firmwareImage(3000, 2)}});
            m.startFirmwareUpdate(package);
            break;
        }
        case 8:
            note(QStringLiteral("resetOTA"));
            m.resetOTA();
            break;
        case 9:
            note(QStringLiteral("disconnect"));
            m.disconnect();
            break;
        case 10:
            note(QStringLiteral("connect"));
            if (m.connectionState() == ConnectionState::disconnected ||
                m.connectionState() == ConnectionState::scanning)
                link->scanAndConnect(chairName);
            break;
        case 11:
            note(QStringLiteral("PressLeg"));
            bus.control(QStringLiteral("PressLeg"),
                        {chairAddress, QVariant::fromValue(quint8(between(0, 1)))});
            break;
        case 12:
            note(QStringLiteral("Sleep"));
            bus.control(QStringLiteral("Sleep"), {chairAddress});
            break;
        case 13: {
            const bool online = chance(2);
            note(QStringLiteral("SetWifiOnline %1").arg(online));
            bus.control(QStringLiteral("SetWifiOnline"), {chairAddress, online});
            break;
        }
        case 14:
        case 15:
            note(QStringLiteral("DropLink"));
            bus.control(QStringLiteral("DropLink"), {chairAddress});
            break;
        case 16: {
            const int count = between(1, 4);
            note(QStringLiteral("RefuseConnects %1").arg(count));
            bus.control(QStringLiteral("RefuseConnects"),
                        {chairAddress, count,
                         chance(2) ? QStringLiteral("org.bluez.Error.InProgress")
                                   : QStringLiteral("org.bluez.Error.Failed"),
                         QStringLiteral("le-connection-abort-by-local")});
            break;
        }
        case 17: {
            const QList<QBluetoothUuid> all = characteristicsOf(services().at(between(0, 5)));
            const QBluetoothUuid target = all.at(between(0, int(all.size()) - 1));
            note(QStringLiteral("FailWrites %1").arg(target.toString(QUuid::WithoutBraces)));
            bus.control(QStringLiteral("FailWrites"),
                        {chairAddress, target.toString(QUuid::WithoutBraces), between(1, 3)});
            bus.control(QStringLiteral("SetWriteDelay"), {double(between(0, 40))});
            break;
        }
        case 18: {
            note(QStringLiteral("PowerCycle"));
            bus.control(QStringLiteral("SetPowered"), {false});
            pump(between(0, 2500));
            bus.control(QStringLiteral("SetPowered"), {true});
            break;
        }
        case 19:
            if (chance(2)) {
                note(QStringLiteral("BluezRestart"));
                log += bus.chairOutput();
                bus.stopChair();
                pump(between(0, 1500));
                QVERIFY2(bus.startChair(chairOptions), qPrintable(bus.chairOutput()));
            } else {
                note(QStringLiteral("SystemResume"));
                bus.prepareForSleep(true);
                pump(between(0, 500));
                bus.prepareForSleep(false);
            }
            break;
        case 20: {
            // Another chair comes into range, under a generic name it later gives up.
            const QString address =
                QStringLiteral("C0:FF:EE:00:00:%1").arg(++strangers + 0x20, 2, 16);
            note(QStringLiteral("AddChair"));
            bus.control(QStringLiteral("AddChair"), {address, QStringLiteral("Velnora Chair"),
                                                     QStringLiteral("Velnora Pro Guest"), 800});
            break;
        }
        }
    }

    // The faults end; what the chair owes the link comes as it would.
    void restoreChair()
    {
        bus.control(QStringLiteral("SetPowered"), {true});
        bus.control(QStringLiteral("SetWriteDelay"), {0.0});
        bus.control(QStringLiteral("RefuseConnects"), {chairAddress, 0, QString(), QString()});
        for (const QBluetoothUuid& service : services()) {
            for (const QBluetoothUuid& c : characteristicsOf(service))
                bus.control(QStringLiteral("FailWrites"),
                            {chairAddress, c.toString(QUuid::WithoutBraces), 0});
        }
    }

    void checkSettles(int seed)
    {
        BluetoothManager& m = *link->manager;
        // Reconnects after an update's reboot wait 8 s, and every attempt retries refusals.
        // Settled means it stays so: a disconnect may take a moment to close the link.
        QDeadlineTimer quiet(3500);
        const bool settled = pumpUntil(
            [&] {
                const bool still = isSettled(m.connectionState()) && !m.otaState().isInProgress() &&
                                   !m.isLoadingNetworks();
                if (!still)
                    quiet.setRemainingTime(3500);
                return still && quiet.hasExpired();
            },
            60000);
        QVERIFY2(holds(settled, seed, "the link did not settle"), "see the script");
        if (m.connectionState() != ConnectionState::ready &&
            m.connectionState() != ConnectionState::wifiSetup)
            return;
        // Nothing is stuck behind an answer that never came: the next write goes through.
        const bool wasUp = m.leftLegUp();
        m.toggleLeg(false);
        QVERIFY2(holds(pumpUntil([&] { return m.leftLegUp() != wasUp; }, 10000), seed,
                       "a leg toggle after the script was never confirmed"),
                 "see the script");
    }

    // Once the user lets the chair go, the program never touches it again on its own.
    void checkLetGo(int seed)
    {
        BluetoothManager& m = *link->manager;
        if (m.connectionState() == ConnectionState::scanning)
            m.cancelScan();
        m.disconnect();
        QVERIFY2(holds(link->waitForState(ConnectionState::disconnected), seed,
                       "a disconnect did not end the link"),
                 "see the script");
        pump(300);
        const qsizetype mark = chairOutput().size();
        // Longer than any reconnect the program plans: 8 s after an update's reboot, 4 s after
        // WiFi set-up, 2 s after a drop.
        pump(updated ? 8500 : 4500);
        const QStringList after = chairOutput().mid(mark).split(QLatin1Char('\n'));
        for (const QString& line : after)
            QVERIFY2(holds(!isCentralTraffic(line), seed, "the chair was used after it was let go"),
                     qPrintable(line));
        QVERIFY2(!bus.chairState(chairAddress).value(QStringLiteral("connected")).toBool(),
                 "the chair is still connected after a disconnect");
        QCOMPARE(m.connectionState(), ConnectionState::disconnected);
        QCOMPARE(m.countdownSeconds(), 0.0);
        QVERIFY(!m.otaState().isInProgress());
    }

    VirtualChairBus bus;
    std::unique_ptr<RealLink> link;
    std::mt19937 rng;
    QStringList chairOptions;
    QStringList played;
    QString log;
    bool updated = false;
    int strangers = 0;
};

QTEST_GUILESS_MAIN(LinkChaosTest)
#include "tst_link_chaos.moc"
