// The chair link: connect, discovery, the WiFi check, drops, reconnects, wake and the radio.
#include "LinkFixture.h"

#include <QSignalSpy>
#include <QtTest>

using namespace ChairProfile;
using namespace std::chrono_literals;
using Kind = FakeCall::Kind;

namespace {

const QString dropLine =
    QStringLiteral("⚠️ Unexpected BLE disconnect — attempting reconnect");

QSharedPointer<FakePeripheral>
chairWithValues(LinkFixture& f, const QString& name = QStringLiteral("Velnora Pro 1"),
                const QByteArray& serial = "VP-0042")
{
    auto chair = f.central->makeChair(name);
    chair->values[softwareRevisionUUID] = "2.1.0";
    chair->values[firmwareRevisionUUID] = "1.4.2";
    chair->values[serialNumberUUID] = serial;
    chair->values[leftOdometerUUID] = bytes({10, 0, 0, 0});
    chair->values[rightOdometerUUID] = bytes({5, 0, 0, 0});
    chair->values[chairStateUUID] = bytes({0x00, 0x00, 0x00});
    return chair;
}

// A connected chair with a history: one leg moved, then it fell asleep.
QSharedPointer<FakePeripheral> connectWithHistory(LinkFixture& f,
                                                  QSharedPointer<FakePeripheral> chair = {})
{
    chair = f.connectChair(chair ? chair : chairWithValues(f));
    chair->notify(chairStateUUID, bytes({0x01, 0x00, 0x00}));
    chair->notify(chairStateUUID, bytes({0x01, 0x00, 0x03}));
    f.central->flush();
    return chair;
}

// The user picks the chair from a fresh scan; nothing is delivered yet.
void pick(LinkFixture& f, const QSharedPointer<FakePeripheral>& chair,
          const QString& localName = {})
{
    f.manager->startScanning();
    f.central->advertise(chair, localName.isEmpty() ? chair->name() : localName, -50);
    f.manager->connect(chair->identifier());
}

int connectsTo(const LinkFixture& f, const QSharedPointer<FakePeripheral>& chair)
{
    int n = 0;
    for (const FakeCall& call : f.central->callsOf(Kind::connect))
        n += call.peripheral == chair->identifier() ? 1 : 0;
    return n;
}

int indexOf(const QList<FakeCall>& calls, Kind kind, const QUuid& peripheral,
            const QBluetoothUuid& target = {})
{
    for (int i = 0; i < calls.size(); ++i)
        if (calls[i].kind == kind && calls[i].peripheral == peripheral &&
            (target.isNull() || calls[i].target == target))
            return i;
    return -1;
}

void verifyLinkDataCleared(const LinkFixture& f)
{
    QCOMPARE(f.manager->serialNumber(), QString());
    QCOMPARE(f.manager->softwareVersion(), QString());
    QCOMPARE(f.manager->firmwareVersion(), QString());
    QCOMPARE(f.manager->lifetimeMoves(), std::optional<qint64>());
    QCOMPARE(f.manager->sessionMoves(), qint64(0));
    QCOMPARE(f.manager->chairIsAsleep(), false);
}

} // namespace

class ConnectionTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void connectDiscoversAndSetsUpTheChair()
    {
        LinkFixture f;
        QSignalSpy nameChanged(f.manager.get(), &BluetoothManager::deviceNameChanged);
        const auto chair = f.connectChair();
        QCOMPARE(f.central->count(Kind::stopScan), 1);
        QCOMPARE(f.manager->deviceName(), QStringLiteral("Velnora Pro 1"));
        QCOMPARE(nameChanged.count(), 1);

        const QList<FakeCall> services = f.central->callsOf(Kind::discoverServices);
        QCOMPARE(services.size(), 1);
        QCOMPARE(
            services[0].uuids,
            (QList<QBluetoothUuid>{chairServiceUUID, wifiServiceUUID, discoveryServiceUUID,
                                   engineeringServiceUUID, otaServiceUUID, configServiceUUID}));
        const QMap<QBluetoothUuid, QList<QBluetoothUuid>> expected{
            {chairServiceUUID,
             {chairToggleUUID, chairStateEventUUID, sendEventsUUID, chairStateUUID, autoModeUUID,
              autoPeriodUUID, autoModeSelectorUUID, timeToNextTransitionUUID}},
            {wifiServiceUUID,
             {wifiEnableUUID, wifiSSIDUUID, wifiPasswordUUID, wifiStatusUUID, wifiCommandUUID,
              wifiSSIDSingleUUID, wifiSSIDListCounterUUID}},
            {discoveryServiceUUID, {firmwareRevisionUUID, softwareRevisionUUID}},
            {engineeringServiceUUID,
             {tzInfoUUID, leftMotorSoundUUID, rightMotorSoundUUID, leftOdometerUUID,
              rightOdometerUUID}},
            {otaServiceUUID,
             {otaV2BeginUUID, otaV2DataUUID, otaV2StatusUUID, otaV1BeginUUID, otaV1DataUUID}},
            {configServiceUUID, {serialNumberUUID, userNameUUID}},
        };
        QMap<QBluetoothUuid, QList<QBluetoothUuid>> asked;
        const QList<FakeCall> perService = f.central->callsOf(Kind::discoverCharacteristics);
        for (const FakeCall& call : perService)
            asked.insert(call.target, call.uuids);
        QCOMPARE(perService.size(), 6);
        QCOMPARE(asked, expected);
        QCOMPARE(f.state(), ConnectionState::ready);

        // Then the chair is told to send events and asked for what the screens show.
        const QList<FakeCall> writes = f.central->callsOf(Kind::write);
        QCOMPARE(writes.size(), 1);
        QCOMPARE(writes[0].target, sendEventsUUID);
        QCOMPARE(writes[0].value, bytes({0x01}));
        QVERIFY(f.log.contains(QStringLiteral("📧 No registered email — skipping chair sync")));

        const QList<QBluetoothUuid> readOnce{
            softwareRevisionUUID,
            firmwareRevisionUUID,
            serialNumberUUID,
            chairStateUUID,
            autoModeUUID,
            autoPeriodUUID,
            autoModeSelectorUUID,
            leftMotorSoundUUID,
            leftOdometerUUID,
            rightOdometerUUID,
            wifiStatusUUID,
            wifiSSIDUUID}; // the network name, once the chair says it is online
        for (const QBluetoothUuid& c : readOnce)
            QVERIFY2(f.central->readsOf(c) == 1, qPrintable(c.toString()));
        QCOMPARE(f.central->count(Kind::read), int(readOnce.size()));

        QSet<QBluetoothUuid> notified;
        for (const FakeCall& call : f.central->callsOf(Kind::notify))
            notified.insert(call.target);
        QCOMPARE(notified, (QSet<QBluetoothUuid>{chairStateEventUUID, chairStateUUID,
                                                 autoPeriodUUID, wifiStatusUUID}));
        QCOMPARE(f.central->count(Kind::notify), 4);

        // Subscribed before the first read, so no change slips between the two.
        const QList<FakeCall>& calls = f.central->calls();
        for (const QBluetoothUuid& c : {chairStateUUID, autoPeriodUUID})
            QVERIFY(indexOf(calls, Kind::notify, chair->identifier(), c) <
                    indexOf(calls, Kind::read, chair->identifier(), c));
        for (const FakeCall& call : calls)
            QVERIFY(call.kind == Kind::discoverCharacteristics || call.target != wifiCommandUUID);

        // The connected name is the chair's own, not the advertised one.
        LinkFixture g;
        const auto unnamed = g.central->makeChair(QString());
        pick(g, unnamed, QStringLiteral("Velnora Pro 3"));
        g.central->flush();
        QCOMPARE(g.manager->deviceName(), QStringLiteral("Velnora Chair"));
    }

    // Discovery answers count once, and only when they carry what was asked for.
    void discoveryAnswersCountOnceAndOnlyWhenGood()
    {
        LinkFixture f;
        const auto chair = f.central->makeChair();
        chair->answersDiscovery = false;
        pick(f, chair);
        f.central->flush();
        const QList<QBluetoothUuid> chairList = characteristicsOf(chairServiceUUID);
        const QList<QBluetoothUuid> wifiList = characteristicsOf(wifiServiceUUID);
        const QBluetoothUuid battery(QStringLiteral("0000180f-0000-1000-8000-00805f9b34fb"));
        Q_EMIT chair->servicesDiscovered({}, QString());
        Q_EMIT chair->servicesDiscovered(services(), QStringLiteral("GATT error"));
        Q_EMIT chair->servicesDiscovered({battery, wifiServiceUUID}, QString());
        const QList<FakeCall> asked = f.central->callsOf(Kind::discoverCharacteristics);
        QCOMPARE(asked.size(), 1);
        QCOMPARE(asked[0].target, wifiServiceUUID);

        Q_EMIT chair->characteristicsDiscovered(chairServiceUUID, chairList,
                                                QStringLiteral("GATT error"));
        Q_EMIT chair->characteristicsDiscovered(wifiServiceUUID, wifiList, QString());
        f.central->flush();
        QCOMPARE(f.central->readsOf(chairStateUUID), 0);
        QCOMPARE(f.state(), ConnectionState::connecting);
        // A service that answers with nothing in it is still done; the WiFi check starts once.
        Q_EMIT chair->characteristicsDiscovered(chairServiceUUID, {}, QString());
        Q_EMIT chair->characteristicsDiscovered(chairServiceUUID, chairList, QString());
        f.central->flush();
        QCOMPARE(f.state(), ConnectionState::ready);
        QCOMPARE(f.central->readsOf(wifiStatusUUID), 1);
        for (int i = 0; i < 2; ++i) {
            Q_EMIT chair->characteristicsDiscovered(chairServiceUUID, chairList, QString());
            Q_EMIT chair->characteristicsDiscovered(wifiServiceUUID, wifiList, QString());
            f.central->flush();
        }
        QCOMPARE(f.state(), ConnectionState::ready);
        QCOMPARE(f.central->readsOf(wifiStatusUUID), 1);

        // A wake puts the link back to connecting: one late answer must not pre-empt its reconnect.
        LinkFixture g;
        const auto woken = g.connectChair();
        g.wake.resume();
        Q_EMIT woken->characteristicsDiscovered(chairServiceUUID, chairList, QString());
        g.central->flush();
        QCOMPARE(g.state(), ConnectionState::connecting);
        QCOMPARE(g.central->readsOf(wifiStatusUUID), 1);
    }

    void chairsWithMissingParts()
    {
        // Without the WiFi status the link is never ready.
        for (bool wholeService : {true, false}) {
            LinkFixture f;
            auto chair = f.central->makeChair();
            if (wholeService)
                chair->removeService(wifiServiceUUID);
            else
                chair->removeCharacteristic(wifiStatusUUID);
            f.connectChair(chair);
            f.advance(60s);
            QCOMPARE(f.state(), ConnectionState::connecting);
            QCOMPARE(f.central->readsOf(wifiStatusUUID), 0);
            QCOMPARE(f.central->readsOf(chairStateUUID), 1);
        }
        // An older chair without the engineering service: nothing asks it for motors or odometers.
        LinkFixture f;
        auto chair = f.central->makeChair();
        chair->removeService(engineeringServiceUUID);
        f.connectChair(chair);
        QCOMPARE(f.state(), ConnectionState::ready);
        QCOMPARE(f.central->readsOf(leftMotorSoundUUID), 0);
        QCOMPARE(f.central->readsOf(leftOdometerUUID), 0);
        f.manager->setMotorStrength(30);
        f.manager->writeMotorStrength();
        QCOMPARE(f.central->count(Kind::write), 1); // sendEvents only
    }

    void unexpectedDropReconnectsAfterTwoSeconds()
    {
        LinkFixture f;
        const auto chair = connectWithHistory(f);
        QCOMPARE(f.manager->serialNumber(), QStringLiteral("VP-0042"));
        QCOMPARE(f.manager->softwareVersion(), QStringLiteral("2.1.0"));
        QCOMPARE(f.manager->firmwareVersion(), QStringLiteral("1.4.2"));
        QCOMPARE(f.manager->sessionMoves(), qint64(1));
        QCOMPARE(f.manager->lifetimeMoves(), std::optional<qint64>(16));
        QVERIFY(f.manager->chairIsAsleep());

        f.central->answersConnects = false;
        f.central->clearCalls();
        f.central->dropLink(chair.get());
        f.central->flush();
        QCOMPARE(f.state(), ConnectionState::connecting);
        QVERIFY(f.log.contains(dropLine));
        QCOMPARE(f.manager->deviceName(), QStringLiteral("Velnora Pro 1"));
        verifyLinkDataCleared(f);
        QCOMPARE(f.scheduler.activeTimers(), 0); // sleep and odometer clocks went with the link

        QVERIFY(f.reconnectsAfter(2s));
        QCOMPARE(connectsTo(f, chair), 1);

        // A reconnect the radio never completes waits; it is not repeated.
        f.advance(30s);
        QCOMPARE(f.state(), ConnectionState::connecting);
        QCOMPARE(f.central->count(Kind::connect), 1);
        f.central->completeConnect(chair.get());
        f.central->flush();
        QCOMPARE(f.state(), ConnectionState::ready);
        QCOMPARE(f.manager->serialNumber(), QStringLiteral("VP-0042"));
    }

    // However the chair was let go (the user, a failed connect, the radio), it is gone for good:
    // its data cleared, no clock running, and nothing (a wake, the radio, time) brings it back.
    void aChairLetGoStaysGone_data()
    {
        QTest::addColumn<int>("how");
        QTest::newRow("user disconnects a live link") << 0;
        QTest::newRow("user disconnects while a reconnect waits") << 1;
        QTest::newRow("user cancels a connect the radio completes later") << 2;
        QTest::newRow("the first connect fails") << 3;
        QTest::newRow("the reconnect after a drop fails") << 4;
        QTest::newRow("a wake's reconnect of a live link fails") << 5;
        QTest::newRow("the radio returns with a first connect pending") << 6;
        QTest::newRow("user cancels while the first answers are in the air") << 7;
    }
    void aChairLetGoStaysGone()
    {
        QFETCH(int, how);
        LinkFixture f;
        auto chair = chairWithValues(f);
        chair->values[chairStateUUID] = bytes({0x00, 0x00, how == 7 ? 0x01 : 0x00});
        switch (how) {
        case 0:
        case 1:
            connectWithHistory(f, chair);
            f.manager->setAutoMode(true);
            f.central->flush();
            f.central->clearCalls();
            if (how == 1) {
                f.central->dropLink(chair.get());
                f.advance(1s);
            }
            f.manager->disconnect();
            f.central->flush();
            QVERIFY(!f.central->isLinked(chair.get()));
            QCOMPARE(f.log.contains(dropLine), how == 1);
            // The chair keeps its own automatic mode; only this side forgets it.
            QVERIFY(f.central->writesTo(autoModeUUID).isEmpty());
            break;
        case 2:
        case 3:
        case 6:
            f.central->answersConnects = false;
            pick(f, chair);
            if (how == 2)
                f.manager->disconnect();
            if (how == 3)
                f.central->failConnect(chair.get());
            if (how == 6) {
                f.central->setPower(CentralPower::Off);
                f.central->setPower(CentralPower::On);
                QCOMPARE(f.central->count(Kind::cancel), 1);
            }
            f.central->completeConnect(chair.get()); // late, and refused
            f.central->flush();
            QVERIFY(!f.central->isLinked(chair.get()));
            QCOMPARE(f.central->count(Kind::discoverServices), 0);
            break;
        case 4:
        case 5:
            f.connectChair(chair);
            f.manager->setAutoMode(true);
            if (how == 4) {
                f.central->dropLink(chair.get());
                f.central->flush();
                QCOMPARE(f.scheduler.activeTimers(), 2); // the countdown waits for the chair
            } else {
                f.wake.resume(); // reconnects the live link 2 s later
            }
            f.central->answersConnects = false;
            f.advance(2s);
            f.central->failConnect(chair.get());
            f.central->flush();
            QVERIFY(!f.central->isLinked(chair.get()));
            QCOMPARE(f.manager->countdownSeconds(), 0.0);
            break;
        case 7:
            pick(f, chair);
            while (f.central->readsOf(chairStateUUID) == 0 && f.central->deliverNext()) {
            }
            f.manager->disconnect();
            f.central->flush();
            break;
        }
        QCOMPARE(f.state(), ConnectionState::disconnected);
        QCOMPARE(f.manager->deviceName(), QString());
        QVERIFY(!f.manager->autoModeEnabled());
        QCOMPARE(f.scheduler.activeTimers(), 0);
        verifyLinkDataCleared(f);

        f.central->clearCalls();
        f.log.clear();
        f.advance(10s);
        f.wake.resume();
        f.central->setPower(CentralPower::Off);
        f.central->setPower(CentralPower::On);
        f.advance(10s);
        QCOMPARE(f.central->count(Kind::connect), 0);
        QCOMPARE(f.state(), ConnectionState::disconnected);
        QVERIFY(f.log.lines().filter(QStringLiteral("woke")).isEmpty());
        f.manager->startSimulation(); // nothing held: a simulated chair may take its place
        QVERIFY(f.manager->isSimulating());
    }

    void wakeReconnectsTheHeldChairOnly()
    {
        LinkFixture f;
        const auto chair = f.connectChair();
        f.central->clearCalls();
        f.wake.resume();
        QVERIFY(f.log.contains(
            QStringLiteral("🔄 Mac woke from sleep — reconnecting to Velnora Pro 1...")));
        QCOMPARE(f.state(), ConnectionState::connecting); // even though the link was up
        QVERIFY(f.reconnectsAfter(2s));
        QCOMPARE(connectsTo(f, chair), 1);
        QCOMPARE(f.state(), ConnectionState::ready);

        LinkFixture g;
        const auto unnamed = g.central->makeChair(QString());
        pick(g, unnamed, QStringLiteral("Velnora Chair"));
        g.central->flush();
        g.wake.resume();
        QVERIFY(g.log.contains(QStringLiteral("🔄 Mac woke from sleep — reconnecting to chair...")));
        g.advance(2s);
        QCOMPARE(connectsTo(g, unnamed), 2);

        // Without a chair a wake means nothing to the link.
        LinkFixture h;
        QSignalSpy stateChanged(h.manager.get(), &BluetoothManager::connectionStateChanged);
        h.wake.resume();
        h.advance(5s);
        QCOMPARE(stateChanged.count(), 0);
        QVERIFY(h.central->calls().isEmpty());
        QVERIFY(h.log.lines().isEmpty());
    }

    void bluetoothOffAndOn()
    {
        for (bool dropReported : {true, false}) {
            LinkFixture f;
            const auto chair = connectWithHistory(f);
            f.manager->setAutoMode(true);
            QVERIFY(f.manager->countdownSeconds() > 0);

            f.central->setPower(CentralPower::Off);
            QCOMPARE(f.state(), ConnectionState::unavailable);
            verifyLinkDataCleared(f);
            // Shown on again only when the chair says so after the reconnect.
            QVERIFY(!f.manager->autoModeEnabled());
            QCOMPARE(f.manager->countdownSeconds(), 0.0);
            QCOMPARE(f.scheduler.activeTimers(), 0);
            QCOMPARE(f.scheduler.pendingDelays(), 0);
            if (dropReported) {
                f.central->dropLink(chair.get());
                f.central->flush();
                QCOMPARE(f.state(), ConnectionState::unavailable);
                QCOMPARE(f.scheduler.pendingDelays(), 0);
                QVERIFY(!f.log.contains(dropLine));
            }
            // A wake with the radio off leaves the reconnect to the power-on.
            f.log.clear();
            f.wake.resume();
            QVERIFY(f.log.lines().isEmpty());
            QCOMPARE(f.state(), ConnectionState::unavailable);
            f.central->clearCalls();
            f.advance(10s);
            QCOMPARE(f.central->count(Kind::connect), 0);

            f.central->setPower(CentralPower::On);
            QCOMPARE(f.state(), ConnectionState::connecting);
            QCOMPARE(connectsTo(f, chair), 1);
            f.advance(10s);
            QCOMPARE(f.state(), ConnectionState::ready);
            QCOMPARE(f.manager->serialNumber(), QStringLiteral("VP-0042"));
            QCOMPARE(f.central->count(Kind::connect), 1);
        }

        // "Try without a chair" with the radio off lets the held chair go for good.
        {
            LinkFixture f;
            const auto chair = f.connectChair();
            f.central->dropLink(chair.get());
            f.central->setPower(CentralPower::Off);
            f.central->clearCalls();
            f.manager->startSimulation();
            QVERIFY(f.manager->isSimulating());
            QCOMPARE(f.manager->deviceName(), QStringLiteral("Velnora Pro (Simulated)"));
            f.central->setPower(CentralPower::On);
            f.advance(10s);
            QCOMPARE(f.central->count(Kind::connect), 0);
            QCOMPARE(f.central->count(Kind::cancel), 1);
            QCOMPARE(f.state(), ConnectionState::wifiSetup);
            QCOMPARE(f.manager->serialNumber(), QStringLiteral("SIM-00001"));
        }

        LinkFixture f(CentralPower::Off);
        QCOMPARE(f.state(), ConnectionState::unavailable);
        f.central->setPower(CentralPower::On);
        QCOMPARE(f.state(), ConnectionState::disconnected);
        f.manager->startScanning();
        f.central->setPower(CentralPower::Resetting);
        QCOMPARE(f.state(), ConnectionState::unavailable);
        f.central->setPower(CentralPower::On);
        QCOMPARE(f.state(), ConnectionState::disconnected);
    }

    void automaticModeCountdownResumesAfterTheLinkReturns()
    {
        for (bool radioOff : {false, true}) {
            LinkFixture f;
            auto chair = f.central->makeChair();
            chair->values[autoModeUUID] = bytes({0x01});
            chair->values[timeToNextTransitionUUID] = bytes({0x00, 0x00, 0xF0, 0x42}); // 120.0 s
            f.connectChair(chair);
            QVERIFY(f.manager->autoModeEnabled());
            QCOMPARE(f.manager->countdownSeconds(), 120.0);

            if (radioOff) {
                f.central->setPower(CentralPower::Off);
                f.central->setPower(CentralPower::On);
            } else {
                f.central->dropLink(chair.get());
                f.advance(2s);
            }
            f.central->flush();
            QCOMPARE(f.state(), ConnectionState::ready);

            // The chair still runs its automatic mode: the screen must keep counting with it.
            f.central->clearCalls();
            f.advance(6s);
            QVERIFY(f.manager->autoModeEnabled());
            QVERIFY2(f.central->readsOf(timeToNextTransitionUUID) >= 2,
                     radioOff ? "radio off" : "drop");
            QVERIFY(f.manager->countdownSeconds() > 0);
        }
    }

    void lateReconnectsCheckTheirReason()
    {
        // A wake during the wait after a drop: one reconnect, not two.
        {
            LinkFixture f;
            const auto chair = f.connectChair();
            f.central->dropLink(chair.get());
            f.advance(1s);
            f.wake.resume();
            f.advance(1s);
            f.advance(5s);
            QCOMPARE(connectsTo(f, chair), 2);
            QCOMPARE(f.state(), ConnectionState::ready);
        }
        // The radio goes off during the wait: only the power-on connects.
        {
            LinkFixture f;
            const auto chair = f.connectChair();
            f.central->dropLink(chair.get());
            f.advance(1s);
            f.central->setPower(CentralPower::Off);
            f.advance(2s);
            QCOMPARE(connectsTo(f, chair), 1);
            f.central->setPower(CentralPower::On);
            f.advance(5s);
            QCOMPARE(connectsTo(f, chair), 2);
        }
        // The user picks another chair during the wait: the first is left alone.
        {
            LinkFixture f;
            const auto first = f.connectChair();
            f.central->dropLink(first.get());
            f.advance(1s);
            const auto second = f.central->makeChair(QStringLiteral("Velnora Pro 2"));
            f.central->answersConnects = false;
            pick(f, second);
            f.advance(5s);
            QCOMPARE(connectsTo(f, first), 1);
            QCOMPARE(connectsTo(f, second), 1);
            QCOMPARE(f.state(), ConnectionState::connecting);
        }
    }

    void connectingToAnotherChairDropsTheFirst()
    {
        LinkFixture f;
        const auto first = connectWithHistory(f);
        const auto second = chairWithValues(f, QStringLiteral("Velnora Pro 2"), "VP-0077");
        second->values[chairStateUUID] = bytes({0x00, 0x01, 0x00});

        f.manager->startScanning();
        f.central->advertise(second, second->name(), -40);
        f.central->clearCalls();
        f.manager->connect(second->identifier());
        const int cancelFirst = indexOf(f.central->calls(), Kind::cancel, first->identifier());
        QVERIFY(cancelFirst >= 0);
        QVERIFY(cancelFirst < indexOf(f.central->calls(), Kind::connect, second->identifier()));
        verifyLinkDataCleared(f);

        f.central->flush();
        QVERIFY(!f.central->isLinked(first.get()));
        QVERIFY(!f.log.contains(dropLine));
        QCOMPARE(f.state(), ConnectionState::ready);
        QCOMPARE(f.manager->deviceName(), QStringLiteral("Velnora Pro 2"));
        QCOMPARE(f.manager->serialNumber(), QStringLiteral("VP-0077"));

        // The first chair's late reports are not this chair's.
        first->notify(chairStateUUID, bytes({0x01, 0x00, 0x00}));
        f.advance(5s);
        QCOMPARE(f.manager->leftLegUp(), true);
        QCOMPARE(f.manager->rightLegUp(), false);
        QCOMPARE(f.manager->sessionMoves(), qint64(0));
        QCOMPARE(connectsTo(f, first), 0);
    }
};

QTEST_GUILESS_MAIN(ConnectionTest)
#include "tst_connection.moc"
