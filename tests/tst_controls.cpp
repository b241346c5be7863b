// Driving the chair (legs, automatic mode, pattern, period, vibration, wake) and mirroring what
// it reports back: posture, automatic mode and the countdown to the next transition.
#include "LinkFixture.h"

#include <QtTest>

#include <limits>

using namespace ChairProfile;
using namespace std::chrono_literals;
using Writes = QList<QByteArray>;

namespace {

// Automatic mode on, its first countdown read answered.
void switchOn(LinkFixture& f)
{
    f.manager->setAutoMode(true);
    f.central->flush();
    f.central->clearCalls();
}

} // namespace

class Controls : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void eachOperationWritesItsBytes()
    {
        LinkFixture f;
        f.connectChair();
        f.central->clearCalls();
        BluetoothManager& m = *f.manager;
        m.toggleLeg(false);
        m.toggleLeg(true);
        QCOMPARE(f.central->writesTo(chairToggleUUID), (Writes{bytes({0x00}), bytes({0x01})}));
        // The legs move on screen only when the chair says they did.
        QVERIFY(m.leftLegUp() && m.rightLegUp());
        m.setAutoMode(true);
        m.setAutoMode(false);
        QCOMPARE(f.central->writesTo(autoModeUUID), (Writes{bytes({0x01}), bytes({0x00})}));
        // A pattern shows before the chair has answered; one that is no byte is refused.
        for (qint64 pattern : {2, 256, -1})
            m.setAutoModePattern(pattern);
        QCOMPARE(m.autoModePattern(), 2);
        QCOMPARE(f.central->writesTo(autoModeSelectorUUID), Writes{bytes({0x02})});
        m.setAutoPeriodMinutes(2.5);
        m.writeAutoPeriod();
        QCOMPARE(f.central->writesTo(autoPeriodUUID), Writes{u32Bytes(150)});

        // Both motors, left first, every time.
        f.central->clearCalls();
        for (double strength : {12.0, 35.5, 80.0}) {
            m.setMotorStrength(strength);
            m.writeMotorStrength();
        }
        QList<std::pair<QBluetoothUuid, int>> writes;
        for (const FakeCall& call : f.central->calls())
            writes.append({call.target, int(quint8(call.value.at(0)))});
        QCOMPARE(writes, (QList<std::pair<QBluetoothUuid, int>>{{leftMotorSoundUUID, 20},
                                                                {rightMotorSoundUUID, 20},
                                                                {leftMotorSoundUUID, 36},
                                                                {rightMotorSoundUUID, 36},
                                                                {leftMotorSoundUUID, 50},
                                                                {rightMotorSoundUUID, 50}}));
    }

    void operationsNeedTheChairAndItsCharacteristic()
    {
        LinkFixture f;
        BluetoothManager& m = *f.manager;
        auto everyOperation = [&m] {
            m.toggleLeg(false);
            m.setAutoMode(true);
            m.setAutoMode(false);
            m.setAutoModePattern(1);
            m.writeAutoPeriod();
            m.writeMotorStrength();
            m.wakeChair();
        };
        everyOperation(); // no chair at all
        QVERIFY(f.central->calls().isEmpty());
        QCOMPARE(f.scheduler.pendingDelays(), 0); // a wake that could not start has no second step

        // The vibration strength goes to both motors or to none.
        auto chair = f.central->makeChair();
        chair->removeCharacteristic(rightMotorSoundUUID);
        f.connectChair(chair);
        f.central->clearCalls();
        m.writeMotorStrength();
        QVERIFY(f.central->calls().isEmpty());

        // A reconnect is pending: the chair is still held, its characteristics are not.
        f.central->dropLink(chair.get());
        f.central->flush();
        QCOMPARE(f.state(), ConnectionState::connecting);
        f.central->clearCalls();
        everyOperation();
        QVERIFY(f.central->calls().isEmpty());
    }

    void editingShieldsTheSlidersFromChairValues()
    {
        LinkFixture f;
        auto chair = f.connectChair();
        BluetoothManager& m = *f.manager;
        f.report(*chair, autoPeriodUUID, u32Bytes(90));
        QCOMPARE(m.autoPeriodMinutes(), 1.5);
        m.setIsEditingPeriod(true);
        m.setAutoPeriodMinutes(8.0);
        f.report(*chair, autoPeriodUUID, u32Bytes(300));
        QCOMPARE(m.autoPeriodMinutes(), 8.0); // the user's drag wins
        m.setIsEditingPeriod(false);
        f.report(*chair, autoPeriodUUID, u32Bytes(300));
        f.report(*chair, autoPeriodUUID, bytes({0x2c, 0x01, 0x00})); // short: ignored
        QCOMPARE(m.autoPeriodMinutes(), 5.0);

        m.setIsEditingMotor(true);
        m.setMotorStrength(25);
        f.report(*chair, leftMotorSoundUUID, bytes({45}));
        QCOMPARE(m.motorStrength(), 25.0);
        m.setIsEditingMotor(false);
        f.report(*chair, rightMotorSoundUUID, bytes({33})); // the right motor mirrors the left
        QCOMPARE(m.motorStrength(), 25.0);
        f.report(*chair, leftMotorSoundUUID, bytes({60})); // taken as the chair sends it
        QCOMPARE(m.motorStrength(), 60.0);
    }

    void switchingOnShowsTheFullPeriodThenFollowsTheChair()
    {
        LinkFixture f;
        auto chair = f.connectChair();
        BluetoothManager& m = *f.manager;
        const int idleTimers = f.scheduler.activeTimers();
        f.central->clearCalls();
        chair->values[timeToNextTransitionUUID] = floatBytes(200.0f);

        m.setAutoMode(true);
        QVERIFY(m.autoModeEnabled());
        QCOMPARE(m.countdownSeconds(), 300.0);
        // Asked at once, but only after the switch, so the answer is the running chair's.
        QCOMPARE(f.central->calls().size(), 2);
        QCOMPARE(f.central->calls().at(0).target, autoModeUUID);
        QCOMPARE(f.central->readsOf(timeToNextTransitionUUID), 1);
        QCOMPARE(f.scheduler.activeTimers(), idleTimers + 2);
        f.central->flush();
        QCOMPARE(m.countdownSeconds(), 200.0);
        f.advance(2s);
        QCOMPARE(m.countdownSeconds(), 198.0); // the tick between polls
        QCOMPARE(f.central->readsOf(timeToNextTransitionUUID), 1);
        chair->values[timeToNextTransitionUUID] = floatBytes(150.4f);
        f.advance(1s);
        QCOMPARE(f.central->readsOf(timeToNextTransitionUUID), 2);
        QCOMPARE(m.countdownSeconds(), 150.0);

        // A chair that stops answering: the tick runs down to 0 and no further.
        chair->answersReads = false;
        f.advance(200s);
        QCOMPARE(m.countdownSeconds(), 0.0);
        m.setAutoMode(false);
        QCOMPARE(f.scheduler.activeTimers(), idleTimers);
    }

    void hardwareButtonCancel_data()
    {
        QTest::addColumn<QList<float>>("countdowns");
        QTest::addColumn<bool>("cancelled");
        const float nan = std::numeric_limits<float>::quiet_NaN();
        const float inf = std::numeric_limits<float>::infinity();
        QTest::newRow("two zeros after counting") << QList<float>{30, 27, 0, 0} << true;
        QTest::newRow("zeros before counting") << QList<float>{0, 0, 0} << false;
        QTest::newRow("zeros not in a row") << QList<float>{30, 0, 5, 0} << false;
        QTest::newRow("garbage counts as zero") << QList<float>{30, nan, inf} << true;
    }
    void hardwareButtonCancel()
    {
        QFETCH(QList<float>, countdowns);
        QFETCH(bool, cancelled);
        LinkFixture f;
        auto chair = f.connectChair();
        const int idleTimers = f.scheduler.activeTimers();
        switchOn(f);
        for (qsizetype i = 0; i < countdowns.size(); ++i) {
            QVERIFY2(f.manager->autoModeEnabled(), qPrintable(QString("off at value %1").arg(i)));
            f.report(*chair, timeToNextTransitionUUID, floatBytes(countdowns[i]));
        }
        QCOMPARE(f.manager->autoModeEnabled(), !cancelled);
        QCOMPARE(f.log.lines().count(QStringLiteral(
                     "🪑 Auto mode cancelled from chair hardware button (countdown=0 ×2)")),
                 cancelled ? 1 : 0);
        QCOMPARE(f.scheduler.activeTimers(), cancelled ? idleTimers : idleTimers + 2);
        QVERIFY(f.central->writesTo(autoModeUUID).isEmpty()); // the chair already stopped
    }

    void chairReportsMirrorLegsAndAutomaticMode()
    {
        LinkFixture f;
        auto chair = f.connectChair();
        BluetoothManager& m = *f.manager;
        const int idleTimers = f.scheduler.activeTimers();
        f.report(*chair, chairStateUUID, bytes({0x00, 0x01, 0x00}));
        f.report(*chair, chairStateUUID, bytes({0x02, 0x00})); // short: ignored
        QVERIFY(m.leftLegUp() && !m.rightLegUp());
        // An automatic-mode value of 0 (or none) never switches anything.
        f.report(*chair, autoModeUUID, bytes({0x00}));
        f.report(*chair, autoModeUUID, QByteArray());
        QVERIFY(!m.autoModeEnabled());
        QCOMPARE(f.scheduler.activeTimers(), idleTimers);

        // The chair started automatic mode itself: follow it, write nothing back.
        f.central->clearCalls();
        f.report(*chair, chairStateUUID, bytes({0x7f, 0x00, 0x01}));
        QVERIFY(!m.leftLegUp() && m.rightLegUp());
        QVERIFY(m.autoModeEnabled());
        QCOMPARE(m.countdownSeconds(), 0.0); // until the chair tells its countdown
        QCOMPARE(f.central->readsOf(timeToNextTransitionUUID), 1);
        f.advance(3s);
        QCOMPARE(f.central->readsOf(timeToNextTransitionUUID), 2);
        QVERIFY(f.central->writesTo(autoModeUUID).isEmpty());
        // Other modes, and an automatic-mode value of 0, switch nothing off.
        f.report(*chair, chairStateUUID, bytes({0x00, 0x00, 0x00}));
        f.report(*chair, chairStateUUID, bytes({0x00, 0x00, 0x02}));
        f.report(*chair, autoModeUUID, bytes({0x00}));
        QVERIFY(m.autoModeEnabled());
        QCOMPARE(f.scheduler.activeTimers(), idleTimers + 2);
    }

    void wakeIsAOneSecondPulse()
    {
        LinkFixture f;
        auto chair = f.connectChair();
        const int idleTimers = f.scheduler.activeTimers();
        switchOn(f);
        BluetoothManager& m = *f.manager;
        m.wakeChair();
        QCOMPARE(f.central->writesTo(autoModeUUID), Writes{bytes({0x01})});
        f.advance(999ms);
        QVERIFY(m.autoModeEnabled());
        f.advance(1ms);
        QCOMPARE(f.central->writesTo(autoModeUUID), (Writes{bytes({0x01}), bytes({0x00})}));
        QVERIFY(!m.autoModeEnabled());
        QCOMPARE(m.countdownSeconds(), 0.0);
        QCOMPARE(f.scheduler.activeTimers(), idleTimers);

        // The chair went away within the second: the pulse cannot end, nothing changes here.
        m.setAutoMode(true);
        f.central->clearCalls();
        m.wakeChair();
        f.central->dropLink(chair.get());
        f.advance(1s);
        QCOMPARE(f.central->writesTo(autoModeUUID), Writes{bytes({0x01})});
        QVERIFY(m.autoModeEnabled());
    }
};

QTEST_GUILESS_MAIN(Controls)
#include "tst_controls.moc"
