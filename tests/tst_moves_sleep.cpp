// Counting leg moves (this session and over the chair's life, merged with its odometers) and
// telling when the chair has fallen asleep.
#include "LinkFixture.h"

#include <QSignalSpy>
#include <QtTest>

using namespace ChairProfile;
using namespace std::chrono_literals;

namespace {

// Legs as the chair reports them: 0x00 is up.
QByteArray legs(bool leftUp, bool rightUp, int mode = 0x00)
{
    return bytes({leftUp ? 0x00 : 0x01, rightUp ? 0x00 : 0x01, mode});
}

QSharedPointer<FakePeripheral> chairWithOdometers(LinkFixture& f, std::optional<quint32> left,
                                                  std::optional<quint32> right)
{
    auto chair = f.central->makeChair();
    chair->values[chairStateUUID] = legs(true, true);
    if (left)
        chair->values[leftOdometerUUID] = u32Bytes(*left);
    if (right)
        chair->values[rightOdometerUUID] = u32Bytes(*right);
    return chair;
}

QStringList odometerLines(const LinkFixture& f)
{
    return f.log.lines().filter(QStringLiteral("📊 Odometer:"));
}

} // namespace

class MovesSleep : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void sessionMovesCountLegChanges()
    {
        LinkFixture f;
        auto chair = chairWithOdometers(f, std::nullopt, std::nullopt);
        chair->values[chairStateUUID] = legs(false, false); // not where the fields start
        f.connectChair(chair);
        BluetoothManager& m = *f.manager;
        QCOMPARE(m.sessionMoves(), 0); // the first report only says where the legs are
        QVERIFY(!m.leftLegUp());

        f.report(*chair, chairStateUUID, legs(true, true));
        QCOMPARE(m.sessionMoves(), 2);
        f.report(*chair, chairStateUUID, legs(true, true));
        f.report(*chair, chairStateUUID, bytes({0x01, 0x01})); // short: no legs in it
        QCOMPARE(m.sessionMoves(), 2);
        f.report(*chair, chairStateUUID, legs(true, false));
        QCOMPARE(m.sessionMoves(), 3);
        QVERIFY(!m.lifetimeMoves()); // no odometer yet: the session count alone rises
        // The first odometers count from there, without the moves before them.
        f.report(*chair, leftOdometerUUID, u32Bytes(10));
        f.report(*chair, rightOdometerUUID, u32Bytes(5));
        QCOMPARE(m.lifetimeMoves(), std::optional<qint64>(15));
        f.report(*chair, chairStateUUID, legs(true, true));
        QCOMPARE(m.lifetimeMoves(), std::optional<qint64>(16));
    }

    void lifetimeMovesMergeOdometersWithLocalMoves()
    {
        LinkFixture f;
        auto chair = f.connectChair(chairWithOdometers(f, 100, 50));
        BluetoothManager& m = *f.manager;
        QCOMPARE(m.lifetimeMoves(), std::optional<qint64>(150));
        // One line per reading: the left one arrives first.
        QCOMPARE(odometerLines(f),
                 (QStringList{
                     QStringLiteral("📊 Odometer: L=100 R=0 total=100 local=0 displayed=100"),
                     QStringLiteral("📊 Odometer: L=100 R=50 total=150 local=100 displayed=150"),
                 }));

        f.report(*chair, chairStateUUID, legs(false, true));
        f.report(*chair, chairStateUUID, legs(false, false));
        f.report(*chair, chairStateUUID, legs(true, false));
        QCOMPARE(m.lifetimeMoves(), std::optional<qint64>(153)); // at once, not at the next reading
        QCOMPARE(m.sessionMoves(), 3);

        // A lagging odometer never pulls the figure back.
        f.report(*chair, leftOdometerUUID, u32Bytes(101));
        QCOMPARE(m.lifetimeMoves(), std::optional<qint64>(153));

        // The minute's re-read finds the odometers ahead: they become the new base.
        chair->values[leftOdometerUUID] = u32Bytes(104);
        chair->values[rightOdometerUUID] = u32Bytes(52);
        f.central->clearCalls();
        f.advance(59s);
        QCOMPARE(f.central->readsOf(leftOdometerUUID), 0);
        f.advance(1s);
        QCOMPARE(f.central->readsOf(leftOdometerUUID), 1);
        QCOMPARE(f.central->readsOf(rightOdometerUUID), 1);
        QCOMPARE(m.lifetimeMoves(), std::optional<qint64>(156));
        QCOMPARE(odometerLines(f).last(),
                 QStringLiteral("📊 Odometer: L=104 R=52 total=156 local=154 displayed=156"));
        f.report(*chair, chairStateUUID, legs(false, false));
        QCOMPARE(m.lifetimeMoves(), std::optional<qint64>(157)); // the local count started over
        f.advance(60s);
        QCOMPARE(f.central->readsOf(leftOdometerUUID), 2);
    }

    void oneOdometerIsEnoughAndZerosAreNothing()
    {
        {
            LinkFixture f;
            f.connectChair(chairWithOdometers(f, 120, std::nullopt));
            QCOMPARE(f.manager->lifetimeMoves(), std::optional<qint64>(120));
        }
        LinkFixture f;
        f.connectChair(chairWithOdometers(f, 0, 0));
        QVERIFY(!f.manager->lifetimeMoves());
        QVERIFY(odometerLines(f).isEmpty());
        QCOMPARE(f.scheduler.activeTimers(), 1); // the sleep timer alone
        f.central->clearCalls();
        f.advance(60s);
        QCOMPARE(f.central->readsOf(leftOdometerUUID), 0);
    }

    void aLinkDropStartsTheCountsOver()
    {
        LinkFixture f;
        auto chair = f.connectChair(chairWithOdometers(f, 100, 50));
        BluetoothManager& m = *f.manager;
        f.report(*chair, chairStateUUID, legs(false, true));
        f.advance(720s);
        QVERIFY(m.chairIsAsleep());

        f.central->dropLink(chair.get());
        f.central->flush();
        QCOMPARE(m.sessionMoves(), 0);
        QVERIFY(!m.lifetimeMoves());
        QVERIFY(!m.chairIsAsleep());
        QCOMPARE(f.scheduler.activeTimers(), 0); // no odometer re-read, no sleep timer

        // Reconnected: the legs moved meanwhile, yet the first report counts nothing.
        chair->values[chairStateUUID] = legs(true, false);
        chair->values[leftOdometerUUID] = u32Bytes(130);
        chair->values[rightOdometerUUID] = u32Bytes(70);
        f.advance(2s);
        QCOMPARE(f.state(), ConnectionState::ready);
        QCOMPARE(m.sessionMoves(), 0);
        QCOMPARE(m.lifetimeMoves(), std::optional<qint64>(200));
    }

    void sleepFollowsTheChairsSilence()
    {
        LinkFixture f;
        auto chair = f.connectChair();
        BluetoothManager& m = *f.manager;

        // Any report is a sign of life, even a short one or an event with anything in it.
        for (const auto& [c, value] :
             QList<std::pair<QBluetoothUuid, QByteArray>>{{chairStateUUID, legs(true, true)},
                                                          {chairStateUUID, bytes({0x00})},
                                                          {chairStateEventUUID, bytes({0x42})}}) {
            f.advance(719s);
            QVERIFY(!m.chairIsAsleep());
            f.report(*chair, c, value);
        }
        f.advance(719s);
        QVERIFY(!m.chairIsAsleep());
        f.advance(1s);
        QVERIFY(m.chairIsAsleep());

        f.report(*chair, chairStateEventUUID, QByteArray());
        QVERIFY(!m.chairIsAsleep());
        f.advance(720s);
        QVERIFY(m.chairIsAsleep());
        f.report(*chair, chairStateUUID, bytes({0x00, 0x00}));
        QVERIFY(!m.chairIsAsleep());
    }

    void chairThatSaysItSleepsIsAsleepAtOnce()
    {
        LinkFixture f;
        auto chair = f.connectChair();
        BluetoothManager& m = *f.manager;

        f.report(*chair, chairStateUUID, legs(false, false, 0x03));
        QVERIFY(m.chairIsAsleep());
        QVERIFY(!m.leftLegUp()); // its legs are still mirrored
        QCOMPARE(f.scheduler.activeTimers(), 0);
        // Saying it again never passes through awake (that would restart the sleeping screen).
        QSignalSpy asleepChanged(&m, &BluetoothManager::chairIsAsleepChanged);
        f.report(*chair, chairStateUUID, legs(false, false, 0x03));
        QCOMPARE(asleepChanged.count(), 0);
        QCOMPARE(f.scheduler.activeTimers(), 0);

        f.report(*chair, chairStateEventUUID, bytes({0x01}));
        QVERIFY(!m.chairIsAsleep());
        QCOMPARE(f.scheduler.activeTimers(), 1);
        f.advance(719s);
        QVERIFY(!m.chairIsAsleep());
        f.advance(1s);
        QVERIFY(m.chairIsAsleep());
    }
};

QTEST_GUILESS_MAIN(MovesSleep)
#include "tst_moves_sleep.moc"
