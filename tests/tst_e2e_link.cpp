// The whole link through Qt Bluetooth and a virtual chair speaking BlueZ on a private bus:
// scanning, connecting, WiFi setup, controls, drops, Bluetooth power and system wake. What the
// link makes of each WiFi status, and the chair's sleep and wake pulse, are proven on the fake
// radio (tst_wifi, tst_connection, tst_controls).
#include "RealLink.h"
#include "VirtualChairBus.h"

#include <QDBusReply>
#include <QTimeZone>
#include <QtTest>

using namespace std::chrono_literals;

namespace {

const QString firstChair = VirtualChairBus::chairAddress(1);
const QString onlineOption = QStringLiteral("--online=Office_5G");

} // namespace

class EndToEndLinkTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        if (!bus.start())
            QSKIP("dbus-daemon is not available");
    }

    void cleanup()
    {
        if (QTest::currentTestFailed())
            qWarning().noquote() << "virtual chair said:\n" << bus.chairOutput();
        bus.stopChair();
    }

    void scanListsChairsOnlyAndLearnsTheLongerName()
    {
        QVERIFY(bus.startChair());
        QVERIFY(bus.control(QStringLiteral("AddDevice"),
                            {QStringLiteral("C0:FF:EE:00:00:30"), QStringLiteral("Kitchen Speaker"),
                             QVariant::fromValue(qint16(-40))}));
        QVERIFY(bus.control(QStringLiteral("AddDevice"),
                            {QStringLiteral("C0:FF:EE:00:00:31"), QStringLiteral("Velnora Stool"),
                             QVariant::fromValue(qint16(-45))}));
        QVERIFY(bus.control(QStringLiteral("AddChair"),
                            {QStringLiteral("C0:FF:EE:00:00:20"), QStringLiteral("Velnora Chair"),
                             QStringLiteral("Velnora Pro 0020 Lounge"), 1500}));

        RealLink link;
        QTRY_COMPARE(link.state(), ConnectionState::disconnected);
        link.manager->startScanning();
        QCOMPARE(link.state(), ConnectionState::scanning);
        QVERIFY(link.waitForChair(QStringLiteral("Velnora Pro 0001")));
        QVERIFY(link.waitForChair(QStringLiteral("Velnora Chair")));
        // The generic name gives way to the specific one, in the same row.
        QVERIFY(link.waitForChair(QStringLiteral("Velnora Pro 0020 Lounge")));
        const QList<DiscoveredDevice> rows = link.manager->discoveredDevices();
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows.at(0).name, QStringLiteral("Velnora Pro 0001"));
        QVERIFY(rows.at(0).rssi < 0);

        // Advertisements keep coming; the list neither grows nor loses the learned name.
        QTest::qWait(2500);
        QCOMPARE(link.manager->discoveredDevices().size(), 2);
        QCOMPARE(link.manager->discoveredDevices().at(1).name,
                 QStringLiteral("Velnora Pro 0020 Lounge"));
        // The identifier comes from the address: the same chair has the same id next run.
        QCOMPARE(rows.at(0).id(), QtBlePeripheral::identifierFor(QBluetoothAddress(firstChair)));

        link.manager->cancelScan();
        QCOMPARE(link.state(), ConnectionState::disconnected);
        QVERIFY(link.manager->discoveredDevices().isEmpty());
    }

    void newChairGoesThroughWifiSetupToReady()
    {
        QVERIFY(bus.startChair());
        RealLink link(QStringLiteral("sam@example.com"));
        QTRY_COMPARE(link.state(), ConnectionState::disconnected);
        link.takeStates();
        QVERIFY(link.scanAndConnect());
        QVERIFY(link.waitForState(ConnectionState::wifiSetup));
        QCOMPARE(
            link.takeStates(),
            (QList<ConnectionState>{ConnectionState::scanning, ConnectionState::connecting,
                                    ConnectionState::checkingWifi, ConnectionState::wifiSetup}));
        QCOMPARE(link.manager->deviceName(), QStringLiteral("Velnora Pro 0001"));
        QTRY_COMPARE(link.manager->serialNumber(), QStringLiteral("VP-2026-0001"));
        QCOMPARE(link.manager->firmwareVersion(), QStringLiteral("2.4.1"));
        QCOMPARE(link.manager->softwareVersion(), QStringLiteral("1.8.0"));
        QTRY_VERIFY(!link.manager->isLoadingNetworks());
        QCOMPARE(link.manager->availableNetworks(),
                 (QStringList{QStringLiteral("Office_5G"), QStringLiteral("Home_Network"),
                              QStringLiteral("Cafe_WiFi")}));
        QVERIFY(!link.manager->wifiErrorMessage());

        link.manager->connectToWiFi(QStringLiteral("Home_Network"), QStringLiteral("velnora-wifi"));
        QCOMPARE(link.state(), ConnectionState::wifiConnecting);
        // The chair restarts to join the network and the link comes back by itself.
        QVERIFY(link.waitForState(ConnectionState::ready, 20000));
        QTRY_COMPARE(link.manager->connectedSSID(), QStringLiteral("Home_Network"));
        QCOMPARE(link.manager->wifiStatus(), WiFiStatus::connected);

        const QVariantMap chair = bus.chairState(firstChair);
        QCOMPARE(chair.value(QStringLiteral("wifiSsid")).toString(),
                 QStringLiteral("Home_Network"));
        QCOMPARE(chair.value(QStringLiteral("userName")).toString(),
                 QStringLiteral("sam@example.com"));
        QCOMPARE(chair.value(QStringLiteral("timeZone")).toString(),
                 QString::fromUtf8(QTimeZone::systemTimeZoneId()));
        QVERIFY(chair.value(QStringLiteral("sendEvents")).toBool());
        QCOMPARE(chair.value(QStringLiteral("restarts")).toUInt(), 1u);
    }

    void legsAutomaticModeAndVibrationReachTheChair()
    {
        QVERIFY(bus.startChair({onlineOption, QStringLiteral("--motor-delay-ms=200")}));
        RealLink link;
        QVERIFY(link.scanAndConnect());
        QVERIFY(link.waitForState(ConnectionState::ready));
        QTRY_COMPARE(link.manager->connectedSSID(), QStringLiteral("Office_5G"));
        QTRY_VERIFY(link.manager->lifetimeMoves().has_value());
        const QVariantMap before = bus.chairState(firstChair);
        const qint64 odometers = before.value(QStringLiteral("leftOdometer")).toLongLong() +
                                 before.value(QStringLiteral("rightOdometer")).toLongLong();
        QCOMPARE(*link.manager->lifetimeMoves(), odometers);
        QVERIFY(link.manager->leftLegUp());

        // A leg moves only when the chair says it has.
        link.manager->toggleLeg(false);
        QVERIFY(link.manager->leftLegUp());
        QTRY_VERIFY(!link.manager->leftLegUp());
        QCOMPARE(link.manager->sessionMoves(), 1);
        QCOMPARE(*link.manager->lifetimeMoves(), odometers + 1);
        link.manager->toggleLeg(true);
        QTRY_VERIFY(!link.manager->rightLegUp());
        QCOMPARE(link.manager->sessionMoves(), 2);

        // The chair's own button counts as well.
        QVERIFY(
            bus.control(QStringLiteral("PressLeg"), {firstChair, QVariant::fromValue(quint8(0))}));
        QTRY_VERIFY(link.manager->leftLegUp());
        QCOMPARE(link.manager->sessionMoves(), 3);

        link.manager->setAutoModePattern(2);
        link.manager->setAutoPeriodMinutes(1.5);
        link.manager->writeAutoPeriod();
        link.manager->setAutoMode(true);
        QCOMPARE(link.manager->countdownSeconds(), 90.0);
        QTRY_VERIFY(onChair("autoMode").toBool());
        QVariantMap chair = bus.chairState(firstChair);
        QCOMPARE(chair.value(QStringLiteral("pattern")).toUInt(), 2u);
        QCOMPARE(chair.value(QStringLiteral("periodSeconds")).toUInt(), 90u);
        // The countdown follows the chair's reading and the local tick.
        QTRY_VERIFY_WITH_TIMEOUT(link.manager->countdownSeconds() < 89.0, 5000);
        QVERIFY(link.manager->countdownSeconds() > 80.0);
        QVERIFY(link.manager->autoModeEnabled());
        QCOMPARE(link.manager->autoPeriodMinutes(), 1.5);

        link.manager->setAutoMode(false);
        QTRY_VERIFY(!onChair("autoMode").toBool());
        QCOMPARE(link.manager->countdownSeconds(), 0.0);

        link.manager->setMotorStrength(35.5);
        link.manager->writeMotorStrength();
        QTRY_COMPARE(onChair("motorSoundRight").toUInt(), 36u);
        QCOMPARE(onChair("motorSoundLeft").toUInt(), 36u);
    }

    // BlueZ keeps a chair's GATT objects across a link by default (Cache = always) and drops
    // them with it under Cache = no: the program reconnects either way.
    void droppedLinkComesBack_data() { gattCacheModes(); }
    void droppedLinkComesBack()
    {
        QVERIFY(bus.startChair(withCacheMode({onlineOption})));
        RealLink link;
        QVERIFY(link.scanAndConnect());
        QVERIFY(link.waitForState(ConnectionState::ready));
        QTRY_VERIFY(!link.manager->serialNumber().isEmpty());
        link.takeStates();

        QVERIFY(bus.control(QStringLiteral("DropLink"), {firstChair}));
        QVERIFY(link.waitForState(ConnectionState::connecting));
        QVERIFY(link.manager->serialNumber().isEmpty());
        QVERIFY(link.log.lines().contains(
            QStringLiteral("⚠️ Unexpected BLE disconnect — attempting reconnect")));
        QVERIFY(link.waitForState(ConnectionState::ready));
        QCOMPARE(link.takeStates(),
                 (QList<ConnectionState>{ConnectionState::connecting, ConnectionState::checkingWifi,
                                         ConnectionState::ready}));
        QTRY_COMPARE(link.manager->serialNumber(), QStringLiteral("VP-2026-0001"));
        QCOMPARE(onChair("connects").toUInt(), 2u);

        // A user disconnect is final.
        link.manager->disconnect();
        QVERIFY(link.waitForState(ConnectionState::disconnected));
        QTest::qWait(2500);
        QCOMPARE(link.state(), ConnectionState::disconnected);
        QVERIFY(!onChair("connected").toBool());
        QCOMPARE(link.manager->deviceName(), QString());
    }

    void bluetoothOffShowsUnavailableAndPowerOnReconnects_data() { gattCacheModes(); }
    void bluetoothOffShowsUnavailableAndPowerOnReconnects()
    {
        QVERIFY(bus.startChair(withCacheMode({onlineOption})));
        RealLink link;
        QVERIFY(link.scanAndConnect());
        QVERIFY(link.waitForState(ConnectionState::ready));

        QVERIFY(bus.control(QStringLiteral("SetPowered"), {false}));
        QVERIFY(link.waitForState(ConnectionState::unavailable));
        QTest::qWait(2500); // no reconnect fights the power-off
        QCOMPARE(link.state(), ConnectionState::unavailable);
        link.manager->startScanning();
        QCOMPARE(link.state(), ConnectionState::unavailable);

        QVERIFY(bus.control(QStringLiteral("SetPowered"), {true}));
        QVERIFY(link.waitForState(ConnectionState::ready));
        QTRY_COMPARE(link.manager->serialNumber(), QStringLiteral("VP-2026-0001"));
    }

    void systemResumeReconnects_data() { gattCacheModes(); }
    void systemResumeReconnects()
    {
        QVERIFY(bus.startChair(withCacheMode({onlineOption})));
        RealLink link;
        QVERIFY(link.scanAndConnect());
        QVERIFY(link.waitForState(ConnectionState::ready));
        const uint connects = onChair("connects").toUInt();

        QVERIFY(bus.prepareForSleep(true));
        QTest::qWait(300);
        QCOMPARE(link.state(), ConnectionState::ready);
        QVERIFY(bus.prepareForSleep(false));
        QVERIFY(link.waitForState(ConnectionState::connecting));
        QVERIFY(link.log.lines().contains(
            QStringLiteral("🔄 Mac woke from sleep — reconnecting to Velnora Pro 0001...")));
        // The link was still up: discovery runs afresh and the chair is ready again.
        QVERIFY(link.waitForState(ConnectionState::ready));
        QCOMPARE(onChair("connects").toUInt(), connects);
        QTRY_COMPARE(link.manager->serialNumber(), QStringLiteral("VP-2026-0001"));
    }

    void passingConnectRefusalsAreRetriedAndLastingOnesFail()
    {
        QVERIFY(bus.startChair({onlineOption}));
        QVERIFY(bus.control(QStringLiteral("RefuseConnects"),
                            {firstChair, 3, QStringLiteral("org.bluez.Error.InProgress"),
                             QStringLiteral("Operation already in progress")}));
        {
            RealLink link;
            QVERIFY(link.scanAndConnect());
            QVERIFY(link.waitForState(ConnectionState::ready, 20000));
            link.manager->disconnect();
            QVERIFY(link.waitForState(ConnectionState::disconnected));
        }
        QVERIFY(bus.control(QStringLiteral("RefuseConnects"),
                            {firstChair, 4, QStringLiteral("org.bluez.Error.Failed"),
                             QStringLiteral("le-connection-abort-by-local")}));
        RealLink link;
        QVERIFY(link.scanAndConnect());
        QCOMPARE(link.state(), ConnectionState::connecting);
        QVERIFY(link.waitForState(ConnectionState::disconnected, 20000));
        QVERIFY(!onChair("connected").toBool());
    }

    void failedWritesAreStillConfirmed()
    {
        // The network list waits for each index write; a refused one must not stall it.
        QVERIFY(bus.startChair());
        QVERIFY(
            bus.control(QStringLiteral("FailWrites"),
                        {firstChair, QStringLiteral("73e80008-24f7-464d-8de7-3b1e1bfb5dfa"), 1}));
        RealLink link;
        QVERIFY(link.scanAndConnect());
        QVERIFY(link.waitForState(ConnectionState::wifiSetup));
        QTRY_VERIFY(!link.manager->isLoadingNetworks());
        QCOMPARE(link.manager->availableNetworks().size(), 3);
    }

    void bluetoothThatStartsLateIsPickedUp()
    {
        RealLink link;
        QTest::qWait(200);
        QCOMPARE(link.state(), ConnectionState::unavailable);
        QVERIFY(bus.startChair());
        QTRY_COMPARE_WITH_TIMEOUT(link.state(), ConnectionState::disconnected, 10000);
        QVERIFY(link.scanAndConnect());
        QVERIFY(link.waitForState(ConnectionState::wifiSetup));
    }

private:
    static void gattCacheModes()
    {
        QTest::addColumn<bool>("gattCache");
        QTest::newRow("gatt cache") << true;
        QTest::newRow("no gatt cache") << false;
    }
    static QStringList withCacheMode(QStringList options)
    {
        QFETCH(bool, gattCache);
        if (!gattCache)
            options << QStringLiteral("--no-gatt-cache");
        return options;
    }

    // What the virtual chair holds now.
    QVariant onChair(const char* key)
    {
        return bus.chairState(firstChair).value(QLatin1String(key));
    }

    VirtualChairBus bus;
};

QTEST_GUILESS_MAIN(EndToEndLinkTest)
#include "tst_e2e_link.moc"
