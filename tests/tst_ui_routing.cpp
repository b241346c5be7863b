// The window's root screen on the real QML: which screen each link state shows, the ways out
// of every waiting screen, and the debug mode over a connected chair.
#include "LinkFixture.h"
#include "QmlHarness.h"
#include "ScreenServices.h"
#include "ZipWriter.h"

#include <QtTest>

using namespace std::chrono_literals;

class UiRoutingTest : public QObject {
    Q_OBJECT

    QQuickItem* loadRoot(QmlHarness& ui, LinkFixture& f)
    {
        services = std::make_unique<ScreenServices>(f.scheduler, f.clock, f.settings);
        QQuickItem* root =
            ui.load(QStringLiteral("ContentView.qml"),
                    {{QStringLiteral("bluetooth"), QVariant::fromValue(f.manager.get())},
                     {QStringLiteral("settings"), QVariant::fromValue(&f.settings)},
                     {QStringLiteral("services"), QVariant::fromValue(services.get())}});
        if (!root)
            qWarning().noquote() << ui.errors();
        return root;
    }

private Q_SLOTS:
    void everyLinkStateHasItsScreen()
    {
        LinkFixture f;
        QmlHarness ui;
        QVERIFY(loadRoot(ui, f));
        QVERIFY(ui.shows(QStringLiteral("Connect to your Velnora Pro chair via Bluetooth.")));

        ui.click(ui.byName(QStringLiteral("connectButton")));
        QCOMPARE(f.state(), ConnectionState::scanning);
        QTRY_VERIFY(ui.shows(QStringLiteral("Scanning for chairs...")));
        QVERIFY(ui.shows(QStringLiteral("Make sure your chair is powered on.")));

        auto chair = f.central->makeChair();
        f.central->advertise(chair, chair->name(), -65);
        QTRY_VERIFY(ui.shows(chair->name()));
        QVERIFY(!ui.shows(QStringLiteral("Make sure your chair is powered on.")));
        // The row updates in place as the chair keeps advertising.
        f.central->advertise(chair, chair->name(), -40);
        QCOMPARE(f.manager->discoveredDevices().size(), 1);

        ui.click(ui.textItem(chair->name()));
        QCOMPARE(f.state(), ConnectionState::connecting);
        QTRY_VERIFY(ui.shows(QStringLiteral("Connecting…")));
        // A connect that never completes has a way out.
        QVERIFY(ui.byName(QStringLiteral("cancelButton")));
        ui.click(ui.byName(QStringLiteral("cancelButton")));
        QCOMPARE(f.state(), ConnectionState::disconnected);
        QTRY_VERIFY(ui.shows(QStringLiteral("Connect to your Velnora Pro chair via Bluetooth.")));
    }

    void wifiSetupAndConnectingCanBeLeft()
    {
        LinkFixture f;
        QmlHarness ui;
        QVERIFY(loadRoot(ui, f));
        auto chair = f.central->makeChair();
        chair->values[ChairProfile::wifiStatusUUID] = QByteArray(1, '\x01'); // not configured
        f.connectChair(chair);
        QCOMPARE(f.state(), ConnectionState::wifiSetup);
        QTRY_VERIFY(ui.shows(QStringLiteral("WiFi Setup")));
        ui.click(ui.byName(QStringLiteral("disconnectButton")));
        f.central->flush(); // the chair confirms the disconnect
        QCOMPARE(f.state(), ConnectionState::disconnected);

        f.connectChair(chair);
        QCOMPARE(f.state(), ConnectionState::wifiSetup);
        f.manager->connectToWiFi(QStringLiteral("Office_5G"), QStringLiteral("secret"));
        QCOMPARE(f.state(), ConnectionState::wifiConnecting);
        QTRY_VERIFY(ui.shows(QStringLiteral("Configuring WiFi…")));
        ui.click(ui.byName(QStringLiteral("disconnectButton")));
        f.central->flush();
        QCOMPARE(f.state(), ConnectionState::disconnected);
    }

    void restartAfterAnUpdateSaysSoAndCanBeCancelled()
    {
        LinkFixture f;
        QmlHarness ui;
        QVERIFY(loadRoot(ui, f));
        auto chair = f.central->makeChair();
        chair->values[ChairProfile::otaV1BeginUUID] = QByteArray(1, '\x01');
        f.connectChair(chair);
        QCOMPARE(f.state(), ConnectionState::ready);
        const QString package = f.dir.filePath(QStringLiteral("cpu2.zip"));
        QVERIFY(writeZip(package, {{"Stilta-Firmware.bin", firmwareImage(300, 1)}}));
        f.manager->startFirmwareUpdate(package); // unpacked in the background
        QDeadlineTimer deadline(5000);
        while (f.manager->otaState().kind != OTAState::Kind::success && !deadline.hasExpired()) {
            QTest::qWait(10);
            f.central->flush();
        }
        QCOMPARE(f.manager->otaState().kind, OTAState::Kind::success);
        f.central->dropLink(chair.get());
        f.central->flush();
        QCOMPARE(f.state(), ConnectionState::connecting);
        QTRY_VERIFY(ui.shows(QStringLiteral("Chair restarting after update…")));
        // A chair that never comes back must not hold the user.
        ui.click(ui.byName(QStringLiteral("cancelButton")));
        QCOMPARE(f.state(), ConnectionState::disconnected);
        QVERIFY(!f.manager->isReconnectingAfterOTA());
        f.central->clearCalls();
        f.advance(10s);
        QCOMPARE(f.central->count(FakeCall::Kind::connect), 0);
    }

    void debugModeTakesOverAConnectedChair()
    {
        LinkFixture f;
        QmlHarness ui;
        QVERIFY(loadRoot(ui, f));
        f.connectChair();
        QCOMPARE(f.state(), ConnectionState::ready);
        QTRY_VERIFY(ui.byName(QStringLiteral("connectedView")));
        f.settings.setDebugModeActive(true);
        QTRY_VERIFY(ui.byName(QStringLiteral("debugAnalyticsView")));
        QVERIFY(!ui.byName(QStringLiteral("connectedView")));
        ui.click(ui.byName(QStringLiteral("exitDebugButton")));
        QVERIFY(!f.settings.debugModeActive());
        QTRY_VERIFY(ui.byName(QStringLiteral("connectedView")));
    }

    void fiveLogoTapsOpenTheDebugEntrySheet()
    {
        LinkFixture f;
        QmlHarness ui;
        QVERIFY(loadRoot(ui, f));
        QQuickItem* logo = ui.byName(QStringLiteral("logo"));
        QVERIFY(logo);
        auto tapCount = [&ui] {
            return ui.byName(QStringLiteral("currentScreen"))
                ->property("item")
                .value<QObject*>()
                ->property("tapCount")
                .toInt();
        };
        // Gaps of 1.9 s keep the count going.
        for (int tap = 0; tap < 4; ++tap) {
            ui.click(logo);
            QTest::qWait(1900);
        }
        QVERIFY(!ui.shows(QStringLiteral("Debug Analytics Mode")));
        ui.click(logo);
        QTRY_VERIFY(ui.shows(QStringLiteral("Debug Analytics Mode")));
        QCOMPARE(tapCount(), 0);
        ui.press(Qt::Key_Escape);
        QTRY_VERIFY(!ui.shows(QStringLiteral("Debug Analytics Mode")));

        // A pause of 2.5 s starts the count again.
        for (int tap = 0; tap < 4; ++tap)
            ui.click(logo);
        QCOMPARE(tapCount(), 4);
        QTest::qWait(2500);
        ui.click(logo);
        QCOMPARE(tapCount(), 1);
        QVERIFY(!ui.shows(QStringLiteral("Debug Analytics Mode")));
    }

    void wifiSetupSendsThePickedNetworkAndPassword()
    {
        LinkFixture f;
        QmlHarness ui;
        QVERIFY(loadRoot(ui, f));
        auto chair = f.central->makeChair();
        chair->values[ChairProfile::wifiStatusUUID] = QByteArray(1, '\x01');
        chair->playNetworks({"Office_5G", "Home_Network"});
        f.connectChair(chair);
        QCOMPARE(f.state(), ConnectionState::wifiSetup);
        QTRY_VERIFY(ui.shows(QStringLiteral("Home_Network")));
        QQuickItem* connect = ui.byName(QStringLiteral("connectButton"));
        QVERIFY(!connect->isEnabled()); // nothing picked

        ui.click(ui.textItem(QStringLiteral("Office_5G")));
        QTRY_VERIFY(ui.shows(QStringLiteral("Password for \"Office_5G\"")));
        QVERIFY(!connect->isEnabled()); // no password yet
        ui.click(ui.byName(QStringLiteral("passwordField")));
        ui.type(QStringLiteral("abc"));
        // Another network empties the password.
        ui.click(ui.textItem(QStringLiteral("Home_Network")));
        QTRY_VERIFY(ui.shows(QStringLiteral("Password for \"Home_Network\"")));
        QCOMPARE(ui.byName(QStringLiteral("passwordField"))->property("password").toString(),
                 QString());
        ui.click(ui.byName(QStringLiteral("passwordField")));
        ui.type(QStringLiteral("secret12"));
        // The eye shows the same text in clear and masks it again without losing it.
        QQuickItem* field = ui.byName(QStringLiteral("passwordField"));
        const QVariant masked = field->property("echoMode");
        ui.click(ui.byName(QStringLiteral("showPasswordButton")));
        QTRY_VERIFY(field->property("echoMode") != masked);
        ui.click(ui.byName(QStringLiteral("showPasswordButton")));
        QTRY_COMPARE(field->property("echoMode"), masked);
        QCOMPARE(field->property("password").toString(), QStringLiteral("secret12"));
        QVERIFY(connect->isEnabled());

        f.central->clearCalls();
        ui.click(connect);
        QCOMPARE(f.state(), ConnectionState::wifiConnecting);
        QCOMPARE(f.central->writesTo(ChairProfile::wifiSSIDUUID),
                 QList<QByteArray>{QByteArray("Home_Network")});
        QCOMPARE(f.central->writesTo(ChairProfile::wifiPasswordUUID),
                 QList<QByteArray>{QByteArray("secret12")});
        QTRY_VERIFY(ui.shows(QStringLiteral("Configuring WiFi…")));
    }

    void bluetoothOffShowsItsScreenAndSimulationIsOffered()
    {
        LinkFixture f(CentralPower::Off);
        QmlHarness ui;
        QVERIFY(loadRoot(ui, f));
        QVERIFY(ui.shows(QStringLiteral("Bluetooth Unavailable")));
        QVERIFY(ui.shows(QStringLiteral("Enable Bluetooth in System Settings to continue.")));
        ui.click(ui.textItem(QStringLiteral("Try without a chair")));
        QVERIFY(f.manager->isSimulating());
        QTRY_VERIFY(!ui.shows(QStringLiteral("Bluetooth Unavailable")));
    }

private:
    std::unique_ptr<ScreenServices> services;
};

QTEST_MAIN(UiRoutingTest)
#include "tst_ui_routing.moc"
