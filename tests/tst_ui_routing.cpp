// The window's root screen on the real QML: which screen each link state shows, the ways out
// of every waiting screen, the debug mode over a connected chair, and the WiFi setup the user
// fills in. (The logo's five taps into debug mode: tst_ui_analytics.)
#include "ScreenFixture.h"
#include "ZipWriter.h"

#include <QtTest>

using namespace std::chrono_literals;

namespace {

// The root screen over the fake radio.
struct Root : ScreenFixture {
    explicit Root(CentralPower power = CentralPower::On)
        : ScreenFixture(power)
    {
        load("ContentView.qml", {"bluetooth", "settings", "services"});
    }
    void click(const char* name) { ui.click(item(name)); }
    void clickText(const char* text) { ui.click(ui.textItem(QString::fromUtf8(text))); }
};

const char* const welcome = "Connect to your Velnora Pro chair via Bluetooth.";

} // namespace

class UiRoutingTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void everyLinkStateHasItsScreen()
    {
        Root r;
        QVERIFY(r.shows(welcome));
        r.click("connectButton");
        QCOMPARE(r.f.state(), ConnectionState::scanning);
        QTRY_VERIFY(r.shows("Scanning for chairs..."));
        QVERIFY(r.shows("Make sure your chair is powered on."));

        auto chair = r.f.central->makeChair();
        r.f.central->advertise(chair, chair->name(), -65);
        QTRY_VERIFY(r.ui.shows(chair->name()));
        QVERIFY(!r.shows("Make sure your chair is powered on."));
        r.ui.click(r.ui.textItem(chair->name()));
        QCOMPARE(r.f.state(), ConnectionState::connecting);
        QTRY_VERIFY(r.shows("Connecting…"));
        // A connect that never completes has a way out.
        r.click("cancelButton");
        QCOMPARE(r.f.state(), ConnectionState::disconnected);
        QTRY_VERIFY(r.shows(welcome));
    }

    void bluetoothOffShowsItsScreenAndSimulationIsOffered()
    {
        Root r(CentralPower::Off); // the screen itself is read in tst_accessibility
        r.clickText("Try without a chair");
        QVERIFY(r.f.manager->isSimulating());
        QTRY_VERIFY(!r.shows("Bluetooth Unavailable"));
    }

    void restartAfterAnUpdateSaysSoAndCanBeCancelled()
    {
        Root r;
        auto chair = r.f.central->makeChair();
        chair->values[ChairProfile::otaV1BeginUUID] = QByteArray(1, '\x01');
        r.f.connectChair(chair);
        const QString package = r.f.dir.filePath(QStringLiteral("cpu2.zip"));
        QVERIFY(writeZip(package, {{"Stilta-Firmware.bin", firmwareImage(300, 1)}}));
        r.f.manager->startFirmwareUpdate(package); // unpacked in the background
        QTRY_VERIFY(!r.f.log.lines().filter(QStringLiteral("OTA: Begin")).isEmpty());
        r.f.central->flush();
        r.f.central->dropLink(chair.get());
        r.f.central->flush();
        QTRY_VERIFY(r.shows("Chair restarting after update…"));
        // A chair that never comes back must not hold the user.
        r.click("cancelButton");
        QCOMPARE(r.f.state(), ConnectionState::disconnected);
        QVERIFY(!r.f.manager->isReconnectingAfterOTA());
        r.f.central->clearCalls();
        r.f.advance(10s);
        QCOMPARE(r.f.central->count(FakeCall::Kind::connect), 0);
    }

    void debugModeTakesOverAConnectedChair()
    {
        Root r;
        r.f.connectChair();
        QTRY_VERIFY(r.item("connectedView"));
        r.f.settings.setDebugModeActive(true);
        QTRY_VERIFY(r.item("debugAnalyticsView"));
        QVERIFY(!r.item("connectedView"));
        r.click("exitDebugButton");
        QVERIFY(!r.f.settings.debugModeActive());
        QTRY_VERIFY(r.item("connectedView"));
    }

    // The user picks a network and types its password; WiFi setup and the wait that follows can
    // both be left.
    void wifiSetupSendsThePickedNetworkAndPassword()
    {
        Root r;
        auto chair = r.f.central->makeChair();
        chair->values[ChairProfile::wifiStatusUUID] = QByteArray(1, '\x01'); // not configured
        chair->playNetworks({"Office_5G", "Home_Network"});
        r.f.connectChair(chair);
        QTRY_VERIFY(r.shows("Home_Network"));
        QQuickItem* connect = r.item("connectButton");
        QVERIFY(!connect->isEnabled()); // nothing picked
        r.clickText("Office_5G");
        QTRY_VERIFY(r.shows("Password for \"Office_5G\""));
        QVERIFY(!connect->isEnabled()); // no password yet
        r.click("passwordField");
        r.ui.type(QStringLiteral("abc"));
        // Another network empties the password.
        r.clickText("Home_Network");
        QTRY_VERIFY(r.shows("Password for \"Home_Network\""));
        QQuickItem* field = r.item("passwordField");
        QCOMPARE(field->property("password").toString(), QString());
        r.ui.click(field);
        r.ui.type(QStringLiteral("secret12"));
        // The eye shows the same text in clear and masks it again without losing it.
        const QVariant masked = field->property("echoMode");
        r.click("showPasswordButton");
        QTRY_VERIFY(field->property("echoMode") != masked);
        r.click("showPasswordButton");
        QTRY_COMPARE(field->property("echoMode"), masked);
        QCOMPARE(field->property("password").toString(), QStringLiteral("secret12"));

        r.f.central->clearCalls();
        r.ui.click(connect);
        QCOMPARE(r.f.state(), ConnectionState::wifiConnecting);
        QCOMPARE(r.f.central->writesTo(ChairProfile::wifiSSIDUUID),
                 QList<QByteArray>{QByteArray("Home_Network")});
        QCOMPARE(r.f.central->writesTo(ChairProfile::wifiPasswordUUID),
                 QList<QByteArray>{QByteArray("secret12")});
        QTRY_VERIFY(r.shows("Configuring WiFi…"));
        r.click("disconnectButton");
        r.f.central->flush(); // the chair confirms the disconnect
        QCOMPARE(r.f.state(), ConnectionState::disconnected);

        r.f.connectChair(chair);
        QCOMPARE(r.f.state(), ConnectionState::wifiSetup);
        QTRY_VERIFY(r.shows("WiFi Setup"));
        r.click("disconnectButton");
        r.f.central->flush();
        QCOMPARE(r.f.state(), ConnectionState::disconnected);
    }
};

QTEST_MAIN(UiRoutingTest)
#include "tst_ui_routing.moc"
