// The simulated chair: the states of a real connection, fixed values, controls that only log,
// and no radio traffic at all.
#include "LinkFixture.h"

#include <QSignalSpy>
#include <QtTest>

using namespace std::chrono_literals;
using std::chrono::milliseconds;

namespace {

const QStringList sampleNetworks{"Office_5G", "Home_Network", "Cafe_WiFi", "Guest_Network"};

// The simulated chair's start, from its first second on: its state, and whether its network
// list is loading and whether it is there.
struct Moment {
    int ms;
    ConnectionState state;
    bool loading;
    bool listed;
};
const QList<Moment> staging{{999, ConnectionState::connecting, false, false},
                            {1000, ConnectionState::checkingWifi, false, false},
                            {1999, ConnectionState::checkingWifi, false, false},
                            {2000, ConnectionState::wifiSetup, true, false},
                            {3499, ConnectionState::wifiSetup, true, false},
                            {3500, ConnectionState::wifiSetup, false, true}};

void expectStaging(LinkFixture& f, milliseconds startedAt)
{
    for (const Moment& at : staging) {
        f.advance(startedAt + milliseconds(at.ms) - f.scheduler.now());
        QCOMPARE(f.state(), at.state);
        QCOMPARE(f.manager->isLoadingNetworks(), at.loading);
        QCOMPARE(f.manager->availableNetworks(), at.listed ? sampleNetworks : QStringList());
    }
}

} // namespace

class Simulation : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void stagedStartWalksLikeARealChair()
    {
        LinkFixture f;
        BluetoothManager& m = *f.manager;
        m.startSimulation();
        QVERIFY(m.isSimulating());
        QCOMPARE(f.state(), ConnectionState::connecting);
        QCOMPARE(m.deviceName(), QStringLiteral("Velnora Pro (Simulated)"));
        expectStaging(f, 0ms);
        QCOMPARE(m.wifiStatus(), WiFiStatus::notConfigured);

        // The user's own scan takes as long; joining a network three seconds.
        m.scanForNetworks();
        QVERIFY(m.isLoadingNetworks() && m.availableNetworks().isEmpty());
        f.advance(1499ms);
        QVERIFY(m.isLoadingNetworks());
        f.advance(1ms);
        QCOMPARE(m.availableNetworks(), sampleNetworks);
        m.connectToWiFi(QStringLiteral("Office_5G"), QStringLiteral("pw"));
        QCOMPARE(f.state(), ConnectionState::wifiConnecting);
        f.advance(2999ms);
        QCOMPARE(f.state(), ConnectionState::wifiConnecting);
        f.advance(1ms);
        QCOMPARE(f.state(), ConnectionState::ready);
        QCOMPARE(m.wifiStatus(), WiFiStatus::connected);
        QVERIFY(f.central->calls().isEmpty());
    }

    void controlsOnlyLog()
    {
        LinkFixture f;
        BluetoothManager& m = *f.manager;
        m.startSimulation();
        f.advance(4s);
        f.log.clear();

        // A simulated leg moves half a second after its toggle, and counts as a move.
        m.toggleLeg(false);
        m.toggleLeg(true);
        f.advance(499ms);
        QVERIFY(m.leftLegUp() && m.rightLegUp());
        f.advance(1ms);
        QVERIFY(!m.leftLegUp() && !m.rightLegUp());
        m.toggleLeg(false);
        f.advance(500ms);
        QVERIFY(m.leftLegUp() && !m.rightLegUp());
        QCOMPARE(m.sessionMoves(), 3);
        m.setAutoMode(true);
        m.setAutoMode(false);
        for (qint64 pattern : {0, 1, 2, 3, -1})
            m.setAutoModePattern(pattern);
        QCOMPARE(m.autoModePattern(), 2); // 3 and -1 are no pattern
        m.writeAutoPeriod();
        m.setAutoPeriodMinutes(7.5);
        m.writeAutoPeriod();
        for (double strength : {35.5, 90.0}) {
            m.setMotorStrength(strength);
            m.writeMotorStrength();
        }
        m.wakeChair();
        f.advance(2s); // a real wake would write its second half now

        QCOMPARE(f.log.lines(), (QStringList{
                                    "🪑 Simulated toggle: Left",
                                    "🪑 Simulated toggle: Right",
                                    "🪑 Simulated toggle: Left",
                                    "🪑 Simulated auto mode: ON",
                                    "🪑 Simulated auto mode: OFF",
                                    "🪑 Simulated pattern: Sit to Stand",
                                    "🪑 Simulated pattern: Stiltas Through Standing",
                                    "🪑 Simulated pattern: Round Trip",
                                    "🪑 Simulated period: 5.0 min",
                                    "🪑 Simulated period: 7.5 min",
                                    "🪑 Simulated motor strength: 36%",
                                    "🪑 Simulated motor strength: 50%",
                                    "🪑 Simulated wake from sleep",
                                }));
        QVERIFY(f.central->calls().isEmpty());
    }

    void countdownCyclesThroughThePeriod()
    {
        LinkFixture f;
        BluetoothManager& m = *f.manager;
        m.startSimulation();
        f.advance(4s);
        QList<double> shown;
        QObject::connect(&m, &BluetoothManager::countdownSecondsChanged, &m,
                         [&] { shown.append(m.countdownSeconds()); });
        m.setAutoMode(true);
        f.advance(313s); // down to 0, refilled by the next poll, and on again
        QList<double> expected;
        for (int s = 300; s >= 0; --s)
            expected.append(s);
        for (int s = 300; s >= 290; --s)
            expected.append(s);
        QCOMPARE(shown.mid(0, expected.size()), expected);
        QVERIFY(f.central->calls().isEmpty());
    }

    void endingClearsTheSimulatedChair()
    {
        LinkFixture f;
        BluetoothManager& m = *f.manager;
        m.startSimulation();
        f.advance(4s);
        m.toggleLeg(true);
        m.setAutoMode(true);
        m.setAutoModePattern(1);
        m.setAutoPeriodMinutes(7.5);
        f.advance(1s);

        m.disconnect();
        QVERIFY(!m.isSimulating());
        QCOMPARE(f.state(), ConnectionState::disconnected);
        QCOMPARE(m.deviceName() + m.softwareVersion() + m.firmwareVersion() + m.serialNumber(),
                 QString());
        QCOMPARE(m.wifiStatus(), WiFiStatus::unknown);
        QVERIFY(m.availableNetworks().isEmpty() && !m.isLoadingNetworks());
        QVERIFY(!m.autoModeEnabled());
        QCOMPARE(m.countdownSeconds(), 0.0);
        QCOMPARE(m.sessionMoves(), 0); // the next chair counts its own
        QCOMPARE(f.scheduler.activeTimers(), 0);
        // The posture the user chose stays.
        QCOMPARE(m.autoModePattern(), 1);
        QCOMPARE(m.autoPeriodMinutes(), 7.5);

        // Ended, the controls reach for a real chair again: there is none.
        f.log.clear();
        m.toggleLeg(true);
        QVERIFY(f.log.lines().isEmpty() && f.central->calls().isEmpty());
    }

    void pendingStepsOfAnEndedSimulationDoNothing_data()
    {
        QTest::addColumn<int>("endAtMs");
        QTest::addColumn<QString>("userAsked");
        QTest::newRow("while checking WiFi") << 1500 << QString();
        QTest::newRow("while loading networks") << 2500 << QString();
        QTest::newRow("while the user's scan runs") << 3500 << "scan";
        QTest::newRow("while joining a network") << 3500 << "join";
    }
    void pendingStepsOfAnEndedSimulationDoNothing()
    {
        QFETCH(int, endAtMs);
        QFETCH(QString, userAsked);
        LinkFixture f;
        BluetoothManager& m = *f.manager;
        m.startSimulation();
        f.advance(milliseconds(endAtMs));
        if (userAsked == "scan")
            m.scanForNetworks();
        if (userAsked == "join")
            m.connectToWiFi(QStringLiteral("Office_5G"), QStringLiteral("pw"));
        m.disconnect();
        QSignalSpy stateChanges(&m, &BluetoothManager::connectionStateChanged);
        QSignalSpy networkChanges(&m, &BluetoothManager::availableNetworksChanged);
        f.advance(5s);
        QCOMPARE(stateChanges.count() + networkChanges.count(), 0);
        QVERIFY(m.availableNetworks().isEmpty() && !m.isLoadingNetworks());
        QCOMPARE(m.wifiStatus(), WiFiStatus::unknown);
    }

    void aNewSimulationKeepsItsOwnTimeline_data()
    {
        QTest::addColumn<bool>("endFirst");
        QTest::newRow("ended, then started again") << true;
        QTest::newRow("started again while running") << false;
    }
    void aNewSimulationKeepsItsOwnTimeline()
    {
        QFETCH(bool, endFirst);
        LinkFixture f;
        f.manager->startSimulation();
        f.advance(600ms);
        if (endFirst)
            f.manager->disconnect();
        f.manager->startSimulation();
        expectStaging(f, 600ms); // the first one's steps fall due on the way
    }

    void bluetoothPowerLeavesASimulationAlone()
    {
        LinkFixture f;
        f.manager->startSimulation();
        f.central->setPower(CentralPower::Off);
        QCOMPARE(f.state(), ConnectionState::connecting);
        f.advance(1s);
        QCOMPARE(f.state(), ConnectionState::checkingWifi);
        f.central->setPower(CentralPower::Resetting);
        f.advance(1s);
        QCOMPARE(f.state(), ConnectionState::wifiSetup);
        f.manager->disconnect();
        QCOMPARE(f.state(), ConnectionState::unavailable); // the radio is still off
        f.central->setPower(CentralPower::On);
        QCOMPARE(f.state(), ConnectionState::disconnected);
        QVERIFY(f.central->calls().isEmpty());
    }
};

QTEST_GUILESS_MAIN(Simulation)
#include "tst_simulation.moc"
