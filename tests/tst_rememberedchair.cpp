// The chair the program remembers: kept after a connect, sought alone for 20 s at start,
// cancelled, tried again, kept across a Disconnect; and the stores that lead to no attempt.
#include "LinkFixture.h"
#include "VelnoraDesktopApp.h"

#include <QtTest>

using namespace std::chrono_literals;
using Kind = FakeCall::Kind;

// A start whose link the root screen asks for, over this radio and store.
struct Start : LinkFixture {
    BluetoothManager* start()
    {
        app = std::make_unique<VelnoraDesktopApp>(
            settings, [this] { return std::move(manager); }, [] {});
        return app->bluetooth();
    }
    std::unique_ptr<VelnoraDesktopApp> app;
};

class RememberedChairTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void aConnectRemembersTheChairOnce()
    {
        LinkFixture f;
        auto chair = f.connectChair(f.central->makeChair(QStringLiteral("Velnora Pro 7")));
        QCOMPARE(f.settings.rememberedChair()->address, chair->radioAddress);
        QCOMPARE(f.settings.rememberedChairName(), QStringLiteral("Velnora Pro 7"));
        // Forgotten while linked: the reconnect after a drop does not bring it back.
        f.settings.forgetChair();
        f.central->dropLink(chair.get());
        f.advance(3s);
        QCOMPARE(f.state(), ConnectionState::ready);
        QVERIFY(!f.settings.hasRememberedChair());
    }

    void aStartSeeksThatChairAloneFor20s()
    {
        Start f;
        auto other = f.central->makeChair(QStringLiteral("Velnora Pro 1"));
        auto mine = f.central->makeChair(QStringLiteral("Velnora Pro 2"));
        f.settings.rememberChair({mine->radioAddress, mine->name()});
        BluetoothManager* m = f.start();
        QCOMPARE(m->autoConnectName(), QStringLiteral("Velnora Pro 2"));
        f.advance(10s);
        m->disconnect(); // Cancel
        QCOMPARE(m->connectionState(), ConnectionState::disconnected);
        f.central->advertise(mine, mine->name(), -50);
        f.advance(5s);
        m->connectRememberedChair(); // Try again
        f.advance(6s);               // past the cancelled search's time-out
        f.central->advertise(other, other->name(), -40);
        f.advance(13999ms);
        QCOMPARE(m->connectionState(), ConnectionState::connecting);
        f.advance(1ms);
        QCOMPARE(m->connectionState(), ConnectionState::disconnected);
        QCOMPARE(f.central->count(Kind::stopScan), 2);
        f.central->advertise(mine, mine->name(), -50);
        QCOMPARE(f.central->count(Kind::connect), 0);

        m->connectRememberedChair();
        f.central->advertise(other, other->name(), -40);
        f.central->advertise(mine, mine->name(), -50);
        QCOMPARE(f.central->callsOf(Kind::connect).size(), 1);
        QCOMPARE(f.central->callsOf(Kind::connect).first().peripheral, mine->identifier());
        f.advance(30s); // the search's time-out, once due, changes nothing
        QCOMPARE(m->connectionState(), ConnectionState::ready);
        QCOMPARE(m->autoConnectName(), QString());

        // A Disconnect keeps the chair and brings nothing back.
        f.central->clearCalls();
        m->disconnect();
        f.advance(60s);
        QCOMPARE(f.central->count(Kind::connect) + f.central->count(Kind::startScan), 0);
        QCOMPARE(f.settings.rememberedChair()->address, mine->radioAddress);
    }

    // The five keys of the version before, automatic connect off, addresses that name no radio,
    // Bluetooth off at start (and on later): no attempt, and the terms still accepted.
    void startsWithoutAnAttempt_data()
    {
        QTest::addColumn<QByteArray>("extra");
        QTest::addColumn<bool>("bluetoothOn");
        const QByteArray address = "rememberedChairAddress=C0:FF:EE:00:00:01\n";
        QTest::newRow("five keys") << QByteArray() << true;
        QTest::newRow("off") << address + "connectAutomatically=false\n" << true;
        QTest::newRow("short") << QByteArray("rememberedChairAddress=C0:FF:EE:00:01\n") << true;
        QTest::newRow("not hex") << QByteArray("rememberedChairAddress=C0:FF:EE:00:00:ZZ\n")
                                 << true;
        QTest::newRow("empty") << QByteArray("rememberedChairAddress=\n") << true;
        QTest::newRow("no radio") << address << false;
    }
    void startsWithoutAnAttempt()
    {
        QFETCH(QByteArray, extra);
        QFETCH(bool, bluetoothOn);
        QTemporaryDir dir;
        QFile ini(dir.filePath(QStringLiteral("settings.ini")));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("[General]\nacceptedTermsVersion=1.0\nanalyticsUserEmail=ana@example.com\n"
                  "userDisplayName=Ana\ndebugModeActive=false\ndebugChairSerial=VP-0042\n" +
                  extra);
        ini.close();
        Settings settings(ini.fileName());
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
        QVERIFY(app.termsAccepted());
        app.bluetooth();
        central->setPower(CentralPower::On);
        scheduler.advance(30s);
        QCOMPARE(central->count(Kind::startScan), 0);
        QCOMPARE(app.bluetooth()->connectionState(), ConnectionState::disconnected);
    }
};

QTEST_MAIN(RememberedChairTest)
#include "tst_rememberedchair.moc"
