// The chair the program remembers: kept after a connect, sought at start (that one chair only,
// for 20 s), given up, tried again, cancelled, kept across a Disconnect, forgotten, and the
// stores that must lead to no attempt at all.
#include "LinkFixture.h"
#include "VelnoraDesktopApp.h"

#include <QSignalSpy>
#include <QtTest>

using namespace std::chrono_literals;
using Kind = FakeCall::Kind;

namespace {

// A program start over the fixture's radio and store: the window's link is made when the root
// screen first asks for it.
struct Start {
    explicit Start(LinkFixture& f)
        : app(
              f.settings, [&f] { return std::move(f.manager); }, [] {})
    {
        manager = app.bluetooth();
    }
    VelnoraDesktopApp app;
    BluetoothManager* manager = nullptr;
};

void remember(LinkFixture& f, const QSharedPointer<FakePeripheral>& chair)
{
    f.settings.rememberChair({chair->radioAddress, chair->name()});
}

int connectsTo(const LinkFixture& f, const QSharedPointer<FakePeripheral>& chair)
{
    int n = 0;
    for (const FakeCall& call : f.central->callsOf(Kind::connect))
        n += call.peripheral == chair->identifier() ? 1 : 0;
    return n;
}

} // namespace

class RememberedChairTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void aConnectRemembersTheChairOnce()
    {
        LinkFixture f;
        QSignalSpy remembered(&f.settings, &Settings::rememberedChairChanged);
        auto chair = f.connectChair(f.central->makeChair(QStringLiteral("Velnora Pro 7")));
        QCOMPARE(f.state(), ConnectionState::ready);
        const std::optional<RememberedChair> kept = f.settings.rememberedChair();
        QVERIFY(kept);
        QCOMPARE(kept->address, chair->radioAddress);
        QCOMPARE(kept->name, QStringLiteral("Velnora Pro 7"));
        QCOMPARE(remembered.count(), 1);

        // Forgotten while linked: the reconnect after a drop does not bring it back.
        f.settings.forgetChair();
        QCOMPARE(remembered.count(), 2);
        f.central->dropLink(chair.get());
        f.advance(3s);
        QCOMPARE(f.state(), ConnectionState::ready);
        QVERIFY(!f.settings.hasRememberedChair());

        // A simulated chair has no radio to remember.
        f.manager->disconnect();
        f.central->flush();
        f.manager->startSimulation();
        f.advance(10s);
        QVERIFY(!f.settings.hasRememberedChair());
    }

    void aStartSeeksTheRememberedChairOnly()
    {
        LinkFixture f;
        auto other = f.central->makeChair(QStringLiteral("Velnora Pro 1"));
        auto mine = f.central->makeChair(QStringLiteral("Velnora Pro 2"));
        remember(f, mine);
        Start s(f);
        QCOMPARE(s.manager->connectionState(), ConnectionState::connecting);
        QCOMPARE(s.manager->autoConnectName(), QStringLiteral("Velnora Pro 2"));
        QCOMPARE(f.central->count(Kind::startScan), 1);

        f.central->advertise(other, other->name(), -40);
        QCOMPARE(f.central->count(Kind::connect), 0);
        f.central->advertise(mine, mine->name(), -70);
        QCOMPARE(connectsTo(f, mine), 1);
        QVERIFY(f.central->count(Kind::stopScan) > 0);
        f.central->flush();
        QCOMPARE(s.manager->connectionState(), ConnectionState::ready);
        QCOMPARE(s.manager->autoConnectName(), QString());
        // Its time-out, once it comes, changes nothing.
        f.advance(30s);
        QCOMPARE(s.manager->connectionState(), ConnectionState::ready);
    }

    void notSeenIn20sGivesUpAndTryAgainSeeksAgain()
    {
        LinkFixture f;
        auto mine = f.central->makeChair();
        remember(f, mine);
        Start s(f);
        f.advance(19999ms);
        QCOMPARE(s.manager->connectionState(), ConnectionState::connecting);
        f.advance(1ms);
        QCOMPARE(s.manager->connectionState(), ConnectionState::disconnected);
        QCOMPARE(s.manager->autoConnectName(), QString());
        QCOMPARE(f.central->count(Kind::stopScan), 1);
        f.central->advertise(mine, mine->name(), -50);
        QCOMPARE(f.central->count(Kind::connect), 0);

        s.manager->connectRememberedChair();
        QCOMPARE(s.manager->connectionState(), ConnectionState::connecting);
        QCOMPARE(f.central->count(Kind::startScan), 2);
        f.advance(5s);
        f.central->advertise(mine, mine->name(), -50);
        QCOMPARE(connectsTo(f, mine), 1);
    }

    void cancelEndsTheSearchAndOnlyIt()
    {
        LinkFixture f;
        auto mine = f.central->makeChair();
        remember(f, mine);
        Start s(f);
        f.advance(10s);
        s.manager->disconnect(); // the screen's Cancel
        QCOMPARE(s.manager->connectionState(), ConnectionState::disconnected);
        QCOMPARE(f.central->count(Kind::stopScan), 1);
        f.central->advertise(mine, mine->name(), -50);
        QCOMPARE(f.central->count(Kind::connect), 0);

        // The cancelled search's time-out must not end the one tried again after it.
        f.advance(5s);
        s.manager->connectRememberedChair();
        f.advance(6s);
        QCOMPARE(s.manager->connectionState(), ConnectionState::connecting);
        f.advance(14s);
        QCOMPARE(s.manager->connectionState(), ConnectionState::disconnected);
    }

    void aDisconnectKeepsTheChairButBringsNothingBack()
    {
        LinkFixture f;
        auto mine = f.central->makeChair();
        remember(f, mine);
        Start s(f);
        f.central->advertise(mine, mine->name(), -50);
        f.central->flush();
        QCOMPARE(s.manager->connectionState(), ConnectionState::ready);
        f.central->clearCalls();
        s.manager->disconnect();
        f.advance(60s);
        QCOMPARE(s.manager->connectionState(), ConnectionState::disconnected);
        QCOMPARE(f.central->count(Kind::connect) + f.central->count(Kind::startScan), 0);
        QCOMPARE(f.settings.rememberedChair()->address, mine->radioAddress);
    }

    // Stores of the version before (five keys), with automatic connect off, with an address
    // that names no radio, and with Bluetooth off at start: no attempt.
    void startsWithoutAnAttempt_data()
    {
        QTest::addColumn<QByteArray>("extra");
        QTest::addColumn<bool>("remembers");
        QTest::addColumn<bool>("bluetoothOn");
        QTest::newRow("five keys") << QByteArray() << false << true;
        QTest::newRow("automatic off")
            << QByteArray("rememberedChairAddress=C0:FF:EE:00:00:01\nconnectAutomatically=false\n")
            << true << true;
        QTest::newRow("short") << QByteArray("rememberedChairAddress=C0:FF:EE:00:01\n") << false
                               << true;
        QTest::newRow("not hex") << QByteArray("rememberedChairAddress=C0:FF:EE:00:00:ZZ\n")
                                 << false << true;
        QTest::newRow("empty")
            << QByteArray("rememberedChairAddress=\nrememberedChairName=Velnora Pro 1\n") << false
            << true;
        QTest::newRow("bluetooth off")
            << QByteArray("rememberedChairAddress=C0:FF:EE:00:00:01\n") << true << false;
    }
    void startsWithoutAnAttempt()
    {
        QFETCH(QByteArray, extra);
        QFETCH(bool, remembers);
        QFETCH(bool, bluetoothOn);
        QTemporaryDir dir;
        QFile ini(dir.filePath(QStringLiteral("settings.ini")));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("[General]\nacceptedTermsVersion=1.0\nanalyticsUserEmail=rider@example.com\n"
                  "userDisplayName=Ana\ndebugModeActive=true\ndebugChairSerial=VP-0042\n" +
                  extra);
        ini.close();
        Settings settings(ini.fileName());
        QVERIFY(VelnoraDesktopApp::termsAcceptedIn(settings));
        QCOMPARE(settings.registeredEmail(), QStringLiteral("rider@example.com"));
        QCOMPARE(settings.userDisplayName(), QStringLiteral("Ana"));
        QCOMPARE(settings.debugModeActive(), true);
        QCOMPARE(settings.debugChairSerial(), QStringLiteral("VP-0042"));
        QCOMPARE(settings.hasRememberedChair(), remembers);

        ManualScheduler scheduler;
        ManualClock clock;
        auto* central = new FakeBleCentral(bluetoothOn ? CentralPower::On : CentralPower::Off);
        VelnoraDesktopApp app(
            settings,
            [&] {
                return std::make_unique<BluetoothManager>(std::unique_ptr<BleCentral>(central),
                                                          scheduler, clock, settings);
            },
            [] {});
        app.bluetooth();
        central->setPower(CentralPower::On); // Bluetooth coming on later brings no attempt either
        scheduler.advance(30s);
        QCOMPARE(central->count(Kind::startScan), 0);
        QCOMPARE(app.bluetooth()->connectionState(), ConnectionState::disconnected);
    }
};

QTEST_MAIN(RememberedChairTest)
#include "tst_rememberedchair.moc"
