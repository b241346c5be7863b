// Every screen of the window in its states, each shown offscreen in turn. The link is played by
// the fake central on virtual time, so each state is the same every run.
#include "Gallery.h"

#include "HttpsTestServer.h"
#include "LinkFixture.h"
#include "QmlHarness.h"
#include "ScreenServices.h"
#include "ZipWriter.h"

#include <QTemporaryDir>

#include <cstdio>
#include <deque>

using namespace std::chrono_literals;

namespace {

struct Shot {
    const char* name;
    const char* file;                                        // screen file of the module
    std::function<void(LinkFixture&)> prepare;               // the link's state before loading
    std::function<void(QmlHarness&, LinkFixture&)> act = {}; // clicks and typing after loading
    CentralPower power = CentralPower::On;
    QVariantMap properties = {}; // for a screen shown on its own
};

QSharedPointer<FakePeripheral> offlineChair(LinkFixture& f)
{
    auto chair = f.central->makeChair();
    chair->values[ChairProfile::wifiStatusUUID] = QByteArray(1, '\x01');
    chair->playNetworks({"Office_5G", "Home_Network", "Cafe_WiFi", "Guest_Network"});
    return chair;
}

void scanWith(LinkFixture& f, int chairs)
{
    f.manager->startScanning();
    for (int i = 0; i < chairs; ++i) {
        auto chair = f.central->makeChair(QStringLiteral("Velnora Pro %1").arg(1001 + i));
        f.central->advertise(chair, chair->name(), -45 - 9 * i);
    }
}

QVariantMap rootProperties(LinkFixture& f, ScreenServices& services)
{
    return {{QStringLiteral("bluetooth"), QVariant::fromValue(f.manager.get())},
            {QStringLiteral("settings"), QVariant::fromValue(&f.settings)},
            {QStringLiteral("services"), QVariant::fromValue(&services)}};
}

bool show(const Shot& shot, const Gallery::Visit& visit)
{
    LinkFixture f(shot.power);
    shot.prepare(f);
    ScreenServices services(f.scheduler, f.clock, f.settings);
    QmlHarness ui;
    QVariantMap properties = rootProperties(f, services);
    if (QString::fromLatin1(shot.file) == QLatin1String("TermsView.qml")) {
        properties = {{QStringLiteral("settings"), QVariant::fromValue(&f.settings)}};
        ui.window().resize(420, 660); // the window is taller while it shows the terms
    } else if (!shot.properties.isEmpty()) {
        properties = shot.properties;
    }
    if (!ui.load(QString::fromLatin1(shot.file), properties)) {
        std::fprintf(stderr, "%s: %s\n", shot.name, qPrintable(ui.errors()));
        return false;
    }
    QTest::qWait(50);
    if (shot.act)
        shot.act(ui, f);
    f.central->flush();
    QTest::qWait(100);
    return visit(QString::fromLatin1(shot.name), ui, f);
}

} // namespace

int Gallery::forEachShot(const Visit& visit)
{
    auto nothing = [](LinkFixture&) {};
    auto inSetup = [](LinkFixture& f) { f.connectChair(offlineChair(f)); };
    auto remembering = [](LinkFixture& f) {
        f.settings.rememberChair(
            {QStringLiteral("C0:FF:EE:00:00:2A"), QStringLiteral("Velnora Pro 1042")});
    };
    auto click = [](const char* objectName) {
        return [objectName](QmlHarness& ui, LinkFixture&) {
            ui.click(ui.byName(QString::fromLatin1(objectName)));
        };
    };
    // The analytics screens ask a local server of our own for a day's figures.
    const QByteArray analyticsToday = R"({"data":{"chairUsageByLegPositionAndChair":[
        {"leftLegPos":{"name":"Up"},"rightLegPos":{"name":"Up"},"count":18,"stateDuration":9840},
        {"leftLegPos":{"name":"Down"},"rightLegPos":{"name":"Down"},"count":14,"stateDuration":5425},
        {"leftLegPos":{"name":"Up"},"rightLegPos":{"name":"Down"},"count":6,"stateDuration":1270.5},
        {"leftLegPos":{"name":"Down"},"rightLegPos":{"name":"Up"},"count":4,"stateDuration":95}]}})";
    const QByteArray analyticsDayBefore = R"({"data":{"chairUsageByLegPositionAndChair":[
        {"leftLegPos":{"name":"Up"},"rightLegPos":{"name":"Up"},"count":30,"stateDuration":12000}]}})";
    HttpsTestServer analyticsServer;
    bool analyticsHolds = false, analyticsFails = false;
    analyticsServer.setResponder(
        [&](const HttpsTestServer::Request& request) -> std::optional<HttpsTestServer::Answer> {
            if (analyticsHolds)
                return std::nullopt;
            if (analyticsFails)
                return HttpsTestServer::Answer{503, {}};
            const bool isToday = request.body.contains("eventTimeFrom(from: \\\"2026-03-05");
            return HttpsTestServer::Answer{200, isToday ? analyticsToday : analyticsDayBefore};
        });
    QTemporaryDir analyticsDir;
    Settings analyticsSettings(analyticsDir.filePath(QStringLiteral("settings.ini")));
    analyticsSettings.setDebugChairSerial(QStringLiteral("VP-2024-00417"));
    ManualScheduler analyticsScheduler;
    ManualClock analyticsClock(QDateTime(QDate(2026, 3, 5), QTime(15, 0), QTimeZone::utc()));
    ScreenServices analyticsServices(
        analyticsScheduler, analyticsClock, analyticsSettings,
        {analyticsServer.url(), {HttpsTestServer::caCertificate()}, std::chrono::seconds(5)});
    BluetoothManager* analyticsLink = analyticsServices.makeOfflineBluetooth(&analyticsServices);
    const QVariantMap tabProperties = {
        {QStringLiteral("bluetooth"), QVariant::fromValue(analyticsLink)},
        {QStringLiteral("services"), QVariant::fromValue(&analyticsServices)},
        {QStringLiteral("serialNumber"), QStringLiteral("VP-2024-00417")},
        {QStringLiteral("leftLegUp"), true},
        {QStringLiteral("rightLegUp"), false},
        {QStringLiteral("width"), 420},
        {QStringLiteral("height"), 640}};
    const QVariantMap debugProperties = {
        {QStringLiteral("settings"), QVariant::fromValue(&analyticsSettings)},
        {QStringLiteral("services"), QVariant::fromValue(&analyticsServices)},
        {QStringLiteral("width"), 420},
        {QStringLiteral("height"), 640}};
    auto serving = [&](bool holds) {
        return [&, holds](LinkFixture&) {
            analyticsHolds = holds;
            analyticsFails = false;
        };
    };
    // Until the figures have landed and the total has rolled to its value.
    auto settled = [](QmlHarness& ui) {
        for (int i = 0; i < 250 && !ui.byName(QStringLiteral("comparisonLine")); ++i)
            QTest::qWait(20);
        QTest::qWait(600);
    };
    auto analyticsLanded = [settled](QmlHarness& ui, LinkFixture&) { settled(ui); };
    auto analyticsFailed = [&, settled](QmlHarness& ui, LinkFixture&) {
        settled(ui);
        analyticsFails = true;
        if (QQuickItem* tab = ui.byName(QStringLiteral("analyticsTab")))
            QMetaObject::invokeMethod(tab->property("analytics").value<QObject*>(),
                                      "fetchAnalytics");
        for (int i = 0; i < 250 && !ui.byName(QStringLiteral("analyticsError")); ++i)
            QTest::qWait(20);
        QTest::qWait(300);
    };
    // The settings tab over a link of its own per shot, so each shot can drive an update.
    using SettingsDrive = std::function<void(LinkFixture&, FakePeripheral&)>;
    std::deque<LinkFixture> settingsLinks;
    std::deque<ScreenServices> settingsServices;
    auto settingsTab = [&](const SettingsDrive& drive) {
        LinkFixture& link = settingsLinks.emplace_back();
        ScreenServices& tabServices =
            settingsServices.emplace_back(link.scheduler, link.clock, link.settings);
        auto chair = link.central->makeChair();
        chair->values[ChairProfile::serialNumberUUID] = QByteArrayLiteral("VP-2024-00417");
        chair->values[ChairProfile::softwareRevisionUUID] = QByteArrayLiteral("2.4.1");
        chair->values[ChairProfile::firmwareRevisionUUID] = QByteArrayLiteral("1.9.0");
        chair->values[ChairProfile::leftOdometerUUID] = u32Bytes(6172);
        chair->values[ChairProfile::rightOdometerUUID] = u32Bytes(6173);
        chair->values[ChairProfile::leftMotorSoundUUID] = QByteArray(1, char(35));
        chair->values[ChairProfile::otaV2BeginUUID] = QByteArray(1, '\x01');
        link.connectChair(chair);
        link.advance(2s);
        if (drive)
            drive(link, *chair);
        return QVariantMap{{QStringLiteral("bluetooth"), QVariant::fromValue(link.manager.get())},
                           {QStringLiteral("services"), QVariant::fromValue(&tabServices)},
                           {QStringLiteral("width"), 420},
                           {QStringLiteral("height"), 640}};
    };
    // A CPU1 update of 40 chunks, confirmed one every 100 ms until `chunks` have gone out.
    auto updateTo = [](LinkFixture& link, const ZipEntries& entries, int chunks) {
        const QString package = link.dir.filePath(QStringLiteral("update.zip"));
        writeZip(package, entries);
        link.manager->startFirmwareUpdate(package);
        for (int i = 0; i < 250 && link.manager->otaState().kind == OTAState::Kind::preparing &&
                        link.central->pendingAnswers() == 0;
             ++i)
            QTest::qWait(20);
        const QDateTime start = link.clock.now();
        for (int i = 0; i < chunks + 1 && link.central->deliverNext(); ++i)
            link.clock.setNow(start.addMSecs(100 * i));
    };
    QTemporaryDir packages;
    QDir(packages.path()).mkdir(QStringLiteral("Archive"));
    for (const char* name : {"chair-update-2.4.1.zip", "Velnora Pro firmware 2.5.0 beta.ZIP",
                             "release notes.txt"})
        writeZip(packages.filePath(QString::fromUtf8(name)), {{"StiltaB1.bin", "x"}});
    LinkFixture* transferLink = nullptr;
    const ZipEntries cpu1Package = {{"StiltaB1.bin", firmwareImage(40 * 250, 1)}};
    auto flashedTo = [&](quint32 code, quint32 page) {
        return [&, code, page](LinkFixture& link, FakePeripheral& chair) {
            updateTo(link, cpu1Package, 40);
            link.central->flush();
            chair.values[ChairProfile::otaV2StatusUUID] =
                u32Bytes(code) + u32Bytes(page) + u32Bytes(84);
            link.advance(500ms);
        };
    };
    const QList<Shot> shots = {
        {"terms-empty", "TermsView.qml", nothing},
        {"terms-invalid-email", "TermsView.qml", nothing,
         [](QmlHarness& ui, LinkFixture&) {
             ui.click(ui.byName(QStringLiteral("emailField")));
             ui.type(QStringLiteral("sam@localhost"));
         }},
        {"terms-valid-email", "TermsView.qml", nothing,
         [](QmlHarness& ui, LinkFixture&) {
             ui.click(ui.byName(QStringLiteral("emailField")));
             ui.type(QStringLiteral("sam@example.com"));
         }},
        {"terms-privacy-sheet", "TermsView.qml", nothing, click("privacyPolicyLink")},
        {"unavailable", "ContentView.qml", nothing, {}, CentralPower::Off},
        {"disconnected", "ContentView.qml", nothing},
        {"disconnected-remembered", "ContentView.qml", remembering},
        {"connecting-remembered", "ContentView.qml",
         [remembering](LinkFixture& f) {
             remembering(f);
             f.manager->connectRememberedChair();
         }},
        {"scanning-empty", "ContentView.qml", [](LinkFixture& f) { scanWith(f, 0); }},
        {"scanning-two", "ContentView.qml", [](LinkFixture& f) { scanWith(f, 2); }},
        {"scanning-twelve", "ContentView.qml", [](LinkFixture& f) { scanWith(f, 12); }},
        {"connecting", "ContentView.qml",
         [](LinkFixture& f) {
             scanWith(f, 1);
             f.central->answersConnects = false; // a connect that is still under way
             f.manager->connect(f.manager->discoveredDevices().first().id());
         }},
        {"wifi-setup-empty", "ContentView.qml",
         [](LinkFixture& f) {
             auto chair = offlineChair(f);
             chair->values[ChairProfile::wifiSSIDListCounterUUID] = QByteArray(1, '\0');
             f.connectChair(chair);
         }},
        {"wifi-setup-list", "ContentView.qml", inSetup},
        {"wifi-setup-selected", "ContentView.qml", inSetup,
         [](QmlHarness& ui, LinkFixture&) {
             ui.click(ui.textItem(QStringLiteral("Office_5G")));
             ui.click(ui.byName(QStringLiteral("passwordField")));
             ui.type(QStringLiteral("velnora"));
         }},
        {"wifi-setup-wrong-password", "ContentView.qml",
         [](LinkFixture& f) {
             auto chair = offlineChair(f);
             f.connectChair(chair);
             f.manager->connectToWiFi(QStringLiteral("Office_5G"), QStringLiteral("x"));
             chair->values[ChairProfile::wifiStatusUUID] = QByteArray(1, '\x07');
             f.central->dropLink(chair.get());
             f.advance(4s);
             f.advance(1s);
         }},
        {"wifi-connecting", "ContentView.qml",
         [](LinkFixture& f) {
             f.connectChair(offlineChair(f));
             f.manager->connectToWiFi(QStringLiteral("Office_5G"), QStringLiteral("x"));
         }},
        {"controls-auto-off", "ContentView.qml",
         [](LinkFixture& f) {
             auto chair = f.connectChair();
             f.report(*chair, ChairProfile::chairStateUUID, bytes({0x00, 0x01, 0x00}));
         }},
        {"controls-auto-on", "ContentView.qml",
         [](LinkFixture& f) {
             auto chair = f.connectChair();
             f.manager->setAutoModePattern(2);
             f.manager->setAutoMode(true);
             f.report(*chair, ChairProfile::timeToNextTransitionUUID, floatBytes(137.0f));
         }},
        {"controls-auto-on-warning", "ContentView.qml",
         [](LinkFixture& f) {
             auto chair = f.connectChair();
             f.manager->setAutoMode(true);
             f.report(*chair, ChairProfile::timeToNextTransitionUUID, floatBytes(8.0f));
         }},
        {"controls-offline-banner", "ContentView.qml",
         [](LinkFixture& f) {
             auto chair = f.connectChair();
             chair->values[ChairProfile::wifiStatusUUID] = QByteArray(1, '\x05');
             f.report(*chair, ChairProfile::wifiStatusUUID, QByteArray(1, '\x05'));
             f.advance(55s);
         }},
        {"sleeping", "ContentView.qml",
         [](LinkFixture& f) {
             auto chair = f.connectChair();
             f.report(*chair, ChairProfile::chairStateUUID, bytes({0x00, 0x00, 0x03}));
         },
         // The first two letters on their way up.
         [](QmlHarness&, LinkFixture&) { QTest::qWait(1400); }},
        {"sleeping-wake-sent", "ContentView.qml",
         [](LinkFixture& f) {
             auto chair = f.connectChair();
             f.report(*chair, ChairProfile::chairStateUUID, bytes({0x00, 0x00, 0x03}));
         },
         click("wakeButton")},
        {"offline-banner",
         "WiFiOfflineBanner.qml",
         nothing,
         {},
         CentralPower::On,
         {{QStringLiteral("secondsRemaining"), 125}, {QStringLiteral("width"), 420}}},
        {"debug-entry-sheet", "ContentView.qml", nothing,
         [](QmlHarness& ui, LinkFixture&) {
             for (int i = 0; i < 5; ++i)
                 ui.click(ui.byName(QStringLiteral("logo")));
         }},
        {"debug-entry-filled", "ContentView.qml", nothing,
         [](QmlHarness& ui, LinkFixture&) {
             for (int i = 0; i < 5; ++i)
                 ui.click(ui.byName(QStringLiteral("logo")));
             QTest::qWait(100);
             ui.type(QStringLiteral("VP-2024-00417"));
         }},
        {"analytics-data", "AnalyticsTab.qml", serving(false), analyticsLanded, CentralPower::On,
         tabProperties},
        {"analytics-loading",
         "AnalyticsTab.qml",
         serving(true),
         {},
         CentralPower::On,
         tabProperties},
        {"analytics-error", "AnalyticsTab.qml", serving(false), analyticsFailed, CentralPower::On,
         tabProperties},
        {"debug-view", "DebugAnalyticsView.qml", serving(false), analyticsLanded, CentralPower::On,
         debugProperties},
        {"settings-idle", "SettingsView.qml", nothing, {}, CentralPower::On, settingsTab({})},
        {"settings-this-chair", "SettingsView.qml", nothing,
         [](QmlHarness& ui, LinkFixture&) {
             QQuickItem* list = ui.byName(QStringLiteral("settingsScroll"));
             list->setProperty("contentY",
                               list->property("contentHeight").toReal() - list->height());
         },
         CentralPower::On, settingsTab({})},
        // The throughput needs chunks confirmed while the tab is shown.
        {"settings-transferring", "SettingsView.qml", nothing,
         [&](QmlHarness&, LinkFixture&) {
             const QDateTime start = transferLink->clock.now();
             for (int i = 1; i <= 22; ++i) {
                 transferLink->clock.setNow(start.addMSecs(100 * i));
                 transferLink->central->deliverNext();
             }
         },
         CentralPower::On, settingsTab([&](LinkFixture& link, FakePeripheral&) {
             updateTo(link, cpu1Package, 1);
             transferLink = &link;
         })},
        {"settings-flashing",
         "SettingsView.qml",
         nothing,
         {},
         CentralPower::On,
         settingsTab(flashedTo(11, 12))},
        {"settings-success",
         "SettingsView.qml",
         nothing,
         {},
         CentralPower::On,
         settingsTab(flashedTo(4, 84))},
        {"settings-error",
         "SettingsView.qml",
         nothing,
         {},
         CentralPower::On,
         settingsTab([&](LinkFixture& link, FakePeripheral&) {
             updateTo(link, {{"readme.txt", "not firmware"}}, 0);
         })},
        {"restarting", "ContentView.qml",
         [&](LinkFixture& f) {
             auto chair = f.central->makeChair();
             chair->values[ChairProfile::otaV2BeginUUID] = QByteArray(1, '\x01');
             f.connectChair(chair);
             flashedTo(4, 84)(f, *chair);
             f.central->dropLink(chair.get()); // the chair restarts on its new firmware
             f.central->flush();
         }},
        // Without a desktop portal: the program's own picker, over a folder of packages.
        {"settings-file-picker", "SettingsView.qml", nothing,
         [&](QmlHarness& ui, LinkFixture&) {
             QQuickItem* button = ui.byName(QStringLiteral("selectFirmwareButton"));
             button->forceActiveFocus(Qt::TabFocusReason);
             QTest::qWait(50);
             ui.click(button);
             QObject* picker = ui.byName(QStringLiteral("pickerFiles"));
             while (picker && picker->objectName() != QLatin1String("firmwarePicker"))
                 picker = picker->parent();
             if (picker)
                 picker->setProperty("currentFolder", QUrl::fromLocalFile(packages.path()));
             for (int i = 0; i < 50 && !ui.byName(QStringLiteral("pickerEntry2")); ++i)
                 QTest::qWait(20);
             ui.click(ui.textItem(QStringLiteral("chair-update-2.4.1.zip")));
         },
         CentralPower::On, settingsTab({})},
        {"settings-wifi-sheet", "SettingsView.qml", nothing,
         [](QmlHarness& ui, LinkFixture&) {
             QQuickItem* button = ui.byName(QStringLiteral("configureWiFiButton"));
             button->forceActiveFocus(Qt::TabFocusReason); // scrolls it into view
             QTest::qWait(50);
             ui.click(button);
         },
         CentralPower::On, settingsTab({})},
    };
    int failures = 0;
    for (const Shot& shot : shots)
        failures += show(shot, visit) ? 0 : 1;
    return failures;
}
