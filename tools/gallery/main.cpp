// Renders every screen of the window in its states to PNG files, offscreen:
//   gallery OUTPUT_DIR
// The link is played by the fake central on virtual time, so each picture is the same every run.
#include "LinkFixture.h"
#include "QmlHarness.h"
#include "ScreenServices.h"

#include <QDir>
#include <QGuiApplication>
#include <QQuickStyle>

#include <cstdio>
#include <functional>

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

bool render(const Shot& shot, const QDir& out)
{
    LinkFixture f(shot.power);
    shot.prepare(f);
    ScreenServices services(f.scheduler, f.clock, f.settings);
    QmlHarness ui;
    QVariantMap properties = rootProperties(f, services);
    if (QString::fromLatin1(shot.file) == QLatin1String("TermsView.qml"))
        properties = {{QStringLiteral("settings"), QVariant::fromValue(&f.settings)}};
    else if (!shot.properties.isEmpty())
        properties = shot.properties;
    if (!ui.load(QString::fromLatin1(shot.file), properties)) {
        std::fprintf(stderr, "%s: %s\n", shot.name, qPrintable(ui.errors()));
        return false;
    }
    QTest::qWait(50);
    if (shot.act)
        shot.act(ui, f);
    f.central->flush();
    QTest::qWait(100);
    const QString path = out.filePath(QString::fromLatin1(shot.name) + QStringLiteral(".png"));
    if (!ui.window().grabWindow().save(path)) {
        std::fprintf(stderr, "%s: cannot write %s\n", shot.name, qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QQuickStyle::setStyle(QStringLiteral("Basic"));
    const QDir out(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("gallery"));
    QDir().mkpath(out.path());

    auto nothing = [](LinkFixture&) {};
    auto inSetup = [](LinkFixture& f) { f.connectChair(offlineChair(f)); };
    auto click = [](const char* objectName) {
        return [objectName](QmlHarness& ui, LinkFixture&) {
            ui.click(ui.byName(QString::fromLatin1(objectName)));
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
    };
    int failures = 0;
    for (const Shot& shot : shots)
        failures += render(shot, out) ? 0 : 1;
    return failures == 0 ? 0 : 1;
}
