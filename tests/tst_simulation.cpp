// The simulated chair: the states of a real connection, fixed values, controls that only log,
// and no radio traffic at all.
#include "LinkFixture.h"

#include <QSignalSpy>
#include <QtTest>

using namespace std::chrono_literals;

namespace {

const QStringList sampleNetworks{QStringLiteral("Office_5G"), QStringLiteral("Home_Network"),
                                 QStringLiteral("Cafe_WiFi"), QStringLiteral("Guest_Network")};

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
        QCOMPARE(m.softwareVersion(), QStringLiteral("2.1.0"));
        QCOMPARE(m.firmwareVersion(), QStringLiteral("1.4.2"));
        QCOMPARE(m.serialNumber(), QStringLiteral("SIM-00001"));

        const QList<std::pair<int, ConnectionState>> steps{{999, ConnectionState::connecting},
                                                           {1000, ConnectionState::checkingWifi},
                                                           {1999, ConnectionState::checkingWifi},
                                                           {2000, ConnectionState::wifiSetup}};
        for (const auto& [at, state] : steps) {
            f.advance(std::chrono::milliseconds(at) - f.scheduler.now());
            QCOMPARE(f.state(), state);
        }
        QCOMPARE(m.wifiStatus(), WiFiStatus::notConfigured);
        QVERIFY(m.isLoadingNetworks() && m.availableNetworks().isEmpty());
        f.advance(1499ms);
        QVERIFY(m.isLoadingNetworks());
        f.advance(1ms);
        QCOMPARE(m.availableNetworks(), sampleNetworks);
        QVERIFY(!m.isLoadingNetworks());

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
        QVERIFY(m.autoModeEnabled());
        m.setAutoMode(false);
        QVERIFY(!m.autoModeEnabled());
        for (qint64 pattern : {0, 1, 2, 3, -1})
            m.setAutoModePattern(pattern);
        QCOMPARE(m.autoModePattern(), 2); // 3 and -1 are no pattern
        m.writeAutoPeriod();
        m.setAutoPeriodMinutes(7.5);
        m.writeAutoPeriod();
        m.setMotorStrength(35.5);
        m.writeMotorStrength();
        m.setMotorStrength(90);
        m.writeMotorStrength();
        m.wakeChair();
        QVERIFY(!m.chairIsAsleep());
        f.advance(2s); // a real wake would write its second half now

        QCOMPARE(f.log.lines(),
                 (QStringList{
                     QStringLiteral("🪑 Simulated toggle: Left"),
                     QStringLiteral("🪑 Simulated toggle: Right"),
                     QStringLiteral("🪑 Simulated toggle: Left"),
                     QStringLiteral("🪑 Simulated auto mode: ON"),
                     QStringLiteral("🪑 Simulated auto mode: OFF"),
                     QStringLiteral("🪑 Simulated pattern: Sit to Stand"),
                     QStringLiteral("🪑 Simulated pattern: Stiltas Through Standing"),
                     QStringLiteral("🪑 Simulated pattern: Round Trip"),
                     QStringLiteral("🪑 Simulated period: 5.0 min"),
                     QStringLiteral("🪑 Simulated period: 7.5 min"),
                     QStringLiteral("🪑 Simulated motor strength: 36%"),
                     QStringLiteral("🪑 Simulated motor strength: 50%"),
                     QStringLiteral("🪑 Simulated wake from sleep"),
                 }));
        m.disconnect();
        QVERIFY(f.central->calls().isEmpty());
        QCOMPARE(m.sessionMoves(), 0); // the next chair counts its own
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
        m.setAutoMode(true);
        m.setAutoModePattern(1);
        m.setAutoPeriodMinutes(7.5);

        m.disconnect();
        QVERIFY(!m.isSimulating());
        QCOMPARE(f.state(), ConnectionState::disconnected);
        QCOMPARE(m.deviceName(), QString());
        QCOMPARE(m.softwareVersion() + m.firmwareVersion() + m.serialNumber(), QString());
        QCOMPARE(m.wifiStatus(), WiFiStatus::unknown);
        QVERIFY(m.availableNetworks().isEmpty() && !m.isLoadingNetworks());
        QVERIFY(!m.autoModeEnabled());
        QCOMPARE(m.countdownSeconds(), 0.0);
        QCOMPARE(f.scheduler.activeTimers(), 0);
        // The posture the user chose stays.
        QCOMPARE(m.autoModePattern(), 1);
        QCOMPARE(m.autoPeriodMinutes(), 7.5);

        // Ended, the controls reach for a real chair again: there is none.
        f.log.clear();
        m.toggleLeg(true);
        QVERIFY(f.log.lines().isEmpty());
        QVERIFY(f.central->calls().isEmpty());
    }

    void pendingStepsOfAnEndedSimulationDoNothing_data()
    {
        QTest::addColumn<int>("endAtMs");
        QTest::addColumn<QString>("userAsked");
        QTest::newRow("while checking WiFi") << 1500 << QString();
        QTest::newRow("while loading networks") << 2500 << QString();
        QTest::newRow("while the user's scan runs") << 3500 << QStringLiteral("scan");
        QTest::newRow("while joining a network") << 3500 << QStringLiteral("join");
    }

    void pendingStepsOfAnEndedSimulationDoNothing()
    {
        QFETCH(int, endAtMs);
        QFETCH(QString, userAsked);
        LinkFixture f;
        BluetoothManager& m = *f.manager;
        m.startSimulation();
        f.advance(std::chrono::milliseconds(endAtMs));
        if (userAsked == QLatin1String("scan"))
            m.scanForNetworks();
        if (userAsked == QLatin1String("join"))
            m.connectToWiFi(QStringLiteral("Office_5G"), QStringLiteral("pw"));
        m.disconnect();
        QSignalSpy stateChanges(&m, &BluetoothManager::connectionStateChanged);
        QSignalSpy networkChanges(&m, &BluetoothManager::availableNetworksChanged);

        f.advance(5s);
        QCOMPARE(f.state(), ConnectionState::disconnected);
        QCOMPARE(stateChanges.count(), 0);
        QCOMPARE(networkChanges.count(), 0);
        QVERIFY(m.availableNetworks().isEmpty());
        QVERIFY(!m.isLoadingNetworks());
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
        BluetoothManager& m = *f.manager;
        m.startSimulation();
        f.advance(600ms);
        if (endFirst)
            m.disconnect();
        m.startSimulation();

        f.advance(400ms); // the first one's 1.0 s step is due now
        QCOMPARE(f.state(), ConnectionState::connecting);
        f.advance(599ms);
        QCOMPARE(f.state(), ConnectionState::connecting);
        f.advance(1ms);
        QCOMPARE(f.state(), ConnectionState::checkingWifi);
        f.advance(400ms); // 2.0 s after the first start
        QCOMPARE(f.state(), ConnectionState::checkingWifi);
        f.advance(600ms);
        QCOMPARE(f.state(), ConnectionState::wifiSetup);
        f.advance(900ms); // 3.5 s after the first start
        QVERIFY(m.isLoadingNetworks());
        f.advance(600ms);
        QCOMPARE(m.availableNetworks(), sampleNetworks);
        QVERIFY(!m.isLoadingNetworks());
    }

    void bluetoothPowerLeavesASimulationAlone()
    {
        {
            LinkFixture f;
            BluetoothManager& m = *f.manager;
            m.startSimulation();
            f.central->setPower(CentralPower::Off);
            QCOMPARE(f.state(), ConnectionState::connecting);
            f.advance(1s);
            QCOMPARE(f.state(), ConnectionState::checkingWifi);
            f.central->setPower(CentralPower::Resetting);
            f.advance(1s);
            QCOMPARE(f.state(), ConnectionState::wifiSetup);
            m.disconnect();
            QCOMPARE(f.state(), ConnectionState::unavailable); // the radio is still off
            f.central->setPower(CentralPower::On);
            QCOMPARE(f.state(), ConnectionState::disconnected);
        }
        LinkFixture f(CentralPower::Unsupported);
        QCOMPARE(f.state(), ConnectionState::unavailable);
        f.manager->startSimulation();
        f.advance(1s);
        QCOMPARE(f.state(), ConnectionState::checkingWifi);
        f.manager->disconnect();
        QCOMPARE(f.state(), ConnectionState::unavailable);
        QVERIFY(f.central->calls().isEmpty());
    }
};

QTEST_GUILESS_MAIN(Simulation)
#include "tst_simulation.moc"
