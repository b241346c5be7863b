// The chair link: connect, discovery, the WiFi check, drops, reconnects, wake and the radio;
// over the link, who uses the chair, the moves counted (this session and the chair's life) and
// its sleep.
#include "LinkFixture.h"

#include <QSignalSpy>
#include <QtTest>

using namespace ChairProfile;
using namespace std::chrono_literals;
using Kind = FakeCall::Kind;
using Moves = std::optional<qint64>;

namespace {

const QString dropLine =
    QStringLiteral("⚠️ Unexpected BLE disconnect — attempting reconnect");

// Legs as the chair reports them: 0x00 is up.
QByteArray legs(bool leftUp, bool rightUp, int mode = 0x00)
{
    return bytes({leftUp ? 0x00 : 0x01, rightUp ? 0x00 : 0x01, mode});
}

// A chair that says who it is, where its legs are and (unless absent) its odometers.
QSharedPointer<FakePeripheral> chairWithValues(LinkFixture& f, std::optional<quint32> left = 10,
                                               std::optional<quint32> right = 5,
                                               const QString& name = "Velnora Pro 1",
                                               const QByteArray& serial = "VP-0042")
{
    auto chair = f.central->makeChair(name);
    chair->values[softwareRevisionUUID] = "2.1.0";
    chair->values[firmwareRevisionUUID] = "1.4.2";
    chair->values[serialNumberUUID] = serial;
    chair->values[chairStateUUID] = legs(true, true);
    if (left)
        chair->values[leftOdometerUUID] = u32Bytes(*left);
    if (right)
        chair->values[rightOdometerUUID] = u32Bytes(*right);
    return chair;
}

// A connected chair with a history: one leg moved, then it fell asleep.
QSharedPointer<FakePeripheral> connectWithHistory(LinkFixture& f,
                                                  QSharedPointer<FakePeripheral> chair = {})
{
    chair = f.connectChair(chair ? chair : chairWithValues(f));
    f.report(*chair, chairStateUUID, legs(false, true));
    f.report(*chair, chairStateUUID, legs(false, true, 0x03));
    return chair;
}

int connectsTo(const LinkFixture& f, const QSharedPointer<FakePeripheral>& chair)
{
    int n = 0;
    for (const FakeCall& call : f.central->callsOf(Kind::connect))
        n += call.peripheral == chair->identifier() ? 1 : 0;
    return n;
}

int indexOf(const LinkFixture& f, Kind kind, const QUuid& peripheral, const QBluetoothUuid& c = {})
{
    const QList<FakeCall>& calls = f.central->calls();
    for (int i = 0; i < calls.size(); ++i)
        if (calls[i].kind == kind && calls[i].peripheral == peripheral &&
            (c.isNull() || calls[i].target == c))
            return i;
    return -1;
}

void verifyLinkDataCleared(const LinkFixture& f)
{
    const BluetoothManager& m = *f.manager;
    QCOMPARE(m.serialNumber() + m.softwareVersion() + m.firmwareVersion(), QString());
    QCOMPARE(m.lifetimeMoves(), Moves());
    QCOMPARE(m.sessionMoves(), qint64(0));
    QCOMPARE(m.chairIsAsleep(), false);
}

QStringList odometerLines(const LinkFixture& f)
{
    return f.log.lines().filter(QStringLiteral("📊 Odometer:"));
}

QStringList mailLines(const LinkFixture& f)
{
    return f.log.lines().filter(QStringLiteral("📧"));
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
        QCOMPARE(f.state(), ConnectionState::ready);
        // Every service of the profile, then the profile's characteristics of each.
        QCOMPARE(f.central->callsOf(Kind::discoverServices).at(0).uuids, services());
        QSet<QBluetoothUuid> asked;
        for (const FakeCall& call : f.central->callsOf(Kind::discoverCharacteristics)) {
            QCOMPARE(call.uuids, characteristicsOf(call.target));
            asked.insert(call.target);
        }
        QCOMPARE(asked.size(), 6);

        // Then the chair is told to send events and asked for what the screens show.
        QCOMPARE(f.central->writesTo(sendEventsUUID), QList<QByteArray>{bytes({0x01})});
        QCOMPARE(f.central->count(Kind::write), 1);
        // The network name too, once the chair says it is online.
        const QList<QBluetoothUuid> readOnce{
            softwareRevisionUUID, firmwareRevisionUUID, serialNumberUUID,     chairStateUUID,
            autoModeUUID,         autoPeriodUUID,       autoModeSelectorUUID, leftMotorSoundUUID,
            leftOdometerUUID,     rightOdometerUUID,    wifiStatusUUID,       wifiSSIDUUID};
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
        for (const QBluetoothUuid& c : {chairStateUUID, autoPeriodUUID})
            QVERIFY(indexOf(f, Kind::notify, chair->identifier(), c) <
                    indexOf(f, Kind::read, chair->identifier(), c));

        // The connected name is the chair's own, not the advertised one.
        LinkFixture g;
        g.pick(g.central->makeChair(QString()), QStringLiteral("Velnora Pro 3"));
        g.central->flush();
        QCOMPARE(g.manager->deviceName(), QStringLiteral("Velnora Chair"));
    }

    // Discovery answers count once, and only when they carry what was asked for.
    void discoveryAnswersCountOnceAndOnlyWhenGood()
    {
        LinkFixture f;
        const auto chair = f.central->makeChair();
        chair->answersDiscovery = false;
        f.pick(chair);
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

        Q_EMIT chair->characteristicsDiscovered(chairServiceUUID, chairList, "GATT error");
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

        // A wake puts the link back to connecting: one late answer must not pre-empt its reconnect.
        f.wake.resume();
        Q_EMIT chair->characteristicsDiscovered(chairServiceUUID, chairList, QString());
        f.central->flush();
        QCOMPARE(f.state(), ConnectionState::connecting);
        QCOMPARE(f.central->readsOf(wifiStatusUUID), 1);
    }

    void chairsWithMissingParts_data()
    {
        QTest::addColumn<QBluetoothUuid>("service");
        QTest::addColumn<QBluetoothUuid>("characteristic");
        // Without the WiFi status the link is never ready.
        QTest::newRow("no WiFi service") << wifiServiceUUID << QBluetoothUuid();
        QTest::newRow("no WiFi status") << QBluetoothUuid() << wifiStatusUUID;
        // An older chair: nothing asks it for motors or odometers.
        QTest::newRow("no engineering service") << engineeringServiceUUID << QBluetoothUuid();
    }
    void chairsWithMissingParts()
    {
        QFETCH(QBluetoothUuid, service);
        QFETCH(QBluetoothUuid, characteristic);
        LinkFixture f;
        auto chair = f.central->makeChair();
        chair->removeService(service);
        chair->removeCharacteristic(characteristic);
        f.connectChair(chair);
        f.advance(60s);
        const bool older = service == engineeringServiceUUID;
        QCOMPARE(f.state(), older ? ConnectionState::ready : ConnectionState::connecting);
        QCOMPARE(f.central->readsOf(wifiStatusUUID), older ? 1 : 0);
        QCOMPARE(f.central->readsOf(chairStateUUID), 1);
        QCOMPARE(f.central->readsOf(leftMotorSoundUUID) + f.central->readsOf(leftOdometerUUID),
                 older ? 0 : 2);
    }

    // One failed read is asked again a second later; a second failure is taken as unknown: the
    // setup screen, which offers a way out, instead of a check screen without one.
    void aStatusTheChairCannotReadEndsTheWifiCheck_data()
    {
        QTest::addColumn<int>("failures");
        QTest::addColumn<ConnectionState>("after");
        QTest::newRow("once") << 1 << ConnectionState::ready;
        QTest::newRow("twice") << 2 << ConnectionState::wifiSetup;
    }
    void aStatusTheChairCannotReadEndsTheWifiCheck()
    {
        QFETCH(int, failures);
        QFETCH(ConnectionState, after);
        LinkFixture f;
        const auto chair = f.central->makeChair();
        chair->readErrors[wifiStatusUUID] = QStringLiteral("busy");
        f.connectChair(chair);
        QCOMPARE(f.state(), ConnectionState::checkingWifi);
        if (failures == 1)
            chair->readErrors.clear();
        f.advance(999ms);
        QCOMPARE(f.central->readsOf(wifiStatusUUID), 1);
        f.advance(1ms);
        QCOMPARE(f.central->readsOf(wifiStatusUUID), 2);
        QCOMPARE(f.state(), after);
        const WiFiStatus status = failures == 1 ? WiFiStatus::connected : WiFiStatus::unknown;
        QCOMPARE(f.manager->wifiStatus(), status);
        QVERIFY(!f.manager->wifiErrorMessage());
        QCOMPARE(f.central->readsOf(wifiSSIDListCounterUUID), failures == 1 ? 0 : 1);
        f.advance(10s);
        QCOMPARE(f.central->readsOf(wifiStatusUUID), 2);
        // Outside the check a failed status read changes nothing.
        chair->readErrors[wifiStatusUUID] = QStringLiteral("busy");
        chair->read(wifiStatusUUID);
        f.central->flush();
        QCOMPARE(f.state(), after);
        QCOMPARE(f.manager->wifiStatus(), status);
    }

    void unexpectedDropReconnectsAfterTwoSeconds()
    {
        LinkFixture f;
        const auto chair = connectWithHistory(f);
        QCOMPARE(f.manager->serialNumber(), QStringLiteral("VP-0042"));
        QCOMPARE(f.manager->softwareVersion(), QStringLiteral("2.1.0"));
        QCOMPARE(f.manager->firmwareVersion(), QStringLiteral("1.4.2"));
        QCOMPARE(f.manager->sessionMoves(), qint64(1));
        QCOMPARE(f.manager->lifetimeMoves(), Moves(16));
        QVERIFY(f.manager->chairIsAsleep());

        f.central->answersConnects = false;
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
        // Back, the legs moved meanwhile, yet the first report counts nothing: the counts start
        // over from the odometers.
        chair->values[leftOdometerUUID] = u32Bytes(30);
        f.central->completeConnect(chair.get());
        f.central->flush();
        QCOMPARE(f.state(), ConnectionState::ready);
        QCOMPARE(f.manager->serialNumber(), QStringLiteral("VP-0042"));
        QCOMPARE(f.manager->sessionMoves(), qint64(0));
        QCOMPARE(f.manager->lifetimeMoves(), Moves(35));
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
        chair->values[chairStateUUID] = legs(true, true, how == 7 ? 0x01 : 0x00);
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
            QCOMPARE(f.log.contains(dropLine), how == 1);
            // The chair keeps its own automatic mode; only this side forgets it.
            QVERIFY(f.central->writesTo(autoModeUUID).isEmpty());
            break;
        case 2:
        case 3:
        case 6:
            f.central->answersConnects = false;
            f.pick(chair);
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
            QCOMPARE(f.manager->countdownSeconds(), 0.0);
            break;
        case 7:
            f.pick(chair);
            while (f.central->readsOf(chairStateUUID) == 0 && f.central->deliverNext()) {
            }
            f.manager->disconnect();
            f.central->flush();
            break;
        }
        QVERIFY(!f.central->isLinked(chair.get()));
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
        QVERIFY(f.log.lines().isEmpty());
        f.manager->startSimulation(); // nothing held: a simulated chair may take its place
        QVERIFY(f.manager->isSimulating());
    }

    void wakeReconnectsTheHeldChairOnly_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("line");
        QTest::newRow("named") << "Velnora Pro 1"
                               << "🔄 Mac woke from sleep — reconnecting to Velnora Pro 1...";
        QTest::newRow("unnamed") << QString() << "🔄 Mac woke from sleep — reconnecting to chair...";
    }
    void wakeReconnectsTheHeldChairOnly()
    {
        QFETCH(QString, name);
        QFETCH(QString, line);
        LinkFixture f;
        const auto chair = f.central->makeChair(name);
        f.pick(chair, QStringLiteral("Velnora Chair"));
        f.central->flush();
        f.central->clearCalls();
        f.wake.resume();
        QCOMPARE(f.log.lines().filter(QStringLiteral("woke")), QStringList{line});
        QCOMPARE(f.state(), ConnectionState::connecting); // even though the link was up
        QVERIFY(f.reconnectsAfter(2s));
        QCOMPARE(connectsTo(f, chair), 1);
        QCOMPARE(f.state(), ConnectionState::ready);

        // Without a chair a wake means nothing to the link.
        LinkFixture g;
        QSignalSpy stateChanged(g.manager.get(), &BluetoothManager::connectionStateChanged);
        g.wake.resume();
        g.advance(5s);
        QCOMPARE(stateChanged.count(), 0);
        QVERIFY(g.central->calls().isEmpty() && g.log.lines().isEmpty());
    }

    void bluetoothOffAndOn()
    {
        for (bool dropReported : {true, false}) { // the stack reports the lost link, or not
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
            if (dropReported) {
                f.central->dropLink(chair.get());
                f.central->flush();
                QCOMPARE(f.state(), ConnectionState::unavailable);
            }
            QCOMPARE(f.scheduler.pendingDelays(), 0);
            // A wake with the radio off leaves the reconnect to the power-on.
            f.wake.resume();
            QVERIFY(f.log.lines().filter(QStringLiteral("woke")).isEmpty() &&
                    !f.log.contains(dropLine));
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
    }

    // "Try without a chair" with the radio off lets the held chair go for good.
    void aSimulationWithTheRadioOffLetsTheHeldChairGo()
    {
        LinkFixture f;
        const auto chair = f.connectChair();
        f.central->dropLink(chair.get());
        f.central->setPower(CentralPower::Off);
        f.central->clearCalls();
        f.manager->startSimulation();
        f.central->setPower(CentralPower::On);
        f.advance(10s);
        QCOMPARE(f.central->count(Kind::connect), 0);
        QCOMPARE(f.central->count(Kind::cancel), 1);
        QCOMPARE(f.state(), ConnectionState::wifiSetup);
        QCOMPARE(f.manager->serialNumber(), QStringLiteral("SIM-00001"));
    }

    void automaticModeCountdownResumesAfterTheLinkReturns()
    {
        for (bool radioOff : {false, true}) {
            LinkFixture f;
            auto chair = f.central->makeChair();
            chair->values[autoModeUUID] = bytes({0x01});
            chair->values[timeToNextTransitionUUID] = floatBytes(120);
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
                     radioOff ? "radio" : "drop");
            QVERIFY(f.manager->countdownSeconds() > 0);
        }
    }

    void lateReconnectsCheckTheirReason_data()
    {
        QTest::addColumn<QString>("during");
        QTest::addColumn<int>("connects");
        QTest::newRow("a wake: one reconnect, not two") << "wake" << 2;
        QTest::newRow("the radio goes off: only the power-on connects") << "radio" << 2;
        QTest::newRow("the user picks another chair: the first is left alone") << "other" << 1;
        // Only the new drop's reconnect, two seconds after it, brings the chair back.
        QTest::newRow("the user lets it go, picks it again, and it drops again") << "again" << 3;
    }
    void lateReconnectsCheckTheirReason()
    {
        QFETCH(QString, during);
        QFETCH(int, connects);
        LinkFixture f;
        const auto chair = f.connectChair();
        f.central->dropLink(chair.get());
        f.advance(1s);
        const auto second = f.central->makeChair(QStringLiteral("Velnora Pro 2"));
        if (during == "wake") {
            f.wake.resume();
        } else if (during == "radio") {
            f.central->setPower(CentralPower::Off);
            f.advance(2s);
            QCOMPARE(connectsTo(f, chair), 1);
            f.central->setPower(CentralPower::On);
        } else if (during == "other") {
            f.central->answersConnects = false;
            f.pick(second);
        } else {
            f.manager->disconnect();
            f.pick(chair);
            f.central->flush();
            f.central->dropLink(chair.get());
        }
        f.advance(1s);
        QCOMPARE(connectsTo(f, chair), during == "again" ? 2 : connects);
        f.advance(5s);
        QCOMPARE(connectsTo(f, chair), connects);
        QCOMPARE(connectsTo(f, second), during == "other" ? 1 : 0);
        QCOMPARE(f.state(),
                 during == "other" ? ConnectionState::connecting : ConnectionState::ready);
    }

    void connectingToAnotherChairDropsTheFirst()
    {
        LinkFixture f;
        const auto first = connectWithHistory(f);
        const auto second = chairWithValues(f, 10, 5, "Velnora Pro 2", "VP-0077");
        second->values[chairStateUUID] = legs(true, false);
        f.manager->startScanning();
        f.central->advertise(second, second->name(), -40);
        f.central->clearCalls();
        f.manager->connect(second->identifier());
        const int cancelFirst = indexOf(f, Kind::cancel, first->identifier());
        QVERIFY(cancelFirst >= 0);
        QVERIFY(cancelFirst < indexOf(f, Kind::connect, second->identifier()));
        verifyLinkDataCleared(f);

        f.central->flush();
        QVERIFY(!f.central->isLinked(first.get()));
        QVERIFY(!f.log.contains(dropLine));
        QCOMPARE(f.state(), ConnectionState::ready);
        QCOMPARE(f.manager->deviceName(), QStringLiteral("Velnora Pro 2"));
        QCOMPARE(f.manager->serialNumber(), QStringLiteral("VP-0077"));
        // The first chair's late reports are not this chair's.
        first->notify(chairStateUUID, legs(false, true));
        f.advance(5s);
        QVERIFY(f.manager->leftLegUp() && !f.manager->rightLegUp());
        QCOMPARE(f.manager->sessionMoves(), qint64(0));
        QCOMPARE(connectsTo(f, first), 0);
    }

    void sessionMovesCountLegChanges()
    {
        LinkFixture f;
        auto chair = chairWithValues(f, std::nullopt, std::nullopt);
        chair->values[chairStateUUID] = legs(false, false); // not where the fields start
        f.connectChair(chair);
        BluetoothManager& m = *f.manager;
        QCOMPARE(m.sessionMoves(), 0); // the first report only says where the legs are
        QVERIFY(!m.leftLegUp());
        f.report(*chair, chairStateUUID, legs(true, true));
        QCOMPARE(m.sessionMoves(), 2);
        f.report(*chair, chairStateUUID, legs(true, true));
        f.report(*chair, chairStateUUID, bytes({0x01, 0x01})); // short: no legs in it
        f.report(*chair, chairStateUUID, legs(true, false));
        QCOMPARE(m.sessionMoves(), 3);
        QVERIFY(!m.lifetimeMoves()); // no odometer yet: the session count alone rises
        // The first odometers count from there, without the moves before them; one is enough.
        f.report(*chair, leftOdometerUUID, u32Bytes(10));
        QCOMPARE(m.lifetimeMoves(), Moves(10));
        f.report(*chair, rightOdometerUUID, u32Bytes(5));
        QCOMPARE(m.lifetimeMoves(), Moves(15));
        f.report(*chair, chairStateUUID, legs(true, true));
        QCOMPARE(m.lifetimeMoves(), Moves(16));
    }

    void lifetimeMovesMergeOdometersWithLocalMoves()
    {
        LinkFixture f;
        auto chair = f.connectChair(chairWithValues(f, 100, 50));
        BluetoothManager& m = *f.manager;
        QCOMPARE(m.lifetimeMoves(), Moves(150));
        // One line per reading: the left one arrives first.
        QCOMPARE(odometerLines(f),
                 (QStringList{"📊 Odometer: L=100 R=0 total=100 local=0 displayed=100",
                              "📊 Odometer: L=100 R=50 total=150 local=100 displayed=150"}));
        f.report(*chair, chairStateUUID, legs(false, true));
        f.report(*chair, chairStateUUID, legs(false, false));
        f.report(*chair, chairStateUUID, legs(true, false));
        QCOMPARE(m.lifetimeMoves(), Moves(153)); // at once, not at the next reading
        // A lagging odometer never pulls the figure back.
        f.report(*chair, leftOdometerUUID, u32Bytes(101));
        QCOMPARE(m.lifetimeMoves(), Moves(153));

        // The minute's re-read finds the odometers ahead: they become the new base.
        chair->values[leftOdometerUUID] = u32Bytes(104);
        chair->values[rightOdometerUUID] = u32Bytes(52);
        f.central->clearCalls();
        f.advance(59s);
        QCOMPARE(f.central->readsOf(leftOdometerUUID), 0);
        f.advance(1s);
        QCOMPARE(f.central->readsOf(leftOdometerUUID), 1);
        QCOMPARE(f.central->readsOf(rightOdometerUUID), 1);
        QCOMPARE(odometerLines(f).last(),
                 QStringLiteral("📊 Odometer: L=104 R=52 total=156 local=154 displayed=156"));
        f.report(*chair, chairStateUUID, legs(false, false));
        QCOMPARE(m.lifetimeMoves(), Moves(157)); // the local count started over
        f.advance(60s);
        QCOMPARE(f.central->readsOf(leftOdometerUUID), 2);
    }

    void zeroOdometersAreNothing()
    {
        LinkFixture f;
        f.connectChair(chairWithValues(f, 0, 0));
        QVERIFY(!f.manager->lifetimeMoves());
        QVERIFY(odometerLines(f).isEmpty());
        QCOMPARE(f.scheduler.activeTimers(), 1); // the sleep timer alone
    }

    void sleepFollowsTheChairsSilence()
    {
        LinkFixture f;
        auto chair = f.connectChair();
        BluetoothManager& m = *f.manager;
        // Any report is a sign of life, even a short one or an event with anything in it.
        for (const auto& [c, value] : {std::pair{chairStateUUID, legs(true, true)},
                                       {chairStateUUID, bytes({0x00})},
                                       {chairStateEventUUID, bytes({0x42})},
                                       {chairStateEventUUID, QByteArray()}}) {
            f.advance(719s);
            QVERIFY(!m.chairIsAsleep());
            f.report(*chair, c, value);
        }
        f.advance(719s);
        QVERIFY(!m.chairIsAsleep());
        f.advance(1s);
        QVERIFY(m.chairIsAsleep());
        f.report(*chair, chairStateUUID, bytes({0x00, 0x00}));
        QVERIFY(!m.chairIsAsleep());

        // A chair that says it sleeps is asleep at once; its legs are still mirrored.
        f.report(*chair, chairStateUUID, legs(false, false, 0x03));
        QVERIFY(m.chairIsAsleep() && !m.leftLegUp());
        QCOMPARE(f.scheduler.activeTimers(), 0);
        // Saying it again never passes through awake (that would restart the sleeping screen).
        QSignalSpy asleepChanged(&m, &BluetoothManager::chairIsAsleepChanged);
        f.report(*chair, chairStateUUID, legs(false, false, 0x03));
        QCOMPARE(asleepChanged.count(), 0);
        QCOMPARE(f.scheduler.activeTimers(), 0);
        f.report(*chair, chairStateEventUUID, bytes({0x01}));
        QVERIFY(!m.chairIsAsleep());
        f.advance(720s);
        QVERIFY(m.chairIsAsleep());
    }

    // The chair attributes its own cloud uploads to the e-mail it is told.
    void theChairIsToldARealEmailOnly_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<bool>("configurable"); // the chair has its configuration service
        QTest::addColumn<QStringList>("lines");
        const QStringList skipped{"📧 No registered email — skipping chair sync"};
        QTest::newRow("none stored") << QString() << true << skipped;
        QTest::newRow("maker's placeholder") << Settings::placeholderAdminEmail << true << skipped;
        QTest::newRow("a chair without configuration")
            << "user@example.com" << false << QStringList();
    }
    void theChairIsToldARealEmailOnly()
    {
        QFETCH(QString, stored);
        QFETCH(bool, configurable);
        QFETCH(QStringList, lines);
        LinkFixture f(CentralPower::On, stored);
        auto chair = f.central->makeChair();
        chair->values[serialNumberUUID] = "VP-1";
        if (!configurable)
            chair->removeService(configServiceUUID);
        f.connectChair(chair);
        QCOMPARE(f.state(), ConnectionState::ready); // it connects all the same
        QVERIFY(f.central->writesTo(userNameUUID).isEmpty());
        QCOMPARE(mailLines(f), lines);
        QCOMPARE(f.manager->serialNumber(), configurable ? "VP-1" : QString());
    }

    void registeredEmailGoesToTheChairOncePerLink()
    {
        const QString email = QStringLiteral("zoë.müller@example.ch");
        LinkFixture f(CentralPower::On, email);
        auto chair = f.connectChair();
        QCOMPARE(f.central->writesTo(userNameUUID), QList<QByteArray>{email.toUtf8()});
        QCOMPARE(mailLines(f), QStringList{"📧 Synced user email to chair: " + email});

        // A new address reaches the chair at the next link, not before.
        const QString changed = QStringLiteral("zoe@example.ch");
        f.settings.setAnalyticsUserEmail(changed);
        f.advance(10s);
        QCOMPARE(f.central->writesTo(userNameUUID).size(), 1);
        f.central->dropLink(chair.get());
        f.advance(2s);
        QCOMPARE(f.central->writesTo(userNameUUID),
                 (QList<QByteArray>{email.toUtf8(), changed.toUtf8()}));
        QCOMPARE(mailLines(f).size(), 2);
    }
};

QTEST_GUILESS_MAIN(ConnectionTest)
#include "tst_connection.moc"
